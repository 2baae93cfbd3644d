#include "jet/write/Rows.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

#include "engine/EngineError.h"
#include "jet/format/DataPage.h"
#include "jet/format/IndexKey.h"
#include "jet/format/IndexPage.h"
#include "jet/format/Text.h"
#include "jet/format/UsageMap.h"
#include "jet/mdb/Bytes.h"
#include "jet/read/RowReader.h"
#include "jet/write/IndexTree.h"
#include "jet/write/LongValues.h"
#include "jet/write/PageAllocation.h"
#include "jet/write/WholeChange.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr std::size_t kDataRowCount = 12;
constexpr std::size_t kFirstSlot = 14;
constexpr std::uint16_t kMaxSlots = 255;  // a row's number is one byte of its pointer
constexpr std::size_t kDefRowCount = 16;
constexpr std::size_t kDefRealIndexList = 63;
constexpr std::size_t kRealIndexCountSize = 12;
constexpr std::size_t kLongValueRefSize = 12;

void PutSlot(std::span<unsigned char> page, std::size_t row, std::uint32_t raw) {
    page[kFirstSlot + 2u * row] = static_cast<unsigned char>(raw);
    page[kFirstSlot + 2u * row + 1] = static_cast<unsigned char>(raw >> 8);
}

EngineError Refused(const std::string& text) {
    return EngineError(err::kInvalidOperation, text);
}

std::string TableName(const TableDef& def) {
    return "la tabla de la página " + std::to_string(def.firstPage);
}

// The definition's first page holds the counts; they are changed there.
void AddToRowCount(PageFile& file, const TableDef& def, int delta, bool indexCounts) {
    std::span<unsigned char> page = file.MutablePage(def.firstPage);
    PutU32(page.data() + kDefRowCount, static_cast<std::uint32_t>(def.rowCount + delta));
    if (!indexCounts) return;
    for (std::size_t i = 0; i < def.realIndexes.size(); ++i) {
        std::size_t at = kDefRealIndexList + kRealIndexCountSize * i + 4;
        if (at + 4 > kPageSize) throw Refused("definición demasiado larga en " + TableName(def));
        PutU32(page.data() + at, static_cast<std::uint32_t>(def.realIndexes[i].rowCountField +
                                                            static_cast<std::uint32_t>(delta)));
    }
}

std::vector<unsigned char> EntryBytes(std::vector<unsigned char> key, PageRow row) {
    key.push_back(static_cast<unsigned char>(row.page >> 16));
    key.push_back(static_cast<unsigned char>(row.page >> 8));
    key.push_back(static_cast<unsigned char>(row.page));
    key.push_back(static_cast<unsigned char>(row.row));
    return key;
}

void RebuildIndex(PageFile& file, const TableDef& def, std::size_t number) {
    const RealIndexDef& index = def.realIndexes[number];
    UsageMap rows = ReadUsageMap(file, PageRow::From(def.usageMap));
    std::vector<std::vector<unsigned char>> entries;
    for (const StoredRow& row : TableRows(file, def, rows)) {
        RowValues values(file, def, row.bytes);
        std::vector<std::optional<std::span<const unsigned char>>> keyValues;
        bool anyValue = false;
        for (const IndexKeyColumn& key : index.keys) {
            const ColumnDef* column = def.ColumnByNumber(key.column);
            if (!column)
                throw Refused("un índice de " + TableName(def) + " nombra una columna que no está");
            keyValues.push_back(values.Value(*column));
            anyValue = anyValue || keyValues.back().has_value();
        }
        if (!anyValue && (index.flags & kIndexIgnoreNulls)) continue;
        std::optional<std::vector<unsigned char>> key = EntryKey(def, index, keyValues);
        if (!key) {
            std::string why = "el tipo de una de sus columnas";
            for (std::size_t i = 0; i < index.keys.size(); ++i) {
                const ColumnDef& column = *def.ColumnByNumber(index.keys[i].column);
                if (keyValues[i] && !ValueKey(column, *keyValues[i])) {
                    why = "«" + column.name + "»: " + NoKeyReason(column);
                    break;
                }
            }
            throw Refused("No se escribe la clave del índice nº " + std::to_string(number) +
                          " de " + TableName(def) + " (" + why + ").");
        }
        entries.push_back(EntryBytes(std::move(*key), row.where));
    }
    std::sort(entries.begin(), entries.end());
    if (index.flags & kIndexUnique)
        for (std::size_t i = 1; i < entries.size(); ++i) {
            const auto& a = entries[i - 1];
            const auto& b = entries[i];
            bool allNull = std::all_of(a.begin(), a.end() - 4,
                                       [](unsigned char c) { return c == 0x00 || c == 0xFF; }) &&
                           a.size() - 4 == index.keys.size();
            if (!allNull && a.size() == b.size() && std::equal(a.begin(), a.end() - 4, b.begin()))
                throw EngineError(err::kDuplicateInIndex, "Valor repetido en el índice único nº " +
                                                              std::to_string(number) + " de " +
                                                              TableName(def) + ".");
        }
    WriteIndexTree(file, def, index, entries);
}

}  // namespace

