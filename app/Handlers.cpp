#include "app/Actualiz.h"

namespace actualiz::app {

// Every command the window can run by name, one line per handler. A button's click runs the
// handler named after it with "_Click"; a handler missing here cannot be clicked or run.
const std::map<std::string, Actualiz::Handler, std::less<>>& Actualiz::Handlers() {
    static const std::map<std::string, Handler, std::less<>> handlers = {
        // Start-up and folder navigation
        {"Form_Activate", &Actualiz::Form_Activate},
        {"Drive1_Change", &Actualiz::Drive1_Change},
        {"Dir1_Change", &Actualiz::Dir1_Change},
        {"Command14_Click", &Actualiz::Command14_Click},
        {"Command1_Click", &Actualiz::Command1_Click},
        {"Command7_Click", &Actualiz::Command7_Click},

        // Table and field lists (sync/)
        {"Command6_Click", &Actualiz::Command6_Click},
        {"Command10_Click", &Actualiz::Command10_Click},
        {"Command11_Click", &Actualiz::Command11_Click},
        {"Command2_Click", &Actualiz::Command2_Click},
        {"Command8_Click", &Actualiz::Command8_Click},
        {"Command9_Click", &Actualiz::Command9_Click},
        {"Command12_Click", &Actualiz::Command12_Click},

        // Transformation driver (transform/)
        {"Command15_Click", &Actualiz::Command15_Click},
        {"Command13_Click", &Actualiz::Command13_Click},

        // Index catalog
        {"Command17_Click", &Actualiz::Command17_Click},
        {"Command18_Click", &Actualiz::Command18_Click},
        {"Command19_Click", &Actualiz::Command19_Click},
        {"Command16_Click", &Actualiz::Command16_Click},

        // Relation catalog
        {"Command22_Click", &Actualiz::Command22_Click},
        {"Command20_Click", &Actualiz::Command20_Click},
        {"Command21_Click", &Actualiz::Command21_Click},

        // Query catalog (catalogs/)
        {"Command24_Click", &Actualiz::Command24_Click},
        {"Command23_Click", &Actualiz::Command23_Click},

        // Fixed migrations (migrations/)
        {"Command25_Click", &Actualiz::Command25_Click},
        {"Command26_Click", &Actualiz::Command26_Click},
        {"Command27_Click", &Actualiz::Command27_Click},

        // Field routines (fields/)
        {"Command3_Click", &Actualiz::Command3_Click},
        {"Command4_Click", &Actualiz::Command4_Click},
        {"Command5_Click", &Actualiz::Command5_Click},
    };
    return handlers;
}

}  // namespace actualiz::app
