#include <memory>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "engine/Engine.h"
#include "engine/ForeignFiles.h"
#include "sync/Steps.h"

namespace actualiz::app {

// "Igualar BBDD": creates in the old database every model table it lacks. The names come from
// the table lists (List2 model, List3 old) and the new tables are built field by field from the
// model's field listing, with what the lists do not hold (counters, defaults, rules, required
// fields, the table's rule and primary key) from the model's definition. No error handling of its
// own, except that a table the engine already knows under another letter case is passed over and
// recorded instead of ending the run.
//
// The table counts are not compared first: an old database with a table of its own has as many
// tables as the model (or more) and still lacks some of the model's, so the names are always
// compared.
void Actualiz::Command8_Click() {
    CommandScope scope(*this, "Command8_Click");
    // A real Access file is changed through a stand-in, written back when the command (or the
    // pair the driver is upgrading) ends.
    engine::ForeignFileWriting writing(Text4.Text());
    SkipOnError record(*this, "Command8_Click");

    Text5.SetText(Text3.Text());

    // The scan does not stop at a match: it runs to the end of List3 and leaves List3's last entry
    // selected (the driver lists the tables again before the field walk anyway).
    AddEntriesNotIn(List2, List3, List4);

    if (List4.ListCount() == 0) return;

    std::shared_ptr<engine::Database> db = engine::OpenDatabase(Text4.Text());
    // The model's definitions give what the lists do not hold: counters, defaults, rules, the
    // primary key. Should the model not open, the tables are still made from the lists.
    std::shared_ptr<engine::Database> modelDb;
    record([&] { modelDb = engine::OpenDatabase(Text5.Text()); });

    sync::FieldTriple model{List1(0), List1(1), List1(2)};
    for (int k = 0; k < List4.ListCount(); ++k) {
        List4.SetListIndex(k);
        Command2_Click();

        std::shared_ptr<engine::TableDef> tdf = db->CreateTableDef(List4.Text());
        std::shared_ptr<engine::TableDef> modelTable =
            modelDb ? sync::FindTable(*modelDb, List4.Text()) : nullptr;
        for (int m = 0; m < model.names.ListCount(); ++m) {
            model.Select(m);
            std::shared_ptr<engine::Field> fld = tdf->CreateField(
                model.names.Text(), static_cast<short>(sync::ListNumber(model.types.Text())),
                sync::ListNumber(model.sizes.Text()));
            if (sync::ListNumber(model.types.Text()) == engine::dbText)
                fld->SetAllowZeroLength(true);
            if (sync::ListNumber(model.types.Text()) == engine::dbMemo)
                fld->SetAllowZeroLength(true);
            if (modelTable && modelTable->Fields().Contains(fld->Name()))
                sync::CarryFieldProperties(*modelTable->Fields()[fld->Name()], *fld, false);
            tdf->Fields().Append(fld);
        }
        if (modelTable) sync::CarryTableProperties(*modelTable, *tdf);
        // Appending the definition creates the table in the file at once.
        sync::PassOverIfExists(record, [&] { db->TableDefs().Append(tdf); });
    }

    db->Close();
    if (modelDb) modelDb->Close();
    writing.Finish();
}

// "Crear Tabla": the button is there, but creating tables is Command8_Click's job.
void Actualiz::Command9_Click() {}

}  // namespace actualiz::app
