#include <string>
#include <vector>

#include "migrations/MigrationFixture.h"

namespace actualiz::testing {
namespace {

using engine::dbBoolean;
using engine::dbDate;
using engine::dbDouble;
using engine::dbLong;
using engine::dbMemo;
using engine::dbText;

const char* kCommand = "Command27_Click";

json Proveedores() {
    return {{"name", "proveedores"},
            {"fields",
             {{{"name", "codigoproveedor"}, {"type", dbLong}},
              {{"name", "nombre"}, {"type", dbText}, {"size", 50}}}},
            {"rows", {{1, "Suministros Ribera"}, {2, "Abonos del Sur"}}}};
}

const std::vector<ExpectedField> kGastosgen = {
    {"nombreempresa", dbText, 50, true},   {"refcodbarras", dbText, 100, true},
    {"codigoproveedor", dbLong, 0, false}, {"proveedor", dbText, 50, true},
    {"codpedido", dbLong, 0, false},       {"fecha", dbDate, 0, false},
    {"formapago", dbText, 50, true},       {"mediante", dbText, 50, true},
    {"importe", dbDouble, 0, false},       {"observaciones", dbMemo, 0, true},
    {"pagado", dbBoolean, 0, false},       {"formapagoreal", dbText, 50, true},
    {"fechapago", dbDate, 0, false},       {"nfactu", dbText, 50, true},
    {"vencimiento", dbText, 50, true},
};
const std::vector<std::string> kGastosgenIndexes = {"nombreempresa", "codpedido",
                                                    "codigoproveedor"};

class WarehouseMigration : public MigrationTest {
  protected:
    std::string Almacen() const { return DataPath("almacen.mdb"); }
    void BuildAlmacen(std::vector<json> tables) { Build(Almacen(), {{"tables", tables}}); }
};

// What only this migration does: the relation from proveedores, and the passes that stop at
// the first failure (the table, its fields and indexes, and what every fixed migration does with
// a table already there, are checked on all three in FixedMigrations_test.cpp).

TEST_F(WarehouseMigration, FreshAlmacenGetsTheRelationCodigoFromProveedores) {
    BuildAlmacen({Proveedores()});

    form->Click("Command27");

    EXPECT_TRUE(ErrorsOf(kCommand).empty()) << "a clean database must migrate without errors";
    json relations = Describe(Almacen())["relations"];
    ASSERT_EQ(relations.size(), 1u) << relations.dump(1);
    const json& codigo = relations[0];
    EXPECT_EQ(codigo["name"], "codigo");
    EXPECT_EQ(codigo["table"], "proveedores");
    EXPECT_EQ(codigo["foreignTable"], "gastosgen");
    EXPECT_EQ(codigo["attributes"], engine::dbRelationDontEnforce);
    ASSERT_EQ(codigo["fields"].size(), 1u);
    EXPECT_EQ(codigo["fields"][0]["name"], "codigoproveedor");
    EXPECT_EQ(codigo["fields"][0]["foreignName"], "codigoproveedor");
}

TEST_F(WarehouseMigration, RelationIsNotEnforced) {
    BuildAlmacen({Proveedores()});
    form->Click("Command27");
    ASSERT_TRUE(ErrorsOf(kCommand).empty());

    // An expense for a supplier that is not on file is accepted: attributes 2 enforce nothing.
    auto db = engine::OpenDatabase(Almacen());
    auto rs = db->OpenRecordset("gastosgen");
    rs->AddNew();
    rs->Fields()["codigoproveedor"]->SetValue(99LL);
    rs->Fields()["nombreempresa"]->SetValue(std::string("Sin proveedor"));
    EXPECT_NO_THROW(rs->Update());
    rs->Close();
    db->Close();
}

TEST_F(WarehouseMigration, ProveedoresIsLeftAsItWas) {
    BuildAlmacen({Proveedores()});
    json before = *TableOf(Almacen(), "proveedores");
    form->Click("Command27");
    EXPECT_EQ(*TableOf(Almacen(), "proveedores"), before);
}

// ---- Failures ----

TEST_F(WarehouseMigration, WithoutProveedoresKeepsTableAndIndexesAndReportsWhatIsMissing) {
    BuildAlmacen({{{"name", "articulos"}, {"fields", {{{"name", "codigo"}, {"type", dbLong}}}}}});

    // What the engine says when the relation's primary table is not there.
    int engineNumber = 0;
    std::string engineText;
    {
        Build(DataPath("sonda.mdb"),
              {{"tables",
                {{{"name", "gastosgen"},
                  {"fields", {{{"name", "codigoproveedor"}, {"type", dbLong}}}}}}}});
        auto db = engine::OpenDatabase(DataPath("sonda.mdb"));
        auto rel = db->CreateRelation("codigo", "proveedores", "gastosgen", 2);
        rel->Fields().Append(rel->CreateField("codigoproveedor"));
        rel->Fields()["codigoproveedor"]->SetForeignName("codigoproveedor");
        try {
            db->Relations().Append(rel);
            FAIL() << "the engine accepted a relation from a missing table";
        } catch (const Error& e) {
            engineNumber = e.number();
            engineText = e.description();
        }
        db->Close();
    }

    form->Click("Command27");

    auto gastosgen = TableOf(Almacen(), "gastosgen");
    ASSERT_TRUE(gastosgen) << "pass 1 must have kept the table";
    ExpectFields(*gastosgen, kGastosgen);
    ExpectSingleFieldIndexes(*gastosgen, kGastosgenIndexes);
    EXPECT_TRUE(Describe(Almacen())["relations"].empty());

    auto errors = ErrorsOf(kCommand);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, engineNumber);
    EXPECT_EQ(errors[0].description.rfind(engineText, 0), 0u)
        << "the engine's own text must come first: " << errors[0].description;
    EXPECT_NE(errors[0].description.find("La tabla gastosgen queda sin la relación codigo"),
              std::string::npos)
        << errors[0].description;
    EXPECT_NE(errors[0].description.find("no construye nada"), std::string::npos);
    EXPECT_TRUE(host.Messages().empty()) << "no \"Terminado\" after a failure";
    EXPECT_FALSE(host.Ended());
    ASSERT_FALSE(host.ShownErrors().empty());
    EXPECT_EQ(host.ShownErrors().back().number, engineNumber);
}

TEST_F(WarehouseMigration, IndexFailureStopsThereAndNamesTheIndexesAndRelationLeftOut) {
    BuildAlmacen({Proveedores()});
    RefuseIndex(Almacen(), "codpedido");

    form->Click("Command27");

    auto gastosgen = TableOf(Almacen(), "gastosgen");
    ASSERT_TRUE(gastosgen);
    EXPECT_EQ(IndexNames(*gastosgen), std::vector<std::string>{"nombreempresa"})
        << "no trap: nothing after the failing index is attempted";
    EXPECT_TRUE(Describe(Almacen())["relations"].empty());

    auto errors = ErrorsOf(kCommand);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].description.find(
                  "La tabla gastosgen queda sin los índices codpedido, codigoproveedor y sin la "
                  "relación codigo con proveedores"),
              std::string::npos)
        << errors[0].description;
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_FALSE(form->Ended());
}

TEST_F(WarehouseMigration, ALaterRunFindsTheHalfBuiltTableAndDoesNothing) {
    BuildAlmacen({{{"name", "articulos"}, {"fields", {{{"name", "codigo"}, {"type", dbLong}}}}}});
    form->Click("Command27");
    ASSERT_EQ(ErrorsOf(kCommand).size(), 1u);
    json before = Describe(Almacen());

    form->Click("Command27");

    EXPECT_EQ(ErrorsOf(kCommand).size(), 1u) << "the second run must report nothing new";
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(Describe(Almacen()), before);
}

}  // namespace
}  // namespace actualiz::testing
