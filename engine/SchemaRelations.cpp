// Relations as the file stores them: their rows in MSysRelationships and, for an enforced
// relation, the triggers that keep the two tables' rows together.

#include <utility>
#include <vector>

#include "engine/Names.h"
#include "engine/Schema.h"
#include "engine/SchemaRows.h"
#include "engine/StoredDefinitions.h"

namespace actualiz::engine::detail {

namespace {

// The fields a relation pairs: a field of the primary table with one of the foreign table, each
// as its table spells it.
using FieldPairs = std::vector<std::pair<std::string, std::string>>;

// The trigger names of a relation; relation names are unique in a database and hold no dot.
std::vector<std::string> TriggerNames(const std::string& relation) {
    return {relation + ".insert", relation + ".update", relation + ".delete", relation + ".change"};
}

std::string RaiseText(int number, const std::string& object) {
    return QuoteLiteral(std::to_string(number) + "|" + MakeError(number, object).description());
}

void CreateRelationTriggers(Connection& c, const std::string& name, const std::string& table,
                            const std::string& foreign, long attributes, const FieldPairs& pairs) {
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

std::shared_ptr<TableDef> FindTable(Database& database, std::string_view name) {
    int i = database.TableDefs().Find(name);
    return i < 0 ? nullptr : database.TableDefs()[i];
}

// The fields the relation pairs, as their tables spell them; refused for a field a table lacks
// and for two fields of different types.
FieldPairs PairedFields(const Relation& relation, const TableDef& table, const TableDef& foreign) {
    FieldPairs pairs;
    for (const auto& f : relation.Fields()) {
        auto tf = FindField(table.Fields(), f->Name());
        if (!tf) throw MakeError(err::kItemNotFound, f->Name());
        auto ff = FindField(foreign.Fields(), f->ForeignName());
        if (!ff) throw MakeError(err::kItemNotFound, f->ForeignName());
        if (tf->Type() != ff->Type()) throw MakeError(err::kRelationTypeMismatch, relation.Name());
        pairs.emplace_back(tf->Name(), ff->Name());
    }
    return pairs;
}

// Existing rows of the foreign table must find their row in the primary table.
void CheckExistingRows(Connection& c, const Relation& relation, const TableDef& table,
                       const TableDef& foreign, const FieldPairs& pairs) {
    std::string notNull, match;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const char* sep = i == 0 ? "" : " AND ";
        notNull += sep + QuoteIdentifier(foreign.Name()) + "." + QuoteIdentifier(pairs[i].second) +
                   " IS NOT NULL";
        match += sep + QuoteIdentifier(table.Name()) + "." + QuoteIdentifier(pairs[i].first) +
                 " = " + QuoteIdentifier(foreign.Name()) + "." + QuoteIdentifier(pairs[i].second);
    }
    Statement s(c,
                "SELECT 1 FROM " + QuoteIdentifier(foreign.Name()) + " WHERE " + notNull +
                    " AND NOT EXISTS (SELECT 1 FROM " + QuoteIdentifier(table.Name()) + " WHERE " +
                    match + ") LIMIT 1",
                relation.Name());
    if (s.Step())
        throw EngineError(err::kRelatedRecordRequired,
                          "Los datos de la tabla '" + foreign.Name() +
                              "' infringen las reglas de integridad referencial: hay "
                              "registros sin su registro relacionado en la tabla '" +
                              table.Name() + "'. No se puede crear la relación '" +
                              relation.Name() + "'.");
}

// One row of MSysRelationships for each pair of fields.
void InsertRelationRows(Connection& c, const Relation& relation, const TableDef& table,
                        const TableDef& foreign, const FieldPairs& pairs) {
    long long position = 1;
    for (const auto& [primary, foreignName] : pairs) {
        Statement s(c,
                    "INSERT INTO \"MSysRelationships\" (\"Name\", \"TableName\", "
                    "\"ForeignTableName\", \"Attributes\", \"Position\", \"FieldName\", "
                    "\"ForeignName\") VALUES (?, ?, ?, ?, ?, ?, ?)",
                    relation.Name());
        s.Bind(1, relation.Name())
            .Bind(2, table.Name())
            .Bind(3, foreign.Name())
            .Bind(4, static_cast<long long>(relation.Attributes()))
            .Bind(5, position++)
            .Bind(6, primary)
            .Bind(7, foreignName)
            .Run();
    }
}

}  // namespace

bool RelationUsesField(const Relation& r, const std::string& table, const std::string& field) {
    for (const auto& f : r.Fields()) {
        if (SameName(r.Table(), table) && SameName(f->Name(), field)) return true;
        if (SameName(r.ForeignTable(), table) && SameName(f->ForeignName(), field)) return true;
    }
    return false;
}

void Schema::AppendRelation(Database& database, const std::shared_ptr<Relation>& relation) {
    Connection& c = database.Conn();
    c.CheckWritable(relation->Name());
    CheckName(relation->Name(), "relación");
    if (relation->Stored() || database.Relations().Contains(relation->Name()))
        throw MakeError(err::kObjectExists, relation->Name());
    if (relation->Fields().Count() == 0) throw MakeError(err::kNoRelationFields, relation->Name());
    auto table = FindTable(database, relation->Table());
    if (!table) throw MakeError(err::kItemNotFound, relation->Table());
    auto foreign = FindTable(database, relation->ForeignTable());
    if (!foreign) throw MakeError(err::kItemNotFound, relation->ForeignTable());
    const FieldPairs pairs = PairedFields(*relation, *table, *foreign);
    const bool enforce = (relation->Attributes() & dbRelationDontEnforce) == 0;

    DefinitionChange tx(c, relation->Name());
    if (StoredRelationExists(c, relation->Name()))
        throw MakeError(err::kObjectExists, relation->Name());
    if (enforce) {
        CheckExistingRows(c, *relation, *table, *foreign, pairs);
        CreateRelationTriggers(c, relation->Name(), table->Name(), foreign->Name(),
                               relation->Attributes(), pairs);
    }
    InsertRelationRows(c, *relation, *table, *foreign, pairs);
    tx.Commit();
    relation->MarkStored(table->Name(), foreign->Name());
    std::size_t i = 0;
    for (const auto& f : relation->Fields()) {
        f->Freeze(pairs[i].first, pairs[i].second);
        ++i;
    }
}

void Schema::DeleteRelation(Database& database, const std::shared_ptr<Relation>& relation) {
    Connection& c = database.Conn();
    c.CheckWritable(relation->Name());
    DefinitionChange tx(c, relation->Name());
    for (const auto& trigger : TriggerNames(relation->Name()))
        c.Exec("DROP TRIGGER IF EXISTS " + QuoteIdentifier(trigger), relation->Name());
    Statement s(c, "DELETE FROM \"MSysRelationships\" WHERE \"Name\" = ?", relation->Name());
    s.Bind(1, relation->Name()).Run();
    tx.Commit();
    relation->MarkUnstored();
    for (const auto& f : relation->Fields()) f->Unfreeze();
}

}  // namespace actualiz::engine::detail
