#include "jet/write/NewTable.h"

#include <algorithm>
#include <optional>
#include <set>

#include "engine/EngineError.h"
#include "jet/format/DataPage.h"
#include "jet/format/IndexPage.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/TextKey.h"
#include "jet/format/UsageMap.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"
#include "jet/write/IndexTree.h"
#include "jet/write/PageAllocation.h"
#include "jet/write/Rows.h"
#include "jet/write/TableDefWrite.h"
#include "jet/write/WholeChange.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr std::size_t kMaxNameLength = 64;
constexpr std::size_t kMaxColumns = 255;
constexpr std::int16_t kCatalogTableType = 1;
constexpr std::int16_t kCatalogContainerType = 3;
constexpr std::int16_t kCatalogDatabaseType = 2;
const std::set<std::int16_t> kSharedNames = {1, 4, 5, 6};

// The place of the column of that name (case aside), or the number of columns.
std::size_t ColumnIndex(const NewTable& table, const std::u16string& name) {
    std::vector<unsigned char> key = TextKey(name);
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        if (TextKey(table.columns[i].name) == key) return i;
    return table.columns.size();
}

EngineError Refused(const NewTable& table, const std::string& why) {
    return EngineError(err::kInvalidOperation,
                       "No se crea la tabla «" + Utf8(table.name) + "»: " + why + ".");
}

void Validate(const NewTable& table) {
    if (table.name.empty() || table.name.size() > kMaxNameLength)
        throw Refused(table, "el nombre debe tener de 1 a 64 caracteres");
    TextKey(table.name);  // refuses a name whose catalog key cannot be made
    if (table.columns.empty() || table.columns.size() > kMaxColumns)
        throw Refused(table, "una tabla tiene de 1 a 255 campos");
    std::set<std::vector<unsigned char>> names;
    int counters = 0;
    for (const NewColumn& column : table.columns) {
        ValidateColumn(column, "la tabla «" + Utf8(table.name) + "»");
        if (!names.insert(TextKey(column.name)).second)
            throw Refused(table, "el campo «" + Utf8(column.name) + "» está dos veces");
        if (column.autoNumber && ++counters > 1)
            throw Refused(table, "solo un campo puede ser autonumérico");
    }
    std::set<std::vector<unsigned char>> indexNames;
    std::set<std::vector<std::pair<std::size_t, bool>>> keys;
    int primaries = 0;
    for (const NewIndex& index : table.indexes) {
        std::string named = "el índice «" + Utf8(index.name) + "»";
        if (index.name.empty() || index.name.size() > kMaxNameLength)
            throw Refused(table, "el nombre de un índice debe tener de 1 a 64 caracteres");
        if (!indexNames.insert(TextKey(index.name)).second)
            throw Refused(table, named + " está dos veces");
        if (index.fields.empty() || index.fields.size() > kMaxIndexKeys)
            throw Refused(table, named + " debe tener de 1 a 10 campos");
        if (index.primary && ++primaries > 1)
            throw Refused(table, "una tabla tiene una sola clave principal");
        std::vector<std::pair<std::size_t, bool>> key;
        for (const NewIndexField& field : index.fields) {
            std::size_t at = ColumnIndex(table, field.name);
            if (at == table.columns.size())
                throw Refused(table, named + " nombra el campo «" + Utf8(field.name) +
                                         "», que la tabla no tiene");
            std::uint8_t type = table.columns[at].type;
            if (type == kMemo || type == kLongBinary)
                throw Refused(table, named + " no puede incluir el campo Memo u OLE «" +
                                         Utf8(field.name) + "»");
            if (std::any_of(key.begin(), key.end(), [&](const auto& k) { return k.first == at; }))
                throw Refused(table,
                              named + " nombra dos veces el campo «" + Utf8(field.name) + "»");
            key.emplace_back(at, field.descending);
        }
        if (!keys.insert(key).second)
            throw Refused(table, named +
                                     " tiene los mismos campos que otro índice (compartirían "
                                     "un índice físico, que no se escribe)");
    }
}

// The physical and logical entries of each index, its usage map and its empty root leaf, laid out
// as the samples' empty tables show them (testV2000.mdb's Table2 and Table3,
// testIndexPropertiesV2000.mdb's *_temp tables): the physical ones in the order given, each
// numbered as its logical one, the logical ones in the order of their names.
void AddIndexes(PageFile& file, const NewTable& table, TableDef& def, PageRow tableMaps) {
    std::vector<LogicalIndexDef> logical;
    for (std::size_t i = 0; i < table.indexes.size(); ++i) {
        const NewIndex& index = table.indexes[i];
        RealIndexDef real;
        real.raw.assign(kRealIndexSize, 0);
        real.raw[0] = 0x83;  // in every physical index entry of the samples
        real.raw[1] = 0x07;
        for (const NewIndexField& field : index.fields)
            real.keys.push_back(
                {def.columns[ColumnIndex(table, field.name)].number, !field.descending});
        bool unique = index.unique || index.primary;
        bool required = index.required || index.primary;
        real.flags = static_cast<std::uint8_t>(kIndexWritten | (unique ? kIndexUnique : 0) |
                                               (index.ignoreNulls ? kIndexIgnoreNulls : 0) |
                                               (required ? kIndexRequired : 0));
        AddEmptyRoot(file, def, tableMaps.page, real);
        def.realIndexes.push_back(real);

        LogicalIndexDef entry;
        entry.number = static_cast<std::uint32_t>(i);
        entry.realNumber = static_cast<std::uint32_t>(i);
        entry.type = index.primary ? kPrimaryKeyIndex : 0;
        entry.name = Utf8(index.name);
        // 0x0659, the numbers, no related table (index 0xFFFFFFFF), and the bytes 0x04 0x04 that
        // every index of the samples without a relation holds at 21 and 22 (which the reader
        // takes for the cascade flags).
        entry.raw.assign(kLogicalIndexSize, 0);
        entry.raw[0] = 0x59;
        entry.raw[1] = 0x06;
        entry.raw[21] = entry.raw[22] = 0x04;
        entry.cascadeUpdates = entry.cascadeDeletes = true;
        logical.push_back(entry);
    }
    std::stable_sort(logical.begin(), logical.end(),
                     [](const LogicalIndexDef& a, const LogicalIndexDef& b) {
                         return TextKey(Utf16(a.name)) < TextKey(Utf16(b.name));
                     });
    def.logicalIndexes = logical;
}

