#include "app/Actualiz.h"
#include "app/ErrorModes.h"

namespace actualiz::app {

// "Bases Añadir": the model databases that have no old database of the same name, in List7's
// order, into List8. Names are compared exactly, letter case included; the driver copies what
// ends up here. Traps nothing: a failure leaves List8 with the names found so far.
void Actualiz::Command15_Click() {
    CommandScope scope(*this, "Command15_Click");
    List8.Clear();
    AddEntriesNotIn(List7, List6, List8);
}

}  // namespace actualiz::app
