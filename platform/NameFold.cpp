#include "platform/NameFold.h"

#include <algorithm>
#include <vector>

#include <unicode/uchar.h>

namespace actualiz::platform {

namespace {

// A byte that is not part of valid UTF-8 becomes a value above every code point, so it still
// compares (only) equal to itself.
constexpr char32_t kRawByteBase = 0x110000;

std::vector<char32_t> Decode(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        int length = 0;
        char32_t cp = 0;
        if (b0 < 0x80) {
            length = 1;
            cp = b0;
        } else if ((b0 & 0xE0) == 0xC0 && b0 >= 0xC2) {
            length = 2;
            cp = b0 & 0x1F;
        } else if ((b0 & 0xF0) == 0xE0) {
            length = 3;
            cp = b0 & 0x0F;
        } else if ((b0 & 0xF8) == 0xF0 && b0 <= 0xF4) {
            length = 4;
            cp = b0 & 0x07;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0) != 0x80) valid = false;
            cp = (cp << 6) | (b & 0x3F);
        }
        // Reject overlong forms and surrogates so one name has one decoding.
        if (valid && ((length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) ||
                      (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF))
            valid = false;
        if (!valid) {
            out.push_back(kRawByteBase + b0);
            ++i;
        } else {
            out.push_back(cp);
            i += length;
        }
    }
    return out;
}

void Encode(char32_t cp, std::string& out) {
    if (cp >= kRawByteBase) {
        out.push_back(static_cast<char>(cp - kRawByteBase));
    } else if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Unicode simple case folding (ICU): one code point to one, so a folded text keeps its length in
// characters. Every alphabet folds, not only the letters of Latin-1.
char32_t FoldChar(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    if (c >= kRawByteBase) return c;
    return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

std::vector<char32_t> DecodeFolded(std::string_view text) {
    std::vector<char32_t> cps = Decode(text);
    for (char32_t& c : cps) c = FoldChar(c);
    return cps;
}

}  // namespace

std::string FoldCase(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char32_t c : DecodeFolded(name)) Encode(c, out);
    return out;
}

std::string UpperCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : Decode(text))
        Encode(c >= kRawByteBase ? c : static_cast<char32_t>(u_toupper(static_cast<UChar32>(c))),
               out);
    return out;
}

std::string LowerCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : Decode(text))
        Encode(c >= kRawByteBase ? c : static_cast<char32_t>(u_tolower(static_cast<UChar32>(c))),
               out);
    return out;
}

std::vector<char32_t> FoldedCodePoints(std::string_view text) {
    return DecodeFolded(text);
}

std::vector<char32_t> CodePoints(std::string_view text) {
    return Decode(text);
}

std::size_t CharacterCount(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::size_t CharacterOffset(std::string_view text, std::size_t chars) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == chars) return i;
            ++seen;
        }
    }
    return text.size();
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return DecodeFolded(a) == DecodeFolded(b);
}

int CompareIgnoringCase(std::string_view a, std::string_view b) {
    const std::vector<char32_t> fa = DecodeFolded(a);
    const std::vector<char32_t> fb = DecodeFolded(b);
    if (std::lexicographical_compare(fa.begin(), fa.end(), fb.begin(), fb.end())) return -1;
    if (std::lexicographical_compare(fb.begin(), fb.end(), fa.begin(), fa.end())) return 1;
    return a.compare(b);
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*") return true;
    const std::vector<char32_t> p = DecodeFolded(pattern);
    const std::vector<char32_t> n = DecodeFolded(name);
    // Greedy match with one backtrack point: the last "*" seen and where its run ended.
    size_t pi = 0, ni = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == U'?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == U'*') {
            starP = pi++;
            starN = ni;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*') ++pi;
    return pi == p.size();
}

}  // namespace actualiz::platform
