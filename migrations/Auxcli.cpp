// "Transformar" (Command26): adds the client auxiliary table auxcli to clientes.mdb in the data
// folder, with one index on the client code.

#include <memory>
#include <string>

#include "app/Actualiz.h"
#include "engine/Engine.h"
#include "migrations/NewTable.h"

namespace actualiz::app {

namespace {

// The products a client uses and the treatments they get, as free text per client. CLICOD keeps
// the capitals and the Double type of the client code in the clients table.
const migrations::NewField kAuxcliFields[] = {
    {"CLICOD", engine::dbDouble, {}, false},
    {"productos", engine::dbMemo, {}, true},
    {"tratamientos", engine::dbMemo, {}, true},
};

const char* const kAuxcliIndexes[] = {"CLICOD"};

}  // namespace

void Actualiz::Command26_Click() {
    // ---- Steps 1 to 7: is the table there already? If not, create it. No error trap: a database
    // that cannot be opened, or a table the engine refuses, ends the command here, and the file
    // is only written by the Append to TableDefs.
    Text4.SetText(Dir1.Path() + "\\" + "clientes.mdb");
    std::shared_ptr<engine::Database> db = engine::OpenDatabase(Text4.Text());
    if (migrations::HasTableNamed(*db, "auxcli")) {
        host().MsgBox("La tabla auxcli ya existe", MsgIcon::Critical, Title());
        return;  // the database is released as db goes out of scope
    }
    migrations::AppendNewTable(*db, "auxcli", kAuxcliFields);
    db->Close();

    // ---- Steps 8 to 11: the index, every step in skip-on-error mode on a fresh open.
    IndexPhaseReport report = migrations::AppendIndexesPassingFailuresOver(
        *this, "Command26_Click", "auxcli", kAuxcliIndexes);

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
