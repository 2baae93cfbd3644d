#pragma once

// A crosstab, "TRANSFORM Sum(x) SELECT a FROM t GROUP BY a PIVOT b", opened as the classic engine
// shows it: one row per group, one column per value of b (in ascending order, or as its IN list
// gives them), each holding the aggregate over the rows of that value. The pivot values are read
// first; the crosstab then becomes an ordinary grouped SELECT in the classic dialect.

#include <string>
#include <vector>

#include "engine/SqlNames.h"
#include "engine/SqlTokens.h"

namespace actualiz::engine::detail::sql {

// The classic SELECT text that computes the crosstab whose tokens (from TRANSFORM on) are given.
// 3131 when it is not of the form TRANSFORM aggregate(...) SELECT ... PIVOT expression [IN (...)].
std::string CrosstabAsSelect(const std::vector<Token>& tokens, Context& cx);

// The classic text of tokens, as they were written (names bracketed, literals quoted).
std::string ClassicText(const std::vector<Token>& tokens, std::size_t from, std::size_t to);

}  // namespace actualiz::engine::detail::sql
