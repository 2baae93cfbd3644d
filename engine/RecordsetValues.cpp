#include "engine/RecordsetValues.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <vector>

#include "engine/ClassicDates.h"
#include "engine/EngineError.h"
#include "platform/NameFold.h"

namespace actualiz::engine::detail {

std::string Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A number written as a person would type it: "12", "-3.5", "2,5" (decimal comma when there is
// no point).
bool ParseNumber(const std::string& text, double& out) {
    std::string s = text;
    if (s.find('.') == std::string::npos && std::count(s.begin(), s.end(), ',') == 1)
        std::replace(s.begin(), s.end(), ',', '.');
    if (!s.empty() && s[0] == '+') s.erase(0, 1);
    auto result = std::from_chars(s.data(), s.data() + s.size(), out);
    return result.ec == std::errc() && result.ptr == s.data() + s.size() && !s.empty();
}

bool IsIntegerType(short type) {
    return type == dbByte || type == dbInteger || type == dbLong;
}
bool IsRealType(short type) {
    return type == dbCurrency || type == dbSingle || type == dbDouble || type == dbDecimal;
}

Value ToInteger(double d, short type, const std::string& fieldName) {
    double r = std::nearbyint(d);
    double lo = type == dbByte ? 0 : type == dbInteger ? -32768.0 : -2147483648.0;
    double hi = type == dbByte ? 255 : type == dbInteger ? 32767.0 : 2147483647.0;
    if (!(r >= lo && r <= hi)) throw MakeError(err::kConversion, fieldName);
    return static_cast<long long>(r);
}

}  // namespace

Value ConvertForField(const Value& value, short type, long size, const std::string& fieldName) {
    if (IsNull(value)) return value;
    const auto* text = std::get_if<std::string>(&value);
    const auto* integer = std::get_if<long long>(&value);
    const auto* real = std::get_if<double>(&value);
    const auto* blob = std::get_if<std::vector<unsigned char>>(&value);
    if (type == dbBoolean) {
        if (integer) return *integer != 0 ? -1LL : 0LL;
        if (real) return *real != 0 ? -1LL : 0LL;
        if (text) {
            std::string t = Lower(Trim(*text));
            if (t.empty()) return std::monostate{};
            if (t == "true" || t == "verdadero" || t == "sí" || t == "si" || t == "yes" ||
                t == "on")
                return -1LL;
            if (t == "false" || t == "falso" || t == "no" || t == "off") return 0LL;
            double d = 0;
            if (ParseNumber(t, d)) return d != 0 ? -1LL : 0LL;
        }
        throw MakeError(err::kConversion, fieldName);
    }
    if (IsIntegerType(type) || IsRealType(type)) {
        double d = 0;
        if (integer) {
            if (IsRealType(type)) return static_cast<double>(*integer);
            return ToInteger(static_cast<double>(*integer), type, fieldName);
        }
        if (real) {
            d = *real;
        } else if (text) {
            std::string t = Trim(*text);
            if (t.empty()) return std::monostate{};
            if (!ParseNumber(t, d)) throw MakeError(err::kConversion, fieldName);
        } else {
            throw MakeError(err::kConversion, fieldName);
        }
        if (IsRealType(type)) {
            if (type == dbSingle) return static_cast<double>(static_cast<float>(d));
            return d;
        }
        return ToInteger(d, type, fieldName);
    }
    if (type == dbDate) {
        if (text) {
            std::string t = Trim(*text);
            if (t.empty()) return std::monostate{};
            // Stored in the one form every query compares against; a text typed as a date reads
            // day first, as the regional settings of this program do, and one that is no date is
            // refused instead of being kept as text in a date field.
            std::optional<ClassicDate> date = ParseClassicDate(t, false);
            if (!date) throw MakeError(err::kConversion, fieldName);
            return StoredDateText(*date);
        }
        if (blob) throw MakeError(err::kConversion, fieldName);
        return value;
    }
    if (type == dbBinary || type == dbLongBinary) {
        std::vector<unsigned char> bytes;
        if (blob) {
            bytes = *blob;
        } else {
            std::string t = ValueToText(value);
            bytes.assign(t.begin(), t.end());
        }
        if (type == dbBinary && size > 0 && static_cast<long>(bytes.size()) > size)
            throw MakeError(err::kFieldTooSmall, fieldName);
        return bytes;
    }
    // Text, Memo, GUID.
    std::string t = ValueToText(value);
    if (type == dbText && size > 0 && static_cast<long>(platform::CharacterCount(t)) > size)
        throw MakeError(err::kFieldTooSmall, fieldName);
    return t;
}

}  // namespace actualiz::engine::detail
