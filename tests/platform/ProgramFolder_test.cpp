#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/FileSystem.h"
#include "platform/ProgramFolder.h"
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

// Sets an environment variable for one test and puts back what was there.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// An installed program has no models beside it: without --program-dir the variable names the
// program folder, else the first folder that holds "modelos", else the user's own folder.
TEST(ProgramFolderChoice, OptionThenVariableThenTheFirstFolderWithModelsThenTheUsersFolder) {
    TempPrefix prefix;
    prefix.makeDir("prog/modelos");
    const fs::path userData = prefix.root() / "datos-usuario";
    ScopedVariable dataHome("XDG_DATA_HOME", userData.string());
    ScopedVariable unset("ACTUALIZ_PROGRAM_DIR", "");

    // Nothing holds models: the user's folder, where they are to be put.
    EXPECT_EQ(ToHostPath(ResolveProgramFolder("")), userData / "actualiz");
    EXPECT_NE(ProgramFolderRule().find((userData / "actualiz").string()), std::string::npos)
        << ProgramFolderRule();
    EXPECT_NE(ProgramFolderRule().find("ACTUALIZ_PROGRAM_DIR"), std::string::npos);

    // Models put there are found.
    fs::create_directories(userData / "actualiz" / "modelos");
    EXPECT_EQ(ToHostPath(ResolveProgramFolder("")), userData / "actualiz");

    // The variable comes before the search, a Windows or a host path alike.
    {
        ScopedVariable named("ACTUALIZ_PROGRAM_DIR", "C:\\prog\\");
        EXPECT_EQ(ResolveProgramFolder(""), "C:\\prog");
    }
    {
        ScopedVariable named("ACTUALIZ_PROGRAM_DIR", prefix.driveCPath("prog").string());
        EXPECT_EQ(ResolveProgramFolder(""), "C:\\prog");
        // And the option before the variable.
        EXPECT_EQ(ResolveProgramFolder("C:\\otro"), "C:\\otro");
    }
}

TEST(ProgramFolderChoice, TheRunningProgramsFolderComesFirstAndTheInstallationsShareFolderLast) {
    const std::vector<fs::path> candidates = ProgramFolderCandidates();
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path();
    ASSERT_GE(candidates.size(), 2u);
    EXPECT_EQ(candidates.front(), program);
    EXPECT_EQ(candidates.back(), program.parent_path() / "share" / "actualiz");
}
