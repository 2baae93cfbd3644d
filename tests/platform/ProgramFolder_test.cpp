#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/FileSystem.h"
#include "support/TempPrefix.h"

namespace fs = std::filesystem;
using actualiz::Error;
using actualiz::testing::TempPrefix;
using namespace actualiz::platform;

TEST(ProgramFolderPath, NoTrailingBackslashExceptAtADriveRoot) {
    TempPrefix prefix;
    prefix.makeDir("Mirto 2000");
    EXPECT_EQ(ProgramFolderFor(prefix.driveC()), "C:\\");
    EXPECT_EQ(ProgramFolderFor(prefix.driveCPath("Mirto 2000")), "C:\\Mirto 2000");
    EXPECT_EQ(ProgramFolderFor(prefix.driveC() / "Mirto 2000" / ""), "C:\\Mirto 2000");
    EXPECT_EQ(ProgramFolderFor("/"), "Z:\\");
    EXPECT_EQ(ProgramFolderFor("/usr/local/bin/"), "Z:\\usr\\local\\bin");
}

TEST(ProgramFolderPath, AProgramAtARootFindsItsModelsThroughTheDoubledBackslash) {
    TempPrefix prefix;
    prefix.writeFile("modelos/clientes.mdb", "x");
    const std::string pattern = ProgramFolderFor(prefix.driveC()) + "\\modelos\\*.mdb";
    EXPECT_EQ(pattern, "C:\\\\modelos\\*.mdb");
    EXPECT_EQ(FindEntries(pattern), std::vector<std::string>{"clientes.mdb"});
}

TEST(ProgramFolderPath, TheRunningProgramsFolder) {
    TempPrefix prefix;
    std::string expected = fs::read_symlink("/proc/self/exe").parent_path().string();
    std::replace(expected.begin(), expected.end(), '/', '\\');
    EXPECT_EQ(ProgramFolder(), "Z:" + expected);
}

TEST(ProgramFolderPath, AFolderNoDriveMapsIsAnError) {
    TempPrefix prefix;
    fs::create_directories(prefix.root() / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix.root() / "dosdevices" / "c:");
    EXPECT_EQ(ProgramFolderFor(prefix.driveC()), "C:\\");
    try {
        ProgramFolderFor("/usr/local/bin");
        ADD_FAILURE() << "a folder outside every drive got a Windows path";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 76);
    }
}
