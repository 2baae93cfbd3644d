#include "jet/write/LongValues.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <string>

#include "engine/EngineError.h"
#include "jet/JetText.h"
#include "jet/format/DataPage.h"
#include "jet/format/UsageMap.h"
#include "jet/mdb/Bytes.h"
#include "jet/read/RowReader.h"
#include "jet/write/PageAllocation.h"
#include "jet/write/Rows.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr std::size_t kReferenceSize = 12;
constexpr std::size_t kPageHeader = 14;
constexpr std::size_t kSlotSize = 2;
constexpr std::size_t kLinkSize = 4;
// A chain's row fills its page but for four bytes, as every chain page of the samples.
constexpr std::size_t kChainRow = kPageSize - kPageHeader - kSlotSize - 4;
constexpr std::size_t kChainPiece = kChainRow - kLinkSize;
constexpr std::size_t kSingleRowLimit = kPageSize - kPageHeader - kSlotSize;
constexpr std::uint32_t kMaxLength = 0x00FFFFFF;
constexpr std::uint16_t kMaxSlots = 255;

struct Maps {
    PageRow usage;
    std::optional<PageRow> withRoom;  // only where the column has maps of its own
};

Maps ColumnMaps(const TableDef& def, const ColumnDef& column) {
    for (const LongValueMaps& maps : def.longValueMaps)
        if (maps.column == column.number)
            return {
                PageRow::From(maps.usageMap),
                maps.freeMap ? std::optional<PageRow>(PageRow::From(maps.freeMap)) : std::nullopt};
    return {PageRow::From(def.usageMap), std::nullopt};
}

bool LongValuePage(const PageFile& file, std::uint32_t page) {
    if (page >= file.PageCount()) return false;
    std::span<const unsigned char> bytes = file.Page(page);
    return bytes[0] == kDataPage && ReadDataPageHeader(bytes).owner == kLongValueOwner;
}

std::uint32_t NewLongValuePage(PageFile& file, const Maps& maps, bool shared) {
    std::uint32_t page = AllocatePage(file);
    InitDataPage(file, page, kLongValueOwner);
    SetMapped(file, maps.usage, page, true);
    if (shared && maps.withRoom) SetMapped(file, *maps.withRoom, page, true);
    return page;
}

std::vector<unsigned char> Reference(std::uint32_t length, std::uint8_t kind, PageRow first) {
    std::vector<unsigned char> field(kReferenceSize, 0);
    std::uint32_t head = length | (static_cast<std::uint32_t>(kind) << 24);
    std::uint32_t packed = first.Packed();
    for (int i = 0; i < 4; ++i) {
        field[i] = static_cast<unsigned char>(head >> (8 * i));
        field[4 + i] = static_cast<unsigned char>(packed >> (8 * i));
    }
    return field;
}

EngineError Refused(const ColumnDef& column, const std::string& why) {
    return EngineError(err::kInvalidOperation,
                       "No se escribe el valor largo de «" + column.name + "»: " + why + ".");
}

}  // namespace

std::vector<unsigned char> WriteLongValue(PageFile& file, const TableDef& def,
                                          const ColumnDef& column,
                                          std::span<const unsigned char> value) {
    if (column.type != kMemo && column.type != kLongBinary)
        throw Refused(column, "la columna no es de memo ni de binario largo");
    if (value.size() > kMaxLength) throw Refused(column, "pasa de 16 MB");
    auto length = static_cast<std::uint32_t>(value.size());
    if (value.size() <= kLongValueInlineLimit) {
        std::vector<unsigned char> field = Reference(length, kLongValueInline, {});
        field.insert(field.end(), value.begin(), value.end());
        return field;
    }
    Maps maps = ColumnMaps(def, column);
    if (value.size() <= kSingleRowLimit) {
        std::optional<std::uint32_t> target;
        UsageMap candidates = ReadUsageMap(file, maps.withRoom ? *maps.withRoom : maps.usage);
        UsageMap owned = ReadUsageMap(file, maps.usage);
        for (std::uint32_t page : candidates.pages) {
            if (!owned.Contains(page) || !LongValuePage(file, page)) continue;
            DataPageHeader header = ReadDataPageHeader(file.Page(page));
            if (header.rowCount < kMaxSlots && header.freeSpace >= value.size() + kSlotSize) {
                target = page;
                break;
            }
        }
        if (!target) target = NewLongValuePage(file, maps, true);
        std::uint16_t row = AddRowToPage(file, *target, value);
        return Reference(length, kLongValueSingle, {*target, row});
    }
    std::vector<std::uint32_t> pages;
    for (std::size_t at = 0; at < value.size(); at += kChainPiece)
        pages.push_back(NewLongValuePage(file, maps, false));
    for (std::size_t i = 0; i < pages.size(); ++i) {
        std::size_t start = i * kChainPiece;
        std::size_t size = std::min(kChainPiece, value.size() - start);
        std::vector<unsigned char> row(kLinkSize, 0);
        if (i + 1 < pages.size()) {
            std::uint32_t next = PageRow{pages[i + 1], 0}.Packed();
            for (int b = 0; b < 4; ++b) row[b] = static_cast<unsigned char>(next >> (8 * b));
        }
        row.insert(row.end(), value.begin() + static_cast<std::ptrdiff_t>(start),
                   value.begin() + static_cast<std::ptrdiff_t>(start + size));
        AddRowToPage(file, pages[i], row);
    }
    return Reference(length, kLongValueChain, {pages.front(), 0});
}

void FreeLongValue(PageFile& file, const TableDef& def, const ColumnDef& column,
                   std::span<const unsigned char> field) {
    if (column.type != kMemo && column.type != kLongBinary) return;
    if (field.size() < kReferenceSize)
        throw Unreadable(file.File(), "valor largo de «" + column.name + "»: referencia corta");
    LongValueRef ref = ReadLongValueRef(field);
    if (ref.kind & kLongValueInline) return;
    ReadLongValue(file, field);  // the whole chain is sound before anything changes
    Maps maps = ColumnMaps(def, column);
    UsageMap owned = ReadUsageMap(file, maps.usage);
    std::vector<PageRow> rows{ref.first};
    if (ref.kind == kLongValueChain) {
        for (PageRow where = ref.first;;) {
            std::span<const unsigned char> row = RowBytes(file, where);
            PageRow next = PageRow::From(U32(row.data()));
            if (next.page == 0) break;
            rows.push_back(next);
            where = next;
        }
    }
    for (PageRow where : rows)
        if (!owned.Contains(where.page))
            throw EngineError(err::kInvalidOperation,
                              "El valor largo de «" + column.name + "» está en la página " +
                                  std::to_string(where.page) + ", que no es de su columna.");
    for (PageRow where : rows) DropRow(file, where);
    std::set<std::uint32_t> pages;
    for (PageRow where : rows) pages.insert(where.page);
    for (std::uint32_t page : pages) {
        std::vector<RowSlot> slots = ReadRowSlots(file, page);
        if (std::any_of(slots.begin(), slots.end(), [](const RowSlot& s) { return !s.deleted; }))
            continue;
        SetMapped(file, maps.usage, page, false);
        if (maps.withRoom && ReadUsageMap(file, *maps.withRoom).Contains(page))
            SetMapped(file, *maps.withRoom, page, false);
        FreePage(file, page);
    }
}

}  // namespace actualiz::engine::jet::write
