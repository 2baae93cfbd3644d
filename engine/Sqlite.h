#pragma once

// The engine's thin layer over the SQLite C API: one connection, prepared statements that are
// always finalized, transactions, and the translation of SQLite failures into the classic errors.

#include <sqlite3.h>

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/EngineError.h"
#include "engine/Types.h"

namespace actualiz::engine::detail {

// The tables among a file's kept object rows, by name (see SchemaLoad.cpp).
struct KeptTableNames;

// How long a writer waits for a file another connection holds before it gives up with 3211/3045.
inline constexpr int kBusyTimeoutMs = 2000;

// One open SQLite connection to a file. Every handle the process has on the file shares it (see
// ConnectionPool.h), so the file is opened and its schema parsed once per run, not per handle.
class SharedFile {
  public:
    // Opens an existing file; the caller has checked that it is an engine database.
    SharedFile(const std::string& hostPath, const std::string& displayName, bool readOnly);
    ~SharedFile();
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    sqlite3* db() const { return db_; }
    bool ReadOnly() const { return readOnly_; }
    const std::string& HostPath() const { return hostPath_; }

    // Schema changes committed through any handle of this process: the other handles read
    // their definitions again (SQLite's data_version only counts other connections' commits).
    long long commits = 0;
    // What opening learnt of the system tables, valid while the schema stays at that version.
    struct Format {
        long long schemaVersion = -1;
        bool engineTables = false;
        bool current = false;
        bool indexed = false;  // the system tables' lookup indexes are there
    } format;
    // Tables (and the schema, as "sqlite_master") a quick check found sound on this connection.
    // The pool keeps a connection only while nobody outside this process has written the file
    // but through SQLite, so they stay sound until the connection ends.
    std::vector<std::string> checkedSound;
    // The rows of one query, row by row: each cell as SQLite gives it as a number and as text.
    struct StoredRows {
        std::size_t columns = 0;
        std::vector<long long> numbers;
        std::vector<std::string> texts;
        std::size_t Count() const { return columns == 0 ? 0 : numbers.size() / columns; }
        // The order a reader needs the rows in, worked out by the first reader that needed it
        // and kept with the rows for the next one (see SchemaLoad.cpp); empty until then.
        mutable std::vector<std::size_t> order;
        // For the rows of the objects: where each table stands in name order, likewise.
        mutable std::shared_ptr<const KeptTableNames> tableNames;
    };
    // The system tables' rows the definitions were last read from, by query, and the file as it
    // was then (its data_version, this connection's count of changed rows): a run opens the
    // same file again and again, and they are read again only once something may have changed.
    struct DefinitionRows {
        long long dataVersion = -1;
        long long changes = -1;
        long long loads = 0;
        bool keep = false;
        // Shared with the tables loaded from them, which build their fields and indexes from
        // these rows when first asked.
        std::list<std::pair<std::string, std::shared_ptr<const StoredRows>>> byQuery;
    } definitionRows;
    // Called when a handle lets go of the file.
    std::function<void(const std::shared_ptr<SharedFile>&)> released;

  private:
    sqlite3* db_ = nullptr;
    bool readOnly_ = false;
    std::string hostPath_;
};

// One handle's use of a file: closing it lets go of the shared connection (later use raises 3420)
// without closing it for the file's other handles.
class Connection {
  public:
    // A handle on a connection of its own.
    Connection(const std::string& hostPath, std::string displayName, bool readOnly);
    // A handle on a connection shared with the file's other handles.
    Connection(std::shared_ptr<SharedFile> file, std::string displayName);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* db() const { return db_; }
    bool IsOpen() const { return db_ != nullptr; }
    bool ReadOnly() const { return readOnly_; }
    const std::string& DisplayName() const { return displayName_; }
    void Close();

    // Runs statements that return no rows (schema changes, transaction control).
    void Exec(const std::string& sql, std::string_view object = {});
    // Throws 3420 when closed, 3027 when read-only (for writes).
    void CheckOpen() const;
    void CheckWritable(std::string_view object) const;

    const std::shared_ptr<SharedFile>& File() const { return file_; }
    // SQLite's data_version of this connection (changes with other connections' commits); -1
    // when it cannot be read.
    long long DataVersion() const;
    // A number that changes when the file's definitions may have been changed by anyone but this
    // handle: another connection's commit, or another handle's schema change. The second form
    // takes a DataVersion() the caller has just read.
    long long ChangesElsewhere() const { return ChangesElsewhere(DataVersion()); }
    long long ChangesElsewhere(long long dataVersion) const;
    // Counts a schema change committed through this handle.
    void CountOwnCommit();

  private:
    std::shared_ptr<SharedFile> file_;
    long long ownCommits_ = 0;
    sqlite3* db_ = nullptr;
    bool readOnly_ = false;
    std::string displayName_;
};

// Raises the classic error for an SQLite failure. object names the table or object concerned;
// messages raised by the engine's own triggers ("3201|texto") keep their number and text.
[[noreturn]] void ThrowSqlite(sqlite3* db, int rc, std::string_view object);

// Whether translated classic SQL may call the SQL function of that name: the engine's own
// functions (classic_*, regexp) and the few of SQLite's that the dialect translates to or keeps
// (SqlRewrite.cpp, the aggregates). Nothing else of SQLite's (fts3_tokenizer, load_extension,
// printf, zeroblob ...) is classic SQL.
bool OffersFunction(std::string_view name);

// A statement of a record source (translated classic SQL) prepared to read only: 3085 when it
// calls a function OffersFunction refuses, 3219 when it would write or reach past itself (PRAGMA,
// ATTACH ...). object names the source in the errors.
using SourceStatement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;
SourceStatement PrepareSource(sqlite3* db, const std::string& sql, std::string_view object);

// Binds one value to a prepared statement's placeholder; SQLite's result code.
int BindValue(sqlite3_stmt* stmt, int index, const Value& value);

// The value of one column of the current row of a stepped statement: the one conversion from
// SQLite's storage classes to the engine's values.
Value ColumnValue(sqlite3_stmt* stmt, int index);
// The values of the current row's columns from the given one on.
std::vector<Value> ColumnValues(sqlite3_stmt* stmt, int from);

class Statement {
  public:
    Statement(const Connection& connection, const std::string& sql, std::string_view object = {});
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, const Value& value);
    Statement& Bind(int index, long long value);
    Statement& Bind(int index, std::string_view text);
    Statement& Bind(int index, const std::string& text) {
        return Bind(index, std::string_view(text));
    }
    Statement& Bind(int index, const char* text) { return Bind(index, std::string_view(text)); }
    // Steps once; true while a row is available.
    bool Step();
    // Steps to the end of a statement that returns no rows.
    void Run();

    int ColumnCount() const;
    Value Column(int index) const;
    long long Int(int index) const;
    std::string Text(int index) const;
    bool IsNull(int index) const;
    sqlite3_stmt* get() const { return stmt_; }

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    std::string object_;
};

// BEGIN IMMEDIATE ... COMMIT; rolled back when destroyed uncommitted, so a failing change leaves
// the file as it was. Inside a transaction already open on the connection (a group of writes) it
// is a savepoint of that transaction instead.
class Transaction {
  public:
    Transaction(Connection& connection, std::string_view object);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();

  private:
    Connection& connection_;
    std::string object_;
    bool done_ = false;
    bool nested_ = false;
};

}  // namespace actualiz::engine::detail
