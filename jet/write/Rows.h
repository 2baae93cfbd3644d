#pragma once

// Rows written into and taken out of a table's data pages, on a private copy in memory, with the
// table's row count and every index of the table kept whole. A row is given as its columns'
// stored bytes by name (a column left out is Null); a Boolean is one byte, 0 or 1.
//
// What is refused (nothing changed when it is): a value of the wrong size for its fixed column,
// a text longer than its column, a long value over 16 MB, an
// auto-number column left Null, a table without variable-length columns, a row longer than a
// page, a key the index functions cannot make (a character whose sort weight is not known, a
// type whose key is not known: Decimal; Memo and OLE are not indexed), a repeated key in a unique
// index, and an index entry longer than a page. Each operation either completes or leaves the bytes
// as they were.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jet/format/PageFile.h"
#include "jet/format/TableDef.h"

namespace actualiz::engine::jet::write {

using StoredValues = std::map<std::string, std::vector<unsigned char>>;

// Stored bytes of the common kinds of values.
std::vector<unsigned char> LongBytes(std::int32_t value);
std::vector<unsigned char> IntegerBytes(std::int16_t value);
std::vector<unsigned char> DoubleBytes(double value);
std::vector<unsigned char> TextBytes(std::u16string_view text);  // two bytes per character

// The bytes of a row of the table: column count, fixed part, variable part, its offsets (the
// first column's last, after the end of the data), their count and the null mask.
// `longFields` gives memo and long binary columns as their whole stored field (the 12-byte
// reference, and the bytes when they are inside the row); a long value in `values` is kept inside
// the row.
std::vector<unsigned char> EncodeRow(const format::TableDef& def, const StoredValues& values,
                                     const StoredValues& longFields = {});

// Puts the row's bytes on the data page (below its lowest row, its slot after the last), with
// the page's row count and free space; the row's number. 3219 when the page has no room.
std::uint16_t AddRowToPage(format::PageFile& file, std::uint32_t page,
                           std::span<const unsigned char> row);

// Adds the row to the first data page of the table with room for it, else to a new page joined
// to the table's maps; counts it in the definition and rebuilds the table's indexes. Where it
// went. Memo and long binary values over 64 bytes go to long-value pages (see LongValues.h).
format::PageRow InsertRow(format::PageFile& file, std::uint32_t table, const StoredValues& values);

// Marks the row deleted as Access does (both flags of its slot, 0xC000; its bytes stay, as do their
// place and the page's free space, which Access-written pages show too), gives back its long
// values' pages (see LongValues.h), takes it
// from the definition's row count and rebuilds the table's indexes. 3219 for a slot that is no
// live row of the table, or one moved elsewhere.
void DeleteRow(format::PageFile& file, std::uint32_t table, format::PageRow where);

// Marks the row's slot deleted (0xC000, as Access marks them) and takes its bytes out of the
// page, as Access leaves most deleted rows (214 of the samples' 261 have no bytes): the rows below
// it move up by its length and keep their numbers, the page's free space grows by it.
void DropRow(format::PageFile& file, format::PageRow where);

// Columns changed by UpdateRow: the new stored bytes, or nullopt for Null.
using ChangedValues = std::map<std::string, std::optional<std::vector<unsigned char>>>;

// Rewrites a live row with some of its columns changed: the others keep their stored bytes (a
// long value its reference, its pages untouched); a changed long value's old pages are given back
// and the new value written as InsertRow writes it. The old row is dropped (DropRow) and written
// as a new one on the first page of the table with room (the row count stays; the indexes are
// rebuilt). Where it went.
// Refused as InsertRow and DeleteRow refuse.
format::PageRow UpdateRow(format::PageFile& file, std::uint32_t table, format::PageRow where,
                          const ChangedValues& changes);

// Writes every index of the table anew from its live rows, each as a tree on its root page (see
// IndexTree.h); the index's other pages are given back and new ones taken.
void RebuildIndexes(format::PageFile& file, std::uint32_t table);

}  // namespace actualiz::engine::jet::write
