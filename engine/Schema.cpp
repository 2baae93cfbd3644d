#include "engine/Schema.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "engine/FieldRules.h"
#include "engine/Names.h"
#include "engine/StoredDefinitions.h"
#include "engine/TextKey.h"

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

std::shared_ptr<Field> FindField(const Collection<Field>& fields, std::string_view name) {
    int i = fields.Find(name);
    return i < 0 ? nullptr : fields[i];
}

std::shared_ptr<TableDef> FindTable(Database& database, std::string_view name) {
    int i = database.TableDefs().Find(name);
    return i < 0 ? nullptr : database.TableDefs()[i];
}

std::string IndexSqlName(const std::string& table, const std::string& index) {
    // Neither a table nor an index name may hold a dot, so this cannot collide between tables.
    return table + "." + index;
}

using StoredIndex = Schema::StoredIndex;

// Builds one index in the file (inside the caller's transaction).
StoredIndex CreateIndexInFile(Connection& c, const TableDef& table, long long tableId,
                              const Index& index) {
    StoredIndex stored;
    stored.sqlName = IndexSqlName(table.Name(), index.Name());
    std::string columns;
    std::string nullTest;
    for (const auto& f : index.Fields()) {
        auto tf = FindField(table.Fields(), f->Name());
        if (!tf) throw MakeError(err::kItemNotFound, f->Name());
        stored.columns.push_back(tf->Name());
        if (!columns.empty()) columns += ", ";
        columns += IndexKeyTerm(*tf, index.Unique() || index.Primary());
        if (f->Attributes() & dbDescending) columns += " DESC";
        if (!nullTest.empty()) nullTest += " OR ";
        nullTest += QuoteIdentifier(tf->Name()) + " IS NULL";
    }
    if (index.Primary() || index.Required()) {
        Statement s(
            c, "SELECT 1 FROM " + QuoteIdentifier(table.Name()) + " WHERE " + nullTest + " LIMIT 1",
            table.Name());
        if (s.Step()) throw MakeError(err::kNullInIndex, table.Name());
    }
    bool unique = index.Unique() || index.Primary();
    c.Exec(std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
               QuoteIdentifier(stored.sqlName) + " ON " + QuoteIdentifier(table.Name()) + " (" +
               columns + ")",
           table.Name());
    {
        Statement s(c,
                    "INSERT INTO \"MSysIndexes\" (\"ObjectId\", \"Name\", \"SqlName\", "
                    "\"IsUnique\", \"IsPrimary\", \"IgnoreNulls\") VALUES (?, ?, ?, ?, ?, ?)",
                    index.Name());
        s.Bind(1, tableId)
            .Bind(2, index.Name())
            .Bind(3, stored.sqlName)
            .Bind(4, unique ? -1LL : 0LL)
            .Bind(5, index.Primary() ? -1LL : 0LL)
            .Bind(6, index.IgnoreNulls() ? -1LL : 0LL)
            .Run();
        stored.id = sqlite3_last_insert_rowid(c.db());
        Statement r(c, "UPDATE \"MSysIndexes\" SET \"IsRequired\" = ? WHERE \"Id\" = ?",
                    index.Name());
        r.Bind(1, index.Required() ? -1LL : 0LL).Bind(2, stored.id).Run();
    }
    long long position = 1;
    int i = 0;
    for (const auto& f : index.Fields()) {
        Statement s(c,
                    "INSERT INTO \"MSysIndexColumns\" (\"IndexId\", \"Position\", \"Name\", "
                    "\"Descending\") VALUES (?, ?, ?, ?)",
                    index.Name());
        s.Bind(1, stored.id)
            .Bind(2, position++)
            .Bind(3, stored.columns[static_cast<std::size_t>(i++)])
            .Bind(4, (f->Attributes() & dbDescending) ? -1LL : 0LL)
            .Run();
    }
    return stored;
}

}  // namespace

void Schema::MarkIndexStored(Index& index, const StoredIndex& stored) {
    index.stored_ = true;
    index.id_ = stored.id;
    index.sqlName_ = stored.sqlName;
    int i = 0;
    for (const auto& f : index.Fields()) {
        f->name_ = stored.columns[static_cast<std::size_t>(i++)];
        f->frozen_ = true;
    }
}

