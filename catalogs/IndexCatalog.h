#pragma once

// The index catalog: one row per field of every index of one database, so that the indexes can
// be removed from the old database and the model's re-created in it. Reached only through the
// data control Data3 and its bound text boxes Text1(0) to Text1(3).

#include <string>
#include <string_view>

namespace actualiz::catalogs {

inline constexpr const char* kIndexCatalogPath = "C:\\ActMirto\\indices.mdb";
inline constexpr const char* kIndexTable = "indices";

// Fields of the table indices, in the order of the bound text boxes Text1(0) to Text1(3).
inline constexpr const char* kIndexNameField = "nombreind";  // Text1(0): the index's name
inline constexpr const char* kIndexTableField = "tabla";     // Text1(1): the table owning it
inline constexpr const char* kIndexFieldField = "campo";     // Text1(2): one of its fields
inline constexpr const char* kIndexUniqueField = "unico";    // Text1(3): its Unique flag as text

// Fields a catalog made by `catalogs init` has beyond the four above, each a flag written like
// unico. A catalog with the four fields only still works: the listing and the copy then leave
// these properties out.
inline constexpr const char* kIndexPrimaryField = "primaria";         // the index is the key
inline constexpr const char* kIndexIgnoreNullsField = "ignoranulos";  // its IgnoreNulls
inline constexpr const char* kIndexRequiredField = "requerido";       // its Required
inline constexpr const char* kIndexDescendingField = "descendente";   // this field is descending

// How the Unique flag is written. Only the exact word "Verdadero" reads back as true.
inline constexpr const char* kUniqueTrue = "Verdadero";
inline constexpr const char* kUniqueFalse = "Falso";

std::string UniqueText(bool unique);
bool UniqueFromText(std::string_view text);

// The view of one table's rows: "Select * from indices where tabla = '<table>'", apostrophes in
// the name doubled.
std::string IndexTableView(std::string_view table);

}  // namespace actualiz::catalogs
