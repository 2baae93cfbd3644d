#pragma once

// How a text field takes part in a unique index. The classic engine refuses "CATEGORÍA" beside
// "Categoría" in a unique index; SQLite's NOCASE folds ASCII letters only. The key of a text field
// in a unique index is therefore the field folded by built-in SQL functions (lower() after the
// accented capitals are replaced by their small letters), so the file stays readable and writable
// by any SQLite program and still keeps the classic rule. docs/file-format.md gives the trade-off.

#include <string>

namespace actualiz::engine {
class Field;
}

namespace actualiz::engine::detail {

// The term that stands for field in CREATE INDEX: the quoted name, or for a text field of a unique
// index the folded expression.
std::string IndexKeyTerm(const Field& field, bool unique);

}  // namespace actualiz::engine::detail
