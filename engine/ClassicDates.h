#pragma once

// Dates as the classic engine computes them. A date is a count of days since 30 December 1899 and
// a time of day; the engine stores it as the text "YYYY-MM-DD HH:MM:SS" (a time alone is a time
// of 30 December 1899), so stored dates compare and sort as text.

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>

namespace actualiz::engine::detail {

struct ClassicDate {
    long long days = 0;  // since 1899-12-30, negative before it
    int seconds = 0;     // of the day, 0..86399
};

// The classic engine's dates run from 1 January 100 to 31 December 9999.
inline constexpr long long kFirstDateDay = -657434;
inline constexpr long long kLastDateDay = 2958465;
inline bool InDateRange(const ClassicDate& date) {
    return date.days >= kFirstDateDay && date.days <= kLastDateDay;
}

struct CivilTime {
    long long year = 1899;
    int month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// Reads "yyyy-mm-dd[ hh:mm[:ss]]" (also with a "T"), "m/d/yyyy" or "d/m/yyyy" (monthFirst chooses;
// an impossible month makes the other order win, as the classic engine does), two-digit years
// (00-29 this century, 30-99 the last), and a time alone "h:mm[:ss] [AM|PM]". Nothing else.
std::optional<ClassicDate> ParseClassicDate(std::string_view text, bool monthFirst);

// "YYYY-MM-DD HH:MM:SS", the engine's stored form.
std::string StoredDateText(const ClassicDate& date);

CivilTime ToCivil(const ClassicDate& date);
// Out-of-range months, days and seconds carry over (DateSerial(2000, 14, 0) is 31 January 2001).
ClassicDate FromCivil(long long year, long long month, long long day, long long seconds = 0);

// The classic engine's number of a date: days and the fraction of the day (before 1899 the
// fraction still counts forward from midnight, so -1.25 is 29 December 1899, 06:00).
double Serial(const ClassicDate& date);
// A number outside the range of dates (or no number at all) gives the nearest end of the range.
ClassicDate FromSerial(double serial);

// A value read from SQLite as a date: stored text or a date number. Null, text that is no date and
// a date outside the range give nothing.
std::optional<ClassicDate> DateOfValue(sqlite3_value* value);
// A number too large or too small to be a date: the classic engine's overflow.
bool NumberBeyondDates(sqlite3_value* value);

// Weekday 1..7 counted from firstDay (1 Sunday ... 7 Saturday).
int Weekday(const ClassicDate& date, int firstDay = 1);

// Today at midnight, or now (local time).
ClassicDate Today(bool withTime);

// Date(), Now(), Time(), Year ... CDate on a connection.
void RegisterDateFunctions(sqlite3* db);

}  // namespace actualiz::engine::detail
