// The query commands: Command24_Click records the model's queries and lists the old database's,
// then runs Command23_Click, which deletes the listed queries from the old database and creates
// the recorded ones in it.

#include "catalogs/QueryCatalog.h"

#include <memory>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "catalogs/Catalog.h"
#include "catalogs/RemovalGuard.h"
#include "engine/Engine.h"

namespace actualiz::catalogs {

std::string OneLineSql(std::string_view sql) {
    std::string line;
    line.reserve(sql.size());
    // Byte by byte is safe in UTF-8: CR and LF never occur inside a longer character.
    for (char c : sql) line += (c == '\n' || c == '\r') ? ' ' : c;
    return line;
}

}  // namespace actualiz::catalogs

namespace actualiz::app {

void Actualiz::Command24_Click() {
    CommandScope scope(*this, "Command24_Click");
    // Emptied before the model is opened: a model that cannot be opened leaves the catalog empty.
    catalogs::EmptyCatalog(Data5, catalogs::kQueryTable);

    std::shared_ptr<engine::Database> model = engine::OpenDatabase(Text3.Text());
    List11(0).Clear();
    List11(1).Clear();
    List11(3).Clear();

    // Every row of the listing is one transaction of the catalog: a failure on the way leaves
    // none of them.
    engine::WriteGroup writes(Data5.Database());
    for (const auto& query : model->QueryDefs()) {
        if (engine::IsSystemName(query->Name())) continue;
        std::string line = catalogs::OneLineSql(query->SQL());
        Data5.Recordset().AddNew();
        campocon(0).SetText(query->Name());
        campocon(1).SetText(line);
        Data5.UpdateRecord();
    }

    writes.Commit();
    model->Close();
    model.reset();
    Data5.Refresh();

    std::shared_ptr<engine::Database> old = engine::OpenDatabase(Text4.Text());
    for (const auto& query : old->QueryDefs())
        if (!engine::IsSystemName(query->Name())) List11(1).AddItem(query->Name());
    old->Close();
    old.reset();

    Command23_Click();
}

void Actualiz::Command23_Click() {
    CommandScope scope(*this, "Command23_Click");
    // Before the first step: a damaged old database keeps its queries.
    catalogs::CheckBeforeQueryRemoval(*this);
    // From the first step to the last, a failing step is passed over (and recorded): a query the
    // old database rejects must not keep the others from being created.
    SkipOnError step(*this, "Command23_Click");

    std::shared_ptr<engine::Database> db;
    step([&] { db = engine::OpenDatabase(Text4.Text()); });
    const int count = List11(1).ListCount();
    for (int i = 0; i < count; ++i) {
        step([&] { List11(1).SetListIndex(i); });
        step([&] { Require(db).QueryDefs().Delete(List11(1).Text()); });
    }
    step([&] { Require(db).Close(); });
    db.reset();

    // A catalog that cannot even be asked whether it has rows has nothing to create either.
    bool empty = true;
    step([&] { empty = !catalogs::HasRows(Data5.Recordset()); });
    if (empty) return;

    step([&] { db = engine::OpenDatabase(Text4.Text()); });
    // Moving to the last row and back makes the row count exact.
    step([&] { Data5.Recordset().MoveFirst(); });
    step([&] { Data5.Recordset().MoveLast(); });
    step([&] { Data5.Recordset().MoveFirst(); });
    step([&] { Bar6.SetMax(static_cast<float>(Data5.Recordset().RecordCount())); });
    step([&] { Bar6.SetValue(0); });
    step([&] { Frame13.Refresh(); });

    bool atEnd = true;
    step([&] { atEnd = Data5.Recordset().Eof(); });
    while (!atEnd) {
        step([&] { Bar6.SetValue(Bar6.Value() + 1); });
        step([&] { Frame13.Refresh(); });

        // The engine stores a query created with a name at once, so the query exists once after
        // the create step. The append that follows is kept for a definition the create step did
        // not store; run on a stored one it could only fail on its own name, and that refusal
        // would be reported as a failure of every upgrade that carries a query.
        std::shared_ptr<engine::QueryDef> query;
        step([&] { query = Require(db).CreateQueryDef(campocon(0).Text(), campocon(1).Text()); });
        step([&] {
            Require(query);
            if (!Require(db).QueryDefs().Contains(query->Name()))
                Require(db).QueryDefs().Append(query);
        });

        bool moved = false;
        step([&] {
            Data5.Recordset().MoveNext();
            moved = true;
        });
        // A catalog that cannot move on is at its end as far as this walk goes.
        atEnd = !moved || Data5.Recordset().Eof();
    }

    step([&] { Require(db).Close(); });
}

}  // namespace actualiz::app
