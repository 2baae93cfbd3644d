#include "engine/Names.h"

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
    return platform::CompareIgnoringCase(a, b) < 0;
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
