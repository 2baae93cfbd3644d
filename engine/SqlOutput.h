#pragma once

// Translation of a record source, last phase: the output columns of each SELECT (the statement's,
// each part of a union, each subquery's), once names and expressions are SQLite text.
//
// Names. A column is named as the classic engine names it: its alias; else the field's bare name
// ("IdCliente", never the "IdCliente:1" SQLite makes of a field read through a parenthesised
// join); "Tabla.Campo" when two columns would share a field's name; "Expr1000", "Expr1001" ...
// (1000 plus the column's position) for an expression. "*" and "q.*" over tables are written out
// field by field, so that their columns are named the same way.
//
// DISTINCTROW. One row for each distinct combination of the rows of the tables whose fields the
// statement shows: the rows are grouped by those tables' primary keys (by every field of a table
// without one). It changes nothing when the shown fields come from every table, when the
// statement groups or aggregates, or when a shown source is a stored query.

#include <vector>

#include "engine/SqlNames.h"
#include "engine/SqlTokens.h"

namespace actualiz::engine::detail::sql {

// statement: the tokens begin with the statement's SELECT (not a parenthesised one), whose
// columns are shaped too; its subqueries' always are.
void ShapeOutput(std::vector<Token>& tokens, const Context& cx, bool statement);

}  // namespace actualiz::engine::detail::sql
