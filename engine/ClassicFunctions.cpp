// The classic text functions, "&", Like and the text collation, registered on every connection.
// Letter case comes from one place (platform/NameFold.h), so UCase, Like, InStr and comparison
// all treat "Á" and "á" alike.

#include <algorithm>
#include <cmath>
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

// A count, start or length argument: a Long, else overflow (6); false with the result set.
bool LongArg(sqlite3_context* ctx, sqlite3_value* value, long long& out) {
    auto n = NumberArg(value);
    if (!n) {
        ResultTypeMismatch(ctx);
        return false;
    }
    auto whole = LongOf(*n);
    if (!whole) {
        ResultOverflow(ctx);
        return false;
    }
    out = *whole;
    return true;
}

void LeftRight(sqlite3_context* ctx, sqlite3_value** argv, bool left) {
    auto s = TextArg(argv[0]);
    if (!s) return sqlite3_result_null(ctx);
    long long count = 0;
    if (!LongArg(ctx, argv[1], count)) return;
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
        if (IsNullArg(argv[0])) return ResultTypeMismatch(ctx);
        if (!LongArg(ctx, argv[0], start)) return;
        if (start < 1) return ResultInvalidArgument(ctx);
    }
    auto hay = TextArg(argv[first]), needle = TextArg(argv[first + 1]);
    if (!hay || !needle) return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, Find(*hay, *needle, start, TextCompare(argc, argv, first + 2)));
}

// Space(n) and String(n, c): n is a Long (6 beyond it), never negative (5), and the text no
// longer than the engine's limit (7): refused before anything is built.
void Space(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (IsNullArg(argv[0])) return sqlite3_result_null(ctx);
    long long n = 0;
    if (!LongArg(ctx, argv[0], n)) return;
    if (n < 0) return ResultInvalidArgument(ctx);
    ResultRepeated(ctx, " ", static_cast<std::size_t>(n));
}

void String(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (IsNullArg(argv[0]) || IsNullArg(argv[1])) return sqlite3_result_null(ctx);
    long long n = 0;
    if (!LongArg(ctx, argv[0], n)) return;
    if (n < 0) return ResultInvalidArgument(ctx);
    std::string unit;
    if (sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        std::string s = *TextArg(argv[1]);
        if (s.empty()) return ResultInvalidArgument(ctx);
        unit = s.substr(0, ByteOffset(s, 1));
    } else {
        unit = std::string(1, static_cast<char>(sqlite3_value_int(argv[1]) & 0x7F));
    }
    ResultRepeated(ctx, unit, static_cast<std::size_t>(n));
}

// The byte offset of each character of a UTF-8 text, and the size at the end.
std::vector<std::size_t> CharacterOffsets(const std::string& s) {
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) offsets.push_back(i);
    offsets.push_back(s.size());
    return offsets;
}

void Replace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    auto s = TextArg(argv[0]), find = TextArg(argv[1]), with = TextArg(argv[2]);
    if (!s) return sqlite3_result_null(ctx);
    if (!find || !with) return ResultInvalidArgument(ctx);
    long long start = 1, count = -1;
    if (argc > 3 && !LongArg(ctx, argv[3], start)) return;
    if (argc > 4 && !LongArg(ctx, argv[4], count)) return;
    const bool text = argc > 5 && TextCompare(argc, argv, 5);
    if (start < 1 || count < -1) return ResultInvalidArgument(ctx);
    // The result begins at start, as the classic function's does.
    const std::string rest = s->substr(ByteOffset(*s, static_cast<std::size_t>(start - 1)));
    if (find->empty()) return ResultText(ctx, rest);
    // One pass over the text's characters finds the matches, whatever their number; the result
    // is built only when it stays within the limit.
    const auto h = CodePoints(rest, text), n = CodePoints(*find, text);
    const std::vector<std::size_t> offsets = CharacterOffsets(rest);
    if (offsets.size() != h.size() + 1) return ResultText(ctx, rest);  // no valid UTF-8
    std::vector<std::size_t> matches;
    std::size_t kept = rest.size();  // bytes of rest that stay
    for (std::size_t i = 0; count != 0 && i + n.size() <= h.size();) {
        if (!std::equal(n.begin(), n.end(), h.begin() + static_cast<std::ptrdiff_t>(i))) {
            ++i;
            continue;
        }
        matches.push_back(i);
        kept -= offsets[i + n.size()] - offsets[i];
        i += n.size();
        if (count > 0) --count;
    }
    const std::size_t limit = ValueLimit(ctx);
    if (kept > limit || (!with->empty() && matches.size() > (limit - kept) / with->size()))
        return ResultOutOfMemory(ctx);
    std::string out;
    out.reserve(kept + matches.size() * with->size());
    std::size_t copied = 0;  // characters of rest already in out
    for (std::size_t at : matches) {
        out.append(rest, offsets[copied], offsets[at] - offsets[copied]);
        out += *with;
        copied = at + n.size();
    }
    out.append(rest, offsets[copied], std::string::npos);
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
    // Compared before it becomes a whole number: an index far beyond the list is only Null.
    const double i = std::trunc(*index);
    if (!(i >= 1 && i < argc)) return sqlite3_result_null(ctx);
    sqlite3_result_value(ctx, argv[static_cast<int>(i)]);
}

