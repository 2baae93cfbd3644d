#pragma once

// The upgrade run behind `actualiz-cli transform`: the form driven on the folders of a plan, and
// what it did gathered into the report.

#include <string>
#include <vector>

#include "cli/Progress.h"
#include "cli/Report.h"

namespace actualiz::cli {

// What a run works on, worked out from the folders before anything is opened.
struct TransformPlan {
    std::string programFolder;
    std::string modelsFolder;
    std::string dataFolder;
    std::vector<std::string> models;  // entries of the models folder
    std::vector<std::string> olds;    // entries of the data folder
    std::vector<std::string> paired;  // old databases that have a model of the same name
};

struct TransformOutcome {
    TransformReport report;
    std::vector<std::string> problems;  // not empty: the run could not start, nothing changed
};

// The upgrade itself, on whatever prefix WINEPREFIX names at the time; with backup, the databases
// about to change are copied first.
TransformOutcome RunTransform(const TransformPlan& plan, bool dryRun, bool backup,
                              ProgressView& view);

// Everything the run needs, checked on the files themselves before anything is touched: catalogs
// that open, can be written and have the fields the commands use, and a readable model for every
// paired database. One sentence for each problem, saying what to do; empty when the run can go
// ahead. Changes nothing.
std::vector<std::string> CheckBeforeChange(const TransformPlan& plan);

// Whether names holds name: the window pairs databases by exact name, letter case included; so
// does everything here.
bool HasName(const std::vector<std::string>& names, const std::string& name);

// "c:\x (/home/ana/.wine/drive_c/x)": people look for the file on this system.
std::string WithHost(const std::string& windowsPath);

// The paths exactly as the driver builds them, so that what it records can be matched.
std::string ModelPath(const std::string& programFolder, const std::string& name);
std::string OldPath(const std::string& dataFolder, const std::string& name);

}  // namespace actualiz::cli
