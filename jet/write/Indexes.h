#pragma once

// Indexes added to and taken from a table that may hold rows.
//
// CreateIndex gives the table a physical index of its own (the entry laid out as a new table's,
// its usage map on the table's maps page, its root page) and a logical entry numbered as the
// physical one, as every index of the samples that no relation uses is numbered (libmdb relies
// on it: it pairs the n-th physical index with the logical entry numbered n); a relation's entry
// that held that number moves to the next free one, and the other table's entry that points at
// it follows. The index is then filled from the table's rows (RebuildIndexes).
//
// Refused, the bytes left as they were: a name the table already gives an index (3284), a second
// primary key (3283), no fields or more than ten, a field the table lacks (3265) or twice, a Memo
// or OLE field, the same fields in the same order and the same flags as another index (Access
// would share one physical index between the two, which libmdb cannot read), and rows that the
// index refuses: a key twice in a unique index or primary key (3022), a Null in a field of a
// primary key or Required index (3058), each naming the rows by their place in the table.
//
// DeleteIndex takes out the logical entry and, unless a relation's entry shares it, its physical
// index: its pages go back to the free pages, its usage map row is dropped, the physical and
// logical entries after it move down by one (and the other tables' relation entries that point
// at a logical one that moved follow). An index a relation uses is refused (3303), as is a name
// the table has no index of (3265).

#include <cstdint>
#include <string>

#include <vector>

#include "jet/format/PageFile.h"
#include "jet/format/TableDef.h"
#include "jet/write/NewTable.h"

namespace actualiz::engine::jet::write {

void CreateIndex(format::PageFile& file, std::uint32_t table, const NewIndex& index);

void DeleteIndex(format::PageFile& file, std::uint32_t table, const std::u16string& name);

// The steps, shared with the relations' entries (Relations.h). Each changes `def` in memory (the
// caller writes it) and may write other tables' definitions.
namespace entries {

// A new physical index of the keys and flags, empty, with its usage map and root page; its number.
std::uint32_t AddPhysicalIndex(format::PageFile& file, format::TableDef& def,
                               const std::vector<format::IndexKeyColumn>& keys, std::uint8_t flags);

// A logical number no entry of the table has, past the physical indexes' numbers too.
std::uint32_t NextLogicalNumber(const format::TableDef& def);

// Frees the number for a new entry: an entry holding it moves to NextLogicalNumber, and the
// relation entries that name it follow.
void ClaimLogicalNumber(format::PageFile& file, format::TableDef& def, std::uint32_t number);

// Takes out the logical entry numbered so, and its physical index unless another entry uses
// it; the entries after it move down by one, and the relation entries that name them follow.
void RemoveLogicalEntry(format::PageFile& file, format::TableDef& def, std::uint32_t number);

// The catalog's name of the table whose definition starts at the page.
std::string TableNameOf(const format::PageFile& file, std::uint32_t table);

// "la fila 3", "las filas 2 y 5": rows by their place among the table's live rows, from 0.
std::string RowsText(const std::vector<std::size_t>& rows);

}  // namespace entries

}  // namespace actualiz::engine::jet::write
