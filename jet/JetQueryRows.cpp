#include "jet/JetQueryRows.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>
#include <utility>

#include "jet/JetQueryParts.h"

namespace actualiz::engine::jet {

namespace {

// Why a text cannot be taken apart; caught in QueryRowsFor.
struct Unparsed {
    std::string why;
};

[[noreturn]] void Fail(std::string why) {
    throw Unparsed{std::move(why)};
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Where `token` occurs in `text` outside string literals, [bracketed names] and parentheses.
// Literals are "..." or '...' (a doubled quote stays inside).
std::vector<std::size_t> TopLevel(std::string_view text, std::string_view token) {
    std::vector<std::size_t> at;
    int depth = 0;
    char quote = 0;
    bool bracket = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quote) {
            if (c == quote) {
                if (i + 1 < text.size() && text[i + 1] == quote)
                    ++i;
                else
                    quote = 0;
            }
            continue;
        }
        if (bracket) {
            if (c == ']') bracket = false;
            continue;
        }
        if (depth == 0 && text.compare(i, token.size(), token) == 0) at.push_back(i);
        if (c == '"' || c == '\'')
            quote = c;
        else if (c == '[')
            bracket = true;
        else if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
    }
    return at;
}

std::vector<std::string> SplitTop(std::string_view text, std::string_view separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at : TopLevel(text, separator)) {
        if (at < from) continue;
        parts.emplace_back(text.substr(from, at - from));
        from = at + separator.size();
    }
    parts.emplace_back(text.substr(from));
    return parts;
}

// The place of the parenthesis that closes the one at `open`, or npos.
std::size_t Closing(std::string_view text, std::size_t open) {
    // TopLevel sees the closes of what follows at its own depth: the first one closes `open`.
    std::vector<std::size_t> closes = TopLevel(text.substr(open + 1), ")");
    return closes.empty() ? std::string_view::npos : open + 1 + closes.front();
}

// "(...)" as a whole: the text inside, or nothing.
std::optional<std::string> Wrapped(std::string_view text) {
    if (text.size() < 2 || text.front() != '(') return std::nullopt;
    if (Closing(text, 0) != text.size() - 1) return std::nullopt;
    return std::string(text.substr(1, text.size() - 2));
}

// A table, alias or column alias as SqlName writes it: the name itself, or nothing when the
// text is not one name.
std::optional<std::string> NameOf(std::string_view text) {
    std::string name(text);
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    if (name.empty() || name.find_first_of("[]") != std::string::npos) return std::nullopt;
    if (SqlName(name) != text) return std::nullopt;
    return name;
}

QueryRow Row(int attribute, std::optional<long> flag = std::nullopt, std::string expression = {},
             std::string name1 = {}, std::string name2 = {}) {
    QueryRow r;
    r.attribute = attribute;
    r.flag = flag;
    r.expression = std::move(expression);
    r.name1 = std::move(name1);
    r.name2 = std::move(name2);
    return r;
}

// The PARAMETERS declarations' type names, by the code the parameter rows keep.
const std::pair<long, const char*> kParameterTypes[] = {
    {10, "Text ( 255 )"}, {1, "Bit"},        {2, "Byte"},       {3, "Short"},    {4, "Long"},
    {5, "Currency"},      {6, "IEEESingle"}, {7, "IEEEDouble"}, {8, "DateTime"}, {9, "Binary"},
    {11, "LongBinary"},   {12, "Memo"},      {15, "Guid"},      {20, "Decimal"}};

