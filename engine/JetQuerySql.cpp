#include "engine/JetQuerySql.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "engine/Names.h"

namespace actualiz::engine::jet {

namespace {

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

const char* const kNewLine = "\r\n";

bool IsPlainIdentifier(std::string_view name) {
    if (name.empty()) return false;
    if (std::isdigit(static_cast<unsigned char>(name.front()))) return false;
    for (unsigned char c : name)
        if (!(std::isalnum(c) || c == '_' || c >= 0x80)) return false;
    static const std::string_view kReserved[] = {
        "ALL",      "AND",   "AS",     "ASC",   "BETWEEN",    "BY",        "COLUMN", "CREATE",
        "DATABASE", "DATE",  "DELETE", "DESC",  "DISTINCT",   "DROP",      "EXISTS", "FROM",
        "FULL",     "GROUP", "HAVING", "IN",    "INDEX",      "INNER",     "INSERT", "INTO",
        "IS",       "JOIN",  "KEY",    "LEFT",  "LIKE",       "NAME",      "NOT",    "NULL",
        "ON",       "OR",    "ORDER",  "OUTER", "PARAMETERS", "PERCENT",   "PIVOT",  "RIGHT",
        "SELECT",   "SET",   "TABLE",  "TIME",  "TOP",        "TRANSFORM", "UNION",  "UNIQUE",
        "UPDATE",   "VALUE", "VALUES", "WHERE"};
    std::string upper;
    for (unsigned char c : name) upper.push_back(static_cast<char>(std::toupper(c)));
    return std::find(std::begin(kReserved), std::end(kReserved), upper) == std::end(kReserved);
}

std::string Bracketed(std::string_view name) {
    return "[" + std::string(name) + "]";
}

std::string Join(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += separator;
        out += parts[i];
    }
    return out;
}

// The type names PARAMETERS declarations use, by the engine's type code.
std::string ParameterType(long type, bool jet3) {
    switch (type) {
        case 1:
            return "Bit";
        case 2:
            return "Byte";
        case 3:
            return "Short";
        case 4:
            return "Long";
        case 5:
            return "Currency";
        case 6:
            return "IEEESingle";
        case 7:
            return "IEEEDouble";
        case 8:
            return "DateTime";
        case 9:
            return "Binary";
        case 10:
            return jet3 ? "Text" : "Text ( 255 )";
        case 11:
            return "LongBinary";
        case 12:
            return "Memo";
        case 15:
            return "Guid";
        case 20:
            return "Decimal";
        default:
            return "Value";
    }
}

std::string TrimRight(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    return text;
}

// The rows of one query sorted out by attribute, each kind in the file's order.
struct Parts {
    const QueryRow* type = nullptr;
    const QueryRow* flags = nullptr;
    const QueryRow* remote = nullptr;
    std::vector<const QueryRow*> parameters, tables, columns, joins, where, groupBy, having,
        orderBy;
    std::vector<int> unknown;
};

Parts Sort(const std::vector<QueryRow>& rows) {
    Parts p;
    for (const auto& row : rows) {
        switch (row.attribute) {
            case kStart:
            case kEnd:
                break;
            case kType:
                p.type = &row;
                break;
            case kParameter:
                p.parameters.push_back(&row);
                break;
            case kFlags:
                p.flags = &row;
                break;
            case kRemoteDatabase:
                p.remote = &row;
                break;
            case kInputTable:
                p.tables.push_back(&row);
                break;
            case kColumn:
                p.columns.push_back(&row);
                break;
            case kJoin:
                p.joins.push_back(&row);
                break;
            case kWhere:
                p.where.push_back(&row);
                break;
            case kGroupBy:
                p.groupBy.push_back(&row);
                break;
            case kHaving:
                p.having.push_back(&row);
                break;
            case kOrderBy:
                p.orderBy.push_back(&row);
                break;
            default:
                p.unknown.push_back(row.attribute);
                break;
        }
    }
    return p;
}

long FlagOf(const QueryRow* row) {
    return row && row->flag ? *row->flag : 0;
}

// " IN 'path' [connect]": a table in another database file.
std::string InDatabase(const std::string& path, const std::string& connect) {
    if (path.empty() && connect.empty()) return {};
    std::string out = " IN '" + path + "'";
    if (!connect.empty()) out += " [" + connect + "]";
    return out;
}

// The FROM clause: every input table once, the joined ones nested the way the classic engine
// writes them, "(A INNER JOIN B ON ...) LEFT JOIN C ON ...", the others separated by commas.
std::string FromClause(const Parts& p, std::vector<std::string>& notCarried) {
    struct Operand {
        std::vector<std::string> keys;  // table names or aliases inside
        std::string text;
        bool joined = false;
    };
    std::vector<Operand> operands;
    for (const QueryRow* t : p.tables) {
        Operand o;
        const std::string& alias = t->name2;
        if (!t->expression.empty()) {
            // A subquery used as a table.
            o.text = "(" + TrimRight(t->expression) + ")";
            if (!alias.empty()) o.text += " AS " + SqlName(alias);
        } else {
            o.text = SqlName(t->name1);
            if (!alias.empty()) o.text += " AS " + SqlName(alias);
        }
        o.keys.push_back(alias.empty() ? t->name1 : alias);
        operands.push_back(std::move(o));
    }

    // Several join rows between the same two tables are one join on all their conditions.
    struct JoinGroup {
        std::string left, right;
        long kind = 1;
        std::vector<std::string> conditions;
    };
    std::vector<JoinGroup> groups;
    for (const QueryRow* j : p.joins) {
        auto same = std::find_if(groups.begin(), groups.end(), [&](const JoinGroup& g) {
            return SameName(g.left, j->name1) && SameName(g.right, j->name2);
        });
        if (same == groups.end()) {
            groups.push_back({j->name1, j->name2, FlagOf(j), {}});
            same = groups.end() - 1;
        }
        same->conditions.push_back(j->expression);
    }

    auto find = [&operands](const std::string& key) -> std::ptrdiff_t {
        for (std::size_t i = 0; i < operands.size(); ++i)
            for (const auto& k : operands[i].keys)
                if (SameName(k, key)) return static_cast<std::ptrdiff_t>(i);
        return -1;
    };
    for (const auto& g : groups) {
        std::ptrdiff_t left = find(g.left), right = find(g.right);
        if (left < 0 || right < 0 || left == right) {
            notCarried.push_back("la combinación entre " + g.left + " y " + g.right +
                                 " no se puede escribir en la cláusula FROM y se omite");
            continue;
        }
        const char* kind = g.kind == 2   ? " LEFT JOIN "
                           : g.kind == 3 ? " RIGHT JOIN "
                                         : " INNER JOIN ";
        std::string condition;
        if (g.conditions.size() == 1) {
            condition = g.conditions.front();
        } else {
            std::vector<std::string> wrapped;
            for (const auto& c : g.conditions) wrapped.push_back("(" + c + ")");
            condition = Join(wrapped, " AND ");
        }
        auto wrap = [](const Operand& o) { return o.joined ? "(" + o.text + ")" : o.text; };
        Operand merged;
        merged.text = wrap(operands[static_cast<std::size_t>(left)]) + kind +
                      wrap(operands[static_cast<std::size_t>(right)]) + " ON " + condition;
        merged.joined = true;
        merged.keys = operands[static_cast<std::size_t>(left)].keys;
        for (const auto& k : operands[static_cast<std::size_t>(right)].keys)
            merged.keys.push_back(k);
        // The joined pair takes the place of its first table, so the tables keep the file's order.
        std::size_t keep = static_cast<std::size_t>(std::min(left, right));
        std::size_t drop = static_cast<std::size_t>(std::max(left, right));
        operands[keep] = std::move(merged);
        operands.erase(operands.begin() + static_cast<std::ptrdiff_t>(drop));
    }

    std::vector<std::string> texts;
    for (const auto& o : operands) texts.push_back(o.text);
    std::string from = Join(texts, ", ");
    if (p.remote) from += InDatabase(p.remote->name1, p.remote->expression);
    return from;
}

std::string ColumnText(const QueryRow* c) {
    std::string text = c->expression;
    if (!c->name1.empty()) text += " AS " + SqlName(c->name1);
    return text;
}

std::string OrderText(const QueryRow* o) {
    std::string text = o->expression;
    if (o->name1 == "D" || o->name1 == "d") text += " DESC";
    return text;
}

// "DISTINCT TOP 10 PERCENT " and the like.
std::string Predicate(const Parts& p) {
    long flags = FlagOf(p.flags);
    std::string out;
    if (flags & kDistinct)
        out += "DISTINCT ";
    else if (flags & kDistinctRow)
        out += "DISTINCTROW ";
    if (flags & kTop) {
        std::string count = p.flags->name1.empty() ? p.flags->expression : p.flags->name1;
        out += "TOP " + count + " ";
        if (flags & kPercent) out += "PERCENT ";
    }
    return out;
}

std::string SelectList(const Parts& p, const std::vector<const QueryRow*>& columns) {
    std::vector<std::string> items;
    if (FlagOf(p.flags) & kAllFields) items.push_back("*");
    for (const QueryRow* c : columns) items.push_back(ColumnText(c));
    if (items.empty()) items.push_back("*");
    return Join(items, ", ");
}

// FROM, WHERE, GROUP BY, HAVING and ORDER BY lines, as far as the query has them.
void TailClauses(const Parts& p, std::vector<std::string>& lines,
                 const std::vector<const QueryRow*>& groupBy, std::vector<std::string>& notCarried,
                 bool withFrom = true) {
    if (withFrom && !p.tables.empty()) lines.push_back("FROM " + FromClause(p, notCarried));
    std::vector<std::string> where, having, group, order;
    for (const QueryRow* w : p.where) where.push_back(w->expression);
    if (!where.empty()) lines.push_back("WHERE " + Join(where, " AND "));
    for (const QueryRow* g : groupBy) group.push_back(g->expression);
    if (!group.empty()) lines.push_back("GROUP BY " + Join(group, ", "));
    for (const QueryRow* h : p.having) having.push_back(h->expression);
    if (!having.empty()) lines.push_back("HAVING " + Join(having, " AND "));
    for (const QueryRow* o : p.orderBy) order.push_back(OrderText(o));
    if (!order.empty()) lines.push_back("ORDER BY " + Join(order, ", "));
}

std::string Finish(std::vector<std::string> lines, const Parts& p) {
    if (FlagOf(p.flags) & kOwnerAccess) lines.push_back("WITH OWNERACCESS OPTION");
    std::string sql = TrimRight(Join(lines, kNewLine));
    if (sql.empty() || sql.back() != ';') sql += ";";
    return sql;
}

std::string ParametersLine(const Parts& p, bool jet3) {
    std::vector<std::string> declarations;
    for (const QueryRow* q : p.parameters)
        declarations.push_back(Bracketed(q->name1) + " " + ParameterType(FlagOf(q), jet3));
    return "PARAMETERS " + Join(declarations, ", ") + ";";
}

std::string TargetTable(const Parts& p) {
    return SqlName(p.type->name1) + InDatabase(p.type->name2, p.type->expression);
}

}  // namespace

