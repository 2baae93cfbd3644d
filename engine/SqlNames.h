#pragma once

// Translation of a record source, second phase: every name is decided. Tables and stored queries
// in FROM (a stored query becomes a subquery), aliases, fields (spelt as their table spells them,
// looked up in the tables the statement reads), parameters (bound, numbered ?1, ?2 ...) and the
// classic constants Yes/No/On/Off/True/False.

#include <string>
#include <utility>
#include <vector>

#include "engine/SqlTokens.h"
#include "engine/Types.h"

namespace actualiz::engine {
class Database;
}

namespace actualiz::engine::detail::sql {

struct Declared {
    std::string name;
    std::string type;  // as the PARAMETERS line writes it ("DateTime", "Text ( 255 )")
};

// Everything the translation of one record source shares, its stored queries included.
struct Context {
    Database& database;
    const std::vector<std::pair<std::string, Value>>& given;  // values the caller supplies
    std::vector<Declared> declared;                           // the statement's PARAMETERS
    std::vector<Declared> bound;  // the placeholders written so far: ?1 is bound[0] ...
    int depth = 0;                // stored queries inside stored queries
};

void ResolveNames(std::vector<Token>& tokens, Context& cx);

// The SQLite text of a stored query used as a source (defined with the pipeline, SqlDialect.cpp).
std::string TranslateStoredQuery(const std::string& classicSql, Context& cx);

}  // namespace actualiz::engine::detail::sql
