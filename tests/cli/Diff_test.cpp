#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliTestSupport.h"
#include "cli/DiffCommand.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;

json Clientes() {
    return json::parse(R"({
      "tables": [
        {"name": "clientes",
         "fields": [{"name": "codigo", "type": 4}, {"name": "nombre", "type": 10, "size": 50},
                    {"name": "email", "type": 10, "size": 100, "allowZeroLength": true}],
         "indexes": [{"name": "PrimaryKey", "fields": ["codigo"], "primary": true, "unique": true},
                     {"name": "nombre", "fields": ["nombre", "email"]}]},
        {"name": "visitas", "fields": [{"name": "codigo", "type": 4}, {"name": "fecha", "type": 8}]}
      ],
      "relations": [{"name": "clientesvisitas", "table": "clientes", "foreignTable": "visitas",
                     "attributes": 0, "fields": [{"name": "codigo", "foreignName": "codigo"}]}],
      "queries": [{"name": "todos", "sql": "SELECT * FROM clientes"}]
    })");
}

class Diff : public ::testing::Test {
  protected:
    struct Result {
        int status;
        std::string out;
        std::string err;
    };
    Result Run(const json& model, const json& old, bool asJson) {
        std::filesystem::remove(prefix.driveCPath("modelo.mdb"));
        std::filesystem::remove(prefix.driveCPath("vieja.mdb"));
        Build("C:\\modelo.mdb", model);
        Build("C:\\vieja.mdb", old);
        std::ostringstream out, err;
        int status = cli::DiffCommand("C:\\modelo.mdb", "C:\\vieja.mdb", asJson, out, err);
        return {status, out.str(), err.str()};
    }
    TempPrefix prefix;
};

bool HasDifference(const json& report, const std::string& kind, const std::string& change,
                   const std::string& name, const std::string& table = "") {
    for (const auto& d : report.at("differences"))
        if (d.at("kind") == kind && d.at("change") == change && d.at("name") == name &&
            d.value("table", std::string()) == table)
            return true;
    return false;
}

TEST_F(Diff, EqualStructuresExitZero) {
    Result r = Run(Clientes(), Clientes(), false);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Las dos bases tienen la misma estructura.\n");
}

// The order of the fields both tables have counts; a field only one side has may stand anywhere.
TEST_F(Diff, TheOrderOfTheFieldsBothTablesHaveCounts) {
    json old = Clientes();
    auto& fields = old["tables"][0]["fields"];
    std::swap(fields[1], fields[2]);
    Result r = Run(Clientes(), old, true);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(json::parse(r.out), json::parse(R"({"equal": false, "differences": [
        {"kind": "fieldOrder", "change": "different", "name": "clientes",
         "model": ["codigo", "nombre", "email"], "old": ["codigo", "email", "nombre"]}]})"));
    Result text = Run(Clientes(), old, false);
    EXPECT_EQ(text.out,
              "Orden de los campos de clientes: distinto\n"
              "    modelo: codigo, nombre, email\n"
              "    vieja:  codigo, email, nombre\n"
              "1 diferencia.\n");

    json extra = Clientes();
    auto& extraFields = extra["tables"][0]["fields"];
    extraFields.insert(extraFields.begin() + 1,
                       json::object({{"name", "fax"}, {"type", 10}, {"size", 20}}));
    Result one = Run(Clientes(), extra, true);
    EXPECT_TRUE(HasDifference(json::parse(one.out), "field", "onlyInOld", "fax", "clientes"));
    EXPECT_EQ(json::parse(one.out).at("differences").size(), 1u) << one.out;
}

TEST_F(Diff, EveryKindOfDifferenceIsReportedWithExitOne) {
    json old = Clientes();
    auto& clientes = old["tables"][0];
    clientes["fields"][1]["size"] = 40;  // nombre: other size
    clientes["fields"].erase(2);         // email: only in model
    clientes["fields"].push_back({{"name", "fax"}, {"type", 10}, {"size", 20}});  // only in old
    clientes["indexes"][1]["fields"] = json::array({"nombre", "fax"});  // other index fields
    old["tables"].erase(1);  // visitas: only in model; so the relation must go as well
    old["tables"].push_back(
        {{"name", "viejos"}, {"fields", json::array({{{"name", "a"}, {"type", 4}}})}});
    old["relations"] = json::array();
    old["queries"] = json::parse(
        R"([{"name": "todos", "sql": "SELECT nombre FROM clientes"},
            {"name": "antigua", "sql": "SELECT * FROM viejos"}])");

    Result r = Run(Clientes(), old, true);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    const json report = json::parse(r.out);
    EXPECT_EQ(report.at("equal"), false);
    EXPECT_TRUE(HasDifference(report, "table", "onlyInModel", "visitas"));
    EXPECT_TRUE(HasDifference(report, "table", "onlyInOld", "viejos"));
    EXPECT_TRUE(HasDifference(report, "field", "different", "nombre", "clientes"));
    EXPECT_TRUE(HasDifference(report, "field", "onlyInModel", "email", "clientes"));
    EXPECT_TRUE(HasDifference(report, "field", "onlyInOld", "fax", "clientes"));
    EXPECT_TRUE(HasDifference(report, "index", "different", "nombre", "clientes"));
    EXPECT_TRUE(HasDifference(report, "relation", "onlyInModel", "clientesvisitas"));
    EXPECT_TRUE(HasDifference(report, "query", "different", "todos"));
    EXPECT_TRUE(HasDifference(report, "query", "onlyInOld", "antigua"));
    EXPECT_EQ(report.at("differences").size(), 9u) << r.out;
    // Both sides of a difference are carried.
    for (const auto& d : report.at("differences"))
        if (d.at("kind") == "field" && d.at("name") == "nombre") {
            EXPECT_EQ(d.at("model").at("size"), 50);
            EXPECT_EQ(d.at("old").at("size"), 40);
        }

    Result text = Run(Clientes(), old, false);
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("Campo clientes.nombre: distinto\n    modelo: nombre: Text 50\n"
                            "    vieja:  nombre: Text 40\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("Tabla visitas: solo en el modelo\n"), std::string::npos);
    EXPECT_NE(text.out.find("9 diferencias.\n"), std::string::npos);
}

