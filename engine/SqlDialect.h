#pragma once

// Translation of the classic engine's SQL dialect, as the program and the stored queries write it
// ("Select * from indices where tabla = 'x'", "SELECT ... WHERE OrderDate Between #1/1/95# And
// #12/31/95#"), into SQLite. One pipeline, one phase a file: SqlTokens (cut the text),
// SqlNames (tables, stored queries, fields, parameters), SqlRewrite (literals, functions,
// operators), SqlOutput (the output columns' names, DISTINCTROW), and here the checks of the
// statement and the writing out. SqlCrosstab turns a crosstab into a grouped SELECT before the
// pipeline runs.

#include <sqlite3.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/Types.h"

namespace actualiz::engine {
class Database;
}

namespace actualiz::engine::detail {

// Values given for a query's parameters, by name (QueryDef.Parameters).
using ParameterValues = std::vector<std::pair<std::string, Value>>;

struct TranslatedSelect {
    // SQLite text of the statement.
    std::string sql;
    // When the statement reads plain columns of one table (no join, grouping, DISTINCT, union or
    // TOP), that table's name as stored, and the SQLite text with the row id as first column.
    std::string singleTable;
    std::string sqlWithRowId;
    // The placeholders ?1, ?2 ... in order: each parameter's name and declared type ("" when the
    // statement does not declare it).
    std::vector<std::pair<std::string, std::string>> parameters;
};

// Translates one SELECT statement or crosstab (TRANSFORM ... PIVOT, SqlCrosstab.h), with an
// optional PARAMETERS declaration before it. Refuses text that is no statement (3129), a statement
// other than these (3219), and anything after the statement's end (3142). Table, query and field
// names are matched with the engine's name equality and written as stored; stored queries used as a
// source become subqueries. A name that is no field becomes a parameter when it is declared or
// given.
TranslatedSelect TranslateSelect(std::string_view classicSql, Database& database,
                                 const ParameterValues& given = {});

// The value to bind to placeholder index (0-based): the given value, converted to the declared
// type. 3061 when no value is given.
Value ParameterValue(const TranslatedSelect& select, std::size_t index,
                     const ParameterValues& given);

// The names a statement declares in PARAMETERS, in order.
std::vector<std::string> DeclaredParameters(std::string_view classicSql);

// Registers on an SQLite connection the classic functions the dialect offers beyond SQLite's own,
// the classic Like and the text collation "classic_text" (ClassicFunctions.cpp).
void RegisterClassicFunctions(sqlite3* db);

}  // namespace actualiz::engine::detail