std::vector<unsigned char> LongBytes(std::int32_t value) {
    std::vector<unsigned char> bytes(4);
    PutU32(bytes.data(), static_cast<std::uint32_t>(value));
    return bytes;
}

std::vector<unsigned char> IntegerBytes(std::int16_t value) {
    std::vector<unsigned char> bytes(2);
    PutU16(bytes.data(), static_cast<std::uint16_t>(value));
    return bytes;
}

std::vector<unsigned char> DoubleBytes(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    std::vector<unsigned char> bytes(8);
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
    return bytes;
}

std::vector<unsigned char> TextBytes(std::u16string_view text) {
    std::vector<unsigned char> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    return bytes;
}

std::vector<unsigned char> EncodeRow(const TableDef& def, const StoredValues& values,
                                     const StoredValues& longFields) {
    for (const auto& [name, bytes] : longFields) {
        (void)bytes;
        auto column = std::find_if(def.columns.begin(), def.columns.end(),
                                   [&](const ColumnDef& c) { return c.name == name; });
        if (column == def.columns.end() || (column->type != kMemo && column->type != kLongBinary))
            throw Refused("«" + name + "» no es una columna de valores largos de " +
                          TableName(def) + ".");
        if (values.count(name)) throw Refused("«" + name + "» dado dos veces.");
    }
    for (const auto& [name, bytes] : values) {
        (void)bytes;
        if (std::none_of(def.columns.begin(), def.columns.end(),
                         [&](const ColumnDef& c) { return c.name == name; }))
            throw Refused("La columna «" + name + "» no está en " + TableName(def) + ".");
    }
    if (def.varColumns == 0)
        throw Refused("No se escriben filas de una tabla sin columnas de largo variable (" +
                      TableName(def) + ").");
    std::size_t columnCount = def.maxColumns;
    std::vector<unsigned char> mask((columnCount + 7) / 8, 0);
    std::size_t fixedEnd = 0;
    std::uint16_t varCount = 0;
    for (const ColumnDef& column : def.columns) {
        if (column.number >= columnCount)
            throw Refused("Columna fuera de la cuenta de columnas en " + TableName(def) + ".");
        // A Boolean is its bit in the mask: it has no place among the fixed or the variable
        // values, whatever its definition's variable place says (the count of variable columns
        // before it). Counted among the variable values it would make the row's count of
        // variable columns too large, and readers that take a row's columns less its variable
        // ones as its fixed columns would lose the last fixed column.
        if (column.type == kBoolean) continue;
        if (column.Fixed())
            fixedEnd = std::max<std::size_t>(fixedEnd, column.fixedOffset + column.length);
        else
            varCount =
                std::max<std::uint16_t>(varCount, static_cast<std::uint16_t>(column.varIndex + 1));
    }
    varCount = std::max(varCount, def.varColumns);
    std::vector<unsigned char> row(2 + fixedEnd, 0);
    PutU16(row.data(), static_cast<std::uint32_t>(columnCount));
    std::vector<const ColumnDef*> variable(varCount, nullptr);
    for (const ColumnDef& column : def.columns) {
        auto where = "la columna «" + column.name + "»";
        const std::vector<unsigned char>* given = nullptr;
        if (auto field = longFields.find(column.name); field != longFields.end())
            given = &field->second;
        else if (auto found = values.find(column.name); found != values.end())
            given = &found->second;
        if (!given) {
            if (column.flags & kColumnAutoLong)
                throw Refused("No se numera " + where + " (autonumérica): hay que darle el valor.");
            continue;
        }
        const std::vector<unsigned char>& value = *given;
        if (column.type == kBoolean) {
            if (value.size() != 1 || value[0] > 1)
                throw Refused("Valor de sí/no impropio para " + where + ".");
            if (value[0])
                mask[column.number / 8] |= static_cast<unsigned char>(1u << (column.number % 8));
            continue;
        }
        mask[column.number / 8] |= static_cast<unsigned char>(1u << (column.number % 8));
        if (column.Fixed()) {
            if (value.size() != column.length)
                throw Refused("El valor de " + where + " tiene " + std::to_string(value.size()) +
                              " bytes, no " + std::to_string(column.length) + ".");
            std::copy(value.begin(), value.end(), row.begin() + 2 + column.fixedOffset);
            continue;
        }
        if (variable[column.varIndex])
            throw Refused("Dos columnas con el mismo lugar variable en " + TableName(def) + ".");
        variable[column.varIndex] = &column;
        if ((column.type == kText || column.type == kBinary) && value.size() > column.length)
            throw Refused("El valor de " + where + " es más largo que la columna.");
    }
    std::vector<std::uint16_t> offsets;
    for (const ColumnDef* column : variable) {
        offsets.push_back(static_cast<std::uint16_t>(row.size()));
        if (!column) continue;
        if (auto field = longFields.find(column->name); field != longFields.end()) {
            if (field->second.size() < kLongValueRefSize)
                throw Refused("Referencia de valor largo corta para «" + column->name + "».");
            row.insert(row.end(), field->second.begin(), field->second.end());
            continue;
        }
        auto found = values.find(column->name);
        if (found == values.end()) continue;
        const std::vector<unsigned char>& value = found->second;
        if (column->type == kMemo || column->type == kLongBinary) {
            // Kept inside the row: its length with the flag 0x80, eight bytes of zeros, the bytes.
            std::vector<unsigned char> ref(kLongValueRefSize, 0);
            PutU32(ref.data(), static_cast<std::uint32_t>(value.size()) |
                                   (static_cast<std::uint32_t>(kLongValueInline) << 24));
            row.insert(row.end(), ref.begin(), ref.end());
        }
        row.insert(row.end(), value.begin(), value.end());
    }
    offsets.push_back(static_cast<std::uint16_t>(row.size()));  // the end of the data
    for (auto offset = offsets.rbegin(); offset != offsets.rend(); ++offset) {
        row.push_back(static_cast<unsigned char>(*offset));
        row.push_back(static_cast<unsigned char>(*offset >> 8));
    }
    row.push_back(static_cast<unsigned char>(varCount));
    row.push_back(static_cast<unsigned char>(varCount >> 8));
    row.insert(row.end(), mask.begin(), mask.end());
    if (row.size() + 2 > kPageSize - kFirstSlot)
        throw Refused("La fila no cabe en una página de " + TableName(def) + ".");
    return row;
}

