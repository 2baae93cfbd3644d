#include "jet/format/Properties.h"

#include <algorithm>

#include "engine/EngineError.h"
#include "jet/mdb/Bytes.h"

namespace actualiz::engine::jet::format {

namespace {

constexpr std::size_t kChunkHead = 6;     // length and kind
constexpr std::size_t kPropertyHead = 8;  // length, flags, type, name index, value length

EngineError Damaged(const std::string& what, const std::string& why) {
    return EngineError(err::kUnrecognizedFormat,
                       "Las propiedades de " + what + " están dañadas: " + why + ".");
}

void PutU16(std::vector<unsigned char>& out, std::size_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void PutU32(std::vector<unsigned char>& out, std::size_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void SetU32(std::vector<unsigned char>& out, std::size_t at, std::size_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

std::u16string Utf16(std::span<const unsigned char> bytes) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(U16(bytes.data() + i)));
    return text;
}

void PutUtf16(std::vector<unsigned char>& out, std::u16string_view text) {
    for (char16_t c : text) PutU16(out, c);
}

}  // namespace

PropertyChunk* PropertyBlocks::Find(std::u16string_view column) {
    std::uint16_t kind = column.empty() ? kPropertyObjectChunk : kPropertyColumnChunk;
    for (PropertyChunk& chunk : chunks)
        if (chunk.kind == kind && chunk.name == column) return &chunk;
    return nullptr;
}

const PropertyChunk* PropertyBlocks::Find(std::u16string_view column) const {
    return const_cast<PropertyBlocks*>(this)->Find(column);
}

std::uint16_t PropertyBlocks::NameIndex(std::u16string_view name) {
    auto found = std::find(names.begin(), names.end(), name);
    if (found != names.end()) return static_cast<std::uint16_t>(found - names.begin());
    if (names.size() >= 0xFFFF)
        throw EngineError(err::kInvalidOperation, "Demasiados nombres de propiedades.");
    if (!hasNames) {
        hasNames = true;
        namesAt = 0;
    }
    names.emplace_back(name);
    return static_cast<std::uint16_t>(names.size() - 1);
}

const Property* PropertyBlocks::Get(const PropertyChunk& chunk, std::u16string_view name) const {
    for (const Property& property : chunk.properties)
        if (property.nameIndex < names.size() && names[property.nameIndex] == name)
            return &property;
    return nullptr;
}

PropertyBlocks DecodeProperties(std::span<const unsigned char> bytes, const std::string& what) {
    if (bytes.size() < 4 || U32(bytes.data()) != PropertyBlocks{}.magic)
        throw Damaged(what, "no empiezan por MR2");
    PropertyBlocks blocks;
    std::size_t at = 4;
    while (at < bytes.size()) {
        if (bytes.size() - at < kChunkHead) throw Damaged(what, "trozo cortado");
        std::size_t length = U32(bytes.data() + at);
        if (length < kChunkHead || length > bytes.size() - at)
            throw Damaged(
                what, "un trozo de " + std::to_string(length) + " bytes en " + std::to_string(at));
        std::span<const unsigned char> chunk = bytes.subspan(at, length);
        std::uint16_t kind = static_cast<std::uint16_t>(U16(chunk.data() + 4));
        at += length;
        if (kind == kPropertyNamesChunk && !blocks.hasNames) {
            blocks.hasNames = true;
            blocks.namesAt = blocks.chunks.size();
            for (std::size_t p = kChunkHead; p < chunk.size();) {
                if (chunk.size() - p < 2) throw Damaged(what, "nombre cortado");
                std::size_t size = U16(chunk.data() + p);
                if (size > chunk.size() - p - 2)
                    throw Damaged(what, "nombre más largo que su trozo");
                blocks.names.push_back(Utf16(chunk.subspan(p + 2, size)));
                if (size % 2) throw Damaged(what, "nombre de largo impar");
                p += 2 + size;
            }
            continue;
        }
        PropertyChunk out;
        out.kind = kind;
        if (kind != kPropertyObjectChunk && kind != kPropertyColumnChunk) {
            out.raw.assign(chunk.begin() + kChunkHead, chunk.end());
            blocks.chunks.push_back(std::move(out));
            continue;
        }
        if (chunk.size() < kChunkHead + 6) throw Damaged(what, "cabecera cortada");
        std::size_t header = U32(chunk.data() + kChunkHead);
        std::size_t nameSize = U16(chunk.data() + kChunkHead + 4);
        if (header < 6 + nameSize || header > chunk.size() - kChunkHead || nameSize % 2)
            throw Damaged(what, "cabecera de " + std::to_string(header) + " bytes");
        out.name = Utf16(chunk.subspan(kChunkHead + 6, nameSize));
        out.headerRest.assign(chunk.begin() + kChunkHead + 6 + nameSize,
                              chunk.begin() + kChunkHead + header);
        std::size_t p = kChunkHead + header;
        while (chunk.size() - p >= kPropertyHead) {
            std::size_t size = U16(chunk.data() + p);
            std::size_t valueSize = U16(chunk.data() + p + 6);
            if (size != kPropertyHead + valueSize || size > chunk.size() - p) break;
            Property property;
            property.flags = chunk[p + 2];
            property.type = chunk[p + 3];
            property.nameIndex = static_cast<std::uint16_t>(U16(chunk.data() + p + 4));
            if (blocks.hasNames && property.nameIndex >= blocks.names.size())
                throw Damaged(what, "una propiedad nombra el nombre nº " +
                                        std::to_string(property.nameIndex));
            property.value.assign(chunk.begin() + p + kPropertyHead, chunk.begin() + p + size);
            out.properties.push_back(std::move(property));
            p += size;
        }
        out.rest.assign(chunk.begin() + p, chunk.end());
        blocks.chunks.push_back(std::move(out));
    }
    return blocks;
}

std::vector<unsigned char> EncodeProperties(const PropertyBlocks& blocks) {
    std::vector<unsigned char> out;
    PutU32(out, blocks.magic);
    auto names = [&] {
        std::size_t start = out.size();
        PutU32(out, 0);
        PutU16(out, kPropertyNamesChunk);
        for (const std::u16string& name : blocks.names) {
            PutU16(out, name.size() * 2);
            PutUtf16(out, name);
        }
        SetU32(out, start, out.size() - start);
    };
    for (std::size_t i = 0; i <= blocks.chunks.size(); ++i) {
        if (blocks.hasNames && blocks.namesAt == i) names();
        if (i == blocks.chunks.size()) break;
        const PropertyChunk& chunk = blocks.chunks[i];
        std::size_t start = out.size();
        PutU32(out, 0);
        PutU16(out, chunk.kind);
        if (chunk.kind != kPropertyObjectChunk && chunk.kind != kPropertyColumnChunk) {
            out.insert(out.end(), chunk.raw.begin(), chunk.raw.end());
        } else {
            PutU32(out, 6 + chunk.name.size() * 2 + chunk.headerRest.size());
            PutU16(out, chunk.name.size() * 2);
            PutUtf16(out, chunk.name);
            out.insert(out.end(), chunk.headerRest.begin(), chunk.headerRest.end());
            for (const Property& property : chunk.properties) {
                if (property.value.size() > 0xFFFF - kPropertyHead)
                    throw EngineError(err::kInvalidOperation,
                                      "El valor de una propiedad pasa de 65527 bytes.");
                PutU16(out, kPropertyHead + property.value.size());
                out.push_back(property.flags);
                out.push_back(property.type);
                PutU16(out, property.nameIndex);
                PutU16(out, property.value.size());
                out.insert(out.end(), property.value.begin(), property.value.end());
            }
            out.insert(out.end(), chunk.rest.begin(), chunk.rest.end());
        }
        SetU32(out, start, out.size() - start);
    }
    return out;
}

}  // namespace actualiz::engine::jet::format
