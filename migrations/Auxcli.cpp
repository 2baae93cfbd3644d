// "Transformar" (Command26): adds the client auxiliary table auxcli to clientes.mdb in the data
// folder, with one index on the client code.

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
    migrations::AddClientsTable(*this, "Command26_Click", "auxcli", kAuxcliFields, kAuxcliIndexes);
}

}  // namespace actualiz::app
