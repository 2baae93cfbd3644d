#include "jet/write/PageAllocation.h"

#include <algorithm>
#include <string>

#include "engine/EngineError.h"
#include "jet/format/DataPage.h"
#include "jet/format/UsageMap.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr std::size_t kInlineMapStart = 5;  // type, then the first page
constexpr std::size_t kBitmapPageStart = 4;
constexpr std::uint16_t kEmptyDataPageFree = kPageSize - 14;

EngineError OutOfReach(const PageFile& file, PageRow map, std::uint32_t page) {
    return EngineError(err::kInvalidOperation,
                       "El mapa de uso de la página " + std::to_string(map.page) + ", fila " +
                           std::to_string(map.row) + " no alcanza la página " +
                           std::to_string(page) + " de " + file.File().string() + ".");
}

void SetBit(unsigned char& byte, unsigned bit, bool marked) {
    byte = static_cast<unsigned char>(marked ? byte | (1u << bit) : byte & ~(1u << bit));
}

}  // namespace

void SetMapped(PageFile& file, PageRow map, std::uint32_t page, bool marked) {
    UsageMap read = ReadUsageMap(file, map);
    std::span<unsigned char> row = file.Mutable(RowBytes(file, map));
    if (read.type == 0) {
        if (page < read.firstPage) throw OutOfReach(file, map, page);
        std::uint32_t bit = page - read.firstPage;
        if (kInlineMapStart + bit / 8 >= row.size()) throw OutOfReach(file, map, page);
        SetBit(row[kInlineMapStart + bit / 8], bit % 8, marked);
        return;
    }
    std::uint32_t stretch = page / UsageMap::kPagesPerBitmapPage;
    if (stretch >= read.bitmapPages.size() || read.bitmapPages[stretch] == 0)
        throw OutOfReach(file, map, page);
    std::uint32_t bit = page % UsageMap::kPagesPerBitmapPage;
    std::span<unsigned char> bitmap = file.MutablePage(read.bitmapPages[stretch]);
    SetBit(bitmap[kBitmapPageStart + bit / 8], bit % 8, marked);
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
    // The reach is checked before the file grows, so that a refusal leaves it as it was.
    std::uint32_t page = file.PageCount();
    bool reaches;
    if (free.type == 0) {
        reaches = page >= free.firstPage && kInlineMapStart + (page - free.firstPage) / 8 <
                                                RowBytes(file, kFreePagesMap).size();
    } else {
        std::uint32_t stretch = page / UsageMap::kPagesPerBitmapPage;
        reaches = stretch < free.bitmapPages.size() && free.bitmapPages[stretch] != 0;
    }
    if (!reaches) throw OutOfReach(file, kFreePagesMap, page);
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
