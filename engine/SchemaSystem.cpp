// The engine's system tables: what they are, how a new file gets them, and whether a file has them.

#include <string_view>
#include <vector>

#include "engine/Names.h"
#include "engine/Schema.h"
#include "engine/SchemaRows.h"

namespace actualiz::engine::detail {

namespace {

struct SystemColumn {
    const char* name;
    short type;
    long size;
};

struct SystemTable {
    const char* name;
    const char* createSql;
    std::vector<SystemColumn> columns;
};

// The engine's system tables. They are ordinary tables of the file and are described in the
// system tables themselves, so TableDefs lists them like the classic engine's own.
const std::vector<SystemTable>& SystemTables() {
    static const std::vector<SystemTable> tables = {
        {"MSysObjects",
         "CREATE TABLE \"MSysObjects\" (\"Id\" INTEGER PRIMARY KEY, \"Name\" VARCHAR(64) NOT NULL, "
         "\"Type\" SMALLINT NOT NULL)",
         {{"Id", dbLong, 4}, {"Name", dbText, 64}, {"Type", dbInteger, 2}}},
        {"MSysColumns",
         "CREATE TABLE \"MSysColumns\" (\"ObjectId\" INTEGER NOT NULL, \"Position\" INTEGER NOT "
         "NULL, \"Name\" VARCHAR(64) NOT NULL, \"Type\" SMALLINT NOT NULL, \"Size\" INTEGER NOT "
         "NULL, \"AllowZeroLength\" BOOLEAN NOT NULL, \"Required\" BOOLEAN NOT NULL, PRIMARY KEY "
         "(\"ObjectId\", \"Position\"))",
         {{"ObjectId", dbLong, 4},
          {"Position", dbLong, 4},
          {"Name", dbText, 64},
          {"Type", dbInteger, 2},
          {"Size", dbLong, 4},
          {"AllowZeroLength", dbBoolean, 1},
          {"Required", dbBoolean, 1}}},
        {"MSysIndexes",
         "CREATE TABLE \"MSysIndexes\" (\"Id\" INTEGER PRIMARY KEY, \"ObjectId\" INTEGER NOT NULL, "
         "\"Name\" VARCHAR(64) NOT NULL, \"SqlName\" TEXT NOT NULL, \"IsUnique\" BOOLEAN NOT NULL, "
         "\"IsPrimary\" BOOLEAN NOT NULL, \"IgnoreNulls\" BOOLEAN NOT NULL)",
         {{"Id", dbLong, 4},
          {"ObjectId", dbLong, 4},
          {"Name", dbText, 64},
          {"SqlName", dbMemo, 0},
          {"IsUnique", dbBoolean, 1},
          {"IsPrimary", dbBoolean, 1},
          {"IgnoreNulls", dbBoolean, 1}}},
        {"MSysIndexColumns",
         "CREATE TABLE \"MSysIndexColumns\" (\"IndexId\" INTEGER NOT NULL, \"Position\" INTEGER "
         "NOT NULL, \"Name\" VARCHAR(64) NOT NULL, \"Descending\" BOOLEAN NOT NULL, PRIMARY KEY "
         "(\"IndexId\", \"Position\"))",
         {{"IndexId", dbLong, 4},
          {"Position", dbLong, 4},
          {"Name", dbText, 64},
          {"Descending", dbBoolean, 1}}},
        {"MSysRelationships",
         "CREATE TABLE \"MSysRelationships\" (\"Id\" INTEGER PRIMARY KEY, \"Name\" VARCHAR(64) NOT "
         "NULL, \"TableName\" VARCHAR(64) NOT NULL, \"ForeignTableName\" VARCHAR(64) NOT NULL, "
         "\"Attributes\" INTEGER NOT NULL, \"Position\" INTEGER NOT NULL, \"FieldName\" "
         "VARCHAR(64) NOT NULL, \"ForeignName\" VARCHAR(64) NOT NULL)",
         {{"Id", dbLong, 4},
          {"Name", dbText, 64},
          {"TableName", dbText, 64},
          {"ForeignTableName", dbText, 64},
          {"Attributes", dbLong, 4},
          {"Position", dbLong, 4},
          {"FieldName", dbText, 64},
          {"ForeignName", dbText, 64}}},
        {"MSysQueries",
         "CREATE TABLE \"MSysQueries\" (\"ObjectId\" INTEGER PRIMARY KEY, \"SQL\" TEXT NOT NULL)",
         {{"ObjectId", dbLong, 4}, {"SQL", dbMemo, 0}}},
    };
    return tables;
}

}  // namespace

long long InsertObject(Connection& c, const std::string& name, int type) {
    Statement s(c, "INSERT INTO \"MSysObjects\" (\"Name\", \"Type\") VALUES (?, ?)", name);
    s.Bind(1, name).Bind(2, static_cast<long long>(type)).Run();
    return sqlite3_last_insert_rowid(c.db());
}

void InsertColumn(Connection& c, long long objectId, long long position, const std::string& name,
                  short type, long size, bool allowZeroLength, bool required) {
    Statement s(c,
                "INSERT INTO \"MSysColumns\" (\"ObjectId\", \"Position\", \"Name\", \"Type\", "
                "\"Size\", \"AllowZeroLength\", \"Required\") VALUES (?, ?, ?, ?, ?, ?, ?)",
                name);
    s.Bind(1, objectId)
        .Bind(2, position)
        .Bind(3, name)
        .Bind(4, static_cast<long long>(type))
        .Bind(5, static_cast<long long>(size))
        .Bind(6, allowZeroLength ? -1LL : 0LL)
        .Bind(7, required ? -1LL : 0LL)
        .Run();
}

bool Schema::IsEngineTable(std::string_view name) {
    for (const auto& t : SystemTables())
        if (SameName(t.name, name)) return true;
    return false;
}

void Schema::Initialize(Connection& c) {
    for (const auto& t : SystemTables()) c.Exec(t.createSql);
    for (const auto& t : SystemTables()) {
        long long id = InsertObject(c, t.name, kObjectTable);
        long long position = 1;
        for (const auto& col : t.columns)
            InsertColumn(c, id, position++, col.name, col.type, col.size, false, false);
    }
    Upgrade(c);
}

bool Schema::HasEngineTables(Connection& c) {
    // Each by name in SQLite's own table of the schema: the file's list of objects has no index,
    // and this is asked again after every change of definitions, so reading it through would cost
    // as much as the file has tables. Views do not count, as before.
    c.CheckOpen();
    for (const auto& t : SystemTables()) {
        const int rc = sqlite3_table_column_metadata(c.db(), "main", t.name, nullptr, nullptr,
                                                     nullptr, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) continue;
        // The table is missing; any other failure (a schema that cannot be read) is raised as
        // reading the list would have raised it.
        if (rc == SQLITE_ERROR &&
            std::string_view(sqlite3_errmsg(c.db())).starts_with("no such table column"))
            return false;
        ThrowSqlite(c.db(), rc, c.DisplayName());
    }
    return true;
}

}  // namespace actualiz::engine::detail
