#pragma once

// The key an index entry holds for a row: for each key column a flag byte (0x7F ascending, 0x80
// descending; 0x00 or 0xFF for Null, with nothing after it), then the value's bytes made to sort
// as plain bytes (big-endian, sign bit flipped; negative floating values inverted whole; text by
// its sort-order key, Binary in blocks of eight bytes each followed by its length), all inverted
// for a descending column.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/format/TableDef.h"

namespace actualiz::engine::jet::format {

// The sortable bytes of one non-Null value, without the flag. nullopt for a type whose key is not
// known (the caller then checks order but not content). Text keys: TextKey (throws for a
// character whose key is not known).
std::optional<std::vector<unsigned char>> ValueKey(const ColumnDef& column,
                                                   std::span<const unsigned char> value);

// The whole key of an entry from the row's values of the index's columns, in key order. nullopt
// as ValueKey.
std::optional<std::vector<unsigned char>> EntryKey(
    const TableDef& def, const RealIndexDef& index,
    const std::vector<std::optional<std::span<const unsigned char>>>& values);

}  // namespace actualiz::engine::jet::format
