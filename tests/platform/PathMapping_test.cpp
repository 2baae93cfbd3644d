#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/FileSystem.h"
#include "support/TempPrefix.h"

namespace fs = std::filesystem;
using actualiz::Error;
using actualiz::testing::TempPrefix;
using namespace actualiz::platform;

namespace {

// Runs `call` and returns the classic error number it raised; fails the test if it raised none.
template <typename Call>
int ErrorNumberOf(Call call, std::string* description = nullptr) {
    try {
        call();
    } catch (const Error& e) {
        if (description) *description = e.description();
        return e.number();
    }
    ADD_FAILURE() << "no error was raised";
    return 0;
}

// How drive Z names a host path: "/tmp/x" -> "Z:\\tmp\\x".
std::string OnDriveZ(const fs::path& host) {
    std::string text = host.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return "Z:" + text;
}

}  // namespace

TEST(WindowsToHost, DriveLetterInEitherCaseAndBothSeparators) {
    TempPrefix prefix;
    prefix.makeDir("ActMirto");
    const fs::path expected = prefix.driveCPath("ActMirto/indices.mdb");
    EXPECT_EQ(ToHostPath("c:\\ActMirto\\indices.mdb"), expected);
    EXPECT_EQ(ToHostPath("C:\\ActMirto\\indices.mdb"), expected);
    EXPECT_EQ(ToHostPath("C:/ActMirto/indices.mdb"), expected);
    EXPECT_EQ(ToHostPath("c:\\ActMirto/indices.mdb"), expected);
}

TEST(WindowsToHost, ExistingFoldersAreFoundInAnyCase) {
    TempPrefix prefix;
    prefix.writeFile("Archivos de Programa/Mirto 2000/bases/Clientes.mdb", "x");
    EXPECT_EQ(ToHostPath("c:\\archivos de programa\\MIRTO 2000\\Bases\\clientes.MDB"),
              prefix.driveCPath("Archivos de Programa/Mirto 2000/bases/Clientes.mdb"));
    EXPECT_TRUE(FileExists("c:\\ARCHIVOS DE PROGRAMA\\mirto 2000\\BASES\\CLIENTES.MDB"));
    EXPECT_TRUE(DirectoryExists("c:\\archivos de programa\\mirto 2000\\bases"));
}

TEST(WindowsToHost, AccentedLettersMatchInAnyCase) {
    TempPrefix prefix;
    prefix.makeDir("Categoría/Año");
    EXPECT_EQ(ToHostPath("c:\\CATEGORÍA\\AÑO"), prefix.driveCPath("Categoría/Año"));
}

TEST(WindowsToHost, TheNameAsWrittenWinsOverAnotherCase) {
    TempPrefix prefix;
    prefix.makeDir("Datos");
    prefix.makeDir("datos");
    EXPECT_EQ(ToHostPath("c:\\datos"), prefix.driveCPath("datos"));
    EXPECT_EQ(ToHostPath("c:\\Datos"), prefix.driveCPath("Datos"));
    // Neither is written so: the choice must not depend on the host's listing order.
    EXPECT_EQ(ToHostPath("c:\\DATOS"), prefix.driveCPath("Datos"));
}

TEST(WindowsToHost, MissingComponentsKeepTheirNameAsWritten) {
    TempPrefix prefix;
    prefix.makeDir("Bases");
    EXPECT_EQ(ToHostPath("c:\\bases\\Nuevo\\Copia.MDB"),
              prefix.driveCPath("Bases/Nuevo/Copia.MDB"));
    EXPECT_FALSE(FileExists("c:\\bases\\Nuevo\\Copia.MDB"));
    EXPECT_FALSE(DirectoryExists("c:\\bases\\Nuevo"));
}

