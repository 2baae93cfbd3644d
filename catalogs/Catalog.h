#pragma once

// What the three catalogs (indexes, relations, queries) have in common: where they live, how a
// view is tested for rows, how a name goes into a view's select text, and how a listing empties
// its catalog before it writes it afresh.

#include <string>
#include <string_view>

namespace actualiz::app {
class DataControl;
}
namespace actualiz::engine {
class Recordset;
}

namespace actualiz::catalogs {

// The folder of the three catalog databases.
inline constexpr const char* kCatalogFolder = "C:\\ActMirto";

// Whether a catalog view holds rows: it is not at its end and at its beginning at the same time.
bool HasRows(const engine::Recordset& view);

// A text literal for a view's select text: the text between apostrophes, every apostrophe inside
// it doubled, so that a name such as "Pedidos d'Europa" selects its own rows instead of breaking
// the statement.
std::string SqlLiteral(std::string_view text);

// Empties a catalog before a listing records a database in it. The rows of the data control's
// current view are deleted first, walking the view; then every row of the catalog table that lay
// outside that view goes too. A view narrowed to one table or one relation would otherwise leave
// behind the rows of the other tables and of earlier databases, and the next database would get
// them: another database's indexes, the old database's own indexes beside the model's, or a
// relation read twice. The view itself stays what it was (now without rows). The emptying is one
// transaction of the catalog file. Raises 91 when the catalog is not open.
void EmptyCatalog(app::DataControl& data, std::string_view table);

}  // namespace actualiz::catalogs
