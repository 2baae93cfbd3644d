#pragma once

// Fields appended to and deleted from a table that may hold rows, as Access does it: only the
// definition changes. Rows are not rewritten: a row written before an append has fewer columns
// than the definition, and a column numbered at or past a row's column count reads as Null (a
// Boolean as False). A deleted column leaves its number, its place in the rows' fixed part or
// variable offsets and its bytes in every row; the definition keeps counting it (its column and
// variable counts do not go down), as `delColTestV2000.mdb` shows.
//
// Each operation either completes or leaves the bytes as they were.

#include <cstdint>
#include <string_view>

#include "jet/format/PageFile.h"
#include "jet/write/NewTable.h"

namespace actualiz::engine::jet::write {

// Appends the column to the definition at `tablePage`: the next number (deleted ones counted),
// the next variable place or the end of the fixed part, and for Memo and OLE the two maps of its
// long values. Refused: a table that is no user table (3219), a name the table has (3191, case
// aside), a column the writer cannot lay out (ValidateColumn), a counter where the table already
// has one or holds rows (old rows would hold no number: Access numbers them, this writer does not
// rewrite rows), a table whose column numbers have reached 255, a first variable-length column on
// a table that holds rows (whether such rows carry an empty table of variable offsets no sample
// shows).
void AppendColumn(format::PageFile& file, std::uint32_t tablePage, const NewColumn& column);

// Takes the column out of the definition at `tablePage` (and the maps of its long values; their
// pages stay until the file is compacted, as Access leaves them). Refused: no such column (3265),
// a column an index uses (3280: the indexes go first), one a row of MSysRelationships names on
// either side (3303: the relations go first), the table's last column (3219), a table
// that is no user table (3219).
void DeleteColumn(format::PageFile& file, std::uint32_t tablePage, std::u16string_view name);

}  // namespace actualiz::engine::jet::write
