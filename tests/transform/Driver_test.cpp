#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "DriverFixture.h"

namespace actualiz::testing {
namespace {

using engine::dbDouble;
using engine::dbLong;
using engine::dbMemo;
using engine::dbText;

json Clientes(bool model) {
    if (model)
        return Tables({Table("clientes",
                             {{"codigo", dbLong}, {"nombre", dbText, 50}, {"email", dbText, 80}})});
    return Tables({Table("clientes", {{"codigo", dbLong}, {"nombre", dbText, 50}})});
}

constexpr int kErrOutOfMemory = 7;

class Driver : public DriverTest {};

TEST_F(Driver, PairsOldAndModelDatabasesByExactNameAndUpgradesThePair) {
    Model("clientes.mdb", Clientes(true));
    Old("clientes.mdb", Clientes(false));
    ActivateAndTransform();

    EXPECT_EQ(form->Text3.Text(), "C:\\prog\\modelos\\clientes.mdb");
    EXPECT_EQ(form->Text4.Text(), DataPath("clientes.mdb"));
    EXPECT_EQ(FieldNames(DataPath("clientes.mdb"), "clientes"), V({"codigo", "nombre", "email"}));
    EXPECT_EQ(form->Label4.Caption(), "Proceso Terminado");
    EXPECT_EQ(form->MousePointer(), 0);
    EXPECT_EQ(host.PointerChanges(), (std::vector<int>{11, 0}));
    EXPECT_EQ(form->Bar1.Max(), 1.0f);
    EXPECT_EQ(form->Bar1.Value(), 1.0f);
    EXPECT_TRUE(SyncSkips().empty()) << SyncSkips().front();
}

TEST_F(Driver, AnOldDatabaseWithoutAModelOnlyMovesTheBar) {
    Old("solo.mdb", Clientes(false));
    Model("otra.mdb", Clientes(true));
    prefix.writeFile(std::string(kDataFolder) + "/otra.mdb.txt", "no es una base");
    const std::string before = FileBytes(std::string(kDataFolder) + "/solo.mdb");
    ActivateAndTransform();

    EXPECT_TRUE(FileBytes(std::string(kDataFolder) + "/solo.mdb") == before)
        << "the database without a model was changed";
    EXPECT_EQ(form->Bar1.Max(), 1.0f);
    EXPECT_EQ(form->Bar1.Value(), 1.0f);
    EXPECT_EQ(form->Text3.Text(), "c:\\Quenda\\modelos\\zuri.mdb") << "no pair was pointed at";
    EXPECT_EQ(form->Text4.Text(), "c:\\Quenda\\viejas\\zuri.mdb");
    EXPECT_EQ(form->List2.ListCount(), 0) << "no table command ran";
    EXPECT_EQ(form->Frame13.Refreshes(), 1) << "one repaint for the one old database, no walk";
    // The model without an old database is copied in.
    EXPECT_EQ(FieldNames(DataPath("otra.mdb"), "clientes"), V({"codigo", "nombre", "email"}));
}

TEST_F(Driver, NamesDifferingOnlyInCaseDoNotPairAndTheOldDatabaseSurvives) {
    Model("clientes.mdb", Clientes(true));
    Old("CLIENTES.MDB", Clientes(false));
    InsertRows(DataPath("CLIENTES.MDB"), "clientes", json::parse(R"([[7,"Eva"]])"));
    const std::string before = FileBytes(std::string(kDataFolder) + "/CLIENTES.MDB");
    ActivateAndTransform();

    EXPECT_EQ(form->List8.Items(), V({"clientes.mdb"})) << "the exact comparison sees a new model";
    EXPECT_TRUE(FileBytes(std::string(kDataFolder) + "/CLIENTES.MDB") == before)
        << "the old database was replaced by the model";
    EXPECT_FALSE(
        std::filesystem::exists(prefix.driveCPath(std::string(kDataFolder) + "/clientes.mdb")))
        << "a second database of the same name appeared beside the old one";
    EXPECT_EQ(RowValues(DataPath("CLIENTES.MDB"), "clientes"), json::parse(R"([[7,"Eva"]])"));
    ASSERT_EQ(SyncSkips().size(), 1u);
    const auto& skipped = form->Skipped().back();
    EXPECT_EQ(skipped.command, "Command13_Click");
    EXPECT_EQ(skipped.number, 58) << skipped.description;
    EXPECT_EQ(skipped.database, DataPath("clientes.mdb"))
        << "the record names the file the copy refused, not the last pair's old database";
    EXPECT_EQ(form->Label4.Caption(), "Proceso Terminado");
}

TEST_F(Driver, WithNoOldDatabasesEveryModelIsCopiedAndTheBarIsLeftAlone) {
    Model("a.mdb", Clientes(true));
    Model("b.mdb", Tables({Table("t", {{"x", dbDouble}})}));
    ActivateAndTransform();

    EXPECT_EQ(TableNames(DataPath("a.mdb")), V({"clientes"}));
    EXPECT_EQ(TableNames(DataPath("b.mdb")), V({"t"}));
    EXPECT_EQ(form->Bar1.Max(), 100.0f);
    EXPECT_EQ(form->Bar1.Value(), 0.0f);
    EXPECT_EQ(form->List8.ListIndex(), 1);
    EXPECT_EQ(form->Label4.Caption(), "Proceso Terminado");
    EXPECT_EQ(host.PointerChanges(), (std::vector<int>{11, 0}));
    EXPECT_TRUE(SyncSkips().empty()) << SyncSkips().front();
}

TEST_F(Driver, AFolderNamedLikeADatabaseInTheModelsFolderFailsToCopyAndTheRestGoOn) {
    Model("a.mdb", Clientes(true));
    prefix.makeDir("prog/modelos/m.mdb");
    Model("z.mdb", Clientes(true));
    ActivateAndTransform();

    EXPECT_EQ(form->List8.Items(), V({"a.mdb", "m.mdb", "z.mdb"}));
    EXPECT_TRUE(platform::FileExists(DataPath("a.mdb")));
    EXPECT_TRUE(platform::FileExists(DataPath("z.mdb")));
    EXPECT_FALSE(std::filesystem::exists(prefix.driveCPath(std::string(kDataFolder) + "/m.mdb")));
    // No half-written copy is left behind either.
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(prefix.driveCPath(kDataFolder))) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2);
    ASSERT_EQ(SyncSkips().size(), 1u);
    EXPECT_EQ(form->Skipped().back().command, "Command13_Click");
    EXPECT_EQ(form->Label4.Caption(), "Proceso Terminado");
}