namespace {

// The trigger names of a relation; relation names are unique in a database and hold no dot.
std::vector<std::string> TriggerNames(const std::string& relation) {
    return {relation + ".insert", relation + ".update", relation + ".delete", relation + ".change"};
}

std::string RaiseText(int number, const std::string& object) {
    return QuoteLiteral(std::to_string(number) + "|" + MakeError(number, object).description());
}

void CreateRelationTriggers(Connection& c, const std::string& name, const std::string& table,
                            const std::string& foreign, long attributes,
                            const std::vector<std::pair<std::string, std::string>>& pairs) {
    const std::string qt = QuoteIdentifier(table);
    const std::string qf = QuoteIdentifier(foreign);
    auto names = TriggerNames(name);
    // Conditions over the key fields.
    std::string newForeignNotNull, parentMatchesNew, childMatchesOld, otherParentHasOld, keyChanged,
        foreignColumns, primaryColumns, setForeign;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const std::string pt = QuoteIdentifier(pairs[i].first);
        const std::string pf = QuoteIdentifier(pairs[i].second);
        const char* sep = i == 0 ? "" : " AND ";
        const char* comma = i == 0 ? "" : ", ";
        newForeignNotNull += sep + std::string("NEW.") + pf + " IS NOT NULL";
        parentMatchesNew += sep + qt + "." + pt + " = NEW." + pf;
        childMatchesOld += sep + qf + "." + pf + " = OLD." + pt;
        otherParentHasOld += sep + qt + "." + pt + " = OLD." + pt;
        keyChanged += (i == 0 ? "" : " OR ") + std::string("OLD.") + pt + " IS NOT NEW." + pt;
        foreignColumns += comma + pf;
        primaryColumns += comma + pt;
        setForeign += comma + pf + " = NEW." + pt;
    }
    // A key value stays referenced while another row of the primary table still carries it.
    const std::string noOtherParent = "NOT EXISTS (SELECT 1 FROM " + qt + " WHERE " +
                                      otherParentHasOld + " AND " + qt + "._rowid_ <> OLD._rowid_)";
    const std::string missingParent =
        "NOT EXISTS (SELECT 1 FROM " + qt + " WHERE " + parentMatchesNew + ")";
    const std::string raiseRequired =
        "SELECT RAISE(ABORT, " + RaiseText(err::kRelatedRecordRequired, table) + ");";
    const std::string raiseRelated =
        "SELECT RAISE(ABORT, " + RaiseText(err::kRelatedRecordsExist, foreign) + ");";

    c.Exec("CREATE TRIGGER " + QuoteIdentifier(names[0]) + " BEFORE INSERT ON " + qf +
               " FOR EACH ROW WHEN " + newForeignNotNull + " AND " + missingParent + " BEGIN " +
               raiseRequired + " END",
           name);
    c.Exec("CREATE TRIGGER " + QuoteIdentifier(names[1]) + " BEFORE UPDATE OF " + foreignColumns +
               " ON " + qf + " FOR EACH ROW WHEN " + newForeignNotNull + " AND " + missingParent +
               " BEGIN " + raiseRequired + " END",
           name);
    const std::string hasChildren =
        "EXISTS (SELECT 1 FROM " + qf + " WHERE " + childMatchesOld + ")";
    if (attributes & dbRelationDeleteCascade) {
        c.Exec("CREATE TRIGGER " + QuoteIdentifier(names[2]) + " AFTER DELETE ON " + qt +
                   " FOR EACH ROW WHEN NOT EXISTS (SELECT 1 FROM " + qt + " WHERE " +
                   otherParentHasOld + ") BEGIN DELETE FROM " + qf + " WHERE " + childMatchesOld +
                   "; END",
               name);
    } else {
        c.Exec("CREATE TRIGGER " + QuoteIdentifier(names[2]) + " BEFORE DELETE ON " + qt +
                   " FOR EACH ROW WHEN " + hasChildren + " AND " + noOtherParent + " BEGIN " +
                   raiseRelated + " END",
               name);
    }
    if (attributes & dbRelationUpdateCascade) {
        c.Exec("CREATE TRIGGER " + QuoteIdentifier(names[3]) + " AFTER UPDATE OF " +
                   primaryColumns + " ON " + qt + " FOR EACH ROW WHEN (" + keyChanged +
                   ") AND NOT EXISTS (SELECT 1 FROM " + qt + " WHERE " + otherParentHasOld +
                   ") BEGIN UPDATE " + qf + " SET " + setForeign + " WHERE " + childMatchesOld +
                   "; END",
               name);
    } else {
        c.Exec("CREATE TRIGGER " + QuoteIdentifier(names[3]) + " BEFORE UPDATE OF " +
                   primaryColumns + " ON " + qt + " FOR EACH ROW WHEN (" + keyChanged + ") AND " +
                   hasChildren + " AND " + noOtherParent + " BEGIN " + raiseRelated + " END",
               name);
    }
}

