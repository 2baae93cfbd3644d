#pragma once

// What the classic functions registered on a connection share: reading their arguments as the
// classic engine converts values, and giving their results. Numbers are written as the program's
// regional settings (Spain) write them: a comma before the decimals.

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>

namespace actualiz::engine::detail {

// The text of an argument; nothing for Null. Numbers as NumberText writes them.
std::optional<std::string> TextArg(sqlite3_value* value);
// The number of an argument; nothing for Null or for text that is no number.
std::optional<double> NumberArg(sqlite3_value* value);
bool IsNullArg(sqlite3_value* value);

// A number read from text: blanks around it, a comma or a point before the decimals, an exponent.
std::optional<double> ParseNumberText(std::string_view text);
// A number as CStr writes it: up to 15 significant digits, comma before the decimals.
std::string NumberText(double value);
// A number printed with a printf conversion for one double ("%.2E"), comma before the decimals.
std::string CommaNumberText(const char* conversion, double value);
// Rounds half to even at the given number of decimals, as Round and CInt do.
double RoundHalfEven(double value, int digits = 0);

// A count, position or length argument as the classic engine takes it, a Long (rounded half to
// even): nothing when it does not fit one.
std::optional<long long> LongOf(double value);

// The longest text or binary value the engine builds or keeps: 2^30 bytes, the classic engine's
// own limit for a memo. Each connection's SQLite length limit is set to it (or to SQLite's own
// maximum when that is lower), so SQLite's functions stop there too.
inline constexpr long long kMaxValueBytes = 1LL << 30;
// The limit on this connection.
std::size_t ValueLimit(sqlite3_context* ctx);

// An integer result when the value is whole and fits, else a real one.
void ResultNumber(sqlite3_context* ctx, double value);
void ResultText(sqlite3_context* ctx, const std::string& text);
// A text of count copies of unit, built in SQLite's memory: 7 when it would be longer than the
// limit or the memory runs out.
void ResultRepeated(sqlite3_context* ctx, const std::string& unit, std::size_t count);
// The classic engine's failures inside an expression. All but the first carry the classic error
// number in their message ("6|Desbordamiento."), which ThrowSqlite reads back.
void ResultTypeMismatch(sqlite3_context* ctx);
void ResultOverflow(sqlite3_context* ctx);         // 6
void ResultInvalidArgument(sqlite3_context* ctx);  // 5, invalid procedure call or argument
void ResultOutOfMemory(sqlite3_context* ctx);      // 7, also for a value beyond the limit

// Registers fn under name on db (UTF-8, deterministic unless told).
void Register(sqlite3* db, const char* name, int args,
              void (*fn)(sqlite3_context*, int, sqlite3_value**), bool deterministic = true);

// The registrations of each group of classic functions.
void RegisterTextFunctions(sqlite3* db);
void RegisterNumberFunctions(sqlite3* db);
void RegisterFormatFunction(sqlite3* db);

}  // namespace actualiz::engine::detail
