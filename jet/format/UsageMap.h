#pragma once

// Usage maps: which pages belong to a table, an index or a column's long values, and (page 1, row
// 0) which pages of the file are free. A map is a row: type 0 holds a first page and a bitmap
// inline; type 1 lists pages of type 0x05, each a bitmap of its own stretch of the file.

#include <cstdint>
#include <vector>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::format {

inline constexpr PageRow kFreePagesMap{1, 0};  // the file's map of free pages

struct UsageMap {
    PageRow where;
    int type = 0;
    std::uint32_t firstPage = 0;             // type 0: the page of the first bit
    std::vector<std::uint32_t> bitmapPages;  // type 1: the 0x05 pages, 0 where none
    std::vector<std::uint32_t> pages;        // the pages marked, ascending
    // Pages a type 1 map can mark with each of its bitmap pages.
    static constexpr std::uint32_t kPagesPerBitmapPage = (kPageSize - 4) * 8;

    bool Contains(std::uint32_t page) const;
};

// 3343 when the row is missing or its type is neither 0 nor 1.
UsageMap ReadUsageMap(const PageFile& file, PageRow where);

}  // namespace actualiz::engine::jet::format