TEST_F(Diff, RelationAttributesAndIndexFlagsCount) {
    json old = Clientes();
    old["relations"][0]["attributes"] = 2;
    old["tables"][0]["indexes"][0]["unique"] = false;
    old["tables"][0]["indexes"][0]["primary"] = false;
    Result r = Run(Clientes(), old, true);
    EXPECT_EQ(r.status, 1);
    const json report = json::parse(r.out);
    EXPECT_TRUE(HasDifference(report, "relation", "different", "clientesvisitas"));
    EXPECT_TRUE(HasDifference(report, "index", "different", "PrimaryKey", "clientes"));
    EXPECT_EQ(report.at("differences").size(), 2u) << r.out;
}

// Counters, defaults, rules, required indexes and the table's rule count, and the text shows
// them.
TEST_F(Diff, EveryFieldIndexAndTablePropertyCounts) {
    json model = Clientes();
    model["tables"][0]["validationRule"] = "[codigo] > 0";
    model["tables"][0]["fields"][0]["attributes"] = 17;
    model["tables"][0]["fields"][1]["defaultValue"] = "\"sin nombre\"";
    model["tables"][0]["fields"][2]["validationRule"] = "Like \"*@*\"";
    model["tables"][0]["indexes"][1]["required"] = true;
    Result r = Run(model, Clientes(), true);
    EXPECT_EQ(r.status, 1);
    const json report = json::parse(r.out);
    EXPECT_TRUE(HasDifference(report, "table", "different", "clientes"));
    for (const char* field : {"codigo", "nombre", "email"})
        EXPECT_TRUE(HasDifference(report, "field", "different", field, "clientes")) << field;
    EXPECT_TRUE(HasDifference(report, "index", "different", "nombre", "clientes"));
    EXPECT_EQ(report.at("differences").size(), 5u) << r.out;
    const std::string text = Run(model, Clientes(), false).out;
    for (const char* shown :
         {"regla [codigo] > 0", "Long contador", "predeterminado \"sin nombre\"",
          "regla Like \"*@*\"", "(nombre, email) requerido"})
        EXPECT_NE(text.find(shown), std::string::npos) << shown << "\n" << text;
}

TEST_F(Diff, NamesMatchAsTheEngineMatchesThemButASpellingDifferenceShows) {
    json old = Clientes();
    old["tables"][1]["name"] = "VISITAS";
    old["relations"][0]["foreignTable"] = "VISITAS";
    Result r = Run(Clientes(), old, true);
    EXPECT_EQ(r.status, 1);
    const json report = json::parse(r.out);
    EXPECT_TRUE(HasDifference(report, "table", "different", "visitas")) << r.out;
    EXPECT_FALSE(HasDifference(report, "table", "onlyInModel", "visitas"));
}

TEST_F(Diff, ADatabaseThatCannotBeReadIsAnErrorWithOne) {
    Build("C:\\modelo.mdb", Clientes());
    std::ostringstream out, err;
    EXPECT_EQ(cli::DiffCommand("C:\\modelo.mdb", "C:\\falta.mdb", false, out, err), 1);
    EXPECT_EQ(err.str().rfind("Error 3024: ", 0), 0u) << err.str();
    EXPECT_TRUE(out.str().empty());
}

TEST_F(Diff, TheProgramTakesHostPathsAndExitsLikeTheCommand) {
    Build("C:\\modelo.mdb", Clientes());
    Build("C:\\igual.mdb", Clientes());
    json old = Clientes();
    old["queries"] = json::array();
    Build("C:\\vieja.mdb", old);
    const std::string model = prefix.driveCPath("modelo.mdb").string();
    EXPECT_EQ(RunCli({"diff", model, prefix.driveCPath("igual.mdb").string()}).status, 0);
    CliResult different = RunCli({"diff", model, "C:\\vieja.mdb", "--json"});
    EXPECT_EQ(different.status, 1);
    EXPECT_EQ(json::parse(different.out).at("differences").size(), 1u);
    EXPECT_EQ(RunCli({"diff", model, "C:\\falta.mdb"}).status, 1);
}

}  // namespace
}  // namespace actualiz::testing
