#include "cli/Backup.h"

#include <filesystem>
#include <system_error>

#include "engine/Integrity.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

namespace fs = std::filesystem;

std::string BackupFolderName(std::time_t now) {
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return std::string("respaldo-") + stamp;
}

namespace {

// The data folder followed by one more name, as the program joins paths (a drive root already
// ends with its backslash).
std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

}  // namespace

BackupInfo MakeBackup(const std::string& dataFolder, const std::vector<std::string>& names,
                      std::time_t now) {
    const fs::path dataHost = platform::ToHostPath(dataFolder);
    const std::string base = BackupFolderName(now);
    std::string folderName;
    fs::path folderHost;
    for (int attempt = 1;; ++attempt) {
        folderName = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        folderHost = dataHost / folderName;
        std::error_code ec;
        if (fs::create_directory(folderHost, ec)) break;
        if (ec) throw platform::PathFileAccessError(Join(dataFolder, folderName));
        if (attempt > 100) throw platform::FileAlreadyExists(Join(dataFolder, folderName));
    }

    BackupInfo backup;
    backup.folder = Join(dataFolder, folderName);
    backup.hostFolder = folderHost.string();
    backup.dataHostFolder = dataHost.string();
    try {
        // Through SQLite: a journal a killed run left is rolled back before the copy, and each
        // copy is checked before the run may change anything.
        for (const std::string& name : names) {
            engine::CopyDatabase(Join(dataFolder, name), folderHost / name);
            backup.files.push_back(name);
        }
    } catch (...) {
        std::error_code ec;
        fs::remove_all(folderHost, ec);
        throw;
    }
    return backup;
}

}  // namespace actualiz::cli
