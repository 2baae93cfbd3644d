#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <sstream>

#include "cli/CliTestSupport.h"
#include "cli/DemoCommand.h"
#include "cli/DemoData.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const char* const kProgramHost = "archivos de programa/Mirto 2000/actualiz";
const char* const kDataFolder = "c:\\archivos de programa\\Mirto 2000\\bases";
const char* const kModels = "c:\\archivos de programa\\Mirto 2000\\actualiz\\modelos";

// The demo goes into the test's own prefix: its drive C is there, and empty.
class Demo : public ::testing::Test {
  protected:
    void SetUp() override {
        made = RunCli({"demo", prefix.root().string()});
        ASSERT_EQ(made.status, 0) << made.err;
    }
    fs::path Installed(const std::string& name) const {
        return prefix.driveCPath(std::string(kProgramHost) + "/" + name);
    }
    TempPrefix prefix;
    CliResult made;
};

std::set<std::string> Files(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

TEST_F(Demo, InstallsCatalogsProgramModelsDataAndTheSampleDatabase) {
    EXPECT_EQ(Files(prefix.driveCPath("ActMirto")),
              (std::set<std::string>{"consulta.mdb", "indices.mdb", "relacion.mdb"}));
    for (const auto& [catalog, table] :
         {std::pair{"indices", "indices"}, {"relacion", "relacion"}, {"consulta", "consulta"}})
        EXPECT_EQ(RowCount(std::string("C:\\ActMirto\\") + catalog + ".mdb", table), 0);

    // The program as an installer leaves it: a runnable copy of this very program.
    EXPECT_EQ(ReadWhole(Installed("actualiz-cli")), ReadWhole(ACTUALIZ_CLI_PATH));
    EXPECT_EQ(::access(Installed("actualiz-cli").c_str(), X_OK), 0);
    EXPECT_EQ(Files(Installed("modelos")), (std::set<std::string>{"almacen.mdb", "clientes.mdb",
                                                                  "pedidos.mdb", "productos.mdb"}));
    EXPECT_EQ(Files(prefix.driveCPath("archivos de programa/Mirto 2000/bases")),
              (std::set<std::string>{"almacen.mdb", "clientes.mdb", "contabilidad.mdb",
                                     "productos.mdb"}));
    EXPECT_EQ(RowCount("C:\\Neptuno.mdb", "Empleados"), 4);

    EXPECT_NE(made.out.find("WINEPREFIX=" + ShellQuoted(prefix.root().string())), std::string::npos)
        << made.out;
    EXPECT_NE(made.out.find(ShellQuoted(Installed("actualiz-cli").string()) + " transform"),
              std::string::npos)
        << made.out;
    EXPECT_NE(made.out.find("la ventana:"), std::string::npos) << made.out;
}

TEST_F(Demo, ModelsCoverEveryFieldTypeIndexAndRelationKind) {
    std::set<int> types;
    bool multiFieldIndex = false, uniqueIndex = false, enforced = false, notEnforced = false;
    int queries = 0;
    for (const auto& model : cli::DemoModels()) {
        const json s = Structure(std::string(kModels) + "\\" + model.name);
        EXPECT_EQ(s, Structure(std::string(kModels) + "\\" + model.name));
        for (const auto& t : s.at("tables")) {
            EXPECT_EQ(
                RowCount(std::string(kModels) + "\\" + model.name, t.at("name").get<std::string>()),
                0)
                << "models hold no data";
            for (const auto& f : t.at("fields")) types.insert(f.at("type").get<int>());
            for (const auto& i : t.at("indexes")) {
                if (i.at("fields").size() > 1) multiFieldIndex = true;
                if (i.at("unique") == true && i.at("primary") == false) uniqueIndex = true;
            }
        }
        for (const auto& r : s.at("relations"))
            (r.at("attributes").get<long>() & 2 ? notEnforced : enforced) = true;
        queries += static_cast<int>(s.at("queries").size());
    }
    EXPECT_EQ(types, (std::set<int>{1, 3, 4, 7, 8, 10, 12}));
    EXPECT_TRUE(multiFieldIndex);
    EXPECT_TRUE(uniqueIndex);
    EXPECT_TRUE(enforced);
    EXPECT_TRUE(notEnforced);
    EXPECT_GE(queries, 4);
}

TEST_F(Demo, OldDatabasesHoldDataAndLackWhatTheirModelsAdd) {
    EXPECT_EQ(RowCount(std::string(kDataFolder) + "\\clientes.mdb", "clientes"), 5);
    EXPECT_EQ(RowCount(std::string(kDataFolder) + "\\almacen.mdb", "articulos"), 6);
    EXPECT_EQ(RowCount(std::string(kDataFolder) + "\\contabilidad.mdb", "asientos"), 3);
    CliResult diff = RunCli({"diff", std::string(kModels) + "\\clientes.mdb",
                             std::string(kDataFolder) + "\\clientes.mdb"});
    EXPECT_EQ(diff.status, 1) << diff.out;
    EXPECT_FALSE(
        fs::exists(prefix.driveCPath("archivos de programa/Mirto 2000/bases/pedidos.mdb")));
}

TEST_F(Demo, RefusesADriveCThatIsNotEmpty) {
    CliResult again = RunCli({"demo", prefix.root().string()});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("ya existe"), std::string::npos) << again.err;
}