std::string SqlName(std::string_view name) {
    return IsPlainIdentifier(name) ? std::string(name) : Bracketed(name);
}

RebuiltQuery RebuildQuerySql(const std::vector<QueryRow>& rows, bool jet3) {
    RebuiltQuery result;
    Parts p = Sort(rows);
    for (int attribute : p.unknown)
        result.notCarried.push_back("una parte de tipo " + std::to_string(attribute) +
                                    ", que este programa no sabe leer, no se traslada");
    // Newer files write no type row for a plain select query.
    result.type = p.type ? static_cast<int>(FlagOf(p.type)) : kSelectQuery;

    std::vector<std::string> lines;
    if (!p.parameters.empty()) lines.push_back(ParametersLine(p, jet3));

    switch (result.type) {
        case kSelectQuery:
        case kMakeTableQuery: {
            std::string select = "SELECT " + Predicate(p) + SelectList(p, p.columns);
            if (result.type == kMakeTableQuery) select += " INTO " + TargetTable(p);
            lines.push_back(select);
            TailClauses(p, lines, p.groupBy, result.notCarried);
            result.sql = Finish(lines, p);
            break;
        }
        case kAppendQuery: {
            std::vector<std::string> targets;
            bool named = false;
            for (const QueryRow* c : p.columns) {
                targets.push_back(c->name2);
                if (!c->name2.empty()) named = true;
            }
            std::string insert = "INSERT INTO " + TargetTable(p);
            if (named) insert += " ( " + Join(targets, ", ") + " )";
            lines.push_back(insert);
            std::vector<std::string> values;
            for (const QueryRow* c : p.columns) values.push_back(ColumnText(c));
            std::string select = "SELECT " + Predicate(p);
            if (FlagOf(p.flags) & kAllFields) values.insert(values.begin(), "*");
            select += values.empty() ? "*" : Join(values, ", ");
            lines.push_back(select);
            TailClauses(p, lines, p.groupBy, result.notCarried);
            result.sql = Finish(lines, p);
            break;
        }
        case kUpdateQuery: {
            lines.push_back("UPDATE " + Predicate(p) + FromClause(p, result.notCarried));
            std::vector<std::string> sets;
            for (const QueryRow* c : p.columns) sets.push_back(c->name2 + " = " + c->expression);
            lines.push_back("SET " + Join(sets, ", "));
            TailClauses(p, lines, p.groupBy, result.notCarried, /*withFrom=*/false);
            result.sql = Finish(lines, p);
            break;
        }
        case kDeleteQuery: {
            lines.push_back("DELETE " + Predicate(p) +
                            (p.columns.empty() && !(FlagOf(p.flags) & kAllFields)
                                 ? std::string("*")
                                 : SelectList(p, p.columns)));
            TailClauses(p, lines, p.groupBy, result.notCarried);
            result.sql = Finish(lines, p);
            break;
        }
        case kCrosstabQuery: {
            std::vector<const QueryRow*> values, headings, pivots, groupBy, pivotGroups;
            for (const QueryRow* c : p.columns) {
                long part = FlagOf(c);
                (part == kValue ? values : part == kPivot ? pivots : headings).push_back(c);
            }
            for (const QueryRow* g : p.groupBy)
                (FlagOf(g) == kPivot ? pivotGroups : groupBy).push_back(g);
            std::vector<std::string> transform;
            for (const QueryRow* v : values) transform.push_back(ColumnText(v));
            lines.push_back("TRANSFORM " + Join(transform, ", "));
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
            break;
        }
        case kUnionQuery: {
            // Each part keeps the text it was written with; the flags say whether duplicates are
            // kept (UNION ALL) or removed (UNION).
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
                break;
            }
            std::vector<std::string> unionLines{TrimRight(sql)};
            Parts tail;
            tail.orderBy = p.orderBy;
            TailClauses(tail, unionLines, {}, result.notCarried, /*withFrom=*/false);
            if (!p.parameters.empty()) unionLines.insert(unionLines.begin(), lines.front());
            result.sql = Finish(unionLines, tail);
            break;
        }
        case kDataDefinitionQuery:
        case kPassThroughQuery: {
            // The text is stored as written.
            result.sql = p.type->expression;
            if (result.type == kPassThroughQuery && !p.type->name1.empty())
                result.notCarried.push_back("la cadena de conexión \"" + p.type->name1 +
                                            "\" de la consulta de paso a través no se traslada");
            if (result.sql.empty()) result.notCarried.push_back("la consulta no tiene texto");
            break;
        }
        default:
            result.notCarried.push_back("el tipo de consulta " + std::to_string(result.type) +
                                        " no lo conoce este programa");
            break;
    }
    return result;
}

}  // namespace actualiz::engine::jet
