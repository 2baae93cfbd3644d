#include "jet/write/NewTable.h"

#include <algorithm>
#include <optional>
#include <set>

#include "engine/EngineError.h"
#include "jet/format/DataPage.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/TextKey.h"
#include "jet/format/UsageMap.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"
#include "jet/write/PageAllocation.h"
#include "jet/write/Rows.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr std::size_t kHeaderSize = 63;
constexpr std::size_t kColumnSize = 25;
constexpr std::size_t kMaxNameLength = 64;
constexpr std::size_t kMaxColumns = 255;
constexpr int kMaxTextLength = 255;
// Every definition page and column entry of the samples holds this word where the notes see
// nothing known (header offset 12, column offset 1).
constexpr std::uint32_t kDefinitionWord = 0x0659;
constexpr std::uint16_t kGeneralSortOrder = 0x0409;
constexpr std::uint8_t kColumnUpdatable = 0x02;  // set on every column of the samples' tables
constexpr std::int16_t kCatalogTableType = 1;
constexpr std::int16_t kCatalogContainerType = 3;
constexpr std::int16_t kCatalogDatabaseType = 2;
const std::set<std::int16_t> kSharedNames = {1, 4, 5, 6};
// A usage map of type 0 from page 0 with 64 bytes of bitmap: the rows Access writes for a new
// table's maps.
constexpr std::size_t kNewMapSize = 1 + 4 + 64;

void Put16(std::vector<unsigned char>& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<unsigned char>(value);
    out[at + 1] = static_cast<unsigned char>(value >> 8);
}

void Put32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

EngineError Refused(const NewTable& table, const std::string& why) {
    return EngineError(err::kInvalidOperation,
                       "No se crea la tabla «" + Utf8(table.name) + "»: " + why + ".");
}

std::uint16_t FixedLength(std::uint8_t type) {
    switch (type) {
        case kBoolean:
        case kByte:
            return 1;
        case kInteger:
            return 2;
        case kLong:
            return 4;
        case kCurrency:
        case kDouble:
        case kDateTime:
            return 8;
        default:
            return 0;
    }
}

// The columns, names and closing mark of a definition, after its header.
std::vector<unsigned char> Definition(const NewTable& table, PageRow usage, PageRow free) {
    std::size_t count = table.columns.size();
    std::vector<unsigned char> def(kHeaderSize + kColumnSize * count, 0);
    std::uint16_t varCount = 0, fixedOffset = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const NewColumn& column = table.columns[i];
        std::size_t at = kHeaderSize + kColumnSize * i;
        bool text = column.type == kText;
        def[at] = column.type;
        Put32(def, at + 1, kDefinitionWord);
        Put16(def, at + 5, static_cast<std::uint32_t>(i));
        // A variable column's place; a fixed column holds the count of variable ones before it.
        Put16(def, at + 7, varCount);
        Put16(def, at + 9, static_cast<std::uint32_t>(i));
        Put16(def, at + 11, kGeneralSortOrder);
        def[at + 15] = static_cast<unsigned char>(kColumnUpdatable | (text ? 0 : kColumnFixed));
        if (text) {
            Put16(def, at + 23, static_cast<std::uint32_t>(2 * column.textLength));
            ++varCount;
        } else {
            std::uint16_t length = FixedLength(column.type);
            // A Boolean lives in the null mask: offset 0, length 1, as in the samples.
            Put16(def, at + 21, column.type == kBoolean ? 0 : fixedOffset);
            Put16(def, at + 23, length);
            if (column.type != kBoolean)
                fixedOffset = static_cast<std::uint16_t>(fixedOffset + length);
        }
    }
    for (const NewColumn& column : table.columns) {
        std::vector<unsigned char> name = TextBytes(column.name);
        def.push_back(static_cast<unsigned char>(name.size()));
        def.push_back(static_cast<unsigned char>(name.size() >> 8));
        def.insert(def.end(), name.begin(), name.end());
    }
    def.push_back(0xFF);
    def.push_back(0xFF);

    def[0] = kDefinitionPage;
    def[1] = 0x01;
    if (def.size() + 8 > kPageSize) throw Refused(table, "su definición no cabe en una página");
    Put16(def, 2, static_cast<std::uint32_t>(kPageSize - def.size() - 8));
    Put32(def, 8, static_cast<std::uint32_t>(def.size()));
    Put32(def, 12, kDefinitionWord);
    Put32(def, 24, 1);
    def[40] = kUserTable;
    Put16(def, 41, static_cast<std::uint32_t>(count));
    Put16(def, 43, varCount);
    Put16(def, 45, static_cast<std::uint32_t>(count));
    Put32(def, 55, usage.Packed());
    Put32(def, 59, free.Packed());
    return def;
}

void Validate(const NewTable& table) {
    if (table.name.empty() || table.name.size() > kMaxNameLength)
        throw Refused(table, "el nombre debe tener de 1 a 64 caracteres");
    TextKey(table.name);  // refuses a name whose catalog key cannot be made
    if (table.columns.empty() || table.columns.size() > kMaxColumns)
        throw Refused(table, "una tabla tiene de 1 a 255 campos");
    std::set<std::vector<unsigned char>> names;
    for (const NewColumn& column : table.columns) {
        if (column.name.empty() || column.name.size() > kMaxNameLength)
            throw Refused(table, "un nombre de campo debe tener de 1 a 64 caracteres");
        if (!names.insert(TextKey(column.name)).second)
            throw Refused(table, "el campo «" + Utf8(column.name) + "» está dos veces");
        if (column.type == kText) {
            if (column.textLength < 1 || column.textLength > kMaxTextLength)
                throw Refused(table,
                              "el tamaño del campo «" + Utf8(column.name) + "» debe ir de 1 a 255");
        } else if (FixedLength(column.type) == 0) {
            throw Refused(table, "el campo «" + Utf8(column.name) + "» es de un tipo (" +
                                     std::to_string(column.type) + ") que no se escribe aún");
        }
    }
}

}  // namespace

std::uint32_t CreateTable(PageFile& file, const NewTable& table) {
    PageFile before = file;
    try {
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
        std::uint32_t mapsPage = AllocatePage(file);
        InitDataPage(file, mapsPage, 0);
        std::span<unsigned char> maps = file.MutablePage(mapsPage);
        for (std::uint16_t row = 0; row < 2; ++row) {
            auto start = static_cast<std::uint16_t>(kPageSize - kNewMapSize * (row + 1u));
            std::fill(maps.begin() + start, maps.begin() + start + kNewMapSize, 0);
            maps[14 + 2 * row] = static_cast<unsigned char>(start);
            maps[15 + 2 * row] = static_cast<unsigned char>(start >> 8);
        }
        maps[12] = 2;
        auto mapsFree = static_cast<std::uint16_t>(kPageSize - 2 * kNewMapSize - 14 - 4);
        maps[2] = static_cast<unsigned char>(mapsFree);
        maps[3] = static_cast<unsigned char>(mapsFree >> 8);

        std::vector<unsigned char> def = Definition(table, {mapsPage, 0}, {mapsPage, 1});
        std::span<unsigned char> page = file.MutablePage(definitionPage);
        std::copy(def.begin(), def.end(), page.begin());

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
    } catch (...) {
        file = std::move(before);
        throw;
    }
}

}  // namespace actualiz::engine::jet::write
