#include "cli/Sandbox.h"

#include <unistd.h>

#include <cctype>
#include <fstream>
#include <system_error>

#include "engine/EngineError.h"
#include "engine/Integrity.h"
#include "jet/JetReader.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSandboxPrefix = "actualiz-ensayo-";

char DriveLetter(std::string_view windowsPath) {
    if (!platform::HasDriveLetter(windowsPath)) throw platform::PathNotFound(windowsPath);
    return static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
}

}  // namespace

Sandbox::Sandbox()
    : original_(platform::DriveMap::FromEnvironment()),
      root_(platform::CreateTemporaryFolder(kSandboxPrefix)),
      owner_(std::make_unique<platform::FolderLock>(root_)) {
    // The mark is made once the lock is held: a marked folder whose lock is free has lost its run.
    std::ofstream(root_ / platform::kRunFolderMark) << ::getpid() << "\n";
    fs::create_directory(root_ / "dosdevices");
    MapDrive('c');
}

Sandbox::~Sandbox() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::vector<std::string> Sandbox::RemoveAbandoned() {
    return platform::RemoveAbandonedFolders(kSandboxPrefix);
}

void Sandbox::MapDrive(char letter) {
    const fs::path link = root_ / "dosdevices" / std::string{letter, ':'};
    std::error_code ec;
    if (fs::exists(fs::symlink_status(link, ec))) return;
    const fs::path drive = root_ / (std::string("drive_") + letter);
    fs::create_directories(drive);
    fs::create_directory_symlink(drive, link);
}

fs::path Sandbox::Original(std::string_view windowsPath) const {
    return original_.ToHost(windowsPath);
}

fs::path Sandbox::InSandbox(std::string_view windowsPath) {
    const char letter = DriveLetter(windowsPath);
    const std::optional<fs::path> driveRoot = original_.DriveRoot(letter);
    if (!driveRoot) throw platform::DeviceUnavailable(windowsPath);
    MapDrive(letter);
    // The path below the drive keeps the names the originals really have on this system, so
    // that case-insensitive lookups inside the sandbox find the same entries.
    const fs::path below = Original(windowsPath).lexically_relative(*driveRoot);
    fs::path inside = root_ / (std::string("drive_") + letter);
    if (!below.empty() && below != ".") inside /= below;
    return inside;
}

void Sandbox::Folder(std::string_view windowsPath) {
    fs::create_directories(InSandbox(windowsPath));
}

std::optional<fs::path> Sandbox::FilePlace(std::string_view windowsPath) {
    const fs::path target = InSandbox(windowsPath);
    if (fs::is_directory(Original(windowsPath))) {
        fs::create_directories(target);
        return std::nullopt;
    }
    fs::create_directories(target.parent_path());
    return target;
}

void Sandbox::CopyFile(std::string_view windowsPath) {
    auto target = FilePlace(windowsPath);
    if (!target) return;
    std::error_code ec;
    fs::remove(*target, ec);
    // A database of ours is copied through SQLite, so a journal a killed run left is rolled back
    // first and the preview never works on a torn copy. Anything else (a real Access model, a
    // file that is no database, a damaged one) is copied as it is, for the run to meet as it is.
    try {
        if (!engine::IsJetFile(Original(windowsPath))) {
            engine::CopyDatabase(Original(windowsPath).string(), *target);
            return;
        }
    } catch (const Error& e) {
        if (e.number() != engine::err::kUnrecognizedFormat &&
            e.number() != engine::err::kDatabaseDamaged)
            throw;
    }
    fs::copy_file(Original(windowsPath), *target, fs::copy_options::overwrite_existing);
}

void Sandbox::Placeholder(std::string_view windowsPath) {
    if (auto target = FilePlace(windowsPath)) std::ofstream(*target, std::ios::binary);
}

}  // namespace actualiz::cli
