#include "app/Actualiz.h"
#include "app/ErrorModes.h"

namespace actualiz::app {

// "Bases Añadir": the model databases that have no old database of the same name, in List7's
// order, into List8. Names are compared exactly, letter case included; the driver copies what
// ends up here. Traps nothing: a failure leaves List8 with the names found so far.
void Actualiz::Command15_Click() {
    CommandScope scope(*this, "Command15_Click");
    List8.Clear();
    for (int i = 0; i < List7.ListCount(); ++i) {
        List7.SetListIndex(i);
        bool found = false;
        for (int j = 0; j < List6.ListCount(); ++j) {
            List6.SetListIndex(j);
            if (List7.Text() == List6.Text()) found = true;
        }
        if (!found) List8.AddItem(List7.Text());
    }
}

}  // namespace actualiz::app
