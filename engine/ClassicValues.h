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

// An integer result when the value is whole and fits, else a real one.
void ResultNumber(sqlite3_context* ctx, double value);
void ResultText(sqlite3_context* ctx, const std::string& text);
// The classic engine's failures inside an expression.
void ResultTypeMismatch(sqlite3_context* ctx);
void ResultOverflow(sqlite3_context* ctx);
void ResultInvalidArgument(sqlite3_context* ctx);

// Registers fn under name on db (UTF-8, deterministic unless told).
void Register(sqlite3* db, const char* name, int args,
              void (*fn)(sqlite3_context*, int, sqlite3_value**), bool deterministic = true);

// The registrations of each group of classic functions.
void RegisterTextFunctions(sqlite3* db);
void RegisterNumberFunctions(sqlite3* db);
void RegisterFormatFunction(sqlite3* db);

}  // namespace actualiz::engine::detail
