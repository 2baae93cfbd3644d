#pragma once

// Relations between two tables, as Access stores them (indexTestV2003.mdb's Table2Table1 and
// Table3Table1 show every part):
//
//  - one row of MSysRelationships per pair of fields: szRelationship, grbit (the attributes),
//    ccolumn (the pairs), icolumn (the pair's place, from 0), szObject and szColumn (the foreign
//    table and its field), szReferencedObject and szReferencedColumn (the primary table's);
//  - its row in MSysObjects: Type 8, under the "Relationships" container, the next of the ids
//    with the high bit set, the owner of the database's own row, Flags 0; and its permission
//    rows (MSysACEs): each entry the container hands down (but the one with the rights 0xF00FE),
//    and 0xF00FE for the SID whose container entry is not handed down;
//  - when the relation is enforced (no dbRelationDontEnforce), an entry in both tables'
//    definitions, type 2, each naming the other table's page and the other entry's number, with
//    the cascade flags (byte 21 updates, 22 deletes): on the foreign table named like the
//    relation, using a physical index over its fields (one already there over the same fields in
//    the same order, else a new one, filled from the rows); on the primary table a hidden one
//    (".rB", ".rC"... the first free name), using the unique index over the primary fields.
//
// Refused, the bytes left as they were: a name already used by a relation (3012), a table or
// field the file lacks (3265), no fields (3366), fields of different types (3368), a field named
// twice, attributes other than dbRelationUnique, dbRelationDontEnforce, cascade updates and
// deletes and the join kinds (3219); for an enforced relation, cascades without enforcement, a
// relation of a table with itself, a primary table with no unique index over the primary fields
// in their order (3219, naming it), and foreign rows whose fields (all of them not Null) match no
// row of the primary table (3201, naming the rows).
//
// DeleteRelation takes out all of it: the rows (3265 when there are none), the catalog row and
// its permissions, and both definitions' entries with the physical index of the foreign side's
// when nothing else uses it (see RemoveLogicalEntry).

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::write {

struct NewRelation {
    std::u16string name;
    std::u16string table;         // the primary table
    std::u16string foreignTable;  // the one whose rows point at the primary table's
    std::int32_t attributes = 0;  // dbRelation... bits, as MSysRelationships keeps them
    std::vector<std::pair<std::u16string, std::u16string>> fields;  // primary, foreign
    double created = 0;  // the catalog's dates: days since 1899-12-30
};

void CreateRelation(format::PageFile& file, const NewRelation& relation);

void DeleteRelation(format::PageFile& file, const std::u16string& name);

}  // namespace actualiz::engine::jet::write
