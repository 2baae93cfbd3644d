#include "jet/format/TextKey.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>

#include "engine/EngineError.h"
#include "jet/format/Text.h"

namespace actualiz::engine::jet::format {

namespace {

constexpr unsigned char kSectionEnd = 0x01;
constexpr unsigned char kKeyEnd = 0x00;
constexpr unsigned char kPlainMark = 0x02;  // the accent mark of a character without one

// A character that sorts by its weights: one or two bytes each, two weights for a letter that
// sorts as two (Æ as AE, ß as SS), and its accent mark (0x02 none, 0x0E acute, 0x0F grave ...).
struct Weight {
    char16_t character;
    const char* bytes;
    std::uint8_t length;
    std::uint8_t mark;
};

// Every weight known: those of the format notes (digits, letters) and every one read from
// entries Access wrote (the Latin-1 range whole, some Greek, Cyrillic and Han). Case is ignored.
constexpr Weight kWeights[] = {
    {0x0009, "\x08\x03", 2, 0x02}, {0x000A, "\x08\x04", 2, 0x02}, {0x000B, "\x08\x05", 2, 0x02},
    {0x000C, "\x08\x06", 2, 0x02}, {0x000D, "\x08\x07", 2, 0x02}, {0x0020, "\x07", 1, 0x02},
    {0x0021, "\x09", 1, 0x02},     {0x0022, "\x0A", 1, 0x02},     {0x0023, "\x0C", 1, 0x02},
    {0x0024, "\x0E", 1, 0x02},     {0x0025, "\x10", 1, 0x02},     {0x0026, "\x12", 1, 0x02},
    {0x0028, "\x14", 1, 0x02},     {0x0029, "\x16", 1, 0x02},     {0x002A, "\x18", 1, 0x02},
    {0x002B, "\x2C", 1, 0x02},     {0x002C, "\x1A", 1, 0x02},     {0x002E, "\x1C", 1, 0x02},
    {0x002F, "\x1E", 1, 0x02},     {0x0030, "\x36", 1, 0x02},     {0x0031, "\x38", 1, 0x02},
    {0x0032, "\x3A", 1, 0x02},     {0x0033, "\x3C", 1, 0x02},     {0x0034, "\x3E", 1, 0x02},
    {0x0035, "\x40", 1, 0x02},     {0x0036, "\x42", 1, 0x02},     {0x0037, "\x44", 1, 0x02},
    {0x0038, "\x46", 1, 0x02},     {0x0039, "\x48", 1, 0x02},     {0x003A, "\x20", 1, 0x02},
    {0x003B, "\x22", 1, 0x02},     {0x003C, "\x2E", 1, 0x02},     {0x003D, "\x30", 1, 0x02},
    {0x003E, "\x32", 1, 0x02},     {0x003F, "\x24", 1, 0x02},     {0x0040, "\x26", 1, 0x02},
    {0x0041, "\x4A", 1, 0x02},     {0x0042, "\x4C", 1, 0x02},     {0x0043, "\x4D", 1, 0x02},
    {0x0044, "\x4F", 1, 0x02},     {0x0045, "\x51", 1, 0x02},     {0x0046, "\x53", 1, 0x02},
    {0x0047, "\x55", 1, 0x02},     {0x0048, "\x57", 1, 0x02},     {0x0049, "\x59", 1, 0x02},
    {0x004A, "\x5B", 1, 0x02},     {0x004B, "\x5C", 1, 0x02},     {0x004C, "\x5E", 1, 0x02},
    {0x004D, "\x60", 1, 0x02},     {0x004E, "\x62", 1, 0x02},     {0x004F, "\x64", 1, 0x02},
    {0x0050, "\x66", 1, 0x02},     {0x0051, "\x68", 1, 0x02},     {0x0052, "\x69", 1, 0x02},
    {0x0053, "\x6B", 1, 0x02},     {0x0054, "\x6D", 1, 0x02},     {0x0055, "\x6F", 1, 0x02},
    {0x0056, "\x71", 1, 0x02},     {0x0057, "\x73", 1, 0x02},     {0x0058, "\x75", 1, 0x02},
    {0x0059, "\x76", 1, 0x02},     {0x005A, "\x78", 1, 0x02},     {0x005B, "\x27", 1, 0x02},
    {0x005C, "\x29", 1, 0x02},     {0x005D, "\x2A", 1, 0x02},     {0x005E, "\x2B\x02", 2, 0x02},
    {0x005F, "\x2B\x03", 2, 0x02}, {0x0060, "\x2B\x07", 2, 0x02}, {0x0061, "\x4A", 1, 0x02},
    {0x0062, "\x4C", 1, 0x02},     {0x0063, "\x4D", 1, 0x02},     {0x0064, "\x4F", 1, 0x02},
    {0x0065, "\x51", 1, 0x02},     {0x0066, "\x53", 1, 0x02},     {0x0067, "\x55", 1, 0x02},
    {0x0068, "\x57", 1, 0x02},     {0x0069, "\x59", 1, 0x02},     {0x006A, "\x5B", 1, 0x02},
    {0x006B, "\x5C", 1, 0x02},     {0x006C, "\x5E", 1, 0x02},     {0x006D, "\x60", 1, 0x02},
    {0x006E, "\x62", 1, 0x02},     {0x006F, "\x64", 1, 0x02},     {0x0070, "\x66", 1, 0x02},
    {0x0071, "\x68", 1, 0x02},     {0x0072, "\x69", 1, 0x02},     {0x0073, "\x6B", 1, 0x02},
    {0x0074, "\x6D", 1, 0x02},     {0x0075, "\x6F", 1, 0x02},     {0x0076, "\x71", 1, 0x02},
    {0x0077, "\x73", 1, 0x02},     {0x0078, "\x75", 1, 0x02},     {0x0079, "\x76", 1, 0x02},
    {0x007A, "\x78", 1, 0x02},     {0x007B, "\x2B\x09", 2, 0x02}, {0x007C, "\x2B\x0B", 2, 0x02},
    {0x007D, "\x2B\x0D", 2, 0x02}, {0x007E, "\x2B\x0F", 2, 0x02}, {0x00A0, "\x08\x02", 2, 0x02},
    {0x00A1, "\x2B\x10", 2, 0x02}, {0x00A2, "\x34\xA6", 2, 0x02}, {0x00A3, "\x34\xA7", 2, 0x02},
    {0x00A4, "\x34\xA8", 2, 0x02}, {0x00A5, "\x34\xA9", 2, 0x02}, {0x00A6, "\x2B\x11", 2, 0x02},
    {0x00A7, "\x34\xAA", 2, 0x02}, {0x00A8, "\x2B\x12", 2, 0x02}, {0x00A9, "\x34\xAB", 2, 0x02},
    {0x00AA, "\x4A", 1, 0x03},     {0x00AB, "\x33\x05", 2, 0x02}, {0x00AC, "\x34\xAC", 2, 0x02},
    {0x00AE, "\x34\xAD", 2, 0x02}, {0x00AF, "\x2B\x13", 2, 0x02}, {0x00B0, "\x34\xAE", 2, 0x02},
    {0x00B1, "\x33\x04", 2, 0x02}, {0x00B2, "\x3A", 1, 0x02},     {0x00B3, "\x3C", 1, 0x02},
    {0x00B4, "\x2B\x14", 2, 0x02}, {0x00B5, "\x34\xAF", 2, 0x02}, {0x00B6, "\x34\xB0", 2, 0x02},
    {0x00B7, "\x34\xB1", 2, 0x02}, {0x00B8, "\x2B\x15", 2, 0x02}, {0x00B9, "\x38", 1, 0x02},
    {0x00BA, "\x64", 1, 0x03},     {0x00BB, "\x33\x07", 2, 0x02}, {0x00BC, "\x37\x12", 2, 0x02},
    {0x00BD, "\x37\x16", 2, 0x02}, {0x00BE, "\x37\x1A", 2, 0x02}, {0x00BF, "\x2B\x16", 2, 0x02},
    {0x00C0, "\x4A", 1, 0x0F},     {0x00C1, "\x4A", 1, 0x0E},     {0x00C2, "\x4A", 1, 0x12},
    {0x00C3, "\x4A", 1, 0x19},     {0x00C4, "\x4A", 1, 0x13},     {0x00C5, "\x4A", 1, 0x1A},
    {0x00C6, "\x4A\x51", 2, 0x02}, {0x00C7, "\x4D", 1, 0x1C},     {0x00C8, "\x51", 1, 0x0F},
    {0x00C9, "\x51", 1, 0x0E},     {0x00CA, "\x51", 1, 0x12},     {0x00CB, "\x51", 1, 0x13},
    {0x00CC, "\x59", 1, 0x0F},     {0x00CD, "\x59", 1, 0x0E},     {0x00CE, "\x59", 1, 0x12},
    {0x00CF, "\x59", 1, 0x13},     {0x00D0, "\x4F", 1, 0x68},     {0x00D1, "\x62", 1, 0x19},
    {0x00D2, "\x64", 1, 0x0F},     {0x00D3, "\x64", 1, 0x0E},     {0x00D4, "\x64", 1, 0x12},
    {0x00D5, "\x64", 1, 0x19},     {0x00D6, "\x64", 1, 0x13},     {0x00D7, "\x33\x09", 2, 0x02},
    {0x00D8, "\x64", 1, 0x21},     {0x00D9, "\x6F", 1, 0x0F},     {0x00DA, "\x6F", 1, 0x0E},
    {0x00DB, "\x6F", 1, 0x12},     {0x00DC, "\x6F", 1, 0x13},     {0x00DD, "\x76", 1, 0x0E},
    {0x00DE, "\x6D\x57", 2, 0x02}, {0x00DF, "\x6B\x6B", 2, 0x02}, {0x00E0, "\x4A", 1, 0x0F},
    {0x00E1, "\x4A", 1, 0x0E},     {0x00E2, "\x4A", 1, 0x12},     {0x00E3, "\x4A", 1, 0x19},
    {0x00E4, "\x4A", 1, 0x13},     {0x00E5, "\x4A", 1, 0x1A},     {0x00E6, "\x4A\x51", 2, 0x02},
    {0x00E7, "\x4D", 1, 0x1C},     {0x00E8, "\x51", 1, 0x0F},     {0x00E9, "\x51", 1, 0x0E},
    {0x00EA, "\x51", 1, 0x12},     {0x00EB, "\x51", 1, 0x13},     {0x00EC, "\x59", 1, 0x0F},
    {0x00ED, "\x59", 1, 0x0E},     {0x00EE, "\x59", 1, 0x12},     {0x00EF, "\x59", 1, 0x13},
    {0x00F0, "\x4F", 1, 0x68},     {0x00F1, "\x62", 1, 0x19},     {0x00F2, "\x64", 1, 0x0F},
    {0x00F3, "\x64", 1, 0x0E},     {0x00F4, "\x64", 1, 0x12},     {0x00F5, "\x64", 1, 0x19},
    {0x00F6, "\x64", 1, 0x13},     {0x00F7, "\x33\x0A", 2, 0x02}, {0x00F8, "\x64", 1, 0x21},
    {0x00F9, "\x6F", 1, 0x0F},     {0x00FA, "\x6F", 1, 0x0E},     {0x00FB, "\x6F", 1, 0x12},
    {0x00FC, "\x6F", 1, 0x13},     {0x00FD, "\x76", 1, 0x0E},     {0x00FE, "\x6D\x57", 2, 0x02},
    {0x00FF, "\x76", 1, 0x13},     {0x039A, "\x79\x15", 2, 0x02}, {0x03B1, "\x79\x0C", 2, 0x02},
    {0x03B3, "\x79\x0E", 2, 0x02}, {0x03BB, "\x79\x16", 2, 0x02}, {0x03C0, "\x79\x1B", 2, 0x02},
    {0x03C4, "\x79\x1E", 2, 0x02}, {0x03C9, "\x79\x23", 2, 0x02}, {0x03F0, "\x79\x15", 2, 0x03},
    {0x041C, "\x79\x43", 2, 0x02}, {0x0438, "\x79\x3B", 2, 0x02}, {0x0440, "\x79\x48", 2, 0x02},
    {0x4EA4, "\x9F\xBE", 2, 0x02}, {0x4EEE, "\xA0\x0D", 2, 0x02}, {0x540D, "\xA5\x47", 2, 0x02},
    {0x5B57, "\xAC\xAC", 2, 0x02}, {0x6587, "\xB6\xF6", 2, 0x02}, {0x6F22, "\xC0\xB6", 2, 0x02},
};

// A character that sorts only by where it stands (control characters, the apostrophe, the hyphen,
// the soft hyphen): it adds no weight, but a record of its place and its own two bytes.
struct PlaceMark {
    char16_t character;
    unsigned char code[2];
};

constexpr PlaceMark kPlaceMarks[] = {
    {0x0001, 0x06, 0x03}, {0x0002, 0x06, 0x04}, {0x0003, 0x06, 0x05}, {0x0004, 0x06, 0x06},
    {0x0005, 0x06, 0x07}, {0x0006, 0x06, 0x08}, {0x0007, 0x06, 0x09}, {0x0008, 0x06, 0x0A},
    {0x000E, 0x06, 0x0B}, {0x000F, 0x06, 0x0C}, {0x0010, 0x06, 0x0D}, {0x0011, 0x06, 0x0E},
    {0x0012, 0x06, 0x0F}, {0x0013, 0x06, 0x10}, {0x0014, 0x06, 0x11}, {0x0015, 0x06, 0x12},
    {0x0016, 0x06, 0x13}, {0x0017, 0x06, 0x14}, {0x0018, 0x06, 0x15}, {0x0019, 0x06, 0x16},
    {0x001A, 0x06, 0x17}, {0x001B, 0x06, 0x18}, {0x001C, 0x06, 0x19}, {0x001D, 0x06, 0x1A},
    {0x001E, 0x06, 0x1B}, {0x001F, 0x06, 0x1C}, {0x0027, 0x06, 0x80}, {0x002D, 0x06, 0x82},
    {0x007F, 0x06, 0x1D}, {0x0080, 0x06, 0x1E}, {0x0081, 0x06, 0x1F}, {0x0082, 0x06, 0x20},
    {0x0083, 0x06, 0x21}, {0x0084, 0x06, 0x22}, {0x0085, 0x06, 0x23}, {0x0086, 0x06, 0x24},
    {0x0087, 0x06, 0x25}, {0x0088, 0x06, 0x26}, {0x0089, 0x06, 0x27}, {0x008A, 0x06, 0x28},
    {0x008B, 0x06, 0x29}, {0x008C, 0x06, 0x2A}, {0x008D, 0x06, 0x2B}, {0x008E, 0x06, 0x2C},
    {0x008F, 0x06, 0x2D}, {0x0090, 0x06, 0x2E}, {0x0091, 0x06, 0x2F}, {0x0092, 0x06, 0x30},
    {0x0093, 0x06, 0x31}, {0x0094, 0x06, 0x32}, {0x0095, 0x06, 0x33}, {0x0096, 0x06, 0x34},
    {0x0097, 0x06, 0x35}, {0x0098, 0x06, 0x36}, {0x0099, 0x06, 0x37}, {0x009A, 0x06, 0x38},
    {0x009B, 0x06, 0x39}, {0x009C, 0x06, 0x3A}, {0x009D, 0x06, 0x3B}, {0x009E, 0x06, 0x3C},
    {0x009F, 0x06, 0x3D}, {0x00AD, 0x06, 0x83},
};

// Characters Jet passes over without a trace (Greek letters with breathings and accents of the
// extended block, as Access wrote them).
constexpr char16_t kIgnored[] = {0x1F10, 0x1F76, 0x1F79, 0x1F7B, 0x1F7C};

template <typename T>
const T* Find(const T* begin, const T* end, char16_t c) {
    const T* found = std::lower_bound(
        begin, end, c, [](const T& item, char16_t value) { return item.character < value; });
    return found != end && found->character == c ? found : nullptr;
}

std::string CharacterName(char16_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    std::string name = code;
    if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0))
        name = "«" + Utf8(std::u16string(1, c)) + "» (" + name + ")";
    return name;
}

