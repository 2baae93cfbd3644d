// Every test program starts as actualiz-cli and the window do: a real Jet file given to the engine
// opens read-only.
#include <gtest/gtest.h>

#include "jet/JetReader.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    actualiz::engine::InstallJetOpening();
    return RUN_ALL_TESTS();
}
