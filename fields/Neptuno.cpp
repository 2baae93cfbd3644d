// The sample commands on the field routine: they add the fields Correo, Http and Cuota to the
// table Empleados of the sample database C:\Neptuno.mdb, remove them again, and point Data2 at
// that table.

#include <cstdint>
#include <memory>
#include <string>

#include "app/Actualiz.h"
#include "app/DatabaseWriting.h"
#include "engine/Engine.h"

namespace actualiz::app {

namespace {

constexpr const char* kSampleDatabase = "C:\\Neptuno.mdb";

}  // namespace

// "Llenar DBGRID": shows Empleados through Data2. The window has no grid of its own; whoever
// shows Data2 reads its record set after the refresh.
void Actualiz::Command3_Click() {
    Data2.SetDatabaseName(kSampleDatabase);
    Data2.Refresh();
}

// "Añadir Campo".
void Actualiz::Command4_Click() {
    AppendX();
}

// No error is trapped: appending a field that is already there (a second run) stops at that
// field, and the ones after it are not tried. A real Access file is changed through a stand-in
// and written once, with the fields appended before such a failure.
void Actualiz::AppendX() {
    ChangingDatabase(kSampleDatabase, [&] {
        std::shared_ptr<engine::Database> dbsNeptuno = engine::OpenDatabase(kSampleDatabase);
        std::shared_ptr<engine::TableDef> tdfEmpleados = dbsNeptuno->TableDefs()["Empleados"];

        AnexarEliminarCampo(*tdfEmpleados, "APPEND", "Correo", engine::dbText, 50);
        AnexarEliminarCampo(*tdfEmpleados, "APPEND", "Http", engine::dbText, 80);
        AnexarEliminarCampo(*tdfEmpleados, "APPEND", "Cuota", engine::dbInteger, 5);
        dbsNeptuno->Close();
    });

    // Data2 reads Empleados anew, from the file as written, so that it shows the new fields.
    Data2.SetDatabaseName(kSampleDatabase);
    Data2.Refresh();
}

// "Borrar Campos": removes the three sample fields again. Data2 is left as it is.
void Actualiz::Command5_Click() {
    ChangingDatabase(kSampleDatabase, [&] {
        std::shared_ptr<engine::Database> dbsNeptuno = engine::OpenDatabase(kSampleDatabase);
        std::shared_ptr<engine::TableDef> tdfEmpleados = dbsNeptuno->TableDefs()["Empleados"];

        AnexarEliminarCampo(*tdfEmpleados, "DELETE", "Correo", 0, 0);
        AnexarEliminarCampo(*tdfEmpleados, "DELETE", "Http", 0, 0);
        AnexarEliminarCampo(*tdfEmpleados, "DELETE", "Cuota", 0, 0);

        dbsNeptuno->Close();
    });
}

}  // namespace actualiz::app
