#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace actualiz::engine {

// Field type codes as the classic engine publishes them; callers keep them as plain numbers.
enum DataType : short {
    dbBoolean = 1,
    dbByte = 2,
    dbInteger = 3,
    dbLong = 4,
    dbCurrency = 5,
    dbSingle = 6,
    dbDouble = 7,
    dbDate = 8,
    dbBinary = 9,
    dbText = 10,
    dbLongBinary = 11,
    dbMemo = 12,
    dbGUID = 15,
    dbDecimal = 20
};

// Bits of a relation's Attributes, kept and reported exactly as given.
enum RelationAttributeEnum : long {
    dbRelationUnique = 1,
    dbRelationDontEnforce = 2,
    dbRelationInherited = 4,
    dbRelationUpdateCascade = 256,
    dbRelationDeleteCascade = 4096
};

// Attributes of a field: dbDescending for an index field; dbFixedField, dbVariableField and
// dbAutoIncrField (a counter, a Long that numbers itself) for a table field.
enum FieldAttributeEnum : long {
    dbDescending = 1,
    dbFixedField = 1,
    dbVariableField = 2,
    dbAutoIncrField = 16
};

// A field value: Null, an integer (Boolean True is -1, as in the classic engine), a floating-point
// number, text (UTF-8) or binary data.
using Value =
    std::variant<std::monostate, long long, double, std::string, std::vector<unsigned char>>;

inline bool IsNull(const Value& v) {
    return std::holds_alternative<std::monostate>(v);
}

// How a bound text box shows a value: "" for Null, integers in decimal, numbers without a needless
// fraction ("2.5", "3"), text as it is, binary data as its bytes.
std::string ValueToText(const Value& value);

// True for the type codes this engine can create fields of.
bool IsKnownType(short type);
// Text, Memo and GUID: compared as text, without regard to letter case.
bool IsTextType(short type);
// The size the classic engine reports for a fixed-size type (Integer 2, Long 4 ...); 0 for Memo and
// Long Binary; std::nullopt for the types whose size is chosen (Text, Binary).
std::optional<long> FixedSize(short type);
// The declared SQLite column type used for a field ("VARCHAR(50)", "INTEGER", "TEXT" ...); it gives
// the column the natural SQLite affinity.
std::string SqliteDeclaredType(short type, long size);
// Readable type name for listings ("Text", "Long" ...).
std::string TypeName(short type);

}  // namespace actualiz::engine
