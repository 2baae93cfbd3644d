#pragma once

// The structure model written as the structure document (the form SchemaJson.h describes).

#include <nlohmann/json.hpp>

#include "engine/SchemaModel.h"

namespace actualiz::engine {

// The properties a field or an index has beyond the engine's defaults are named; the others are
// left out. A table carries its fields and indexes, not its rows.
nlohmann::json ToJson(const FieldSchema& field);
nlohmann::json ToJson(const IndexSchema& index);
nlohmann::json ToJson(const TableSchema& table);
nlohmann::json ToJson(const RelationSchema& relation);
nlohmann::json ToJson(const QuerySchema& query);
nlohmann::json ToJson(const DatabaseSchema& schema);

}  // namespace actualiz::engine
