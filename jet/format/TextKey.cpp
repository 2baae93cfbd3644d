#include "jet/format/TextKey.h"

#include <cstdio>

#include "engine/EngineError.h"

namespace actualiz::engine::jet::format {

namespace {

constexpr unsigned char kEndOfWeights = 0x01;
constexpr unsigned char kEndOfKey = 0x00;

// Weights of letters (either case) and digits in the General sort order.
constexpr unsigned char kLetterWeights[26] = {0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x57, 0x59,
                                              0x5B, 0x5C, 0x5E, 0x60, 0x62, 0x64, 0x66, 0x68, 0x69,
                                              0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x76, 0x78};
constexpr unsigned char kDigitWeights[10] = {0x36, 0x38, 0x3A, 0x3C, 0x3E,
                                             0x40, 0x42, 0x44, 0x46, 0x48};
constexpr unsigned char kSpaceWeight = 0x07;

std::string CharacterName(char16_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    std::string name = code;
    if (c >= 0x20 && c < 0x7F) name += std::string(" «") + static_cast<char>(c) + "»";
    return name;
}

}  // namespace

std::vector<unsigned char> TextKey(std::u16string_view text) {
    std::vector<unsigned char> key;
    for (char16_t c : text) {
        if (c >= u'a' && c <= u'z')
            key.push_back(kLetterWeights[c - u'a']);
        else if (c >= u'A' && c <= u'Z')
            key.push_back(kLetterWeights[c - u'A']);
        else if (c >= u'0' && c <= u'9')
            key.push_back(kDigitWeights[c - u'0']);
        else if (c == u' ')
            key.push_back(kSpaceWeight);
        else
            throw EngineError(err::kInvalidArgument,
                              "No se conoce la clave de índice del carácter " + CharacterName(c) +
                                  " en el orden general de Jet.");
    }
    key.push_back(kEndOfWeights);
    key.push_back(kEndOfKey);
    return key;
}

}  // namespace actualiz::engine::jet::format
