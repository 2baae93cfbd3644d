#include "engine/SqlRewrite.h"

#include <map>
#include <set>

#include "engine/ClassicDates.h"
#include "engine/EngineError.h"
#include "engine/Names.h"

namespace actualiz::engine::detail::sql {

namespace {

// Classic function names and the SQLite function that computes each (SQLite's own where it
// computes the same, else one of ours).
const std::map<std::string, std::string>& Functions() {
    static const std::map<std::string, std::string> map = [] {
        std::map<std::string, std::string> m = {
            {"LEN", "length"}, {"MID", "substr"},  {"IIF", "iif"},    {"ABS", "abs"},
            {"TRIM", "trim"},  {"LTRIM", "ltrim"}, {"RTRIM", "rtrim"}};
        for (const char* name :
             {"UCASE",    "LCASE",   "NZ",       "LEFT",       "RIGHT",     "CCUR",   "CINT",
              "CLNG",     "CDBL",    "CSTR",     "CBOOL",      "INT",       "FIX",    "ROUND",
              "SGN",      "VAL",     "FORMAT",   "INSTR",      "SPACE",     "STRING", "REPLACE",
              "STRCOMP",  "ISNULL",  "SWITCH",   "CHOOSE",     "DATE",      "NOW",    "TIME",
              "YEAR",     "MONTH",   "DAY",      "WEEKDAY",    "HOUR",      "MINUTE", "SECOND",
              "DATEPART", "DATEADD", "DATEDIFF", "DATESERIAL", "DATEVALUE", "CDATE"}) {
            std::string lower(name);
            for (char& c : lower) c = static_cast<char>(c - 'A' + 'a');
            m[name] = "classic_" + lower;
        }
        return m;
    }();
    return map;
}

std::string Literal(const Token& t) {
    if (t.kind == Kind::Date) {
        auto date = ParseClassicDate(t.text, /*monthFirst=*/true);
        if (!date) throw MakeError(err::kSyntaxError, "#" + t.text + "#");
        return QuoteLiteral(StoredDateText(*date));
    }
    // Compared as the classic engine compares text: every letter without regard to case.
    return QuoteLiteral(t.text) + " COLLATE classic_text";
}

// Tokens that end an operand of "&": the comparison operators, the logical ones and the clause
// keywords, whose precedence is lower.
bool EndsConcatOperand(const Token& t) {
    static const std::set<std::string> symbols = {",", "=", "<>", "<", ">", "<=", ">=", "!="};
    static const std::set<std::string> words = {
        "AND",  "OR",    "NOT",    "LIKE",  "BETWEEN", "IS",   "IN",   "AS",       "SELECT",
        "FROM", "WHERE", "HAVING", "ON",    "THEN",    "WHEN", "ELSE", "END",      "BY",
        "CASE", "ORDER", "GROUP",  "UNION", "ASC",     "DESC", "JOIN", "DISTINCT", "TOP"};
    if (t.kind == Kind::Semicolon) return true;
    if (t.kind == Kind::Symbol) return symbols.count(t.text) > 0;
    return t.kind == Kind::Word && (t.out == t.text || IsWord(t, "LIKE")) &&
           words.count(Upper(t.text)) > 0;
}

// "a & b & c" becomes classic_concat(a, b, c): Null counts as empty text unless every part is
// Null, where SQLite's || would make the whole Null.
void RewriteConcatenation(std::vector<Token>& tokens) {
    struct Segment {
        std::size_t start;
        bool hasConcat = false;
    };
    std::vector<Segment> open{{0}};  // one per parenthesis level
    auto close = [&](std::size_t end) {
        Segment& s = open.back();
        if (s.hasConcat && end > s.start) {
            tokens[s.start].before = "classic_concat(" + tokens[s.start].before;
            tokens[end - 1].after += ")";
        }
    };
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        Token& t = tokens[i];
        if (IsSymbol(t, "(")) {
            open.push_back({i + 1});
        } else if (IsSymbol(t, ")")) {
            close(i);
            if (open.size() > 1) open.pop_back();
        } else if (IsSymbol(t, "&")) {
            open.back().hasConcat = true;
            t.out = ",";
        } else if (EndsConcatOperand(t)) {
            close(i);
            open.back() = {i + 1};
        }
    }
    while (!open.empty()) {
        close(tokens.size());
        open.pop_back();
    }
}

std::string WordText(const Token& t, const Token* next) {
    const std::string upper = Upper(t.text);
    if (next && IsSymbol(*next, "(")) {
        auto f = Functions().find(upper);
        return f == Functions().end() ? t.text : f->second;
    }
    if (upper == "MOD") return "%";
    // SQLite hands "x REGEXP p" to a function regexp(p, x), which the engine defines as the
    // classic Like. SQLite's own LIKE stays as it is: the files' CHECK constraints, read by any
    // SQLite program, use it with its own wildcards.
    if (upper == "LIKE") return "REGEXP";
    return t.text;
}

}  // namespace

std::string Rewrite(std::vector<Token>& tokens) {
    std::string limit;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        Token& t = tokens[i];
        const Token* prev = i > 0 ? &tokens[i - 1] : nullptr;
        const Token* next = i + 1 < tokens.size() ? &tokens[i + 1] : nullptr;
        if (!t.out.empty() || t.dropped) continue;
        switch (t.kind) {
            case Kind::String:
                // A Like pattern keeps the classic wildcards: the engine's regexp() reads them.
                t.out = prev && IsWord(*prev, "LIKE") ? QuoteLiteral(t.text) : Literal(t);
                break;
            case Kind::Date:
                t.out = Literal(t);
                break;
            case Kind::Word:
                if (IsWord(t, "DISTINCTROW")) {
                    t.dropped = true;
                } else if (IsWord(t, "TOP") && next && next->kind == Kind::Number) {
                    if (i + 2 < tokens.size() && IsWord(tokens[i + 2], "PERCENT"))
                        throw MakeError(err::kSyntaxError, "TOP PERCENT");
                    limit = next->text;
                    t.dropped = true;
                    tokens[i + 1].dropped = true;
                } else {
                    t.out = WordText(t, next);
                }
                break;
            case Kind::Symbol:
                t.out = t.text == "!" ? "." : t.text;
                break;
            default:
                t.out = t.text;
                break;
        }
    }
    RewriteConcatenation(tokens);
    return limit;
}

}  // namespace actualiz::engine::detail::sql
