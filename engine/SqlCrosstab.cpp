#include "engine/SqlCrosstab.h"

#include <memory>

#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/Names.h"
#include "engine/SqlDialect.h"
#include "engine/Sqlite.h"

namespace actualiz::engine::detail::sql {

namespace {

std::size_t FindTop(const std::vector<Token>& tokens, std::string_view word, std::size_t from) {
    for (std::size_t i = from; i < tokens.size(); ++i)
        if (tokens[i].depth == 0 && IsWord(tokens[i], word)) return i;
    return tokens.size();
}

std::size_t Closing(const std::vector<Token>& tokens, std::size_t open) {
    for (std::size_t i = open + 1; i < tokens.size(); ++i)
        if (IsSymbol(tokens[i], ")") && tokens[i].depth == tokens[open].depth) return i;
    throw MakeError(err::kSyntaxError, "TRANSFORM");
}

struct PivotValue {
    std::string literal;  // classic text of the value, empty for Null
    std::string column;   // the column's name
};

std::string ValueLiteral(const Value& v) {
    if (std::holds_alternative<std::string>(v)) {
        std::string out = "'";
        for (char c : std::get<std::string>(v))
            out += c == '\'' ? std::string("''") : std::string(1, c);
        return out + "'";
    }
    return ValueToText(v);
}

// The distinct values of the pivot expression over the crosstab's rows, ascending.
std::vector<PivotValue> ReadPivotValues(const std::string& classicSql, Context& cx) {
    TranslatedSelect select = TranslateSelect(classicSql, cx.database, cx.given);
    sqlite3* db = cx.database.Handle();
    SourceStatement stmt = PrepareSource(db, select.sql, "PIVOT");
    int rc = SQLITE_OK;
    for (std::size_t p = 0; p < select.parameters.size(); ++p)
        BindValue(stmt.get(), static_cast<int>(p + 1), ParameterValue(select, p, cx.given));
    std::vector<PivotValue> values;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        Value value = ColumnValue(stmt.get(), 0);
        if (IsNull(value)) {
            values.push_back({{}, "<>"});
            continue;
        }
        // Bytes name a column as their text does.
        if (std::holds_alternative<std::vector<unsigned char>>(value)) value = ValueToText(value);
        values.push_back({ValueLiteral(value), ValueToText(value)});
    }
    if (rc != SQLITE_DONE) ThrowSqlite(db, rc, "PIVOT");
    return values;
}

}  // namespace

std::string ClassicText(const std::vector<Token>& tokens, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to && i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (!out.empty()) out += ' ';
        switch (t.kind) {
            case Kind::Bracketed:
                out += "[" + t.text + "]";
                break;
            case Kind::String:
                out += ValueLiteral(Value(t.text));
                break;
            case Kind::Date:
                out += "#" + t.text + "#";
                break;
            default:
                out += t.text;
        }
    }
    return out;
}

std::string CrosstabAsSelect(const std::vector<Token>& tokens, Context& cx) {
    const std::size_t select = FindTop(tokens, "SELECT", 1);
    const std::size_t pivot = FindTop(tokens, "PIVOT", select);
    const std::size_t from = FindTop(tokens, "FROM", select);
    // TRANSFORM Aggregate ( expression ) [AS alias]
    if (select >= tokens.size() || pivot >= tokens.size() || from > pivot || select < 4 ||
        tokens[1].kind != Kind::Word || !IsSymbol(tokens[2], "("))
        throw MakeError(err::kSyntaxError, "TRANSFORM");
    const std::size_t close = Closing(tokens, 2);
    const std::string aggregate = tokens[1].text;
    // Count(*) counts the rows of the value: any value that is not Null does.
    const std::string written = ClassicText(tokens, 3, close);
    const std::string value = written == "*" ? "1" : written;

    std::size_t pivotEnd = FindTop(tokens, "IN", pivot);
    const std::string pivotExpression = ClassicText(tokens, pivot + 1, pivotEnd);
    std::vector<PivotValue> values;
    if (pivotEnd < tokens.size()) {
        // PIVOT b IN ('x', 'y'): those columns, in that order.
        for (std::size_t i = pivotEnd + 1; i < tokens.size(); ++i) {
            const Token& t = tokens[i];
            if (t.kind == Kind::String || t.kind == Kind::Number || t.kind == Kind::Date)
                values.push_back({ClassicText(tokens, i, i + 1), t.text});
        }
    } else {
        const std::size_t group = FindTop(tokens, "GROUP", from);
        values =
            ReadPivotValues("SELECT DISTINCT " + pivotExpression + " " +
                                ClassicText(tokens, from, std::min(group, pivot)) + " ORDER BY 1",
                            cx);
    }

    std::string columns;
    for (const PivotValue& v : values) {
        const std::string test = v.literal.empty() ? "(" + pivotExpression + ") Is Null"
                                                   : "(" + pivotExpression + ") = " + v.literal;
        // A group without rows of this value shows an empty cell, whatever the aggregate.
        columns += ", IIf(Count(IIf(" + test + ", 1, Null)) = 0, Null, " + aggregate + "(IIf(" +
                   test + ", " + value + ", Null))) AS [" + v.column + "]";
    }
    return ClassicText(tokens, select, from) + columns + " " + ClassicText(tokens, from, pivot);
}

}  // namespace actualiz::engine::detail::sql
