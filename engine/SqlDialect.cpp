#include "engine/SqlDialect.h"

#include <cmath>
#include <set>

#include "engine/ClassicDates.h"
#include "engine/ClassicValues.h"
#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/Names.h"
#include "engine/SqlCrosstab.h"
#include "engine/SqlNames.h"
#include "engine/SqlOutput.h"
#include "engine/SqlRewrite.h"
#include "engine/SqlTokens.h"

namespace actualiz::engine::detail {

using namespace sql;

namespace {

// "PARAMETERS name type, ...;" before the statement: read and taken out.
std::vector<Declared> TakeParameters(std::vector<Token>& tokens) {
    std::vector<Declared> declared;
    if (tokens.empty() || !IsWord(tokens.front(), "PARAMETERS")) return declared;
    std::size_t i = 1;
    while (i < tokens.size() && tokens[i].kind != Kind::Semicolon) {
        if (!IsName(tokens[i]) && tokens[i].kind != Kind::Word)
            throw MakeError(err::kSyntaxError, "PARAMETERS");
        // A name may be a chain, [Forms]![Pedidos]![Fecha], written with "!" or ".".
        Declared d{tokens[i].text, {}};
        while (i + 2 < tokens.size() &&
               (IsSymbol(tokens[i + 1], "!") || IsSymbol(tokens[i + 1], ".")))
            d.name += tokens[i + 1].text + tokens[i + 2].text, i += 2;
        for (++i; i < tokens.size() && tokens[i].kind != Kind::Semicolon &&
                  !(IsSymbol(tokens[i], ",") && tokens[i].depth == 0);
             ++i)
            d.type += (d.type.empty() ? "" : " ") + tokens[i].text;
        declared.push_back(std::move(d));
        if (i < tokens.size() && IsSymbol(tokens[i], ",")) ++i;
    }
    if (i >= tokens.size()) throw MakeError(err::kSyntaxError, "PARAMETERS");
    tokens.erase(tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(i + 1));
    return declared;
}

// One SELECT statement: a closing semicolon may follow, nothing else.
void CheckStatement(std::vector<Token>& tokens) {
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != Kind::Semicolon) continue;
        if (i + 1 != tokens.size()) throw MakeError(err::kCharactersAfterEnd);
        tokens.pop_back();
        break;
    }
    std::size_t first = 0;
    while (first < tokens.size() && IsSymbol(tokens[first], "(")) ++first;
    const std::string verb = first < tokens.size() && tokens[first].kind == Kind::Word
                                 ? Upper(tokens[first].text)
                                 : std::string();
    if (verb != "SELECT") {
        static const std::set<std::string> other = {"INSERT", "UPDATE",     "DELETE", "CREATE",
                                                    "ALTER",  "PARAMETERS", "DROP",   "PROCEDURE"};
        if (other.count(verb)) throw MakeError(err::kInvalidOperation, verb);
        throw MakeError(err::kInvalidSql);
    }
    for (const Token& t : tokens)
        if (t.depth == 0 && IsWord(t, "INTO")) throw MakeError(err::kInvalidOperation, "INTO");
}

// "ORDER BY 2" names the second output column; with the row id put in front it is the third.
bool OrderPosition(const std::vector<Token>& tokens, std::size_t i, bool& inOrderBy) {
    const Token& t = tokens[i];
    if (t.depth == 0 && t.kind == Kind::Word && IsKeyword(Upper(t.text)))
        inOrderBy = IsWord(t, "BY") && i > 0 && IsWord(tokens[i - 1], "ORDER");
    return inOrderBy && t.depth == 0 && t.kind == Kind::Number && i > 0 &&
           (IsWord(tokens[i - 1], "BY") || IsSymbol(tokens[i - 1], ","));
}

// The pieces of SQLite text, and where the first SELECT of the statement's own level stands.
// withRowId shifts the output column numbers of ORDER BY by the row id column.
std::vector<std::string> Pieces(const std::vector<Token>& tokens, int& selectAt, bool withRowId) {
    std::vector<std::string> out;
    selectAt = -1;
    bool inOrderBy = false;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        const bool position = OrderPosition(tokens, i, inOrderBy);
        if (t.dropped) {
            if (!t.before.empty() || !t.after.empty()) out.push_back(t.before + t.after);
            continue;
        }
        if (selectAt < 0 && t.depth == 0 && IsWord(t, "SELECT"))
            selectAt = static_cast<int>(out.size());
        std::string text = t.out;
        if (withRowId && position) text = std::to_string(std::stoll(t.text) + 1);
        out.push_back(t.before + text + t.after);
    }
    return out;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string s;
    for (const auto& p : parts) {
        if (p.empty()) continue;
        if (!s.empty() && p != "," && p.front() != ')' && p != "." && s.back() != '(' &&
            s.back() != '.')
            s += ' ';
        s += p;
    }
    return s;
}

struct Source {
    std::string table;
    std::string alias;
};

