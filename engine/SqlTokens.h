#pragma once

// Translation of a record source, first phase: the classic text cut into tokens. The later phases
// (SqlNames.h, SqlRewrite.h) fill in each token's SQLite text; SqlDialect.cpp writes it out.

#include <string>
#include <string_view>
#include <vector>

namespace actualiz::engine::detail::sql {

enum class Kind { Word, Bracketed, String, Date, Number, Symbol, Semicolon };

struct Token {
    Kind kind;
    std::string text;    // words, symbols, numbers as written; names and literals without quotes
    std::string out;     // the SQLite text, once a later phase has decided it
    std::string before;  // written just before out (an opening "classic_concat(")
    std::string after;   // written just after out (its closing ")")
    bool dropped = false;
    int depth = 0;  // parentheses open around the token
    // A name that SqlNames found to be a field of a source the statement reads: the source's
    // number (Context::sources) and the field's name as stored; -1 for anything else.
    int source = -1;
    std::string field;
};

// ASCII upper case, for keywords.
std::string Upper(std::string_view s);
bool IsKeyword(const std::string& upper);
bool IsWord(const Token& t, std::string_view upper);
bool IsSymbol(const Token& t, std::string_view symbol);
// A name, bare or bracketed, as opposed to a keyword.
bool IsName(const Token& t);

// Cuts the text into tokens; an unclosed bracket, quote or date gives 3131.
std::vector<Token> Tokenize(std::string_view sql);

}  // namespace actualiz::engine::detail::sql
