#pragma once

// What a Jet file's structure must gain or lose to become what its stand-in now is: the
// differences between the structure the file was read as and the stand-in's (engine/SchemaCompare)
// turned into changes the writer makes one by one on a copy of the file's pages.
//
// The writer does not make every change yet. WhatCannotBeWritten says which of a list it cannot
// make, so that the whole list is refused before anything is written; Apply refuses the same ones
// (3219, naming the change) should one reach it.

#include <string>
#include <vector>

#include "engine/SchemaCompare.h"
#include "jet/format/PageFile.h"
#include "jet/write/NewTable.h"
#include "jet/write/Relations.h"

namespace actualiz::engine::jet::write {

struct Change {
    enum class Kind {
        CreateTable,     // newTable
        AppendColumn,    // table, column
        DeleteColumn,    // table, field
        SetProperty,     // table, field ("" for the table's own), property, value
        RemoveProperty,  // table, field, property
        CreateQuery,     // table: the query's name, value: its SQL
        DeleteQuery,     // table: the query's name
        CreateIndex,     // table, index (on a table that may hold rows)
        DeleteIndex,     // table, field (the index's name)
        CreateRelation,  // relation
        DeleteRelation,  // relation (its name)
        Other,           // anything else the structures differ in: what says it
    };
    Kind kind = Kind::Other;
    std::string table;     // UTF-8, as the stand-in spells it
    std::string field;     // UTF-8
    std::string property;  // "Required", "AllowZeroLength", "DefaultValue", "ValidationRule", ...
    std::string value;     // as text; Booleans "True" or "False"
    NewTable newTable;
    NewColumn column;
    NewIndex index;
    NewRelation relation;
    std::string what;  // the change in Spanish, as an error names it
};

// The changes that make the file's structure (`asRead`'s side of each difference, the `old` one)
// into the stand-in's (the `model` side), in the order they are to be made: a new table before
// its fields' properties, fields in the table's order; indexes of tables that were there taken
// out before anything else (a field they use may go) and added after everything else (a field
// they use may come); relations out before the indexes, in after them. An enforced relation's
// entry on its foreign table reads as an index named like the relation: that index comes and
// goes with the relation (created, a plain index of that name becomes the relation's entry;
// removed while the stand-in keeps the index, a plain index of that name is left).
std::vector<Change> ChangesFor(const std::vector<SchemaDifference>& differences);

// The changes of the list that this writer cannot make; empty when it can make them all.
std::vector<const Change*> WhatCannotBeWritten(const std::vector<Change>& changes);

// Makes the change on the pages in memory. 3219 for a change the writer cannot make; the
// writer's own refusals as they come (each leaves the bytes as they were).
void Apply(format::PageFile& file, const Change& change);

// The catalog's definition page of a local table, by name (letter case aside); 3265 when the file
// has no such table.
std::uint32_t TablePage(const format::PageFile& file, const std::string& table);

}  // namespace actualiz::engine::jet::write
