#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DriveMap.h"
#include "platform/FolderLock.h"

namespace actualiz::cli {

// A throw-away prefix that holds copies of what an upgrade reads and changes, each at the same
// Windows path as the original. A dry run points WINEPREFIX here and runs the very same upgrade:
// every path the form builds, every message that names one, and so the whole report, are those
// of the real run, while the real files are only read.
//
// Each drive that is copied from gets its own folder in the sandbox (drive_c, drive_z ...), linked
// from dosdevices/ the way the prefix's own tools link them. The folder is removed when the object
// goes away. While it lives, the object holds the folder's lock: a marked folder nobody holds is
// one whose run was killed, and RemoveAbandoned takes it away.
class Sandbox {
  public:
    // Reads the current drive mapping: the originals are found through it.
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::filesystem::path& Root() const { return root_; }

    // The folder at that Windows path, created empty in the sandbox (with its parents).
    void Folder(std::string_view windowsPath);
    // A copy of the file at that Windows path. A folder is created as an empty folder.
    void CopyFile(std::string_view windowsPath);
    // An empty file (or an empty folder, for a folder) of the same name: for entries the run only
    // lists and never opens.
    void Placeholder(std::string_view windowsPath);

    // Where a Windows path lies inside the sandbox.
    std::filesystem::path InSandbox(std::string_view windowsPath);

    // Removes the sandboxes of this user that no run holds any more (a killed preview's copies of
    // the databases) from the temporary folder, and returns their paths. Nothing else is touched:
    // a link, another user's folder or a folder some run holds stays.
    static std::vector<std::string> RemoveAbandoned();

  private:
    std::filesystem::path Original(std::string_view windowsPath) const;
    // Where the sandbox keeps the real entry at windowsPath, its folders made. A real folder is
    // made there as a folder and gives nullopt: there is no file to write.
    std::optional<std::filesystem::path> FilePlace(std::string_view windowsPath);
    void MapDrive(char letter);

    platform::DriveMap original_;
    std::filesystem::path root_;
    std::unique_ptr<platform::FolderLock> owner_;  // held from the folder's making to its removal
};

}  // namespace actualiz::cli
