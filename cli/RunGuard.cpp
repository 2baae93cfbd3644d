#include "cli/RunGuard.h"

#include <system_error>

#include "app/ErrorModes.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBackupPrefix = "respaldo-";
constexpr std::string_view kJournalSuffix = "-journal";

// A temporary copy or the rollback journal SQLite kept beside one.
bool IsLeftoverFile(std::string name) {
    if (name.size() > kJournalSuffix.size() &&
        name.compare(name.size() - kJournalSuffix.size(), kJournalSuffix.size(), kJournalSuffix) ==
            0)
        name.resize(name.size() - kJournalSuffix.size());
    return platform::IsTemporaryCopyName(name);
}

// Removes the leftover files directly in folder; true when nothing else is left in it.
bool RemoveLeftoverFiles(const fs::path& folder, const std::string& shownAs,
                         std::vector<std::string>& removed) {
    bool onlyLeftovers = true;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code typeError;
        if (entry.is_regular_file(typeError) && IsLeftoverFile(name)) {
            std::error_code removeError;
            if (fs::remove(entry.path(), removeError)) {
                removed.push_back(shownAs + name);
                continue;
            }
        }
        onlyLeftovers = false;
    }
    return onlyLeftovers && !ec;
}

}  // namespace

DataFolderLock LockDataFolder(const std::string& dataFolder) {
    DataFolderLock result;
    fs::path host;
    try {
        host = platform::ToHostPath(dataFolder);
    } catch (const Error&) {
        return result;
    }
    result.lock = std::make_unique<platform::FolderLock>(host);
    if (!result.lock->Held()) {
        result.lock.reset();
        result.busy = app::FolderInUse(dataFolder + " (" + host.string() + ")",
                                       platform::FolderLock::Holder(host))
                          .description();
    }
    return result;
}

std::optional<std::string> SameFolderProblem(const std::string& dataFolder,
                                             const std::string& modelsFolder) {
    if (!platform::SameFile(dataFolder, modelsFolder)) return std::nullopt;
    return "La carpeta de datos " + dataFolder + " es la carpeta de modelos " + modelsFolder +
           ": cada base se actualizaría contra sí misma y perdería sus índices, relaciones y "
           "consultas. Indique la carpeta de las bases con --data-dir RUTA.";
}

std::vector<std::string> RemoveLeftovers(const std::string& dataFolder) {
    std::vector<std::string> removed;
    fs::path host;
    try {
        host = platform::ToHostPath(dataFolder);
    } catch (const Error&) {
        return removed;
    }
    RemoveLeftoverFiles(host, "", removed);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(host, ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code typeError;
        if (name.rfind(kBackupPrefix, 0) != 0 || !entry.is_directory(typeError) ||
            entry.is_symlink(typeError))
            continue;
        // A backup folder is left alone as soon as it holds anything but leftovers.
        if (!RemoveLeftoverFiles(entry.path(), name + "/", removed)) continue;
        std::error_code removeError;
        if (fs::remove(entry.path(), removeError)) removed.push_back(name + "/");
    }
    return removed;
}

}  // namespace actualiz::cli