EngineError Unknown(const std::string& what) {
    return EngineError(err::kInvalidArgument,
                       "No se conoce la clave de índice " + what +
                           " en el orden «General» de Jet: no se escribe una clave supuesta.");
}

}  // namespace

std::vector<unsigned char> TextKey(std::u16string_view text) {
    if (text.empty()) throw Unknown("de un texto vacío");
    std::vector<unsigned char> weights, marks, places;
    std::uint32_t counted = 0;  // characters with weights so far
    for (char16_t c : text) {
        if (std::find(std::begin(kIgnored), std::end(kIgnored), c) != std::end(kIgnored)) continue;
        if (const PlaceMark* mark = Find(std::begin(kPlaceMarks), std::end(kPlaceMarks), c)) {
            // The place: 7 and then 4 for each weighted character before it, high bit set.
            std::uint32_t place = 0x8000u | (7u + 4u * counted);
            places.push_back(static_cast<unsigned char>(place >> 8));
            places.push_back(static_cast<unsigned char>(place & 0xFF));
            places.insert(places.end(), std::begin(mark->code), std::end(mark->code));
            continue;
        }
        const Weight* weight = Find(std::begin(kWeights), std::end(kWeights), c);
        if (!weight) throw Unknown("del carácter " + CharacterName(c));
        weights.insert(weights.end(), weight->bytes, weight->bytes + weight->length);
        marks.push_back(weight->mark);
        ++counted;
    }
    // Marks that say "none" at the end are left out; so are empty sections at the end, with the
    // byte that would close them. The two sections between marks and places (case, and the
    // weights of the East Asian scripts) stay empty for every character known here.
    while (!marks.empty() && marks.back() == kPlainMark) marks.pop_back();
    std::vector<unsigned char> key = std::move(weights);
    key.push_back(kSectionEnd);
    const std::vector<unsigned char> empty;
    const std::vector<unsigned char>* sections[] = {&marks, &empty, &empty, &places};
    std::size_t used = 0;
    for (std::size_t i = 0; i < std::size(sections); ++i)
        if (!sections[i]->empty()) used = i + 1;
    for (std::size_t i = 0; i < used; ++i) {
        if (i > 0) key.push_back(kSectionEnd);
        key.insert(key.end(), sections[i]->begin(), sections[i]->end());
    }
    key.push_back(kKeyEnd);
    return key;
}

}  // namespace actualiz::engine::jet::format
