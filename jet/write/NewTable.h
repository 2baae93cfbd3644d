#pragma once

// A new empty table: its definition, the page holding its usage maps, and its row in MSysObjects,
// laid out as Access lays out a table it creates (the samples' own user tables).
//
// Written: the definition (columns in their order; continued on further pages when it
// does not fit one), a data page of no table holding the table's map of pages and its map of pages
// with room (type 0, from page 0) and, for each Memo and OLE column, the two maps of its long
// values, and the catalog row (Id the definition's page, under the "Tables" container, Type 1,
// Flags 0, the owner of the database's own row, the given dates). Each index gets a physical and a
// logical entry in the definition (the logical ones in the order of their names), a usage map
// on the table's maps page and an empty leaf as its root page, as the samples' empty tables show
// them. Not written: field and table properties (LvProp), permissions (MSysACEs).
//
// Refused, the bytes left as they were: a name already in use by a table, an empty name or one
// longer than 64 characters, no columns or more than 255, a column name twice, a column the
// writer cannot lay out (see ValidateColumn in TableDefWrite.h), more than one auto-number column,
// a name whose catalog key cannot be made; an index without a name or fields, with more than
// ten, naming a field the table does not have or twice, on a Memo or OLE field, with the name or
// the fields (and their order) of another index (Access then shares one physical index: not
// written), and a second primary key.

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

struct NewIndexField {
    std::u16string name;
    bool descending = false;
};

struct NewIndex {
    std::u16string name;
    std::vector<NewIndexField> fields;
    bool primary = false;  // Unique and Required too, as Access writes a primary key
    bool unique = false;
    bool ignoreNulls = false;
    bool required = false;
};

struct NewTable {
    std::u16string name;
    std::vector<NewColumn> columns;
    double created = 0;  // the catalog's dates: days since 1899-12-30
    std::vector<NewIndex> indexes{};
};

// The new table's definition page.
std::uint32_t CreateTable(format::PageFile& file, const NewTable& table);

}  // namespace actualiz::engine::jet::write
