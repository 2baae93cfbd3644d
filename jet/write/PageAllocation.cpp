#include "jet/write/PageAllocation.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "jet/format/DataPage.h"
#include "jet/format/UsageMap.h"
#include "jet/mdb/Bytes.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr std::size_t kInlineMapStart = 5;  // type, then the first page
constexpr std::size_t kBitmapPageStart = 4;
constexpr std::size_t kReferenceEntry = 4;
constexpr std::size_t kDataPageHeader = 14;
constexpr std::uint16_t kEmptyDataPageFree = kPageSize - 14;
// A type 0 map grows by whole words of bitmap: its rows in testV2000.mdb hold 92 and 96 bytes,
// each the fewest words that reach its last page (706 and 740; the free-page map 742).
constexpr std::uint32_t kPagesPerInlineWord = 32;

EngineError OutOfReach(const PageFile& file, PageRow map, std::uint32_t page) {
    return EngineError(err::kInvalidOperation,
                       "El mapa de uso de la página " + std::to_string(map.page) + ", fila " +
                           std::to_string(map.row) + " no alcanza la página " +
                           std::to_string(page) + " de " + file.File().string() + ".");
}

void SetBit(unsigned char& byte, unsigned bit, bool marked) {
    byte = static_cast<unsigned char>(marked ? byte | (1u << bit) : byte & ~(1u << bit));
}

bool IsFreePagesMap(PageRow map) {
    return map.page == kFreePagesMap.page && map.row == kFreePagesMap.row;
}

// Whether a map has a bit for the page.
bool Reaches(const PageFile& file, const UsageMap& map, std::uint32_t page) {
    if (map.type == 0)
        return page >= map.firstPage &&
               kInlineMapStart + (page - map.firstPage) / 8 < RowBytes(file, map.where).size();
    std::uint32_t stretch = page / UsageMap::kPagesPerBitmapPage;
    return stretch < map.bitmapPages.size() && map.bitmapPages[stretch] != 0;
}

// Lengthens a row of a data page by `extra` zero bytes at its end: the rows after it on the page
// move down, as Access moved the rows after the maps it lengthened (testV2000.mdb, pages 1 and
// 6). False, with nothing changed, when the page has no room for them.
bool LengthenRow(PageFile& file, PageRow where, std::size_t extra) {
    std::vector<RowSlot> slots = ReadRowSlots(file, where.page);
    const RowSlot grown = slots.at(where.row);
    const std::size_t lowest = slots.back().start;
    const std::size_t slotsEnd = kDataPageHeader + 2 * slots.size();
    if (lowest < slotsEnd + extra) return false;
    std::span<unsigned char> page = file.MutablePage(where.page);
    std::memmove(page.data() + lowest - extra, page.data() + lowest, grown.end - lowest);
    std::fill(page.begin() + static_cast<std::ptrdiff_t>(grown.end - extra),
              page.begin() + grown.end, 0);
    for (std::size_t i = where.row; i < slots.size(); ++i) {
        unsigned char* slot = page.data() + kDataPageHeader + 2 * i;
        std::uint32_t raw = U16(slot);
        PutU16(slot, (raw & ~static_cast<std::uint32_t>(kRowOffsetMask)) |
                         ((raw & kRowOffsetMask) - extra));
    }
    PutU16(page.data() + 2, lowest - extra - slotsEnd);
    return true;
}

// Lengthens a type 0 map's bitmap by whole words until it reaches the page; false, with nothing
// changed, when its page has no room for that.
bool LengthenInline(PageFile& file, const UsageMap& map, std::uint32_t page) {
    const std::size_t has = RowBytes(file, map.where).size() - kInlineMapStart;
    const std::size_t needs = ((page - map.firstPage) / kPagesPerInlineWord + 1) * 4;
    return needs <= has || LengthenRow(file, map.where, needs - has);
}

// A new page of type 0x05, its bitmap empty.
std::uint32_t NewBitmapPage(PageFile& file) {
    std::uint32_t number = AllocatePage(file);
    std::span<unsigned char> page = file.MutablePage(number);
    page[0] = kUsageBitmapPage;
    page[1] = 0x01;
    return number;
}

std::size_t ReferenceEntries(const PageFile& file, const UsageMap& map) {
    return (RowBytes(file, map.where).size() - 1) / kReferenceEntry;
}

}  // namespace

void MakeReferenceMap(PageFile& file, PageRow where) {
    const UsageMap map = ReadUsageMap(file, where);
    if (map.type == 1) return;
    std::set<std::uint32_t> stretches;
    for (std::uint32_t marked : map.pages) stretches.insert(marked / UsageMap::kPagesPerBitmapPage);
    const std::size_t entries = ReferenceEntries(file, map);
    if (!stretches.empty() && *stretches.rbegin() >= entries)
        throw OutOfReach(file, where, map.pages.back());
    std::vector<std::uint32_t> bitmapPages(entries, 0);
    for (std::uint32_t stretch : stretches) bitmapPages[stretch] = NewBitmapPage(file);
    std::span<unsigned char> row = file.Mutable(RowBytes(file, where));
    std::fill(row.begin(), row.end(), 0);
    row[0] = 1;
    for (std::size_t i = 0; i < entries; ++i)
        PutU32(row.data() + 1 + kReferenceEntry * i, bitmapPages[i]);
    for (std::uint32_t marked : map.pages) SetMapped(file, where, marked, true);
}

