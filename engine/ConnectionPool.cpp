#include "engine/ConnectionPool.h"

#include <sys/stat.h>

#include <algorithm>
#include <list>

namespace actualiz::engine::detail {

bool StampOf(const std::string& path, FileStamp& stamp) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs =
        static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return true;
}

namespace {

struct Entry {
    std::shared_ptr<SharedFile> file;
    FileStamp released;  // the file as the last handle left it
};

// Connections no handle uses stay open for the next opening; a few dozen cover a run (the data
// and model folders and the catalogs) without holding every file a long process ever saw.
constexpr std::size_t kKeptIdle = 48;

// Never destroyed: handles that outlive static destruction still let go of their files here.
std::list<Entry>& Entries() {
    static auto* entries = new std::list<Entry>;
    return *entries;
}

bool InUse(const Entry& e) {
    return e.file.use_count() > 1;
}

void Released(const std::shared_ptr<SharedFile>& file) {
    Entry* entry = nullptr;
    for (Entry& e : Entries())
        if (e.file == file) entry = &e;
    // The handle letting go holds one reference and the list another.
    const long others = file.use_count() - 1 - (entry ? 1 : 0);
    if (others > 0) return;
    // A handle that failed half-way may leave a transaction open: it must not keep the file
    // locked for everyone else.
    if (sqlite3_get_autocommit(file->db()) == 0)
        sqlite3_exec(file->db(), "ROLLBACK", nullptr, nullptr, nullptr);
    // An idle connection keeps its parsed schema but not its page cache: a run goes through
    // dozens of files, and their caches together would grow with the folder, not with the file
    // at hand. The pages come back from the system's file cache when the file is opened again.
    sqlite3_db_release_memory(file->db());
    if (entry && !StampOf(file->HostPath(), entry->released)) entry->released = {};
}

// Of those, only the most recently used keep the rows their definitions were read from: what a
// run keeps then follows the few files it is working on, not the whole folder.
constexpr std::size_t kKeptWithDefinitions = 4;

void DropIdleBeyondLimit() {
    auto& entries = Entries();
    std::size_t idle = 0;
    for (auto it = entries.begin(); it != entries.end();) {
        if (InUse(*it)) {
            ++it;
        } else if (++idle > kKeptIdle) {
            it = entries.erase(it);
        } else {
            if (idle > kKeptWithDefinitions) it->file->definitionRows = {};
            ++it;
        }
    }
}

}  // namespace

std::shared_ptr<SharedFile> ShareFile(const std::string& hostPath, const std::string& displayName,
                                      bool readOnly) {
    FileStamp now;
    const bool stamped = StampOf(hostPath, now);
    auto& entries = Entries();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->file->HostPath() != hostPath) continue;
        const FileStamp& then = it->released;
        const bool sameFile = stamped && then.device == now.device && then.inode == now.inode;
        // A file in use by another handle has changed only through this process (SQLite notices
        // other connections' commits itself); an idle one must be exactly as it was left.
        const bool reusable = it->file->ReadOnly() == readOnly && sameFile &&
                              (InUse(*it) || then == now) &&
                              sqlite3_get_autocommit(it->file->db()) != 0;
        if (reusable) {
            entries.splice(entries.begin(), entries, it);  // most recently used first
            return entries.front().file;
        }
        entries.erase(it);
        break;
    }
    auto file = std::make_shared<SharedFile>(hostPath, displayName, readOnly);
    file->released = Released;
    Entry entry{file, {}};
    if (stamped) entry.released = now;
    entries.push_front(std::move(entry));
    DropIdleBeyondLimit();
    return file;
}

}  // namespace actualiz::engine::detail
