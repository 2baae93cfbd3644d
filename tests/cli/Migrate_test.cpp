#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "cli/CliTestSupport.h"
#include "cli/Errors.h"
#include "cli/MigrateCommand.h"
#include "engine/ForeignFiles.h"
#include "jet/JetReader.h"
#include "jet/JetTestSupport.h"
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

// A run killed while it saved a copy beside a database (an Access file being written back) left
// it there: the next migration removes it, says so, and leaves the user's own files alone.
TEST_F(Migrate, WhatAKilledRunLeftBesideTheDatabasesIsRemoved) {
    const std::string temporary = ".clientes.mdb.0123456789abcdef.tmp";
    prefix.writeFile(std::string(kDataFolderHost) + "/" + temporary, "medio");
    prefix.writeFile(std::string(kDataFolderHost) + "/.notas.tmp", "del usuario");
    Result r = Run("auxcli");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(temporary), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(prefix.driveCPath(std::string(kDataFolderHost) + "/" + temporary)));
    EXPECT_TRUE(fs::exists(prefix.driveCPath(std::string(kDataFolderHost) + "/.notas.tmp")));
}

TEST_F(Migrate, TheProgramExitsLikeTheCommand) {
    CliResult done = RunCli({"migrate", "histoprod"});
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(done.out, "Terminado\n");
    CliResult again = RunCli({"migrate", "histoprod", "--data-dir", kDataFolder});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.out, "La tabla histoprod ya existe\n");
}

// ---- The migrations on real Access (Jet 4) files ----

struct JetMigrationCase {
    const char* migration;
    const char* database;
    const char* sample;  // the Jet 4 file the database is a copy of; "" for MakeJetWarehouse
    int status;          // of the first run
    const char* said;    // in its output or errors
    std::size_t fields;  // of the new table after it; 0: the file is left byte for byte
    std::size_t indexes;
};

// The writer makes new tables with their indexes; a relation only once it writes relations.
const JetMigrationCase kJetMigrations[] = {
    {"histoprod", "clientes.mdb", "indexTestV2000.mdb", 0, "Terminado", 15, 4},
    {"auxcli", "clientes.mdb", "compIndexTestV2000.mdb", 0, "Terminado", 3, 1},
    // No suppliers table: the relation fails, what was built before it stays and is written.
    {"gastosgen", "almacen.mdb", "indexTestV2000.mdb", 1, "sin la relación codigo", 15, 3},
    // Only Jet 4 files are written: a Jet 3 file is refused as it was.
    {"histoprod", "clientes.mdb", "testV1997.mdb", 1, "Jet 4", 0, 0},
    {"gastosgen", "almacen.mdb", "", 0, "Terminado", 15, 3},
};

class MigrateJet : public Migrate, public ::testing::WithParamInterface<JetMigrationCase> {};

// Each migration changes the real file in place, or refuses with the file as it was; the file
// stays a Jet 4 file that the checker passes, its old tables export as before, and a second run
// finds the table (or refuses the same way) and leaves the file byte for byte.
TEST_P(MigrateJet, TheFileIsChangedInPlaceOrLeftAsItWas) {
    if (!engine::CanReadJetFiles() || !engine::testing::HaveMdbTools())
        GTEST_SKIP() << "built without libmdb or no mdbtools";
    const JetMigrationCase& c = GetParam();
    const fs::path file = prefix.driveCPath(std::string(kDataFolderHost) + "/" + c.database);
    fs::remove(file);
    if (*c.sample)
        fs::copy_file(engine::testing::JetSample(c.sample), file);
    else
        MakeJetWarehouse(file);
    const std::string before = ReadWhole(file);
    const std::string version = RunProgram("mdb-ver", {file.string()}).out;
    const std::string tables = RunProgram("mdb-tables", {"-1", file.string()}).out;
    std::map<std::string, std::string> rows;
    std::istringstream names(tables);
    for (std::string t; std::getline(names, t);)
        rows[t] = RunProgram("mdb-export", {file.string(), t}).out;

    Result r = Run(c.migration);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.said), std::string::npos) << r.out << r.err;
    EXPECT_EQ(RunProgram("mdb-ver", {file.string()}).out, version);
    if (version == "JET4\n") {
        EXPECT_EQ(RunProgram(ACTUALIZ_CLI_PATH, {"check", file.string()}).status, 0);
    }
    for (const auto& [t, csv] : rows)
        EXPECT_EQ(RunProgram("mdb-export", {file.string(), t}).out, csv) << t;
    const json structure = Structure(Path(c.database));
    const json* table = Table(structure, c.migration);
    if (c.fields == 0) {
        EXPECT_EQ(ReadWhole(file), before) << "refused: the file as it was";
        EXPECT_EQ(table, nullptr);
    } else {
        EXPECT_NE(ReadWhole(file), before);
        ASSERT_NE(table, nullptr) << "the table is in the file itself";
        EXPECT_EQ(table->at("fields").size(), c.fields);
        EXPECT_EQ(table->at("indexes").size(), c.indexes);
        EXPECT_NE(RunProgram("mdb-tables", {"-1", file.string()}).out.find(c.migration),
                  std::string::npos);
    }

    const std::string after = ReadWhole(file);
    Result again = Run(c.migration);
    EXPECT_EQ(again.status, 1) << again.out << again.err;
    EXPECT_EQ(ReadWhole(file), after);
}

