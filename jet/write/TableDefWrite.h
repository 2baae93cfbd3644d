#pragma once

// A table definition written back to its pages: the run of bytes EncodeTableDef gives is laid over
// the definition's own pages, continued on pages from the allocation when it grows, and the pages
// it no longer needs are given back. Each page gets the header Access writes: type 0x02, 0x01, its
// free space (4096 − the bytes it holds − 8, never below 0, as on every definition page of the
// samples, the continued one of `testV2000.mdb` included) and the next page (0 on the last).
//
// Also the column entries of the types the writer knows, shared by new tables and appended
// columns, so that there is one way of writing a definition.

#include <cstdint>

#include "jet/format/PageFile.h"
#include "jet/format/TableDef.h"
#include "jet/write/NewTable.h"

namespace actualiz::engine::jet::write {

// 3027 for a file of another version than Jet 4 (Jet 3 files, with their 2048-byte pages, and the
// later formats are only read).
void RequireJet4(const format::PageFile& file);

// Writes the definition over def.pages (def.firstPage first) and sets def.pages and def.length to
// what was written. Bytes past the new end that the old definition held are zeroed; others are
// left as they were (Access leaves old bytes there too).
void WriteTableDef(format::PageFile& file, format::TableDef& def);

// Refuses (3219, 3001 for a name whose sort key is not known, 3259 for a type not written) a
// column the writer cannot lay out: the name's length, the type, a text or binary size, a
// counter on a type other than Long and GUID, a Decimal's precision and scale.
void ValidateColumn(const NewColumn& column, const std::string& where);

// The entry of a new column numbered `number`: `varIndex` is its place among the variable-length
// columns (for a fixed one, the count of variable columns before it) and `fixedOffset` its place
// in a row's fixed part (ignored for a variable column and a Boolean).
format::ColumnDef NewColumnDef(const NewColumn& column, std::uint16_t number,
                               std::uint16_t varIndex, std::uint16_t fixedOffset);

// A row's fixed part that holds the column's value: 0 for variable-length columns and Booleans.
std::uint16_t FixedLength(std::uint8_t type);

// A new usage map (type 0 with 64 bytes of bitmap from `firstPage`, as Access writes a new table's
// maps) as a row of a page of no table: on `near` when it is such a page with room, else on a new
// page.
format::PageRow AddUsageMapRow(format::PageFile& file, std::uint32_t near,
                               std::uint32_t firstPage = 0);

// The pages such a map reaches from its first page.
inline constexpr std::uint32_t kNewUsageMapPages = 64 * 8;

}  // namespace actualiz::engine::jet::write
