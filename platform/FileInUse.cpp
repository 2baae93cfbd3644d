#include "platform/FileInUse.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/NameFold.h"

namespace actualiz::platform {

namespace fs = std::filesystem;

std::optional<fs::path> LockFileBeside(const fs::path& database) {
    fs::path wanted = database;
    wanted.replace_extension(".ldb");
    std::error_code ec;
    if (fs::exists(wanted, ec)) return wanted;
    // The application on Windows may have spelt it otherwise ("DATOS.LDB"): any letter case.
    const fs::path folder = database.has_parent_path() ? database.parent_path() : fs::path(".");
    const std::string name = wanted.filename().string();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (EqualsIgnoringCase(entry, name)) return it->path();
    }
    return std::nullopt;
}

bool LockedByAnotherProcess(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    // Asks whether a write lock over the whole file could be taken: any lock of another process
    // on any byte is in its way and comes back described. This process's own locks never do.
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;
    const bool held = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

bool DatabaseInUse(const fs::path& database) {
    if (auto lockFile = LockFileBeside(database); lockFile && LockedByAnotherProcess(*lockFile))
        return true;
    return LockedByAnotherProcess(database);
}

}  // namespace actualiz::platform
