#pragma once

// Data pages (type 0x01): a header, then a table of row offsets growing down from the top while
// the rows grow up from the end of the page. The same layout holds long values ("LVAL" in place of
// the table's page) and the rows that carry usage maps.

#include <cstdint>
#include <span>
#include <vector>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::format {

struct DataPageHeader {
    std::uint16_t freeSpace = 0;
    std::uint32_t owner = 0;  // the table's definition page, or "LVAL" on a long-value page
    std::uint16_t rowCount = 0;
};

inline constexpr std::uint32_t kLongValueOwner = 0x4C41564C;  // "LVAL"
inline constexpr std::uint16_t kRowDeleted = 0x8000;
inline constexpr std::uint16_t kRowOverflow = 0x4000;  // the row holds where it was moved to
inline constexpr std::uint16_t kRowOffsetMask = 0x1FFF;

struct RowSlot {
    std::uint16_t start = 0;  // first byte of the row on the page
    std::uint16_t end = 0;    // one past its last byte
    bool deleted = false;
    bool overflow = false;
};

DataPageHeader ReadDataPageHeader(std::span<const unsigned char> page);

// Every slot of the offset table, in row order. 3343 (naming the page) when an offset points
// outside the page or rows overlap.
std::vector<RowSlot> ReadRowSlots(const PageFile& file, std::uint32_t pageNumber);

// One slot alone, checked as ReadRowSlots checks it against the slot before it (the others are
// not read). 3343 when the page has no such slot or it points outside the page.
RowSlot ReadRowSlot(const PageFile& file, PageRow where);

// The bytes of one row, wherever its slot says; deleted rows too (their bytes may be stale).
std::span<const unsigned char> RowBytes(const PageFile& file, PageRow where);

}  // namespace actualiz::engine::jet::format