bool RelationUsesField(const Relation& r, const std::string& table, const std::string& field) {
    for (const auto& f : r.Fields()) {
        if (SameName(r.Table(), table) && SameName(f->Name(), field)) return true;
        if (SameName(r.ForeignTable(), table) && SameName(f->ForeignName(), field)) return true;
    }
    return false;
}

}  // namespace

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
    // One question for all of them: opening is frequent.
    std::string marks;
    for (std::size_t i = 0; i < SystemTables().size(); ++i) marks += i == 0 ? "?" : ", ?";
    Statement s(
        c, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN (" + marks + ")");
    int k = 1;
    for (const auto& t : SystemTables()) s.Bind(k++, std::string_view(t.name));
    return s.Step() && s.Int(0) == static_cast<long long>(SystemTables().size());
}

void Schema::Load(Database& database) {
    Connection& c = database.Conn();
    auto self = database.weak_from_this();
    database.tableDefs_.Clear();
    database.relations_.Clear();
    database.queryDefs_.Clear();

    std::vector<std::pair<long long, std::shared_ptr<TableDef>>> tables;
    std::vector<std::pair<long long, std::shared_ptr<QueryDef>>> queries;
    // A file of the first format opened read-only lacks the later columns: their defaults then.
    const bool current = IsCurrent(c);
    {
        Statement s(c, std::string("SELECT \"Id\", \"Name\", \"Type\", ") +
                           (current ? "\"ValidationRule\", \"ValidationText\"" : "'', ''") +
                           " FROM \"MSysObjects\" ORDER BY \"Id\"");
        while (s.Step()) {
            if (s.Int(2) == kObjectTable) {
                auto t = std::make_shared<TableDef>(s.Text(1));
                t->validationRule_ = s.Text(3);
                t->validationText_ = s.Text(4);
                t->stored_ = true;
                t->id_ = s.Int(0);
                t->database_ = self;
                tables.emplace_back(t->id_, t);
            } else if (s.Int(2) == kObjectQuery) {
                auto q = std::make_shared<QueryDef>(s.Text(1), std::string());
                q->stored_ = true;
                queries.emplace_back(s.Int(0), q);
            }
        }
    }
    auto tableById = [&](long long id) -> std::shared_ptr<TableDef> {
        auto it = std::lower_bound(tables.begin(), tables.end(), id,
                                   [](const auto& p, long long v) { return p.first < v; });
        return it != tables.end() && it->first == id ? it->second : nullptr;
    };
    {
        Statement s(c, std::string("SELECT \"ObjectId\", \"Name\", \"Type\", \"Size\", "
                                   "\"AllowZeroLength\", \"Required\", \"Position\", ") +
                           (current ? "\"Attributes\", \"DefaultValue\", \"ValidationRule\", "
                                      "\"ValidationText\""
                                    : "0, '', '', ''") +
                           " FROM \"MSysColumns\" ORDER BY \"ObjectId\", \"Position\"");
        std::shared_ptr<TableDef> t;
        while (s.Step()) {
            if (!t || t->id_ != s.Int(0)) t = tableById(s.Int(0));
            if (!t) continue;
            auto f = std::make_shared<Field>(s.Text(1), static_cast<short>(s.Int(2)),
                                             static_cast<long>(s.Int(3)));
            f->allowZeroLength_ = s.Int(4) != 0;
            f->required_ = s.Int(5) != 0;
            f->ordinalPosition_ = static_cast<short>(s.Int(6) - 1);
            f->attributes_ = NormalizedFieldAttributes(static_cast<long>(s.Int(7)), f->type_);
            f->defaultValue_ = s.Text(8);
            f->validationRule_ = s.Text(9);
            f->validationText_ = s.Text(10);
            f->role_ = Field::Role::TableField;
            f->table_ = t;
            t->fields_.Insert(f);
        }
    }
    {
        std::vector<std::pair<long long, std::shared_ptr<Index>>> indexes;
        Statement s(c, std::string("SELECT \"Id\", \"ObjectId\", \"Name\", \"SqlName\", "
                                   "\"IsUnique\", \"IsPrimary\", \"IgnoreNulls\", ") +
                           (current ? "\"IsRequired\"" : "0") +
                           " FROM \"MSysIndexes\" ORDER BY \"Id\"");
        while (s.Step()) {
            auto t = tableById(s.Int(1));
            if (!t) continue;
            auto ix = std::make_shared<Index>(s.Text(2));
            ix->id_ = s.Int(0);
            ix->sqlName_ = s.Text(3);
            ix->unique_ = s.Int(4) != 0;
            ix->primary_ = s.Int(5) != 0;
            ix->ignoreNulls_ = s.Int(6) != 0;
            ix->required_ = s.Int(7) != 0;
            ix->stored_ = true;
            t->indexes_.Insert(ix);
            indexes.emplace_back(ix->id_, ix);
        }
        Statement cols(c,
                       "SELECT \"IndexId\", \"Name\", \"Descending\" FROM \"MSysIndexColumns\" "
                       "ORDER BY \"IndexId\", \"Position\"");
        std::size_t at = 0;
        while (cols.Step()) {
            long long id = cols.Int(0);
            while (at < indexes.size() && indexes[at].first < id) ++at;
            if (at >= indexes.size() || indexes[at].first != id) continue;
            auto f = std::make_shared<Field>(cols.Text(1), static_cast<short>(0), 0L);
            f->role_ = Field::Role::IndexField;
            f->attributes_ = cols.Int(2) != 0 ? static_cast<long>(dbDescending) : 0L;
            f->frozen_ = true;
            indexes[at].second->fields_.Insert(f);
        }
    }
    {
        Statement s(c,
                    "SELECT \"Name\", \"TableName\", \"ForeignTableName\", \"Attributes\", "
                    "\"FieldName\", \"ForeignName\" FROM \"MSysRelationships\" ORDER BY \"Id\"");
        std::shared_ptr<Relation> current;
        while (s.Step()) {
            std::string name = s.Text(0);
            if (!current || current->name_ != name) {
                int existing = database.relations_.Find(name);
                if (existing >= 0) {
                    current = database.relations_[existing];
                } else {
                    current = std::make_shared<Relation>(name, s.Text(1), s.Text(2),
                                                         static_cast<long>(s.Int(3)));
                    current->stored_ = true;
                    database.relations_.Insert(current);
                }
            }
            auto f = std::make_shared<Field>(s.Text(4), static_cast<short>(0), 0L);
            f->role_ = Field::Role::RelationField;
            f->foreignName_ = s.Text(5);
            f->frozen_ = true;
            current->fields_.Insert(f);
        }
    }
    {
        Statement s(c, "SELECT \"ObjectId\", \"SQL\" FROM \"MSysQueries\"");
        while (s.Step()) {
            for (auto& [id, q] : queries)
                if (id == s.Int(0)) q->sql_ = s.Text(1);
        }
    }
    for (auto& [id, t] : tables) database.tableDefs_.Insert(t);
    for (auto& [id, q] : queries) database.queryDefs_.Insert(q);
}

