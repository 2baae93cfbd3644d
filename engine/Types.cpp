#include "engine/Types.h"

#include <charconv>

namespace actualiz::engine {

std::string ValueToText(const Value& value) {
    if (auto* i = std::get_if<long long>(&value)) return std::to_string(*i);
    if (auto* d = std::get_if<double>(&value)) {
        char buffer[64];
        auto result = std::to_chars(buffer, buffer + sizeof buffer, *d);
        return std::string(buffer, result.ptr);
    }
    if (auto* s = std::get_if<std::string>(&value)) return *s;
    if (auto* b = std::get_if<std::vector<unsigned char>>(&value))
        return std::string(b->begin(), b->end());
    return {};
}

bool IsTextType(short type) {
    return type == dbText || type == dbMemo || type == dbGUID;
}

bool IsKnownType(short type) {
    switch (type) {
        case dbBoolean:
        case dbByte:
        case dbInteger:
        case dbLong:
        case dbCurrency:
        case dbSingle:
        case dbDouble:
        case dbDate:
        case dbBinary:
        case dbText:
        case dbLongBinary:
        case dbMemo:
        case dbGUID:
        case dbDecimal:
            return true;
        default:
            return false;
    }
}

std::optional<long> FixedSize(short type) {
    switch (type) {
        case dbBoolean:
        case dbByte:
            return 1;
        case dbInteger:
            return 2;
        case dbLong:
        case dbSingle:
            return 4;
        case dbCurrency:
        case dbDouble:
        case dbDate:
            return 8;
        case dbGUID:
        case dbDecimal:
            return 16;
        case dbLongBinary:
        case dbMemo:
            return 0;
        default:
            return std::nullopt;
    }
}

std::string SqliteDeclaredType(short type, long size) {
    // The declared names are chosen for their SQLite affinity: INT -> INTEGER, CHAR/TEXT -> TEXT,
    // FLOA/DOUB -> REAL, BLOB -> BLOB, anything else NUMERIC.
    switch (type) {
        case dbBoolean:
            return "BOOLEAN";
        case dbByte:
            return "TINYINT";
        case dbInteger:
            return "SMALLINT";
        case dbLong:
            return "INTEGER";
        case dbCurrency:
            return "CURRENCY";
        case dbSingle:
            return "FLOAT";
        case dbDouble:
            return "DOUBLE";
        case dbDate:
            return "DATETIME";
        case dbBinary:
            return "BLOB";
        case dbText:
            return "VARCHAR(" + std::to_string(size) + ")";
        case dbLongBinary:
            return "BLOB";
        case dbMemo:
            return "TEXT";
        case dbGUID:
            return "CHAR(38)";
        case dbDecimal:
            return "DECIMAL(28,0)";
        default:
            return "";
    }
}

std::string TypeName(short type) {
    switch (type) {
        case dbBoolean:
            return "Boolean";
        case dbByte:
            return "Byte";
        case dbInteger:
            return "Integer";
        case dbLong:
            return "Long";
        case dbCurrency:
            return "Currency";
        case dbSingle:
            return "Single";
        case dbDouble:
            return "Double";
        case dbDate:
            return "Date";
        case dbBinary:
            return "Binary";
        case dbText:
            return "Text";
        case dbLongBinary:
            return "LongBinary";
        case dbMemo:
            return "Memo";
        case dbGUID:
            return "GUID";
        case dbDecimal:
            return "Decimal";
        default:
            return "Tipo " + std::to_string(type);
    }
}

}  // namespace actualiz::engine
