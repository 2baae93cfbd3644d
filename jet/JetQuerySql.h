#pragma once

// A Jet file keeps no SQL text for most saved queries: MSysQueries holds each query as rows of
// parts (its type, output columns, input tables, joins, criteria, grouping, ordering ...), from
// which the classic engine writes the SQL text it shows. This rebuilds that text.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace actualiz::engine::jet {

// One MSysQueries row of a query, in the order the file stores them.
struct QueryRow {
    int attribute = 0;
    std::string name1;
    std::string name2;
    std::string expression;
    std::optional<long> flag;
};

// The query types the file records (the Flag of the type row, attribute 1).
enum QueryType : int {
    kSelectQuery = 1,
    kMakeTableQuery = 2,
    kAppendQuery = 3,
    kUpdateQuery = 4,
    kDeleteQuery = 5,
    kCrosstabQuery = 6,
    kDataDefinitionQuery = 7,
    kPassThroughQuery = 8,
    kUnionQuery = 9
};

struct RebuiltQuery {
    int type = 0;                         // a QueryType, 0 when the rows name none
    std::string sql;                      // empty when the rows could not be read
    std::vector<std::string> notCarried;  // what the SQL text cannot hold (Spanish, one per line)
};

// Rebuilds the SQL text of one query from its rows. jet3 chooses the older spelling of text
// parameters ("Text" rather than "Text ( 255 )").
RebuiltQuery RebuildQuerySql(const std::vector<QueryRow>& rows, bool jet3);

// A table, alias or parameter name as Jet SQL writes it: bare when it is a plain identifier,
// [bracketed] otherwise (blanks, symbols, a leading digit, a reserved word).
std::string SqlName(std::string_view name);

}  // namespace actualiz::engine::jet
