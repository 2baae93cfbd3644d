#include "engine/SqlTokens.h"

#include <cctype>
#include <set>

#include "engine/EngineError.h"

namespace actualiz::engine::detail::sql {

namespace {

bool IsWordStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool IsWordPart(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

// 'text' or "text", a doubled quote standing for one; returns the position after the closing one.
std::size_t QuotedText(std::string_view sql, std::size_t i, std::string& text) {
    const char quote = sql[i];
    std::size_t j = i + 1;
    while (j < sql.size()) {
        if (sql[j] == quote) {
            if (j + 1 < sql.size() && sql[j + 1] == quote) {
                text += quote;
                j += 2;
                continue;
            }
            return j + 1;
        }
        text += sql[j++];
    }
    throw MakeError(err::kSyntaxError, sql.substr(i));
}

// Text between an opening character at i and the closing one; returns the position after it.
std::size_t Enclosed(std::string_view sql, std::size_t i, char close, std::string& text) {
    std::size_t end = sql.find(close, i + 1);
    if (end == std::string_view::npos) throw MakeError(err::kSyntaxError, sql.substr(i));
    text = std::string(sql.substr(i + 1, end - i - 1));
    return end + 1;
}

std::string Operator(std::string_view sql, std::size_t i) {
    if (i + 1 < sql.size()) {
        std::string two(sql.substr(i, 2));
        if (two == "<>" || two == "<=" || two == ">=" || two == "!=" || two == "||") return two;
    }
    return std::string(1, sql[i]);
}

}  // namespace

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool IsKeyword(const std::string& upper) {
    static const std::set<std::string> words = {
        "SELECT",      "FROM",    "WHERE",   "AND",    "OR",        "NOT",     "LIKE",   "IN",
        "IS",          "NULL",    "ORDER",   "BY",     "ASC",       "DESC",    "AS",     "JOIN",
        "INNER",       "LEFT",    "RIGHT",   "OUTER",  "ON",        "GROUP",   "HAVING", "DISTINCT",
        "UNION",       "ALL",     "BETWEEN", "EXISTS", "CASE",      "WHEN",    "THEN",   "ELSE",
        "END",         "COUNT",   "SUM",     "AVG",    "MIN",       "MAX",     "CAST",   "ESCAPE",
        "INTO",        "VALUES",  "SET",     "INSERT", "UPDATE",    "DELETE",  "LIMIT",  "OFFSET",
        "CROSS",       "NATURAL", "USING",   "EXCEPT", "INTERSECT", "COLLATE", "ANY",    "SOME",
        "DISTINCTROW", "TOP",     "PERCENT", "MOD"};
    return words.count(upper) > 0;
}

bool IsWord(const Token& t, std::string_view upper) {
    return t.kind == Kind::Word && Upper(t.text) == upper;
}

bool IsSymbol(const Token& t, std::string_view symbol) {
    return t.kind == Kind::Symbol && t.text == symbol;
}

bool IsName(const Token& t) {
    return t.kind == Kind::Bracketed || (t.kind == Kind::Word && !IsKeyword(Upper(t.text)));
}

std::vector<Token> Tokenize(std::string_view sql) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    int depth = 0;
    const std::size_t n = sql.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(sql[i]);
        Token t{Kind::Symbol, {}, {}, {}, {}, false, depth, -1, {}};
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        if (c == '[') {
            t.kind = Kind::Bracketed;
            i = Enclosed(sql, i, ']', t.text);
        } else if (c == '\'' || c == '"') {
            t.kind = Kind::String;
            i = QuotedText(sql, i, t.text);
        } else if (c == '#') {
            t.kind = Kind::Date;
            i = Enclosed(sql, i, '#', t.text);
        } else if (std::isdigit(c) || (c == '.' && i + 1 < n &&
                                       std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
            std::size_t j = i;
            while (j < n && (std::isalnum(static_cast<unsigned char>(sql[j])) || sql[j] == '.'))
                ++j;
            t.kind = Kind::Number;
            t.text = std::string(sql.substr(i, j - i));
            i = j;
        } else if (IsWordStart(c)) {
            std::size_t j = i;
            while (j < n && IsWordPart(static_cast<unsigned char>(sql[j]))) ++j;
            t.kind = Kind::Word;
            t.text = std::string(sql.substr(i, j - i));
            i = j;
        } else if (c == ';') {
            t.kind = Kind::Semicolon;
            t.text = ";";
            ++i;
        } else {
            t.text = Operator(sql, i);
            i += t.text.size();
            if (t.text == ")") t.depth = --depth;
            if (t.text == "(") ++depth;
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

}  // namespace actualiz::engine::detail::sql
