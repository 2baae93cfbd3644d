#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace actualiz::platform {

// The program folder is the one that holds the models ("modelos"). An installed program has no
// models beside it (they belong to the application being upgraded, not to us), so it is chosen
// in this order:
//   1. --program-dir of either front end;
//   2. the environment variable ACTUALIZ_PROGRAM_DIR;
//   3. the first of ProgramFolderCandidates() that holds "modelos";
//   4. when none does, the user's own folder, $XDG_DATA_HOME/actualiz: the one to put them in.
// Each is a Windows or a host path, as ResolveProgramFolder takes it.
inline constexpr const char* kProgramFolderVariable = "ACTUALIZ_PROGRAM_DIR";

// The host folders looked in when neither the option nor the variable names one, in order: the
// running program's own folder (a program folder copied whole, as the application has always
// shipped it), the user's $XDG_DATA_HOME/actualiz (else ~/.local/share/actualiz), and the
// installation's share/actualiz beside its bin folder (/usr/share/actualiz for /usr/bin).
std::vector<std::filesystem::path> ProgramFolderCandidates();

// Step 3 or 4 above, as a host folder.
std::filesystem::path DefaultProgramFolder();

// How the program folder is chosen and how to choose another, in Spanish, naming the folders of
// this machine; for the messages that find no models.
std::string ProgramFolderRule();

}  // namespace actualiz::platform