std::string Schema::ColumnDefinition(const Field& field) {
    std::string def =
        QuoteIdentifier(field.Name()) + " " + SqliteDeclaredType(field.Type(), field.Size());
    // The classic engine compares text without regard to case: in WHERE clauses, in unique
    // indexes and in relations.
    if (IsTextType(field.Type())) def += " COLLATE NOCASE";
    return def + FieldConstraints(field);
}

void Schema::AppendTable(Database& database, const std::shared_ptr<TableDef>& table) {
    Connection& c = database.Conn();
    c.CheckWritable(table->Name());
    CheckName(table->Name(), "tabla");
    if (StartsWithSqliteReserved(table->Name())) throw MakeError(err::kInvalidName, table->Name());
    if (table->stored_ || database.tableDefs_.Contains(table->Name()) ||
        database.queryDefs_.Contains(table->Name()))
        throw MakeError(err::kTableExists, table->Name());
    if (table->fields_.Count() == 0) throw MakeError(err::kNoFields, table->Name());
    for (const auto& ix : table->indexes_)
        for (const auto& f : ix->Fields())
            if (!table->fields_.Contains(f->Name())) throw MakeError(err::kItemNotFound, f->Name());

    CheckCounters(*table);

    std::string columns;
    for (const auto& f : table->fields_) {
        if (!columns.empty()) columns += ", ";
        columns += ColumnDefinition(*f);
        // The counter numbers the rows as SQLite's own row number does.
        if (IsCounter(*f)) columns += " PRIMARY KEY";
    }
    columns += TableConstraints(*table);
    Transaction tx(c, table->Name());
    if (StoredObjectExists(c, table->Name())) throw MakeError(err::kTableExists, table->Name());
    c.Exec("CREATE TABLE " + QuoteIdentifier(table->Name()) + " (" + columns + ")", table->Name());
    long long id = InsertObject(c, table->Name(), kObjectTable);
    {
        Statement s(c,
                    "UPDATE \"MSysObjects\" SET \"ValidationRule\" = ?, \"ValidationText\" = ? "
                    "WHERE \"Id\" = ?",
                    table->Name());
        s.Bind(1, table->validationRule_).Bind(2, table->validationText_).Bind(3, id).Run();
    }
    long long position = 1;
    for (const auto& f : table->fields_) {
        f->ordinalPosition_ = static_cast<short>(position - 1);
        f->attributes_ = NormalizedFieldAttributes(f->attributes_, f->type_);
        InsertFieldColumn(c, id, position++, *f);
    }
    std::vector<StoredIndex> stored;
    for (const auto& ix : table->indexes_) stored.push_back(CreateIndexInFile(c, *table, id, *ix));
    tx.Commit();

    table->stored_ = true;
    table->id_ = id;
    table->database_ = database.weak_from_this();
    for (const auto& f : table->fields_) {
        f->role_ = Field::Role::TableField;
        f->table_ = table;
    }
    std::size_t i = 0;
    for (const auto& ix : table->indexes_) Schema::MarkIndexStored(*ix, stored[i++]);
}

