#include <memory>
#include <string>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "engine/Engine.h"

namespace actualiz::app {

// "Lista de Tablas": the user tables of the model database into List2 and of the old database
// into List3, List4 emptied for the missing-table step, and a one-line summary of the model in
// Text2. No error handling of its own: a database that cannot be opened ends the command and the
// caller decides what to do about it.
void Actualiz::Command6_Click() {
    CommandScope scope(*this, "Command6_Click");
    std::shared_ptr<engine::Database> db = engine::OpenDatabase(Text3.Text());

    List2.Clear();
    List3.Clear();
    List4.Clear();

    // The count is the whole collection, system tables included, so it is never smaller than
    // what List2 ends up holding.
    Text2.SetText(std::to_string(db->TableDefs().Count()) + " en " + db->Name());

    for (const auto& tdf : db->TableDefs())
        if (!engine::IsSystemName(tdf->Name())) List2.AddItem(tdf->Name());

    // Opening the old database takes the place of the model, which is released with it.
    db = engine::OpenDatabase(Text4.Text());

    for (const auto& tdf : db->TableDefs())
        if (!engine::IsSystemName(tdf->Name())) List3.AddItem(tdf->Name());
}

}  // namespace actualiz::app
