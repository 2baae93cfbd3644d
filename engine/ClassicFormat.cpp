// The classic Format function: the named formats and the common custom ones, for dates and numbers,
// as the program's regional settings (Spain) write them: "07/12/2026", "lunes, 7 de diciembre de
// 2026", "1.234,50 €".

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "engine/ClassicDates.h"
#include "engine/ClassicValues.h"
#include "platform/NameFold.h"

namespace actualiz::engine::detail {

namespace {

const char* const kDays[] = {"domingo", "lunes",   "martes", "miércoles",
                             "jueves",  "viernes", "sábado"};
const char* const kShortDays[] = {"dom", "lun", "mar", "mié", "jue", "vie", "sáb"};
const char* const kMonths[] = {"enero",      "febrero", "marzo",     "abril",
                               "mayo",       "junio",   "julio",     "agosto",
                               "septiembre", "octubre", "noviembre", "diciembre"};
const char* const kShortMonths[] = {"ene", "feb", "mar", "abr", "may", "jun",
                                    "jul", "ago", "sep", "oct", "nov", "dic"};

std::string Two(long long n) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld", n);
    return text;
}

bool StartsWithNoCase(const std::string& s, std::size_t i, std::string_view word) {
    if (i + word.size() > s.size()) return false;
    return platform::EqualsIgnoringCase(std::string_view(s).substr(i, word.size()), word);
}

std::string FormatDate(const ClassicDate& d, const std::string& f);

std::string GeneralDate(const ClassicDate& d) {
    if (d.days == 0 && d.seconds != 0) return FormatDate(d, "h:nn:ss");
    if (d.seconds == 0) return FormatDate(d, "dd/mm/yyyy");
    return FormatDate(d, "dd/mm/yyyy h:nn:ss");
}

// One run of a date letter ("dd", "mmmm" ...); minutes says an "m" follows an hour.
std::string DatePart(const ClassicDate& d, char letter, std::size_t run, bool minutes, bool ampm) {
    const CivilTime c = ToCivil(d);
    const int weekday = Weekday(d) - 1;
    switch (letter) {
        case 'd':
            if (run == 1) return std::to_string(c.day);
            if (run == 2) return Two(c.day);
            if (run == 3) return kShortDays[weekday];
            if (run == 4) return kDays[weekday];
            return FormatDate(d, run == 5 ? "dd/mm/yyyy" : "dddd, d \"de\" mmmm \"de\" yyyy");
        case 'm':
            if (minutes) return run == 1 ? std::to_string(c.minute) : Two(c.minute);
            if (run == 1) return std::to_string(c.month);
            if (run == 2) return Two(c.month);
            return run == 3 ? kShortMonths[c.month - 1] : kMonths[c.month - 1];
        case 'n':
            return run == 1 ? std::to_string(c.minute) : Two(c.minute);
        case 's':
            return run == 1 ? std::to_string(c.second) : Two(c.second);
        case 'h': {
            int h = ampm ? (c.hour % 12 == 0 ? 12 : c.hour % 12) : c.hour;
            return run == 1 ? std::to_string(h) : Two(h);
        }
        case 'y':
            if (run >= 3) return std::to_string(c.year);
            if (run == 2) return Two(c.year % 100);
            return std::to_string(d.days - FromCivil(c.year, 1, 1).days + 1);
        case 'q':
            return std::to_string((c.month - 1) / 3 + 1);
        case 'w':
            if (run == 1) return std::to_string(Weekday(d));
            return std::to_string(
                (d.days - FromCivil(c.year, 1, 1).days + Weekday(FromCivil(c.year, 1, 1)) - 1) / 7 +
                1);
        default:
            return GeneralDate(d);
    }
}

std::string FormatDate(const ClassicDate& d, const std::string& f) {
    const std::string lower = platform::LowerCase(f);
    const bool ampm = lower.find("am/pm") != std::string::npos ||
                      lower.find("ampm") != std::string::npos ||
                      lower.find("a/p") != std::string::npos;
    const CivilTime c = ToCivil(d);
    std::string out;
    bool afterHour = false;
    // A result beyond the longest value stops here; SQLite refuses it (7).
    for (std::size_t i = 0;
         i < f.size() && out.size() <= static_cast<std::size_t>(kMaxValueBytes);) {
        const char ch = static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
        if (f[i] == '"') {
            std::size_t end = f.find('"', i + 1);
            out += f.substr(i + 1, (end == std::string::npos ? f.size() : end) - i - 1);
            i = end == std::string::npos ? f.size() : end + 1;
        } else if (f[i] == '\\' && i + 1 < f.size()) {
            out += f[i + 1];
            i += 2;
        } else if (StartsWithNoCase(f, i, "am/pm") || StartsWithNoCase(f, i, "ampm")) {
            const bool lower = f[i] == 'a';
            out += c.hour < 12 ? (lower ? "am" : "AM") : (lower ? "pm" : "PM");
            i += StartsWithNoCase(f, i, "ampm") ? 4 : 5;
        } else if (StartsWithNoCase(f, i, "a/p")) {
            const bool lower = f[i] == 'a';
            out += c.hour < 12 ? (lower ? "a" : "A") : (lower ? "p" : "P");
            i += 3;
        } else if (std::string("dmnshyqwc").find(ch) != std::string::npos) {
            std::size_t run = 1;
            while (i + run < f.size() && std::tolower(static_cast<unsigned char>(f[i + run])) == ch)
                ++run;
            out += DatePart(d, ch, run, ch == 'm' && afterHour, ampm);
            afterHour = ch == 'h';
            i += run;
        } else {
            out += f[i++];
        }
    }
    return out;
}

struct NumberPattern {
    std::string prefix, suffix;
    int intZeros = 0, decimals = 0, decimalZeros = 0;
    bool grouping = false, percent = false;
};

NumberPattern ReadPattern(const std::string& f) {
    NumberPattern p;
    const std::size_t first = f.find_first_of("0#.");
    const std::size_t last = f.find_last_of("0#.,");
    if (first == std::string::npos) {
        p.prefix = f;
        return p;
    }
    auto clean = [&p](const std::string& part) {
        std::string out;
        for (char c : part) {
            if (c == '%') p.percent = true;
            if (c != '"' && c != '\\') out += c;
        }
        return out;
    };
    p.prefix = clean(f.substr(0, first));
    p.suffix = clean(f.substr(last + 1));
    bool afterPoint = false;
    for (std::size_t i = first; i <= last; ++i) {
        const char c = f[i];
        if (c == '.') afterPoint = true;
        if (c == ',' && !afterPoint) p.grouping = true;
        if (c == '0' && !afterPoint) ++p.intZeros;
        if ((c == '0' || c == '#') && afterPoint) ++p.decimals;
        if (c == '0' && afterPoint) p.decimalZeros = p.decimals;
    }
    return p;
}

std::string Grouped(const std::string& digits) {
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += '.';
        out += digits[i];
    }
    return out;
}

