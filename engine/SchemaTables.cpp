// Tables and their fields as the file stores them: the real table, its rows in MSysObjects and
// MSysColumns, and every change of a stored table's fields.

#include <cctype>
#include <vector>

#include "engine/FieldRules.h"
#include "engine/Names.h"
#include "engine/Schema.h"
#include "engine/SchemaRows.h"
#include "engine/StoredDefinitions.h"

namespace actualiz::engine::detail {

namespace {

// A table field's row of MSysColumns, every property with it.
void InsertFieldColumn(Connection& c, long long objectId, long long position, const Field& f) {
    InsertColumn(c, objectId, position, f.Name(), f.Type(), f.Size(), f.AllowZeroLength(),
                 f.Required());
    Statement s(c,
                "UPDATE \"MSysColumns\" SET \"Attributes\" = ?, \"DefaultValue\" = ?, "
                "\"ValidationRule\" = ?, \"ValidationText\" = ? WHERE \"ObjectId\" = ? AND "
                "\"Position\" = ?",
                f.Name());
    s.Bind(1, static_cast<long long>(NormalizedFieldAttributes(f.Attributes(), f.Type())))
        .Bind(2, f.DefaultValue())
        .Bind(3, f.ValidationRule())
        .Bind(4, f.ValidationText())
        .Bind(5, objectId)
        .Bind(6, position)
        .Run();
}

bool StartsWithSqliteReserved(std::string_view name) {
    if (name.size() < 7) return false;
    std::string head(name.substr(0, 7));
    for (char& ch : head) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return head == "sqlite_";
}

// What AppendTable refuses before it touches the file.
void CheckStorableTable(Database& database, const TableDef& table) {
    CheckName(table.Name(), "tabla");
    if (StartsWithSqliteReserved(table.Name())) throw MakeError(err::kInvalidName, table.Name());
    if (table.Stored() || database.TableDefs().Contains(table.Name()) ||
        database.QueryDefs().Contains(table.Name()))
        throw MakeError(err::kTableExists, table.Name());
    if (table.Fields().Count() == 0) throw MakeError(err::kNoFields, table.Name());
    for (const auto& ix : table.Indexes())
        for (const auto& f : ix->Fields())
            if (!table.Fields().Contains(f->Name())) throw MakeError(err::kItemNotFound, f->Name());
    CheckCounters(table);
}

// The column list of the table's CREATE TABLE.
std::string TableColumns(const TableDef& table) {
    std::string columns;
    for (const auto& f : table.Fields()) {
        if (!columns.empty()) columns += ", ";
        columns += Schema::ColumnDefinition(*f);
        // The counter numbers the rows as SQLite's own row number does.
        if (IsCounter(*f)) columns += " PRIMARY KEY";
    }
    return columns + TableConstraints(table);
}

}  // namespace

std::shared_ptr<Field> FindField(const Collection<Field>& fields, std::string_view name) {
    int i = fields.Find(name);
    return i < 0 ? nullptr : fields[i];
}

Connection& WritableTable(Database& database, const TableDef& table) {
    Connection& c = database.Conn();
    c.CheckWritable(table.Name());
    if (Schema::IsEngineTable(table.Name())) throw MakeError(err::kInvalidOperation, table.Name());
    return c;
}

std::string Schema::ColumnDefinition(const Field& field, bool appended) {
    std::string def =
        QuoteIdentifier(field.Name()) + " " + SqliteDeclaredType(field.Type(), field.Size());
    // The classic engine compares text without regard to case: in WHERE clauses, in unique
    // indexes and in relations.
    if (IsTextType(field.Type())) def += " COLLATE NOCASE";
    return def + FieldConstraints(field, appended);
}

void Schema::AppendTable(Database& database, const std::shared_ptr<TableDef>& table) {
    Connection& c = database.Conn();
    c.CheckWritable(table->Name());
    CheckStorableTable(database, *table);
    const std::string columns = TableColumns(*table);
    DefinitionChange tx(c, table->Name());
    if (StoredObjectExists(c, table->Name())) throw MakeError(err::kTableExists, table->Name());
    c.Exec("CREATE TABLE " + QuoteIdentifier(table->Name()) + " (" + columns + ")", table->Name());
    CreateRuleTriggers(c, *table);
    long long id = InsertObject(c, table->Name(), kObjectTable);
    {
        Statement s(c,
                    "UPDATE \"MSysObjects\" SET \"ValidationRule\" = ?, \"ValidationText\" = ? "
                    "WHERE \"Id\" = ?",
                    table->Name());
        s.Bind(1, table->ValidationRule()).Bind(2, table->ValidationText()).Bind(3, id).Run();
    }
    long long position = 1;
    for (const auto& f : table->Fields()) {
        f->PrepareStorage(static_cast<short>(position - 1));
        InsertFieldColumn(c, id, position++, *f);
    }
    std::vector<std::vector<std::string>> indexColumns;
    for (const auto& ix : table->Indexes())
        indexColumns.push_back(CreateIndexInFile(c, *table, id, *ix));
    tx.Commit();

    table->MarkStored(database.weak_from_this());
    for (const auto& f : table->Fields()) f->AttachToTable(table);
    std::size_t i = 0;
    for (const auto& ix : table->Indexes()) MarkIndexStored(*ix, indexColumns[i++]);
}

void Schema::DeleteTable(Database& database, const std::shared_ptr<TableDef>& table) {
    Connection& c = WritableTable(database, *table);
    for (const auto& r : database.Relations())
        if (SameName(r->Table(), table->Name()) || SameName(r->ForeignTable(), table->Name()))
            throw MakeError(err::kInRelationship, table->Name());
    DefinitionChange tx(c, table->Name());
    const long long id = StoredTableId(c, table->Name());
    c.Exec("DROP TABLE " + QuoteIdentifier(table->Name()), table->Name());
    for (const char* sql :
         {"DELETE FROM \"MSysIndexColumns\" WHERE \"IndexId\" IN (SELECT \"Id\" FROM "
          "\"MSysIndexes\" WHERE \"ObjectId\" = ?)",
          "DELETE FROM \"MSysIndexes\" WHERE \"ObjectId\" = ?",
          "DELETE FROM \"MSysColumns\" WHERE \"ObjectId\" = ?",
          "DELETE FROM \"MSysObjects\" WHERE \"Id\" = ?"}) {
        Statement s(c, sql, table->Name());
        s.Bind(1, id).Run();
    }
    tx.Commit();
    table->MarkUnstored();
    for (const auto& ix : table->Indexes()) ix->MarkUnstored();
}

void Schema::AppendField(TableDef& table, const std::shared_ptr<Field>& field) {
    auto database = table.StoredIn();
    if (!database) return;  // stored together with the table
    Connection& c = WritableTable(*database, table);
    CheckCounterField(table, *field);
    DefinitionChange tx(c, table.Name());
    const long long id = StoredTableId(c, table.Name());
    if (StoredColumnExists(c, id, field->Name()))
        throw MakeError(err::kFieldDefinedTwice, field->Name());
    // Adding a column rewrites only the table's definition, never its rows.
    c.Exec("ALTER TABLE " + QuoteIdentifier(table.Name()) + " ADD COLUMN " +
               ColumnDefinition(*field, /*appended=*/true),
           table.Name());
    if (IsCounter(*field))
        NumberAppendedCounter(c, table.Name(), field->Name());
    else if (SqliteDefault(field->DefaultValue()))
        KeepOldRowsNull(c, table.Name(), field->Name());
    DefaultAppendedField(c, table.Name(), *field);
    CreateFieldRuleTriggers(c, table.Name(), *field);
    long long position = 1;
    {
        Statement s(c,
                    "SELECT COALESCE(MAX(\"Position\"), 0) + 1 FROM \"MSysColumns\" WHERE "
                    "\"ObjectId\" = ?",
                    table.Name());
        s.Bind(1, id);
        if (s.Step()) position = s.Int(0);
    }
    field->PrepareStorage(static_cast<short>(position - 1));
    InsertFieldColumn(c, id, position, *field);
    tx.Commit();
}

void Schema::DeleteField(TableDef& table, const std::shared_ptr<Field>& field) {
    auto database = table.StoredIn();
    if (!database) {
        for (const auto& ix : table.Indexes())
            if (ix->Fields().Contains(field->Name()))
                throw MakeError(err::kFieldInIndex, field->Name());
        return;
    }
    Connection& c = WritableTable(*database, table);
    for (const auto& ix : table.Indexes())
        if (ix->Fields().Contains(field->Name()))
            throw MakeError(err::kFieldInIndex, field->Name());
    for (const auto& r : database->Relations())
        if (RelationUsesField(*r, table.Name(), field->Name()))
            throw MakeError(err::kInRelationship, field->Name());
    if (table.Fields().Count() == 1) throw MakeError(err::kInvalidOperation, field->Name());
    // The table's rule would name a field that is gone.
    if (TableRuleNeedsField(table, field->Name()))
        throw MakeError(err::kInvalidOperation, field->Name());
    DefinitionChange tx(c, table.Name());
    const long long id = StoredTableId(c, table.Name());
    if (!StoredColumnExists(c, id, field->Name()))
        throw MakeError(err::kItemNotFound, field->Name());
    DropCounterTrigger(c, table.Name(), field->Name());
    DropFieldRuleTriggers(c, table.Name(), field->Name());
    c.Exec("ALTER TABLE " + QuoteIdentifier(table.Name()) + " DROP COLUMN " +
               QuoteIdentifier(field->Name()),
           table.Name());
    Statement s(c, "DELETE FROM \"MSysColumns\" WHERE \"ObjectId\" = ? AND \"Name\" = ?",
                table.Name());
    s.Bind(1, id).Bind(2, field->Name()).Run();
    tx.Commit();
    field->DetachFromTable();
}

void Schema::UpdateFieldFlags(TableDef& table, const Field& field, bool allowZeroLength,
                              bool required) {
    auto database = table.StoredIn();
    if (!database) return;
    Connection& c = WritableTable(*database, table);
    DefinitionChange tx(c, table.Name());
    const long long id = StoredTableId(c, table.Name());
    Statement s(c,
                "UPDATE \"MSysColumns\" SET \"AllowZeroLength\" = ?, \"Required\" = ? WHERE "
                "\"ObjectId\" = ? AND \"Name\" = ?",
                field.Name());
    s.Bind(1, allowZeroLength ? -1LL : 0LL)
        .Bind(2, required ? -1LL : 0LL)
        .Bind(3, id)
        .Bind(4, field.Name())
        .Run();
    tx.Commit();
}

}  // namespace actualiz::engine::detail
