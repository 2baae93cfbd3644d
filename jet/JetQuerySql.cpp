#include "jet/JetQuerySql.h"

#include <cctype>

#include "jet/JetQueryParts.h"

namespace actualiz::engine::jet {

namespace {

// Each statement kind adds its lines to those already there (the PARAMETERS line) and sets the
// result's SQL text, or notes why there is none.

void SelectSql(const Parts& p, std::vector<std::string> lines, RebuiltQuery& result) {
    std::string select = "SELECT " + Predicate(p) + SelectList(p, p.columns);
    if (result.type == kMakeTableQuery) select += " INTO " + TargetTable(p);
    lines.push_back(select);
    TailClauses(p, lines, p.groupBy, result.notCarried);
    result.sql = Finish(lines, p);
}

void AppendSql(const Parts& p, std::vector<std::string> lines, RebuiltQuery& result) {
    std::vector<std::string> targets;
    bool named = false;
    for (const QueryRow* c : p.columns) {
        targets.push_back(c->name2);
        if (!c->name2.empty()) named = true;
    }
    std::string insert = "INSERT INTO " + TargetTable(p);
    if (named) insert += " ( " + Joined(targets, ", ") + " )";
    lines.push_back(insert);
    std::vector<std::string> values;
    for (const QueryRow* c : p.columns) values.push_back(ColumnText(c));
    std::string select = "SELECT " + Predicate(p);
    if (FlagOf(p.flags) & kAllFields) values.insert(values.begin(), "*");
    select += values.empty() ? "*" : Joined(values, ", ");
    lines.push_back(select);
    TailClauses(p, lines, p.groupBy, result.notCarried);
    result.sql = Finish(lines, p);
}

void UpdateSql(const Parts& p, std::vector<std::string> lines, RebuiltQuery& result) {
    lines.push_back("UPDATE " + Predicate(p) + FromClause(p, result.notCarried));
    std::vector<std::string> sets;
    for (const QueryRow* c : p.columns) sets.push_back(c->name2 + " = " + c->expression);
    lines.push_back("SET " + Joined(sets, ", "));
    TailClauses(p, lines, p.groupBy, result.notCarried, /*withFrom=*/false);
    result.sql = Finish(lines, p);
}

void DeleteSql(const Parts& p, std::vector<std::string> lines, RebuiltQuery& result) {
    lines.push_back("DELETE " + Predicate(p) +
                    (p.columns.empty() && !(FlagOf(p.flags) & kAllFields)
                         ? std::string("*")
                         : SelectList(p, p.columns)));
    TailClauses(p, lines, p.groupBy, result.notCarried);
    result.sql = Finish(lines, p);
}

void CrosstabSql(const Parts& p, std::vector<std::string> lines, RebuiltQuery& result) {
    std::vector<const QueryRow*> values, headings, pivots, groupBy, pivotGroups;
    for (const QueryRow* c : p.columns) {
        long part = FlagOf(c);
        (part == kValue ? values : part == kPivot ? pivots : headings).push_back(c);
    }
    for (const QueryRow* g : p.groupBy) (FlagOf(g) == kPivot ? pivotGroups : groupBy).push_back(g);
    std::vector<std::string> transform;
    for (const QueryRow* v : values) transform.push_back(ColumnText(v));
    lines.push_back("TRANSFORM " + Joined(transform, ", "));
    lines.push_back("SELECT " + Predicate(p) + SelectList(p, headings));
    TailClauses(p, lines, groupBy, result.notCarried);
    std::string pivot;
    if (!pivots.empty())
        pivot = pivots.front()->expression;
    else if (!pivotGroups.empty())
        pivot = pivotGroups.front()->expression;
    if (pivot.empty())
        result.notCarried.push_back("la consulta de referencias cruzadas no tiene PIVOT");
    else
        lines.push_back("PIVOT " + pivot);
    result.sql = Finish(lines, p);
}

// Each part keeps the text it was written with; the flags say whether duplicates are kept (UNION
// ALL) or removed (UNION).
void UnionSql(const Parts& p, const std::vector<std::string>& lines, RebuiltQuery& result) {
    const char* keyword = (FlagOf(p.flags) & kDistinct) ? "UNION " : "UNION ALL ";
    std::string sql;
    for (const QueryRow* t : p.tables) {
        if (t->expression.empty()) continue;
        if (!sql.empty()) {
            if (!std::isspace(static_cast<unsigned char>(sql.back()))) sql += kNewLine;
            sql += keyword;
        }
        sql += t->expression;
    }
    if (sql.empty()) {
        result.notCarried.push_back("la consulta de unión no tiene partes");
        return;
    }
    std::vector<std::string> unionLines{TrimRight(sql)};
    Parts tail;
    tail.orderBy = p.orderBy;
    TailClauses(tail, unionLines, {}, result.notCarried, /*withFrom=*/false);
    if (!p.parameters.empty()) unionLines.insert(unionLines.begin(), lines.front());
    result.sql = Finish(unionLines, tail);
}

// Data definition and pass-through queries: the text is stored as written.
void VerbatimSql(const Parts& p, RebuiltQuery& result) {
    result.sql = p.type->expression;
    if (result.type == kPassThroughQuery && !p.type->name1.empty())
        result.notCarried.push_back("la cadena de conexión \"" + p.type->name1 +
                                    "\" de la consulta de paso a través no se traslada");
    if (result.sql.empty()) result.notCarried.push_back("la consulta no tiene texto");
}

}  // namespace

RebuiltQuery RebuildQuerySql(const std::vector<QueryRow>& rows, bool jet3) {
    RebuiltQuery result;
    Parts p = SortedParts(rows);
    for (int attribute : p.unknown)
        result.notCarried.push_back("una parte de tipo " + std::to_string(attribute) +
                                    ", que este programa no sabe leer, no se traslada");
    // Newer files write no type row for a plain select query.
    result.type = p.type ? static_cast<int>(FlagOf(p.type)) : kSelectQuery;

    std::vector<std::string> lines;
    if (!p.parameters.empty()) lines.push_back(ParametersLine(p, jet3));

    switch (result.type) {
        case kSelectQuery:
        case kMakeTableQuery:
            SelectSql(p, lines, result);
            break;
        case kAppendQuery:
            AppendSql(p, lines, result);
            break;
        case kUpdateQuery:
            UpdateSql(p, lines, result);
            break;
        case kDeleteQuery:
            DeleteSql(p, lines, result);
            break;
        case kCrosstabQuery:
            CrosstabSql(p, lines, result);
            break;
        case kUnionQuery:
            UnionSql(p, lines, result);
            break;
        case kDataDefinitionQuery:
        case kPassThroughQuery:
            VerbatimSql(p, result);
            break;
        default:
            result.notCarried.push_back("el tipo de consulta " + std::to_string(result.type) +
                                        " no lo conoce este programa");
            break;
    }
    return result;
}

}  // namespace actualiz::engine::jet
