#include <algorithm>
#include <cstring>

#include "engine/FieldRules.h"
#include "engine/SchemaJson.h"
#include "jet/JetText.h"
#include "jet/mdb/DocumentBuilder.h"
#include "platform/NameFold.h"

namespace actualiz::engine::jet {

using nlohmann::json;

namespace {

// The engine's type code for a column type of the file, 0 when the engine has none.
short EngineType(int columnType) {
    switch (columnType) {
        case MDB_BOOL:
        case MDB_BYTE:
        case MDB_INT:
        case MDB_LONGINT:
        case MDB_MONEY:
        case MDB_FLOAT:
        case MDB_DOUBLE:
        case MDB_DATETIME:
        case MDB_BINARY:
        case MDB_TEXT:
        case MDB_OLE:
        case MDB_MEMO:
        case MDB_REPID:
            return static_cast<short>(columnType);  // the same codes
        case MDB_NUMERIC:
            return dbDecimal;
        default:
            return 0;
    }
}

std::string TableProperty(const OpenTable& table, const char* property) {
    const char* value = mdb_table_get_prop(table.get(), property);
    return value ? value : "";
}

bool PropertyYes(const MdbColumn* column, const char* property) {
    const char* value = column ? mdb_col_get_prop(column, property) : nullptr;
    return value && (std::strcmp(value, "yes") == 0 || std::strcmp(value, "1") == 0 ||
                     std::strcmp(value, "-1") == 0);
}

std::string Property(const MdbColumn* column, const char* property) {
    const char* value = column ? mdb_col_get_prop(column, property) : nullptr;
    return value ? value : "";
}

// A column's default value and validation rule, carried as the classic text. Those the file
// cannot apply (a default that is no constant, a rule SQLite cannot evaluate) are named in
// `defaults` and `validations` to be reported.
void CarryRules(json& field, const MdbColumn* column, std::vector<std::string>& defaults,
                std::vector<std::string>& validations) {
    const std::string name = field.at("name").get<std::string>();
    if (std::string value = Property(column, "DefaultValue"); !value.empty()) {
        field["defaultValue"] = value;
        if (!detail::SqliteDefault(value)) defaults.push_back(name);
    }
    if (std::string rule = Property(column, "ValidationRule"); !rule.empty()) {
        field["validationRule"] = rule;
        std::string text = Property(column, "ValidationText");
        if (!text.empty()) field["validationText"] = text;
        if (!detail::SqliteCondition(rule, name, {})) validations.push_back(name);
    }
}

}  // namespace

json DocumentBuilder::ReadTable(MdbCatalogEntry* entry) {
    const std::string tableName = entry->object_name;
    TableDefinition def = ReadDefinition(file_, entry->table_pg);
    OpenTable table(file_, entry);

    std::vector<Carried> carried = CarryColumns(tableName, def, table);
    if (carried.empty()) {
        Note("Tabla " + Quoted(tableName) + ": no tiene ninguna columna que se pueda trasladar");
        imported_.erase(tableName);
        return nullptr;
    }
    json t;
    t["name"] = tableName;
    if (std::string rule = TableProperty(table, "ValidationRule"); !rule.empty()) {
        t["validationRule"] = rule;
        std::string text = TableProperty(table, "ValidationText");
        if (!text.empty()) t["validationText"] = text;
    }
    if (sink_ && options_.includeRows) {
        json header = t;
        header["fields"] = json::array();
        for (const auto& c : carried) header["fields"].push_back(c.field);
        sink_->Table(header);
    }
    json rows = options_.includeRows ? ReadRows(tableName, table, carried) : json::array();

    t["fields"] = json::array();
    std::vector<std::string> fieldNames;
    for (auto& c : carried) {
        fieldNames.push_back(c.field.at("name").get<std::string>());
        t["fields"].push_back(std::move(c.field));
    }
    if (t.contains("validationRule") &&
        !detail::SqliteCondition(t["validationRule"].get<std::string>(), "", fieldNames))
        Note("Tabla " + Quoted(tableName) +
             ": la regla de validación de la tabla se traslada como texto, pero el archivo no la "
             "comprueba");
    t["indexes"] = ReadIndexes(tableName, def);
    if (options_.includeRows && !sink_) t["rows"] = std::move(rows);
    return t;
}

// The columns in the order of their numbers, each either carried as a field or reported.
std::vector<DocumentBuilder::Carried> DocumentBuilder::CarryColumns(const std::string& tableName,
                                                                    const TableDefinition& def,
                                                                    const OpenTable& table) {
    std::vector<ColumnDef> columns = def.columns;
    std::stable_sort(columns.begin(), columns.end(),
                     [](const auto& a, const auto& b) { return a.number < b.number; });
    std::vector<Carried> carried;
    UnappliedRules rules;
    ImportedTable& imported = imported_[tableName];
    for (const auto& col : columns) {
        int mdbIndex = table.ColumnIndex(col.name);
        short type = EngineType(col.type);
        if (type == 0 || mdbIndex < 0) {
            NoteColumnLeftOut(tableName, col);
            continue;
        }
        carried.push_back(CarryColumn(tableName, col, table, mdbIndex, type, rules));
        imported.fieldByNumber[col.number] = col.name;
        imported.typeByName[col.name] = carried.back().type;
    }
    NoteUnappliedRules(tableName, rules);
    return carried;
}

DocumentBuilder::Carried DocumentBuilder::CarryColumn(const std::string& tableName,
                                                      const ColumnDef& col, const OpenTable& table,
                                                      int mdbIndex, short type,
                                                      UnappliedRules& rules) {
    const MdbColumn* mdbColumn = table.Column(static_cast<unsigned>(mdbIndex));
    long size = 0;
    if (type == dbText) {
        size = file_.Jet3() ? col.length : col.length / 2;
    } else if (type == dbBinary) {
        size = col.length;
        if (size > 255) {
            Note("Tabla " + Quoted(tableName) + ": la columna binaria " + Quoted(col.name) +
                 " de " + std::to_string(size) +
                 " bytes pasa a binario largo (el motor admite binarios de hasta 255)");
            type = dbLongBinary;
            size = 0;
        }
    } else {
        size = FixedSize(type).value_or(0);
    }
    json field = {{"name", col.name},
                  {"type", type},
                  {"size", size},
                  {"allowZeroLength",
                   (type == dbText || type == dbMemo) && PropertyYes(mdbColumn, "AllowZeroLength")},
                  {"required", PropertyYes(mdbColumn, "Required")}};
    // Only a Long can number itself (bit 4) and only a GUID be generated (bit 0x40): in other
    // columns, Jet 3 files use those bits for other things.
    if (type == dbLong && (col.flags & 0x04)) field["attributes"] = dbFixedField | dbAutoIncrField;
    if (type == dbGUID && (col.flags & 0x40)) rules.guids.push_back(col.name);
    CarryRules(field, mdbColumn, rules.defaults, rules.validations);
    if (type == dbDecimal)
        Note("Tabla " + Quoted(tableName) + ": la precisión (" + std::to_string(col.precision) +
             ") y la escala (" + std::to_string(col.scale) + ") de la columna decimal " +
             Quoted(col.name) +
             " no se trasladan; sus valores pasan como números de doble precisión");
    return {col, mdbIndex, type, std::move(field)};
}

void DocumentBuilder::NoteColumnLeftOut(const std::string& tableName, const ColumnDef& col) {
    if (col.type == MDB_COMPLEX)
        Note("Tabla " + Quoted(tableName) + ": la columna " + Quoted(col.name) +
             " es de datos adjuntos o de varios valores y no se traslada");
    else
        Note("Tabla " + Quoted(tableName) + ": la columna " + Quoted(col.name) +
             " es de un tipo que el motor no tiene (código " + std::to_string(col.type) +
             ") y no se traslada");
}

void DocumentBuilder::NoteUnappliedRules(const std::string& tableName,
                                         const UnappliedRules& rules) {
    if (!rules.guids.empty())
        Note("Tabla " + Quoted(tableName) + ": la generación automática del GUID de " +
             NameList(rules.guids) + " no se traslada (sí sus valores)");
    if (!rules.defaults.empty())
        Note("Tabla " + Quoted(tableName) + ": los valores predeterminados de " +
             NameList(rules.defaults) +
             " se trasladan como texto, pero el archivo no los aplica (no son constantes)");
    if (!rules.validations.empty())
        Note("Tabla " + Quoted(tableName) + ": las reglas de validación de " +
             NameList(rules.validations) +
             " se trasladan como texto, pero el archivo no las comprueba");
}

json DocumentBuilder::ReadRows(const std::string& tableName, const OpenTable& table,
                               std::vector<Carried>& carried) {
    json rows = json::array();
    std::vector<RowFacts> facts(carried.size());
    std::vector<Value> values(carried.size());
    RowWalker walker(file_, table);
    while (walker.Next()) {
        for (std::size_t i = 0; i < carried.size(); ++i) {
            Value& v = values[i];
            v = walker.Get(static_cast<unsigned>(carried[i].mdbIndex));
            if (IsNull(v)) facts[i].hasNull = true;
            if (auto* s = std::get_if<std::string>(&v)) {
                if (s->empty()) facts[i].hasEmpty = true;
                facts[i].longest = std::max(facts[i].longest, platform::CharacterCount(*s));
            }
        }
        if (sink_) {
            sink_->Row(values);
            continue;
        }
        json row = json::array();
        for (const Value& v : values) row.push_back(ValueToJson(v));
        rows.push_back(std::move(row));
    }
    FitFieldsToRows(tableName, carried, facts);
    return rows;
}

// The classic engine lets people set Required or clear AllowZeroLength without checking the rows
// already there; such rows could not be written back. The data wins, and the property is
// reported instead of carried.
void DocumentBuilder::FitFieldsToRows(const std::string& tableName, std::vector<Carried>& carried,
                                      const std::vector<RowFacts>& facts) {
    for (std::size_t i = 0; i < carried.size(); ++i) {
        json& field = carried[i].field;
        const std::string what =
            "Tabla " + Quoted(tableName) + ": el campo " + Quoted(carried[i].def.name);
        if (field["required"].get<bool>() && facts[i].hasNull) {
            field["required"] = false;
            Note(what +
                 " es obligatorio (Required) pero tiene filas nulas; se traslada sin esa "
                 "propiedad");
        }
        if ((carried[i].type == dbText || carried[i].type == dbMemo) &&
            !field["allowZeroLength"].get<bool>() && facts[i].hasEmpty) {
            field["allowZeroLength"] = true;
            Note(what +
                 " no admite cadenas vacías pero tiene filas con ellas; se traslada "
                 "admitiéndolas");
        }
        if (carried[i].type == dbText &&
            static_cast<long>(facts[i].longest) > field["size"].get<long>()) {
            // Only possible in a damaged file; keep every character.
            field["size"] = std::min<long>(255, static_cast<long>(facts[i].longest));
            Note(what + " tiene textos más largos que su tamaño; se amplía");
        }
    }
}

}  // namespace actualiz::engine::jet