TEST(WindowsToHost, DoubledSeparatorsCollapse) {
    TempPrefix prefix;
    prefix.writeFile("clientes.mdb", "x");
    prefix.writeFile("bases/almacen.mdb", "x");
    // A program folder at a drive root followed by "\..." gives exactly this doubled backslash.
    EXPECT_EQ(ToHostPath("c:\\\\clientes.mdb"), prefix.driveCPath("clientes.mdb"));
    EXPECT_TRUE(FileExists("c:\\\\clientes.mdb"));
    EXPECT_TRUE(FileExists("c:\\bases\\\\\\almacen.mdb"));
    EXPECT_TRUE(FileExists("c://bases//almacen.mdb"));
}

TEST(WindowsToHost, DotAndDotDotAreResolvedWithoutLeavingTheDrive) {
    TempPrefix prefix;
    prefix.makeDir("a/b");
    EXPECT_EQ(ToHostPath("c:\\a\\.\\b\\..\\c.mdb"), prefix.driveCPath("a/c.mdb"));
    EXPECT_EQ(ToHostPath("c:\\..\\..\\a"), prefix.driveCPath("a"));
}

TEST(WindowsToHost, DriveRoot) {
    TempPrefix prefix;
    EXPECT_EQ(ToHostPath("c:\\"), prefix.driveC());
    EXPECT_EQ(ToHostPath("C:"), prefix.driveC());
    EXPECT_TRUE(DirectoryExists("c:\\"));
    EXPECT_EQ(ToHostPath("z:\\"), fs::path("/"));
    EXPECT_EQ(ToHostPath("Z:\\tmp"), fs::path("/tmp"));
}

// Command lines mix both kinds: only a drive letter makes a Windows path; a relative host path
// stays relative (a failed create given "out/x.mdb" must find its own file to remove it).
TEST(WindowsToHost, ResolvePathTellsTheKindsApartByTheDriveLetterAlone) {
    TempPrefix prefix;
    EXPECT_EQ(ResolvePath("c:\\a.mdb"), prefix.driveCPath("a.mdb"));
    EXPECT_EQ(ResolvePath("/tmp/./x.mdb"), fs::path("/tmp/x.mdb"));
    EXPECT_EQ(ResolvePath("out/x.mdb"), fs::path("out/x.mdb"));
    EXPECT_FALSE(HasDriveLetter("\\a.mdb"));
    EXPECT_FALSE(HasDriveLetter("1:"));
}

TEST(WindowsToHost, UnmappablePathsAreErrorsNotFallbacks) {
    TempPrefix prefix;
    std::string text;
    EXPECT_EQ(ErrorNumberOf([] { ToHostPath("bases\\clientes.mdb"); }, &text), 76);
    EXPECT_NE(text.find("No se encontró la ruta de acceso"), std::string::npos) << text;
    EXPECT_NE(text.find("bases\\clientes.mdb"), std::string::npos) << text;
    EXPECT_EQ(ErrorNumberOf([] { ToHostPath("\\\\servidor\\datos\\clientes.mdb"); }), 76);
    EXPECT_EQ(ErrorNumberOf([] { ToHostPath("\\clientes.mdb"); }), 76);
    EXPECT_EQ(ErrorNumberOf([] { ToHostPath(""); }), 76);
    EXPECT_EQ(ErrorNumberOf([] { ToHostPath("q:\\clientes.mdb"); }, &text), 68);
    EXPECT_NE(text.find("q:\\clientes.mdb"), std::string::npos) << text;
    // The plain questions answer "no" instead of throwing.
    EXPECT_FALSE(FileExists("q:\\clientes.mdb"));
    EXPECT_FALSE(DirectoryExists("bases"));
}

TEST(DriveMapping, PrefixWithoutDosdevicesHasDrivesCAndZ) {
    TempPrefix prefix;
    EXPECT_EQ(Drives(), (std::vector<std::string>{"c:", "z:"}));
}