void Schema::DeleteTable(Database& database, const std::shared_ptr<TableDef>& table) {
    Connection& c = database.Conn();
    c.CheckWritable(table->Name());
    if (IsEngineTable(table->Name())) throw MakeError(err::kInvalidOperation, table->Name());
    for (const auto& r : database.relations_)
        if (SameName(r->Table(), table->Name()) || SameName(r->ForeignTable(), table->Name()))
            throw MakeError(err::kInRelationship, table->Name());
    Transaction tx(c, table->Name());
    table->id_ = StoredTableId(c, table->Name());
    c.Exec("DROP TABLE " + QuoteIdentifier(table->Name()), table->Name());
    for (const char* sql :
         {"DELETE FROM \"MSysIndexColumns\" WHERE \"IndexId\" IN (SELECT \"Id\" FROM "
          "\"MSysIndexes\" WHERE \"ObjectId\" = ?)",
          "DELETE FROM \"MSysIndexes\" WHERE \"ObjectId\" = ?",
          "DELETE FROM \"MSysColumns\" WHERE \"ObjectId\" = ?",
          "DELETE FROM \"MSysObjects\" WHERE \"Id\" = ?"}) {
        Statement s(c, sql, table->Name());
        s.Bind(1, table->id_).Run();
    }
    tx.Commit();
    table->stored_ = false;
    table->database_.reset();
    for (const auto& ix : table->indexes_) ix->stored_ = false;
}

