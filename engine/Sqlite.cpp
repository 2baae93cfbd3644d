#include "engine/Sqlite.h"

#include "engine/ClassicValues.h"
#include "engine/SqlDialect.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace actualiz::engine::detail {

SharedFile::SharedFile(const std::string& hostPath, const std::string& displayName, bool readOnly)
    : readOnly_(readOnly), hostPath_(hostPath) {
    int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    int rc = sqlite3_open_v2(hostPath.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        if (rc == SQLITE_NOTADB) throw MakeError(err::kUnrecognizedFormat, displayName);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) throw MakeError(err::kFileInUse, displayName);
        throw MakeError(err::kCannotOpenFile, displayName);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    // A double-quoted word is always a name here, never a string: an unknown field must be an
    // error, not silently become text.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    // Nothing the engine does not offer: no tokenizers registered from SQL, no extensions, and
    // no SQL that could write the schema or the pages behind SQLite's back.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    // No text or binary value longer than the classic engine's own limit (SQLite keeps its own
    // maximum when that is lower).
    sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, static_cast<int>(kMaxValueBytes));
    RegisterClassicFunctions(db_);
}

SharedFile::~SharedFile() {
    sqlite3_close_v2(db_);
}

Connection::Connection(const std::string& hostPath, std::string displayName, bool readOnly)
    : Connection(std::make_shared<SharedFile>(hostPath, displayName, readOnly),
                 std::move(displayName)) {}

Connection::Connection(std::shared_ptr<SharedFile> file, std::string displayName)
    : file_(std::move(file)),
      db_(file_->db()),
      readOnly_(file_->ReadOnly()),
      displayName_(std::move(displayName)) {}

Connection::~Connection() {
    Close();
}

void Connection::Close() {
    if (!db_) return;
    db_ = nullptr;
    std::shared_ptr<SharedFile> file = std::move(file_);
    if (file->released) file->released(file);
}

long long Connection::DataVersion() const {
    Statement s(*this, "PRAGMA data_version");
    return s.Step() ? s.Int(0) : -1;
}

long long Connection::ChangesElsewhere(long long dataVersion) const {
    return std::max(dataVersion, 0LL) + (file_->commits - ownCommits_);
}

void Connection::CountOwnCommit() {
    ++ownCommits_;
    ++file_->commits;
}

void Connection::CheckOpen() const {
    if (!db_) throw MakeError(err::kObjectClosed);
}

void Connection::CheckWritable(std::string_view object) const {
    CheckOpen();
    if (readOnly_) throw MakeError(err::kReadOnly, object.empty() ? displayName_ : object);
}

void Connection::Exec(const std::string& sql, std::string_view object) {
    CheckOpen();
    char* message = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK) ThrowSqlite(db_, rc, object.empty() ? displayName_ : object);
}

void ThrowSqlite(sqlite3* db, int rc, std::string_view object) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    // A validation rule's CHECK constraint is named like the triggers' messages.
    constexpr std::string_view kCheckFailed = "CHECK constraint failed: ";
    if (message.rfind(kCheckFailed, 0) == 0) message.erase(0, kCheckFailed.size());
    // The engine's triggers raise "NUMBER|text": keep both.
    std::size_t bar = message.find('|');
    if (bar != std::string::npos && bar > 0 && bar <= 5) {
        bool digits = true;
        for (std::size_t i = 0; i < bar; ++i)
            if (message[i] < '0' || message[i] > '9') digits = false;
        if (digits) throw EngineError(std::atoi(message.c_str()), message.substr(bar + 1));
    }
    switch (rc & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            throw MakeError(err::kTableInUse, object);
        case SQLITE_READONLY:
            throw MakeError(err::kReadOnly, object);
        case SQLITE_NOMEM:
        case SQLITE_TOOBIG:
            // A value beyond the engine's limit, or no memory left to build it.
            throw MakeError(err::kOutOfMemory, object);
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            throw MakeError(err::kUnrecognizedFormat, object);
        case SQLITE_IOERR:
        case SQLITE_FULL:
        case SQLITE_CANTOPEN:
            throw MakeError(err::kDiskIo, object);
        case SQLITE_CONSTRAINT:
            if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY)
                throw MakeError(err::kDuplicateInIndex, object);
            if (rc == SQLITE_CONSTRAINT_NOTNULL) throw MakeError(err::kFieldRequired, object);
            break;
        case SQLITE_ERROR:
            if (message.rfind("no such table: ", 0) == 0)
                throw MakeError(err::kInputTableNotFound, message.substr(15));
            if (message.rfind("misuse of aggregate", 0) == 0)
                throw MakeError(err::kAggregateMisused, message);
            if (message.rfind("no such function: ", 0) == 0)
                throw MakeError(err::kUndefinedFunction, message.substr(18));
            if (message.rfind("no such column: ", 0) == 0)
                throw MakeError(err::kTooFewParameters, message.substr(16));
            if (message.find("syntax error") != std::string::npos ||
                message.find("incomplete input") != std::string::npos)
                throw MakeError(err::kSyntaxError, message);
            break;
        default:
            break;
    }
    throw MakeError(err::kReserved, message);
}

bool OffersFunction(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.rfind("classic_", 0) == 0) return true;
    static const char* const kOffered[] = {
        "regexp",                                                        // the classic Like
        "length",   "substr", "iif",   "abs", "trim", "ltrim", "rtrim",  // the dialect's
        "count",    "sum",    "avg",   "min", "max",                     // aggregates
        "coalesce", "ifnull", "nullif"};                                 // Null handling
    for (const char* offered : kOffered)
        if (lower == offered) return true;
    return false;
}

