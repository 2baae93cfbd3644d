#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

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

}  // namespace actualiz::platform