void Schema::AppendField(TableDef& table, const std::shared_ptr<Field>& field) {
    auto database = table.StoredIn();
    if (!database) return;  // stored together with the table
    Connection& c = database->Conn();
    c.CheckWritable(table.Name());
    if (IsEngineTable(table.Name())) throw MakeError(err::kInvalidOperation, table.Name());
    CheckCounterField(table, *field);
    Transaction tx(c, table.Name());
    table.id_ = StoredTableId(c, table.Name());
    if (StoredColumnExists(c, table.id_, field->Name()))
        throw MakeError(err::kFieldDefinedTwice, field->Name());
    // Adding a column rewrites only the table's definition, never its rows.
    c.Exec(
        "ALTER TABLE " + QuoteIdentifier(table.Name()) + " ADD COLUMN " + ColumnDefinition(*field),
        table.Name());
    if (IsCounter(*field))
        NumberAppendedCounter(c, table.Name(), field->Name());
    else if (SqliteDefault(field->DefaultValue()))
        KeepOldRowsNull(c, table.Name(), field->Name());
    long long position = 1;
    {
        Statement s(c,
                    "SELECT COALESCE(MAX(\"Position\"), 0) + 1 FROM \"MSysColumns\" WHERE "
                    "\"ObjectId\" = ?",
                    table.Name());
        s.Bind(1, table.id_);
        if (s.Step()) position = s.Int(0);
    }
    field->attributes_ = NormalizedFieldAttributes(field->attributes_, field->type_);
    field->ordinalPosition_ = static_cast<short>(position - 1);
    InsertFieldColumn(c, table.id_, position, *field);
    tx.Commit();
}

void Schema::DeleteField(TableDef& table, const std::shared_ptr<Field>& field) {
    auto database = table.StoredIn();
    if (!database) {
        for (const auto& ix : table.indexes_)
            if (ix->Fields().Contains(field->Name()))
                throw MakeError(err::kFieldInIndex, field->Name());
        return;
    }
    Connection& c = database->Conn();
    c.CheckWritable(table.Name());
    if (IsEngineTable(table.Name())) throw MakeError(err::kInvalidOperation, table.Name());
    for (const auto& ix : table.indexes_)
        if (ix->Fields().Contains(field->Name()))
            throw MakeError(err::kFieldInIndex, field->Name());
    for (const auto& r : database->relations_)
        if (RelationUsesField(*r, table.Name(), field->Name()))
            throw MakeError(err::kInRelationship, field->Name());
    if (table.fields_.Count() == 1) throw MakeError(err::kInvalidOperation, field->Name());
    Transaction tx(c, table.Name());
    table.id_ = StoredTableId(c, table.Name());
    if (!StoredColumnExists(c, table.id_, field->Name()))
        throw MakeError(err::kItemNotFound, field->Name());
    DropCounterTrigger(c, table.Name(), field->Name());
    c.Exec("ALTER TABLE " + QuoteIdentifier(table.Name()) + " DROP COLUMN " +
               QuoteIdentifier(field->Name()),
           table.Name());
    Statement s(c, "DELETE FROM \"MSysColumns\" WHERE \"ObjectId\" = ? AND \"Name\" = ?",
                table.Name());
    s.Bind(1, table.id_).Bind(2, field->Name()).Run();
    tx.Commit();
    field->table_.reset();
    field->role_ = Field::Role::Free;
}

void Schema::UpdateFieldFlags(TableDef& table, const Field& field, bool allowZeroLength,
                              bool required) {
    auto database = table.StoredIn();
    if (!database) return;
    Connection& c = database->Conn();
    c.CheckWritable(table.Name());
    if (IsEngineTable(table.Name())) throw MakeError(err::kInvalidOperation, table.Name());
    Transaction tx(c, table.Name());
    table.id_ = StoredTableId(c, table.Name());
    Statement s(c,
                "UPDATE \"MSysColumns\" SET \"AllowZeroLength\" = ?, \"Required\" = ? WHERE "
                "\"ObjectId\" = ? AND \"Name\" = ?",
                field.Name());
    s.Bind(1, allowZeroLength ? -1LL : 0LL)
        .Bind(2, required ? -1LL : 0LL)
        .Bind(3, table.id_)
        .Bind(4, field.Name())
        .Run();
    tx.Commit();
}

void Schema::AppendIndex(TableDef& table, const std::shared_ptr<Index>& index) {
    auto database = table.StoredIn();
    if (!database) return;  // stored together with the table
    Connection& c = database->Conn();
    c.CheckWritable(table.Name());
    if (IsEngineTable(table.Name())) throw MakeError(err::kInvalidOperation, table.Name());
    for (const auto& f : index->Fields())
        if (!table.fields_.Contains(f->Name())) throw MakeError(err::kItemNotFound, f->Name());
    Transaction tx(c, table.Name());
    table.id_ = StoredTableId(c, table.Name());
    if (FindStoredIndex(c, table.id_, index->Name()))
        throw MakeError(err::kIndexExists, index->Name());
    StoredIndex stored = CreateIndexInFile(c, table, table.id_, *index);
    tx.Commit();
    Schema::MarkIndexStored(*index, stored);
}

