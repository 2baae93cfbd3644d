#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"

namespace actualiz::platform {

namespace fs = std::filesystem;

namespace {

struct Held {
    int fd = -1;
    int users = 0;
};

// Both live until the process ends (never destroyed): a lock held by a static object, such as
// the folder of the reading copies, is let go after the other statics are gone.
std::mutex& Guard() {
    static auto* m = new std::mutex;
    return *m;
}

// The locks this process holds, by folder.
std::map<fs::path, Held>& Locks() {
    static auto* locks = new std::map<fs::path, Held>;
    return *locks;
}

fs::path KeyOf(const fs::path& hostFolder) {
    std::error_code ec;
    fs::path key = fs::weakly_canonical(hostFolder, ec);
    return ec ? hostFolder.lexically_normal() : key;
}

// A process's command line with its arguments separated by spaces, cut to a length a message can
// carry; empty when the system does not show it.
std::string CommandLineOf(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/cmdline", std::ios::binary);
    std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!line.empty() && line.back() == '\0') line.pop_back();
    for (char& c : line)
        if (c == '\0' || c == '\n') c = ' ';
    constexpr std::size_t kLongest = 200;
    if (line.size() > kLongest) line = line.substr(0, kLongest) + "...";
    return line;
}

}  // namespace

FolderLock::FolderLock(const fs::path& hostFolder, std::chrono::milliseconds wait)
    : key_(KeyOf(hostFolder)) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    constexpr auto kPause = std::chrono::milliseconds(50);
    while (!TryTake() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(kPause);
}

bool FolderLock::TryTake() {
    std::lock_guard<std::mutex> lock(Guard());
    auto it = Locks().find(key_);
    if (it != Locks().end()) {
        ++it->second.users;
        held_ = counted_ = true;
        return true;
    }
    const int fd = ::open(key_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        // A folder that cannot be opened cannot be worked in either; the run meets it as it is.
        held_ = true;
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    Locks()[key_] = {fd, 1};
    held_ = counted_ = true;
    return true;
}

FolderLock::~FolderLock() {
    if (!counted_) return;
    std::lock_guard<std::mutex> lock(Guard());
    auto it = Locks().find(key_);
    if (it == Locks().end() || --it->second.users > 0) return;
    ::close(it->second.fd);  // releases the lock
    Locks().erase(it);
}

bool FolderLock::HeldHere(const fs::path& hostFolder) {
    std::lock_guard<std::mutex> lock(Guard());
    return Locks().count(KeyOf(hostFolder)) > 0;
}

std::string FolderLock::Holder(const fs::path& hostFolder) {
    struct stat st {};
    if (::stat(KeyOf(hostFolder).c_str(), &st) != 0) return "";
    // The kernel lists every lock with its holder and the file's device and inode:
    //   "3: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a waiting request carries "->".
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream words(line);
        std::vector<std::string> w((std::istream_iterator<std::string>(words)),
                                   std::istream_iterator<std::string>());
        if (w.size() < 6 || w[1] != "FLOCK") continue;
        const std::string& file = w[5];
        const auto first = file.find(':'), second = file.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const unsigned long major = std::strtoul(file.substr(0, first).c_str(), nullptr, 16);
        const unsigned long minor =
            std::strtoul(file.substr(first + 1, second - first - 1).c_str(), nullptr, 16);
        const unsigned long long inode = std::strtoull(file.c_str() + second + 1, nullptr, 10);
        if (major != ::major(st.st_dev) || minor != ::minor(st.st_dev) || inode != st.st_ino)
            continue;
        const std::string& pid = w[4];
        const std::string command = CommandLineOf(pid);
        return "proceso " + pid + (command.empty() ? "" : ": " + command);
    }
    return "";
}

RunFolder::RunFolder(std::string_view prefix) {
    {
        // Once per prefix and process: what killed runs left behind goes before a new folder.
        static std::mutex m;
        static std::set<std::string, std::less<>> cleaned;
        std::lock_guard<std::mutex> lock(m);
        if (cleaned.insert(std::string(prefix)).second) RemoveAbandonedFolders(prefix);
    }
    path_ = CreateTemporaryFolder(prefix);
    lock_ = std::make_unique<FolderLock>(path_);
    // The mark is made once the lock is held: a marked folder whose lock is free has lost its run.
    std::ofstream(path_ / kRunFolderMark) << ::getpid() << "\n";
}

RunFolder::~RunFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::vector<std::string> RemoveAbandonedFolders(std::string_view prefix) {
    std::vector<std::string> removed;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(TemporaryFolderBase(), ec)) {
        const fs::path& folder = entry.path();
        if (folder.filename().string().rfind(prefix, 0) != 0) continue;
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        // A folder without the mark is no run's of this program, or one still being made.
        if (::lstat((folder / kRunFolderMark).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        // The lock of a folder this process holds would be shared, not refused.
        if (FolderLock::HeldHere(folder)) continue;
        const FolderLock owner(folder);
        // Another run may have removed it meanwhile: then there is nothing left to take away.
        if (!owner.Held() || ::lstat((folder / kRunFolderMark).c_str(), &st) != 0) continue;
        std::error_code removeError;
        fs::remove_all(folder, removeError);
        if (!removeError) removed.push_back(folder.string() + "/");
    }
    return removed;
}

}  // namespace actualiz::platform
