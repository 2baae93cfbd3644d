#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "app/Inventory.h"
#include "catalogs/CatalogFiles.h"
#include "catalogs/IndexCatalog.h"
#include "catalogs/QueryCatalog.h"
#include "catalogs/RelationCatalog.h"
#include "engine/Engine.h"
#include "engine/SchemaJson.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {
namespace {

// name -> type of every field of the one table of a catalog.
std::map<std::string, int> FieldTypes(const std::string& path, const std::string& table) {
    auto db = engine::OpenDatabase(path);
    std::map<std::string, int> out;
    for (const auto& f : db->TableDefs()[table]->Fields()) out[f->Name()] = f->Type();
    db->Close();
    return out;
}

long RowCount(const std::string& path, const std::string& table) {
    auto db = engine::OpenDatabase(path);
    auto rs = db->OpenRecordset(table);
    long n = rs->RecordCount();
    rs->Close();
    db->Close();
    return n;
}

TEST(CatalogFiles, CreatesTheThreeCatalogsWithTheirTablesAndFields) {
    TempPrefix prefix;
    catalogs::CreateCatalogs(false);

    using engine::dbMemo;
    using engine::dbText;
    EXPECT_EQ(FieldTypes(catalogs::kIndexCatalogPath, "indices"),
              (std::map<std::string, int>{{"nombreind", dbText},
                                          {"tabla", dbText},
                                          {"campo", dbText},
                                          {"unico", dbText},
                                          {"primaria", dbText},
                                          {"ignoranulos", dbText},
                                          {"requerido", dbText},
                                          {"descendente", dbText}}));
    EXPECT_EQ(FieldTypes(catalogs::kRelationCatalogPath, "relacion"),
              (std::map<std::string, int>{{"nombrerel", dbText},
                                          {"tabla", dbText},
                                          {"tablafor", dbText},
                                          {"atributos", dbText},
                                          {"campo", dbText},
                                          {"campofor", dbText}}));
    EXPECT_EQ(FieldTypes(catalogs::kQueryCatalogPath, "consulta"),
              (std::map<std::string, int>{{"nombrecon", dbText}, {"consulta", dbMemo}}));
    EXPECT_TRUE(std::filesystem::is_directory(prefix.driveCPath("ActMirto")));
}

TEST(CatalogFiles, AQueryTextLongerThanATextFieldFitsInTheQueryCatalog) {
    TempPrefix prefix;
    catalogs::CreateCatalogs(false);
    auto db = engine::OpenDatabase(catalogs::kQueryCatalogPath);
    auto rs = db->OpenRecordset("consulta");
    const std::string sql = "SELECT " + std::string(2000, 'a') + " FROM T";
    rs->AddNew();
    rs->Fields()["nombrecon"]->SetValue(engine::Value(std::string("Larga")));
    rs->Fields()["consulta"]->SetValue(engine::Value(sql));
    rs->Update();
    rs->MoveFirst();
    EXPECT_EQ(rs->Fields()["consulta"]->Text(), sql);
    rs->Close();
    db->Close();
}

TEST(CatalogFiles, RefusesToReplaceAnExistingCatalogAndCreatesNothing) {
    TempPrefix prefix;
    prefix.writeFile("ActMirto/relacion.mdb", "no es una base");
    try {
        catalogs::CreateCatalogs(false);
        FAIL() << "an existing catalog was replaced without being asked to";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 58);
        EXPECT_NE(e.description().find("relacion.mdb"), std::string::npos) << e.description();
    }
    EXPECT_FALSE(std::filesystem::exists(prefix.driveCPath("ActMirto/indices.mdb")));
    EXPECT_FALSE(std::filesystem::exists(prefix.driveCPath("ActMirto/consulta.mdb")));
}

