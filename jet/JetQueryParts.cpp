#include "jet/JetQueryParts.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "engine/Names.h"

namespace actualiz::engine::jet {

namespace {

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

// " IN 'path' [connect]": a table in another database file.
std::string InDatabase(const std::string& path, const std::string& connect) {
    if (path.empty() && connect.empty()) return {};
    std::string out = " IN '" + path + "'";
    if (!connect.empty()) out += " [" + connect + "]";
    return out;
}

std::string OrderText(const QueryRow* o) {
    std::string text = o->expression;
    if (o->name1 == "D" || o->name1 == "d") text += " DESC";
    return text;
}

// ---------------------------------------------------------------------------------------------
// The FROM clause: every input table once, the joined ones nested the way the classic engine
// writes them, "(A INNER JOIN B ON ...) LEFT JOIN C ON ...", the others separated by commas.

// A table of the FROM clause, or tables already joined.
struct Operand {
    std::vector<std::string> keys;  // table names or aliases inside
    std::string text;
    bool joined = false;
};

// Several join rows between the same two tables are one join on all their conditions.
struct JoinGroup {
    std::string left, right;
    long kind = 1;
    std::vector<std::string> conditions;
};

std::vector<Operand> TableOperands(const Parts& p) {
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
    return operands;
}

std::vector<JoinGroup> JoinGroups(const Parts& p) {
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
    return groups;
}

std::ptrdiff_t OperandOf(const std::vector<Operand>& operands, const std::string& key) {
    for (std::size_t i = 0; i < operands.size(); ++i)
        for (const auto& k : operands[i].keys)
            if (SameName(k, key)) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

std::string JoinCondition(const JoinGroup& g) {
    if (g.conditions.size() == 1) return g.conditions.front();
    std::vector<std::string> wrapped;
    for (const auto& c : g.conditions) wrapped.push_back("(" + c + ")");
    return Joined(wrapped, " AND ");
}

// Joins the two operands the group names; the joined pair takes the place of its first table, so
// the tables keep the file's order. False when the group names no two operands.
bool ApplyJoin(std::vector<Operand>& operands, const JoinGroup& g) {
    std::ptrdiff_t left = OperandOf(operands, g.left), right = OperandOf(operands, g.right);
    if (left < 0 || right < 0 || left == right) return false;
    const char* kind = g.kind == 2 ? " LEFT JOIN " : g.kind == 3 ? " RIGHT JOIN " : " INNER JOIN ";
    auto wrap = [](const Operand& o) { return o.joined ? "(" + o.text + ")" : o.text; };
    const Operand& a = operands[static_cast<std::size_t>(left)];
    const Operand& b = operands[static_cast<std::size_t>(right)];
    Operand merged;
    merged.text = wrap(a) + kind + wrap(b) + " ON " + JoinCondition(g);
    merged.joined = true;
    merged.keys = a.keys;
    for (const auto& k : b.keys) merged.keys.push_back(k);
    std::size_t keep = static_cast<std::size_t>(std::min(left, right));
    std::size_t drop = static_cast<std::size_t>(std::max(left, right));
    operands[keep] = std::move(merged);
    operands.erase(operands.begin() + static_cast<std::ptrdiff_t>(drop));
    return true;
}

}  // namespace

std::string SqlName(std::string_view name) {
    return IsPlainIdentifier(name) ? std::string(name) : Bracketed(name);
}

Parts SortedParts(const std::vector<QueryRow>& rows) {
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

std::string Joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += separator;
        out += parts[i];
    }
    return out;
}

std::string TrimRight(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    return text;
}

std::string FromClause(const Parts& p, std::vector<std::string>& notCarried) {
    std::vector<Operand> operands = TableOperands(p);
    for (const auto& g : JoinGroups(p))
        if (!ApplyJoin(operands, g))
            notCarried.push_back("la combinación entre " + g.left + " y " + g.right +
                                 " no se puede escribir en la cláusula FROM y se omite");
    std::vector<std::string> texts;
    for (const auto& o : operands) texts.push_back(o.text);
    std::string from = Joined(texts, ", ");
    if (p.remote) from += InDatabase(p.remote->name1, p.remote->expression);
    return from;
}

std::string ColumnText(const QueryRow* c) {
    std::string text = c->expression;
    if (!c->name1.empty()) text += " AS " + SqlName(c->name1);
    return text;
}

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
    return Joined(items, ", ");
}

void TailClauses(const Parts& p, std::vector<std::string>& lines,
                 const std::vector<const QueryRow*>& groupBy, std::vector<std::string>& notCarried,
                 bool withFrom) {
    if (withFrom && !p.tables.empty()) lines.push_back("FROM " + FromClause(p, notCarried));
    std::vector<std::string> where, having, group, order;
    for (const QueryRow* w : p.where) where.push_back(w->expression);
    if (!where.empty()) lines.push_back("WHERE " + Joined(where, " AND "));
    for (const QueryRow* g : groupBy) group.push_back(g->expression);
    if (!group.empty()) lines.push_back("GROUP BY " + Joined(group, ", "));
    for (const QueryRow* h : p.having) having.push_back(h->expression);
    if (!having.empty()) lines.push_back("HAVING " + Joined(having, " AND "));
    for (const QueryRow* o : p.orderBy) order.push_back(OrderText(o));
    if (!order.empty()) lines.push_back("ORDER BY " + Joined(order, ", "));
}

std::string Finish(std::vector<std::string> lines, const Parts& p) {
    if (FlagOf(p.flags) & kOwnerAccess) lines.push_back("WITH OWNERACCESS OPTION");
    std::string sql = TrimRight(Joined(lines, kNewLine));
    if (sql.empty() || sql.back() != ';') sql += ";";
    return sql;
}

namespace {

// A parameter's name as the PARAMETERS line writes it. Access stores the name as it was typed:
// "Fecha", or "[Fecha de inicio]" and "[Forms]![Pedidos]![Desde]" already bracketed, which must
// not be bracketed again.
std::string ParameterName(const std::string& stored) {
    if (stored.size() > 1 && stored.front() == '[' && stored.back() == ']') return stored;
    return Bracketed(stored);
}

}  // namespace

std::string ParametersLine(const Parts& p, bool jet3) {
    std::vector<std::string> declarations;
    for (const QueryRow* q : p.parameters)
        declarations.push_back(ParameterName(q->name1) + " " + ParameterType(FlagOf(q), jet3));
    return "PARAMETERS " + Joined(declarations, ", ") + ";";
}

std::string TargetTable(const Parts& p) {
    return SqlName(p.type->name1) + InDatabase(p.type->name2, p.type->expression);
}

}  // namespace actualiz::engine::jet