std::uint16_t AddRowToPage(PageFile& file, std::uint32_t pageNumber,
                           std::span<const unsigned char> row) {
    std::vector<RowSlot> slots = ReadRowSlots(file, pageNumber);
    std::uint16_t lowest = slots.empty() ? kPageSize : slots.back().start;
    std::uint16_t count = static_cast<std::uint16_t>(slots.size());
    if (count >= kMaxSlots || lowest < kFirstSlot + 2u * (count + 1u) + row.size())
        throw Refused("La página " + std::to_string(pageNumber) + " no tiene el lugar que dice.");
    auto start = static_cast<std::uint16_t>(lowest - row.size());
    std::span<unsigned char> page = file.MutablePage(pageNumber);
    std::copy(row.begin(), row.end(), page.begin() + start);
    PutU16(page.data() + kFirstSlot + 2u * count, start);
    PutU16(page.data() + kDataRowCount, count + 1u);
    PutU16(page.data() + 2, static_cast<std::uint32_t>(start - kFirstSlot - 2u * (count + 1u)));
    return count;
}

void DropRow(PageFile& file, PageRow where) {
    std::vector<RowSlot> slots = ReadRowSlots(file, where.page);
    const RowSlot dropped = slots.at(where.row);
    std::uint16_t length = static_cast<std::uint16_t>(dropped.end - dropped.start);
    std::uint16_t lowest = slots.back().start;
    std::span<unsigned char> page = file.MutablePage(where.page);
    std::memmove(page.data() + lowest + length, page.data() + lowest, dropped.start - lowest);
    std::fill(page.begin() + lowest, page.begin() + lowest + length, 0);
    for (std::size_t i = where.row; i < slots.size(); ++i) {
        std::uint32_t raw = U16(page.data() + kFirstSlot + 2u * i);
        std::uint32_t start = (raw & kRowOffsetMask) + length;
        raw = (raw & ~static_cast<std::uint32_t>(kRowOffsetMask)) | start;
        if (i == where.row) raw |= kRowDeleted | kRowOverflow;
        PutSlot(page, i, raw);
    }
    std::size_t slotsEnd = kFirstSlot + 2u * slots.size();
    std::size_t free = lowest + length - slotsEnd;
    page[2] = static_cast<unsigned char>(free);
    page[3] = static_cast<unsigned char>(free >> 8);
}

