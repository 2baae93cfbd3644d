#pragma once

#include <string>
#include <vector>

namespace actualiz::app {

class Actualiz;

// What kept the window from loading as designed: the catalogs its data controls could not open,
// a models folder that is not there and a drive C the prefix does not provide. The window shows it
// as one message once it is on the screen, instead of one engine error per catalog followed by the
// folder error of the activation.
struct StartupReport {
    struct Catalog {
        std::string windowsPath;  // as the data control names it: "C:\ActMirto\indices.mdb"
        std::string hostPath;     // where the prefix puts it; empty when no drive maps it
        bool missing = true;      // false: it is there but could not be opened (see failure)
        std::string failure;      // the engine's number and text when it could not be opened
    };

    std::string prefix;             // the Windows-compatibility prefix in use
    std::string driveCRoot;         // host folder of drive C; empty when the prefix maps none
    bool driveCMissing = false;     // not mapped, or mapped to a folder that does not exist
    std::vector<Catalog> catalogs;  // only those that are not open
    // The program folder's "modelos", which "Bases Modelo" lists: when it is missing the list
    // stays empty, and the user is told where it was looked for and how to name another.
    std::string modelsFolder;  // Windows path: "C:\prog\modelos"
    std::string modelsHost;    // where the prefix puts it; empty when no drive maps it
    bool modelsMissing = false;
    std::string programFolderRule;  // how the program folder is chosen (platform/ProgramFolder.h)

    bool Empty() const { return !driveCMissing && catalogs.empty() && !modelsMissing; }
    // The message for the user, in Spanish: which files are missing where, how drive letters are
    // mapped, the command that makes the catalogs and how to name the program folder. Empty when
    // there is nothing to say.
    std::string Text() const;
};

// Looks at the form just loaded: its catalog data controls, its models folder and the drive the
// default data folder lies on.
StartupReport CheckStartup(const Actualiz& form);

}  // namespace actualiz::app
