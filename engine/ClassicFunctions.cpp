// The classic text functions, "&", Like and the text collation, registered on every connection.
// Letter case comes from one place (platform/NameFold.h), so UCase, Like, InStr and comparison
// all treat "Á" and "á" alike.

#include <algorithm>
#include <string>
#include <vector>

#include "engine/ClassicDates.h"
#include "engine/ClassicValues.h"
#include "engine/SqlDialect.h"
#include "platform/NameFold.h"

namespace actualiz::engine::detail {

namespace {

std::vector<char32_t> CodePoints(const std::string& text, bool fold) {
    return fold ? platform::FoldedCodePoints(text) : platform::CodePoints(text);
}

std::size_t ByteOffset(const std::string& s, std::size_t chars) {
    return platform::CharacterOffset(s, chars);
}

std::size_t CharCount(const std::string& s) {
    return platform::CharacterCount(s);
}

void UCase(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto t = TextArg(argv[0]);
    t ? ResultText(ctx, platform::UpperCase(*t)) : sqlite3_result_null(ctx);
}

void LCase(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto t = TextArg(argv[0]);
    t ? ResultText(ctx, platform::LowerCase(*t)) : sqlite3_result_null(ctx);
}

void Nz(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (!IsNullArg(argv[0]))
        sqlite3_result_value(ctx, argv[0]);
    else if (argc > 1)
        sqlite3_result_value(ctx, argv[1]);
    else
        sqlite3_result_int(ctx, 0);
}

void LeftRight(sqlite3_context* ctx, sqlite3_value** argv, bool left) {
    auto s = TextArg(argv[0]);
    if (!s) return sqlite3_result_null(ctx);
    long long count = sqlite3_value_int64(argv[1]);
    if (count < 0) return ResultInvalidArgument(ctx);
    const std::size_t length = CharCount(*s);
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), length);
    const std::size_t start = left ? 0 : ByteOffset(*s, length - n);
    const std::size_t end = left ? ByteOffset(*s, n) : s->size();
    ResultText(ctx, s->substr(start, end - start));
}

void Left(sqlite3_context* ctx, int, sqlite3_value** argv) {
    LeftRight(ctx, argv, true);
}
void Right(sqlite3_context* ctx, int, sqlite3_value** argv) {
    LeftRight(ctx, argv, false);
}

// Position (from 1) of needle in hay at or after start; 0 when absent.
long long Find(const std::string& hay, const std::string& needle, long long start, bool text) {
    const auto h = CodePoints(hay, text), n = CodePoints(needle, text);
    if (start > static_cast<long long>(h.size())) return 0;
    if (n.empty()) return start;
    for (std::size_t i = static_cast<std::size_t>(start - 1); i + n.size() <= h.size(); ++i)
        if (std::equal(n.begin(), n.end(), h.begin() + static_cast<std::ptrdiff_t>(i)))
            return static_cast<long long>(i + 1);
    return 0;
}

// Comparison mode argument: 0 binary, 1 text; text when absent (the database's own comparison).
bool TextCompare(int argc, sqlite3_value** argv, int i) {
    return argc <= i || IsNullArg(argv[i]) || sqlite3_value_int(argv[i]) != 0;
}

void InStr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const int first = argc >= 3 ? 1 : 0;
    long long start = 1;
    if (first) {
        auto s = NumberArg(argv[0]);
        if (!s) return ResultTypeMismatch(ctx);
        start = static_cast<long long>(*s);
        if (start < 1) return ResultInvalidArgument(ctx);
    }
    auto hay = TextArg(argv[first]), needle = TextArg(argv[first + 1]);
    if (!hay || !needle) return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, Find(*hay, *needle, start, TextCompare(argc, argv, first + 2)));
}

void Space(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto n = NumberArg(argv[0]);
    if (!n) return IsNullArg(argv[0]) ? sqlite3_result_null(ctx) : ResultTypeMismatch(ctx);
    if (*n < 0) return ResultInvalidArgument(ctx);
    ResultText(ctx, std::string(static_cast<std::size_t>(RoundHalfEven(*n)), ' '));
}

void String(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto n = NumberArg(argv[0]);
    if (!n || IsNullArg(argv[1])) return sqlite3_result_null(ctx);
    if (*n < 0) return ResultInvalidArgument(ctx);
    std::string unit;
    if (sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        std::string s = *TextArg(argv[1]);
        if (s.empty()) return ResultInvalidArgument(ctx);
        unit = s.substr(0, ByteOffset(s, 1));
    } else {
        unit = std::string(1, static_cast<char>(sqlite3_value_int(argv[1]) & 0x7F));
    }
    std::string out;
    for (long long i = 0; i < static_cast<long long>(RoundHalfEven(*n)); ++i) out += unit;
    ResultText(ctx, out);
}

void Replace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    auto s = TextArg(argv[0]), find = TextArg(argv[1]), with = TextArg(argv[2]);
    if (!s) return sqlite3_result_null(ctx);
    if (!find || !with) return ResultInvalidArgument(ctx);
    const long long start = argc > 3 ? sqlite3_value_int64(argv[3]) : 1;
    long long count = argc > 4 ? sqlite3_value_int64(argv[4]) : -1;
    const bool text = argc > 5 && TextCompare(argc, argv, 5);
    if (start < 1) return ResultInvalidArgument(ctx);
    // The result begins at start, as the classic function's does.
    std::string rest = s->substr(ByteOffset(*s, static_cast<std::size_t>(start - 1)));
    if (find->empty()) return ResultText(ctx, rest);
    std::string out;
    long long at = 1;
    while (count != 0) {
        long long pos = Find(rest, *find, at, text);
        if (pos == 0) break;
        std::size_t b = ByteOffset(rest, static_cast<std::size_t>(at - 1));
        std::size_t e = ByteOffset(rest, static_cast<std::size_t>(pos - 1));
        out += rest.substr(b, e - b) + *with;
        at = pos + static_cast<long long>(CodePoints(*find, false).size());
        if (count > 0) --count;
    }
    out += rest.substr(ByteOffset(rest, static_cast<std::size_t>(at - 1)));
    ResultText(ctx, out);
}

