#pragma once

// The pieces of the SQL text of a saved query: its MSysQueries rows sorted out by kind, and each
// clause written as the classic engine writes it. JetQuerySql.cpp puts them together by the
// query's type.

#include <string>
#include <string_view>
#include <vector>

#include "jet/JetQuerySql.h"

namespace actualiz::engine::jet {

// Attributes of MSysQueries rows.
enum Attribute : int {
    kStart = 0,
    kType = 1,
    kParameter = 2,
    kFlags = 3,
    kRemoteDatabase = 4,
    kInputTable = 5,
    kColumn = 6,
    kJoin = 7,
    kWhere = 8,
    kGroupBy = 9,
    kHaving = 10,
    kOrderBy = 11,
    kEnd = 255
};

// Bits of the flags row (attribute 3).
enum SelectFlag : long {
    kAllFields = 0x01,    // SELECT * (for a union: the parts joined with UNION ALL)
    kDistinct = 0x02,     // DISTINCT (for a union: plain UNION)
    kOwnerAccess = 0x04,  // WITH OWNERACCESS OPTION
    kDistinctRow = 0x08,  // DISTINCTROW
    kTop = 0x10,          // TOP n
    kPercent = 0x20       // TOP n PERCENT
};

// Flags of a crosstab's columns and grouping rows.
enum CrosstabPart : long { kValue = 0, kPivot = 1, kRowHeading = 2 };

inline constexpr const char* kNewLine = "\r\n";

// The rows of one query sorted out by attribute, each kind in the file's order.
struct Parts {
    const QueryRow* type = nullptr;
    const QueryRow* flags = nullptr;
    const QueryRow* remote = nullptr;
    std::vector<const QueryRow*> parameters, tables, columns, joins, where, groupBy, having,
        orderBy;
    std::vector<int> unknown;
};

Parts SortedParts(const std::vector<QueryRow>& rows);

// The Flag of a row; 0 without one.
long FlagOf(const QueryRow* row);

std::string Joined(const std::vector<std::string>& parts, std::string_view separator);
std::string TrimRight(std::string text);

// The FROM clause (without the keyword); joins it cannot write are reported in notCarried.
std::string FromClause(const Parts& p, std::vector<std::string>& notCarried);

// "expression AS name"
std::string ColumnText(const QueryRow* c);

// "DISTINCT TOP 10 PERCENT " and the like.
std::string Predicate(const Parts& p);

// The output columns, "*" first when the flags say so or nothing else is there.
std::string SelectList(const Parts& p, const std::vector<const QueryRow*>& columns);

// FROM, WHERE, GROUP BY, HAVING and ORDER BY lines, as far as the query has them.
void TailClauses(const Parts& p, std::vector<std::string>& lines,
                 const std::vector<const QueryRow*>& groupBy, std::vector<std::string>& notCarried,
                 bool withFrom = true);

// The lines as one statement, with WITH OWNERACCESS OPTION when flagged and the final ";".
std::string Finish(std::vector<std::string> lines, const Parts& p);

// "PARAMETERS [a] Long, [b] Text ( 255 );"
std::string ParametersLine(const Parts& p, bool jet3);

// The table a make-table or append query writes to, with its database when another one.
std::string TargetTable(const Parts& p);

}  // namespace actualiz::engine::jet
