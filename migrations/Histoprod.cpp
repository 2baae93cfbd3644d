// "Transformar" (Command25): adds the treatment-history table histoprod to clientes.mdb in the
// data folder, with four single-field indexes.

#include <memory>
#include <optional>
#include <string>

#include "app/Actualiz.h"
#include "engine/Engine.h"
#include "migrations/NewTable.h"

namespace actualiz::app {

namespace {

// One row per product applied to a client. codcli is a Double, not a Long: the clients table
// keeps its codes that way. The text and memo fields accept "" so that a history line can be
// saved before every detail of the product is known.
const migrations::NewField kHistoprodFields[] = {
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
    if (migrations::HasTableNamed(*db, "histoprod")) {
        host().MsgBox("La tabla histoprod ya existe", MsgIcon::Critical, Title());
        return;  // the database is released as db goes out of scope
    }
    migrations::AppendNewTable(*db, "histoprod", kHistoprodFields);
    db->Close();

    // ---- Phase 2: the indexes, every step in skip-on-error mode on a fresh open.
    IndexPhaseReport report = migrations::AppendIndexesPassingFailuresOver(
        *this, "Command25_Click", "histoprod", kHistoprodIndexes);

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