// The definition of the new table, before it is laid over its pages.
TableDef Definition(PageFile& file, const NewTable& table, std::uint32_t firstPage) {
    TableDef def;
    def.firstPage = firstPage;
    def.tableType = kUserTable;
    PageRow usage = AddUsageMapRow(file, 0);
    PageRow free = AddUsageMapRow(file, usage.page);
    def.usageMap = usage.Packed();
    def.freeMap = free.Packed();
    std::uint16_t varCount = 0, fixedOffset = 0;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const NewColumn& column = table.columns[i];
        auto number = static_cast<std::uint16_t>(i);
        // A variable column's place; a fixed column holds the count of variable ones before it.
        def.columns.push_back(NewColumnDef(column, number, varCount, fixedOffset));
        std::uint16_t fixed = FixedLength(column.type);
        if (fixed == 0)
            ++varCount;
        else if (column.type != kBoolean)
            fixedOffset = static_cast<std::uint16_t>(fixedOffset + fixed);
        if (column.type == kMemo || column.type == kLongBinary) {
            PageRow values = AddUsageMapRow(file, usage.page);
            PageRow room = AddUsageMapRow(file, usage.page);
            def.longValueMaps.push_back({number, values.Packed(), room.Packed()});
        }
    }
    def.maxColumns = static_cast<std::uint16_t>(table.columns.size());
    def.varColumns = varCount;
    AddIndexes(file, table, def, usage);
    return def;
}

}  // namespace

std::uint32_t CreateTable(PageFile& file, const NewTable& table) {
    RequireJet4(file);
    return Whole(file, [&] {
        Validate(table);
        // The catalog's rows the new one copies from: the "Tables" container and the owner of
        // the database's own row (every user table of the samples has that owner).
        TableDef catalog = ReadTableDef(file, kCatalogPage);
        UsageMap catalogPages = ReadUsageMap(file, PageRow::From(catalog.usageMap));
        auto column = [&](const char* name) -> const ColumnDef& {
            for (const ColumnDef& c : catalog.columns)
                if (c.name == name) return c;
            throw Refused(table, std::string("MSysObjects no tiene la columna ") + name);
        };
        std::optional<std::int32_t> tablesContainer;
        std::optional<std::vector<unsigned char>> owner;
        std::vector<unsigned char> key = TextKey(table.name);
        for (const StoredRow& row : TableRows(file, catalog, catalogPages)) {
            RowValues values(file, catalog, row.bytes);
            auto name = values.Value(column("Name"));
            auto type = values.Value(column("Type"));
            if (!name || !type || type->size() != 2) continue;
            std::u16string text = StoredText(*name);
            auto kind = static_cast<std::int16_t>((*type)[0] | ((*type)[1] << 8));
            // Tables, linked tables and queries share their names.
            if (kSharedNames.count(kind) && TextKey(text) == key)
                throw Refused(table, "ya hay una tabla o consulta con ese nombre");
            if (kind == kCatalogContainerType && text == u"Tables") {
                auto id = values.Value(column("Id"));
                if (id && id->size() == 4)
                    tablesContainer =
                        static_cast<std::int32_t>((*id)[0] | ((*id)[1] << 8) | ((*id)[2] << 16) |
                                                  (static_cast<std::uint32_t>((*id)[3]) << 24));
            }
            if (kind == kCatalogDatabaseType && text == u"MSysDb") {
                auto value = values.Value(column("Owner"));
                if (value) owner.emplace(value->begin(), value->end());
            }
        }
        if (!tablesContainer) throw Refused(table, "MSysObjects no tiene el contenedor «Tables»");
        if (!owner) throw Refused(table, "MSysObjects no dice el dueño de la base (MSysDb)");

        std::uint32_t definitionPage = AllocatePage(file);
        TableDef def = Definition(file, table, definitionPage);
        WriteTableDef(file, def);

        InsertRow(file, kCatalogPage,
                  {{"Id", LongBytes(static_cast<std::int32_t>(definitionPage))},
                   {"ParentId", LongBytes(*tablesContainer)},
                   {"Name", TextBytes(table.name)},
                   {"Type", IntegerBytes(kCatalogTableType)},
                   {"DateCreate", DoubleBytes(table.created)},
                   {"DateUpdate", DoubleBytes(table.created)},
                   {"Owner", *owner},
                   {"Flags", LongBytes(0)}});
        return definitionPage;
    });
}

}  // namespace actualiz::engine::jet::write
