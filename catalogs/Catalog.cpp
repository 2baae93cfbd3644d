#include "catalogs/Catalog.h"

#include <memory>

#include "app/Controls.h"
#include "engine/Engine.h"

namespace actualiz::catalogs {

bool HasRows(const engine::Recordset& view) {
    return !(view.Eof() && view.BOF());
}

std::string SqlLiteral(std::string_view text) {
    return engine::QuoteLiteral(text);
}

void EmptyCatalog(app::DataControl& data, std::string_view table) {
    // One transaction for the whole emptying: a catalog is emptied completely or not at all.
    engine::WriteGroup writes(data.Database());
    engine::Recordset& view = data.Recordset();
    if (HasRows(view)) view.MoveFirst();
    while (!view.Eof()) {
        view.Delete();
        if (!view.Eof()) view.MoveNext();
    }

    // The rest of the table, through the catalog's own open database: the view's rows are gone
    // already, so this set holds only what the view did not show.
    std::unique_ptr<engine::Recordset> rest = data.Database().OpenRecordset(table);
    while (!rest->Eof()) {
        rest->Delete();
        rest->MoveNext();
    }
    rest->Close();
    writes.Commit();
}

}  // namespace actualiz::catalogs
