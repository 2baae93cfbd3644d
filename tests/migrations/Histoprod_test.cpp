#include <string>
#include <vector>

#include "migrations/MigrationFixture.h"

namespace actualiz::testing {
namespace {

using engine::dbDate;
using engine::dbDouble;
using engine::dbLong;
using engine::dbMemo;
using engine::dbText;

const char* kCommand = "Command25_Click";

const std::vector<ExpectedField> kHistoprod = {
    {"codcli", dbDouble, 0, false},       {"fechaini", dbDate, 0, false},
    {"codproducto", dbLong, 0, false},    {"tipotra", dbLong, 0, false},
    {"nompro", dbText, 255, true},        {"registro", dbText, 255, true},
    {"plazoseg", dbText, 50, true},       {"dosificacion", dbText, 255, true},
    {"toxicidad", dbText, 50, true},      {"cantidad", dbDouble, 0, false},
    {"precio", dbDouble, 0, false},       {"materiaactiva", dbText, 50, true},
    {"tipoaplicacion", dbText, 50, true}, {"zonapli", dbMemo, 0, true},
    {"zonaafec", dbMemo, 0, true},
};

json Clientes() {
    return {{"name", "clientes"},
            {"fields",
             {{{"name", "codcli"}, {"type", dbDouble}},
              {{"name", "nombre"}, {"type", dbText}, {"size", 80}}}},
            {"rows", {{1.0, "Finca La Vega"}}}};
}

class TreatmentHistoryMigration : public MigrationTest {
  protected:
    std::string ClientesPath() const { return DataPath("clientes.mdb"); }
    void BuildClientes(std::vector<json> tables) { Build(ClientesPath(), {{"tables", tables}}); }
};

TEST_F(TreatmentHistoryMigration, FreshClientesGetsTheTableWithFourIndexesAndEnds) {
    BuildClientes({Clientes()});

    form->Run(kCommand);

    EXPECT_TRUE(ErrorsOf(kCommand).empty());
    EXPECT_TRUE(form->Skipped().empty()) << "no index step may have failed";
    auto histoprod = TableOf(ClientesPath(), "histoprod");
    ASSERT_TRUE(histoprod) << "histoprod was not created";
    ExpectFields(*histoprod, kHistoprod);
    ExpectSingleFieldIndexes(*histoprod, {"codcli", "fechaini", "codproducto", "nompro"});

    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "Terminado");
    EXPECT_EQ(host.Messages()[0].icon, app::MsgIcon::Information);
    EXPECT_EQ(host.Messages()[0].title, app::Actualiz::Title());
    EXPECT_TRUE(host.Ended()) << "the program must end once \"Terminado\" is dismissed";
    EXPECT_EQ(form->Text4.Text(), "C:\\datos\\clientes.mdb");
}

TEST_F(TreatmentHistoryMigration, ExistingHistoprodIsReportedAndLeftAlone) {
    BuildClientes({Clientes(),
                   {{"name", "histoprod"}, {"fields", {{{"name", "codcli"}, {"type", dbLong}}}}}});
    json before = Describe(ClientesPath());

    form->Run(kCommand);

    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "La tabla histoprod ya existe");
    EXPECT_EQ(host.Messages()[0].icon, app::MsgIcon::Critical);
    EXPECT_EQ(host.Messages()[0].title, app::Actualiz::Title());
    EXPECT_EQ(Describe(ClientesPath()), before) << "the existing table must not be touched";
    EXPECT_FALSE(form->Ended()) << "the program keeps running";
    EXPECT_TRUE(ErrorsOf(kCommand).empty());
    EXPECT_EQ(form->Text4.Text(), "C:\\datos\\clientes.mdb");
}

TEST_F(TreatmentHistoryMigration, CapitalisedHISTOPRODIsRefusedByTheEngineAndReported) {
    BuildClientes({Clientes(),
                   {{"name", "HISTOPROD"}, {"fields", {{{"name", "codcli"}, {"type", dbLong}}}}}});
    json before = Describe(ClientesPath());

    form->Run(kCommand);

    auto errors = ErrorsOf(kCommand);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, engine::err::kTableExists);
    EXPECT_EQ(Describe(ClientesPath()), before);
    EXPECT_TRUE(host.Messages().empty()) << "neither \"ya existe\" nor \"Terminado\"";
    EXPECT_FALSE(form->Ended());
}

TEST_F(TreatmentHistoryMigration, NoClientesIsReportedAndNoFileIsCreated) {
    form->Run(kCommand);

    auto errors = ErrorsOf(kCommand);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, engine::err::kFileNotFound);
    EXPECT_FALSE(FileExists("datos/clientes.mdb"));
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_FALSE(form->Ended());
}

