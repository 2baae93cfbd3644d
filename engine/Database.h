#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/Collection.h"
#include "engine/QueryDef.h"
#include "engine/Recordset.h"
#include "engine/Relation.h"
#include "engine/TableDef.h"
#include "engine/Types.h"

struct sqlite3;

namespace actualiz::engine {

namespace detail {
class Connection;
class SharedFile;
}  // namespace detail

// An open engine database: an SQLite file carrying the engine's system tables. Every Append and
// Delete on its collections (and on a stored table's Fields and Indexes) is one SQLite
// transaction: the file changes at once and durably, or not at all.
class Database : public std::enable_shared_from_this<Database> {
  public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // The path as given to OpenDatabase.
    std::string Name() const { return name_; }
    // False when the file was opened read-only (the process may not write it).
    bool Updatable() const;

    Collection<TableDef>& TableDefs();  // name order, system tables included
    Collection<Relation>& Relations();  // creation order
    Collection<QueryDef>& QueryDefs();  // name order

    std::shared_ptr<TableDef> CreateTableDef(std::string name);
    std::shared_ptr<Relation> CreateRelation(std::string name, std::string table,
                                             std::string foreignTable, long attributes = 0);
    // With a name the query is stored at once (3012 when a table or query has that name); with an
    // empty name it is a temporary query that is not stored. 3129 for text that is no statement.
    std::shared_ptr<QueryDef> CreateQueryDef(std::string name, std::string sql);

    // A table or stored query name, or one SELECT statement in the classic SQL dialect.
    std::unique_ptr<Recordset> OpenRecordset(std::string_view source);
    // The same with values for the query's parameters, by name, as QueryDef.Parameters gives them
    // (3061 when a declared parameter has none).
    std::unique_ptr<Recordset> OpenRecordset(
        std::string_view source, const std::vector<std::pair<std::string, Value>>& parameters);

    // Closes the connection; later use of the database raises 3420. Record sets already open keep
    // the rows they hold but cannot read others (3420) or write any more.
    void Close();
    bool IsOpen() const;

    // The connection's SQLite handle, for tests and tools that inspect the file. Null once closed.
    ::sqlite3* Handle() const;

    // --- For the engine's own opening code and objects. ---
    // A database over a connection that opening has checked, with its definitions read.
    static std::shared_ptr<Database> Attach(std::string name,
                                            std::shared_ptr<detail::Connection> connection);
    // The connection; 3420 when closed.
    detail::Connection& Conn() const;
    const std::shared_ptr<detail::Connection>& SharedConn() const;

  private:
    Database(std::string name, std::shared_ptr<detail::Connection> connection);
    void Load();
    // Reads the definitions again when another connection changed the file since they were read.
    void RefreshIfChangedElsewhere();
    void WireCollections();

    std::string name_;
    std::shared_ptr<detail::Connection> connection_;
    Collection<TableDef> tableDefs_;
    Collection<Relation> relations_;
    Collection<QueryDef> queryDefs_;
    long long dataVersion_ =
        0;  // the connection's ChangesElsewhere() when the definitions were read
};

// Makes the row writes of record sets on a database one transaction, from its creation to
// Commit: the file changes once, durably, or not at all when the group ends uncommitted (a
// failure on the way rolls back every row written since). Within a group already open on the same
// connection it adds nothing; schema changes made meanwhile join the group.
class WriteGroup {
  public:
    explicit WriteGroup(Database& database);
    ~WriteGroup();
    WriteGroup(const WriteGroup&) = delete;
    WriteGroup& operator=(const WriteGroup&) = delete;
    void Commit();

  private:
    std::shared_ptr<detail::Connection> connection_;
    std::shared_ptr<detail::SharedFile> file_;  // still to roll back once the handle is closed
    bool owner_ = false;
};

// Opens an engine database, shared and read-write (read-only when the process may not write the
// file). path is a Windows path ("C:\\ActMirto\\indices.mdb") or a host path. Missing file 3024;
// a folder or an unreadable file 3051; a real Jet file opens read-only through the Jet reader;
// any other file that is not an engine database gives 3343 (left untouched).
std::shared_ptr<Database> OpenDatabase(std::string_view path);

// Creates a new, empty engine database; 3204 when the file exists.
std::shared_ptr<Database> CreateDatabase(std::string_view path);

}  // namespace actualiz::engine
