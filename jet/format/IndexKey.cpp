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
constexpr unsigned char kBinaryContinues = 9;
constexpr std::size_t kKeptCharacters = 255;

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

// Blocks of eight bytes, each followed by how many of them are the value's (9 for a full block
// that more bytes follow), the last padded with zeros.
std::vector<unsigned char> BinaryKey(std::span<const unsigned char> value) {
    std::vector<unsigned char> key;
    for (std::size_t at = 0; at < value.size(); at += kBinaryBlock) {
        std::size_t length = std::min(kBinaryBlock, value.size() - at);
        key.insert(key.end(), value.begin() + static_cast<long>(at),
                   value.begin() + static_cast<long>(at + length));
        key.resize(key.size() + kBinaryBlock - length, 0x00);
        bool more = at + length < value.size();
        key.push_back(static_cast<unsigned char>(more ? kBinaryContinues : length));
    }
    return key;
}

std::string TypeName(std::uint8_t type) {
    switch (type) {
        case kMemo:
            return "Memo";
        case kLongBinary:
            return "Objeto OLE";
        case kNumeric:
            return "Decimal";
        default:
            return "de código " + std::to_string(type);
    }
}

}  // namespace

std::optional<std::vector<unsigned char>> ValueKey(const ColumnDef& column,
                                                   std::span<const unsigned char> value) {
    // Every rule here is one that entries Access wrote show: Byte, Long, dates (of both signs),
    // Binary of up to eight bytes and Text in the Jet 4 samples; Integer, Currency, Single, Double
    // (of both signs), Boolean and GUID, ascending and descending, in the Jet 3 sample of one
    // index per type, whose numbers are kept as Jet 4 keeps them. A value of the wrong size has
    // no key.
    auto sized = [&](std::size_t size) { return value.size() == size; };
    switch (column.type) {
        case kByte:
            if (!sized(1)) return std::nullopt;
            return std::vector<unsigned char>(value.begin(), value.end());
        case kInteger:
            if (!sized(2)) return std::nullopt;
            return SignedInteger(value);
        case kLong:
            if (!sized(4)) return std::nullopt;
            return SignedInteger(value);
        case kCurrency:
            if (!sized(8)) return std::nullopt;
            return SignedInteger(value);
        case kSingle:
            if (!sized(4)) return std::nullopt;
            return FloatingPoint(value);
        case kDouble:
        case kDateTime:
            if (!sized(8)) return std::nullopt;
            return FloatingPoint(value);
        case kBoolean:
            // Its value is its bit in the null mask: never Null; Yes sorts first.
            if (!sized(1)) return std::nullopt;
            return std::vector<unsigned char>{static_cast<unsigned char>(value[0] ? 0x00 : 0xFF)};
        case kText: {
            // Only the first 255 characters count, and trailing spaces do not.
            std::u16string text = StoredText(value);
            if (text.size() > kKeptCharacters) text.resize(kKeptCharacters);
            while (!text.empty() && text.back() == u' ') text.pop_back();
            return TextKey(text);
        }
        case kGuid: {
            // The GUID as it is written (its first three groups most significant first), as a
            // binary value of sixteen bytes.
            if (!sized(16)) return std::nullopt;
            static const int order[] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
            std::vector<unsigned char> bytes;
            for (int i : order) bytes.push_back(value[static_cast<std::size_t>(i)]);
            return BinaryKey(bytes);
        }
        case kBinary:
            if (value.empty()) return std::nullopt;
            return BinaryKey(value);
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
        if (!ascending) {
            // Inverted whole, but for the 9 between blocks of a binary key, which stays (GUIDs
            // of the Jet 3 sample); a text key gets a closing 0x00 after its inverted bytes.
            bool blocks = column->type == kBinary || column->type == kGuid;
            for (std::size_t at = 0; at < part->size(); ++at) {
                bool between =
                    blocks && at % (kBinaryBlock + 1) == kBinaryBlock && at + 1 < part->size();
                if (!between) (*part)[at] = static_cast<unsigned char>(~(*part)[at]);
            }
            if (column->type == kText) part->push_back(0x00);
        }
        key.insert(key.end(), part->begin(), part->end());
    }
    return key;
}

}  // namespace actualiz::engine::jet::format

namespace actualiz::engine::jet::format {

std::string NoKeyReason(const ColumnDef& column) {
    switch (column.type) {
        case kMemo:
        case kLongBinary:
            return "un campo " + TypeName(column.type) + " no se indexa";
        case kNumeric:
            return "no se conoce la clave de un campo Decimal";
        default:
            return "no se conoce la clave de un campo " + TypeName(column.type) + " con ese valor";
    }
}

}  // namespace actualiz::engine::jet::format
