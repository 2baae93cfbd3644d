#pragma once

// Index pages: leaves (type 0x04) hold one entry per row, intermediate pages (type 0x03) one entry
// per child page, equal to that child's last entry plus the child's number. Entries are packed
// from offset 0x1E0; a bitmap from 0x1B marks where each one after the first starts (and where the
// last one ends). Every entry after the first leaves out the bytes it shares with the first (the
// page's prefix length). An entry is its key, then the row's page (3 bytes) and row (1 byte), both
// most significant first, then, on intermediate pages, the child page (4 bytes, likewise).

#include <cstdint>
#include <span>
#include <vector>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::format {

inline constexpr std::size_t kIndexBitmapStart = 0x1B;
inline constexpr std::size_t kIndexEntriesStart = 0x1E0;
// The free space of a leaf that holds no entry.
inline constexpr std::uint16_t kEmptyLeafFree = kPageSize - kIndexEntriesStart;

struct IndexEntry {
    std::vector<unsigned char> bytes;  // the whole entry, its shared prefix put back
    std::uint16_t start = 0;           // where its stored (unshared) bytes begin on the page
    PageRow row;
    std::uint32_t child = 0;  // intermediate pages only

    // The key: what is compared, without the row and child pointers.
    std::span<const unsigned char> Key(bool intermediate) const {
        return std::span<const unsigned char>(bytes).first(bytes.size() - (intermediate ? 8 : 4));
    }
};

struct IndexPage {
    std::uint32_t number = 0;
    std::uint8_t type = 0;
    std::uint16_t freeSpace = 0;
    std::uint32_t table = 0;  // the table's definition page
    std::uint32_t previous = 0;
    std::uint32_t next = 0;
    std::uint32_t tail = 0;  // the last leaf, added after the tree above it was last written
    std::uint16_t prefixLength = 0;
    std::vector<IndexEntry> entries;

    bool Intermediate() const { return type == kIntermediateIndexPage; }
    // Bytes the entries take from kIndexEntriesStart, as the bitmap says.
    std::size_t used = 0;
};

// 3343 (naming the page) when it is no index page or an entry does not fit its pointers.
IndexPage ReadIndexPage(const PageFile& file, std::uint32_t number);

}  // namespace actualiz::engine::jet::format
