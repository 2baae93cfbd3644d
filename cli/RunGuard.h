#pragma once

// What keeps a run from harming the data folder before it starts: one run at a time, never the
// models folder as the data folder, and the leftovers of a run that was killed.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FolderLock.h"

namespace actualiz::cli {

// The lock of one data folder (a Windows path), or, when another run holds it, the sentence that
// says so. A folder that cannot be mapped is not locked (the run fails on it anyway).
struct DataFolderLock {
    std::unique_ptr<platform::FolderLock> lock;
    std::string busy;  // not empty: another run works in the folder
};
DataFolderLock LockDataFolder(const std::string& dataFolder);

// The sentence refusing a data folder that is the models folder itself (the same folder by any
// name: a link, a case variant), or nothing.
std::optional<std::string> SameFolderProblem(const std::string& dataFolder,
                                             const std::string& modelsFolder);

// Removes what a killed run of this program left in the data folder (a Windows path): the
// temporary files of its copies (".NAME.<hex>.tmp" and their journals) and backup folders
// (respaldo-...) left holding nothing else. Returns what was removed, as paths relative to the
// data folder; nothing else is ever touched.
std::vector<std::string> RemoveLeftovers(const std::string& dataFolder);

}  // namespace actualiz::cli
