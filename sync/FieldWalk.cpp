#include <memory>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "engine/Engine.h"
#include "sync/Steps.h"

namespace actualiz::app {

namespace {

// Selects in List3 the old table that goes with the model table selected in List2 and says
// whether there is one. The exact name comes first. Failing that, a name that differs only in
// letter case is the same table to the engine, so that one is walked. With neither, nothing must
// be compared with whatever old table happens to be selected: its fields would be appended to
// the wrong table.
bool SelectOldNamesake(const ListBox& List2, ListBox& List3) {
    for (int j = 0; j < List3.ListCount(); ++j) {
        List3.SetListIndex(j);
        if (List2.Text() == List3.Text()) return true;
    }
    for (int j = 0; j < List3.ListCount(); ++j) {
        List3.SetListIndex(j);
        if (engine::SameName(List2.Text(), List3.Text())) return true;
    }
    return false;
}

}  // namespace

// "Recorrer Tablas": for every model table, appends to the old table of the same name each field
// the model has and the old one lacks. Only names are compared; a field present on both sides
// keeps its old type and size, and fields only the old table has stay.
//
// The walk starts with no error handling of its own and switches to skip-on-error after the
// first table that needed fields: from then on one table's trouble must not cost the others
// their fields.
void Actualiz::Command12_Click() {
    CommandScope scope(*this, "Command12_Click");
    SkipOnError skip(*this, "Command12_Click");
    bool skipping = false;
    auto step = [&](auto&& body) {
        if (skipping)
            skip(body);
        else
            body();
    };

    sync::FieldTriple model{List1(0), List1(1), List1(2)};
    sync::FieldTriple toAdd{List1(3), List1(4), List1(5)};
    ListBox& oldNames = List5(0);

    Bar2.SetValue(0);
    Bar2.SetMax(static_cast<float>(List2.ListCount()));

    for (int i = 0; i < List2.ListCount(); ++i) {
        Bar2.SetValue(static_cast<float>(i + 1));
        // The repaint reaches out to the view, so it is a step like the others: after the
        // switch a failing one is passed over.
        step([&] { Frame13.Refresh(); });
        List2.SetListIndex(i);

        if (!SelectOldNamesake(List2, List3)) continue;

        // The old listing first, then the model's: Data1 is thereby left on the model database
        // while the old one is changed below.
        step([&] { Command11_Click(); });
        step([&] { Command10_Click(); });

        toAdd.Clear();
        Bar3.SetValue(0);
        Bar3.SetMax(static_cast<float>(model.names.ListCount()));

        for (int k = 0; k < model.names.ListCount(); ++k) {
            Bar3.SetValue(static_cast<float>(k + 1));
            step([&] { Frame13.Refresh(); });
            model.Select(k);
            bool found = false;
            const int n = oldNames.ListCount() - 1;
            for (int m = 0; m <= n; ++m) {
                oldNames.SetListIndex(m);
                if (oldNames.Text() == model.names.Text()) {
                    found = true;
                    break;
                }
            }
            if (!found) {
                toAdd.names.AddItem(model.names.Text());
                toAdd.types.AddItem(model.types.Text());
                toAdd.sizes.AddItem(model.sizes.Text());
            } else {
                // A matched old name leaves the list, so List5(0) ends up holding what the old
                // table has beyond the model.
                oldNames.RemoveItem(oldNames.ListIndex());
            }
        }

        if (toAdd.names.ListCount() == 0) continue;

        // Under skip-on-error a database that could not be opened stays unset, and every step
        // that needs it fails in turn (and is recorded) while the bars go on.
        std::shared_ptr<engine::Database> db;
        std::shared_ptr<engine::TableDef> tdf;
        step([&] { db = engine::OpenDatabase(Text4.Text()); });
        step([&] { tdf = Require(db).TableDefs()[List3.Text()]; });
        // The model's definition of the table gives what the lists do not hold; a field that
        // would be required in a table that already has rows is appended as not required.
        std::shared_ptr<engine::Database> modelDb;
        std::shared_ptr<engine::TableDef> modelTable;
        bool hasRows = true;
        step([&] {
            modelDb = engine::OpenDatabase(Text3.Text());
            modelTable = sync::FindTable(*modelDb, List2.Text());
        });
        step([&] { hasRows = sync::TableHasRows(Require(db), List3.Text()); });
        for (int p = 0; p < toAdd.names.ListCount(); ++p) {
            toAdd.Select(p);
            std::shared_ptr<engine::Field> fld;
            step([&] {
                fld = Require(tdf).CreateField(
                    toAdd.names.Text(), static_cast<short>(sync::ListNumber(toAdd.types.Text())),
                    sync::ListNumber(toAdd.sizes.Text()));
            });
            step([&] {
                if (sync::ListNumber(toAdd.types.Text()) == engine::dbText)
                    Require(fld).SetAllowZeroLength(true);
            });
            step([&] {
                if (sync::ListNumber(toAdd.types.Text()) == engine::dbMemo)
                    Require(fld).SetAllowZeroLength(true);
            });
            step([&] {
                if (modelTable && modelTable->Fields().Contains(toAdd.names.Text()))
                    sync::CarryFieldProperties(*modelTable->Fields()[toAdd.names.Text()],
                                               Require(fld), hasRows);
            });
            // A field the old table has under another letter case is refused by the engine;
            // that one field is passed over and the rest still get appended.
            step([&] {
                Require(fld);
                sync::PassOverIfExists(skip, [&] { Require(tdf).Fields().Append(fld); });
            });
        }
        skipping = true;
        step([&] { Require(db).Close(); });
        if (modelDb) step([&] { modelDb->Close(); });
    }
}

}  // namespace actualiz::app
