#pragma once

// The relation catalog: one row per field pair of every relation of the model database, so that
// the relations can be re-created in the old database. Reached only through the data control
// Data4 and its bound text boxes Text6(0) to Text6(5).

#include <string>
#include <string_view>

namespace actualiz::catalogs {

inline constexpr const char* kRelationCatalogPath = "C:\\ActMirto\\relacion.mdb";
inline constexpr const char* kRelationTable = "relacion";

// Fields of the table relacion, in the order of the bound text boxes Text6(0) to Text6(5).
inline constexpr const char* kRelationNameField = "nombrerel";         // the relation's name
inline constexpr const char* kRelationTableField = "tabla";            // its primary table
inline constexpr const char* kRelationForeignTableField = "tablafor";  // its foreign table
inline constexpr const char* kRelationAttributesField = "atributos";   // attribute bits, decimal
inline constexpr const char* kRelationFieldField = "campo";            // a field of tabla
inline constexpr const char* kRelationForeignFieldField = "campofor";  // its match in tablafor

// The view of one relation's rows: "Select * from relacion where nombrerel = '<name>'",
// apostrophes in the name doubled.
std::string RelationView(std::string_view relationName);

// The attribute bits as the catalog writes them (decimal), and back. Text that is no whole
// number raises 13 ("No coinciden los tipos"), as the classic conversion does.
std::string AttributesText(long attributes);
long AttributesFromText(std::string_view text);

}  // namespace actualiz::catalogs