INSTANTIATE_TEST_SUITE_P(Jet4, MigrateJet, ::testing::ValuesIn(kJetMigrations),
                         [](const auto& info) {
                             return std::string(info.param.migration) +
                                    (*info.param.sample ? "" : "WithSuppliers") +
                                    std::to_string(info.index);
                         });

// The field routines on a sample database that is a real Jet 4 file (made by our writer from the
// blank sample): Añadir Campo writes its three fields into the file, a second run stops at the
// first one with the file as it was, Borrar Campos takes them out again; the file stays a Jet 4
// file that the checker passes throughout.
TEST_F(Migrate, TheFieldRoutinesChangeARealJetFileInPlace) {
    if (!engine::CanReadJetFiles() || !engine::testing::HaveMdbTools())
        GTEST_SKIP() << "built without libmdb or no mdbtools";
    const fs::path file = prefix.driveCPath("Neptuno.mdb");
    fs::copy_file(engine::testing::JetSample("blankV2000.mdb"), file);
    {
        engine::ForeignFileWriting writing(file.string());
        auto db = engine::OpenDatabase(file.string());
        auto table = db->CreateTableDef("Empleados");
        table->Fields().Append(table->CreateField("IdEmpleado", engine::dbLong));
        table->Fields().Append(table->CreateField("Apellidos", engine::dbText, 50));
        db->TableDefs().Append(table);
        db->Close();
        writing.Finish();
    }
    auto fields = [] {
        std::vector<std::string> names;
        const json structure = Structure("C:\\Neptuno.mdb");
        for (const json& t : structure.at("tables"))
            if (t.at("name") == "Empleados")
                for (const json& f : t.at("fields")) names.push_back(f.at("name"));
        return names;
    };
    auto run = [&](const char* handler) {
        CliResult r = RunCli(
            {"form", "--program-dir", prefix.driveCPath("").string(), "run", handler, "dump"});
        EXPECT_EQ(r.status, 0) << r.err;
        const json dump = json::parse(r.out);
        json errors = json::array();
        for (const json& e : dump.at("errors"))
            if (e.at("command") == handler) errors.push_back(e);
        for (const json& m : dump.at("messages")) errors.push_back(m);
        EXPECT_EQ(RunProgram("mdb-ver", {file.string()}).out, "JET4\n");
        EXPECT_EQ(RunProgram(ACTUALIZ_CLI_PATH, {"check", file.string()}).status, 0);
        return errors;
    };

    EXPECT_EQ(run("Command4_Click"), json::array());
    EXPECT_EQ(fields(),
              (std::vector<std::string>{"IdEmpleado", "Apellidos", "Correo", "Http", "Cuota"}));
    const std::string appended = ReadWhole(file);
    const json again = run("Command4_Click");
    ASSERT_EQ(again.size(), 1u) << again.dump();
    EXPECT_NE(again[0].dump().find("Correo"), std::string::npos) << again.dump();
    EXPECT_EQ(ReadWhole(file), appended);
    EXPECT_EQ(run("Command5_Click"), json::array());
    EXPECT_EQ(fields(), (std::vector<std::string>{"IdEmpleado", "Apellidos"}));
}

}  // namespace
}  // namespace actualiz::testing
