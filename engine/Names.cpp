#include "engine/Names.h"

#include "engine/EngineError.h"
#include "platform/NameFold.h"

namespace actualiz::engine {

bool SameName(std::string_view a, std::string_view b) {
    return platform::EqualsIgnoringCase(a, b);
}

bool NameLess(std::string_view a, std::string_view b) {
    return platform::CompareIgnoringCase(a, b) < 0;
}

bool IsSystemName(std::string_view name) {
    return name.substr(0, 4) == "MSys";
}

namespace {

// Characters, not bytes: names are UTF-8.
std::size_t CharacterCount(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

}  // namespace

void CheckName(std::string_view name, std::string_view kind) {
    (void)kind;
    bool ok = !name.empty() && CharacterCount(name) <= 64 && name.front() != ' ';
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
