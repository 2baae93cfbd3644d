#pragma once

// Translation of a record source, third phase: what is not a name becomes SQLite. Literals
// (#dates# in the engine's stored form), the classic functions (registered on every connection,
// ClassicFunctions.h), "&" with its Null rule, Mod, "!", TOP, and DISTINCTROW taken out (SqlOutput
// gives it its meaning).

#include <string>
#include <vector>

#include "engine/SqlTokens.h"

namespace actualiz::engine::detail::sql {

// Returns the row limit of a TOP n ("" when none).
std::string Rewrite(std::vector<Token>& tokens);

}  // namespace actualiz::engine::detail::sql
