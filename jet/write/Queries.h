#pragma once

// Saved queries created in and taken out of a Jet 4 file, as Access stores them.
//
// A query is a row of MSysObjects (Type 5, under the "Tables" container, its Id NextObjectId, the
// owner of the
// database's own row, Flags by its kind: 0 select, 16 crosstab, 32 delete, 48 update, 64 append,
// 80 make-table, 96 data definition, 128 union) and its rows in MSysQueries: a first row
// (attribute 0, Flag 0), the rows QueryRowsFor makes of its SQL, each with its place among the
// rows of its attribute as a 4-byte big-endian Order, and a last row (attribute 255); and the
// permission rows of a new table (AddObjectPermissions). Not written: the designer's layout
// (LvExtra) and the properties Access keeps of a query it saved from its designer (LvProp):
// both are Access's own and it makes them again when the query is opened in the designer.
//
// Refused (3219, the bytes as they were): a name that is empty, longer than 64 characters or
// already a table's or query's, a text QueryRowsFor cannot store so that it reads the same
// (the reason and the name in the error), and what InsertRow refuses. DeleteQuery takes out the
// MSysObjects row, every MSysQueries row and the permission rows of the query; 3265 when the file
// has no query of that name.

#include <cstdint>
#include <string>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::write {

// The Id of a new query or relation: the next above every document Id (those from 0x80000000 on)
// that the file names anywhere: MSysObjects, the ObjectId of MSysQueries and MSysACEs, and the
// navigation pane's MSysNavPaneObjectIDs and MSysNavPaneGroupToObjects, which keep the rows of a
// deleted object. A deleted object's Id that nothing names any more may come back; one that rows
// still name never does, so that a new object never takes up a gone one's rows. 3219 when no Id
// is left.
std::uint32_t NextObjectId(const format::PageFile& file);

// The query's Id.
std::int32_t CreateQuery(format::PageFile& file, const std::string& name, const std::string& sql,
                         double created);

void DeleteQuery(format::PageFile& file, const std::string& name);

}  // namespace actualiz::engine::jet::write
