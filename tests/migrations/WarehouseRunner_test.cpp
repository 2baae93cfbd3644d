#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Engine.h"
#include "engine/SchemaJson.h"
#include "support/RunProgram.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;

json Proveedores() {
    return {{"name", "proveedores"},
            {"fields", {{{"name", "codigoproveedor"}, {"type", engine::dbLong}}}}};
}

class WarehouseRunner : public ::testing::Test {
  protected:
    void SetUp() override {
        prefix.makeDir("prog");
        prefix.makeDir("Empresa/datos");
    }
    std::vector<std::string> Args(const std::vector<std::string>& steps) const {
        std::vector<std::string> args = {"form", "--program-dir",
                                         prefix.driveCPath("prog").string()};
        args.insert(args.end(), steps.begin(), steps.end());
        return args;
    }

    TempPrefix prefix;
};

// What the user does in the window: choose the data folder, press "Transformar".
TEST_F(WarehouseRunner, ChoosingTheFolderAndClickingTransformarBuildsGastosgenAndEnds) {
    engine::BuildDatabase("C:\\Empresa\\datos\\almacen.mdb", {{"tables", {Proveedores()}}})
        ->Close();

    CliResult r =
        RunCli(Args({"activate", "set", "Dir1=C:\\Empresa\\datos", "click", "Command27", "dump"}));
    ASSERT_EQ(r.status, 0) << r.out;
    json dump = json::parse(r.out);

    EXPECT_EQ(dump["ended"], true);
    ASSERT_EQ(dump["messages"].size(), 1u) << dump["messages"].dump();
    EXPECT_EQ(dump["messages"][0]["text"], "Terminado");
    EXPECT_EQ(dump["messages"][0]["icon"], "information");
    for (const auto& e : dump["errors"]) EXPECT_NE(e["command"], "Command27_Click") << e.dump();
    EXPECT_EQ(dump["controls"]["Text4"]["text"], "C:\\Empresa\\datos\\almacen.mdb");

    auto db = engine::OpenDatabase("C:\\Empresa\\datos\\almacen.mdb");
    ASSERT_TRUE(db->TableDefs().Contains("gastosgen"));
    auto gastosgen = db->TableDefs()["gastosgen"];
    EXPECT_EQ(gastosgen->Fields().Count(), 15);
    EXPECT_EQ(gastosgen->Indexes().Count(), 3);
    ASSERT_EQ(db->Relations().Count(), 1);
    EXPECT_EQ(db->Relations()[0]->Name(), "codigo");
    db->Close();
}

TEST_F(WarehouseRunner, AFailureIsRecordedInErrorsAndTheProgramGoesOn) {
    CliResult r =
        RunCli(Args({"activate", "set", "Dir1=C:\\Empresa\\datos", "click", "Command27", "dump"}));
    ASSERT_EQ(r.status, 0) << r.out;
    json dump = json::parse(r.out);

    EXPECT_EQ(dump["ended"], false);
    EXPECT_TRUE(dump["messages"].empty());
    bool found = false;
    for (const auto& e : dump["errors"])
        if (e["command"] == "Command27_Click") {
            found = true;
            EXPECT_EQ(e["number"], engine::err::kFileNotFound);
        }
    EXPECT_TRUE(found) << dump["errors"].dump();
}

}  // namespace
}  // namespace actualiz::testing