void Schema::DeleteIndex(TableDef& table, const std::shared_ptr<Index>& index) {
    auto database = table.StoredIn();
    if (!database || !index->stored_) return;
    Connection& c = database->Conn();
    c.CheckWritable(table.Name());
    if (IsEngineTable(table.Name())) throw MakeError(err::kInvalidOperation, table.Name());
    Transaction tx(c, table.Name());
    // By name, as the file holds it now: the Id read when the database was opened may belong to
    // another index by now.
    table.id_ = StoredTableId(c, table.Name());
    const std::optional<StoredIndexRow> row = FindStoredIndex(c, table.id_, index->Name());
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
    index->stored_ = false;
    for (const auto& f : index->Fields()) f->frozen_ = false;
}

void Schema::AppendRelation(Database& database, const std::shared_ptr<Relation>& relation) {
    Connection& c = database.Conn();
    c.CheckWritable(relation->Name());
    CheckName(relation->Name(), "relación");
    if (relation->stored_ || database.relations_.Contains(relation->Name()))
        throw MakeError(err::kObjectExists, relation->Name());
    if (relation->fields_.Count() == 0) throw MakeError(err::kNoRelationFields, relation->Name());
    auto table = FindTable(database, relation->Table());
    if (!table) throw MakeError(err::kItemNotFound, relation->Table());
    auto foreign = FindTable(database, relation->ForeignTable());
    if (!foreign) throw MakeError(err::kItemNotFound, relation->ForeignTable());
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& f : relation->fields_) {
        auto tf = FindField(table->Fields(), f->Name());
        if (!tf) throw MakeError(err::kItemNotFound, f->Name());
        auto ff = FindField(foreign->Fields(), f->ForeignName());
        if (!ff) throw MakeError(err::kItemNotFound, f->ForeignName());
        if (tf->Type() != ff->Type()) throw MakeError(err::kRelationTypeMismatch, relation->Name());
        pairs.emplace_back(tf->Name(), ff->Name());
    }
    const bool enforce = (relation->Attributes() & dbRelationDontEnforce) == 0;

    Transaction tx(c, relation->Name());
    if (StoredRelationExists(c, relation->Name()))
        throw MakeError(err::kObjectExists, relation->Name());
    if (enforce) {
        // Existing rows of the foreign table must find their row in the primary table.
        std::string notNull, match;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            const char* sep = i == 0 ? "" : " AND ";
            notNull += sep + QuoteIdentifier(foreign->Name()) + "." +
                       QuoteIdentifier(pairs[i].second) + " IS NOT NULL";
            match += sep + QuoteIdentifier(table->Name()) + "." + QuoteIdentifier(pairs[i].first) +
                     " = " + QuoteIdentifier(foreign->Name()) + "." +
                     QuoteIdentifier(pairs[i].second);
        }
        Statement s(c,
                    "SELECT 1 FROM " + QuoteIdentifier(foreign->Name()) + " WHERE " + notNull +
                        " AND NOT EXISTS (SELECT 1 FROM " + QuoteIdentifier(table->Name()) +
                        " WHERE " + match + ") LIMIT 1",
                    relation->Name());
        if (s.Step())
            throw EngineError(err::kRelatedRecordRequired,
                              "Los datos de la tabla '" + foreign->Name() +
                                  "' infringen las reglas de integridad referencial: hay "
                                  "registros sin su registro relacionado en la tabla '" +
                                  table->Name() + "'. No se puede crear la relación '" +
                                  relation->Name() + "'.");
        CreateRelationTriggers(c, relation->Name(), table->Name(), foreign->Name(),
                               relation->Attributes(), pairs);
    }
    long long position = 1;
    for (const auto& [primary, foreignName] : pairs) {
        Statement s(c,
                    "INSERT INTO \"MSysRelationships\" (\"Name\", \"TableName\", "
                    "\"ForeignTableName\", \"Attributes\", \"Position\", \"FieldName\", "
                    "\"ForeignName\") VALUES (?, ?, ?, ?, ?, ?, ?)",
                    relation->Name());
        s.Bind(1, relation->Name())
            .Bind(2, table->Name())
            .Bind(3, foreign->Name())
            .Bind(4, static_cast<long long>(relation->Attributes()))
            .Bind(5, position++)
            .Bind(6, primary)
            .Bind(7, foreignName)
            .Run();
    }
    tx.Commit();
    relation->stored_ = true;
    relation->table_ = table->Name();
    relation->foreignTable_ = foreign->Name();
    std::size_t i = 0;
    for (const auto& f : relation->fields_) {
        f->name_ = pairs[i].first;
        f->foreignName_ = pairs[i].second;
        f->frozen_ = true;
        ++i;
    }
}