TEST_F(Driver, ADataFolderAtADriveRootGetsADoubledBackslashThatStillWorks) {
    // No default data folder: activation falls back to drive C's root.
    std::filesystem::remove_all(prefix.driveCPath("archivos de programa"));
    Model("clientes.mdb", Clientes(true));
    Build("C:\\clientes.mdb", Clientes(false));
    ActivateAndTransform();

    EXPECT_EQ(form->Dir1.Path(), "c:\\");
    EXPECT_EQ(form->Text4.Text(), "c:\\\\clientes.mdb");
    EXPECT_EQ(FieldNames("C:\\clientes.mdb", "clientes"), V({"codigo", "nombre", "email"}));
    EXPECT_TRUE(SyncSkips().empty()) << SyncSkips().front();
}

TEST_F(Driver, TheStatusLineAndTheBarFollowTheDatabasesAsTheFrameIsRepainted) {
    Model("a.mdb", Clientes(true));
    Model("b.mdb", Clientes(true));
    Old("a.mdb", Clientes(false));
    Old("b.mdb", Clientes(false));
    Old("c.mdb", Clientes(false));
    struct Seen {
        std::string status;
        float bar;
    };
    std::vector<Seen> seen;
    form->Frame13.SetRefreshHandler([&](const app::Frame&) {
        seen.push_back({form->Label4.Caption(), form->Bar1.Value()});
    });
    ActivateAndTransform();

    ASSERT_FALSE(seen.empty());
    // The first pass shows List7's selection, which is none yet; later passes show the model
    // the previous pass left selected (List7's last entry).
    EXPECT_EQ(seen.front().status, "");
    EXPECT_EQ(seen.front().bar, 1.0f);
    std::vector<std::string> statuses;
    for (const Seen& s : seen)
        if (statuses.empty() || statuses.back() != s.status) statuses.push_back(s.status);
    EXPECT_EQ(statuses, V({"", "a.mdb", "b.mdb"}));
    EXPECT_EQ(seen.back().bar, 3.0f);
    EXPECT_EQ(form->Bar1.Max(), 3.0f);
    EXPECT_EQ(form->List6.ListIndex(), 2);
    EXPECT_EQ(form->List7.ListIndex(), 1);
    EXPECT_EQ(form->Label4.Caption(), "Proceso Terminado");
}

