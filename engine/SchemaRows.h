#pragma once

// What the Schema*.cpp files share: the rows of the system tables that more than one kind of
// definition writes, and the checks every stored change of a table makes.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Database.h"
#include "engine/Sqlite.h"

namespace actualiz::engine::detail {

// A row of MSysObjects; its Id.
long long InsertObject(Connection& c, const std::string& name, int type);

// A row of MSysColumns with the properties every format has.
void InsertColumn(Connection& c, long long objectId, long long position, const std::string& name,
                  short type, long size, bool allowZeroLength, bool required);

std::shared_ptr<Field> FindField(const Collection<Field>& fields, std::string_view name);

// The connection of the database a stored user table is in, ready for a change of it: 3027 when
// the file may not be written, 3219 for the engine's own tables.
Connection& WritableTable(Database& database, const TableDef& table);

// Builds one index in the file (inside the caller's transaction); the table's own spelling of
// each of its fields.
std::vector<std::string> CreateIndexInFile(Connection& c, const TableDef& table, long long tableId,
                                           const Index& index);
// Marks an index and its fields stored, the fields named as the table spells them.
void MarkIndexStored(Index& index, const std::vector<std::string>& columns);

// Whether a relation pairs that field of that table.
bool RelationUsesField(const Relation& r, const std::string& table, const std::string& field);

}  // namespace actualiz::engine::detail