// One index that cannot be made: the others are still made, and instead of "Terminado" the user
// reads which index is missing and why; the program stays open.
TEST_F(TreatmentHistoryMigration, FailedIndexIsNamedInsteadOfTerminadoAndTheOthersAreMade) {
    BuildClientes({Clientes()});
    RefuseIndex(ClientesPath(), "fechaini");

    form->Run(kCommand);

    auto histoprod = TableOf(ClientesPath(), "histoprod");
    ASSERT_TRUE(histoprod);
    ExpectFields(*histoprod, kHistoprod);
    ExpectSingleFieldIndexes(*histoprod, {"codcli", "codproducto", "nompro"});

    ASSERT_EQ(form->Skipped().size(), 1u) << "only the Append of fechaini fails";
    const auto& skipped = form->Skipped()[0];
    EXPECT_EQ(skipped.command, kCommand);
    EXPECT_EQ(skipped.database, ClientesPath());

    ASSERT_EQ(host.Messages().size(), 1u);
    const auto& message = host.Messages()[0];
    EXPECT_EQ(message.icon, app::MsgIcon::Critical);
    EXPECT_EQ(message.title, app::Actualiz::Title());
    EXPECT_NE(message.text, "Terminado");
    EXPECT_NE(message.text.find("histoprod"), std::string::npos) << message.text;
    EXPECT_NE(message.text.find("\nfechaini: error " + std::to_string(skipped.number) + ", " +
                                skipped.description),
              std::string::npos)
        << message.text;
    for (const char* made : {"codcli", "codproducto", "nompro"})
        EXPECT_EQ(message.text.find(std::string("\n") + made + ":"), std::string::npos)
            << made << " was made and must not be named: " << message.text;
    EXPECT_FALSE(host.Ended()) << "the program must stay open so the user can act";
    EXPECT_TRUE(ErrorsOf(kCommand).empty()) << "the failure is told once, in the message";
}

TEST_F(TreatmentHistoryMigration, EveryFailedIndexIsNamed) {
    BuildClientes({Clientes()});
    RefuseIndex(ClientesPath(), "codcli");
    RefuseIndex(ClientesPath(), "nompro");

    form->Run(kCommand);

    auto histoprod = TableOf(ClientesPath(), "histoprod");
    ASSERT_TRUE(histoprod);
    EXPECT_EQ(IndexNames(*histoprod), (std::vector<std::string>{"fechaini", "codproducto"}));
    ASSERT_EQ(host.Messages().size(), 1u);
    const std::string& text = host.Messages()[0].text;
    EXPECT_NE(text.find("\ncodcli: error "), std::string::npos) << text;
    EXPECT_NE(text.find("\nnompro: error "), std::string::npos) << text;
    EXPECT_LT(text.find("\ncodcli:"), text.find("\nnompro:")) << "in the order they were tried";
    EXPECT_FALSE(host.Ended());
}

TEST_F(TreatmentHistoryMigration, ASecondRunStopsAtTheExistenceCheck) {
    BuildClientes({Clientes()});
    form->Run(kCommand);
    ASSERT_TRUE(host.Ended());
    json after = Describe(ClientesPath());

    // A new run of the program on the migrated database.
    app::RecordingHost again;
    app::Actualiz second(again, "C:\\prog");
    second.Dir1.SetPath("C:\\datos");
    second.Run(kCommand);

    ASSERT_EQ(again.Messages().size(), 1u);
    EXPECT_EQ(again.Messages()[0].text, "La tabla histoprod ya existe");
    EXPECT_EQ(Describe(ClientesPath()), after);
}

TEST_F(TreatmentHistoryMigration, DataFolderAtADriveRootGetsADoubledSeparatorAndStillWorks) {
    Build("C:\\clientes.mdb", {{"tables", {Clientes()}}});
    form->Dir1.SetPath("c:\\");
    ASSERT_EQ(form->Dir1.Path(), "c:\\");

    form->Run(kCommand);

    EXPECT_EQ(form->Text4.Text(), "c:\\\\clientes.mdb");
    EXPECT_TRUE(ErrorsOf(kCommand).empty());
    EXPECT_TRUE(TableOf("C:\\clientes.mdb", "histoprod"));
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "Terminado");
}

TEST_F(TreatmentHistoryMigration, TheButtonIsHiddenSoOnlyAnotherCommandCouldStartIt) {
    BuildClientes({Clientes()});
    form->Click("Command25");
    EXPECT_FALSE(TableOf(ClientesPath(), "histoprod")) << "a hidden button cannot be clicked";
}

}  // namespace
}  // namespace actualiz::testing