TEST(CatalogFiles, ForceReplacesExistingCatalogsWithEmptyOnes) {
    TempPrefix prefix;
    catalogs::CreateCatalogs(false);
    {
        auto db = engine::OpenDatabase(catalogs::kIndexCatalogPath);
        auto rs = db->OpenRecordset("indices");
        rs->AddNew();
        rs->Fields()["nombreind"]->SetValue(engine::Value(std::string("Viejo")));
        rs->Update();
        rs->Close();
        db->Close();
    }
    ASSERT_EQ(RowCount(catalogs::kIndexCatalogPath, "indices"), 1);

    catalogs::CreateCatalogs(true);

    EXPECT_EQ(RowCount(catalogs::kIndexCatalogPath, "indices"), 0);
    EXPECT_EQ(RowCount(catalogs::kRelationCatalogPath, "relacion"), 0);
    EXPECT_EQ(RowCount(catalogs::kQueryCatalogPath, "consulta"), 0);
}

TEST(CatalogFiles, TheWindowsDataControlsOpenTheCatalogsThatAreCreated) {
    // The window names its catalogs in the control inventory; the creation must agree with it.
    const std::pair<const char*, std::string> controls[] = {
        {"Data3", catalogs::kIndexCatalogPath},
        {"Data4", catalogs::kRelationCatalogPath},
        {"Data5", catalogs::kQueryCatalogPath}};
    const char* tables[] = {"indices", "relacion", "consulta"};
    for (int i = 0; i < 3; ++i) {
        const app::ControlDesign* design = app::FindDesign(controls[i].first);
        ASSERT_NE(design, nullptr);
        EXPECT_EQ(design->databaseName, controls[i].second);
        EXPECT_EQ(design->recordSource, tables[i]);
        EXPECT_EQ(catalogs::CatalogPaths()[static_cast<size_t>(i)], controls[i].second);
    }
}

// ---- The small texts the commands build ----

TEST(CatalogTexts, ViewsDoubleTheApostrophesOfANameAndNothingElse) {
    EXPECT_EQ(catalogs::IndexTableView("Clientes"),
              "Select * from indices where tabla = 'Clientes'");
    EXPECT_EQ(catalogs::IndexTableView("Pedidos d'Europa"),
              "Select * from indices where tabla = 'Pedidos d''Europa'");
    EXPECT_EQ(catalogs::RelationView("a''b"), "Select * from relacion where nombrerel = 'a''''b'");
}

TEST(CatalogTexts, UniqueFlagText) {
    EXPECT_EQ(catalogs::UniqueText(true), "Verdadero");
    EXPECT_EQ(catalogs::UniqueText(false), "Falso");
    EXPECT_TRUE(catalogs::UniqueFromText("Verdadero"));
    EXPECT_FALSE(catalogs::UniqueFromText("verdadero"));
    EXPECT_FALSE(catalogs::UniqueFromText("Verdadero "));
    EXPECT_FALSE(catalogs::UniqueFromText("Falso"));
}

TEST(CatalogTexts, OneLineSqlTurnsEachBreakCharacterIntoOneSpace) {
    EXPECT_EQ(catalogs::OneLineSql("a\r\nb\nc\rd"), "a  b c d");
    EXPECT_EQ(catalogs::OneLineSql("Año\tñ"), "Año\tñ");
    EXPECT_EQ(catalogs::OneLineSql(""), "");
}

TEST(CatalogTexts, AttributesRoundTripAndRejectWhatIsNoNumber) {
    for (long bits : {0L, 2L, 256L, 4096L, 4354L})
        EXPECT_EQ(catalogs::AttributesFromText(catalogs::AttributesText(bits)), bits);
    EXPECT_EQ(catalogs::AttributesFromText(" 2 "), 2);
    for (const char* bad : {"", "dos", "2x"}) {
        try {
            catalogs::AttributesFromText(bad);
            ADD_FAILURE() << "\"" << bad << "\" was taken for a number";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 13);
        }
    }
}

}  // namespace
}  // namespace actualiz::testing
