#include "engine/ClassicValues.h"

#include <algorithm>
#include <cctype>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/EngineError.h"

namespace actualiz::engine::detail {

std::optional<std::string> TextArg(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_NULL:
            return std::nullopt;
        case SQLITE_INTEGER:
            return std::to_string(sqlite3_value_int64(value));
        case SQLITE_FLOAT:
            return NumberText(sqlite3_value_double(value));
        default:
            return std::string(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                               static_cast<std::size_t>(sqlite3_value_bytes(value)));
    }
}

std::optional<double> NumberArg(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_NULL:
            return std::nullopt;
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            return sqlite3_value_double(value);
        default: {
            std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                  static_cast<std::size_t>(sqlite3_value_bytes(value)));
            return ParseNumberText(text);
        }
    }
}

bool IsNullArg(sqlite3_value* value) {
    return sqlite3_value_type(value) == SQLITE_NULL;
}

std::optional<double> ParseNumberText(std::string_view text) {
    std::string s;
    for (char c : text) s += c == ',' ? '.' : c;
    std::size_t start = s.find_first_not_of(" \t");
    if (start == std::string::npos) return std::nullopt;
    const char* begin = s.c_str() + start;
    char* end = nullptr;
    double d = std::strtod(begin, &end);
    if (end == begin) return std::nullopt;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return std::nullopt;
    // strtod also reads "inf", "nan" and hexadecimal: not numbers to the classic engine.
    for (const char* p = begin; p < end; ++p)
        if (std::isalpha(static_cast<unsigned char>(*p)) && *p != 'e' && *p != 'E')
            return std::nullopt;
    return d;
}

std::string NumberText(double value) {
    return CommaNumberText("%.15g", value);
}

std::string CommaNumberText(const char* conversion, double value) {
    char text[64];
    std::snprintf(text, sizeof text, conversion, value);
    std::string out(text);
    for (char& c : out)
        if (c == '.') c = ',';
    return out;
}

double RoundHalfEven(double value, int digits) {
    const double scale = std::pow(10.0, digits);
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    // The decimal value as written, not its nearest binary neighbour: 2.5 and 0.125 are halves.
    double scaled = value * scale;
    const double nearest = std::round(scaled);
    if (std::fabs(scaled - nearest) < 1e-9 * std::max(1.0, std::fabs(scaled))) scaled = nearest;
    const double result = std::nearbyint(scaled) / scale;
    std::fesetround(mode);
    return result;
}

std::optional<long long> LongOf(double value) {
    const double r = RoundHalfEven(value);
    // Written so that a NaN fails too.
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return std::nullopt;
    return static_cast<long long>(r);
}

std::size_t ValueLimit(sqlite3_context* ctx) {
    const int limit = sqlite3_limit(sqlite3_context_db_handle(ctx), SQLITE_LIMIT_LENGTH, -1);
    return static_cast<std::size_t>(std::min<long long>(limit, kMaxValueBytes));
}

void ResultNumber(sqlite3_context* ctx, double value) {
    if (std::trunc(value) == value && std::fabs(value) < 9.0e15)
        sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(value));
    else
        sqlite3_result_double(ctx, value);
}

void ResultText(sqlite3_context* ctx, const std::string& text) {
    sqlite3_result_text64(ctx, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void ResultRepeated(sqlite3_context* ctx, const std::string& unit, std::size_t count) {
    const std::size_t limit = ValueLimit(ctx);
    if (!unit.empty() && count > limit / unit.size()) return ResultOutOfMemory(ctx);
    const std::size_t size = unit.size() * count;
    // The text is built where SQLite keeps it: no second copy of a long text.
    char* text = static_cast<char*>(sqlite3_malloc64(size + 1));
    if (!text) return ResultOutOfMemory(ctx);
    if (unit.size() == 1) {
        std::fill(text, text + size, unit[0]);
    } else {
        for (std::size_t at = 0; at < size; at += unit.size())
            std::copy(unit.begin(), unit.end(), text + at);
    }
    text[size] = '\0';
    sqlite3_result_text64(ctx, text, size, sqlite3_free, SQLITE_UTF8);
}

void ResultTypeMismatch(sqlite3_context* ctx) {
    sqlite3_result_error(ctx, "No coinciden los tipos de datos en la expresión.", -1);
}

namespace {

void ResultNumberedError(sqlite3_context* ctx, int number) {
    const std::string text = std::to_string(number) + "|" + MakeError(number).description();
    sqlite3_result_error(ctx, text.c_str(), static_cast<int>(text.size()));
}

}  // namespace

void ResultOverflow(sqlite3_context* ctx) {
    ResultNumberedError(ctx, err::kOverflow);
}

void ResultInvalidArgument(sqlite3_context* ctx) {
    ResultNumberedError(ctx, err::kInvalidCall);
}

void ResultOutOfMemory(sqlite3_context* ctx) {
    ResultNumberedError(ctx, err::kOutOfMemory);
}

void Register(sqlite3* db, const char* name, int args,
              void (*fn)(sqlite3_context*, int, sqlite3_value**), bool deterministic) {
    const int flags = SQLITE_UTF8 | (deterministic ? SQLITE_DETERMINISTIC : 0);
    sqlite3_create_function(db, name, args, flags, nullptr, fn, nullptr, nullptr);
}

}  // namespace actualiz::engine::detail
