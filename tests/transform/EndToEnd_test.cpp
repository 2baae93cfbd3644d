#include <gtest/gtest.h>

#include "DriverFixture.h"

namespace actualiz::testing {
namespace {

using engine::dbDate;
using engine::dbDouble;
using engine::dbLong;
using engine::dbMemo;
using engine::dbText;

class EndToEnd : public DriverTest {};

// Every table of the model has a namesake in the old database (the engine's own notion of the
// same name) carrying every field of the model table.
void ExpectEveryModelFieldInTheOldDatabase(const std::string& modelPath,
                                           const std::string& oldPath) {
    auto model = engine::OpenDatabase(modelPath);
    auto old = engine::OpenDatabase(oldPath);
    for (const auto& table : model->TableDefs()) {
        if (engine::IsSystemName(table->Name())) continue;
        ASSERT_TRUE(old->TableDefs().Contains(table->Name()))
            << oldPath << " still lacks table " << table->Name();
        auto oldTable = old->TableDefs()[table->Name()];
        for (const auto& field : table->Fields())
            EXPECT_TRUE(oldTable->Fields().Contains(field->Name()))
                << oldPath << ": table " << oldTable->Name() << " lacks field " << field->Name();
    }
    model->Close();
    old->Close();
}

// Three old databases, one of them without a model; four models, one of them new and one that
// matches the model-less old database only when letter case is ignored (it must not be copied
// over it).
TEST_F(EndToEnd, TheDataFolderIsUpgradedAndTheNewModelCopied) {
    // clientes: an old table lacking fields, a table with a blank in its name, an old table of
    // its own (so both sides have three tables) and a model table the old database lacks.
    Model("clientes.mdb",
          Tables({Table("clientes", {{"codigo", dbLong},
                                     {"nombre", dbText, 50},
                                     {"email", dbText, 80},
                                     {"notas", dbMemo}}),
                  Table("Detalles de pedidos",
                        {{"pedido", dbLong}, {"cantidad", dbLong}, {"precio", dbDouble}}),
                  Table("zonas", {{"id", dbLong}, {"nombre", dbText, 30}})}));
    Old("clientes.mdb",
        Tables(
            {Table("clientes", {{"codigo", dbLong}, {"nombre", dbText, 50}, {"fax", dbText, 20}}),
             Table("Detalles de pedidos", {{"pedido", dbLong}}),
             Table("antiguos", {{"id", dbLong}})}));
    InsertRows(DataPath("clientes.mdb"), "clientes",
               json::parse(R"([[1,"Ana","911"],[2,"Luis",null],[3,"Eva","933"]])"));
    InsertRows(DataPath("clientes.mdb"), "Detalles de pedidos", json::parse("[[10],[11]]"));

    // almacen: a model table whose old namesake differs in letter case, and a date field.
    Model("almacen.mdb",
          Tables({Table("articulos",
                        {{"codigo", dbLong}, {"descripcion", dbText, 60}, {"alta", dbDate}}),
                  Table("Proveedores", {{"codigo", dbLong}, {"nombre", dbText, 40}})}));
    Old("almacen.mdb",
        Tables({Table("articulos", {{"codigo", dbLong}, {"descripcion", dbText, 60}}),
                Table("proveedores", {{"codigo", dbLong}})}));
    InsertRows(DataPath("almacen.mdb"), "articulos", json::parse(R"([[5,"tornillo"]])"));

    Old("historico.mdb", Tables({Table("movimientos", {{"id", dbLong}})}));
    InsertRows(DataPath("historico.mdb"), "movimientos", json::parse("[[1],[2]]"));
    Model("HISTORICO.MDB", Tables({Table("otra", {{"x", dbLong}})}));

    Model("nuevo.mdb", Tables({Table("tarifas", {{"id", dbLong}, {"importe", dbDouble}})}));
    InsertRows(ModelPath("nuevo.mdb"), "tarifas", json::parse("[[1,2.5]]"));

    const std::string historico = FileBytes(std::string(kDataFolder) + "/historico.mdb");

    ActivateAndTransform();

    ExpectEveryModelFieldInTheOldDatabase(ModelPath("clientes.mdb"), DataPath("clientes.mdb"));
    ExpectEveryModelFieldInTheOldDatabase(ModelPath("almacen.mdb"), DataPath("almacen.mdb"));

    // Old fields and tables stay, and so does every row, the new columns empty.
    EXPECT_EQ(TableNames(DataPath("clientes.mdb")),
              V({"antiguos", "clientes", "Detalles de pedidos", "zonas"}));
    EXPECT_EQ(FieldNames(DataPath("clientes.mdb"), "clientes"),
              V({"codigo", "nombre", "fax", "email", "notas"}));
    EXPECT_EQ(RowValues(DataPath("clientes.mdb"), "clientes"),
              json::parse(R"([[1,"Ana","911",null,null],[2,"Luis",null,null,null],
                              [3,"Eva","933",null,null]])"));
    EXPECT_EQ(RowValues(DataPath("clientes.mdb"), "Detalles de pedidos"),
              json::parse("[[10,null,null],[11,null,null]]"));
    EXPECT_TRUE(StoredField(DataPath("clientes.mdb"), "clientes", "notas")->AllowZeroLength());
    EXPECT_EQ(TableNames(DataPath("almacen.mdb")), V({"articulos", "proveedores"}));
    EXPECT_EQ(FieldNames(DataPath("almacen.mdb"), "proveedores"), V({"codigo", "nombre"}));
    EXPECT_EQ(RowValues(DataPath("almacen.mdb"), "articulos"),
              json::parse(R"([[5,"tornillo",null]])"));

    // The model-less old database is untouched, the new model is there whole.
    EXPECT_TRUE(FileBytes(std::string(kDataFolder) + "/historico.mdb") == historico)
        << "the database without a model was changed";
    EXPECT_EQ(RowValues(DataPath("historico.mdb"), "movimientos"), json::parse("[[1],[2]]"));
    EXPECT_EQ(RowValues(DataPath("nuevo.mdb"), "tarifas"), json::parse("[[1,2.5]]"));
    EXPECT_EQ(form->List8.Items(), V({"HISTORICO.MDB", "nuevo.mdb"}));

    EXPECT_EQ(form->Label4.Caption(), "Proceso Terminado");
    EXPECT_EQ(form->MousePointer(), 0);
    EXPECT_EQ(form->Bar1.Value(), 3.0f);
    // What was passed over: the model's Proveedores, which the engine already knows as
    // proveedores, and the copy that would have replaced historico.mdb.
    const std::vector<std::string> skips = SyncSkips();
    ASSERT_EQ(skips.size(), 2u) << ::testing::PrintToString(skips);
    EXPECT_EQ(skips[0].rfind("Command8_Click 3010 ", 0), 0u) << skips[0];
    EXPECT_NE(skips[0].find("Proveedores"), std::string::npos) << skips[0];
    EXPECT_EQ(skips[1].rfind("Command13_Click 58 ", 0), 0u) << skips[1];
    EXPECT_NE(skips[1].find("HISTORICO.MDB"), std::string::npos) << skips[1];
}

}  // namespace
}  // namespace actualiz::testing
