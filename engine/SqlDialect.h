#pragma once

// Translation of the classic engine's SQL dialect, as the program writes its record sources
// ("Select * from indices where tabla = 'x'", "Select * from [Detalles de pedidos]"), into SQLite.

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace actualiz::engine {
class Database;
}

namespace actualiz::engine::detail {

struct TranslatedSelect {
    // SQLite text of the statement.
    std::string sql;
    // When the statement reads plain columns of one table (no join, grouping, DISTINCT, union or
    // TOP), that table's name as stored, and the SQLite text with the row id as first column.
    std::string singleTable;
    std::string sqlWithRowId;
};

// Translates one SELECT statement. Refuses text that is no statement (3129), a statement other
// than SELECT (3219), and anything after the statement's end (3142). Table, query and field names
// are matched with the engine's name equality and written as stored; stored queries used as a
// source become subqueries.
TranslatedSelect TranslateSelect(std::string_view classicSql, Database& database);

// Registers on an SQLite connection the classic functions the dialect offers beyond SQLite's own
// (IIf, Nz, UCase, LCase, Len, Mid, Left, Right).
void RegisterClassicFunctions(sqlite3* db);

}  // namespace actualiz::engine::detail
