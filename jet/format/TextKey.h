#pragma once

// Index keys of text in Jet's "General" sort order (the one Access 2000-2003 writes): each
// character's sort weight, then a 0x01 and the characters' accent marks, then sections for the
// characters that sort by position only, closed by 0x00. Letters ignore case. The weights are
// those the format notes give and those read from index entries Access wrote; a character
// outside them has no key here.

#include <string>
#include <string_view>
#include <vector>

namespace actualiz::engine::jet::format {

// The key of a text (without the index's flag byte). Throws EngineError 3001 naming the first
// character whose weight is not known: a key is never guessed.
std::vector<unsigned char> TextKey(std::u16string_view text);

}  // namespace actualiz::engine::jet::format
