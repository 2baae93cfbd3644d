#include "jet/read/RowReader.h"

#include <set>

#include "jet/JetText.h"
#include "jet/format/DataPage.h"
#include "jet/mdb/Bytes.h"

namespace actualiz::engine::jet::format {

namespace {

constexpr std::size_t kLongValueRefSize = 12;

}  // namespace

std::vector<StoredRow> TableRows(const PageFile& file, const TableDef& def) {
    return TableRows(file, def, ReadUsageMap(file, PageRow::From(def.usageMap)));
}

std::vector<StoredRow> TableRows(const PageFile& file, const TableDef& def, const UsageMap& pages) {
    std::vector<StoredRow> rows;
    ForEachTableRow(file, def, pages, [&](const StoredRow& row) { rows.push_back(row); });
    return rows;
}

namespace {

// The row of a slot: on its page, or where a moved row's slot points.
std::span<const unsigned char> LiveRowBytes(const PageFile& file, std::uint32_t page,
                                            std::span<const unsigned char> bytes,
                                            const RowSlot& slot) {
    std::span<const unsigned char> row = bytes.subspan(slot.start, slot.end - slot.start);
    if (!slot.overflow) return row;
    if (row.size() < 4)
        throw Unreadable(file.File(),
                         "fila movida sin destino en la página " + std::to_string(page));
    return RowBytes(file, PageRow::From(U32(row.data())));
}

}  // namespace

void ForEachTableRow(const PageFile& file, const TableDef& def, const UsageMap& pages,
                     const std::function<void(const StoredRow&)>& row,
                     const std::function<void(std::uint32_t, std::size_t)>& page) {
    for (std::uint32_t number : pages.pages) {
        if (number >= file.PageCount()) break;
        std::span<const unsigned char> bytes = file.Page(number);
        if (bytes[0] != kDataPage || ReadDataPageHeader(bytes).owner != def.firstPage) continue;
        std::vector<RowSlot> slots = ReadRowSlots(file, number);
        if (page) page(number, slots.size());
        for (std::uint32_t i = 0; i < slots.size(); ++i) {
            if (slots[i].deleted) continue;
            row({{number, i}, LiveRowBytes(file, number, bytes, slots[i])});
        }
    }
}

std::optional<StoredRow> TableRowAt(const PageFile& file, PageRow where) {
    const RowSlot slot = ReadRowSlot(file, where);
    if (slot.deleted) return std::nullopt;
    return StoredRow{where, LiveRowBytes(file, where.page, file.Page(where.page), slot)};
}

RowValues::RowValues(const PageFile& file, const TableDef& def, std::span<const unsigned char> row)
    : row_(row) {
    auto damaged = [&] { return Unreadable(file.File(), "fila dañada"); };
    if (row.size() < 2) throw damaged();
    columnCount_ = static_cast<std::uint16_t>(U16(row.data()));
    std::size_t maskSize = (columnCount_ + 7u) / 8u;
    if (maskSize > row.size() - 2) throw damaged();
    nullMask_ = row.subspan(row.size() - maskSize);
    if (def.varColumns == 0) return;
    std::size_t countAt = row.size() - maskSize - 2;
    if (countAt < 2) throw damaged();
    std::size_t varCount = U16(row.data() + countAt);
    if (2 * (varCount + 1) > countAt) throw damaged();
    for (std::size_t i = 0; i <= varCount; ++i) {
        std::uint32_t offset = U16(row.data() + countAt - 2 * (i + 1));
        if (offset > countAt) throw damaged();
        varStarts_.push_back(static_cast<std::uint16_t>(offset));
    }
}

std::optional<std::span<const unsigned char>> RowValues::Value(const ColumnDef& column) const {
    bool present = column.number < columnCount_ &&
                   (nullMask_[column.number / 8] & (1u << (column.number % 8))) != 0;
    if (column.type == kBoolean) {
        static const unsigned char values[] = {kFalse, kTrue};
        return std::span<const unsigned char>(values + (present ? 1 : 0), 1);
    }
    if (!present) return std::nullopt;
    if (column.Fixed()) {
        std::size_t start = 2u + column.fixedOffset;
        if (start + column.length > row_.size()) return std::nullopt;
        return row_.subspan(start, column.length);
    }
    if (column.varIndex + 1u >= varStarts_.size()) return std::nullopt;
    std::uint16_t start = varStarts_[column.varIndex];
    std::uint16_t end = varStarts_[column.varIndex + 1u];
    if (end < start) return std::nullopt;
    return row_.subspan(start, end - start);
}

LongValueRef ReadLongValueRef(std::span<const unsigned char> field) {
    LongValueRef ref;
    if (field.size() < kLongValueRefSize) return ref;
    std::uint32_t head = U32(field.data());
    ref.length = head & 0x00FFFFFFu;
    ref.kind = static_cast<std::uint8_t>(head >> 24);
    ref.first = PageRow::From(U32(field.data() + 4));
    return ref;
}

LongValue ReadLongValue(const PageFile& file, std::span<const unsigned char> field) {
    auto damaged = [&](const std::string& why) {
        return Unreadable(file.File(), "valor largo: " + why);
    };
    if (field.size() < kLongValueRefSize) throw damaged("referencia corta");
    LongValueRef ref = ReadLongValueRef(field);
    LongValue value;
    if (ref.kind & kLongValueInline) {
        if (field.size() - kLongValueRefSize < ref.length) throw damaged("más corto que su largo");
        value.bytes.assign(field.begin() + kLongValueRefSize,
                           field.begin() + kLongValueRefSize + ref.length);
        return value;
    }
    auto longValueRow = [&](PageRow where) {
        std::span<const unsigned char> page = file.Page(where.page);
        if (page[0] != kDataPage || ReadDataPageHeader(page).owner != kLongValueOwner)
            throw damaged("la página " + std::to_string(where.page) + " no es de valores largos");
        value.pages.push_back(where.page);
        return RowBytes(file, where);
    };
    if (ref.kind & kLongValueSingle) {
        std::span<const unsigned char> row = longValueRow(ref.first);
        if (row.size() < ref.length) throw damaged("más corto que su largo");
        value.bytes.assign(row.begin(), row.begin() + ref.length);
        return value;
    }
    if (ref.kind != kLongValueChain) throw damaged("tipo desconocido");
    std::set<std::uint32_t> seen;
    for (PageRow where = ref.first; where.page != 0;) {
        if (!seen.insert(where.Packed()).second) throw damaged("la cadena vuelve sobre sí");
        std::span<const unsigned char> row = longValueRow(where);
        if (row.size() < 4) throw damaged("eslabón corto");
        value.bytes.insert(value.bytes.end(), row.begin() + 4, row.end());
        where = PageRow::From(U32(row.data()));
        if (value.bytes.size() > ref.length) break;
    }
    if (value.bytes.size() != ref.length)
        throw damaged("la cadena tiene " + std::to_string(value.bytes.size()) + " bytes, no " +
                      std::to_string(ref.length));
    return value;
}

}  // namespace actualiz::engine::jet::format
