#include "cli/Backup.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>

#include "engine/Integrity.h"
#include "engine/Names.h"
#include "engine/SchemaCompare.h"
#include "jet/JetReader.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

namespace fs = std::filesystem;

std::string BackupFolderName(std::time_t now) {
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return std::string("respaldo-") + stamp;
}

namespace {

// The data folder followed by one more name, as the program joins paths (a drive root already
// ends with its backslash).
std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

}  // namespace

BackupInfo MakeBackup(const std::string& dataFolder, const std::vector<std::string>& names,
                      std::time_t now) {
    const fs::path dataHost = platform::ToHostPath(dataFolder);
    const std::string base = BackupFolderName(now);
    std::string folderName;
    fs::path folderHost;
    for (int attempt = 1;; ++attempt) {
        folderName = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        folderHost = dataHost / folderName;
        std::error_code ec;
        if (fs::create_directory(folderHost, ec)) break;
        if (ec) throw platform::PathFileAccessError(Join(dataFolder, folderName));
        if (attempt > 100) throw platform::FileAlreadyExists(Join(dataFolder, folderName));
    }

    BackupInfo backup;
    backup.folder = Join(dataFolder, folderName);
    backup.hostFolder = folderHost.string();
    backup.dataHostFolder = dataHost.string();
    try {
        // Through SQLite: a journal a killed run left is rolled back before the copy, and each
        // copy is checked before the run may change anything. A real Access file is kept as its
        // own bytes: the engine would copy the import that stands for it, and a restore would
        // then leave the application a file it cannot open.
        for (const std::string& name : names) {
            const fs::path source = dataHost / name;
            if (engine::IsJetFile(source))
                platform::CopyHostFile(source, Join(dataFolder, name), Join(backup.folder, name),
                                       /*replaceExisting=*/false);
            else
                engine::CopyDatabase(Join(dataFolder, name), folderHost / name);
            backup.files.push_back(name);
        }
    } catch (...) {
        std::error_code ec;
        fs::remove_all(folderHost, ec);
        throw;
    }
    return backup;
}

namespace {

// Whether each table of `schema` holds the same rows in the database at current as in the one at
// saved, every value exactly (letter case included) and under the same row number.
bool SameRows(const fs::path& current, const fs::path& saved,
              const engine::DatabaseSchema& schema) {
    sqlite3* db = nullptr;
    bool same = sqlite3_open_v2(current.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK;
    auto answer = [&](const std::string& sql, const std::string* bound) {
        sqlite3_stmt* st = nullptr;
        bool yes = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK;
        if (yes && bound)
            yes = sqlite3_bind_text(st, 1, bound->c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK;
        const int rc = yes ? sqlite3_step(st) : SQLITE_ERROR;
        yes = rc == SQLITE_DONE || (rc == SQLITE_ROW && sqlite3_column_int(st, 0) == 1);
        sqlite3_finalize(st);
        return yes;
    };
    const std::string savedPath = saved.string();
    same = same && answer("ATTACH ? AS respaldo", &savedPath);
    for (const engine::TableSchema& table : schema.tables) {
        if (!same) break;
        const std::string name = engine::QuoteIdentifier(table.name);
        std::string columns = "_rowid_";
        for (const engine::FieldSchema& f : table.fields)
            columns += ", " + engine::QuoteIdentifier(f.name) + " COLLATE BINARY";
        same =
            answer("SELECT (SELECT count(*) FROM main." + name + ") = (SELECT count(*) FROM " +
                       "respaldo." + name + ") AND NOT EXISTS (SELECT " + columns + " FROM main." +
                       name + " EXCEPT SELECT " + columns + " FROM respaldo." + name + ")",
                   nullptr);
    }
    sqlite3_close_v2(db);
    return same;
}

// Whether the run left the database as the backup holds it: the same bytes, or else the same
// structure and the same rows (steps that rebuild an index or a relation as it was write the
// file without changing what it holds).
bool Unchanged(const fs::path& current, const fs::path& saved) {
    if (platform::SameBytes(current, saved)) return true;
    try {
        const engine::DatabaseSchema now = engine::ReadSchemaAt(current.string());
        if (!engine::CompareSchemas(engine::ReadSchemaAt(saved.string()), now).empty())
            return false;
        return SameRows(current, saved, now);
    } catch (const Error&) {
        return false;
    }
}

}  // namespace

void DropBackupIfNothingChanged(TransformReport& report) {
    if (!report.backup) return;
    for (const CopiedDatabase& copy : report.copiedIn)
        if (copy.copied) return;
    const BackupInfo& backup = *report.backup;
    for (const std::string& name : backup.files)
        if (!Unchanged(fs::path(backup.dataHostFolder) / name, fs::path(backup.hostFolder) / name))
            return;
    std::error_code ec;
    fs::remove_all(backup.hostFolder, ec);
    if (ec) return;
    report.backupRemoved = backup.folder;
    report.backup.reset();
}

}  // namespace actualiz::cli