namespace {

bool LongColumn(const ColumnDef& column) {
    return column.type == kMemo || column.type == kLongBinary;
}

// The memo and long binary values given, taken out of `values`.
StoredValues TakeLongValues(const TableDef& def, StoredValues& values) {
    StoredValues taken;
    for (const ColumnDef& column : def.columns) {
        auto found = values.find(column.name);
        if (!LongColumn(column) || found == values.end()) continue;
        taken.insert(values.extract(found));
    }
    return taken;
}

// Fields as long as those WriteLongValue will give, for refusing a row before any page changes.
StoredValues PreviewFields(const StoredValues& longValues) {
    StoredValues fields;
    for (const auto& [name, value] : longValues) {
        std::vector<unsigned char> field(kLongValueRefSize, 0);
        if (value.size() <= kLongValueInlineLimit)
            field.insert(field.end(), value.begin(), value.end());
        fields[name] = std::move(field);
    }
    return fields;
}

// Writes the long values where they belong (inside the row or on long-value pages); their fields.
StoredValues PlaceLongValues(PageFile& file, const TableDef& def, const StoredValues& longValues) {
    StoredValues fields;
    for (const auto& [name, value] : longValues) {
        auto column = std::find_if(def.columns.begin(), def.columns.end(),
                                   [&](const ColumnDef& c) { return c.name == name; });
        fields[name] = WriteLongValue(file, def, *column, value);
    }
    return fields;
}

// The row on the first data page of the table with room for it and its slot, else on a new page
// joined to the table's maps.
PageRow PlaceRow(PageFile& file, const TableDef& def, const std::vector<unsigned char>& row) {
    PageRow usage = PageRow::From(def.usageMap);
    std::optional<std::uint32_t> target;
    for (std::uint32_t page : ReadUsageMap(file, usage).pages) {
        if (page >= file.PageCount()) break;
        std::span<const unsigned char> bytes = file.Page(page);
        if (bytes[0] != kDataPage) continue;
        DataPageHeader header = ReadDataPageHeader(bytes);
        if (header.owner == def.firstPage && header.rowCount < kMaxSlots &&
            header.freeSpace >= row.size() + 2) {
            target = page;
            break;
        }
    }
    if (!target) {
        target = AllocatePage(file);
        InitDataPage(file, *target, def.firstPage);
        SetMapped(file, usage, *target, true);
        SetMapped(file, PageRow::From(def.freeMap), *target, true);
    }
    return {*target, AddRowToPage(file, *target, row)};
}

// The live row at `where`: 3219 for a slot that holds none of the table, or a moved row.
std::span<const unsigned char> LiveRow(const PageFile& file, const TableDef& def, PageRow where) {
    auto refused = [&](const std::string& why) {
        return Refused("No se cambia la fila " + std::to_string(where.row) + " de la página " +
                       std::to_string(where.page) + ": " + why + ".");
    };
    if (!ReadUsageMap(file, PageRow::From(def.usageMap)).Contains(where.page) ||
        where.page >= file.PageCount() || file.Page(where.page)[0] != kDataPage ||
        ReadDataPageHeader(file.Page(where.page)).owner != def.firstPage)
        throw refused("la página no es de la tabla");
    std::vector<RowSlot> slots = ReadRowSlots(file, where.page);
    if (where.row >= slots.size() || slots[where.row].deleted) throw refused("no hay fila");
    if (slots[where.row].overflow) throw refused("la fila fue movida a otro lugar");
    return RowBytes(file, where);
}

void MarkDeleted(PageFile& file, PageRow where) {
    std::span<unsigned char> page = file.MutablePage(where.page);
    unsigned char* slot = page.data() + kFirstSlot + 2u * where.row;
    // Access marks a deleted row with both flags (a moved row's slot has 0x4000 alone, the
    // row it moved to 0x8000 alone); libmdb skips only rows with 0x4000.
    PutU16(slot, U16(slot) | kRowDeleted | kRowOverflow);
}

}  // namespace

