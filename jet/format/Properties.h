#pragma once

// Property blocks: what MSysObjects.LvProp holds for an object (a table's Description,
// ValidationRule ..., each column's Required, DefaultValue ...). The bytes are "MR2\0", then
// chunks, each its length (4 bytes, itself included) and its kind (2 bytes): one chunk of names
// (kind 0x80: each name its length in bytes and UTF-16 text), then one chunk per described thing
// (kind 0 the object itself, kind 1 one of its columns), each a header (its own length, 4 bytes,
// then the name's length and the name) and properties: length (2 bytes, itself included), a flag
// byte (1 for the engine's own properties, 0 for the designer's), the value's type (a
// ColumnType), the index of its name in the chunk of names, the value's length and the value.
//
// Decoding keeps every byte: chunks of other kinds, bytes after a chunk's header and bytes after a
// chunk's last property are carried, so that encoding what was decoded gives the same bytes.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::format {

inline constexpr std::uint16_t kPropertyNamesChunk = 0x80;
inline constexpr std::uint16_t kPropertyObjectChunk = 0x00;
inline constexpr std::uint16_t kPropertyColumnChunk = 0x01;
inline constexpr std::uint8_t kPropertyDdl = 0x01;  // set for the engine's own properties

struct Property {
    std::uint8_t flags = 0;       // kPropertyDdl ...
    std::uint8_t type = 0;        // ColumnType of the value
    std::uint16_t nameIndex = 0;  // into PropertyBlocks::names
    std::vector<unsigned char> value;
};

struct PropertyChunk {
    std::uint16_t kind = 0;
    // Chunks of kind 0 and 1:
    std::u16string name;                    // the column's name; empty for the object
    std::vector<unsigned char> headerRest;  // header bytes after the name (none seen)
    std::vector<Property> properties;
    std::vector<unsigned char> rest;  // bytes after the last whole property
    // Any other kind (a second chunk of names among them): its bytes after the 6-byte head.
    std::vector<unsigned char> raw;
};

struct PropertyBlocks {
    std::uint32_t magic = 0x0032524D;  // "MR2\0"
    std::vector<std::u16string> names;
    std::size_t namesAt = 0;  // the place of the chunk of names among the chunks
    bool hasNames = false;
    std::vector<PropertyChunk> chunks;  // every chunk but the one of names, in stored order

    // The chunk of the object (column empty) or of one of its columns (compared as stored);
    // nullptr when there is none.
    PropertyChunk* Find(std::u16string_view column);
    const PropertyChunk* Find(std::u16string_view column) const;
    // The name's index, added at the end of the names when it is not there yet.
    std::uint16_t NameIndex(std::u16string_view name);
    // The property of that name in the chunk; nullptr when it has none.
    const Property* Get(const PropertyChunk& chunk, std::u16string_view name) const;
};

// 3343 (naming `what`) when the bytes are no Jet 4 property blocks, or a length runs past them.
PropertyBlocks DecodeProperties(std::span<const unsigned char> bytes, const std::string& what);
std::vector<unsigned char> EncodeProperties(const PropertyBlocks& blocks);

}  // namespace actualiz::engine::jet::format
