#pragma once

// A new empty table: its definition page, the page holding its two usage maps, and its row in
// MSysObjects, laid out as Access lays out a table it creates (the samples' own user tables).
//
// Written: one definition page (columns in their order, no index), a data page of no table
// holding the table's map of pages and its map of pages with room (type 0, from page 0), and the
// catalog row (Id the definition's page, under the "Tables" container, Type 1, Flags 0, the
// owner of the database's own row, the given dates). Not written: field and table properties
// (LvProp), permissions (MSysACEs), indexes.
//
// Refused, the bytes left as they were: a name already in use by a table, an empty name or one
// longer than 64 characters, no columns or more than 255, a column name twice, a column type other
// than Boolean, Byte, Integer, Long, Currency, Double, Date/Time and Text (the types of a table the
// samples show Access creating), a text size outside 1..255, a definition longer than one page, a
// name whose catalog key cannot be made.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::write {

struct NewColumn {
    std::u16string name;
    std::uint8_t type = 0;  // format::ColumnType
    int textLength = 0;     // characters, Text only
};

struct NewTable {
    std::u16string name;
    std::vector<NewColumn> columns;
    double created = 0;  // the catalog's dates: days since 1899-12-30
};

// The new table's definition page.
std::uint32_t CreateTable(format::PageFile& file, const NewTable& table);

}  // namespace actualiz::engine::jet::write
