// The classic date functions on an SQLite connection. Dates come in as stored text or as date
// numbers and go out as stored text ("YYYY-MM-DD HH:MM:SS"), so results compare with stored dates.

#include <algorithm>
#include <cmath>
#include <string>

#include "engine/ClassicDates.h"
#include "engine/ClassicValues.h"
#include "engine/Names.h"
#include "platform/NameFold.h"

namespace actualiz::engine::detail {

namespace {

enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

std::optional<Interval> IntervalArg(sqlite3_value* value) {
    auto text = TextArg(value);
    if (!text) return std::nullopt;
    const std::string t = platform::LowerCase(*text);
    if (t == "yyyy") return Interval::Year;
    if (t == "q") return Interval::Quarter;
    if (t == "m") return Interval::Month;
    if (t == "y") return Interval::DayOfYear;
    if (t == "d") return Interval::Day;
    if (t == "w") return Interval::Weekday;
    if (t == "ww") return Interval::Week;
    if (t == "h") return Interval::Hour;
    if (t == "n") return Interval::Minute;
    if (t == "s") return Interval::Second;
    return std::nullopt;
}

void ResultDate(sqlite3_context* ctx, const ClassicDate& date) {
    ResultText(ctx, StoredDateText(date));
}

// A computed date: the classic engine refuses one outside the range of dates (5).
void ResultComputedDate(sqlite3_context* ctx, const ClassicDate& date) {
    InDateRange(date) ? ResultDate(ctx, date) : ResultInvalidArgument(ctx);
}

// The date argument at index i: false (and the result set) when it is Null or no date.
bool DateArg(sqlite3_context* ctx, sqlite3_value** argv, int i, ClassicDate& date) {
    if (IsNullArg(argv[i])) {
        sqlite3_result_null(ctx);
        return false;
    }
    if (NumberBeyondDates(argv[i])) {
        ResultOverflow(ctx);
        return false;
    }
    auto d = DateOfValue(argv[i]);
    if (!d) {
        ResultTypeMismatch(ctx);
        return false;
    }
    date = *d;
    return true;
}

int FirstDayArg(int argc, sqlite3_value** argv, int i) {
    if (argc <= i || IsNullArg(argv[i])) return 1;
    int first = sqlite3_value_int(argv[i]);
    return first >= 1 && first <= 7 ? first : 1;
}

long long Seconds(const ClassicDate& d) {
    return d.days * 86400 + d.seconds;
}

// The week of the year (first week: the one holding 1 January).
long long WeekOfYear(const ClassicDate& d, int firstDay) {
    const CivilTime c = ToCivil(d);
    const ClassicDate jan1 = FromCivil(c.year, 1, 1);
    const long long startOfFirst = jan1.days - (Weekday(jan1, firstDay) - 1);
    return (d.days - startOfFirst) / 7 + 1;
}

long long Part(Interval interval, const ClassicDate& d, int firstDay) {
    const CivilTime c = ToCivil(d);
    switch (interval) {
        case Interval::Year:
            return c.year;
        case Interval::Quarter:
            return (c.month - 1) / 3 + 1;
        case Interval::Month:
            return c.month;
        case Interval::DayOfYear:
            return d.days - FromCivil(c.year, 1, 1).days + 1;
        case Interval::Day:
            return c.day;
        case Interval::Weekday:
            return Weekday(d, firstDay);
        case Interval::Week:
            return WeekOfYear(d, firstDay);
        case Interval::Hour:
            return c.hour;
        case Interval::Minute:
            return c.minute;
        case Interval::Second:
            return c.second;
    }
    return 0;
}

ClassicDate Add(Interval interval, long long n, const ClassicDate& d) {
    const CivilTime c = ToCivil(d);
    auto months = [&](long long count) {
        // The day stays, or becomes the last of a shorter month.
        const ClassicDate first = FromCivil(c.year, c.month + count, 1);
        const CivilTime f = ToCivil(first);
        const long long last = FromCivil(f.year, f.month + 1, 1).days - first.days;
        ClassicDate r = FromCivil(f.year, f.month, std::min<long long>(c.day, last));
        r.seconds = d.seconds;
        return r;
    };
    switch (interval) {
        case Interval::Year:
            return months(12 * n);
        case Interval::Quarter:
            return months(3 * n);
        case Interval::Month:
            return months(n);
        case Interval::Week:
            return FromCivil(c.year, c.month, c.day + 7 * n, d.seconds);
        case Interval::Hour:
            return FromCivil(c.year, c.month, c.day, d.seconds + 3600 * n);
        case Interval::Minute:
            return FromCivil(c.year, c.month, c.day, d.seconds + 60 * n);
        case Interval::Second:
            return FromCivil(c.year, c.month, c.day, d.seconds + n);
        default:
            return FromCivil(c.year, c.month, c.day + n, d.seconds);
    }
}

long long FloorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// How many interval boundaries lie between a and b (negative when b is earlier).
long long Difference(Interval interval, const ClassicDate& a, const ClassicDate& b, int firstDay) {
    const CivilTime ca = ToCivil(a), cb = ToCivil(b);
    switch (interval) {
        case Interval::Year:
            return cb.year - ca.year;
        case Interval::Quarter:
            return (cb.year * 4 + (cb.month - 1) / 3) - (ca.year * 4 + (ca.month - 1) / 3);
        case Interval::Month:
            return (cb.year * 12 + cb.month) - (ca.year * 12 + ca.month);
        case Interval::Weekday:
            return (b.days - a.days) / 7;
        case Interval::Week: {
            auto start = [&](const ClassicDate& d) { return d.days - (Weekday(d, firstDay) - 1); };
            return (start(b) - start(a)) / 7;
        }
        case Interval::Hour:
            return FloorDiv(Seconds(b), 3600) - FloorDiv(Seconds(a), 3600);
        case Interval::Minute:
            return FloorDiv(Seconds(b), 60) - FloorDiv(Seconds(a), 60);
        case Interval::Second:
            return Seconds(b) - Seconds(a);
        default:
            return b.days - a.days;
    }
}

void Now(sqlite3_context* ctx, int, sqlite3_value**) {
    ResultDate(ctx, Today(true));
}
void DateToday(sqlite3_context* ctx, int, sqlite3_value**) {
    ResultDate(ctx, Today(false));
}
void TimeNow(sqlite3_context* ctx, int, sqlite3_value**) {
    ClassicDate t = Today(true);
    t.days = 0;
    ResultDate(ctx, t);
}

template <Interval I>
void PartOf(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    ClassicDate d;
    if (DateArg(ctx, argv, 0, d)) sqlite3_result_int64(ctx, Part(I, d, FirstDayArg(argc, argv, 1)));
}

void DatePart(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    auto interval = IntervalArg(argv[0]);
    if (!interval) return ResultInvalidArgument(ctx);
    ClassicDate d;
    if (DateArg(ctx, argv, 1, d))
        sqlite3_result_int64(ctx, Part(*interval, d, FirstDayArg(argc, argv, 2)));
}

// How many of an interval the whole range of dates spans, with room to spare: an addition of more
// can only leave the range, and one of fewer computes without overflowing.
double IntervalsInRange(Interval interval) {
    const double days = static_cast<double>(kLastDateDay - kFirstDateDay) + 1;
    switch (interval) {
        case Interval::Year:
            return 10000;
        case Interval::Quarter:
            return 40000;
        case Interval::Month:
            return 120000;
        case Interval::Week:
            return days / 7 + 1;
        case Interval::Hour:
            return days * 24;
        case Interval::Minute:
            return days * 24 * 60;
        case Interval::Second:
            return days * 86400;
        default:
            return days;
    }
}

void DateAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto interval = IntervalArg(argv[0]);
    if (!interval) return ResultInvalidArgument(ctx);
    if (IsNullArg(argv[1])) return sqlite3_result_null(ctx);
    auto n = NumberArg(argv[1]);
    if (!n) return ResultTypeMismatch(ctx);
    ClassicDate d;
    if (!DateArg(ctx, argv, 2, d)) return;
    const double count = std::trunc(*n);
    if (!(std::fabs(count) <= IntervalsInRange(*interval))) return ResultInvalidArgument(ctx);
    ResultComputedDate(ctx, Add(*interval, static_cast<long long>(count), d));
}

void DateDiff(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    auto interval = IntervalArg(argv[0]);
    if (!interval) return ResultInvalidArgument(ctx);
    ClassicDate a, b;
    if (!DateArg(ctx, argv, 1, a) || !DateArg(ctx, argv, 2, b)) return;
    // The count is a Long: seconds across more than 68 years overflow.
    const long long difference = Difference(*interval, a, b, FirstDayArg(argc, argv, 3));
    if (difference < -2147483648LL || difference > 2147483647LL) return ResultOverflow(ctx);
    sqlite3_result_int64(ctx, difference);
}

void DateSerial(sqlite3_context* ctx, int, sqlite3_value** argv) {
    for (int i = 0; i < 3; ++i)
        if (IsNullArg(argv[i])) return sqlite3_result_null(ctx);
    auto y = NumberArg(argv[0]), m = NumberArg(argv[1]), d = NumberArg(argv[2]);
    if (!y || !m || !d) return ResultTypeMismatch(ctx);
    // Each part is an Integer (6 beyond one); the date they make must be in the range (5).
    long long parts[3] = {};
    const double given[3] = {*y, *m, *d};
    for (int i = 0; i < 3; ++i) {
        const double r = RoundHalfEven(given[i]);
        if (!(r >= -32768 && r <= 32767)) return ResultOverflow(ctx);
        parts[i] = static_cast<long long>(r);
    }
    long long year = parts[0];
    if (year >= 0 && year < 30) year += 2000;
    if (year >= 30 && year < 100) year += 1900;
    ResultComputedDate(ctx, FromCivil(year, parts[1], parts[2]));
}

void DateValue(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ClassicDate d;
    if (!DateArg(ctx, argv, 0, d)) return;
    d.seconds = 0;
    ResultDate(ctx, d);
}

void CDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ClassicDate d;
    if (DateArg(ctx, argv, 0, d)) ResultDate(ctx, d);
}

}  // namespace