class Parser {
  public:
    QueryRowsResult Parse(const std::string& sql) {
        if (sql.empty() || sql.back() != ';') Fail("no acaba en «;»");
        std::string text = sql.substr(0, sql.size() - 1);
        if (IsDataDefinition(text)) {
            result_.type = kDataDefinitionQuery;
            result_.rows.push_back(Row(kType, kDataDefinitionQuery, sql));
            return std::move(result_);
        }
        std::vector<std::string> lines = SplitTop(text, kNewLine);
        if (StartsWith(lines.front(), "PARAMETERS ")) {
            Parameters(lines.front());
            lines.erase(lines.begin());
            if (lines.empty()) Fail("solo declara parámetros");
        }
        if (lines.back() == "WITH OWNERACCESS OPTION") {
            flags_ |= kOwnerAccess;
            lines.pop_back();
            if (lines.empty()) Fail("no tiene instrucción");
        }
        std::string body;
        for (std::size_t i = 0; i < lines.size(); ++i) body += (i ? kNewLine : "") + lines[i];
        if (Union(body)) return Finish(true);
        const std::string& first = lines.front();
        if (StartsWith(first, "TRANSFORM "))
            Crosstab(lines);
        else if (StartsWith(first, "SELECT "))
            Select(lines);
        else if (StartsWith(first, "INSERT INTO "))
            Append(lines);
        else if (StartsWith(first, "UPDATE "))
            Update(lines);
        else if (StartsWith(first, "DELETE "))
            Delete(lines);
        else
            Fail(
                "no es una consulta de selección, de acción, de referencias cruzadas, de unión "
                "ni de definición de datos");
        return Finish(result_.type != kAppendQuery && result_.type != kCrosstabQuery);
    }

  private:
    static bool IsDataDefinition(std::string_view text) {
        for (std::string_view verb : {"CREATE ", "ALTER ", "DROP "}) {
            if (text.size() < verb.size()) continue;
            bool same = true;
            for (std::size_t i = 0; i < verb.size(); ++i)
                if (std::toupper(static_cast<unsigned char>(text[i])) != verb[i]) same = false;
            if (same) return true;
        }
        return false;
    }

    // The rows in the order the classic engine keeps them: type, parameters, flags, then the
    // rest. The flags row is always there for the kinds the samples show it for.
    QueryRowsResult Finish(bool flagsRow) {
        std::vector<QueryRow> rows;
        rows.push_back(Row(kType, result_.type, {}, target_));
        for (auto& p : parameters_) rows.push_back(std::move(p));
        if (flagsRow || flags_) rows.push_back(Row(kFlags, flags_, {}, top_));
        for (auto& r : result_.rows) rows.push_back(std::move(r));
        result_.rows = std::move(rows);
        return std::move(result_);
    }

