#pragma once

// The key an index entry holds for a row: for each key column a flag byte (0x7F ascending, 0x80
// descending; 0x00 or 0xFF for Null, with nothing after it), then the value's bytes made to sort
// as plain bytes: integers and Currency big-endian with the sign bit flipped; Single, Double and
// dates likewise when positive, inverted whole when negative; Byte as it is; Boolean 0x00 for
// Yes, 0xFF for No; text by its sort-order key; Binary in blocks of eight bytes, each followed by
// how many of them are the value's (9 when more follow), a GUID as the sixteen bytes of its
// written form. A descending column has them inverted (not the 9 between binary blocks; a text
// key then gets a 0x00 more).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jet/format/TableDef.h"

namespace actualiz::engine::jet::format {

// The sortable bytes of one non-Null value, without the flag, ascending. nullopt for Memo, OLE
// and Decimal, and for a value of the wrong size (the checker then checks order but not content;
// the writer refuses with NoKeyReason). Text keys: TextKey (throws for a
// character whose key is not known).
std::optional<std::vector<unsigned char>> ValueKey(const ColumnDef& column,
                                                   std::span<const unsigned char> value);

// Why ValueKey gives no key for the column's values, for a refusal: Memo and OLE are not
// indexed; no sample shows a Decimal key.
std::string NoKeyReason(const ColumnDef& column);

// The whole key of an entry from the row's values of the index's columns, in key order. nullopt
// as ValueKey.
std::optional<std::vector<unsigned char>> EntryKey(
    const TableDef& def, const RealIndexDef& index,
    const std::vector<std::optional<std::span<const unsigned char>>>& values);

}  // namespace actualiz::engine::jet::format