void Schema::DeleteRelation(Database& database, const std::shared_ptr<Relation>& relation) {
    Connection& c = database.Conn();
    c.CheckWritable(relation->Name());
    Transaction tx(c, relation->Name());
    for (const auto& trigger : TriggerNames(relation->Name()))
        c.Exec("DROP TRIGGER IF EXISTS " + QuoteIdentifier(trigger), relation->Name());
    Statement s(c, "DELETE FROM \"MSysRelationships\" WHERE \"Name\" = ?", relation->Name());
    s.Bind(1, relation->Name()).Run();
    tx.Commit();
    relation->stored_ = false;
    for (const auto& f : relation->fields_) f->frozen_ = false;
}

void Schema::CheckQueryText(std::string_view sql) {
    std::size_t i = 0;
    while (i < sql.size() && (std::isspace(static_cast<unsigned char>(sql[i])) || sql[i] == '('))
        ++i;
    bool parenthesised = false;
    for (std::size_t k = 0; k < i; ++k)
        if (sql[k] == '(') parenthesised = true;
    std::string verb;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
        verb += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    static const char* const verbs[] = {"SELECT", "TRANSFORM", "PARAMETERS", "INSERT", "UPDATE",
                                        "DELETE", "CREATE",    "ALTER",      "DROP",   "PROCEDURE"};
    bool ok = false;
    for (const char* v : verbs)
        if (verb == v) ok = true;
    if (parenthesised && verb != "SELECT") ok = false;
    if (!ok) throw MakeError(err::kInvalidSql);
}

void Schema::StoreQuery(Database& database, QueryDef& query) {
    Connection& c = database.Conn();
    c.CheckWritable(query.Name());
    CheckName(query.Name(), "consulta");
    CheckQueryText(query.SQL());
    if (query.stored_ || database.tableDefs_.Contains(query.Name()) ||
        database.queryDefs_.Contains(query.Name()))
        throw MakeError(err::kObjectExists, query.Name());
    Transaction tx(c, query.Name());
    if (StoredObjectExists(c, query.Name())) throw MakeError(err::kObjectExists, query.Name());
    long long id = InsertObject(c, query.Name(), kObjectQuery);
    Statement s(c, "INSERT INTO \"MSysQueries\" (\"ObjectId\", \"SQL\") VALUES (?, ?)",
                query.Name());
    s.Bind(1, id).Bind(2, query.SQL()).Run();
    tx.Commit();
    query.stored_ = true;
}

void Schema::DeleteQuery(Database& database, const std::shared_ptr<QueryDef>& query) {
    Connection& c = database.Conn();
    c.CheckWritable(query->Name());
    Transaction tx(c, query->Name());
    {
        Statement s(c,
                    "DELETE FROM \"MSysQueries\" WHERE \"ObjectId\" IN (SELECT \"Id\" FROM "
                    "\"MSysObjects\" WHERE \"Name\" = ? AND \"Type\" = ?)",
                    query->Name());
        s.Bind(1, query->Name()).Bind(2, static_cast<long long>(kObjectQuery)).Run();
    }
    {
        Statement s(c, "DELETE FROM \"MSysObjects\" WHERE \"Name\" = ? AND \"Type\" = ?",
                    query->Name());
        s.Bind(1, query->Name()).Bind(2, static_cast<long long>(kObjectQuery)).Run();
    }
    tx.Commit();
    query->stored_ = false;
}

}  // namespace actualiz::engine::detail
