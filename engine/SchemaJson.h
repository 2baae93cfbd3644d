#pragma once

#include <memory>
#include <string_view>

#include <nlohmann/json.hpp>

#include "engine/Database.h"

namespace actualiz::engine {

// The structure of a database as one JSON document, the form that `actualiz-cli schema --json`
// prints and `actualiz-cli create --from` reads:
//
//   {"tables":[{"name":"proveedores",
//               "fields":[{"name":"codigoproveedor","type":4,"size":4,
//                          "allowZeroLength":false,"required":false}],
//               "indexes":[{"name":"PrimaryKey","fields":["codigoproveedor"],
//                           "unique":true,"primary":true}],
//               "rows":[[1]]}],
//    "relations":[{"name":"codigo","table":"proveedores","foreignTable":"gastosgen",
//                  "attributes":2,
//                  "fields":[{"name":"codigoproveedor","foreignName":"codigoproveedor"}]}],
//    "queries":[{"name":"q","sql":"SELECT * FROM proveedores"}]}
//
// Everything is listed in collection order. When reading, "size", "allowZeroLength", "required",
// "unique", "primary", "ignoreNulls", "rows", "relations" and "queries" may be left out, and an
// index field may be written {"name":"fecha","descending":true}. Binary values are written
// {"binary":"<hex>"}. Properties are written only when they differ from the engine's default:
// a field's "attributes" (17 for a counter), "defaultValue", "validationRule", "validationText";
// a table's "validationRule", "validationText"; an index's "ignoreNulls" and "required".
// DescribeDatabase is ToJson(ReadSchema(...)) of SchemaModelJson.h, with the rows when asked.
struct DescribeOptions {
    bool includeSystem = false;  // also the MSys tables
    bool includeRows = false;    // each table's rows, in field order
};
nlohmann::json DescribeDatabase(Database& db, DescribeOptions options = {});

// Creates a new database at path (3204 when a file is there) and builds in it what the document
// describes: tables with their fields, their rows, then their indexes, then relations and queries.
// A failure removes the half-built file, so the caller never finds a partial database.
std::shared_ptr<Database> BuildDatabase(std::string_view path, const nlohmann::json& document);

// The pieces BuildDatabase is made of, for importers that build a database in their own order.
// AppendTable stores one table document's table and fields (not its rows or indexes), and
// AppendIndexes its indexes; WriteRows writes the "rows" of every table of a "tables" array in
// one transaction (all or none); AppendRelation and AppendQuery store one relation or query
// document.
void AppendTable(Database& db, const nlohmann::json& table);
void AppendIndexes(Database& db, const nlohmann::json& table);
void WriteRows(Database& db, const nlohmann::json& tables);
void AppendRelation(Database& db, const nlohmann::json& relation);
void AppendQuery(Database& db, const nlohmann::json& query);
// Closes a database whose building failed and removes its file (the one SQLite opened, however
// the path was written), so no partial database is left behind.
void DiscardHalfBuilt(Database& db);

// Sets a field's properties (all but name, type and size) from its document.
void SetFieldProperties(Field& field, const nlohmann::json& document);

// JSON <-> field values.
nlohmann::json ValueToJson(const Value& value);
Value ValueFromJson(const nlohmann::json& value);

}  // namespace actualiz::engine
