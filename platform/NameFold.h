#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace actualiz::platform {

// The one home of letter case for the whole program. Names and text are compared the way Windows
// and the classic engine compare them: without regard to letter case, for every letter Unicode
// knows ("Categoría" and "CATEGORÍA" are one name, and so are "ΑΘΗΝΑ" and "αθηνα"). The tables are
// ICU's. Text is UTF-8; bytes that are not valid UTF-8 are compared as they are.

// The case-folded form of a name (lower case), usable as a key for comparisons and sorting.
std::string FoldCase(std::string_view name);

// UCase and LCase: every letter mapped to its upper or lower case, one character for one.
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);

// The folded code points of a text, for matchers that walk it character by character (Like);
// bytes that are not valid UTF-8 come out as values above every code point.
std::vector<char32_t> FoldedCodePoints(std::string_view text);
// The same, unfolded (a binary comparison).
std::vector<char32_t> CodePoints(std::string_view text);

// Characters, not bytes, of UTF-8 text; and the byte offset of the character at index chars (the
// size when the text is shorter).
std::size_t CharacterCount(std::string_view text);
std::size_t CharacterOffset(std::string_view text, std::size_t chars);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Orders names case-insensitively; names that fold to the same text are ordered by their bytes so
// the order never depends on how the host listed them. Returns <0, 0 or >0.
int CompareIgnoringCase(std::string_view a, std::string_view b);

// Windows wildcard match: "*" any run of characters (also none), "?" exactly one character, every
// other character compared without regard to case. "*.*" matches every name, dot or no dot, as it
// always has on Windows.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace actualiz::platform
