#pragma once

// Text as Jet 4 stores it: UCS-2 little-endian, or the compressed form (0xFF 0xFE, then runs of
// single bytes for characters below U+0100, switched to and from two-byte runs by a 0x00).

#include <span>
#include <string>

namespace actualiz::engine::jet::format {

std::u16string Ucs2Text(std::span<const unsigned char> bytes);
// A text value of a row: compressed or plain, whichever its bytes say.
std::u16string StoredText(std::span<const unsigned char> bytes);
std::string Utf8(const std::u16string& text);
// The reverse of Utf8.
std::u16string Utf16(const std::string& text);

}  // namespace actualiz::engine::jet::format