// The table of a statement that reads plain rows of one table: SELECT ... FROM table [[AS]
// alias] [WHERE ...] [ORDER BY ...], with no join, grouping, DISTINCT, TOP or union.
Source PlainSource(const std::vector<Token>& tokens, Database& database) {
    // DISTINCTROW over one table changes nothing: its rows stay updatable, as they do in the
    // classic engine.
    static const std::set<std::string> spoilers = {
        "JOIN", "UNION", "GROUP", "HAVING", "DISTINCT", "TOP", "EXCEPT", "INTERSECT", "LIMIT"};
    std::size_t from = 0;
    int fromCount = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.depth != 0 || t.kind != Kind::Word) continue;
        const std::string upper = Upper(t.text);
        if (spoilers.count(upper)) return {};
        if (upper == "FROM") {
            from = i;
            ++fromCount;
        }
    }
    if (fromCount != 1 || from + 1 >= tokens.size() || !IsName(tokens[from + 1])) return {};
    const int ti = database.TableDefs().Find(tokens[from + 1].text);
    if (ti < 0) return {};
    Source source{database.TableDefs()[ti]->Name(), {}};
    std::size_t k = from + 2;
    if (k < tokens.size() && IsWord(tokens[k], "AS")) {
        ++k;
        if (k >= tokens.size() || !IsName(tokens[k])) return {};
    }
    if (k < tokens.size() && IsName(tokens[k])) source.alias = tokens[k++].text;
    if (k < tokens.size() && !IsWord(tokens[k], "WHERE") && !IsWord(tokens[k], "ORDER")) return {};
    return source;
}

TranslatedSelect Translate(std::string_view classicSql, Context& cx, bool topLevel) {
    std::vector<Token> tokens = Tokenize(classicSql);
    cx.declared = TakeParameters(tokens);
    if (!tokens.empty() && IsWord(tokens.front(), "TRANSFORM")) {
        if (!tokens.empty() && tokens.back().kind == Kind::Semicolon) tokens.pop_back();
        // The crosstab as a grouped SELECT; the declared parameters stay declared.
        std::vector<Declared> declared = cx.declared;
        tokens = Tokenize(CrosstabAsSelect(tokens, cx));
        cx.declared = std::move(declared);
    }
    CheckStatement(tokens);
    const bool bare = !tokens.empty() && !IsSymbol(tokens.front(), "(");
    const Source plain = topLevel && bare ? PlainSource(tokens, cx.database) : Source{};
    ResolveNames(tokens, cx);
    const std::string limit = Rewrite(tokens);
    ShapeOutput(tokens, cx, bare);

    int selectAt = -1;
    TranslatedSelect result;
    result.sql = Join(Pieces(tokens, selectAt, false)) + (limit.empty() ? "" : " LIMIT " + limit);
    if (!plain.table.empty() && selectAt >= 0) {
        const std::string& qualifier = plain.alias.empty() ? plain.table : plain.alias;
        std::vector<std::string> pieces = Pieces(tokens, selectAt, true);
        pieces.insert(pieces.begin() + selectAt + 1, QuoteIdentifier(qualifier) + "._rowid_,");
        result.singleTable = plain.table;
        result.sqlWithRowId = Join(pieces);
    }
    return result;
}

}  // namespace

std::string sql::TranslateStoredQuery(const std::string& classicSql, Context& cx) {
    Context inner{cx.database, cx.given, {}, std::move(cx.bound), cx.depth + 1, {}};
    TranslatedSelect select = Translate(classicSql, inner, /*topLevel=*/false);
    cx.bound = std::move(inner.bound);
    return select.sql;
}

TranslatedSelect TranslateSelect(std::string_view classicSql, Database& database,
                                 const ParameterValues& given) {
    Context cx{database, given, {}, {}, 0, {}};
    TranslatedSelect result = Translate(classicSql, cx, /*topLevel=*/true);
    for (const Declared& d : cx.bound) result.parameters.emplace_back(d.name, d.type);
    return result;
}

Value ParameterValue(const TranslatedSelect& select, std::size_t index,
                     const ParameterValues& given) {
    const auto& [name, type] = select.parameters.at(index);
    const Value* value = nullptr;
    for (const auto& g : given)
        if (SameName(g.first, name)) value = &g.second;
    if (!value) throw MakeError(err::kTooFewParameters, name);
    const std::string* text = std::get_if<std::string>(value);
    if (!text) return *value;
    const std::string t = Upper(type);
    if (t.rfind("DATE", 0) == 0) {
        auto date = ParseClassicDate(*text, /*monthFirst=*/false);
        if (!date) throw MakeError(err::kValueTypeMismatch, name);
        return StoredDateText(*date);
    }
    static const std::set<std::string> numeric = {"BIT",      "BYTE",       "SHORT",      "LONG",
                                                  "CURRENCY", "IEEESINGLE", "IEEEDOUBLE", "DECIMAL",
                                                  "INTEGER",  "SINGLE",     "DOUBLE"};
    if (numeric.count(t)) {
        auto number = ParseNumberText(*text);
        if (!number) throw MakeError(err::kValueTypeMismatch, name);
        // Whole numbers within a 64-bit integer bind as integers; the cast is only defined there.
        if (std::abs(*number) < 9.2e18 &&
            *number == static_cast<double>(static_cast<long long>(*number)))
            return static_cast<long long>(*number);
        return *number;
    }
    return *value;
}

std::vector<std::string> DeclaredParameters(std::string_view classicSql) {
    std::vector<Token> tokens = Tokenize(classicSql);
    std::vector<std::string> names;
    for (const Declared& d : TakeParameters(tokens)) names.push_back(d.name);
    return names;
}

}  // namespace actualiz::engine::detail
