// "Transformar" (Command26): adds the client auxiliary table auxcli to clientes.mdb in the data
// folder, with one index on the client code.

#include <memory>
#include <string>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "engine/Engine.h"
#include "migrations/IndexPhaseReport.h"

namespace actualiz::app {

namespace {

struct NewField {
    const char* name;
    short type;
    bool allowZeroLength;
};

// The products a client uses and the treatments they get, as free text per client. CLICOD keeps
// the capitals and the Double type of the client code in the clients table.
const NewField kAuxcliFields[] = {
    {"CLICOD", engine::dbDouble, false},
    {"productos", engine::dbMemo, true},
    {"tratamientos", engine::dbMemo, true},
};

}  // namespace

void Actualiz::Command26_Click() {
    // ---- Steps 1 to 7: is the table there already? If not, create it. No error trap: a database
    // that cannot be opened, or a table the engine refuses, ends the command here, and the file
    // is only written by the Append to TableDefs.
    Text4.SetText(Dir1.Path() + "\\" + "clientes.mdb");
    std::shared_ptr<engine::Database> db = engine::OpenDatabase(Text4.Text());

    for (const auto& existing : db->TableDefs()) {
        if (engine::IsSystemName(existing->Name())) continue;
        // Exact comparison: an "AUXCLI" is not ours, and the Append below is refused for it.
        if (existing->Name() == "auxcli") {
            host().MsgBox("La tabla auxcli ya existe", MsgIcon::Critical, Title());
            return;  // the database is released as db goes out of scope
        }
    }

    std::shared_ptr<engine::TableDef> tdf = db->CreateTableDef("auxcli");
    for (const NewField& f : kAuxcliFields) {
        std::shared_ptr<engine::Field> fld = tdf->CreateField(f.name, f.type);
        if (f.allowZeroLength) fld->SetAllowZeroLength(true);
        tdf->Fields().Append(fld);
    }
    db->TableDefs().Append(tdf);
    db->Close();

    // ---- Steps 8 to 11: the index, every step in skip-on-error mode on a fresh open.
    SkipOnError step(*this, "Command26_Click");
    IndexPhaseReport report(*this);
    db.reset();
    step([&] { db = engine::OpenDatabase(Text4.Text()); });
    report.MarkOpen();

    std::shared_ptr<engine::TableDef> table;
    std::shared_ptr<engine::Index> idx;
    std::shared_ptr<engine::Field> fld;
    step([&] { table = Require(db).TableDefs()["auxcli"]; });
    step([&] { idx = Require(table).CreateIndex("CLICOD"); });
    step([&] { fld = Require(idx).CreateField("CLICOD"); });
    step([&] {
        Require(fld);
        Require(idx).Fields().Append(fld);
    });
    step([&] { Require(idx).SetUnique(false); });
    step([&] {
        Require(idx);
        Require(db).TableDefs()["auxcli"]->Indexes().Append(idx);
    });
    report.MarkIndex("CLICOD");

    step([&] { Require(db).Close(); });
    report.MarkClose();

    // A missing index is no success: instead of "Terminado", say why it is missing and keep the
    // program open so the user can read it and act.
    if (!report.Clean()) {
        host().MsgBox(report.Message("auxcli"), MsgIcon::Critical, Title());
        return;
    }
    host().MsgBox("Terminado", MsgIcon::Information, Title());
    End();
}

}  // namespace actualiz::app
