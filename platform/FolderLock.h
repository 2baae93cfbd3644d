#pragma once

#include <filesystem>
#include <memory>

namespace actualiz::platform {

// One run at a time in a data folder: an advisory lock (flock) on the folder itself, held by
// whoever changes the folder's databases (an upgrade, a fixed migration, a command of the window)
// for as long as it works. Locking the folder rather than a file in it leaves nothing behind and
// works on a folder that cannot be written. The lock is per process: taking it again where this
// process already holds it succeeds at once, so nested users share it. Only this program's runs
// take it; it keeps nobody else from the files.
class FolderLock {
  public:
    // Tries to take the lock on the host folder; never waits. Held() tells whether it was taken.
    explicit FolderLock(const std::filesystem::path& hostFolder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // False when another process holds the lock.
    bool Held() const { return held_; }

  private:
    std::filesystem::path key_;
    bool held_ = false;
    bool counted_ = false;
};

}  // namespace actualiz::platform
