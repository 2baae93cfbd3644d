#pragma once

// What the file itself holds now, read inside a change's write transaction. A connection's
// collections are what the file held when it last read them; another connection (another run,
// another program) may have changed the file since. Every definition change looks up what it
// changes here, by name, under the write lock, so that it never acts on a stale Id: Ids of the
// system tables are reused once their rows are gone.

#include <optional>
#include <string>

#include "engine/Sqlite.h"

namespace actualiz::engine::detail {

// The Id of a stored table of that exact name; 3265 when the file has none any more.
long long StoredTableId(Connection& c, const std::string& table);

// Whether a table or stored query of that name is in the file.
bool StoredObjectExists(Connection& c, const std::string& name);

// Whether the table of that Id has a field of that name.
bool StoredColumnExists(Connection& c, long long tableId, const std::string& field);

// The stored index of that name on the table of that Id.
struct StoredIndexRow {
    long long id = 0;
    std::string sqlName;
};
std::optional<StoredIndexRow> FindStoredIndex(Connection& c, long long tableId,
                                              const std::string& index);

// Whether a relation of that name is in the file.
bool StoredRelationExists(Connection& c, const std::string& name);

}  // namespace actualiz::engine::detail
