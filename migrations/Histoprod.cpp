// "Transformar" (Command25): adds the treatment-history table histoprod to clientes.mdb in the
// data folder, with four single-field indexes.

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
    migrations::AddClientsTable(*this, "Command25_Click", "histoprod", kHistoprodFields,
                                kHistoprodIndexes);
}

}  // namespace actualiz::app
