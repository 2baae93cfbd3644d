#include <gtest/gtest.h>

#include <filesystem>

#include "engine/Engine.h"
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
         "fields": [{"name": "codigoproveedor", "type": 4, "size": 4, "allowZeroLength": false, "required": false},
                    {"name": "importe", "type": 7, "size": 8, "allowZeroLength": false, "required": false}],
         "indexes": [],
         "rows": [[1, 12.5]]},
        {"name": "proveedores",
         "fields": [{"name": "codigoproveedor", "type": 4, "size": 4, "allowZeroLength": false, "required": true},
                    {"name": "nombre", "type": 10, "size": 40, "allowZeroLength": true, "required": false},
                    {"name": "alta", "type": 8, "size": 8, "allowZeroLength": false, "required": false},
                    {"name": "notas", "type": 12, "size": 0, "allowZeroLength": true, "required": false}],
         "indexes": [{"name": "PrimaryKey", "fields": ["codigoproveedor"], "unique": true, "primary": true},
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
