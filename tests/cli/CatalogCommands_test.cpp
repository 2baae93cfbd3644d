#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Engine.h"
#include "engine/SchemaJson.h"
#include "support/RunProgram.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {
namespace {

TEST(CatalogsInit, CreatesTheThreeCatalogs) {
    TempPrefix prefix;
    CliResult r = RunCli({"catalogs", "init"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* name : {"indices", "relacion", "consulta"}) {
        const std::string path = std::string("C:\\ActMirto\\") + name + ".mdb";
        auto db = engine::OpenDatabase(path);
        EXPECT_TRUE(db->TableDefs().Contains(name)) << path << " lacks its table";
        db->Close();
        EXPECT_NE(r.out.find(path), std::string::npos) << r.out;
    }
}

TEST(CatalogsInit, RefusesAnExistingCatalogWithoutForce) {
    TempPrefix prefix;
    ASSERT_EQ(RunCli({"catalogs", "init"}).status, 0);
    CliResult again = RunCli({"catalogs", "init"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err.rfind("Error 58: ", 0), 0u) << again.err;

    CliResult forced = RunCli({"catalogs", "init", "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
}

TEST(CatalogsInit, AFileInPlaceOfTheFolderIsAFileError) {
    TempPrefix prefix;
    prefix.writeFile("ActMirto", "no es una carpeta");
    CliResult r = RunCli({"catalogs", "init"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Error ", 0), 0u) << r.err;
}

TEST(CatalogsInit, WrongArgumentsExitWithTwo) {
    TempPrefix prefix;
    EXPECT_EQ(RunCli({"catalogs"}).status, 2);
    EXPECT_EQ(RunCli({"catalogs", "init", "--replace"}).status, 2);
    EXPECT_EQ(RunCli({"catalogs", "borrar"}).status, 2);
    EXPECT_FALSE(std::filesystem::exists(prefix.driveCPath("ActMirto")));
}

// The whole run from a console: create the catalogs, transform, and read the result back with
// the schema command.
TEST(CatalogsInit, ATransformationFromTheConsoleGivesTheOldDatabaseTheModelsDefinitions) {
    TempPrefix prefix;
    prefix.makeDir("prog/modelos");
    prefix.makeDir("archivos de programa/Mirto 2000/bases");
    const std::string model = "C:\\prog\\modelos\\clientes.mdb";
    const std::string old = "c:\\archivos de programa\\Mirto 2000\\bases\\clientes.mdb";
    using nlohmann::json;
    const json tables = json::parse(R"([
        {"name":"clientes","fields":[{"name":"codigo","type":4},{"name":"nombre","type":10}]},
        {"name":"pedidos","fields":[{"name":"numero","type":4},{"name":"cliente","type":4}]}])");
    json modelDoc = {{"tables", tables}};
    modelDoc["tables"][0]["indexes"] =
        json::parse(R"([{"name":"Clave","fields":["codigo","nombre"],"unique":true}])");
    modelDoc["relations"] = json::parse(R"([{"name":"CP","table":"clientes",
        "foreignTable":"pedidos","attributes":256,
        "fields":[{"name":"codigo","foreignName":"cliente"}]}])");
    modelDoc["queries"] = json::parse(R"([{"name":"Q","sql":"SELECT *\r\nFROM clientes"}])");
    json oldDoc = {{"tables", tables}};
    oldDoc["tables"][1]["indexes"] = json::parse(R"([{"name":"Viejo","fields":["numero"]}])");
    oldDoc["queries"] = json::parse(R"([{"name":"Vieja","sql":"SELECT * FROM pedidos"}])");
    engine::BuildDatabase(model, modelDoc)->Close();
    engine::BuildDatabase(old, oldDoc)->Close();

    ASSERT_EQ(RunCli({"catalogs", "init"}).status, 0);
    CliResult run =
        RunCli({"form", "--program-dir", "C:\\prog", "activate", "run", "Command13_Click", "dump"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(json::parse(run.out)["controls"]["Label4"]["caption"], "Proceso Terminado");

    CliResult schema = RunCli({"schema", "--json", old});
    ASSERT_EQ(schema.status, 0) << schema.err;
    const json result = json::parse(schema.out);
    EXPECT_EQ(result["tables"][0]["indexes"], json::parse(R"([{"name":"Clave",
        "fields":["codigo","nombre"],"unique":true,"primary":false}])"));
    EXPECT_EQ(result["tables"][1]["indexes"], json::array());
    EXPECT_EQ(result["relations"], modelDoc["relations"]);
    EXPECT_EQ(result["queries"], json::parse(R"([{"name":"Q","sql":"SELECT *  FROM clientes"}])"));
}

}  // namespace
}  // namespace actualiz::testing
