#include "engine/SchemaCompare.h"

#include "engine/Names.h"

namespace actualiz::engine {

namespace {

using Kind = SchemaDifference::Kind;
using Change = SchemaDifference::Change;

template <typename T>
const T* FindNamed(const std::vector<T>& list, const std::string& name) {
    for (const T& item : list)
        if (SameName(item.name, name)) return &item;
    return nullptr;
}

// One list of named objects against another: the model's order first, then what only the old
// database has.
template <typename T>
void CompareList(Kind kind, const std::string& table, const std::vector<T>& model,
                 const std::vector<T>& old, std::vector<SchemaDifference>& out) {
    for (const T& item : model) {
        const T* other = FindNamed(old, item.name);
        if (!other)
            out.push_back({kind, Change::OnlyInModel, table, item.name, item, {}});
        else if (!(item == *other))
            out.push_back({kind, Change::Different, table, item.name, item, *other});
    }
    for (const T& item : old)
        if (!FindNamed(model, item.name))
            out.push_back({kind, Change::OnlyInOld, table, item.name, {}, item});
}

// Whether the fields both tables have come in the same order in each.
bool SameFieldOrder(const std::vector<FieldSchema>& model, const std::vector<FieldSchema>& old) {
    std::vector<const FieldSchema*> common;
    for (const FieldSchema& field : model)
        if (FindNamed(old, field.name)) common.push_back(&field);
    std::size_t next = 0;
    for (const FieldSchema& field : old) {
        if (!FindNamed(model, field.name)) continue;
        if (next == common.size() || !SameName(common[next]->name, field.name)) return false;
        ++next;
    }
    return next == common.size();
}

}  // namespace

std::vector<SchemaDifference> CompareSchemas(const DatabaseSchema& model,
                                             const DatabaseSchema& old) {
    std::vector<SchemaDifference> out;
    for (const TableSchema& table : model.tables) {
        const TableSchema* other = FindNamed(old.tables, table.name);
        if (!other) {
            out.push_back({Kind::Table, Change::OnlyInModel, "", table.name, table, {}});
            continue;
        }
        if (other->name != table.name || other->validationRule != table.validationRule ||
            other->validationText != table.validationText)
            out.push_back({Kind::Table, Change::Different, "", table.name, table, *other});
        CompareList(Kind::Field, table.name, table.fields, other->fields, out);
        if (!SameFieldOrder(table.fields, other->fields))
            out.push_back({Kind::FieldOrder, Change::Different, "", table.name, table, *other});
        CompareList(Kind::Index, table.name, table.indexes, other->indexes, out);
    }
    for (const TableSchema& table : old.tables)
        if (!FindNamed(model.tables, table.name))
            out.push_back({Kind::Table, Change::OnlyInOld, "", table.name, {}, table});
    CompareList(Kind::Relation, "", model.relations, old.relations, out);
    CompareList(Kind::Query, "", model.queries, old.queries, out);
    return out;
}

}  // namespace actualiz::engine
