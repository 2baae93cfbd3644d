#include <string>
#include <vector>

#include "fields/FieldsFixture.h"

namespace actualiz::testing {
namespace {

const std::vector<std::string> kBase = {"IdEmpleado", "Apellidos", "Nombre", "Salario"};
const std::vector<std::string> kWithSamples = {"IdEmpleado", "Apellidos", "Nombre", "Salario",
                                               "Correo",     "Http",      "Cuota"};

using SampleCommands = FieldsTest;

// ---- "Añadir Campo" ----

TEST_F(SampleCommands, AnadirCampoAddsCorreoHttpAndCuotaAndShowsThemInData2) {
    BuildNeptuno();

    form->Click("Command4");

    EXPECT_TRUE(ErrorsOf("Command4_Click").empty());
    EXPECT_EQ(FieldNames(), kWithSamples);
    json correo = FieldOf("Correo"), http = FieldOf("Http"), cuota = FieldOf("Cuota");
    EXPECT_EQ(correo["type"], engine::dbText);
    EXPECT_EQ(correo["size"], 50);
    EXPECT_EQ(correo["allowZeroLength"], true);
    EXPECT_EQ(http["type"], engine::dbText);
    EXPECT_EQ(http["size"], 80);
    EXPECT_EQ(http["allowZeroLength"], true);
    EXPECT_EQ(cuota["type"], engine::dbInteger);
    EXPECT_EQ(cuota["allowZeroLength"], false);

    EXPECT_EQ(form->Data2.DatabaseName(), "C:\\Neptuno.mdb");
    EXPECT_EQ(form->Data2.RecordSource(), "Empleados");
    ASSERT_TRUE(form->Data2.IsOpen()) << "Data2 must have been refreshed";
    EXPECT_TRUE(form->Data2.Recordset().Fields().Contains("Correo"))
        << "Data2 must read Empleados anew, new fields included";
    EXPECT_EQ(form->Data2.Recordset().RecordCount(), 3);
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_FALSE(form->Ended());
}

TEST_F(SampleCommands, AnadirCampoTwiceStopsAtCorreo) {
    BuildNeptuno();
    form->Click("Command4");
    ASSERT_EQ(FieldNames(), kWithSamples);
    // Take Http out again: a second run that went past Correo would put it back.
    {
        auto db = engine::OpenDatabase(kNeptuno);
        db->TableDefs()["Empleados"]->Fields().Delete("Http");
        db->Close();
    }

    form->Click("Command4");

    auto errors = ErrorsOf("Command4_Click");
    ASSERT_EQ(errors.size(), 1u) << "the engine's refusal of a second Correo is reported";
    EXPECT_NE(errors[0].description.find("Correo"), std::string::npos) << errors[0].description;
    EXPECT_EQ(host.ShownErrors().back().number, errors[0].number);
    EXPECT_EQ(FieldNames(), (std::vector<std::string>{"IdEmpleado", "Apellidos", "Nombre",
                                                      "Salario", "Correo", "Cuota"}))
        << "Http and Cuota must not be touched after Correo fails";
    EXPECT_FALSE(form->Ended()) << "the program goes on after the report";
}

TEST_F(SampleCommands, AnadirCampoOnAReadOnlyDatabaseShowsTheMessageOncePerField) {
    BuildNeptuno();
    MakeNeptunoReadOnly();

    form->Click("Command4");

    ASSERT_EQ(host.Messages().size(), 3u);
    for (const auto& m : host.Messages()) {
        EXPECT_EQ(m.text, "¡TableDef no se puede actualizar! No se puede terminar la tarea.");
        EXPECT_EQ(m.icon, app::MsgIcon::None);
    }
    EXPECT_EQ(FieldNames(), kBase);
    EXPECT_TRUE(ErrorsOf("Command4_Click").empty()) << "the caller goes on after each message";
    EXPECT_TRUE(form->Data2.IsOpen()) << "and still refreshes Data2";
}

TEST_F(SampleCommands, WithoutTheSampleDatabaseAnadirCampoReportsTheEngineError) {
    form->Click("Command4");
    auto errors = ErrorsOf("Command4_Click");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, engine::err::kFileNotFound);
    EXPECT_FALSE(form->Data2.IsOpen());
}

// ---- "Borrar Campos" ----

TEST_F(SampleCommands, BorrarCamposRemovesExactlyTheThreeFieldsAndKeepsEveryRow) {
    BuildNeptuno({{{"name", "Correo"}, {"type", engine::dbText}, {"size", 50}},
                  {{"name", "Http"}, {"type", engine::dbText}, {"size", 80}},
                  {{"name", "Cuota"}, {"type", engine::dbInteger}}},
                 {"x@y.es", "http://a", 12});
    json before = Empleados(true);

    form->Click("Command5");

    EXPECT_TRUE(ErrorsOf("Command5_Click").empty());
    EXPECT_EQ(FieldNames(), kBase);
    json after = Empleados(true);
    ASSERT_EQ(after["rows"].size(), before["rows"].size());
    for (std::size_t i = 0; i < before["rows"].size(); ++i) {
        json kept = before["rows"][i];
        kept.erase(kept.begin() + 4, kept.end());  // the three sample values go with their fields
        EXPECT_EQ(after["rows"][i], kept);
    }
    EXPECT_FALSE(form->Data2.IsOpen()) << "Borrar Campos does not refresh Data2";
    EXPECT_EQ(form->Data2.DatabaseName(), "");
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(SampleCommands, BorrarCamposStopsAtTheFirstMissingField) {
    BuildNeptuno({{{"name", "Http"}, {"type", engine::dbText}, {"size", 80}},
                  {{"name", "Cuota"}, {"type", engine::dbInteger}}});

    form->Click("Command5");

    auto errors = ErrorsOf("Command5_Click");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, engine::err::kItemNotFound);
    EXPECT_EQ(FieldNames(), (std::vector<std::string>{"IdEmpleado", "Apellidos", "Nombre",
                                                      "Salario", "Http", "Cuota"}));
}

TEST_F(SampleCommands, AddThenRemoveGivesBackTheTableAsItWas) {
    BuildNeptuno();
    json before = Empleados(true);
    form->Click("Command4");
    form->Click("Command5");
    EXPECT_TRUE(ErrorsOf("Command4_Click").empty());
    EXPECT_TRUE(ErrorsOf("Command5_Click").empty());
    EXPECT_EQ(Empleados(true), before);
}

// ---- "Llenar DBGRID" ----

TEST_F(SampleCommands, LlenarDbgridPointsData2AtEmpleados) {
    BuildNeptuno();

    form->Click("Command3");

    EXPECT_TRUE(ErrorsOf("Command3_Click").empty());
    EXPECT_EQ(form->Data2.DatabaseName(), "C:\\Neptuno.mdb");
    ASSERT_TRUE(form->Data2.IsOpen());
    EXPECT_EQ(form->Data2.Recordset().RecordCount(), 3);
    EXPECT_EQ(form->Data2.Recordset().Fields()["Apellidos"]->Text(), "Dávolio");
    EXPECT_EQ(FieldNames(), kBase) << "only reads";
}

TEST_F(SampleCommands, LlenarDbgridWithoutTheSampleDatabaseReportsIt) {
    form->Click("Command3");
    auto errors = ErrorsOf("Command3_Click");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, engine::err::kFileNotFound);
    EXPECT_FALSE(form->Data2.IsOpen());
}

}  // namespace
}  // namespace actualiz::testing