namespace {

// Makes a map reach a page of the file: a type 0 map grows inline while its page has room, as
// Access grows them, and otherwise becomes type 1; a type 1 map gets the 0x05 page of the
// page's stretch. The free-page map only grows inline.
void Extend(PageFile& file, const UsageMap& map, std::uint32_t page) {
    const bool freePages = IsFreePagesMap(map.where);
    if (!freePages && page >= file.PageCount()) throw OutOfReach(file, map.where, page);
    if (map.type == 0) {
        if (page >= map.firstPage && LengthenInline(file, map, page)) return;
        if (freePages) throw OutOfReach(file, map.where, page);
        MakeReferenceMap(file, map.where);
        if (Reaches(file, ReadUsageMap(file, map.where), page)) return;
    }
    const std::uint32_t stretch = page / UsageMap::kPagesPerBitmapPage;
    if (freePages || stretch >= ReferenceEntries(file, map))
        throw OutOfReach(file, map.where, page);
    const std::uint32_t bitmap = NewBitmapPage(file);
    std::span<unsigned char> row = file.Mutable(RowBytes(file, map.where));
    PutU32(row.data() + 1 + kReferenceEntry * stretch, bitmap);
}

}  // namespace

void SetMapped(PageFile& file, PageRow map, std::uint32_t page, bool marked) {
    UsageMap read = ReadUsageMap(file, map);
    if (!Reaches(file, read, page)) {
        if (!marked) return;  // a map marks nothing beyond its reach
        Extend(file, read, page);
        read = ReadUsageMap(file, map);
    }
    std::span<unsigned char> row = file.Mutable(RowBytes(file, map));
    if (read.type == 0) {
        std::uint32_t bit = page - read.firstPage;
        SetBit(row[kInlineMapStart + bit / 8], bit % 8, marked);
        return;
    }
    std::uint32_t bit = page % UsageMap::kPagesPerBitmapPage;
    std::span<unsigned char> bitmap =
        file.MutablePage(read.bitmapPages[page / UsageMap::kPagesPerBitmapPage]);
    SetBit(bitmap[kBitmapPageStart + bit / 8], bit % 8, marked);
}

void ReleaseMapPages(PageFile& file, PageRow map) {
    for (std::uint32_t page : ReadUsageMap(file, map).bitmapPages)
        if (page != 0) FreePage(file, page);
}

std::uint32_t AllocatePage(PageFile& file) {
    UsageMap free = ReadUsageMap(file, kFreePagesMap);
    auto reusable = std::find_if(free.pages.begin(), free.pages.end(), [&](std::uint32_t page) {
        return page > 1 && page < file.PageCount();
    });
    if (reusable != free.pages.end()) {
        std::uint32_t page = *reusable;
        SetMapped(file, kFreePagesMap, page, false);
        std::span<unsigned char> bytes = file.MutablePage(page);
        std::fill(bytes.begin(), bytes.end(), 0);
        return page;
    }
    // The map is lengthened before the file grows, so that a refusal leaves it as it was; the
    // pages its new words reach lie past the end of the file and are marked free, as Access marks
    // them (testV2000.mdb: 743 pages, its map reaching 768, pages 743 to 767 free).
    std::uint32_t page = file.PageCount();
    if (!Reaches(file, free, page)) {
        const std::size_t before = RowBytes(file, kFreePagesMap).size();
        if (free.type != 0 || page < free.firstPage || !LengthenInline(file, free, page))
            throw OutOfReach(file, kFreePagesMap, page);
        std::span<unsigned char> row = file.Mutable(RowBytes(file, kFreePagesMap));
        for (std::size_t bit = (before - kInlineMapStart) * 8;
             bit < (row.size() - kInlineMapStart) * 8; ++bit)
            if (free.firstPage + bit >= page) SetBit(row[kInlineMapStart + bit / 8], bit % 8, true);
    }
    file.AppendPage();
    SetMapped(file, kFreePagesMap, page, false);
    return page;
}

void FreePage(PageFile& file, std::uint32_t page) {
    if (page < 2 || page >= file.PageCount())
        throw EngineError(err::kInvalidOperation, "No se puede liberar la página " +
                                                      std::to_string(page) + " de " +
                                                      file.File().string() + ".");
    SetMapped(file, kFreePagesMap, page, true);
}

void InitDataPage(PageFile& file, std::uint32_t page, std::uint32_t table) {
    std::span<unsigned char> bytes = file.MutablePage(page);
    std::fill(bytes.begin(), bytes.end(), 0);
    bytes[0] = kDataPage;
    bytes[1] = 0x01;
    bytes[2] = static_cast<unsigned char>(kEmptyDataPageFree & 0xFF);
    bytes[3] = static_cast<unsigned char>(kEmptyDataPageFree >> 8);
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<unsigned char>(table >> (8 * i));
}

}  // namespace actualiz::engine::jet::write