void RegisterDateFunctions(sqlite3* db) {
    Register(db, "classic_now", 0, Now, false);
    Register(db, "classic_date", 0, DateToday, false);
    Register(db, "classic_time", 0, TimeNow, false);
    for (int args : {1, 2}) {
        Register(db, "classic_year", args, PartOf<Interval::Year>);
        Register(db, "classic_month", args, PartOf<Interval::Month>);
        Register(db, "classic_day", args, PartOf<Interval::Day>);
        Register(db, "classic_weekday", args, PartOf<Interval::Weekday>);
        Register(db, "classic_hour", args, PartOf<Interval::Hour>);
        Register(db, "classic_minute", args, PartOf<Interval::Minute>);
        Register(db, "classic_second", args, PartOf<Interval::Second>);
    }
    Register(db, "classic_datepart", 2, DatePart);
    Register(db, "classic_datepart", 3, DatePart);
    Register(db, "classic_datepart", 4, DatePart);
    Register(db, "classic_dateadd", 3, DateAdd);
    Register(db, "classic_datediff", 3, DateDiff);
    Register(db, "classic_datediff", 4, DateDiff);
    Register(db, "classic_datediff", 5, DateDiff);
    Register(db, "classic_dateserial", 3, DateSerial);
    Register(db, "classic_datevalue", 1, DateValue);
    Register(db, "classic_cdate", 1, CDate);
}

}  // namespace actualiz::engine::detail
