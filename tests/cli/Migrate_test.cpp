#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliTestSupport.h"
#include "cli/Errors.h"
#include "cli/MigrateCommand.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const char* const kDataFolder = "c:\\archivos de programa\\Mirto 2000\\bases";
const char* const kDataFolderHost = "archivos de programa/Mirto 2000/bases";

// No catalogs are made here: the migrations never read them, and their absence must not matter.
class Migrate : public ::testing::Test {
  protected:
    struct Result {
        int status;
        std::string out;
        std::string err;
    };
    void SetUp() override {
        prefix.makeDir(kDataFolderHost);
        Build(Path("clientes.mdb"), json::parse(R"({"tables": [{"name": "clientes",
            "fields": [{"name": "codigo", "type": 4}]}]})"));
        Build(Path("almacen.mdb"), json::parse(R"({"tables": [{"name": "proveedores",
            "fields": [{"name": "codigoproveedor", "type": 4}, {"name": "nombre", "type": 10}],
            "indexes": [{"name": "PrimaryKey", "fields": ["codigoproveedor"],
                         "primary": true, "unique": true}]}]})"));
    }
    static std::string Path(const std::string& name, const std::string& folder = kDataFolder) {
        return folder + "\\" + name;
    }
    Result Run(const std::string& migration, const std::string& dataDir = "") {
        std::ostringstream out, err;
        int status = cli::MigrateCommand(migration, dataDir, "", out, err);
        return {status, out.str(), err.str()};
    }
    static const json* Table(const json& structure, const std::string& name) {
        for (const auto& t : structure.at("tables"))
            if (t.at("name") == name) return &t;
        return nullptr;
    }
    TempPrefix prefix;
};

TEST_F(Migrate, EachNameRunsItsCommand) {
    EXPECT_EQ(cli::MigrationHandler("gastosgen"), "Command27_Click");
    EXPECT_EQ(cli::MigrationHandler("histoprod"), "Command25_Click");
    EXPECT_EQ(cli::MigrationHandler("auxcli"), "Command26_Click");
    EXPECT_EQ(cli::MigrationHandler("Auxcli"), "");
}

TEST_F(Migrate, HistoprodSaysTerminadoAndExitsZero) {
    Result r = Run("histoprod");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Terminado\n");
    const json structure = Structure(Path("clientes.mdb"));
    const json* table = Table(structure, "histoprod");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->at("fields").size(), 15u);
    EXPECT_EQ(table->at("indexes").size(), 4u);
}

TEST_F(Migrate, ASecondRunShowsThatTheTableExistsAndExitsOne) {
    ASSERT_EQ(Run("auxcli").status, 0);
    const json structure = Structure(Path("clientes.mdb"));
    Result again = Run("auxcli");
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.out, "La tabla auxcli ya existe\n");
    EXPECT_EQ(Structure(Path("clientes.mdb")), structure);
}

TEST_F(Migrate, GastosgenRelatesTheNewTableToTheSuppliers) {
    Result r = Run("gastosgen");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Terminado\n");
    const json structure = Structure(Path("almacen.mdb"));
    EXPECT_NE(Table(structure, "gastosgen"), nullptr);
    ASSERT_EQ(structure.at("relations").size(), 1u);
    EXPECT_EQ(structure.at("relations")[0].at("name"), "codigo");
}

TEST_F(Migrate, GastosgenAlreadyThereEndsWithoutAMessageAndExitsOne) {
    ASSERT_EQ(Run("gastosgen").status, 0);
    Result again = Run("gastosgen");
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.out, "");
    EXPECT_NE(again.err.find("ya tiene la tabla gastosgen"), std::string::npos) << again.err;
}

TEST_F(Migrate, AnEngineErrorIsPrintedAndExitsOne) {
    // No proveedores: the relation cannot be made.
    fs::remove(prefix.driveCPath(std::string(kDataFolderHost) + "/almacen.mdb"));
    Build(Path("almacen.mdb"), json::parse(R"({"tables": [{"name": "otra",
        "fields": [{"name": "a", "type": 4}]}]})"));
    Result r = Run("gastosgen");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("Terminado"), std::string::npos);
    EXPECT_EQ(r.err.rfind("Error ", 0), 0u) << r.err;
}

TEST_F(Migrate, TheDataFolderCanBeGivenAsAHostPath) {
    prefix.makeDir("otros");
    Build("C:\\otros\\clientes.mdb", json::parse(R"({"tables": [{"name": "clientes",
        "fields": [{"name": "codigo", "type": 4}]}]})"));
    const json untouched = Structure(Path("clientes.mdb"));
    Result r = Run("auxcli", prefix.driveCPath("otros").string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(Table(Structure("C:\\otros\\clientes.mdb"), "auxcli"), nullptr);
    EXPECT_EQ(Structure(Path("clientes.mdb")), untouched);
}

TEST_F(Migrate, AMissingDataFolderOrDatabaseCannotStartWithoutTouchingDriveC) {
    Build("C:\\clientes.mdb", json::parse(R"({"tables": [{"name": "clientes",
        "fields": [{"name": "codigo", "type": 4}]}]})"));
    const json root = Structure("C:\\clientes.mdb");
    Result given = Run("histoprod", "c:\\no\\existe");
    EXPECT_EQ(given.status, cli::kExitCannotStart);
    EXPECT_NE(given.err.find("c:\\no\\existe"), std::string::npos) << given.err;

    // The window would fall back to c:\ without its default folder; the command does not.
    fs::remove_all(prefix.driveCPath(kDataFolderHost));
    Result byDefault = Run("histoprod");
    EXPECT_EQ(byDefault.status, cli::kExitCannotStart);
    EXPECT_NE(byDefault.err.find("--data-dir"), std::string::npos) << byDefault.err;
    EXPECT_EQ(Structure("C:\\clientes.mdb"), root);

    // A data folder without the migration's database: nothing to start on either.
    prefix.makeDir("vacia");
    Result noDatabase = Run("auxcli", "c:\\vacia");
    EXPECT_EQ(noDatabase.status, cli::kExitCannotStart);
    EXPECT_NE(noDatabase.err.find("clientes.mdb"), std::string::npos) << noDatabase.err;
    EXPECT_EQ(noDatabase.out, "");
}

TEST_F(Migrate, TheProgramExitsLikeTheCommand) {
    CliResult done = RunCli({"migrate", "histoprod"});
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(done.out, "Terminado\n");
    CliResult again = RunCli({"migrate", "histoprod", "--data-dir", kDataFolder});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.out, "La tabla histoprod ya existe\n");
}

}  // namespace
}  // namespace actualiz::testing