    // A part of a clause holds no clause of its own outside parentheses, strings and brackets:
    // "SELECT * FROM T" on one line would otherwise be an output column "* FROM T" that our
    // reader gives back as the same text but the classic engine would not run as that query.
    // Input tables are exempt: a subquery's text and a union's parts are SQL of their own.
    static void RequirePart(const std::string& text) {
        std::string upper = " " + text + " ";
        for (char& c : upper) {
            if (c == '\r' || c == '\n' || c == '\t') c = ' ';
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        for (const char* keyword :
             {" SELECT ", " FROM ", " WHERE ", " GROUP BY ", " HAVING ", " ORDER BY ", " UNION ",
              " INTO ", " PIVOT ", " TRANSFORM ", " PARAMETERS ", " WITH OWNERACCESS "})
            if (!TopLevel(upper, keyword).empty())
                Fail("«" + text + "» lleva una cláusula" + std::string(keyword) +
                     "fuera de su línea");
    }

    void Add(QueryRow row) {
        if (row.attribute != kInputTable) {
            RequirePart(row.expression);
            RequirePart(row.name2);
        }
        result_.rows.push_back(std::move(row));
    }

    void Parameters(std::string_view line) {
        if (!EndsWith(line, ";")) Fail("la declaración de parámetros no acaba en «;»");
        line = line.substr(11, line.size() - 12);
        for (const std::string& declaration : SplitTop(line, ", ")) {
            std::optional<long> code;
            std::string name;
            for (const auto& [number, typeName] : kParameterTypes) {
                std::string suffix = std::string(" ") + typeName;
                if (EndsWith(declaration, suffix)) {
                    code = number;
                    name = declaration.substr(0, declaration.size() - suffix.size());
                    break;
                }
            }
            if (!code) Fail("el tipo del parámetro «" + declaration + "» no se conoce");
            if (name.size() < 3 || name.front() != '[' || name.back() != ']')
                Fail("el nombre del parámetro «" + name + "» no va entre corchetes");
            // "[Fecha]" is kept as Fecha; "[Forms]![F]![C]" as typed.
            std::string inner = name.substr(1, name.size() - 2);
            if (inner.find_first_of("[]") == std::string::npos) name = inner;
            parameters_.push_back(Row(kParameter, *code, {}, name));
        }
    }

    // "DISTINCT TOP 5 PERCENT " and the like at the start of `text`, taken off it.
    void Predicate(std::string& text) {
        if (StartsWith(text, "DISTINCT ")) {
            flags_ |= kDistinct;
            text.erase(0, 9);
        } else if (StartsWith(text, "DISTINCTROW ")) {
            flags_ |= kDistinctRow;
            text.erase(0, 12);
        }
        if (StartsWith(text, "TOP ")) {
            std::size_t end = text.find(' ', 4);
            if (end == std::string::npos || end == 4) Fail("TOP sin número");
            top_ = text.substr(4, end - 4);
            if (top_.find_first_not_of("0123456789") != std::string::npos)
                Fail("TOP lleva «" + top_ + "» en vez de un número");
            flags_ |= kTop;
            text.erase(0, end + 1);
            if (StartsWith(text, "PERCENT ")) {
                flags_ |= kPercent;
                text.erase(0, 8);
            }
        }
    }

    static QueryRow Column(const std::string& item, long flag) {
        std::vector<std::size_t> as = TopLevel(item, " AS ");
        if (!as.empty())
            if (auto name = NameOf(std::string_view(item).substr(as.back() + 4)))
                return Row(kColumn, flag, item.substr(0, as.back()), *name);
        return Row(kColumn, flag, item);
    }

    // An output list; "*" first is the flag, not a column.
    void Columns(const std::string& list, long flag, bool star) {
        std::vector<std::string> items = SplitTop(list, ", ");
        if (star && items.front() == "*") {
            flags_ |= kAllFields;
            items.erase(items.begin());
        }
        for (const std::string& item : items) Add(Column(item, flag));
    }

    // FROM, WHERE, GROUP BY, HAVING and ORDER BY lines, in that order, from `at` on.
    void Tail(const std::vector<std::string>& lines, std::size_t at, bool from, long groupFlag) {
        auto take = [&](std::string_view keyword) -> std::optional<std::string> {
            if (at < lines.size() && StartsWith(lines[at], keyword))
                return lines[at++].substr(keyword.size());
            return std::nullopt;
        };
        if (from)
            if (auto tables = take("FROM ")) From(*tables);
        if (auto where = take("WHERE ")) Add(Row(kWhere, std::nullopt, *where));
        if (auto group = take("GROUP BY "))
            for (const std::string& g : SplitTop(*group, ", ")) Add(Row(kGroupBy, groupFlag, g));
        if (auto having = take("HAVING ")) Add(Row(kHaving, std::nullopt, *having));
        if (auto order = take("ORDER BY "))
            for (std::string o : SplitTop(*order, ", ")) {
                bool descending = EndsWith(o, " DESC");
                if (descending) o.resize(o.size() - 5);
                Add(Row(kOrderBy, std::nullopt, o, descending ? "D" : ""));
            }
        if (at != lines.size()) Fail("no se entiende la línea «" + lines[at] + "»");
    }

    // ---- FROM: tables in the order they appear, joins innermost first ----

    // The name among `keys` the condition refers to ("T.f" or "[T].f"), else the first.
    static std::string KeyIn(const std::vector<std::string>& keys, const std::string& condition) {
        for (const std::string& key : keys)
            for (const std::string& prefix : {SqlName(key) + ".", "[" + key + "]."})
                for (std::size_t at = condition.find(prefix); at != std::string::npos;
                     at = condition.find(prefix, at + 1)) {
                    unsigned char before = at ? condition[at - 1] : ' ';
                    if (!(std::isalnum(before) || before == '_' || before == ']' || before >= 0x80))
                        return key;
                }
        return keys.front();
    }

    std::vector<std::string> TableReference(const std::string& text) {
        std::string table = text, alias;
        std::vector<std::size_t> as = TopLevel(text, " AS ");
        if (!as.empty()) {
            auto name = NameOf(std::string_view(text).substr(as.back() + 4));
            if (!name) Fail("no se entiende el alias de «" + text + "»");
            alias = *name;
            table = text.substr(0, as.back());
        }
        if (auto inside = Wrapped(table)) {
            Add(Row(kInputTable, std::nullopt, *inside, {}, alias));
            if (alias.empty()) Fail("una subconsulta usada como tabla necesita un alias");
            return {alias};
        }
        auto name = NameOf(table);
        if (!name) Fail("no se entiende la tabla «" + table + "»");
        Add(Row(kInputTable, std::nullopt, {}, *name, alias));
        return {alias.empty() ? *name : alias};
    }

    std::vector<std::string> Operand(const std::string& text) {
        static const std::pair<const char*, long> kJoins[] = {
            {" INNER JOIN ", 1}, {" LEFT JOIN ", 2}, {" RIGHT JOIN ", 3}};
        std::size_t at = std::string::npos;
        std::size_t length = 0;
        long kind = 0;
        for (const auto& [keyword, k] : kJoins) {
            std::vector<std::size_t> found = TopLevel(text, keyword);
            if (!found.empty() && found.front() < at) {
                at = found.front();
                length = std::string_view(keyword).size();
                kind = k;
            }
        }
        if (at == std::string::npos) {
            if (auto inside = Wrapped(text); inside && !TopLevel(*inside, " JOIN ").empty())
                return Operand(*inside);
            return TableReference(text);
        }
        std::string left = text.substr(0, at), rest = text.substr(at + length);
        std::size_t on = std::string::npos;
        if (!rest.empty() && rest.front() == '(') {
            std::size_t close = Closing(rest, 0);
            if (close != std::string::npos && rest.compare(close + 1, 4, " ON ") == 0)
                on = close + 1;
        } else {
            std::vector<std::size_t> ons = TopLevel(rest, " ON ");
            if (!ons.empty()) on = ons.front();
        }
        if (on == std::string::npos) Fail("una combinación sin ON");
        std::vector<std::string> leftKeys = Operand(left);
        std::vector<std::string> rightKeys = Operand(rest.substr(0, on));
        std::string condition = rest.substr(on + 4);
        std::vector<std::string> conditions = SplitTop(condition, " AND ");
        bool each = conditions.size() > 1;
        for (std::string& c : conditions) {
            auto inside = Wrapped(c);
            if (!inside) each = false;
            if (each) c = *inside;
        }
        if (!each) conditions = {condition};
        for (const std::string& c : conditions)
            Add(Row(kJoin, kind, c, KeyIn(leftKeys, c), KeyIn(rightKeys, c)));
        leftKeys.insert(leftKeys.end(), rightKeys.begin(), rightKeys.end());
        return leftKeys;
    }

    void From(const std::string& text) {
        for (const std::string& item : SplitTop(text, ", ")) Operand(item);
    }

    // ---- the statements ----

    void Select(const std::vector<std::string>& lines) {
        std::string list = lines.front().substr(7);
        Predicate(list);
        result_.type = kSelectQuery;
        std::vector<std::size_t> into = TopLevel(list, " INTO ");
        if (!into.empty()) {
            auto name = NameOf(std::string_view(list).substr(into.back() + 6));
            if (!name) Fail("no se entiende la tabla de destino");
            target_ = *name;
            list.resize(into.back());
            result_.type = kMakeTableQuery;
        }
        Columns(list, 0, true);
        Tail(lines, 1, true, 0);
    }

    void Append(const std::vector<std::string>& lines) {
        result_.type = kAppendQuery;
        std::string into = lines.front().substr(12);
        std::vector<std::string> targets;
        std::vector<std::size_t> open = TopLevel(into, " ( ");
        if (!open.empty() && EndsWith(into, " )")) {
            targets = SplitTop(into.substr(open.front() + 3, into.size() - open.front() - 5), ", ");
            into.resize(open.front());
        }
        auto name = NameOf(into);
        if (!name) Fail("no se entiende la tabla de destino «" + into + "»");
        target_ = *name;
        if (lines.size() < 2 || !StartsWith(lines[1], "SELECT "))
            Fail("INSERT INTO sin SELECT en la línea siguiente");
        std::string list = lines[1].substr(7);
        Predicate(list);
        std::size_t first = result_.rows.size();
        Columns(list, 0, true);
        std::size_t columns = result_.rows.size() - first;
        if (!targets.empty()) {
            if (targets.size() != columns || (flags_ & kAllFields))
                Fail("los campos de destino no corresponden a los valores");
            for (std::size_t i = 0; i < columns; ++i) result_.rows[first + i].name2 = targets[i];
        }
        Tail(lines, 2, true, 0);
    }

    void Update(const std::vector<std::string>& lines) {
        result_.type = kUpdateQuery;
        std::string tables = lines.front().substr(7);
        Predicate(tables);
        From(tables);
        if (lines.size() < 2 || !StartsWith(lines[1], "SET ")) Fail("UPDATE sin SET");
        for (const std::string& set : SplitTop(std::string_view(lines[1]).substr(4), ", ")) {
            std::vector<std::size_t> equals = TopLevel(set, " = ");
            if (equals.empty()) Fail("no se entiende la asignación «" + set + "»");
            Add(Row(kColumn, 0, set.substr(equals.front() + 3), {}, set.substr(0, equals.front())));
        }
        Tail(lines, 2, false, 0);
    }

    void Delete(const std::vector<std::string>& lines) {
        result_.type = kDeleteQuery;
        std::string list = lines.front().substr(7);
        Predicate(list);
        if (list != "*") Columns(list, 0, true);
        Tail(lines, 1, true, 0);
    }

    void Crosstab(const std::vector<std::string>& lines) {
        result_.type = kCrosstabQuery;
        if (lines.size() < 3 || !StartsWith(lines[1], "SELECT ") ||
            !StartsWith(lines.back(), "PIVOT "))
            Fail("TRANSFORM sin SELECT o sin PIVOT");
        Columns(lines.front().substr(10), kValue, false);
        std::string headings = lines[1].substr(7);
        Predicate(headings);
        Columns(headings, kRowHeading, false);
        std::string pivot = lines.back().substr(6);
        std::vector<std::string> middle(lines.begin(), lines.end() - 1);
        // The pivot is an output column of its own and a grouping of its own, each last.
        std::vector<QueryRow> before = std::move(result_.rows);
        result_.rows.clear();
        Tail(middle, 2, true, kRowHeading);
        std::vector<QueryRow> tail = std::move(result_.rows);
        result_.rows = std::move(before);
        Add(Row(kColumn, kPivot, pivot));
        for (auto& r : tail) Add(std::move(r));
        Add(Row(kGroupBy, kPivot, pivot));
    }

    // Parts joined by "UNION ALL " (or, when there is none, "UNION "), each at the start of a
    // line or after a blank, as the reader joins them; a final ORDER BY line is the union's.
    bool Union(std::string body) {
        std::vector<QueryRow> order;
        for (const char* keyword : {"UNION ALL ", "UNION "}) {
            std::vector<std::string> parts;
            std::size_t from = 0;
            for (std::size_t at : TopLevel(body, keyword)) {
                if (at < from || at == from) continue;
                std::string part = body.substr(from, at - from);
                // The reader adds a line break only after a part that ends without a blank.
                if (!std::isspace(static_cast<unsigned char>(part.back()))) continue;
                parts.push_back(std::move(part));
                from = at + std::string_view(keyword).size();
            }
            if (parts.empty()) continue;
            std::string last = body.substr(from);
            std::vector<std::size_t> orderAt = TopLevel(last, std::string(kNewLine) + "ORDER BY ");
            if (!orderAt.empty()) {
                std::string by = last.substr(orderAt.back() + 11);
                last.resize(orderAt.back());
                for (std::string o : SplitTop(by, ", ")) {
                    bool descending = EndsWith(o, " DESC");
                    if (descending) o.resize(o.size() - 5);
                    order.push_back(Row(kOrderBy, std::nullopt, o, descending ? "D" : ""));
                }
            }
            parts.push_back(std::move(last));
            result_.type = kUnionQuery;
            flags_ |= std::string_view(keyword) == "UNION " ? kDistinct : kAllFields;
            // The parts' names are those the samples show.
            for (std::size_t i = 0; i < parts.size(); ++i)
                Add(Row(kInputTable, std::nullopt, parts[i], {},
                        "X7YZ_____" + std::to_string(i + 1)));
            for (auto& o : order) Add(std::move(o));
            return true;
        }
        return false;
    }

    QueryRowsResult result_;
    std::vector<QueryRow> parameters_;
    long flags_ = 0;
    std::string top_, target_;
};

// The rows of that very text, or why there are none.
QueryRowsResult RowsForText(const std::string& sql) {
    QueryRowsResult result;
    try {
        result = Parser().Parse(sql);
    } catch (const Unparsed& e) {
        result = {};
        result.problem = e.why;
        return result;
    }
    RebuiltQuery back = RebuildQuerySql(result.rows, /*jet3=*/false);
    if (back.sql != sql || !back.notCarried.empty() || back.type != result.type) {
        result = {};
        result.problem = back.sql.empty() ? "no se puede guardar tal cual"
                                          : "se guardaría de otra forma: «" + back.sql + "»";
    }
    return result;
}

// The text with every run of blanks (spaces, tabs, line breaks) outside string literals and
// [bracketed names] made one space, without blanks at either end or a final ";".
std::string Collapsed(std::string_view sql) {
    std::string out;
    out.reserve(sql.size());
    char quote = 0;
    bool bracket = false;
    bool blank = false;
    for (char c : sql) {
        const bool isBlank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (!quote && !bracket && isBlank) {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += c;
        if (quote) {
            // A doubled quote closes and opens again: the same as staying inside.
            if (c == quote) quote = 0;
        } else if (bracket) {
            if (c == ']') bracket = false;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            bracket = true;
        }
    }
    while (!out.empty() && out.back() == ';') {
        out.pop_back();
        while (!out.empty() && out.back() == ' ') out.pop_back();
    }
    return out;
}

}  // namespace

bool SameSqlUpToLayout(std::string_view a, std::string_view b) {
    return Collapsed(a) == Collapsed(b);
}

std::string LaidOutSql(std::string_view sql) {
    std::string text = Collapsed(sql);
    // A union's parts are kept as they are written, on one line; its own ORDER BY and the
    // closing option go on lines of their own, as the file keeps them.
    if (!TopLevel(text, " UNION ").empty()) {
        for (const char* keyword : {" WITH OWNERACCESS OPTION", " ORDER BY "}) {
            std::vector<std::size_t> at = TopLevel(text, keyword);
            if (!at.empty()) text.replace(at.back(), 1, kNewLine);
        }
        return text + ";";
    }
    if (StartsWith(text, "PARAMETERS ")) {
        std::vector<std::size_t> end = TopLevel(text, "; ");
        if (!end.empty()) text.replace(end.front(), 2, std::string(";") + kNewLine);
    }
    std::vector<std::size_t> breaks;
    for (const char* keyword : {" SELECT ", " FROM ", " WHERE ", " GROUP BY ", " HAVING ",
                                " ORDER BY ", " SET ", " PIVOT ", " WITH OWNERACCESS OPTION"})
        for (std::size_t at : TopLevel(text, keyword)) breaks.push_back(at);
    std::sort(breaks.begin(), breaks.end());
    std::string out;
    std::size_t from = 0;
    for (std::size_t at : breaks) {
        // A SELECT within a line follows TRANSFORM or INSERT INTO: it starts a line of its own.
        out.append(text, from, at - from);
        out += kNewLine;
        from = at + 1;
    }
    out.append(text, from, std::string::npos);
    return out + ";";
}

QueryRowsResult QueryRowsFor(const std::string& sql) {
    // A text written on one line (as the query catalog keeps every text) is taken in the shape
    // the file stores, each clause on its line, before the text itself: read as it stands, a
    // union's last part would take the union's ORDER BY. Only blanks outside literals differ.
    const std::string laidOut = LaidOutSql(sql);
    if (laidOut != sql && sql.find(kNewLine) == std::string::npos) {
        QueryRowsResult result = RowsForText(laidOut);
        if (result.problem.empty()) return result;
    }
    QueryRowsResult result = RowsForText(sql);
    if (!result.problem.empty() && laidOut != sql) {
        QueryRowsResult again = RowsForText(laidOut);
        if (again.problem.empty()) return again;
    }
    return result;
}

}  // namespace actualiz::engine::jet
