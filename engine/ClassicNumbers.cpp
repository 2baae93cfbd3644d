// The classic conversion and number functions: CCur, CInt, CLng, CDbl, CStr, CBool, Int, Fix,
// Round (half to even), Sgn and Val.

#include <cctype>
#include <cmath>
#include <optional>
#include <string>

#include "engine/ClassicValues.h"
#include "platform/NameFold.h"

namespace actualiz::engine::detail {

namespace {

// The number of the first argument; false (and the result set) when it is Null or no number.
// Null goes through as Null, so a conversion over a column with empty rows keeps its other rows.
bool NumberOf(sqlite3_context* ctx, sqlite3_value* value, double& n) {
    if (IsNullArg(value)) {
        sqlite3_result_null(ctx);
        return false;
    }
    if (auto b = TextArg(value)) {
        const std::string lower = platform::LowerCase(*b);
        if (lower == "true" || lower == "verdadero") {
            n = -1;
            return true;
        }
        if (lower == "false" || lower == "falso") {
            n = 0;
            return true;
        }
    }
    auto d = NumberArg(value);
    if (!d) {
        ResultTypeMismatch(ctx);
        return false;
    }
    n = *d;
    return true;
}

template <long long Min, long long Max>
void ToWhole(sqlite3_context* ctx, int, sqlite3_value** argv) {
    double n = 0;
    if (!NumberOf(ctx, argv[0], n)) return;
    const double r = RoundHalfEven(n);
    if (r < static_cast<double>(Min) || r > static_cast<double>(Max)) return ResultOverflow(ctx);
    sqlite3_result_int64(ctx, static_cast<long long>(r));
}

void CCur(sqlite3_context* ctx, int, sqlite3_value** argv) {
    double n = 0;
    if (NumberOf(ctx, argv[0], n)) ResultNumber(ctx, RoundHalfEven(n, 4));
}

void CDbl(sqlite3_context* ctx, int, sqlite3_value** argv) {
    double n = 0;
    if (NumberOf(ctx, argv[0], n)) sqlite3_result_double(ctx, n);
}

void CBool(sqlite3_context* ctx, int, sqlite3_value** argv) {
    double n = 0;
    if (NumberOf(ctx, argv[0], n)) sqlite3_result_int(ctx, n != 0 ? -1 : 0);
}

void CStr(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto t = TextArg(argv[0]);
    t ? ResultText(ctx, *t) : sqlite3_result_null(ctx);
}

void Int(sqlite3_context* ctx, int, sqlite3_value** argv) {
    double n = 0;
    if (NumberOf(ctx, argv[0], n)) ResultNumber(ctx, std::floor(n));
}

void Fix(sqlite3_context* ctx, int, sqlite3_value** argv) {
    double n = 0;
    if (NumberOf(ctx, argv[0], n)) ResultNumber(ctx, std::trunc(n));
}

void Round(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    double n = 0;
    if (!NumberOf(ctx, argv[0], n)) return;
    const int digits = argc > 1 ? sqlite3_value_int(argv[1]) : 0;
    if (digits < 0) return ResultInvalidArgument(ctx);
    const double r = RoundHalfEven(n, digits);
    digits == 0 ? ResultNumber(ctx, r) : sqlite3_result_double(ctx, r);
}

void Sgn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    double n = 0;
    if (NumberOf(ctx, argv[0], n)) sqlite3_result_int(ctx, n > 0 ? 1 : (n < 0 ? -1 : 0));
}

// Val reads as much of the text as makes a number, blanks anywhere ignored, a point before the
// decimals whatever the regional settings, &H and &O for hexadecimal and octal (nothing when
// those need more than 32 bits: the classic overflow).
std::optional<double> ValOf(const std::string& text) {
    std::string s;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') s += c;
    if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
        const int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
        long long v = 0;
        for (std::size_t i = 2; i < s.size(); ++i) {
            int d = std::isdigit(static_cast<unsigned char>(s[i])) ? s[i] - '0'
                    : std::isxdigit(static_cast<unsigned char>(s[i]))
                        ? std::tolower(static_cast<unsigned char>(s[i])) - 'a' + 10
                        : 99;
            if (d >= base) break;
            v = v * base + d;
            if (v > 0xFFFFFFFFLL) return std::nullopt;
        }
        return static_cast<double>(v);
    }
    std::size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) number += s[i++];
    bool point = false;
    while (i < s.size() &&
           (std::isdigit(static_cast<unsigned char>(s[i])) || (s[i] == '.' && !point))) {
        point = point || s[i] == '.';
        number += s[i++];
    }
    if (i + 1 < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::string exponent = "e";
        std::size_t j = i + 1;
        if (s[j] == '-' || s[j] == '+') exponent += s[j++];
        std::size_t digits = j;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) exponent += s[j++];
        if (j > digits) number += exponent;
    }
    return number.empty() || number == "-" || number == "+" || number == "."
               ? 0.0
               : std::strtod(number.c_str(), nullptr);
}

void Val(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto t = TextArg(argv[0]);
    if (!t) return sqlite3_result_null(ctx);
    if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return sqlite3_result_value(ctx, argv[0]);
    auto value = ValOf(*t);
    value ? ResultNumber(ctx, *value) : ResultOverflow(ctx);
}

}  // namespace

void RegisterNumberFunctions(sqlite3* db) {
    Register(db, "classic_ccur", 1, CCur);
    Register(db, "classic_cint", 1, ToWhole<-32768, 32767>);
    Register(db, "classic_clng", 1, ToWhole<-2147483648LL, 2147483647LL>);
    Register(db, "classic_cdbl", 1, CDbl);
    Register(db, "classic_cstr", 1, CStr);
    Register(db, "classic_cbool", 1, CBool);
    Register(db, "classic_int", 1, Int);
    Register(db, "classic_fix", 1, Fix);
    Register(db, "classic_round", 1, Round);
    Register(db, "classic_round", 2, Round);
    Register(db, "classic_sgn", 1, Sgn);
    Register(db, "classic_val", 1, Val);
}

}  // namespace actualiz::engine::detail
