#pragma once

#include "cli/Errors.h"

#include <filesystem>
#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace actualiz::cli {

struct TransformOptions {
    std::string dataDir;     // empty: the data folder the window starts in
    std::string programDir;  // empty: the folder of the running program
    bool dryRun = false;
    bool json = false;
    bool noBackup = false;
};

// Exit statuses of `actualiz-cli transform`.
inline constexpr int kTransformDone = 0;        // every step succeeded (or there was nothing to do)
inline constexpr int kTransformStepFailed = 1;  // some step failed; the report lists them
inline constexpr int kTransformUsage = 2;       // wrong arguments
inline constexpr int kTransformCannotStart =
    kExitCannotStart;  // catalogs, folders or databases not usable

// `actualiz-cli transform`: activates the form on the program folder and the data folder, backs
// up the databases that are about to change, runs Command13_Click with the progress drawn on err,
// and writes the report (text, or one JSON document) on out. With dryRun the same upgrade runs on
// copies in a throw-away prefix and nothing of the real files changes. terminal: whether err is a
// terminal (the progress panel is then redrawn in place).
int TransformCommand(const TransformOptions& options, std::ostream& out, std::ostream& err,
                     bool terminal);

// A folder given on the command line: a Windows path ("c:\datos") is taken as it is, anything else
// is a path of this system, turned into the Windows path of that folder. Throws actualiz::Error
// (76) when no drive of the prefix holds it.
std::string WindowsFolderArgument(const std::string& argument);

// Registers "transform".
void AddTransformCommand(CLI::App& app);

}  // namespace actualiz::cli
