#include "engine/Names.h"

#include <algorithm>
#include <cctype>

#include "engine/EngineError.h"
#include "platform/NameFold.h"

namespace actualiz::engine {

bool SameName(std::string_view a, std::string_view b) {
    // Most names are plain ASCII: compare those without building folded copies, since lookups by
    // name run for every table and field a command touches.
    bool ascii = true;
    if (a.size() == b.size()) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            unsigned char x = static_cast<unsigned char>(a[i]);
            unsigned char y = static_cast<unsigned char>(b[i]);
            if ((x | y) & 0x80) {
                ascii = false;
                break;
            }
            if (x != y && std::tolower(x) != std::tolower(y)) return false;
        }
        if (ascii) return true;
    } else {
        for (char c : a)
            if (static_cast<unsigned char>(c) & 0x80) ascii = false;
        for (char c : b)
            if (static_cast<unsigned char>(c) & 0x80) ascii = false;
        if (ascii) return false;
    }
    return platform::EqualsIgnoringCase(a, b);
}

bool NameLess(std::string_view a, std::string_view b) {
    // Collections kept in name order compare names on every insertion, and a database is read
    // again whenever a command opens it: plain ASCII names are ordered here without building
    // folded copies. Every character folds to one code point, so up to the first non-ASCII byte
    // the folded order is the order of the lowered bytes.
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if ((x | y) & 0x80) return platform::CompareIgnoringCase(a, b) < 0;
        if (lower(x) != lower(y)) return lower(x) < lower(y);
    }
    // One name folds to the beginning of the other: the shorter comes first; the same folded
    // name is ordered by its bytes.
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

bool IsSystemName(std::string_view name) {
    return name.substr(0, 4) == "MSys";
}

void CheckName(std::string_view name, std::string_view kind) {
    (void)kind;
    bool ok = !name.empty() && platform::CharacterCount(name) <= 64 && name.front() != ' ';
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f || c == '.' || c == '!' || c == '`' || c == '[' || c == ']')
            ok = false;
    }
    if (!ok) throw MakeError(err::kInvalidName, name);
}

std::string QuoteIdentifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    out += '"';
    return out;
}

std::string QuoteLiteral(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

}  // namespace actualiz::engine