// One section of a number format applied to a value that is never negative here.
std::string FormatNumber(double value, const NumberPattern& p) {
    if (p.percent) value *= 100;
    const double scale = std::pow(10.0, p.decimals);
    // Format rounds halves away from zero.
    const double rounded = std::round(value * scale) / scale;
    char text[512];
    std::snprintf(text, sizeof text, "%.*f", p.decimals, rounded);
    std::string s(text);
    std::string whole = s.substr(0, s.find('.'));
    std::string fraction = p.decimals > 0 ? s.substr(s.find('.') + 1) : std::string();
    while (static_cast<int>(fraction.size()) > p.decimalZeros && !fraction.empty() &&
           fraction.back() == '0')
        fraction.pop_back();
    if (whole == "0" && p.intZeros == 0) whole.clear();
    while (static_cast<int>(whole.size()) < p.intZeros) whole.insert(0, "0");
    if (p.grouping) whole = Grouped(whole);
    std::string out = p.prefix + whole;
    if (!fraction.empty()) out += "," + fraction;
    return out + p.suffix;
}

std::vector<std::string> Sections(const std::string& f) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (char c : f) {
        if (c == '"') quoted = !quoted;
        if (c == ';' && !quoted)
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

std::string CustomNumber(double value, const std::string& f) {
    const std::vector<std::string> sections = Sections(f);
    if (value < 0 && sections.size() > 1 && !sections[1].empty())
        return FormatNumber(-value, ReadPattern(sections[1]));
    if (value == 0 && sections.size() > 2 && !sections[2].empty())
        return FormatNumber(0, ReadPattern(sections[2]));
    std::string out = FormatNumber(std::fabs(value), ReadPattern(sections[0]));
    return value < 0 && std::round(std::fabs(value) * 1e12) != 0 ? "-" + out : out;
}

std::optional<std::string> NamedNumber(double v, const std::string& name) {
    if (name == "general number") return NumberText(v);
    if (name == "currency") return CustomNumber(v, "#,##0.00 €");
    if (name == "fixed") return CustomNumber(v, "0.00");
    if (name == "standard") return CustomNumber(v, "#,##0.00");
    if (name == "percent") return CustomNumber(v, "0.00%");
    if (name == "yes/no") return v != 0 ? "Sí" : "No";
    if (name == "true/false") return v != 0 ? "Verdadero" : "Falso";
    if (name == "on/off") return v != 0 ? "Activado" : "Desactivado";
    if (name == "scientific") return CommaNumberText("%.2E", v);
    return std::nullopt;
}

std::optional<std::string> NamedDate(const ClassicDate& d, const std::string& name) {
    if (name == "general date") return GeneralDate(d);
    if (name == "long date") return FormatDate(d, "dddddd");
    if (name == "medium date") return FormatDate(d, "dd-mmm-yy");
    if (name == "short date") return FormatDate(d, "dd/mm/yyyy");
    if (name == "long time") return FormatDate(d, "h:nn:ss");
    if (name == "medium time") return FormatDate(d, "hh:nn AM/PM");
    if (name == "short time") return FormatDate(d, "hh:nn");
    return std::nullopt;
}

bool LooksLikeDateFormat(const std::string& f) {
    return f.find_first_of("0#") == std::string::npos &&
           f.find_first_of("dmyhnsqwDMYHNSQW") != std::string::npos;
}

void Format(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    auto text = TextArg(argv[0]);
    if (!text) return sqlite3_result_null(ctx);
    const std::string f = argc > 1 ? TextArg(argv[1]).value_or("") : "";
    const std::string name = platform::LowerCase(f);
    const bool isText = sqlite3_value_type(argv[0]) == SQLITE_TEXT;
    std::optional<ClassicDate> date = isText ? DateOfValue(argv[0]) : std::nullopt;
    const bool numberFormat = NamedNumber(0, name).has_value();
    if (!date && !isText && !numberFormat &&
        (NamedDate(ClassicDate{}, name) || LooksLikeDateFormat(f))) {
        if (NumberBeyondDates(argv[0])) return ResultOverflow(ctx);
        date = DateOfValue(argv[0]);
    }
    if (f.empty()) return ResultText(ctx, date ? GeneralDate(*date) : *text);
    if (date) {
        auto named = NamedDate(*date, name);
        return ResultText(ctx, named ? *named : FormatDate(*date, f));
    }
    auto number = NumberArg(argv[0]);
    if (!number) {
        // Text: ">" upper case, "<" lower case, anything else leaves it as it is.
        if (f == ">") return ResultText(ctx, platform::UpperCase(*text));
        if (f == "<") return ResultText(ctx, platform::LowerCase(*text));
        return ResultText(ctx, *text);
    }
    auto named = NamedNumber(*number, name);
    ResultText(ctx, named ? *named : CustomNumber(*number, f));
}

}  // namespace

void RegisterFormatFunction(sqlite3* db) {
    Register(db, "classic_format", 1, Format);
    Register(db, "classic_format", 2, Format);
}

}  // namespace actualiz::engine::detail