void StrComp(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    auto a = TextArg(argv[0]), b = TextArg(argv[1]);
    if (!a || !b) return sqlite3_result_null(ctx);
    const bool text = TextCompare(argc, argv, 2);
    const auto x = CodePoints(*a, text), y = CodePoints(*b, text);
    sqlite3_result_int(ctx, x < y ? -1 : (y < x ? 1 : 0));
}

void IsNull(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_result_int(ctx, IsNullArg(argv[0]) ? -1 : 0);
}

bool Truth(sqlite3_value* v) {
    auto n = NumberArg(v);
    return n && *n != 0;
}

void Switch(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (argc % 2 != 0) return ResultInvalidArgument(ctx);
    for (int i = 0; i < argc; i += 2)
        if (Truth(argv[i])) return sqlite3_result_value(ctx, argv[i + 1]);
    sqlite3_result_null(ctx);
}

void Choose(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    auto index = NumberArg(argv[0]);
    if (!index) return sqlite3_result_null(ctx);
    const long long i = static_cast<long long>(*index);
    if (i < 1 || i >= argc) return sqlite3_result_null(ctx);
    sqlite3_result_value(ctx, argv[i]);
}

// a & b: Null only when every part is Null.
void Concat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    std::string out;
    bool any = false;
    for (int i = 0; i < argc; ++i) {
        if (auto t = TextArg(argv[i])) {
            out += *t;
            any = true;
        }
    }
    any ? ResultText(ctx, out) : sqlite3_result_null(ctx);
}

// The classic wildcards: * any run, ? one character, # one digit, [abc] [a-z] [!x] one of (or
// none of) a list; letters compared without regard to case.
bool LikeMatch(const std::vector<char32_t>& p, std::size_t pi, const std::vector<char32_t>& s,
               std::size_t si) {
    while (pi < p.size()) {
        const char32_t c = p[pi];
        if (c == U'*') {
            while (pi < p.size() && p[pi] == U'*') ++pi;
            if (pi == p.size()) return true;
            for (std::size_t k = si; k <= s.size(); ++k)
                if (LikeMatch(p, pi, s, k)) return true;
            return false;
        }
        if (si >= s.size()) return false;
        if (c == U'[') {
            std::size_t end = pi + 1;
            while (end < p.size() && p[end] != U']') ++end;
            if (end == p.size()) return false;  // an unclosed list matches nothing
            bool negate = pi + 1 < end && p[pi + 1] == U'!';
            bool found = false;
            for (std::size_t k = pi + 1 + (negate ? 1 : 0); k < end; ++k) {
                if (k + 2 < end && p[k + 1] == U'-') {
                    found = found || (s[si] >= p[k] && s[si] <= p[k + 2]);
                    k += 2;
                } else {
                    found = found || s[si] == p[k];
                }
            }
            if (found == negate) return false;
            pi = end + 1;
        } else if (c == U'?' || (c == U'#' && s[si] >= U'0' && s[si] <= U'9') || c == s[si]) {
            ++pi;
        } else {
            return false;
        }
        ++si;
    }
    return si == s.size();
}

// The classic Like: SqlRewrite writes "value REGEXP pattern", which SQLite hands to
// regexp(pattern, value). SQLite's LIKE is left alone for the CHECK constraints of the files.
void Like(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto pattern = TextArg(argv[0]), value = TextArg(argv[1]);
    if (!pattern || !value) return sqlite3_result_null(ctx);
    sqlite3_result_int(ctx, LikeMatch(platform::FoldedCodePoints(*pattern), 0,
                                      platform::FoldedCodePoints(*value), 0));
}

int CompareText(void*, int an, const void* a, int bn, const void* b) {
    const auto x = platform::FoldedCodePoints(
        std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(an)));
    const auto y = platform::FoldedCodePoints(
        std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(bn)));
    return x < y ? -1 : (y < x ? 1 : 0);
}

}  // namespace

void RegisterTextFunctions(sqlite3* db) {
    Register(db, "classic_ucase", 1, UCase);
    Register(db, "classic_lcase", 1, LCase);
    Register(db, "classic_nz", -1, Nz);
    Register(db, "classic_left", 2, Left);
    Register(db, "classic_right", 2, Right);
    for (int args : {2, 3, 4}) Register(db, "classic_instr", args, InStr);
    Register(db, "classic_space", 1, Space);
    Register(db, "classic_string", 2, String);
    for (int args : {3, 4, 5, 6}) Register(db, "classic_replace", args, Replace);
    for (int args : {2, 3}) Register(db, "classic_strcomp", args, StrComp);
    Register(db, "classic_isnull", 1, IsNull);
    Register(db, "classic_switch", -1, Switch);
    Register(db, "classic_choose", -1, Choose);
    Register(db, "classic_concat", -1, Concat);
    Register(db, "regexp", 2, Like);
    sqlite3_create_collation(db, "classic_text", SQLITE_UTF8, nullptr, CompareText);
}

void RegisterClassicFunctions(sqlite3* db) {
    RegisterTextFunctions(db);
    RegisterNumberFunctions(db);
    RegisterFormatFunction(db);
    RegisterDateFunctions(db);
}

}  // namespace actualiz::engine::detail