namespace {

// Record sources may only read: no PRAGMA, ATTACH, writes or anything else reaching past the
// statement, and no function the engine does not offer (its name kept in *denied).
int SourceAuthorizer(void* denied, int action, const char*, const char* function, const char*,
                     const char*) {
    switch (action) {
        case SQLITE_SELECT:
        case SQLITE_READ:
        case SQLITE_RECURSIVE:
            return SQLITE_OK;
        case SQLITE_FUNCTION:
            if (function && OffersFunction(function)) return SQLITE_OK;
            *static_cast<std::string*>(denied) = function ? function : "";
            return SQLITE_DENY;
        default:
            return SQLITE_DENY;
    }
}

}  // namespace

SourceStatement PrepareSource(sqlite3* db, const std::string& sql, std::string_view object) {
    sqlite3_stmt* raw = nullptr;
    std::string denied;
    sqlite3_set_authorizer(db, SourceAuthorizer, &denied);
    int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
    sqlite3_set_authorizer(db, nullptr, nullptr);
    SourceStatement stmt(raw, sqlite3_finalize);
    // SQLite reports a refused function as an ordinary error ("not authorized to use ...").
    if (rc != SQLITE_OK && !denied.empty()) throw MakeError(err::kUndefinedFunction, denied);
    if (rc == SQLITE_AUTH) throw MakeError(err::kInvalidOperation, object);
    if (rc != SQLITE_OK) ThrowSqlite(db, rc, object);
    if (!stmt || !sqlite3_stmt_readonly(stmt.get()))
        throw MakeError(err::kInvalidOperation, object);
    return stmt;
}

Statement::Statement(const Connection& connection, const std::string& sql, std::string_view object)
    : db_(connection.db()), object_(object) {
    connection.CheckOpen();
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        ThrowSqlite(db_, rc, object_.empty() ? connection.DisplayName() : object_);
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

int BindValue(sqlite3_stmt* stmt, int index, const Value& value) {
    if (std::holds_alternative<std::monostate>(value)) return sqlite3_bind_null(stmt, index);
    if (auto* i = std::get_if<long long>(&value)) return sqlite3_bind_int64(stmt, index, *i);
    if (auto* d = std::get_if<double>(&value)) return sqlite3_bind_double(stmt, index, *d);
    if (auto* s = std::get_if<std::string>(&value))
        return sqlite3_bind_text64(stmt, index, s->data(), s->size(), SQLITE_TRANSIENT,
                                   SQLITE_UTF8);
    if (auto* b = std::get_if<std::vector<unsigned char>>(&value))
        return sqlite3_bind_blob64(stmt, index, b->data(), b->size(), SQLITE_TRANSIENT);
    return SQLITE_OK;
}

Statement& Statement::Bind(int index, const Value& value) {
    int rc = BindValue(stmt_, index, value);
    if (rc != SQLITE_OK) ThrowSqlite(db_, rc, object_);
    return *this;
}

Statement& Statement::Bind(int index, long long value) {
    return Bind(index, Value(value));
}

Statement& Statement::Bind(int index, std::string_view text) {
    int rc =
        sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK) ThrowSqlite(db_, rc, object_);
    return *this;
}

bool Statement::Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    ThrowSqlite(db_, rc, object_);
}

void Statement::Run() {
    while (Step()) {
    }
}

int Statement::ColumnCount() const {
    return sqlite3_column_count(stmt_);
}

Value ColumnValue(sqlite3_stmt* stmt, int index) {
    switch (sqlite3_column_type(stmt, index)) {
        case SQLITE_INTEGER:
            return static_cast<long long>(sqlite3_column_int64(stmt, index));
        case SQLITE_FLOAT:
            return sqlite3_column_double(stmt, index);
        case SQLITE_TEXT: {
            auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, index));
            return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt, index)));
        }
        case SQLITE_BLOB: {
            auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(stmt, index));
            int n = sqlite3_column_bytes(stmt, index);
            return std::vector<unsigned char>(p, p + n);
        }
        default:
            return std::monostate{};
    }
}

std::vector<Value> ColumnValues(sqlite3_stmt* stmt, int from) {
    const int count = sqlite3_column_count(stmt);
    std::vector<Value> values;
    values.reserve(static_cast<std::size_t>(std::max(count - from, 0)));
    for (int i = from; i < count; ++i) values.push_back(ColumnValue(stmt, i));
    return values;
}

Value Statement::Column(int index) const {
    return ColumnValue(stmt_, index);
}

long long Statement::Int(int index) const {
    return sqlite3_column_int64(stmt_, index);
}

std::string Statement::Text(int index) const {
    auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, index)))
             : std::string();
}

bool Statement::IsNull(int index) const {
    return sqlite3_column_type(stmt_, index) == SQLITE_NULL;
}

Transaction::Transaction(Connection& connection, std::string_view object)
    : connection_(connection), object_(object) {
    connection_.CheckWritable(object);
    nested_ = sqlite3_get_autocommit(connection_.db()) == 0;
    connection_.Exec(nested_ ? "SAVEPOINT engine_change" : "BEGIN IMMEDIATE", object_);
}

Transaction::~Transaction() {
    if (!done_ && connection_.IsOpen() && sqlite3_get_autocommit(connection_.db()) == 0) {
        const char* undo =
            nested_ ? "ROLLBACK TO engine_change; RELEASE engine_change" : "ROLLBACK";
        sqlite3_exec(connection_.db(), undo, nullptr, nullptr, nullptr);
    }
}

void Transaction::Commit() {
    connection_.Exec(nested_ ? "RELEASE engine_change" : "COMMIT", object_);
    connection_.CountOwnCommit();
    done_ = true;
}

}  // namespace actualiz::engine::detail
