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
// that the free-page map marks free, else a new page at the end (the file grows by one page; a
// free-page map of type 0 that does not reach it grows inline first). 3219 when the free-page map
// cannot reach the new page: one of type 1 without the 0x05 page of its stretch, or one of type 0
// whose page has no room left to grow it (a file of some 32 000 pages).
std::uint32_t AllocatePage(format::PageFile& file);

// Marks a page free again. Its owner's map must no longer hold it (see SetMapped).
void FreePage(format::PageFile& file, std::uint32_t page);

// Marks or clears a page in a usage map (type 0, or type 1 through its bitmap pages). A page past
// the map's reach is marked by making the map reach it: a type 0 map grows inline by whole words
// while its page has room (as Access grows them), else it becomes a type 1 map in the same row
// (its 0x05 pages taken through AllocatePage); a type 1 map gets the 0x05 page of the page's
// stretch. Clearing a page the map does not reach changes nothing. 3219 for a page past the end
// of the file, or past the stretches a type 1 row has room for (some 2 GB for a 69-byte row).
void SetMapped(format::PageFile& file, format::PageRow map, std::uint32_t page, bool marked);

// Rewrites a type 0 map as type 1 in the same row (nothing for one of type 1): its type, then the
// numbers of 0x05 pages, one for each stretch of the file where it marks a page (0 for the
// others), each holding the bits of its stretch from its fifth byte; the row keeps its length,
// so a 69-byte row holds 17 of them. The layout is the format notes' (no sample has such a map)
// and what libmdb and mdb-reader read.
void MakeReferenceMap(format::PageFile& file, format::PageRow map);

// Gives the 0x05 pages of a type 1 map back to the free pages, before its row is dropped.
void ReleaseMapPages(format::PageFile& file, format::PageRow map);

// Makes a page an empty data page of the table whose definition starts at `table`.
void InitDataPage(format::PageFile& file, std::uint32_t page, std::uint32_t table);

}  // namespace actualiz::engine::jet::write