TEST_F(Driver, ASecondRunOverAnUpgradedFolderChangesNothingMore) {
    Model("clientes.mdb",
          Tables({Table("clientes",
                        {{"codigo", dbLong}, {"nombre", dbText, 50}, {"email", dbText, 80}}),
                  Table("zonas", {{"id", dbLong}, {"nombre", dbText, 30}})}));
    Old("clientes.mdb", Tables({Table("clientes", {{"codigo", dbLong}, {"fax", dbText, 20}}),
                                Table("antiguos", {{"id", dbLong}})}));
    InsertRows(DataPath("clientes.mdb"), "clientes", json::parse(R"([[1,"91"],[2,null]])"));
    Model("nuevo.mdb", Tables({Table("t", {{"x", dbLong}})}));
    ActivateAndTransform();

    const json upgraded = Describe(DataPath("clientes.mdb"));
    const json rows = RowValues(DataPath("clientes.mdb"), "clientes");
    EXPECT_EQ(TableNames(DataPath("clientes.mdb")), V({"antiguos", "clientes", "zonas"}));

    form->Skipped().clear();
    form->Command13_Click();
    EXPECT_EQ(Describe(DataPath("clientes.mdb")), upgraded);
    EXPECT_EQ(RowValues(DataPath("clientes.mdb"), "clientes"), rows);
    // The only thing the second run passes over is the copy of the model it copied the first
    // time, which it does not replace.
    ASSERT_EQ(SyncSkips().size(), 1u) << SyncSkips().front();
    EXPECT_EQ(form->Skipped().back().number, 58);
    EXPECT_EQ(form->Label4.Caption(), "Proceso Terminado");
}

TEST_F(Driver, AFailingDatabaseDoesNotStopTheBatch) {
    Model("a.mdb", Clientes(true));
    Model("b.mdb", Clientes(true));
    // "a.mdb" in the data folder is no database at all.
    prefix.writeFile(std::string(kDataFolder) + "/a.mdb", "esto no es una base");
    Old("b.mdb", Clientes(false));
    ActivateAndTransform();

    EXPECT_EQ(FileBytes(std::string(kDataFolder) + "/a.mdb"), "esto no es una base");
    EXPECT_EQ(FieldNames(DataPath("b.mdb"), "clientes"), V({"codigo", "nombre", "email"}));
    EXPECT_EQ(form->Label4.Caption(), "Proceso Terminado");
    EXPECT_EQ(form->MousePointer(), 0);
    ASSERT_FALSE(SyncSkips().empty());
    // Labelled with the command the failure escaped from, not the driver's own name.
    EXPECT_EQ(form->Skipped().front().command, "Command6_Click");
    EXPECT_EQ(form->Skipped().front().database, DataPath("a.mdb"));
    EXPECT_TRUE(host.Messages().empty()) << "the driver reports nothing";
}

TEST_F(Driver, EachCallOfAFailingPairIsPassedOverOnItsOwn) {
    // The old database cannot be opened, so every table listing fails after listing the model's
    // tables; the calls after each failure still run for the same pair.
    Model("a.mdb", Clientes(true));
    prefix.writeFile(std::string(kDataFolder) + "/a.mdb", "esto no es una base");
    ActivateAndTransform();

    EXPECT_EQ(form->Text5.Text(), ModelPath("a.mdb"))
        << "the missing-table step did not run after the failed listing";
    EXPECT_EQ(form->List2.Items(), V({"clientes"}));
    EXPECT_EQ(form->List4.ListCount(), 0)
        << "the second listing did not run after the failed missing-table step";
    EXPECT_EQ(form->Bar2.Max(), 1.0f) << "the field walk did not run";
    EXPECT_EQ(form->Bar2.Value(), 1.0f);
    EXPECT_EQ(FileBytes(std::string(kDataFolder) + "/a.mdb"), "esto no es una base");
    EXPECT_EQ(form->Label4.Caption(), "Proceso Terminado");
    EXPECT_EQ(form->MousePointer(), 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(Driver, AFailingRepaintOfTheProgressPanelDoesNotStopTheBatch) {
    Model("a.mdb", Clientes(true));
    Model("b.mdb", Clientes(true));
    Old("a.mdb", Clientes(false));
    Old("b.mdb", Clientes(false));
    int repaints = 0;
    form->Frame13.SetRefreshHandler([&](const app::Frame&) {
        if (++repaints == 1) throw Error(kErrOutOfMemory, "Memoria insuficiente");
    });
    ActivateAndTransform();

    EXPECT_EQ(FieldNames(DataPath("a.mdb"), "clientes"), V({"codigo", "nombre", "email"}));
    EXPECT_EQ(FieldNames(DataPath("b.mdb"), "clientes"), V({"codigo", "nombre", "email"}));
    EXPECT_EQ(form->Bar1.Value(), 2.0f);
    EXPECT_EQ(form->Label4.Caption(), "Proceso Terminado");
    EXPECT_EQ(form->MousePointer(), 0);
    ASSERT_EQ(SyncSkips().size(), 1u);
    EXPECT_EQ(form->Skipped().front().number, kErrOutOfMemory);
}

}  // namespace
}  // namespace actualiz::testing