TEST(DriveMapping, DosdevicesLinksDefineTheDrives) {
    TempPrefix prefix;
    const fs::path ventas = prefix.root() / "ventas";
    fs::create_directories(ventas / "Enero");
    fs::create_directories(prefix.root() / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix.root() / "dosdevices" / "c:");
    fs::create_directory_symlink(ventas, prefix.root() / "dosdevices" / "d:");
    // A drive whose medium is absent, and a raw device entry: neither is a usable drive.
    fs::create_directory_symlink(prefix.root() / "no-such-cdrom",
                                 prefix.root() / "dosdevices" / "e:");
    fs::create_symlink("/dev/null", prefix.root() / "dosdevices" / "c::");

    EXPECT_EQ(Drives(), (std::vector<std::string>{"c:", "d:"}));
    EXPECT_EQ(ToHostPath("D:\\enero\\x.mdb"), fs::canonical(ventas) / "Enero" / "x.mdb");
    EXPECT_EQ(ToHostPath("c:\\x.mdb"), fs::canonical(prefix.driveC()) / "x.mdb");
    // Without a z: link the host root is not reachable, and e: has nothing behind it.
    EXPECT_EQ(ErrorNumberOf([] { ToHostPath("z:\\usr"); }), 68);
    EXPECT_EQ(ErrorNumberOf([] { ToHostPath("e:\\"); }), 68);
    EXPECT_EQ(ToWindowsPath("/usr/local/bin"), std::nullopt);
}

TEST(HostToWindows, ThroughTheNearestDrive) {
    TempPrefix prefix;
    EXPECT_EQ(ToWindowsPath(prefix.driveCPath("ActMirto/indices.mdb")),
              "C:\\ActMirto\\indices.mdb");
    EXPECT_EQ(ToWindowsPath(prefix.driveC()), "C:\\");
    EXPECT_EQ(ToWindowsPath("/usr/local/bin"), "Z:\\usr\\local\\bin");
    EXPECT_EQ(ToWindowsPath("/"), "Z:\\");
    // Outside drive_c but inside the prefix: only z: maps it.
    EXPECT_EQ(ToWindowsPath(prefix.root() / "otro"), OnDriveZ(prefix.root() / "otro"));
}

TEST(HostToWindows, TheNearestDriveWinsWhateverItsLetter) {
    TempPrefix prefix;
    const fs::path data = prefix.root() / "data";
    fs::create_directories(data / "deep" / "bases");
    fs::create_directories(prefix.root() / "dosdevices");
    // d: maps a folder that contains e:'s: a path inside e: must not be named through d:.
    fs::create_directory_symlink(data, prefix.root() / "dosdevices" / "d:");
    fs::create_directory_symlink(data / "deep", prefix.root() / "dosdevices" / "e:");
    fs::create_directory_symlink("/", prefix.root() / "dosdevices" / "z:");

    EXPECT_EQ(ToWindowsPath(data / "deep" / "bases"), "E:\\bases");
    EXPECT_EQ(ToWindowsPath(data / "deeper"), "D:\\deeper");
    EXPECT_EQ(ToWindowsPath(prefix.root() / "otro"), OnDriveZ(prefix.root() / "otro"));
    // Reached through the drive's own link the folder is still E:.
    EXPECT_EQ(ToWindowsPath(prefix.root() / "dosdevices" / "e:" / "bases"), "E:\\bases");
}

TEST(HostToWindows, RoundTripKeepsTheStoredNames) {
    TempPrefix prefix;
    prefix.makeDir("Archivos de Programa/Mirto 2000");
    EXPECT_EQ(ToWindowsPath(ToHostPath("C:\\ARCHIVOS DE PROGRAMA\\mirto 2000")),
              "C:\\Archivos de Programa\\Mirto 2000");
}

TEST(HostToWindows, AFolderReachedThroughALinkKeepsTheNameItWasGiven) {
    TempPrefix prefix;
    prefix.makeDir("Real/bases");
    fs::create_directory_symlink(prefix.driveCPath("Real"), prefix.driveCPath("Atajo"));
    EXPECT_EQ(ToWindowsPath(prefix.driveCPath("Atajo/bases")), "C:\\Atajo\\bases");
}
