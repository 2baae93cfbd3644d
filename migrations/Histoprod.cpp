// "Transformar" (Command25): adds the treatment-history table histoprod to clientes.mdb in the
// data folder, with four single-field indexes.

#include <memory>
#include <optional>
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
    std::optional<long> size;  // text fields only
    bool allowZeroLength;
};

// One row per product applied to a client. codcli is a Double, not a Long: the clients table
// keeps its codes that way. The text and memo fields accept "" so that a history line can be
// saved before every detail of the product is known.
const NewField kHistoprodFields[] = {
    {"codcli", engine::dbDouble, {}, false},      {"fechaini", engine::dbDate, {}, false},
    {"codproducto", engine::dbLong, {}, false},   {"tipotra", engine::dbLong, {}, false},
    {"nompro", engine::dbText, 255, true},        {"registro", engine::dbText, 255, true},
    {"plazoseg", engine::dbText, 50, true},       {"dosificacion", engine::dbText, 255, true},
    {"toxicidad", engine::dbText, 50, true},      {"cantidad", engine::dbDouble, {}, false},
    {"precio", engine::dbDouble, {}, false},      {"materiaactiva", engine::dbText, 50, true},
    {"tipoaplicacion", engine::dbText, 50, true}, {"zonapli", engine::dbMemo, {}, true},
    {"zonaafec", engine::dbMemo, {}, true},
};

// Each index bears the name of its one field.
const char* const kHistoprodIndexes[] = {"codcli", "fechaini", "codproducto", "nompro"};

}  // namespace

void Actualiz::Command25_Click() {
    // ---- Phase 1: is the table there already? If not, create it. No error trap: a database
    // that cannot be opened, or a table the engine refuses, ends the command here, and the
    // file is only written by the final Append.
    Text4.SetText(Dir1.Path() + "\\" + "clientes.mdb");
    std::shared_ptr<engine::Database> db = engine::OpenDatabase(Text4.Text());

    for (const auto& existing : db->TableDefs()) {
        if (engine::IsSystemName(existing->Name())) continue;
        // Exact comparison: a "HISTOPROD" is not ours, and the Append below is refused for it.
        if (existing->Name() == "histoprod") {
            host().MsgBox("La tabla histoprod ya existe", MsgIcon::Critical, Title());
            return;  // the database is released as db goes out of scope
        }
    }

    std::shared_ptr<engine::TableDef> tdf = db->CreateTableDef("histoprod");
    for (const NewField& f : kHistoprodFields) {
        std::shared_ptr<engine::Field> fld = tdf->CreateField(f.name, f.type, f.size);
        if (f.allowZeroLength) fld->SetAllowZeroLength(true);
        tdf->Fields().Append(fld);
    }
    db->TableDefs().Append(tdf);
    db->Close();

    // ---- Phase 2: the indexes, every step in skip-on-error mode on a fresh open, so that one
    // index that cannot be made does not keep the others from being tried.
    SkipOnError step(*this, "Command25_Click");
    IndexPhaseReport report(*this);
    db.reset();
    step([&] { db = engine::OpenDatabase(Text4.Text()); });
    report.MarkOpen();

    for (const char* name : kHistoprodIndexes) {
        // Fresh references for every index: when a creation step fails, the steps after it must
        // fail for want of the object rather than work on the index before.
        std::shared_ptr<engine::TableDef> table;
        std::shared_ptr<engine::Index> idx;
        std::shared_ptr<engine::Field> fld;
        step([&] { table = Require(db).TableDefs()["histoprod"]; });
        step([&] { idx = Require(table).CreateIndex(name); });
        step([&] { fld = Require(idx).CreateField(name); });
        step([&] {
            Require(fld);
            Require(idx).Fields().Append(fld);
        });
        step([&] { Require(idx).SetUnique(false); });
        step([&] {
            Require(idx);
            Require(db).TableDefs()["histoprod"]->Indexes().Append(idx);
        });
        report.MarkIndex(name);
    }

    step([&] { Require(db).Close(); });
    report.MarkClose();

    // Telling "Terminado" over a table that lacks indexes would be telling the user a failure is
    // a success: when any index step failed, say which indexes are missing and why, and keep the
    // program open so the user can read it and act.
    if (!report.Clean()) {
        host().MsgBox(report.Message("histoprod"), MsgIcon::Critical, Title());
        return;
    }
    host().MsgBox("Terminado", MsgIcon::Information, Title());
    End();
}

}  // namespace actualiz::app
