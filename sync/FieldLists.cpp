#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "sync/Steps.h"

namespace actualiz::app {

using sync::FieldTriple;

// "Lista Campos Origen": the fields of the model table selected in List2 into List1(0..2). The
// lists are emptied first and from then on nothing may stop the caller: a table that cannot be
// opened (nothing selected, no such table or database) just leaves the three lists empty.
void Actualiz::Command10_Click() {
    CommandScope scope(*this, "Command10_Click");
    FieldTriple model{List1(0), List1(1), List1(2)};
    model.Clear();

    SkipOnError step(*this, "Command10_Click");
    step([&] { Data1.SetDatabaseName(Text3.Text()); });
    step([&] { Data1.SetRecordSource(sync::SelectAllFrom(List2.Text())); });
    step([&] { sync::OpenListing(Data1); });
    sync::ListRecordsetFields(Data1, model, step);
}

// "Lista Campos Destino": the fields of the old table selected in List3 into List5(0..2). No
// error handling of its own; the lists are emptied before the table is opened, so a table that
// cannot be opened leaves them empty.
void Actualiz::Command11_Click() {
    CommandScope scope(*this, "Command11_Click");
    FieldTriple old{List5(0), List5(1), List5(2)};
    old.Clear();

    Data1.SetDatabaseName(Text4.Text());
    Data1.SetRecordSource(sync::SelectAllFrom(List3.Text()));
    sync::OpenListing(Data1);
    sync::ListRecordsetFields(Data1, old, sync::kDirect);
}

// "Lista de Campos": the fields of the model table selected in List4 (a table about to be
// created in the old database) into List1(0..2). The table is opened before the lists are
// emptied, so when it cannot be opened the lists keep what they held and the failure goes to
// the caller.
void Actualiz::Command2_Click() {
    CommandScope scope(*this, "Command2_Click");
    Data1.SetDatabaseName(Text3.Text());
    Data1.SetRecordSource(sync::SelectAllFrom(List4.Text()));
    sync::OpenListing(Data1);

    FieldTriple model{List1(0), List1(1), List1(2)};
    model.Clear();
    sync::ListRecordsetFields(Data1, model, sync::kDirect);
}

}  // namespace actualiz::app