PageRow InsertRow(PageFile& file, std::uint32_t table, const StoredValues& values) {
    return Whole(file, [&] {
        TableDef def = ReadTableDef(file, table);
        StoredValues rest = values;
        StoredValues longValues = TakeLongValues(def, rest);
        EncodeRow(def, rest, PreviewFields(longValues));  // refused before any page changes
        StoredValues fields = PlaceLongValues(file, def, longValues);
        PageRow where = PlaceRow(file, def, EncodeRow(def, rest, fields));
        AddToRowCount(file, def, 1, true);
        RebuildIndexes(file, table);
        return where;
    });
}

void DeleteRow(PageFile& file, std::uint32_t table, PageRow where) {
    Whole(file, [&] {
        TableDef def = ReadTableDef(file, table);
        RowValues values(file, def, LiveRow(file, def, where));
        for (const ColumnDef& column : def.columns)
            if (LongColumn(column))
                if (auto field = values.Value(column)) FreeLongValue(file, def, column, *field);
        MarkDeleted(file, where);
        AddToRowCount(file, def, -1, false);
        RebuildIndexes(file, table);
    });
}

PageRow UpdateRow(PageFile& file, std::uint32_t table, PageRow where,
                  const ChangedValues& changes) {
    return Whole(file, [&] {
        TableDef def = ReadTableDef(file, table);
        std::span<const unsigned char> old = LiveRow(file, def, where);
        RowValues values(file, def, old);
        StoredValues kept, keptFields;
        for (const auto& [name, value] : changes) {
            (void)value;
            if (std::none_of(def.columns.begin(), def.columns.end(),
                             [&](const ColumnDef& c) { return c.name == name; }))
                throw Refused("La columna «" + name + "» no está en " + TableName(def) + ".");
        }
        std::vector<std::pair<const ColumnDef*, std::vector<unsigned char>>> oldFields;
        for (const ColumnDef& column : def.columns) {
            std::optional<std::span<const unsigned char>> value = values.Value(column);
            bool changed = changes.count(column.name) != 0;
            if (!value) continue;
            if (column.type == kBoolean && (*value)[0] == 0) continue;
            std::vector<unsigned char> bytes(value->begin(), value->end());
            if (changed) {
                if (LongColumn(column)) oldFields.emplace_back(&column, std::move(bytes));
            } else {
                (LongColumn(column) ? keptFields : kept)[column.name] = std::move(bytes);
            }
        }
        for (const auto& [name, value] : changes)
            if (value) kept[name] = *value;
        StoredValues longValues = TakeLongValues(def, kept);
        StoredValues fields = PreviewFields(longValues);
        fields.insert(keptFields.begin(), keptFields.end());
        EncodeRow(def, kept, fields);  // refused before any page changes
        for (const auto& [column, field] : oldFields) FreeLongValue(file, def, *column, field);
        fields = PlaceLongValues(file, def, longValues);
        fields.insert(keptFields.begin(), keptFields.end());
        std::vector<unsigned char> row = EncodeRow(def, kept, fields);
        DropRow(file, where);
        PageRow placed = PlaceRow(file, def, row);
        RebuildIndexes(file, table);
        return placed;
    });
}

void RebuildIndexes(PageFile& file, std::uint32_t table) {
    Whole(file, [&] {
        TableDef def = ReadTableDef(file, table);
        for (std::size_t i = 0; i < def.realIndexes.size(); ++i) RebuildIndex(file, def, i);
    });
}

}  // namespace actualiz::engine::jet::write
