#pragma once

// A new empty table: its definition, the page holding its usage maps, and its row in MSysObjects,
// laid out as Access lays out a table it creates (the samples' own user tables).
//
// Written: the definition (columns in their order, no index; continued on further pages when it
// does not fit one), a data page of no table holding the table's map of pages and its map of pages
// with room (type 0, from page 0) and, for each Memo and OLE column, the two maps of its long
// values, and the catalog row (Id the definition's page, under the "Tables" container, Type 1,
// Flags 0, the owner of the database's own row, the given dates). Not written: field and table
// properties (LvProp), permissions (MSysACEs), indexes.
//
// Refused, the bytes left as they were: a name already in use by a table, an empty name or one
// longer than 64 characters, no columns or more than 255, a column name twice, a column the
// writer cannot lay out (see ValidateColumn in TableDefWrite.h), more than one auto-number column,
// a name whose catalog key cannot be made.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::write {

struct NewColumn {
    std::u16string name;
    std::uint8_t type = 0;    // format::ColumnType
    int textLength = 0;       // characters for Text, bytes for Binary
    bool autoNumber = false;  // a counter (Long) or a generated GUID
    int precision = 0;        // Decimal only
    int scale = 0;            // Decimal only
};

struct NewTable {
    std::u16string name;
    std::vector<NewColumn> columns;
    double created = 0;  // the catalog's dates: days since 1899-12-30
};

// The new table's definition page.
std::uint32_t CreateTable(format::PageFile& file, const NewTable& table);

}  // namespace actualiz::engine::jet::write
