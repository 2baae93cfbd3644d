#include <string>
#include <vector>

#include "migrations/MigrationFixture.h"

namespace actualiz::testing {
namespace {

using engine::dbDouble;
using engine::dbMemo;
using engine::dbText;

const char* kCommand = "Command26_Click";

json Clientes() {
    return {{"name", "clientes"},
            {"fields",
             {{{"name", "CLICOD"}, {"type", dbDouble}},
              {{"name", "nombre"}, {"type", dbText}, {"size", 80}}}}};
}

class ClientAuxiliaryMigration : public MigrationTest {
  protected:
    std::string ClientesPath() const { return DataPath("clientes.mdb"); }
    void BuildClientes(std::vector<json> tables) { Build(ClientesPath(), {{"tables", tables}}); }
};

TEST_F(ClientAuxiliaryMigration, FreshClientesGetsAuxcliWithItsIndexAndEnds) {
    BuildClientes({Clientes()});

    form->Run(kCommand);

    EXPECT_TRUE(ErrorsOf(kCommand).empty());
    EXPECT_TRUE(form->Skipped().empty());
    auto auxcli = TableOf(ClientesPath(), "auxcli");
    ASSERT_TRUE(auxcli) << "auxcli was not created";
    ExpectFields(*auxcli, {{"CLICOD", dbDouble, 0, false},
                           {"productos", dbMemo, 0, true},
                           {"tratamientos", dbMemo, 0, true}});
    ExpectSingleFieldIndexes(*auxcli, {"CLICOD"});
    // productos and tratamientos are fields of auxcli, not tables of their own.
    EXPECT_EQ(TableNames(ClientesPath()), (std::vector<std::string>{"auxcli", "clientes"}));

    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "Terminado");
    EXPECT_EQ(host.Messages()[0].icon, app::MsgIcon::Information);
    EXPECT_EQ(host.Messages()[0].title, app::Actualiz::Title());
    EXPECT_TRUE(host.Ended());
    EXPECT_EQ(form->Text4.Text(), "C:\\datos\\clientes.mdb");
}

TEST_F(ClientAuxiliaryMigration, ExistingAuxcliIsReportedAndLeftAlone) {
    BuildClientes(
        {Clientes(), {{"name", "auxcli"}, {"fields", {{{"name", "CLICOD"}, {"type", dbDouble}}}}}});
    json before = Describe(ClientesPath());

    form->Run(kCommand);

    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "La tabla auxcli ya existe");
    EXPECT_EQ(host.Messages()[0].icon, app::MsgIcon::Critical);
    EXPECT_EQ(host.Messages()[0].title, app::Actualiz::Title());
    EXPECT_EQ(Describe(ClientesPath()), before);
    EXPECT_FALSE(form->Ended());
}

TEST_F(ClientAuxiliaryMigration, CapitalisedAUXCLIIsRefusedByTheEngineAndReported) {
    BuildClientes(
        {Clientes(), {{"name", "AUXCLI"}, {"fields", {{{"name", "CLICOD"}, {"type", dbDouble}}}}}});
    json before = Describe(ClientesPath());

    form->Run(kCommand);

    auto errors = ErrorsOf(kCommand);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, engine::err::kTableExists);
    EXPECT_EQ(Describe(ClientesPath()), before);
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_FALSE(form->Ended());
}

TEST_F(ClientAuxiliaryMigration, NoClientesIsReportedAndNoFileIsCreated) {
    form->Run(kCommand);

    auto errors = ErrorsOf(kCommand);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, engine::err::kFileNotFound);
    EXPECT_FALSE(FileExists("datos/clientes.mdb"));
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_FALSE(form->Ended());
}

TEST_F(ClientAuxiliaryMigration, FailedIndexIsReportedInsteadOfTerminado) {
    BuildClientes({Clientes()});
    RefuseIndex(ClientesPath(), "CLICOD");

    form->Run(kCommand);

    auto auxcli = TableOf(ClientesPath(), "auxcli");
    ASSERT_TRUE(auxcli) << "the table of the first phase stays";
    EXPECT_TRUE(IndexNames(*auxcli).empty());

    ASSERT_EQ(form->Skipped().size(), 1u);
    const auto& skipped = form->Skipped()[0];
    ASSERT_EQ(host.Messages().size(), 1u);
    const auto& message = host.Messages()[0];
    EXPECT_EQ(message.icon, app::MsgIcon::Critical);
    EXPECT_EQ(message.title, app::Actualiz::Title());
    EXPECT_NE(message.text.find("auxcli"), std::string::npos) << message.text;
    EXPECT_NE(message.text.find("\nCLICOD: error " + std::to_string(skipped.number) + ", " +
                                skipped.description),
              std::string::npos)
        << message.text;
    EXPECT_FALSE(host.Ended());
    EXPECT_FALSE(form->Ended());
}

}  // namespace
}  // namespace actualiz::testing
