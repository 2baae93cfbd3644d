#pragma once

// Pages for the writer, handed out and taken back through the file's usage maps: the free-page
// map (page 1, row 0: a page marked there is free, and so are the pages past the end of the file
// it marks) and the map of whoever owns a page (a table's rows, an index, a column's long values).
// Every change is made on the bytes in memory (a private copy of the file); nothing here writes to
// disk.

#include <cstdint>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::write {

// A page for new content, zero-filled and no longer marked free: the lowest page inside the file
// that the free-page map marks free, else a new page at the end (the file grows by one page).
// 3219 when the free-page map cannot reach the new page (a file grown past what its map covers).
std::uint32_t AllocatePage(format::PageFile& file);

// Marks a page free again. Its owner's map must no longer hold it (see SetMapped).
void FreePage(format::PageFile& file, std::uint32_t page);

// Marks or clears a page in a usage map (type 0, or type 1 through its bitmap pages). 3219 when
// the map cannot reach the page: a type 0 map holds a fixed stretch of pages from its first one,
// and a type 1 map only the stretches it has a bitmap page for.
void SetMapped(format::PageFile& file, format::PageRow map, std::uint32_t page, bool marked);

// Makes a page an empty data page of the table whose definition starts at `table`.
void InitDataPage(format::PageFile& file, std::uint32_t page, std::uint32_t table);

}  // namespace actualiz::engine::jet::write
