#include "engine/Integrity.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "engine/Database.h"
#include "engine/EngineError.h"
#include "platform/FileSystem.h"

namespace actualiz::engine {

namespace fs = std::filesystem;

namespace {

// SQLite's quick_check on an open connection: true when it answers a single "ok".
bool QuickCheck(sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &stmt, nullptr) != SQLITE_OK) {
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

EngineError Damaged(std::string_view path) {
    EngineError e = MakeError(err::kDatabaseDamaged, path);
    e.SetFile(std::string(path));
    return e;
}

// Writes the open source into the file at target with the online backup; false on failure.
bool BackUpInto(sqlite3* from, const fs::path& target) {
    sqlite3* to = nullptr;
    int rc = sqlite3_open_v2(target.c_str(), &to, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
        if (backup) {
            do {
                rc = sqlite3_backup_step(backup, -1);
            } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
            const int finish = sqlite3_backup_finish(backup);
            if (rc == SQLITE_DONE && finish != SQLITE_OK) rc = finish;
        } else {
            rc = sqlite3_errcode(to);
        }
    }
    const bool copied = rc == SQLITE_DONE && QuickCheck(to);
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
    std::shared_ptr<Database> db = OpenDatabase(path);
    const bool ok = QuickCheck(db->Handle());
    db->Close();
    if (!ok) throw Damaged(path);
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

    if (!BackUpInto(db->Handle(), scratch.path())) {
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
