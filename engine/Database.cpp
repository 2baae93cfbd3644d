#include "engine/Database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/ConnectionPool.h"
#include "engine/EngineError.h"
#include "engine/ForeignFiles.h"
#include "engine/Names.h"
#include "engine/Schema.h"
#include "engine/Sqlite.h"
#include "platform/FileSystem.h"

namespace actualiz::engine {

namespace fs = std::filesystem;

Database::Database(std::string name, std::shared_ptr<detail::Connection> connection)
    : name_(std::move(name)), connection_(std::move(connection)) {
    WireCollections();
}

Database::~Database() = default;

void Database::WireCollections() {
    Collection<TableDef>::Hooks tableHooks;
    tableHooks.beforeAppend = [this](const std::shared_ptr<TableDef>& table) {
        detail::Schema::AppendTable(*this, table);
    };
    tableHooks.beforeDelete = [this](const std::shared_ptr<TableDef>& table) {
        detail::Schema::DeleteTable(*this, table);
    };
    tableHooks.less = NameLess;
    tableDefs_.SetHooks(std::move(tableHooks));

    Collection<Relation>::Hooks relationHooks;
    relationHooks.beforeAppend = [this](const std::shared_ptr<Relation>& relation) {
        detail::Schema::AppendRelation(*this, relation);
    };
    relationHooks.beforeDelete = [this](const std::shared_ptr<Relation>& relation) {
        detail::Schema::DeleteRelation(*this, relation);
    };
    relations_.SetHooks(std::move(relationHooks));

    Collection<QueryDef>::Hooks queryHooks;
    queryHooks.beforeAppend = [this](const std::shared_ptr<QueryDef>& query) {
        detail::Schema::StoreQuery(*this, *query);
    };
    queryHooks.beforeDelete = [this](const std::shared_ptr<QueryDef>& query) {
        detail::Schema::DeleteQuery(*this, query);
    };
    queryHooks.less = NameLess;
    queryDefs_.SetHooks(std::move(queryHooks));
}

std::shared_ptr<Database> Database::Attach(std::string name,
                                           std::shared_ptr<detail::Connection> connection) {
    std::shared_ptr<Database> database(new Database(std::move(name), std::move(connection)));
    database->Load();
    return database;
}

const std::shared_ptr<detail::Connection>& Database::SharedConn() const {
    if (!connection_ || !connection_->IsOpen()) throw MakeError(err::kObjectClosed);
    return connection_;
}

detail::Connection& Database::Conn() const {
    return *SharedConn();
}

void Database::Load() {
    const long long version = Conn().DataVersion();
    dataVersion_ = Conn().ChangesElsewhere(version);
    detail::Schema::Load(*this, version);
}

void Database::RefreshIfChangedElsewhere() {
    // Changes only with commits of other connections and other handles, never with this one's.
    if (Conn().ChangesElsewhere() != dataVersion_) Load();
}

bool Database::Updatable() const {
    return !Conn().ReadOnly();
}

bool Database::IsOpen() const {
    return connection_ && connection_->IsOpen();
}

sqlite3* Database::Handle() const {
    return IsOpen() ? connection_->db() : nullptr;
}

Collection<TableDef>& Database::TableDefs() {
    Conn();
    return tableDefs_;
}

Collection<Relation>& Database::Relations() {
    Conn();
    return relations_;
}

Collection<QueryDef>& Database::QueryDefs() {
    Conn();
    return queryDefs_;
}

std::shared_ptr<TableDef> Database::CreateTableDef(std::string name) {
    Conn();
    return std::make_shared<TableDef>(std::move(name));
}

std::shared_ptr<Relation> Database::CreateRelation(std::string name, std::string table,
                                                   std::string foreignTable, long attributes) {
    Conn();
    return std::make_shared<Relation>(std::move(name), std::move(table), std::move(foreignTable),
                                      attributes);
}

std::shared_ptr<QueryDef> Database::CreateQueryDef(std::string name, std::string sql) {
    Conn();
    detail::Schema::CheckQueryText(sql);
    auto query = std::make_shared<QueryDef>(std::move(name), std::move(sql));
    if (!query->Name().empty()) {
        detail::Schema::StoreQuery(*this, *query);
        queryDefs_.Insert(query);
    }
    return query;
}

WriteGroup::WriteGroup(Database& database) : connection_(database.SharedConn()) {
    // A file that may not be written gets no transaction: each write refuses on its own (3027).
    if (connection_->ReadOnly()) return;
    if (sqlite3_get_autocommit(connection_->db()) == 0) return;  // an outer group holds it
    connection_->Exec("BEGIN IMMEDIATE");
    file_ = connection_->File();
    owner_ = true;
}

WriteGroup::~WriteGroup() {
    // SQLite may already have rolled back on its own (a full disk): then there is nothing to undo.
    if (owner_ && sqlite3_get_autocommit(file_->db()) == 0)
        sqlite3_exec(file_->db(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void WriteGroup::Commit() {
    if (!owner_) return;
    connection_->Exec("COMMIT");
    owner_ = false;
}

void Database::Close() {
    if (connection_) connection_->Close();
}

namespace {

fs::path HostPath(std::string_view path) {
    try {
        return platform::ResolvePath(path);
    } catch (const actualiz::Error&) {
        throw MakeError(err::kInvalidPath, path);
    }
}

bool ParentExists(const fs::path& host) {
    std::error_code ec;
    fs::path parent = host.parent_path();
    return parent.empty() || fs::is_directory(parent, ec);
}

// True when the file's first bytes are an SQLite header carrying this engine's application id.
// Read directly, so a foreign file is never opened by SQLite (which could roll back a journal).
bool HasEngineHeader(const fs::path& host, bool& readable) {
    std::ifstream in(host, std::ios::binary);
    readable = static_cast<bool>(in);
    if (!readable) return false;
    unsigned char header[100] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    if (in.gcount() != static_cast<std::streamsize>(sizeof header)) return false;
    static const char magic[] = "SQLite format 3";
    if (std::memcmp(header, magic, sizeof magic) != 0) return false;
    long id =
        (static_cast<long>(header[68]) << 24) | (header[69] << 16) | (header[70] << 8) | header[71];
    return id == detail::kApplicationId;
}

// A file opens read-only when the process may not write it or its folder (the rollback journal
// lives beside it), or when it carries no write permission at all (like a read-only attribute,
// which holds even for a privileged user).
bool MustOpenReadOnly(const fs::path& host) {
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0) return true;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
    if (::access(host.c_str(), W_OK) != 0) return true;
    fs::path folder = host.parent_path();
    if (folder.empty()) folder = ".";
    return ::access(folder.c_str(), W_OK) != 0;
}

}  // namespace

// Every failure to open names the file it concerns, so that whoever records it can tell the
// model from the old database.
std::shared_ptr<Database> OpenDatabase(std::string_view path) try {
    fs::path host = HostPath(path);
    std::error_code ec;
    auto status = fs::status(host, ec);
    if (ec || !fs::exists(status)) {
        if (!ParentExists(host)) throw MakeError(err::kInvalidPath, path);
        throw MakeError(err::kFileNotFound, path);
    }
    if (fs::is_directory(status)) throw MakeError(err::kCannotOpenFile, path);
    // A file of another engine (a real Jet file) opens read-only, as the engine database that
    // stands for it.
    if (auto standIn = ForeignFileStandIn(host)) host = *standIn;
    bool readable = false;
    if (!HasEngineHeader(host, readable)) {
        if (!readable) throw MakeError(err::kCannotOpenFile, path);
        throw MakeError(err::kUnrecognizedFormat, path);
    }
    bool readOnly = MustOpenReadOnly(host);
    // Opening a file again in the same run reaches it through the connection the run has.
    auto connection = std::make_shared<detail::Connection>(
        detail::ShareFile(host.string(), std::string(path), readOnly), std::string(path));
    try {
        const detail::SharedFile::Format& format = detail::Schema::ReadFormat(*connection);
        // A file of an older format is read as it is: opening never writes a file. Its first
        // change of definitions brings it up to date (detail::DefinitionChange).
        if (!format.engineTables) throw MakeError(err::kUnrecognizedFormat, path);
    } catch (const EngineError& e) {
        if (e.number() == err::kTableInUse) throw MakeError(err::kFileInUse, path);
        throw;
    }
    try {
        return Database::Attach(std::string(path), std::move(connection));
    } catch (const EngineError& e) {
        if (e.number() == err::kTableInUse) throw MakeError(err::kFileInUse, path);
        throw;
    }
} catch (actualiz::Error& e) {
    if (e.file().empty()) e.SetFile(std::string(path));
    throw;
}

std::shared_ptr<Database> CreateDatabase(std::string_view path) {
    fs::path host = HostPath(path);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(host, ec))) throw MakeError(err::kDatabaseExists, path);
    if (!ParentExists(host)) throw MakeError(err::kInvalidPath, path);

    // The new file is built beside its final place and linked there complete, so nobody ever
    // sees a half-made database and an existing file is never replaced.
    fs::path temp;
    const int fd = platform::CreateTemporaryBeside(host, temp);
    if (fd < 0) throw MakeError(err::kDiskIo, path);
    ::close(fd);
    {
        sqlite3* db = nullptr;
        int rc =
            sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_close_v2(db);
            fs::remove(temp, ec);
            throw MakeError(err::kDiskIo, path);
        }
        sqlite3_close_v2(db);
        try {
            detail::Connection c(temp.string(), std::string(path), false);
            c.Exec("PRAGMA application_id = " + std::to_string(detail::kApplicationId));
            c.Exec("PRAGMA user_version = " + std::to_string(detail::kFormatVersion));
            c.Exec("PRAGMA journal_mode = DELETE");
            detail::Transaction tx(c, path);
            detail::Schema::Initialize(c);
            tx.Commit();
        } catch (...) {
            fs::remove(temp, ec);
            throw;
        }
    }
    if (platform::CommitTemporary(temp, host, /*replaceExisting=*/false) != 0) {
        int error = errno;
        fs::remove(temp, ec);
        if (error == EEXIST) throw MakeError(err::kDatabaseExists, path);
        throw MakeError(err::kDiskIo, path);
    }
    return OpenDatabase(path);
}

}  // namespace actualiz::engine
