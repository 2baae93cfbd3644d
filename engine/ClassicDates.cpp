#include "engine/ClassicDates.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

namespace actualiz::engine::detail {

namespace {

// Days between 1970-01-01 and a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, long long m, long long d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

const long long kEpoch = DaysFromCivil(1899, 12, 30);

long long FloorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Reads an unsigned number at text[i]; false when there is none.
bool Digits(std::string_view text, std::size_t& i, long long& value, int maxDigits = 4) {
    std::size_t start = i;
    value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) &&
           i - start < static_cast<std::size_t>(maxDigits))
        value = value * 10 + (text[i++] - '0');
    return i > start;
}

void SkipBlanks(std::string_view text, std::size_t& i) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
}

long long FullYear(long long year, std::size_t digits) {
    if (digits > 2) return year;
    return year < 30 ? 2000 + year : 1900 + year;
}

long long DaysInMonth(long long y, long long m) {
    return m == 12 ? 31 : DaysFromCivil(y, m + 1, 1) - DaysFromCivil(y, m, 1);
}

bool ValidDay(long long y, long long m, long long d) {
    return m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

// "h:mm[:ss] [AM|PM]" at text[i]; the seconds of the day.
std::optional<int> ParseTime(std::string_view text, std::size_t& i) {
    long long h = 0, m = 0, s = 0;
    if (!Digits(text, i, h, 2) || i >= text.size() || text[i] != ':') return std::nullopt;
    ++i;
    if (!Digits(text, i, m, 2)) return std::nullopt;
    if (i < text.size() && text[i] == ':') {
        ++i;
        if (!Digits(text, i, s, 2)) return std::nullopt;
    }
    SkipBlanks(text, i);
    if (i + 1 < text.size() && std::toupper(static_cast<unsigned char>(text[i + 1])) == 'M') {
        const char ap = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        if (ap != 'A' && ap != 'P') return std::nullopt;
        if (h < 1 || h > 12) return std::nullopt;
        h = h % 12 + (ap == 'P' ? 12 : 0);
        i += 2;
    }
    if (h > 23 || m > 59 || s > 59) return std::nullopt;
    return static_cast<int>(h * 3600 + m * 60 + s);
}

// The date part: "yyyy-mm-dd" or "a/b/c" (also with "-" or "." between the parts).
std::optional<long long> ParseDay(std::string_view text, std::size_t& i, bool monthFirst) {
    long long a = 0, b = 0, c = 0;
    std::size_t start = i;
    if (!Digits(text, i, a) || i >= text.size()) return std::nullopt;
    const std::size_t aDigits = i - start;
    const char sep = text[i];
    if (sep != '-' && sep != '/' && sep != '.') return std::nullopt;
    ++i;
    if (!Digits(text, i, b, 2) || i >= text.size() || text[i] != sep) return std::nullopt;
    ++i;
    start = i;
    if (!Digits(text, i, c)) return std::nullopt;
    const std::size_t cDigits = i - start;
    long long y = 0, m = 0, d = 0;
    if (aDigits > 2) {
        y = a, m = b, d = c;
    } else {
        y = FullYear(c, cDigits);
        m = monthFirst ? a : b;
        d = monthFirst ? b : a;
        if (!ValidDay(y, m, d) && ValidDay(y, d, m)) std::swap(m, d);
    }
    if (!ValidDay(y, m, d)) return std::nullopt;
    return DaysFromCivil(y, m, d) - kEpoch;
}

}  // namespace

std::optional<ClassicDate> ParseClassicDate(std::string_view text, bool monthFirst) {
    std::size_t i = 0;
    SkipBlanks(text, i);
    ClassicDate date;
    std::size_t mark = i;
    if (auto time = ParseTime(text, mark)) {
        date.seconds = *time;
        i = mark;
    } else {
        auto day = ParseDay(text, i, monthFirst);
        if (!day) return std::nullopt;
        date.days = *day;
        if (i < text.size() && (text[i] == 'T' || text[i] == ' ')) {
            ++i;
            SkipBlanks(text, i);
            if (i < text.size()) {
                auto t = ParseTime(text, i);
                if (!t) return std::nullopt;
                date.seconds = *t;
            }
        }
    }
    SkipBlanks(text, i);
    if (i != text.size()) return std::nullopt;
    return date;
}

CivilTime ToCivil(const ClassicDate& date) {
    long long z = date.days + kEpoch + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    CivilTime c;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = yoe + era * 400 + (c.month <= 2);
    c.hour = date.seconds / 3600;
    c.minute = date.seconds / 60 % 60;
    c.second = date.seconds % 60;
    return c;
}

ClassicDate FromCivil(long long year, long long month, long long day, long long seconds) {
    year += FloorDiv(month - 1, 12);
    month = month - 1 - FloorDiv(month - 1, 12) * 12 + 1;
    ClassicDate d;
    d.days = DaysFromCivil(year, month, 1) - kEpoch + day - 1 + FloorDiv(seconds, 86400);
    d.seconds = static_cast<int>(seconds - FloorDiv(seconds, 86400) * 86400);
    return d;
}

std::string StoredDateText(const ClassicDate& date) {
    const CivilTime c = ToCivil(date);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                  c.hour, c.minute, c.second);
    return text;
}

double Serial(const ClassicDate& date) {
    const double fraction = date.seconds / 86400.0;
    return date.days >= 0 ? static_cast<double>(date.days) + fraction
                          : static_cast<double>(date.days) - fraction;
}

ClassicDate FromSerial(double serial) {
    // Written so that a NaN takes the first end too.
    if (!(serial >= static_cast<double>(kFirstDateDay) - 1))
        serial = static_cast<double>(kFirstDateDay);
    if (!(serial < static_cast<double>(kLastDateDay) + 1))
        serial = static_cast<double>(kLastDateDay) + 86399.0 / 86400.0;
    const double whole = std::trunc(serial);
    ClassicDate d;
    d.days = static_cast<long long>(whole);
    long long seconds = std::llround(std::fabs(serial - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        d.days += 1;
    }
    d.seconds = static_cast<int>(seconds);
    return d;
}

bool NumberBeyondDates(sqlite3_value* value) {
    const int type = sqlite3_value_type(value);
    if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) return false;
    const double serial = sqlite3_value_double(value);
    return !(serial > static_cast<double>(kFirstDateDay) - 1 &&
             serial < static_cast<double>(kLastDateDay) + 1);
}

std::optional<ClassicDate> DateOfValue(sqlite3_value* value) {
    std::optional<ClassicDate> date;
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            if (NumberBeyondDates(value)) return std::nullopt;
            date = FromSerial(sqlite3_value_double(value));
            break;
        case SQLITE_TEXT: {
            std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                  static_cast<std::size_t>(sqlite3_value_bytes(value)));
            // Text typed by a user follows the regional order (day first); stored text is ISO.
            date = ParseClassicDate(text, /*monthFirst=*/false);
            break;
        }
        default:
            return std::nullopt;
    }
    if (date && !InDateRange(*date)) return std::nullopt;
    return date;
}

int Weekday(const ClassicDate& date, int firstDay) {
    // 30 December 1899 was a Saturday (7 counted from Sunday).
    const long long fromSunday = ((date.days + 6) % 7 + 7) % 7 + 1;
    return static_cast<int>((fromSunday - firstDay + 7) % 7 + 1);
}

ClassicDate Today(bool withTime) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return FromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     withTime ? local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec : 0);
}

}  // namespace actualiz::engine::detail
