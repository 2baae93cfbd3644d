#include <algorithm>
#include <string>
#include <vector>

#include "migrations/MigrationFixture.h"

// What the three fixed migrations have in common, checked on each of them from one table: the
// table they add and its indexes, what they do when a table of that name (or of that name in
// capitals) is there already, without their database, and in a data folder at a drive root.
namespace actualiz::testing {
namespace {

using engine::dbBoolean;
using engine::dbDate;
using engine::dbDouble;
using engine::dbLong;
using engine::dbMemo;
using engine::dbText;

struct MigrationCase {
    const char* name;
    const char* command;
    const char* button;
    bool buttonShown;  // a hidden button can only be started by another command
    const char* database;
    json present;  // the table the database holds before the migration
    const char* table;
    std::vector<ExpectedField> fields;
    std::vector<std::string> indexes;
    json sameName;                // a table of the migration's table name, with another field
    const char* existingMessage;  // what the user reads when it is there; "" for nothing
    const char* refusedIndex;     // the index a failure test makes the engine refuse
};

json Named(const char* name, json fields, json rows = json::array()) {
    json table = {{"name", name}, {"fields", std::move(fields)}};
    if (!rows.empty()) table["rows"] = std::move(rows);
    return table;
}

const MigrationCase kCases[] = {
    {"gastosgen",
     "Command27_Click",
     "Command27",
     true,
     "almacen.mdb",
     Named("proveedores",
           {{{"name", "codigoproveedor"}, {"type", dbLong}},
            {{"name", "nombre"}, {"type", dbText}, {"size", 50}}},
           {{1, "Suministros Ribera"}, {2, "Abonos del Sur"}}),
     "gastosgen",
     {
         {"nombreempresa", dbText, 50, true},
         {"refcodbarras", dbText, 100, true},
         {"codigoproveedor", dbLong, 0, false},
         {"proveedor", dbText, 50, true},
         {"codpedido", dbLong, 0, false},
         {"fecha", dbDate, 0, false},
         {"formapago", dbText, 50, true},
         {"mediante", dbText, 50, true},
         {"importe", dbDouble, 0, false},
         {"observaciones", dbMemo, 0, true},
         {"pagado", dbBoolean, 0, false},
         {"formapagoreal", dbText, 50, true},
         {"fechapago", dbDate, 0, false},
         {"nfactu", dbText, 50, true},
         {"vencimiento", dbText, 50, true},
     },
     {"nombreempresa", "codpedido", "codigoproveedor"},
     {{{"name", "importe"}, {"type", dbDouble}}},
     "",
     nullptr},
    {"histoprod",
     "Command25_Click",
     "Command25",
     false,
     "clientes.mdb",
     Named("clientes",
           {{{"name", "codcli"}, {"type", dbDouble}},
            {{"name", "nombre"}, {"type", dbText}, {"size", 80}}},
           {{1.0, "Finca La Vega"}}),
     "histoprod",
     {
         {"codcli", dbDouble, 0, false},
         {"fechaini", dbDate, 0, false},
         {"codproducto", dbLong, 0, false},
         {"tipotra", dbLong, 0, false},
         {"nompro", dbText, 255, true},
         {"registro", dbText, 255, true},
         {"plazoseg", dbText, 50, true},
         {"dosificacion", dbText, 255, true},
         {"toxicidad", dbText, 50, true},
         {"cantidad", dbDouble, 0, false},
         {"precio", dbDouble, 0, false},
         {"materiaactiva", dbText, 50, true},
         {"tipoaplicacion", dbText, 50, true},
         {"zonapli", dbMemo, 0, true},
         {"zonaafec", dbMemo, 0, true},
     },
     {"codcli", "fechaini", "codproducto", "nompro"},
     {{{"name", "codcli"}, {"type", dbLong}}},
     "La tabla histoprod ya existe",
     "fechaini"},
    {"auxcli",
     "Command26_Click",
     "Command26",
     false,
     "clientes.mdb",
     Named("clientes", {{{"name", "CLICOD"}, {"type", dbDouble}},
                        {{"name", "nombre"}, {"type", dbText}, {"size", 80}}}),
     "auxcli",
     {{"CLICOD", dbDouble, 0, false},
      {"productos", dbMemo, 0, true},
      {"tratamientos", dbMemo, 0, true}},
     {"CLICOD"},
     {{{"name", "CLICOD"}, {"type", dbDouble}}},
     "La tabla auxcli ya existe",
     "CLICOD"},
};

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

class FixedMigration : public MigrationTest,
                       public ::testing::WithParamInterface<const MigrationCase*> {
  protected:
    const MigrationCase& M() const { return *GetParam(); }
    std::string Database() const { return DataPath(M().database); }
    void BuildDatabase(std::vector<json> tables) { Build(Database(), {{"tables", tables}}); }
    // Starts the migration the way the user (a shown button) or another command (a hidden one)
    // does.
    void Start() {
        if (M().buttonShown)
            form->Click(M().button);
        else
            form->Run(M().command);
    }
};

std::string CaseName(const ::testing::TestParamInfo<const MigrationCase*>& info) {
    return info.param->name;
}

std::vector<const MigrationCase*> AllCases() {
    std::vector<const MigrationCase*> all;
    for (const MigrationCase& c : kCases) all.push_back(&c);
    return all;
}

std::vector<const MigrationCase*> ClientsCases() {
    std::vector<const MigrationCase*> clients;
    for (const MigrationCase& c : kCases)
        if (c.refusedIndex) clients.push_back(&c);
    return clients;
}

TEST_P(FixedMigration, AFreshDatabaseGetsTheTableWithItsIndexesAndEnds) {
    BuildDatabase({M().present});

    Start();

    EXPECT_TRUE(ErrorsOf(M().command).empty()) << "a clean database must migrate without errors";
    EXPECT_TRUE(form->Skipped().empty()) << "no index step may have failed";
    auto table = TableOf(Database(), M().table);
    ASSERT_TRUE(table) << M().table << " was not created";
    ExpectFields(*table, M().fields);
    ExpectSingleFieldIndexes(*table, M().indexes);
    // Its fields are fields of the new table, not tables of their own.
    std::vector<std::string> tables = {M().present["name"].get<std::string>(), M().table};
    std::sort(tables.begin(), tables.end());
    EXPECT_EQ(TableNames(Database()), tables);

    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "Terminado");
    EXPECT_EQ(host.Messages()[0].icon, app::MsgIcon::Information);
    EXPECT_EQ(host.Messages()[0].title, app::Actualiz::Title());
    EXPECT_TRUE(host.Ended()) << "the program must end once \"Terminado\" is dismissed";
    EXPECT_TRUE(form->Ended());
    EXPECT_EQ(form->LastMigration(), app::Actualiz::MigrationOutcome::Done);
    EXPECT_EQ(form->Text4.Text(), DataPath(M().database));
}

TEST_P(FixedMigration, ATableOfItsNameIsLeftAloneAndTheProgramGoesOn) {
    BuildDatabase({M().present, Named(M().table, M().sameName)});
    json before = Describe(Database());

    Start();

    if (*M().existingMessage) {
        ASSERT_EQ(host.Messages().size(), 1u);
        EXPECT_EQ(host.Messages()[0].text, M().existingMessage);
        EXPECT_EQ(host.Messages()[0].icon, app::MsgIcon::Critical);
        EXPECT_EQ(host.Messages()[0].title, app::Actualiz::Title());
    } else {
        EXPECT_TRUE(host.Messages().empty()) << "an existing table is no reason for a message";
    }
    EXPECT_EQ(Describe(Database()), before) << "the existing table must not be touched";
    EXPECT_FALSE(form->Ended()) << "the program keeps running";
    EXPECT_TRUE(ErrorsOf(M().command).empty());
    EXPECT_EQ(form->LastMigration(), app::Actualiz::MigrationOutcome::TableThere);
    EXPECT_EQ(form->Text4.Text(), DataPath(M().database));
}

TEST_P(FixedMigration, ItsNameInCapitalsIsRefusedByTheEngineAndReported) {
    const std::string capitals = Upper(M().table);
    BuildDatabase({M().present, Named(capitals.c_str(), M().sameName)});
    json before = Describe(Database());

    Start();

    auto errors = ErrorsOf(M().command);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, engine::err::kTableExists);
    EXPECT_EQ(Describe(Database()), before) << "a refused table leaves the file unchanged";
    EXPECT_TRUE(host.Messages().empty()) << "neither \"ya existe\" nor \"Terminado\"";
    EXPECT_FALSE(form->Ended());
    EXPECT_EQ(form->LastMigration(), app::Actualiz::MigrationOutcome::NotFinished);
}

