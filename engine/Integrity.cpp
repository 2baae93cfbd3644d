#include "engine/Integrity.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/ConnectionPool.h"
#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/Names.h"
#include "platform/FileSystem.h"

namespace actualiz::engine {

namespace fs = std::filesystem;

namespace {

using detail::SharedFile;

// SQLite's quick_check on an open connection, of the whole file or of one table and its indexes
// (target: a quoted table name): true when it answers a single "ok".
bool QuickCheck(sqlite3* db, const std::string& target = {}) {
    const std::string sql =
        target.empty() ? "PRAGMA quick_check" : "PRAGMA quick_check(" + target + ")";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    bool ok = false;
    int rows = 0;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        ok = ++rows == 1 && text && std::string(text) == "ok";
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE && ok;
}

// Files a check found damaged, as they were then: a later check of the same unchanged file
// refuses it at once, even where it would not look (a step that reads other tables than the
// first), so one run never changes part of a file it knows is damaged.
std::vector<std::pair<std::string, detail::FileStamp>>& FoundDamaged() {
    static std::vector<std::pair<std::string, detail::FileStamp>> files;
    return files;
}

std::optional<std::pair<std::string, detail::FileStamp>> Stamped(std::string_view path) {
    try {
        std::pair<std::string, detail::FileStamp> entry{platform::ResolvePath(path).string(), {}};
        if (detail::StampOf(entry.first, entry.second)) return entry;
    } catch (const Error&) {
    }
    return std::nullopt;
}

bool Recorded(const std::optional<std::pair<std::string, detail::FileStamp>>& stamped) {
    const auto& found = FoundDamaged();
    return stamped && std::find(found.begin(), found.end(), *stamped) != found.end();
}

EngineError Damaged(std::string_view path) {
    if (const auto stamped = Stamped(path); stamped && !Recorded(stamped))
        FoundDamaged().push_back(*stamped);
    EngineError e = MakeError(err::kDatabaseDamaged, path);
    e.SetFile(std::string(path));
    return e;
}

// Quick-checks each of targets (table names as the file spells them). Each check reads every page
// of its table, so on a machine with cores to spare the tables are shared among a few
// connections of their own, one thread each; not while this connection is inside a transaction,
// whose changes only it can see.
bool AllPassCheck(const SharedFile& file, const std::vector<std::string>& targets) {
    const std::size_t cores = std::max(1U, std::thread::hardware_concurrency());
    std::size_t workers = std::min({cores, std::size_t{4}, targets.size()});
    if (sqlite3_get_autocommit(file.db()) == 0) workers = 1;
    std::vector<std::unique_ptr<SharedFile>> helpers;
    for (std::size_t i = 1; i < workers; ++i) {
        try {
            helpers.push_back(
                std::make_unique<SharedFile>(file.HostPath(), file.HostPath(), /*readOnly=*/true));
        } catch (const Error&) {
            break;  // fewer helpers, the same checks
        }
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> passed{true};
    const auto work = [&](sqlite3* db) {
        for (std::size_t i = next++; i < targets.size() && passed; i = next++)
            if (!QuickCheck(db, QuoteLiteral(targets[i]))) passed = false;
    };
    std::vector<std::thread> threads;
    for (const auto& helper : helpers) threads.emplace_back(work, helper->db());
    work(file.db());
    for (std::thread& t : threads) t.join();
    return passed;
}

// Quick-checks the schema, then the engine's system tables and each of tables the file holds,
// passing over what this connection already found sound.
bool TablesPassCheck(SharedFile& file, const std::vector<std::string>& tables) {
    sqlite3* handle = file.db();
    std::vector<std::string> targets{"sqlite_master"};
    sqlite3_stmt* stmt = nullptr;
    bool ok = sqlite3_prepare_v2(handle, "SELECT name FROM sqlite_master WHERE type = 'table'", -1,
                                 &stmt, nullptr) == SQLITE_OK;
    int rc = SQLITE_DONE;
    while (ok && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        const auto named = [&](const std::string& table) { return SameName(table, name); };
        if (IsSystemName(name) || std::any_of(tables.begin(), tables.end(), named))
            targets.push_back(name);
    }
    sqlite3_finalize(stmt);
    ok = ok && rc == SQLITE_DONE;
    if (!ok) return false;
    std::vector<std::string>& sound = file.checkedSound;
    std::erase_if(targets, [&](const std::string& target) {
        return std::find(sound.begin(), sound.end(), target) != sound.end();
    });
    if (!AllPassCheck(file, targets)) return false;
    sound.insert(sound.end(), targets.begin(), targets.end());
    return true;
}

// A file already found damaged is refused without reading it again; otherwise it is opened and
// passes check or is recorded and refused.
template <class Check>
void CheckOpened(std::string_view path, Check&& check) {
    if (Recorded(Stamped(path))) throw Damaged(path);
    std::shared_ptr<Database> db = OpenDatabase(path);
    const bool ok = check(*db->Conn().File());
    db->Close();
    if (!ok) throw Damaged(path);
}

// Ends the read transaction that keeps writers off the source while its bytes are copied.
struct ReadTransaction {
    sqlite3* db;
    bool open = false;
    ~ReadTransaction() {
        if (open) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
};

// Writes the bytes of the open source's file into the file at target: a copy is the file as it
// was, byte for byte (a backup of a file of an older format stays in that format, and restoring
// it gives back exactly what was there). A read transaction keeps every writer out meanwhile, and
// the bytes are read through SQLite's own handle of the file, so that no second descriptor of
// this process can drop its locks. The copy must then pass quick_check. False on failure.
bool CopyBytesInto(sqlite3* from, const fs::path& target) {
    ReadTransaction read{from};
    if (sqlite3_exec(from, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    read.open = true;
    // The first read takes the shared lock, held until the transaction ends.
    if (sqlite3_exec(from, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
        SQLITE_OK)
        return false;
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(from, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        !file || !file->pMethods)
        return false;
    sqlite3_int64 size = 0;
    if (file->pMethods->xFileSize(file, &size) != SQLITE_OK) return false;

    const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    std::vector<char> buffer(1 << 16);
    bool written = true;
    for (sqlite3_int64 offset = 0; written && offset < size;) {
        const int n = static_cast<int>(
            std::min<sqlite3_int64>(static_cast<sqlite3_int64>(buffer.size()), size - offset));
        if (file->pMethods->xRead(file, buffer.data(), n, offset) != SQLITE_OK) {
            written = false;
            break;
        }
        for (int done = 0; done < n;) {
            const ssize_t w = ::write(fd, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                written = false;
                break;
            }
            done += static_cast<int>(w);
        }
        offset += n;
    }
    if (::close(fd) != 0) written = false;
    if (!written) return false;

    sqlite3* to = nullptr;
    const bool opened =
        sqlite3_open_v2(target.c_str(), &to, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK;
    const bool copied = opened && QuickCheck(to);
    sqlite3_close_v2(to);
    return copied;
}

bool Sync(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

}  // namespace

void CheckUndamaged(std::string_view path) {
    CheckOpened(path, [](SharedFile& file) { return QuickCheck(file.db()); });
}

void CheckUndamaged(std::string_view path, const std::vector<std::string>& tables) {
    CheckOpened(path, [&](SharedFile& file) { return TablesPassCheck(file, tables); });
}

void CopyDatabase(std::string_view source, const fs::path& destination) {
    const std::string destinationName = destination.string();
    std::error_code ec;
    if (fs::exists(fs::symlink_status(destination, ec)))
        throw MakeError(err::kDatabaseExists, destinationName);

    std::shared_ptr<Database> db = OpenDatabase(source);
    if (!QuickCheck(db->Handle())) throw Damaged(source);

    fs::path temporary;
    const int fd = platform::CreateTemporaryBeside(destination, temporary);
    if (fd < 0) throw MakeError(err::kDiskIo, destinationName);
    ::close(fd);
    platform::TemporaryFile scratch(temporary);

    if (!CopyBytesInto(db->Handle(), scratch.path())) {
        // A full disk or a failing write, unless the source itself was the trouble.
        if (!QuickCheck(db->Handle())) throw Damaged(source);
        throw MakeError(err::kDiskIo, destinationName);
    }
    db->Close();
    if (!Sync(scratch.path())) throw MakeError(err::kDiskIo, destinationName);
    if (platform::CommitTemporary(scratch.path(), destination, /*replaceExisting=*/false) != 0) {
        if (errno == EEXIST) throw MakeError(err::kDatabaseExists, destinationName);
        throw MakeError(err::kDiskIo, destinationName);
    }
    scratch.Committed();
}

}  // namespace actualiz::engine
