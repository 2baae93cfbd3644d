#pragma once

// The way back from JetQuerySql: the MSysQueries rows that store a query whose SQL text is
// given, as the classic engine lays them out (a type row, a flags row, parameters, input tables,
// output columns, joins, criteria, grouping, ordering), so that a query can be written into a
// Jet file. The text is taken apart in the shape RebuildQuerySql writes it (clauses on lines of
// their own, CR LF between them, a final ";"), and the rows are accepted only when they rebuild
// to that very text: a query that would read differently is never written.

#include <string>
#include <string_view>
#include <vector>

#include "jet/JetQuerySql.h"

namespace actualiz::engine::jet {

struct QueryRowsResult {
    int type = 0;                // a QueryType, 0 when there are no rows
    std::vector<QueryRow> rows;  // without the first and last rows (attributes 0 and 255)
    std::string problem;         // why there are no rows (Spanish), empty when there are
};

// The rows of a Jet 4 query with that SQL text. A text in another layout (one line, other
// blanks between words) is taken as LaidOutSql lays it out; the file then keeps that layout.
QueryRowsResult QueryRowsFor(const std::string& sql);

// The text as the file keeps it: blanks outside literals made one, each clause on its line
// (CR LF before it), a final ";". A union is kept on one line.
std::string LaidOutSql(std::string_view sql);

// Whether two texts differ at most in blanks outside literals and names and a final ";": the
// same query for the engine, as the query catalog's one-line copy is of the file's text.
bool SameSqlUpToLayout(std::string_view a, std::string_view b);

}  // namespace actualiz::engine::jet
