// Indexes as the file stores them: the SQLite index and its rows in MSysIndexes and
// MSysIndexColumns.

#include <vector>

#include "engine/Names.h"
#include "engine/Schema.h"
#include "engine/SchemaRows.h"
#include "engine/StoredDefinitions.h"
#include "engine/TextKey.h"

namespace actualiz::engine::detail {

namespace {

std::string IndexSqlName(const std::string& table, const std::string& index) {
    // Neither a table nor an index name may hold a dot, so this cannot collide between tables.
    return table + "." + index;
}

// An index's fields as the table spells them, its key terms for CREATE INDEX, and the test that
// one of its fields is Null.
struct IndexKey {
    std::vector<std::string> columns;
    std::string terms;
    std::string nullTest;
};

IndexKey KeyOf(const TableDef& table, const Index& index) {
    IndexKey key;
    for (const auto& f : index.Fields()) {
        auto tf = FindField(table.Fields(), f->Name());
        if (!tf) throw MakeError(err::kItemNotFound, f->Name());
        key.columns.push_back(tf->Name());
        if (!key.terms.empty()) key.terms += ", ";
        key.terms += IndexKeyTerm(*tf, index.Unique() || index.Primary());
        if (f->Attributes() & dbDescending) key.terms += " DESC";
        if (!key.nullTest.empty()) key.nullTest += " OR ";
        key.nullTest += QuoteIdentifier(tf->Name()) + " IS NULL";
    }
    return key;
}

// The index's rows of MSysIndexes and MSysIndexColumns.
void InsertIndexRows(Connection& c, long long tableId, const Index& index,
                     const std::string& sqlName, const std::vector<std::string>& columns) {
    const bool unique = index.Unique() || index.Primary();
    Statement s(c,
                "INSERT INTO \"MSysIndexes\" (\"ObjectId\", \"Name\", \"SqlName\", "
                "\"IsUnique\", \"IsPrimary\", \"IgnoreNulls\") VALUES (?, ?, ?, ?, ?, ?)",
                index.Name());
    s.Bind(1, tableId)
        .Bind(2, index.Name())
        .Bind(3, sqlName)
        .Bind(4, unique ? -1LL : 0LL)
        .Bind(5, index.Primary() ? -1LL : 0LL)
        .Bind(6, index.IgnoreNulls() ? -1LL : 0LL)
        .Run();
    const long long id = sqlite3_last_insert_rowid(c.db());
    Statement r(c, "UPDATE \"MSysIndexes\" SET \"IsRequired\" = ? WHERE \"Id\" = ?", index.Name());
    r.Bind(1, index.Required() ? -1LL : 0LL).Bind(2, id).Run();
    long long position = 1;
    std::size_t i = 0;
    for (const auto& f : index.Fields()) {
        Statement col(c,
                      "INSERT INTO \"MSysIndexColumns\" (\"IndexId\", \"Position\", \"Name\", "
                      "\"Descending\") VALUES (?, ?, ?, ?)",
                      index.Name());
        col.Bind(1, id)
            .Bind(2, position++)
            .Bind(3, columns[i++])
            .Bind(4, (f->Attributes() & dbDescending) ? -1LL : 0LL)
            .Run();
    }
}

}  // namespace

std::vector<std::string> CreateIndexInFile(Connection& c, const TableDef& table, long long tableId,
                                           const Index& index) {
    const std::string sqlName = IndexSqlName(table.Name(), index.Name());
    IndexKey key = KeyOf(table, index);
    // A key that may hold no Null is looked at once the index is there (inside the caller's
    // transaction, which a failure rolls back): the index answers where the whole table would be
    // read. An index the rows refuse says so by the Null, as when the check came first.
    const bool noNulls = index.Primary() || index.Required();
    const auto refuseNulls = [&] {
        Statement s(c,
                    "SELECT 1 FROM " + QuoteIdentifier(table.Name()) + " WHERE " + key.nullTest +
                        " LIMIT 1",
                    table.Name());
        if (s.Step()) throw MakeError(err::kNullInIndex, table.Name());
    };
    const bool unique = index.Unique() || index.Primary();
    try {
        c.Exec(std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
                   QuoteIdentifier(sqlName) + " ON " + QuoteIdentifier(table.Name()) + " (" +
                   key.terms + ")",
               table.Name());
    } catch (const EngineError&) {
        if (noNulls) refuseNulls();
        throw;
    }
    if (noNulls) refuseNulls();
    InsertIndexRows(c, tableId, index, sqlName, key.columns);
    return std::move(key.columns);
}

void MarkIndexStored(Index& index, const std::vector<std::string>& columns) {
    index.MarkStored();
    std::size_t i = 0;
    for (const auto& f : index.Fields()) f->Freeze(columns[i++]);
}

void Schema::AppendIndex(TableDef& table, const std::shared_ptr<Index>& index) {
    auto database = table.StoredIn();
    if (!database) return;  // stored together with the table
    Connection& c = WritableTable(*database, table);
    for (const auto& f : index->Fields())
        if (!table.Fields().Contains(f->Name())) throw MakeError(err::kItemNotFound, f->Name());
    DefinitionChange tx(c, table.Name());
    const long long id = StoredTableId(c, table.Name());
    if (FindStoredIndex(c, id, index->Name())) throw MakeError(err::kIndexExists, index->Name());
    std::vector<std::string> columns = CreateIndexInFile(c, table, id, *index);
    tx.Commit();
    MarkIndexStored(*index, columns);
}

void Schema::DeleteIndex(TableDef& table, const std::shared_ptr<Index>& index) {
    auto database = table.StoredIn();
    if (!database || !index->Stored()) return;
    Connection& c = WritableTable(*database, table);
    DefinitionChange tx(c, table.Name());
    // By name, as the file holds it now: the Id read when the database was opened may belong to
    // another index by now.
    const long long id = StoredTableId(c, table.Name());
    const std::optional<StoredIndexRow> row = FindStoredIndex(c, id, index->Name());
    if (!row) throw MakeError(err::kItemNotFound, index->Name());
    c.Exec("DROP INDEX IF EXISTS " + QuoteIdentifier(row->sqlName), table.Name());
    {
        Statement s(c, "DELETE FROM \"MSysIndexColumns\" WHERE \"IndexId\" = ?", index->Name());
        s.Bind(1, row->id).Run();
    }
    {
        Statement s(c, "DELETE FROM \"MSysIndexes\" WHERE \"Id\" = ?", index->Name());
        s.Bind(1, row->id).Run();
    }
    tx.Commit();
    index->MarkUnstored();
    for (const auto& f : index->Fields()) f->Unfreeze();
}

}  // namespace actualiz::engine::detail
