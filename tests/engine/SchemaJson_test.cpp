#include <gtest/gtest.h>

#include <filesystem>

#include "engine/Engine.h"
#include "engine/FieldRules.h"
#include "engine/SchemaJson.h"
#include "support/TempPrefix.h"

namespace actualiz::engine {
namespace {

using nlohmann::json;

// Tables in the engine's collection order (by name), as a description lists them.
json Sample() {
    return json::parse(R"({
      "tables": [
        {"name": "gastos",
         "validationRule": "[importe] > 0", "validationText": "Importe positivo",
         "fields": [{"name": "numero", "type": 4, "size": 4, "allowZeroLength": false, "required": false,
                     "attributes": 17},
                    {"name": "codigoproveedor", "type": 4, "size": 4, "allowZeroLength": false, "required": false},
                    {"name": "importe", "type": 7, "size": 8, "allowZeroLength": false, "required": false,
                     "defaultValue": "1", "validationRule": "< 1000000", "validationText": "Demasiado"}],
         "indexes": [{"name": "codigoproveedor", "fields": ["codigoproveedor"], "unique": false,
                      "primary": false, "ignoreNulls": true, "required": true}],
         "rows": [[1, 1, 12.5]]},
        {"name": "proveedores",
         "fields": [{"name": "codigoproveedor", "type": 4, "size": 4, "allowZeroLength": false, "required": true},
                    {"name": "nombre", "type": 10, "size": 40, "allowZeroLength": true, "required": false},
                    {"name": "alta", "type": 8, "size": 8, "allowZeroLength": false, "required": false},
                    {"name": "notas", "type": 12, "size": 0, "allowZeroLength": true, "required": false}],
         "indexes": [{"name": "PrimaryKey", "fields": ["codigoproveedor"], "unique": true, "primary": true, "required": true},
                     {"name": "porNombre", "fields": [{"name": "nombre", "descending": true}, "alta"],
                      "unique": false, "primary": false}],
         "rows": [[1, "Agrícola del Sur", null, "primera línea"], [2, "Riegos", null, ""]]}
      ],
      "relations": [{"name": "codigo", "table": "proveedores", "foreignTable": "gastos", "attributes": 2,
                     "fields": [{"name": "codigoproveedor", "foreignName": "codigoproveedor"}]}],
      "queries": [{"name": "caros", "sql": "SELECT * FROM gastos WHERE importe > 10"}]
    })");
}

TEST(SchemaJson, BuildThenDescribeGivesTheSameDocumentWithRows) {
    testing::TempPrefix prefix;
    auto db = BuildDatabase("c:\\almacen.mdb", Sample());
    json described = DescribeDatabase(*db, {.includeSystem = false, .includeRows = true});
    EXPECT_EQ(described, Sample()) << described.dump(2);
}

TEST(SchemaJson, RoundTripThroughADescriptionIsStable) {
    testing::TempPrefix prefix;
    auto first = BuildDatabase("c:\\uno.mdb", Sample());
    json once = DescribeDatabase(*first);
    auto second = BuildDatabase("c:\\dos.mdb", once);
    EXPECT_EQ(DescribeDatabase(*second), once);
    // Without includeRows no table carries rows.
    for (const auto& t : once.at("tables")) EXPECT_FALSE(t.contains("rows"));
}

TEST(SchemaJson, SystemTablesOnlyOnRequest) {
    testing::TempPrefix prefix;
    auto db = BuildDatabase("c:\\x.mdb", json::parse(R"({"tables":[]})"));
    EXPECT_TRUE(DescribeDatabase(*db).at("tables").empty());
    json withSystem = DescribeDatabase(*db, {.includeSystem = true});
    ASSERT_FALSE(withSystem.at("tables").empty());
    for (const auto& t : withSystem.at("tables"))
        EXPECT_TRUE(IsSystemName(t.at("name").get<std::string>()));
}

TEST(SchemaJson, AFailedBuildLeavesNoFileBehind) {
    testing::TempPrefix prefix;
    json bad = Sample();
    // The relation names a field the foreign table lacks: the engine refuses it at the end.
    bad["relations"][0]["fields"][0]["foreignName"] = "noexiste";
    EXPECT_THROW(BuildDatabase("c:\\roto.mdb", bad), EngineError);
    EXPECT_FALSE(std::filesystem::exists(prefix.driveCPath("roto.mdb")));
}

TEST(SchemaJson, RefusesToReplaceAnExistingFile) {
    testing::TempPrefix prefix;
    prefix.writeFile("ya.mdb", "contenido");
    try {
        BuildDatabase("c:\\ya.mdb", Sample());
        FAIL() << "an existing file was replaced";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.number(), 3204);
    }
    std::error_code ec;
    EXPECT_EQ(std::filesystem::file_size(prefix.driveCPath("ya.mdb"), ec), 9u);
}

}  // namespace
}  // namespace actualiz::engine