TEST_P(FixedMigration, WithoutItsDatabaseItIsReportedAndNoFileIsCreated) {
    Start();

    auto errors = ErrorsOf(M().command);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, engine::err::kFileNotFound);
    EXPECT_FALSE(FileExists(std::string("datos/") + M().database));
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_FALSE(form->Ended());
    EXPECT_EQ(form->Text4.Text(), DataPath(M().database)) << "Text4 keeps the path it tried";
}

TEST_P(FixedMigration, ADataFolderAtADriveRootGetsADoubledSeparatorAndStillWorks) {
    const std::string atRoot = std::string("C:\\") + M().database;
    Build(atRoot, {{"tables", {M().present}}});
    form->Dir1.SetPath("c:\\");
    ASSERT_EQ(form->Dir1.Path(), "c:\\");

    Start();

    EXPECT_EQ(form->Text4.Text(), std::string("c:\\\\") + M().database);
    EXPECT_TRUE(ErrorsOf(M().command).empty());
    EXPECT_TRUE(TableOf(atRoot, M().table));
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "Terminado");
}

TEST_P(FixedMigration, OnlyAShownButtonCanBeClicked) {
    BuildDatabase({M().present});
    EXPECT_EQ(form->IsShown(*form->FindControl(M().button)), M().buttonShown);

    form->Click(M().button);

    EXPECT_EQ(TableOf(Database(), M().table).has_value(), M().buttonShown)
        << "a hidden button cannot be clicked";
    EXPECT_EQ(form->Ended(), M().buttonShown);
}

