#include <cstdint>
#include <string>
#include <vector>

#include "fields/FieldsFixture.h"

namespace actualiz::testing {
namespace {

const std::string kNotUpdatable =
    "¡TableDef no se puede actualizar! No se puede terminar la tarea.";

// AnexarEliminarCampo called directly on Empleados, the way AppendX and Command5_Click call it.
class FieldRoutine : public FieldsTest {
  protected:
    void SetUp() override {
        FieldsTest::SetUp();
        BuildNeptuno();
    }
    void Call(const std::string& command, const std::string& name, std::int16_t type,
              std::int16_t size) {
        auto db = engine::OpenDatabase(kNeptuno);
        auto tdf = db->TableDefs()["Empleados"];
        form->AnexarEliminarCampo(*tdf, command, name, type, size);
        db->Close();
    }
};

TEST_F(FieldRoutine, AppendAddsTheFieldAtTheEnd) {
    Call("APPEND", "Correo", engine::dbText, 50);
    EXPECT_EQ(FieldNames(),
              (std::vector<std::string>{"IdEmpleado", "Apellidos", "Nombre", "Salario", "Correo"}));
    json f = FieldOf("Correo");
    EXPECT_EQ(f["type"], engine::dbText);
    EXPECT_EQ(f["size"], 50);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(FieldRoutine, TextAndMemoAcceptZeroLengthStrings) {
    Call("APPEND", "Correo", engine::dbText, 50);
    Call("APPEND", "Notas", engine::dbMemo, 0);
    EXPECT_EQ(FieldOf("Correo")["allowZeroLength"], true);
    EXPECT_EQ(FieldOf("Notas")["allowZeroLength"], true);
    EXPECT_EQ(FieldOf("Notas")["type"], engine::dbMemo);

    // And really store "" without complaint.
    auto db = engine::OpenDatabase(kNeptuno);
    auto rs = db->OpenRecordset("Empleados");
    rs->Edit();
    rs->Fields()["Correo"]->SetValue(std::string());
    rs->Fields()["Notas"]->SetValue(std::string());
    EXPECT_NO_THROW(rs->Update());
    rs->Close();
    db->Close();
}

TEST_F(FieldRoutine, OtherTypesKeepTheEngineDefaultForZeroLength) {
    Call("APPEND", "Cuota", engine::dbInteger, 5);
    Call("APPEND", "Alta", engine::dbDate, 0);
    Call("APPEND", "Activo", engine::dbBoolean, 0);
    for (const char* name : {"Cuota", "Alta", "Activo"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(FieldOf(name)["allowZeroLength"], false);
        EXPECT_EQ(FieldOf(name)["required"], false);
    }
    EXPECT_EQ(FieldOf("Cuota")["type"], engine::dbInteger);
}

TEST_F(FieldRoutine, DeleteRemovesOnlyThatField) {
    Call("DELETE", "Nombre", 0, 0);
    EXPECT_EQ(FieldNames(), (std::vector<std::string>{"IdEmpleado", "Apellidos", "Salario"}));
}

TEST_F(FieldRoutine, CommandsDifferingOnlyInLetterCaseDoNothingAndSayNothing) {
    json before = Empleados(true);
    Call("append", "Correo", engine::dbText, 50);
    Call("Append", "Correo", engine::dbText, 50);
    Call("delete", "Nombre", 0, 0);
    Call("Delete", "Nombre", 0, 0);
    Call("BORRAR", "Nombre", 0, 0);
    EXPECT_EQ(Empleados(true), before);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(FieldRoutine, EngineErrorsReachTheCaller) {
    EXPECT_THROW(Call("APPEND", "Nombre", engine::dbText, 10), Error) << "the field exists";
    EXPECT_THROW(Call("DELETE", "Correo", 0, 0), Error) << "there is no such field";
    EXPECT_EQ(FieldNames(),
              (std::vector<std::string>{"IdEmpleado", "Apellidos", "Nombre", "Salario"}));
}

TEST_F(FieldRoutine, ATableDefinitionThatCannotBeUpdatedShowsTheMessageEachTime) {
    MakeNeptunoReadOnly();
    json before = Empleados(true);

    auto db = engine::OpenDatabase(kNeptuno);
    auto tdf = db->TableDefs()["Empleados"];
    ASSERT_FALSE(tdf->Updatable());
    form->AnexarEliminarCampo(*tdf, "APPEND", "Correo", engine::dbText, 50);
    form->AnexarEliminarCampo(*tdf, "DELETE", "Nombre", 0, 0);
    form->AnexarEliminarCampo(*tdf, "OTRO", "Nombre", 0, 0);
    db->Close();

    ASSERT_EQ(host.Messages().size(), 3u) << "the check comes before the command is read";
    for (const auto& m : host.Messages()) {
        EXPECT_EQ(m.text, kNotUpdatable);
        EXPECT_EQ(m.icon, app::MsgIcon::None);
        EXPECT_EQ(m.title, app::Actualiz::Title());
    }
    EXPECT_EQ(Empleados(true), before);
}

TEST_F(FieldRoutine, SystemTablesAreNotUpdatableEither) {
    auto db = engine::OpenDatabase(kNeptuno);
    auto system = db->TableDefs()["MSysObjects"];
    int before = system->Fields().Count();
    form->AnexarEliminarCampo(*system, "APPEND", "Correo", engine::dbText, 50);
    EXPECT_EQ(system->Fields().Count(), before);
    db->Close();
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, kNotUpdatable);
}

}  // namespace
}  // namespace actualiz::testing
