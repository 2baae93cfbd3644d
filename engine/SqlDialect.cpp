#include "engine/SqlDialect.h"

#include <cctype>
#include <set>
#include <vector>

#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/Names.h"

namespace actualiz::engine::detail {

namespace {

enum class Kind { Word, Bracketed, String, Date, Number, Symbol, Semicolon };

struct Token {
    Kind kind;
    std::string text;  // words, symbols, numbers as written; names and literals without quotes
};

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool IsWordStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool IsWordPart(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

std::vector<Token> Tokenize(std::string_view sql) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(sql[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (c == '[') {
            std::size_t end = sql.find(']', i + 1);
            if (end == std::string_view::npos) throw MakeError(err::kSyntaxError, sql.substr(i));
            tokens.push_back({Kind::Bracketed, std::string(sql.substr(i + 1, end - i - 1))});
            i = end + 1;
        } else if (c == '\'' || c == '"') {
            std::string text;
            std::size_t j = i + 1;
            bool closed = false;
            while (j < n) {
                if (sql[j] == static_cast<char>(c)) {
                    if (j + 1 < n && sql[j + 1] == static_cast<char>(c)) {
                        text += static_cast<char>(c);
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                text += sql[j++];
            }
            if (!closed) throw MakeError(err::kSyntaxError, sql.substr(i));
            tokens.push_back({Kind::String, text});
            i = j;
        } else if (c == '#') {
            std::size_t end = sql.find('#', i + 1);
            if (end == std::string_view::npos) throw MakeError(err::kSyntaxError, sql.substr(i));
            tokens.push_back({Kind::Date, std::string(sql.substr(i + 1, end - i - 1))});
            i = end + 1;
        } else if (std::isdigit(c) || (c == '.' && i + 1 < n &&
                                       std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
            std::size_t j = i;
            while (j < n && (std::isalnum(static_cast<unsigned char>(sql[j])) || sql[j] == '.'))
                ++j;
            tokens.push_back({Kind::Number, std::string(sql.substr(i, j - i))});
            i = j;
        } else if (IsWordStart(c)) {
            std::size_t j = i;
            while (j < n && IsWordPart(static_cast<unsigned char>(sql[j]))) ++j;
            tokens.push_back({Kind::Word, std::string(sql.substr(i, j - i))});
            i = j;
        } else if (c == ';') {
            tokens.push_back({Kind::Semicolon, ";"});
            ++i;
        } else {
            std::string sym(1, static_cast<char>(c));
            if (i + 1 < n) {
                std::string two = std::string(sql.substr(i, 2));
                if (two == "<>" || two == "<=" || two == ">=" || two == "!=" || two == "||")
                    sym = two;
            }
            tokens.push_back({Kind::Symbol, sym});
            i += sym.size();
        }
    }
    return tokens;
}

const std::set<std::string>& Keywords() {
    static const std::set<std::string> words = {
        "SELECT", "FROM",    "WHERE",   "AND",    "OR",        "NOT",     "LIKE",   "IN",
        "IS",     "NULL",    "ORDER",   "BY",     "ASC",       "DESC",    "AS",     "JOIN",
        "INNER",  "LEFT",    "RIGHT",   "OUTER",  "ON",        "GROUP",   "HAVING", "DISTINCT",
        "UNION",  "ALL",     "BETWEEN", "EXISTS", "CASE",      "WHEN",    "THEN",   "ELSE",
        "END",    "COUNT",   "SUM",     "AVG",    "MIN",       "MAX",     "CAST",   "ESCAPE",
        "INTO",   "VALUES",  "SET",     "INSERT", "UPDATE",    "DELETE",  "LIMIT",  "OFFSET",
        "CROSS",  "NATURAL", "USING",   "EXCEPT", "INTERSECT", "COLLATE", "ANY",    "SOME"};
    return words;
}

// Classic function names that SQLite spells otherwise or lacks.
std::string MapFunction(const std::string& upper) {
    if (upper == "UCASE") return "upper";
    if (upper == "LCASE") return "lower";
    if (upper == "LEN") return "length";
    if (upper == "MID") return "substr";
    if (upper == "IIF") return "iif";
    if (upper == "NZ") return "classic_nz";
    if (upper == "LEFT") return "classic_left";
    if (upper == "RIGHT") return "classic_right";
    return {};
}

std::string LikePattern(const std::string& pattern, bool& needsEscape) {
    std::string out;
    for (char c : pattern) {
        if (c == '*') {
            out += '%';
        } else if (c == '?') {
            out += '_';
        } else if (c == '%' || c == '_' || c == '\\') {
            out += '\\';
            out += c;
            needsEscape = true;
        } else {
            out += c;
        }
    }
    return out;
}

class Translator {
  public:
    Translator(Database& database, int depth) : database_(database), depth_(depth) {}

    TranslatedSelect Run(std::string_view classicSql) {
        std::vector<Token> tokens = Tokenize(classicSql);
        // One statement: a closing semicolon may follow, nothing else.
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            if (tokens[i].kind == Kind::Semicolon) {
                if (i + 1 != tokens.size()) throw MakeError(err::kCharactersAfterEnd);
                tokens.pop_back();
                break;
            }
        }
        std::size_t first = 0;
        while (first < tokens.size() && tokens[first].kind == Kind::Symbol &&
               tokens[first].text == "(")
            ++first;
        std::string verb = first < tokens.size() && tokens[first].kind == Kind::Word
                               ? Upper(tokens[first].text)
                               : std::string();
        if (verb != "SELECT") {
            static const std::set<std::string> other = {"INSERT",    "UPDATE",     "DELETE",
                                                        "TRANSFORM", "PARAMETERS", "CREATE",
                                                        "ALTER",     "DROP",       "PROCEDURE"};
            if (other.count(verb)) throw MakeError(err::kInvalidOperation, verb);
            throw MakeError(err::kInvalidSql);
        }

        Source plainSource = first == 0 ? PlainSource(tokens) : Source{};

        std::vector<std::string> out;
        std::string limit;
        int depth = 0;
        int selectAt = -1;
        bool afterFrom = false;
        bool fromClosed = false;
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            const Token& t = tokens[i];
            const Token* prev = i > 0 ? &tokens[i - 1] : nullptr;
            const Token* next = i + 1 < tokens.size() ? &tokens[i + 1] : nullptr;
            if (t.kind == Kind::Symbol) {
                if (t.text == "(") ++depth;
                if (t.text == ")") --depth;
                if (t.text == "&") {
                    out.push_back("||");
                } else if (t.text == "!") {
                    out.push_back(".");
                } else {
                    out.push_back(t.text);
                }
                continue;
            }
            if (t.kind == Kind::Number) {
                out.push_back(t.text);
                continue;
            }
            if (t.kind == Kind::String || t.kind == Kind::Date) {
                bool afterLike = prev && prev->kind == Kind::Word && Upper(prev->text) == "LIKE";
                if (afterLike && t.kind == Kind::String) {
                    bool escape = false;
                    std::string pattern = LikePattern(t.text, escape);
                    out.push_back(QuoteLiteral(pattern) + (escape ? " ESCAPE '\\'" : ""));
                } else {
                    out.push_back(QuoteLiteral(t.text));
                }
                continue;
            }
            if (t.kind == Kind::Word) {
                std::string upper = Upper(t.text);
                if (upper == "SELECT" && depth == 0 && selectAt < 0)
                    selectAt = static_cast<int>(out.size());
                if (depth == 0 && upper == "INTO") throw MakeError(err::kInvalidOperation, "INTO");
                if (depth == 0 && upper == "FROM") afterFrom = true;
                if (depth == 0 && afterFrom &&
                    (upper == "WHERE" || upper == "ORDER" || upper == "GROUP" ||
                     upper == "HAVING" || upper == "UNION"))
                    fromClosed = true;
                if (upper == "TRUE") {
                    out.push_back("-1");
                    continue;
                }
                if (upper == "FALSE") {
                    out.push_back("0");
                    continue;
                }
                if (upper == "DISTINCTROW") continue;
                if (upper == "TOP" && next && next->kind == Kind::Number) {
                    limit = next->text;
                    ++i;
                    if (i + 1 < tokens.size() && Upper(tokens[i + 1].text) == "PERCENT")
                        throw MakeError(err::kSyntaxError, "TOP PERCENT");
                    continue;
                }
                if (next && next->kind == Kind::Symbol && next->text == "(") {
                    std::string mapped = MapFunction(upper);
                    out.push_back(mapped.empty() ? t.text : mapped);
                    continue;
                }
                if (Keywords().count(upper)) {
                    out.push_back(t.text);
                    continue;
                }
            }
            // A name, bare or bracketed.
            bool member =
                prev && prev->kind == Kind::Symbol && (prev->text == "." || prev->text == "!");
            if (!member) {
                int ti = database_.TableDefs().Find(t.text);
                if (ti >= 0) {
                    out.push_back(QuoteIdentifier(database_.TableDefs()[ti]->Name()));
                    continue;
                }
                int qi = database_.QueryDefs().Find(t.text);
                if (qi >= 0 && depth == 0 && afterFrom && !fromClosed) {
                    if (depth_ > 16) throw MakeError(err::kSyntaxError, t.text);
                    auto q = database_.QueryDefs()[qi];
                    TranslatedSelect inner = Translator(database_, depth_ + 1).Run(q->SQL());
                    out.push_back("(" + inner.sql + ") AS " + QuoteIdentifier(q->Name()));
                    continue;
                }
            }
            // A field: written as the table spells it, so that SQLite (whose case folding is
            // ASCII only) also finds names that differ in the case of an accented letter.
            std::string column = t.text;
            for (const auto& table : database_.TableDefs()) {
                int fi = table->Fields().Find(t.text);
                if (fi >= 0) {
                    column = table->Fields()[fi]->Name();
                    break;
                }
            }
            out.push_back(QuoteIdentifier(column));
        }

        TranslatedSelect result;
        result.sql = Join(out) + (limit.empty() ? "" : " LIMIT " + limit);
        if (!plainSource.table.empty() && selectAt >= 0) {
            std::vector<std::string> withRowId = out;
            const std::string& qualifier =
                plainSource.alias.empty() ? plainSource.table : plainSource.alias;
            withRowId.insert(withRowId.begin() + selectAt + 1,
                             QuoteIdentifier(qualifier) + "._rowid_,");
            result.singleTable = plainSource.table;
            result.sqlWithRowId = Join(withRowId);
        }
        return result;
    }

  private:
    static std::string Join(const std::vector<std::string>& parts) {
        std::string s;
        for (const auto& p : parts) {
            if (!s.empty() && p != "," && p != ")" && p != "." && s.back() != '(' &&
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

    static bool IsName(const Token& t) {
        return t.kind == Kind::Bracketed ||
               (t.kind == Kind::Word && !Keywords().count(Upper(t.text)) &&
                Upper(t.text) != "DISTINCTROW" && Upper(t.text) != "TOP");
    }

    // The table of a statement that reads plain rows of one table: SELECT ... FROM table [[AS]
    // alias] [WHERE ...] [ORDER BY ...], with no join, grouping, DISTINCT, TOP or union.
    Source PlainSource(const std::vector<Token>& tokens) const {
        static const std::set<std::string> spoilers = {
            "JOIN",        "UNION", "GROUP",  "HAVING",    "DISTINCT",
            "DISTINCTROW", "TOP",   "EXCEPT", "INTERSECT", "LIMIT"};
        int depth = 0;
        std::size_t from = 0;
        int fromCount = 0;
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            const Token& t = tokens[i];
            if (t.kind == Kind::Symbol && t.text == "(") ++depth;
            if (t.kind == Kind::Symbol && t.text == ")") --depth;
            if (depth != 0 || t.kind != Kind::Word) continue;
            std::string upper = Upper(t.text);
            if (spoilers.count(upper)) return {};
            if (upper == "FROM") {
                from = i;
                ++fromCount;
            }
        }
        if (fromCount != 1 || from + 1 >= tokens.size() || !IsName(tokens[from + 1])) return {};
        int ti = database_.TableDefs().Find(tokens[from + 1].text);
        if (ti < 0) return {};
        Source source;
        source.table = database_.TableDefs()[ti]->Name();
        std::size_t k = from + 2;
        if (k < tokens.size() && tokens[k].kind == Kind::Word && Upper(tokens[k].text) == "AS") {
            ++k;
            if (k >= tokens.size() || !IsName(tokens[k])) return {};
        }
        if (k < tokens.size() && IsName(tokens[k])) source.alias = tokens[k++].text;
        if (k < tokens.size()) {
            std::string upper = tokens[k].kind == Kind::Word ? Upper(tokens[k].text) : "";
            if (upper != "WHERE" && upper != "ORDER") return {};
        }
        return source;
    }

    Database& database_;
    int depth_;
};

void ClassicNz(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) != SQLITE_NULL) {
        sqlite3_result_value(ctx, argv[0]);
    } else if (argc > 1) {
        sqlite3_result_value(ctx, argv[1]);
    } else {
        sqlite3_result_int(ctx, 0);
    }
}

int Utf8Length(const unsigned char* s, int bytes) {
    int n = 0;
    for (int i = 0; i < bytes; ++i)
        if ((s[i] & 0xC0) != 0x80) ++n;
    return n;
}

// Byte offset of character index chars in s.
int Utf8Offset(const unsigned char* s, int bytes, int chars) {
    int i = 0;
    int seen = 0;
    while (i < bytes) {
        if ((s[i] & 0xC0) != 0x80) {
            if (seen == chars) return i;
            ++seen;
        }
        ++i;
    }
    return bytes;
}

void ClassicLeftRight(sqlite3_context* ctx, int, sqlite3_value** argv, bool left) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const unsigned char* s = sqlite3_value_text(argv[0]);
    int bytes = sqlite3_value_bytes(argv[0]);
    long long count = sqlite3_value_int64(argv[1]);
    int length = Utf8Length(s, bytes);
    if (count < 0) count = 0;
    if (count > length) count = length;
    int start = left ? 0 : Utf8Offset(s, bytes, length - static_cast<int>(count));
    int end = left ? Utf8Offset(s, bytes, static_cast<int>(count)) : bytes;
    sqlite3_result_text(ctx, reinterpret_cast<const char*>(s) + start, end - start,
                        SQLITE_TRANSIENT);
}

}  // namespace

TranslatedSelect TranslateSelect(std::string_view classicSql, Database& database) {
    return Translator(database, 0).Run(classicSql);
}

void RegisterClassicFunctions(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "classic_nz", -1, flags, nullptr, ClassicNz, nullptr, nullptr);
    sqlite3_create_function(
        db, "classic_left", 2, flags, nullptr,
        [](sqlite3_context* c, int n, sqlite3_value** v) { ClassicLeftRight(c, n, v, true); },
        nullptr, nullptr);
    sqlite3_create_function(
        db, "classic_right", 2, flags, nullptr,
        [](sqlite3_context* c, int n, sqlite3_value** v) { ClassicLeftRight(c, n, v, false); },
        nullptr, nullptr);
}

}  // namespace actualiz::engine::detail
