#pragma once

// The query catalog: one row per stored query of the model database, its SQL text on one line,
// so that the queries can be re-created in the old database. Reached only through the data
// control Data5 and its bound text boxes campocon(0) and campocon(1); its view is always the
// whole table.

#include <string>
#include <string_view>

namespace actualiz::catalogs {

inline constexpr const char* kQueryCatalogPath = "C:\\ActMirto\\consulta.mdb";
inline constexpr const char* kQueryTable = "consulta";

inline constexpr const char* kQueryNameField = "nombrecon";  // campocon(0): the query's name
inline constexpr const char* kQuerySqlField = "consulta";    // campocon(1): its SQL on one line

// The SQL text on one line: every carriage return and every line feed becomes one space (a CR LF
// pair becomes two); nothing else changes.
std::string OneLineSql(std::string_view sql);

}  // namespace actualiz::catalogs