namespace actualiz::engine::detail {
namespace {

// Classic rules and defaults against the SQLite text they become (nullopt: kept, not applied).
TEST(FieldRules, RulesAndDefaultsBecomeSqlite) {
    struct Case {
        const char* rule;
        std::optional<std::string> condition;
    };
    const std::vector<Case> fieldRules = {
        {"> 0", "\"c\" > 0"},
        {"Between 1 And 9", "\"c\" BETWEEN 1 AND 9"},
        {"Is Null Or >= #1/31/2000#", "\"c\" IS NULL OR \"c\" >= '2000-01-31 00:00:00'"},
        {"< #10:30#", "\"c\" < '1899-12-30 10:30:00'"},
        {"In (\"E\",\"S\")", "\"c\" IN ( 'E' , 'S' )"},
        {"Not Like \"A*\"", "\"c\" NOT LIKE 'A%'"},
        {"\"S\" Or \"N\"", "\"c\" = 'S' OR \"c\" = 'N'"},
        {"<= Date()", "\"c\" <= (datetime('now','localtime','start of day'))"},
        {"> Time()", "\"c\" > ('1899-12-30 ' || time('now','localtime'))"},
        {"Len([c]) > 2", std::nullopt},
        {"> [otro]", std::nullopt},
        {"(> 0", std::nullopt},
    };
    for (const auto& c : fieldRules)
        EXPECT_EQ(SqliteCondition(c.rule, "c", {}), c.condition) << c.rule;
    EXPECT_EQ(SqliteCondition("[fin] >= [Inicio]", "", {"inicio", "fin"}),
              std::optional<std::string>("\"fin\" >= \"inicio\""));
    EXPECT_EQ(SqliteCondition("[fin] >= [nada]", "", {"inicio", "fin"}), std::nullopt);
    // In a trigger every field is the new row's; a rule that reads the clock says so.
    auto trigger =
        TranslateRule("[fin] >= [inicio] And [fin] <= Now()", "", {"inicio", "fin"}, "NEW.");
    ASSERT_TRUE(trigger);
    EXPECT_EQ(trigger->sql,
              "NEW.\"fin\" >= NEW.\"inicio\" AND NEW.\"fin\" <= (datetime('now','localtime'))");
    EXPECT_TRUE(trigger->readsClock);
    EXPECT_FALSE(TranslateRule("> 0", "c", {})->readsClock);

    const std::vector<Case> defaults = {
        {"0", "0"},
        {"=-2.5", "-2.5"},
        {"\"ES\"", "'ES'"},
        {"No", "0"},
        {"True", "-1"},
        {"=Now()", "(datetime('now','localtime'))"},
        {"=Date()", "(datetime('now','localtime','start of day'))"},
        {"#1/31/2000#", "'2000-01-31 00:00:00'"},
        {"GenGUID()", std::nullopt},
        {"Year(Date())", std::nullopt},
    };
    for (const auto& c : defaults) EXPECT_EQ(SqliteDefault(c.rule), c.condition) << c.rule;
}

}  // namespace
}  // namespace actualiz::engine::detail
