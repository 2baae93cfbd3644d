#include "jet/format/IndexKey.h"

#include <algorithm>

#include "jet/format/Text.h"
#include "jet/format/TextKey.h"

namespace actualiz::engine::jet::format {

namespace {

constexpr unsigned char kAscendingFlag = 0x7F;
constexpr unsigned char kDescendingFlag = 0x80;
constexpr unsigned char kNullAscending = 0x00;
constexpr unsigned char kNullDescending = 0xFF;
constexpr std::size_t kBinaryBlock = 8;

std::vector<unsigned char> BigEndian(std::span<const unsigned char> value) {
    return std::vector<unsigned char>(value.rbegin(), value.rend());
}

std::vector<unsigned char> SignedInteger(std::span<const unsigned char> value) {
    std::vector<unsigned char> key = BigEndian(value);
    key[0] ^= 0x80;
    return key;
}

std::vector<unsigned char> FloatingPoint(std::span<const unsigned char> value) {
    std::vector<unsigned char> key = BigEndian(value);
    if (key[0] & 0x80) {
        for (unsigned char& b : key) b = static_cast<unsigned char>(~b);
    } else {
        key[0] ^= 0x80;
    }
    return key;
}

}  // namespace

std::optional<std::vector<unsigned char>> ValueKey(const ColumnDef& column,
                                                   std::span<const unsigned char> value) {
    // Only the keys that entries Access wrote show are given: Byte, Long (ascending and
    // descending), dates from 1899-12-30 on, Binary of up to eight bytes and Text. Integer,
    // Currency, Single, Double and earlier dates surely follow their siblings' rules, but no
    // sample holds one, so their keys are not known here.
    switch (column.type) {
        case kByte:
            if (value.size() != 1) return std::nullopt;
            return std::vector<unsigned char>(value.begin(), value.end());
        case kLong:
            if (value.size() != 4) return std::nullopt;
            return SignedInteger(value);
        case kDateTime:
            if (value.size() != 8 || (value[7] & 0x80)) return std::nullopt;
            return FloatingPoint(value);
        case kText:
            return TextKey(StoredText(value));
        case kBinary: {
            // Eight bytes, padded with zeros, then how many of them are the value's. Longer
            // values continue in a way no sample shows.
            if (value.empty() || value.size() > kBinaryBlock) return std::nullopt;
            std::vector<unsigned char> key(value.begin(), value.end());
            key.resize(kBinaryBlock, 0x00);
            key.push_back(static_cast<unsigned char>(value.size()));
            return key;
        }
        default:
            return std::nullopt;
    }
}

std::optional<std::vector<unsigned char>> EntryKey(
    const TableDef& def, const RealIndexDef& index,
    const std::vector<std::optional<std::span<const unsigned char>>>& values) {
    std::vector<unsigned char> key;
    for (std::size_t i = 0; i < index.keys.size(); ++i) {
        const ColumnDef* column = def.ColumnByNumber(index.keys[i].column);
        if (!column || i >= values.size()) return std::nullopt;
        bool ascending = index.keys[i].ascending;
        if (!values[i]) {
            key.push_back(ascending ? kNullAscending : kNullDescending);
            continue;
        }
        std::optional<std::vector<unsigned char>> part = ValueKey(*column, *values[i]);
        if (!part) return std::nullopt;
        key.push_back(ascending ? kAscendingFlag : kDescendingFlag);
        if (!ascending)
            std::transform(part->begin(), part->end(), part->begin(),
                           [](unsigned char b) { return static_cast<unsigned char>(~b); });
        key.insert(key.end(), part->begin(), part->end());
    }
    return key;
}

}  // namespace actualiz::engine::jet::format