// a & b: Null only when every part is Null.
void Concat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const std::size_t limit = ValueLimit(ctx);
    std::string out;
    bool any = false;
    for (int i = 0; i < argc; ++i) {
        if (auto t = TextArg(argv[i])) {
            if (out.size() + t->size() > limit) return ResultOutOfMemory(ctx);
            out += *t;
            any = true;
        }
    }
    any ? ResultText(ctx, out) : sqlite3_result_null(ctx);
}

// Whether the pattern element at p[pi] (not "*") matches the character c; next is where the
// element after it begins. An unclosed list matches nothing.
bool ElementMatches(const std::vector<char32_t>& p, std::size_t pi, char32_t c, std::size_t& next) {
    const char32_t e = p[pi];
    next = pi + 1;
    if (e == U'?') return true;
    if (e == U'#') return c >= U'0' && c <= U'9';
    if (e != U'[') return e == c;
    std::size_t end = pi + 1;
    while (end < p.size() && p[end] != U']') ++end;
    if (end == p.size()) return false;
    next = end + 1;
    const bool negate = pi + 1 < end && p[pi + 1] == U'!';
    bool found = false;
    for (std::size_t k = pi + 1 + (negate ? 1 : 0); k < end; ++k) {
        if (k + 2 < end && p[k + 1] == U'-') {
            found = found || (c >= p[k] && c <= p[k + 2]);
            k += 2;
        } else {
            found = found || c == p[k];
        }
    }
    return found != negate;
}

// The classic wildcards: * any run, ? one character, # one digit, [abc] [a-z] [!x] one of (or
// none of) a list; letters compared without regard to case. Every other element matches one
// character, so going back to the last "*" is enough: time at most pattern times text, never
// more, whatever the pattern.
bool LikeMatch(const std::vector<char32_t>& p, const std::vector<char32_t>& s) {
    std::size_t pi = 0, si = 0;
    bool star = false;
    std::size_t afterStar = 0,
                runEnd = 0;  // the last "*": the element after it, where its run ends
    while (si < s.size()) {
        std::size_t next = 0;
        if (pi < p.size() && p[pi] == U'*') {
            star = true;
            afterStar = ++pi;
            runEnd = si;
        } else if (pi < p.size() && ElementMatches(p, pi, s[si], next)) {
            pi = next;
            ++si;
        } else if (star) {
            // The last "*" takes one more character and the rest is tried again.
            pi = afterStar;
            si = ++runEnd;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*') ++pi;
    return pi == p.size();
}

// The classic Like: SqlRewrite writes "value REGEXP pattern", which SQLite hands to
// regexp(pattern, value). SQLite's LIKE is left alone for the CHECK constraints of the files.
void Like(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto pattern = TextArg(argv[0]), value = TextArg(argv[1]);
    if (!pattern || !value) return sqlite3_result_null(ctx);
    sqlite3_result_int(
        ctx, LikeMatch(platform::FoldedCodePoints(*pattern), platform::FoldedCodePoints(*value)));
}

int CompareText(void*, int an, const void* a, int bn, const void* b) {
    // A catalog's rows are looked up by a table's name against every row: plain ASCII texts are
    // compared without folded copies. Up to the first other byte the folded order is the order
    // of the lowered bytes, and an ASCII prefix stands for as many characters as it has bytes.
    const auto* p = static_cast<const unsigned char*>(a);
    const auto* q = static_cast<const unsigned char*>(b);
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    bool ascii = true;
    for (int i = 0; i < std::min(an, bn); ++i) {
        if ((p[i] | q[i]) & 0x80) {
            ascii = false;
            break;
        }
        if (lower(p[i]) != lower(q[i])) return lower(p[i]) < lower(q[i]) ? -1 : 1;
    }
    if (ascii) return an < bn ? -1 : (bn < an ? 1 : 0);
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