INSTANTIATE_TEST_SUITE_P(Each, FixedMigration, ::testing::ValuesIn(AllCases()), CaseName);

// ---- The clients-database migrations pass a failed index over and say so ----

using ClientsMigration = FixedMigration;

// One index that cannot be made: the others are still made, and instead of "Terminado" the user
// reads which index is missing and why; the program stays open.
TEST_P(ClientsMigration, AFailedIndexIsNamedInsteadOfTerminadoAndTheOthersAreMade) {
    BuildDatabase({M().present});
    RefuseIndex(Database(), M().refusedIndex);

    Start();

    auto table = TableOf(Database(), M().table);
    ASSERT_TRUE(table) << "the table of the first phase stays";
    ExpectFields(*table, M().fields);
    std::vector<std::string> made;
    for (const std::string& index : M().indexes)
        if (index != M().refusedIndex) made.push_back(index);
    ExpectSingleFieldIndexes(*table, made);

    ASSERT_EQ(form->Skipped().size(), 1u) << "only the Append of the refused index fails";
    const auto& skipped = form->Skipped()[0];
    EXPECT_EQ(skipped.command, M().command);
    EXPECT_EQ(skipped.database, Database());

    ASSERT_EQ(host.Messages().size(), 1u);
    const auto& message = host.Messages()[0];
    EXPECT_EQ(message.icon, app::MsgIcon::Critical);
    EXPECT_EQ(message.title, app::Actualiz::Title());
    EXPECT_NE(message.text, "Terminado");
    EXPECT_NE(message.text.find(M().table), std::string::npos) << message.text;
    EXPECT_NE(message.text.find(std::string("\n") + M().refusedIndex + ": error " +
                                std::to_string(skipped.number) + ", " + skipped.description),
              std::string::npos)
        << message.text;
    for (const std::string& index : made)
        EXPECT_EQ(message.text.find("\n" + index + ":"), std::string::npos)
            << index << " was made and must not be named: " << message.text;
    EXPECT_FALSE(host.Ended()) << "the program must stay open so the user can act";
    EXPECT_FALSE(form->Ended());
    EXPECT_TRUE(ErrorsOf(M().command).empty()) << "the failure is told once, in the message";
    EXPECT_EQ(form->LastMigration(), app::Actualiz::MigrationOutcome::IndexesMissing);
}

// A new run of the program on the migrated database stops at the existence check.
TEST_P(ClientsMigration, ASecondRunStopsAtTheExistenceCheck) {
    BuildDatabase({M().present});
    Start();
    ASSERT_TRUE(host.Ended());
    json after = Describe(Database());

    app::RecordingHost again;
    app::Actualiz second(again, "C:\\prog");
    second.Dir1.SetPath("C:\\datos");
    second.Run(M().command);

    ASSERT_EQ(again.Messages().size(), 1u);
    EXPECT_EQ(again.Messages()[0].text, M().existingMessage);
    EXPECT_EQ(Describe(Database()), after);
}

INSTANTIATE_TEST_SUITE_P(Each, ClientsMigration, ::testing::ValuesIn(ClientsCases()), CaseName);

// Several failed indexes are all named, in the order they were tried.
TEST_F(MigrationTest, EveryFailedIndexOfHistoprodIsNamed) {
    Build(DataPath("clientes.mdb"), {{"tables", {kCases[1].present}}});
    RefuseIndex(DataPath("clientes.mdb"), "codcli");
    RefuseIndex(DataPath("clientes.mdb"), "nompro");

    form->Run("Command25_Click");

    auto histoprod = TableOf(DataPath("clientes.mdb"), "histoprod");
    ASSERT_TRUE(histoprod);
    EXPECT_EQ(IndexNames(*histoprod), (std::vector<std::string>{"fechaini", "codproducto"}));
    ASSERT_EQ(host.Messages().size(), 1u);
    const std::string& text = host.Messages()[0].text;
    EXPECT_NE(text.find("\ncodcli: error "), std::string::npos) << text;
    EXPECT_NE(text.find("\nnompro: error "), std::string::npos) << text;
    EXPECT_LT(text.find("\ncodcli:"), text.find("\nnompro:")) << "in the order they were tried";
    EXPECT_FALSE(host.Ended());
}

}  // namespace
}  // namespace actualiz::testing
