#pragma once

#include <string>
#include <string_view>

namespace actualiz::platform {

// File names are compared the way Windows compares them: without regard to letter case, for plain
// ASCII letters and for the accented letters of Latin-1 ("Categoría" and "CATEGORÍA" are one
// name). Names are UTF-8; bytes that are not valid UTF-8 are compared as they are.

// The case-folded form of a name (lower case), usable as a key for comparisons and sorting.
std::string FoldCase(std::string_view name);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Orders names case-insensitively; names that fold to the same text are ordered by their bytes so
// the order never depends on how the host listed them. Returns <0, 0 or >0.
int CompareIgnoringCase(std::string_view a, std::string_view b);

// Windows wildcard match: "*" any run of characters (also none), "?" exactly one character, every
// other character compared without regard to case. "*.*" matches every name, dot or no dot, as it
// always has on Windows.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace actualiz::platform
