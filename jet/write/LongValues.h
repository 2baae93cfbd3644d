#pragma once

// Long values (memo, long binary) written out of their row, on long-value pages: data pages whose
// owner is "LVAL". As Access lays them out (the samples' MSysObjects.LvProp and LvExtra):
//
// - up to kLongValueInlineLimit bytes stay inside the row (flag 0x80): Access keeps values of up
//   to 52 bytes there and none from 65 bytes on;
// - a value that fits one row of a page is one row (flag 0x40) on a page of such rows, shared by
//   the column's values while it has room;
// - a longer one is a chain (flag 0x00): one row per page of its own, each the next piece's place
//   (page in the upper three bytes, row in the lowest; zero on the last) and up to 4072 bytes.
//
// The pages belong to the column's own usage map where the table keeps one for it (MSysObjects,
// MSysQueries), else to the table's map. Shared pages stay on the column's map of pages with room,
// chain pages never are (as in every sample). The reference's four bytes after the place, which
// Access fills with a number no reader uses, are written as zeros.

#include <cstdint>
#include <span>
#include <vector>

#include "jet/format/PageFile.h"
#include "jet/format/TableDef.h"

namespace actualiz::engine::jet::write {

inline constexpr std::size_t kLongValueInlineLimit = 64;

// Writes the value where Access would and gives the field for the row: the 12-byte reference,
// followed by the bytes themselves when they stay inside the row. 3219 for a column that is no
// memo or long binary, or a value over 16 MB (the reference's length has 24 bits).
std::vector<unsigned char> WriteLongValue(format::PageFile& file, const format::TableDef& def,
                                          const format::ColumnDef& column,
                                          std::span<const unsigned char> value);

// Gives back what a field of the column refers to: its rows are marked deleted (0xC000, as
// Access marks them) and their bytes taken out of their page (the rows below move up, keeping
// their numbers), and a page left without live rows leaves the column's maps and goes back to
// the free pages. Nothing for a value inside the row. 3343 when the chain cannot be read.
void FreeLongValue(format::PageFile& file, const format::TableDef& def,
                   const format::ColumnDef& column, std::span<const unsigned char> field);

}  // namespace actualiz::engine::jet::write
