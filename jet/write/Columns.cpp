#include "jet/write/Columns.h"

#include <algorithm>
#include <optional>
#include <string>

#include "engine/EngineError.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/TextKey.h"
#include "jet/format/UsageMap.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"
#include "jet/write/TableDefWrite.h"
#include "jet/write/WholeChange.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr std::uint16_t kMaxColumnNumbers = 255;

std::string TableName(std::uint32_t tablePage) {
    return "la tabla de la página " + std::to_string(tablePage);
}

// The definition of a user table; 3219 for a system table's.
TableDef UserTable(const PageFile& file, std::uint32_t tablePage) {
    TableDef def = ReadTableDef(file, tablePage);
    if (def.tableType != kUserTable)
        throw EngineError(err::kInvalidOperation, "No se cambian los campos de " +
                                                      TableName(tablePage) +
                                                      ": no es una tabla de usuario.");
    return def;
}

// The column of that name, case aside; nullptr when none.
std::vector<ColumnDef>::iterator Named(TableDef& def, std::u16string_view name) {
    std::string utf8 = Utf8(std::u16string(name));
    auto found = std::find_if(def.columns.begin(), def.columns.end(),
                              [&](const ColumnDef& c) { return c.name == utf8; });
    if (found != def.columns.end()) return found;
    std::vector<unsigned char> key = TextKey(name);
    return std::find_if(def.columns.begin(), def.columns.end(), [&](const ColumnDef& c) {
        try {
            return TextKey(Utf16(c.name)) == key;
        } catch (const EngineError&) {
            return false;  // a name whose key is not known is no other spelling of this one
        }
    });
}

// Names compared as Jet compares them (case aside); exactly when a sort key is not known.
bool SameName(const std::string& a, const std::string& b) {
    if (a == b) return true;
    try {
        return TextKey(Utf16(a)) == TextKey(Utf16(b));
    } catch (const EngineError&) {
        return false;
    }
}

// Whether a row of MSysRelationships names the field of the table on either side.
bool InRelationship(const PageFile& file, std::uint32_t tablePage, const std::string& field) {
    std::string table;
    std::optional<std::uint32_t> relations;
    for (const CatalogObject& object : ReadCatalog(file)) {
        if (!object.LocalTable()) continue;
        if (object.DefinitionPage() == tablePage) table = object.name;
        if (object.name == "MSysRelationships") relations = object.DefinitionPage();
    }
    if (!relations || table.empty()) return false;
    TableDef def = ReadTableDef(file, *relations);
    auto text = [&](const RowValues& values, const char* name) {
        for (const ColumnDef& column : def.columns)
            if (column.name == name) {
                auto value = values.Value(column);
                return value ? Utf8(StoredText(*value)) : std::string();
            }
        return std::string();
    };
    for (const StoredRow& row : TableRows(file, def)) {
        RowValues values(file, def, row.bytes);
        if ((SameName(text(values, "szObject"), table) &&
             SameName(text(values, "szColumn"), field)) ||
            (SameName(text(values, "szReferencedObject"), table) &&
             SameName(text(values, "szReferencedColumn"), field)))
            return true;
    }
    return false;
}

bool Counter(const ColumnDef& column) {
    return (column.type == kLong && (column.flags & kColumnAutoLong)) ||
           (column.type == kGuid && (column.flags & kColumnAutoGuid));
}

}  // namespace

void AppendColumn(PageFile& file, std::uint32_t tablePage, const NewColumn& column) {
    RequireJet4(file);
    Whole(file, [&] {
        TableDef def = UserTable(file, tablePage);
        std::string where = "el campo «" + Utf8(column.name) + "» en " + TableName(tablePage);
        ValidateColumn(column, where);
        if (Named(def, column.name) != def.columns.end())
            throw EngineError(err::kFieldDefinedTwice, "No se añade " + where + ": ya existe.");
        if (column.autoNumber &&
            (def.rowCount > 0 || std::any_of(def.columns.begin(), def.columns.end(), Counter)))
            throw EngineError(err::kInvalidOperation,
                              "No se añade " + where +
                                  " autonumérico: la tabla ya tiene uno o tiene filas, que "
                                  "quedarían sin número.");
        if (def.maxColumns >= kMaxColumnNumbers)
            throw EngineError(err::kInvalidOperation,
                              "No se añade " + where +
                                  ": la tabla ya ha numerado 255 campos (hay que compactarla).");
        // Rows of a table without variable-length columns may lack the count of them; no
        // sample shows such rows, so a first variable column is not added over them.
        if (FixedLength(column.type) == 0 && def.varColumns == 0 && def.rowCount > 0)
            throw EngineError(err::kInvalidOperation,
                              "No se añade " + where +
                                  ": la tabla tiene filas y ningún campo de largo variable, y "
                                  "no se sabe cómo leerían esas filas el campo nuevo.");
        std::uint16_t fixedEnd = 0;
        for (const ColumnDef& c : def.columns)
            if (c.Fixed() && c.type != kBoolean)
                fixedEnd = std::max<std::uint16_t>(
                    fixedEnd, static_cast<std::uint16_t>(c.fixedOffset + c.length));
        auto number = def.maxColumns;
        ColumnDef added = NewColumnDef(column, number, def.varColumns, fixedEnd);
        if (!added.Fixed()) ++def.varColumns;
        ++def.maxColumns;
        def.columns.push_back(added);
        if (column.type == kMemo || column.type == kLongBinary) {
            std::uint32_t near = PageRow::From(def.usageMap).page;
            PageRow values = AddUsageMapRow(file, near);
            PageRow room = AddUsageMapRow(file, near);
            def.longValueMaps.push_back({number, values.Packed(), room.Packed()});
        }
        WriteTableDef(file, def);
    });
}

void DeleteColumn(PageFile& file, std::uint32_t tablePage, std::u16string_view name) {
    RequireJet4(file);
    Whole(file, [&] {
        TableDef def = UserTable(file, tablePage);
        std::string where =
            "el campo «" + Utf8(std::u16string(name)) + "» de " + TableName(tablePage);
        auto column = Named(def, name);
        if (column == def.columns.end())
            throw EngineError(err::kItemNotFound, "No se borra " + where + ": no existe.");
        std::uint16_t number = column->number;
        for (const RealIndexDef& index : def.realIndexes)
            for (const IndexKeyColumn& key : index.keys)
                if (key.column == number)
                    throw EngineError(err::kFieldInIndex,
                                      "No se borra " + where +
                                          ": es parte de un índice (hay que borrarlo antes).");
        if (InRelationship(file, tablePage, column->name))
            throw EngineError(err::kInRelationship,
                              "No se borra " + where + ": es parte de una relación.");
        if (def.columns.size() == 1)
            throw EngineError(err::kInvalidOperation,
                              "No se borra " + where + ": es el único campo de la tabla.");
        def.columns.erase(column);
        def.longValueMaps.erase(
            std::remove_if(def.longValueMaps.begin(), def.longValueMaps.end(),
                           [&](const LongValueMaps& maps) { return maps.column == number; }),
            def.longValueMaps.end());
        WriteTableDef(file, def);
    });
}

}  // namespace actualiz::engine::jet::write
