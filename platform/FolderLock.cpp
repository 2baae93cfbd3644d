#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <system_error>

namespace actualiz::platform {

namespace fs = std::filesystem;

namespace {

struct Held {
    int fd = -1;
    int users = 0;
};

std::mutex& Guard() {
    static std::mutex m;
    return m;
}

// The locks this process holds, by folder.
std::map<fs::path, Held>& Locks() {
    static std::map<fs::path, Held> locks;
    return locks;
}

}  // namespace

FolderLock::FolderLock(const fs::path& hostFolder) {
    std::error_code ec;
    key_ = fs::weakly_canonical(hostFolder, ec);
    if (ec) key_ = hostFolder.lexically_normal();

    std::lock_guard<std::mutex> lock(Guard());
    auto it = Locks().find(key_);
    if (it != Locks().end()) {
        ++it->second.users;
        held_ = counted_ = true;
        return;
    }
    const int fd = ::open(key_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        // A folder that cannot be opened cannot be worked in either; the run meets it as it is.
        held_ = true;
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    Locks()[key_] = {fd, 1};
    held_ = counted_ = true;
}

FolderLock::~FolderLock() {
    if (!counted_) return;
    std::lock_guard<std::mutex> lock(Guard());
    auto it = Locks().find(key_);
    if (it == Locks().end() || --it->second.users > 0) return;
    ::close(it->second.fd);  // releases the lock
    Locks().erase(it);
}

}  // namespace actualiz::platform
