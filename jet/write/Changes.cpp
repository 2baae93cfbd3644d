#include "jet/write/Changes.h"

#include <algorithm>
#include <ctime>
#include <optional>

#include "engine/EngineError.h"
#include "engine/FieldRules.h"
#include "engine/SchemaModel.h"
#include "engine/Types.h"
#include "jet/JetQueryRows.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/read/Catalog.h"
#include "jet/write/Columns.h"
#include "jet/write/Indexes.h"
#include "jet/write/Permissions.h"
#include "jet/write/Properties.h"
#include "jet/write/Queries.h"
#include "jet/write/Relations.h"
#include "platform/NameFold.h"

namespace actualiz::engine::jet::write {

namespace {

using Kind = Change::Kind;
using Difference = SchemaDifference;

std::u16string Utf16(const std::string& text) {
    std::u16string out;
    for (char32_t c : platform::CodePoints(text)) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string Quoted(const std::string& name) {
    return "«" + name + "»";
}

std::string FieldName(const std::string& table, const std::string& field) {
    return Quoted(table + "." + field);
}

// The column type a field of the engine's type has in a Jet file; 0 for none.
std::uint8_t JetType(short engineType) {
    if (engineType >= 1 && engineType <= 12) return static_cast<std::uint8_t>(engineType);
    if (engineType == 15) return format::kGuid;
    if (engineType == 20) return format::kNumeric;
    return 0;
}

// The catalog's dates are days since 30 December 1899.
double Today() {
    return static_cast<double>(std::time(nullptr)) / 86400.0 + 25569.0;
}

Change Other(std::string what) {
    Change c;
    c.kind = Kind::Other;
    c.what = std::move(what);
    return c;
}

Change Property(const std::string& table, const std::string& field, const std::string& name,
                const std::string& value, bool set) {
    Change c;
    c.kind = set ? Kind::SetProperty : Kind::RemoveProperty;
    c.table = table;
    c.field = field;
    c.property = name;
    c.value = value;
    c.what =
        std::string(set ? "poner" : "quitar") + " la propiedad " + name +
        (field.empty() ? " de la tabla " + Quoted(table) : " del campo " + FieldName(table, field));
    if (set) c.what += " (" + value + ")";
    return c;
}

// The properties that make a field of a new or appended column what the stand-in has, from
// those of `before` (a column just made has none).
void FieldProperties(const std::string& table, const FieldSchema& field, const FieldSchema& before,
                     std::vector<Change>& out) {
    auto flag = [&](const char* name, bool now, bool was) {
        if (now != was)
            out.push_back(Property(table, field.name, name, now ? "True" : "False", now));
    };
    auto text = [&](const char* name, const std::string& now, const std::string& was) {
        if (now != was) out.push_back(Property(table, field.name, name, now, !now.empty()));
    };
    flag("Required", field.required, before.required);
    flag("AllowZeroLength", field.allowZeroLength, before.allowZeroLength);
    text("DefaultValue", field.defaultValue, before.defaultValue);
    text("ValidationRule", field.validationRule, before.validationRule);
    text("ValidationText", field.validationText, before.validationText);
}

// A new column as the writer takes it, with the changes its properties need; nothing (and an
// Other change) for a type or attributes the file cannot be given.
std::optional<NewColumn> ColumnOf(const std::string& table, const FieldSchema& field,
                                  std::vector<Change>& out) {
    const std::uint8_t type = JetType(field.type);
    if (type == 0) {
        out.push_back(Other("crear el campo " + FieldName(table, field.name) + " de tipo " +
                            std::to_string(field.type)));
        return std::nullopt;
    }
    NewColumn column;
    column.name = Utf16(field.name);
    column.type = type;
    if (type == format::kText || type == format::kBinary)
        column.textLength = static_cast<int>(field.size);
    // A counter is the only attribute of its own a Jet column carries; the writer says where
    // it cannot have one (a table that holds rows or has a counter already).
    const long counter = detail::DefaultFieldAttributes(field.type) | dbAutoIncrField;
    if (field.attributes == counter && type == format::kLong)
        column.autoNumber = true;
    else if (HasOwnAttributes(field))
        out.push_back(Other("dar al campo " + FieldName(table, field.name) + " los atributos " +
                            std::to_string(field.attributes)));
    return column;
}

NewIndex IndexOf(const IndexSchema& index) {
    NewIndex written;
    written.name = Utf16(index.name);
    for (const IndexFieldSchema& f : index.fields)
        written.fields.push_back({Utf16(f.name), f.descending});
    written.primary = index.primary;
    written.unique = index.unique;
    written.ignoreNulls = index.ignoreNulls;
    written.required = index.required;
    return written;
}

void NewTableChanges(const TableSchema& table, std::vector<Change>& out) {
    Change create;
    create.kind = Kind::CreateTable;
    create.table = table.name;
    create.what = "crear la tabla " + Quoted(table.name);
    create.newTable.name = Utf16(table.name);
    create.newTable.created = Today();
    std::vector<Change> after;
    bool typesKnown = true;
    for (const FieldSchema& field : table.fields) {
        std::optional<NewColumn> column = ColumnOf(table.name, field, after);
        if (!column) {
            typesKnown = false;
            continue;
        }
        create.newTable.columns.push_back(std::move(*column));
        FieldProperties(table.name, field, FieldSchema{}, after);
    }
    // The table is empty: its indexes are written with it.
    for (const IndexSchema& index : table.indexes)
        create.newTable.indexes.push_back(IndexOf(index));
    if (typesKnown) out.push_back(std::move(create));
    if (!table.validationRule.empty())
        out.push_back(Property(table.name, "", "ValidationRule", table.validationRule, true));
    if (!table.validationText.empty())
        out.push_back(Property(table.name, "", "ValidationText", table.validationText, true));
    for (Change& c : after) out.push_back(std::move(c));
}

void FieldChanges(const Difference& d, std::vector<Change>& out) {
    switch (d.change) {
        case Difference::Change::OnlyInModel: {
            const auto& field = std::get<FieldSchema>(d.model);
            std::vector<Change> after;
            std::optional<NewColumn> column = ColumnOf(d.table, field, after);
            if (column) {
                Change c;
                c.kind = Kind::AppendColumn;
                c.table = d.table;
                c.field = field.name;
                c.column = std::move(*column);
                c.what = "añadir el campo " + FieldName(d.table, field.name);
                out.push_back(std::move(c));
                FieldProperties(d.table, field, FieldSchema{}, after);
            }
            for (Change& a : after) out.push_back(std::move(a));
            return;
        }
        case Difference::Change::OnlyInOld: {
            Change c;
            c.kind = Kind::DeleteColumn;
            c.table = d.table;
            c.field = d.name;
            c.what = "quitar el campo " + FieldName(d.table, d.name);
            out.push_back(std::move(c));
            return;
        }
        case Difference::Change::Different: {
            const auto& now = std::get<FieldSchema>(d.model);
            const auto& was = std::get<FieldSchema>(d.old);
            if (now.name != was.name)
                out.push_back(Other("cambiar el nombre del campo " + FieldName(d.table, was.name) +
                                    " a " + Quoted(now.name)));
            if (now.type != was.type || now.size != was.size || now.attributes != was.attributes)
                out.push_back(Other("cambiar el tipo, el tamaño o los atributos del campo " +
                                    FieldName(d.table, now.name)));
            FieldProperties(d.table, now, was, out);
            return;
        }
    }
}

void TableChanges(const Difference& d, std::vector<Change>& out) {
    switch (d.change) {
        case Difference::Change::OnlyInModel:
            NewTableChanges(std::get<TableSchema>(d.model), out);
            return;
        case Difference::Change::OnlyInOld:
            out.push_back(Other("borrar la tabla " + Quoted(d.name)));
            return;
        case Difference::Change::Different: {
            const auto& now = std::get<TableSchema>(d.model);
            const auto& was = std::get<TableSchema>(d.old);
            if (now.name != was.name)
                out.push_back(Other("cambiar el nombre de la tabla " + Quoted(was.name) + " a " +
                                    Quoted(now.name)));
            if (now.validationRule != was.validationRule)
                out.push_back(Property(now.name, "", "ValidationRule", now.validationRule,
                                       !now.validationRule.empty()));
            if (now.validationText != was.validationText)
                out.push_back(Property(now.name, "", "ValidationText", now.validationText,
                                       !now.validationText.empty()));
            return;
        }
    }
}

// A query the file gains is written from its SQL; one whose text the file cannot store so that
// it reads the same is refused, named, with the reason. A changed query is taken out and
// written anew.
void QueryChanges(const Difference& d, std::vector<Change>& out) {
    if (d.change != Difference::Change::OnlyInModel) {
        Change remove;
        remove.kind = Kind::DeleteQuery;
        remove.table = d.name;
        remove.what = "quitar la consulta " + Quoted(d.name);
        out.push_back(std::move(remove));
    }
    if (d.change == Difference::Change::OnlyInOld) return;
    const auto& query = std::get<QuerySchema>(d.model);
    QueryRowsResult stored = QueryRowsFor(query.sql);
    if (!stored.problem.empty()) {
        out.push_back(
            Other("crear la consulta " + Quoted(query.name) + ": su SQL " + stored.problem));
        return;
    }
    Change create;
    create.kind = Kind::CreateQuery;
    create.table = query.name;
    create.value = query.sql;
    create.what = "crear la consulta " + Quoted(query.name);
    out.push_back(std::move(create));
}

// An index of a table that was there: the old one taken out, the model's put in (both for one
// that differs).
void IndexChanges(const Difference& d, std::vector<Change>& out) {
    if (d.change != Difference::Change::OnlyInModel) {
        const auto& was = std::get<IndexSchema>(d.old);
        Change c;
        c.kind = Kind::DeleteIndex;
        c.table = d.table;
        c.field = was.name;
        c.what = "quitar el índice " + FieldName(d.table, was.name);
        out.push_back(std::move(c));
    }
    if (d.change != Difference::Change::OnlyInOld) {
        const auto& now = std::get<IndexSchema>(d.model);
        Change c;
        c.kind = Kind::CreateIndex;
        c.table = d.table;
        c.index = IndexOf(now);
        c.what = "crear el índice " + FieldName(d.table, now.name);
        out.push_back(std::move(c));
    }
}

NewRelation RelationOf(const RelationSchema& relation) {
    NewRelation written;
    written.name = Utf16(relation.name);
    written.table = Utf16(relation.table);
    written.foreignTable = Utf16(relation.foreignTable);
    written.attributes = static_cast<std::int32_t>(relation.attributes);
    for (const RelationFieldSchema& f : relation.fields)
        written.fields.emplace_back(Utf16(f.name), Utf16(f.foreignName));
    written.created = static_cast<double>(std::time(nullptr)) / 86400.0 + 25569.0;
    return written;
}

void RelationChanges(const Difference& d, std::vector<Change>& out) {
    if (d.change != Difference::Change::OnlyInModel) {
        const auto& was = std::get<RelationSchema>(d.old);
        Change c;
        c.kind = Kind::DeleteRelation;
        c.relation = RelationOf(was);
        c.what = "quitar la relación " + Quoted(was.name);
        out.push_back(std::move(c));
    }
    if (d.change != Difference::Change::OnlyInOld) {
        const auto& now = std::get<RelationSchema>(d.model);
        Change c;
        c.kind = Kind::CreateRelation;
        c.relation = RelationOf(now);
        c.what = "crear la relación " + Quoted(now.name);
        out.push_back(std::move(c));
    }
}

bool Enforced(const NewRelation& relation) {
    return (relation.attributes & dbRelationDontEnforce) == 0;
}

bool Same(const std::u16string& a, const std::u16string& b) {
    return platform::EqualsIgnoringCase(format::Utf8(a), format::Utf8(b));
}

// The index an enforced relation's entry on its foreign table reads as: named like the
// relation, over the foreign fields in their order, ascending, nothing else set.
bool IsRelationIndex(const Change& c, const NewRelation& relation) {
    if (!Same(Utf16(c.table), relation.foreignTable) ||
        !Same(c.kind == Kind::CreateIndex ? c.index.name : Utf16(c.field), relation.name))
        return false;
    if (c.kind == Kind::DeleteIndex) return true;
    const NewIndex& index = c.index;
    if (index.primary || index.unique || index.ignoreNulls || index.required ||
        index.fields.size() != relation.fields.size())
        return false;
    for (std::size_t i = 0; i < index.fields.size(); ++i)
        if (index.fields[i].descending || !Same(index.fields[i].name, relation.fields[i].second))
            return false;
    return true;
}

// An enforced relation's index comes and goes with it.
void PairRelationIndexes(std::vector<Change>& out) {
    std::vector<Change> added;
    for (Change& c : out) {
        if (c.kind != Kind::DeleteRelation || !Enforced(c.relation)) continue;
        auto index = std::find_if(out.begin(), out.end(), [&](const Change& i) {
            return i.kind == Kind::DeleteIndex && IsRelationIndex(i, c.relation);
        });
        if (index != out.end()) {
            index->kind = Kind::Other;
            index->what.clear();  // made by the relation's removal
            continue;
        }
        // The stand-in keeps the index the relation's entry read as: a plain one stays.
        Change keep;
        keep.kind = Kind::CreateIndex;
        keep.table = format::Utf8(c.relation.foreignTable);
        keep.index.name = c.relation.name;
        for (const auto& pair : c.relation.fields) keep.index.fields.push_back({pair.second});
        keep.what = "crear el índice " + FieldName(keep.table, format::Utf8(keep.index.name));
        added.push_back(std::move(keep));
    }
    for (Change& c : added) out.push_back(std::move(c));
    for (Change& c : out) {
        if (c.kind != Kind::CreateRelation || !Enforced(c.relation)) continue;
        auto index = std::find_if(out.begin(), out.end(), [&](const Change& i) {
            return i.kind == Kind::CreateIndex && IsRelationIndex(i, c.relation);
        });
        if (index != out.end()) {
            index->kind = Kind::Other;
            index->what.clear();  // made by the relation
        }
        // Else the stand-in has the index already (it becomes the relation's entry), or the
        // check of the copy against the stand-in refuses the write-back.
    }
    out.erase(
        std::remove_if(out.begin(), out.end(),
                       [](const Change& c) { return c.kind == Kind::Other && c.what.empty(); }),
        out.end());
}

// The one place that says which kinds of change this writer makes: every other kind is refused,
// named, before anything is written.
bool Writes(Kind kind) {
    switch (kind) {
        case Kind::CreateTable:
        case Kind::AppendColumn:
        case Kind::DeleteColumn:
            return true;
        case Kind::SetProperty:
        case Kind::RemoveProperty:
            return true;
        case Kind::CreateQuery:
        case Kind::DeleteQuery:
        case Kind::CreateIndex:
        case Kind::DeleteIndex:
            return true;
        case Kind::CreateRelation:
        case Kind::DeleteRelation:
            return true;
        case Kind::Other:
            return false;
    }
    return false;
}

}  // namespace

std::vector<Change> ChangesFor(const std::vector<SchemaDifference>& differences) {
    std::vector<Change> out;
    for (const Difference& d : differences) {
        switch (d.kind) {
            case Difference::Kind::Table:
                TableChanges(d, out);
                break;
            case Difference::Kind::Field:
                FieldChanges(d, out);
                break;
            case Difference::Kind::FieldOrder:
                out.push_back(
                    Other("cambiar el orden de los campos de la tabla " + Quoted(d.name)));
                break;
            case Difference::Kind::Index:
                IndexChanges(d, out);
                break;
            case Difference::Kind::Relation:
                RelationChanges(d, out);
                break;
            case Difference::Kind::Query:
                QueryChanges(d, out);
                break;
        }
    }
    PairRelationIndexes(out);
    // Relations out first, then indexes; indexes in near the end, relations last.
    auto rank = [](const Change& c) {
        switch (c.kind) {
            case Kind::DeleteRelation:
                return 0;
            case Kind::DeleteIndex:
                return 1;
            case Kind::CreateIndex:
                return 3;
            case Kind::CreateRelation:
                return 4;
            default:
                return 2;
        }
    };
    std::stable_sort(out.begin(), out.end(),
                     [&](const Change& a, const Change& b) { return rank(a) < rank(b); });
    return out;
}

std::vector<const Change*> WhatCannotBeWritten(const std::vector<Change>& changes) {
    std::vector<const Change*> refused;
    for (const Change& c : changes)
        if (!Writes(c.kind)) refused.push_back(&c);
    return refused;
}

void Apply(format::PageFile& file, const Change& change) {
    if (!Writes(change.kind))
        throw EngineError(err::kInvalidOperation,
                          "Aún no se puede " + change.what + " en un archivo de Access (Jet).");
    switch (change.kind) {
        case Kind::CreateTable:
            // Access gives every table it creates the permissions its container hands down.
            AddTablePermissions(file, CreateTable(file, change.newTable));
            return;
        case Kind::AppendColumn:
            AppendColumn(file, TablePage(file, change.table), change.column);
            return;
        case Kind::DeleteColumn:
            DeleteColumn(file, TablePage(file, change.table), Utf16(change.field));
            return;
        case Kind::SetProperty: {
            const bool yesNo =
                change.property == "Required" || change.property == "AllowZeroLength";
            SetProperty(file, Utf16(change.table), Utf16(change.field), Utf16(change.property),
                        yesNo ? PropertyValue::Boolean(change.value == "True")
                              : PropertyValue::Text(Utf16(change.value)));
            return;
        }
        case Kind::RemoveProperty:
            RemoveProperty(file, Utf16(change.table), Utf16(change.field), Utf16(change.property));
            return;
        case Kind::CreateQuery:
            CreateQuery(file, change.table, change.value, Today());
            return;
        case Kind::DeleteQuery:
            DeleteQuery(file, change.table);
            return;
        case Kind::CreateIndex:
            CreateIndex(file, TablePage(file, change.table), change.index);
            return;
        case Kind::DeleteIndex:
            DeleteIndex(file, TablePage(file, change.table), Utf16(change.field));
            return;
        case Kind::CreateRelation:
            CreateRelation(file, change.relation);
            return;
        case Kind::DeleteRelation:
            DeleteRelation(file, change.relation.name);
            return;
        default:
            break;
    }
}

std::uint32_t TablePage(const format::PageFile& file, const std::string& table) {
    for (const format::CatalogObject& object : format::ReadCatalog(file))
        if (object.LocalTable() && platform::EqualsIgnoringCase(object.name, table))
            return object.DefinitionPage();
    throw MakeError(err::kItemNotFound, table);
}

}  // namespace actualiz::engine::jet::write