TEST_F(Demo, TheInstalledProgramUpgradesTheDemoData) {
    CliResult run = RunProgram(Installed("actualiz-cli").string(), {"transform", "--json"});
    ASSERT_TRUE(run.status == 0 || run.status == 1) << run.status << "\n" << run.err << run.out;
    const json report = json::parse(run.out);
    EXPECT_EQ(report.at("programFolder"), "C:\\archivos de programa\\Mirto 2000\\actualiz");
    std::vector<std::string> upgraded;
    for (const auto& db : report.at("databases")) upgraded.push_back(db.at("name"));
    EXPECT_EQ(upgraded, (std::vector<std::string>{"almacen.mdb", "clientes.mdb", "productos.mdb"}));
    EXPECT_EQ(report.at("withoutModel"), json::array({"contabilidad.mdb"}));
    EXPECT_EQ(report.at("copiedIn"), json::parse(R"([{"name": "pedidos.mdb", "copied": true}])"));
    ASSERT_TRUE(report.at("backup").is_object());
    EXPECT_EQ(report.at("backup").at("files"),
              json::array({"almacen.mdb", "clientes.mdb", "productos.mdb"}));

    // The missing table and fields are there now, and the data is still there.
    const std::string clientes = std::string(kDataFolder) + "\\clientes.mdb";
    CliResult diff = RunCli({"diff", std::string(kModels) + "\\clientes.mdb", clientes, "--json"});
    // Parsed into a variable of its own: the loop must not walk a temporary that is gone.
    const json differences = json::parse(diff.out).at("differences");
    for (const auto& d : differences) {
        EXPECT_NE(d.at("kind"), "table") << d;
        if (d.at("kind") == "field") {
            EXPECT_NE(d.at("change"), "onlyInModel") << d;
        }
    }
    EXPECT_EQ(RowCount(clientes, "clientes"), 5);
    EXPECT_EQ(RowCount(std::string(kDataFolder) + "\\almacen.mdb", "articulos"), 6);
}

TEST_F(Demo, TheWarehouseMigrationWorksOnTheDemo) {
    CliResult run = RunCli({"migrate", "gastosgen"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Terminado\n");
}

TEST(DemoCommand, RefusesAFolderItCannotUse) {
    TempPrefix prefix;
    prefix.writeFile("x", "");  // drive_c is not empty
    std::ostringstream out, err;
    EXPECT_EQ(cli::DemoCommand(prefix.root(), ACTUALIZ_CLI_PATH, out, err), 1);
    EXPECT_TRUE(out.str().empty());
}

}  // namespace
}  // namespace actualiz::testing
