#pragma once

// Translation of a record source, second phase: every name is decided. Tables and stored queries
// in FROM (a stored query becomes a subquery), aliases, fields (spelt as their table spells them,
// looked up in the tables the statement reads), parameters (bound, numbered ?1, ?2 ...) and the
// classic constants Yes/No/On/Off/True/False. A value given for an undeclared parameter that is
// compared with a date or number field is read as a date or number, as the classic engine
// converts a text operand compared with one.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/SqlTokens.h"
#include "engine/Types.h"

namespace actualiz::engine {
class Database;
class TableDef;
}  // namespace actualiz::engine

namespace actualiz::engine::detail::sql {

struct Declared {
    std::string name;
    std::string type;  // as the PARAMETERS line writes it ("DateTime", "Text ( 255 )")
};

// A table or stored query that the statement reads, where FROM or JOIN names it.
struct Source {
    std::string name;                 // as stored
    std::string alias;                // as written, or empty
    std::shared_ptr<TableDef> table;  // null for a stored query
    std::size_t token = 0;            // the token that names it
};

// Everything the translation of one record source shares, its stored queries included.
struct Context {
    Database& database;
    const std::vector<std::pair<std::string, Value>>& given;  // values the caller supplies
    std::vector<Declared> declared;                           // the statement's PARAMETERS
    std::vector<Declared> bound;  // the placeholders written so far: ?1 is bound[0] ...
    int depth = 0;                // stored queries inside stored queries
    std::vector<Source> sources;  // of this statement, its subqueries' included (Token::source)
};

void ResolveNames(std::vector<Token>& tokens, Context& cx);

// The SQLite text of a stored query used as a source (defined with the pipeline, SqlDialect.cpp).
std::string TranslateStoredQuery(const std::string& classicSql, Context& cx);

}  // namespace actualiz::engine::detail::sql
