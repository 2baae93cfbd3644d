#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace actualiz::platform {

// One run at a time in a folder: an advisory lock (flock) on the folder itself, held by whoever
// changes what is in it (an upgrade, a fixed migration, a command of the window) for as long as it
// works. Locking the folder rather than a file in it leaves nothing behind and works on a folder
// that cannot be written. The lock is per process: taking it again where this process already
// holds it succeeds at once, so nested users share it. Only this program's runs take it; it keeps
// nobody else from the files.
class FolderLock {
  public:
    // Tries to take the lock on the host folder, trying again for up to `wait` while another
    // process holds it. Held() tells whether it was taken.
    explicit FolderLock(const std::filesystem::path& hostFolder,
                        std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // False when another process holds the lock.
    bool Held() const { return held_; }

    // Whether this process holds the lock on the folder (through a FolderLock still alive).
    static bool HeldHere(const std::filesystem::path& hostFolder);

    // The process holding the lock on the folder, for a message: "proceso 1234: actualiz-cli
    // transform ...". Empty when no process holds it or the system does not tell.
    static std::string Holder(const std::filesystem::path& hostFolder);

  private:
    bool TryTake();

    std::filesystem::path key_;
    bool held_ = false;
    bool counted_ = false;
};

// A private folder of this run in the temporary folder, named with the prefix: made with its lock
// held and a mark (a file holding this process's id) in it, and removed with the object. A marked
// folder of the prefix that no process holds the lock on was left by a run that was killed: the
// first RunFolder of a prefix in each process removes those first (RemoveAbandonedFolders).
// PathFileAccessError (75) when the folder cannot be made.
class RunFolder {
  public:
    explicit RunFolder(std::string_view prefix);
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    std::unique_ptr<FolderLock> lock_;
};

// The file that marks a folder of a run (RunFolder, and the preview's copies).
inline constexpr const char* kRunFolderMark = "propietario";

// Removes the folders of the prefix in the temporary folder whose run is gone: marked, this
// user's, no link, and their lock held by no process (this one included). Their paths, each
// ending in "/".
std::vector<std::string> RemoveAbandonedFolders(std::string_view prefix);

}  // namespace actualiz::platform
