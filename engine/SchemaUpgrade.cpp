#include "engine/Names.h"
#include "engine/Schema.h"

namespace actualiz::engine::detail {

namespace {

// Columns the system tables gained after the first format: the properties that make a table what
// it is. A file of the first format gets them with the first change of its definitions.
struct AddedColumn {
    const char* table;
    const char* name;
    short type;
    long size;
    const char* definition;
};

const std::vector<AddedColumn>& AddedColumns() {
    static const std::vector<AddedColumn> columns = {
        {"MSysObjects", "ValidationRule", dbMemo, 0, "TEXT NOT NULL DEFAULT ''"},
        {"MSysObjects", "ValidationText", dbMemo, 0, "TEXT NOT NULL DEFAULT ''"},
        {"MSysColumns", "Attributes", dbLong, 4, "INTEGER NOT NULL DEFAULT 0"},
        {"MSysColumns", "DefaultValue", dbMemo, 0, "TEXT NOT NULL DEFAULT ''"},
        {"MSysColumns", "ValidationRule", dbMemo, 0, "TEXT NOT NULL DEFAULT ''"},
        {"MSysColumns", "ValidationText", dbMemo, 0, "TEXT NOT NULL DEFAULT ''"},
        {"MSysIndexes", "IsRequired", dbBoolean, 1, "BOOLEAN NOT NULL DEFAULT 0"},
    };
    return columns;
}

// Indexes that let a change find its table and the table's indexes by name without reading the
// system tables through: every change of definitions looks them up, and a file may have thousands
// of tables. Plain SQLite indexes in the built-in collations, so any SQLite program can still
// write the file; a file without them is read and written as before, only more slowly, and gets
// them with its next change of definitions.
struct LookupIndex {
    const char* name;
    const char* createSql;
};

const std::vector<LookupIndex>& LookupIndexes() {
    static const std::vector<LookupIndex> indexes = {
        {"MSysObjects.Name",
         "CREATE INDEX IF NOT EXISTS \"MSysObjects.Name\" ON \"MSysObjects\" (\"Name\" COLLATE "
         "NOCASE)"},
        {"MSysIndexes.ObjectId",
         "CREATE INDEX IF NOT EXISTS \"MSysIndexes.ObjectId\" ON \"MSysIndexes\" "
         "(\"ObjectId\")"},
    };
    return indexes;
}

bool HasIndex(Connection& c, const char* index) {
    // By name in SQLite's schema, not by reading its list of objects through.
    Statement s(c, "PRAGMA index_info(" + QuoteIdentifier(index) + ")");
    return s.Step();
}

bool HasColumn(Connection& c, const char* table, const char* column) {
    // The statement, not the table-valued pragma_table_info: once used, that one would stay
    // connected and no longer reach the record sources' authoriser.
    Statement s(c, "PRAGMA table_info(" + QuoteIdentifier(table) + ")");
    while (s.Step())
        if (s.Text(1) == column) return true;
    return false;
}

}  // namespace

void Schema::Upgrade(Connection& c) {
    for (const auto& added : AddedColumns()) {
        if (HasColumn(c, added.table, added.name)) continue;
        c.Exec("ALTER TABLE " + QuoteIdentifier(added.table) + " ADD COLUMN " +
               QuoteIdentifier(added.name) + " " + added.definition);
        Statement s(c,
                    "INSERT INTO \"MSysColumns\" (\"ObjectId\", \"Position\", \"Name\", "
                    "\"Type\", \"Size\", \"AllowZeroLength\", \"Required\") SELECT o.\"Id\", "
                    "(SELECT MAX(\"Position\") + 1 FROM \"MSysColumns\" WHERE \"ObjectId\" = "
                    "o.\"Id\"), ?, ?, ?, 0, 0 FROM \"MSysObjects\" o WHERE o.\"Name\" = ? AND "
                    "o.\"Type\" = 1");
        s.Bind(1, std::string_view(added.name))
            .Bind(2, static_cast<long long>(added.type))
            .Bind(3, static_cast<long long>(added.size))
            .Bind(4, std::string_view(added.table))
            .Run();
    }
    for (const auto& index : LookupIndexes()) c.Exec(index.createSql);
    c.Exec("PRAGMA user_version = " + std::to_string(kFormatVersion));
}

bool Schema::IsCurrent(Connection& c) {
    for (const auto& added : AddedColumns())
        if (!HasColumn(c, added.table, added.name)) return false;
    return true;
}

bool Schema::HasLookupIndexes(Connection& c) {
    for (const auto& index : LookupIndexes())
        if (!HasIndex(c, index.name)) return false;
    return true;
}

DefinitionChange::DefinitionChange(Connection& connection, std::string_view object)
    : transaction_(connection, object) {
    const SharedFile::Format& format = Schema::ReadFormat(connection);
    if (format.engineTables && !(format.current && format.indexed)) Schema::Upgrade(connection);
}

const SharedFile::Format& Schema::ReadFormat(Connection& c) {
    SharedFile::Format& known = c.File()->format;
    Statement s(c, "PRAGMA schema_version");
    const long long version = s.Step() ? s.Int(0) : -1;
    if (version < 0 || version != known.schemaVersion) {
        known = {};
        known.engineTables = HasEngineTables(c);
        known.current = known.engineTables && IsCurrent(c);
        known.indexed = known.engineTables && HasLookupIndexes(c);
        known.schemaVersion = version;
    }
    return known;
}

}  // namespace actualiz::engine::detail
