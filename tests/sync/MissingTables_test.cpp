#include <gtest/gtest.h>

#include "SyncFixture.h"

namespace actualiz::testing {
namespace {

using engine::dbDate;
using engine::dbLong;
using engine::dbMemo;
using engine::dbText;

json Simple(const std::string& name) {
    return Table(name, {{"id", dbLong}});
}

class MissingTables : public SyncTest {
  protected:
    // Lists both databases' tables the way the driver does before creating the missing ones.
    void ListAndCreate() {
        form->Command6_Click();
        form->Command8_Click();
    }
};

TEST_F(MissingTables, TheMissingModelTableIsCreatedWithTheModelsFields) {
    json c = Table(
        "C", {{"codigo", dbLong}, {"nombre", dbText, 40}, {"notas", dbMemo}, {"alta", dbDate}});
    Pair(Tables({Simple("A"), Simple("B"), c}), Tables({Simple("A"), Simple("B")}));
    ListAndCreate();

    EXPECT_EQ(form->List4.Items(), V({"C"}));
    EXPECT_EQ(TableNames(OldPath("base.mdb")), V({"A", "B", "C"}));
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "C"), V({"codigo", "nombre", "notas", "alta"}));
    auto nombre = StoredField(OldPath("base.mdb"), "C", "nombre");
    EXPECT_EQ(nombre->Type(), dbText);
    EXPECT_EQ(nombre->Size(), 40);
    EXPECT_TRUE(nombre->AllowZeroLength());
    EXPECT_TRUE(StoredField(OldPath("base.mdb"), "C", "notas")->AllowZeroLength());
    EXPECT_EQ(StoredField(OldPath("base.mdb"), "C", "notas")->Type(), dbMemo);
    EXPECT_FALSE(StoredField(OldPath("base.mdb"), "C", "codigo")->AllowZeroLength());
    EXPECT_EQ(StoredField(OldPath("base.mdb"), "C", "alta")->Type(), dbDate);
    EXPECT_EQ(form->Text5.Text(), ModelPath("base.mdb"));
}

// What the field lists do not hold comes from the model's definition: the new table is the
// model's table whole, and its counter numbers new rows.
TEST_F(MissingTables, TheCreatedTableIsTheModelsTableWhole) {
    json c = json::parse(R"j({"name": "C", "validationRule": "[minimo] <= [maximo]",
        "fields": [
          {"name": "codigo", "type": 4, "required": true, "attributes": 17},
          {"name": "tipo", "type": 10, "size": 1, "defaultValue": "\"E\"",
           "validationRule": "In (\"E\", \"S\")", "validationText": "E o S"},
          {"name": "minimo", "type": 4}, {"name": "maximo", "type": 4}],
        "indexes": [{"name": "PrimaryKey", "fields": ["codigo"], "unique": true, "primary": true},
                    {"name": "tipo", "fields": ["tipo"]}]
})j");
    Pair(Tables({Simple("A"), c}), Tables({Simple("A")}));
    ListAndCreate();

    json created = Describe(OldPath("base.mdb"))["tables"][1];
    json expected = c;
    expected["fields"][1]["allowZeroLength"] = true;  // text fields the upgrade creates allow ""
    expected["indexes"].erase(1);                     // the index chain brings the others
    for (const char* key : {"validationRule"}) EXPECT_EQ(created[key], expected[key]);
    for (std::size_t i = 0; i < 4; ++i)
        for (const auto& [key, value] : expected["fields"][i].items())
            EXPECT_EQ(created["fields"][i][key], value) << i << " " << key;
    EXPECT_EQ(created["indexes"][0]["primary"], true);
    InsertRows(OldPath("base.mdb"), "C", json::parse(R"([[null, "S", 1, 2], [null, "E", 1, 1]])"));
    EXPECT_EQ(RowValues(OldPath("base.mdb"), "C"),
              json::parse(R"([[1, "S", 1, 2], [2, "E", 1, 1]])"));
    EXPECT_TRUE(form->Skipped().empty());
}

TEST_F(MissingTables, AnExtraOldTableDoesNotHideAMissingOne) {
    Pair(Tables({Simple("A"), Simple("B"), Simple("C")}),
         Tables({Simple("A"), Simple("B"), Simple("X")}));
    ListAndCreate();
    EXPECT_EQ(form->List4.Items(), V({"C"}));
    EXPECT_EQ(TableNames(OldPath("base.mdb")), V({"A", "B", "C", "X"}));
}

TEST_F(MissingTables, AnOldDatabaseWithMoreTablesStillGetsTheModelsMissingOnes) {
    Pair(Tables({Simple("A"), Simple("B")}), Tables({Simple("A"), Simple("X"), Simple("Y")}));
    ListAndCreate();
    EXPECT_EQ(form->List4.Items(), V({"B"}));
    EXPECT_EQ(TableNames(OldPath("base.mdb")), V({"A", "B", "X", "Y"}));
}

TEST_F(MissingTables, NothingIsCreatedWhenTheOldDatabaseHasEveryModelTable) {
    Pair(Tables({Simple("A"), Simple("B")}), Tables({Simple("A"), Simple("B"), Simple("X")}));
    const json before = Describe(OldPath("base.mdb"));
    ListAndCreate();
    EXPECT_EQ(form->List4.ListCount(), 0);
    EXPECT_EQ(Describe(OldPath("base.mdb")), before);
}

TEST_F(MissingTables, SeveralMissingTablesAreCreatedInModelOrder) {
    Pair(Tables({Simple("A"), Simple("B"), Simple("C"), Simple("D")}),
         Tables({Simple("A"), Simple("X"), Simple("Y")}));
    ListAndCreate();
    EXPECT_EQ(form->List4.Items(), V({"B", "C", "D"}));
    EXPECT_EQ(TableNames(OldPath("base.mdb")), V({"A", "B", "C", "D", "X", "Y"}));
    // What the lists are left holding: last entries selected, the last table's fields listed.
    EXPECT_EQ(form->List2.ListIndex(), 3);
    EXPECT_EQ(form->List3.ListIndex(), 2);
    EXPECT_EQ(form->List4.ListIndex(), 2);
    EXPECT_EQ(form->List1(0).Items(), V({"id"}));
    EXPECT_EQ(form->List3.Items(), V({"A", "X", "Y"})) << "List3 is listed again by the caller";
}

TEST_F(MissingTables, ATableTheOldDatabaseHasUnderAnotherCaseIsPassedOverAndTheRestCreated) {
    Pair(Tables({Simple("Alfa"), Table("Clientes", {{"codigo", dbLong}, {"email", dbText, 60}}),
                 Simple("Zonas")}),
         Tables({Simple("Alfa"), Table("clientes", {{"codigo", dbLong}})}));
    ListAndCreate();
    EXPECT_EQ(form->List4.Items(), V({"Clientes", "Zonas"}));
    EXPECT_EQ(TableNames(OldPath("base.mdb")), V({"Alfa", "clientes", "Zonas"}))
        << "the table after the refused one was not created";
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "clientes"), V({"codigo"}))
        << "the old table is left to the field walk";
    ASSERT_EQ(form->Skipped().size(), 1u);
    EXPECT_EQ(form->Skipped()[0].command, "Command8_Click");
    EXPECT_EQ(form->Skipped()[0].number, engine::err::kTableExists);
    EXPECT_EQ(form->Skipped()[0].database, OldPath("base.mdb"));
}

TEST_F(MissingTables, RunningTwiceWithoutListingAgainPassesOverTheRepeatedTables) {
    Pair(Tables({Simple("A"), Simple("B"), Simple("C")}), Tables({Simple("A")}));
    ListAndCreate();
    EXPECT_TRUE(form->Skipped().empty());
    form->Command8_Click();
    EXPECT_EQ(form->List4.Items(), V({"B", "C", "B", "C"}));
    // List4 still holds the first run's names, so every entry now stands for a table that is
    // there: each is refused once and passed over.
    EXPECT_EQ(SkippedSummary(), V({"Command8_Click 3010", "Command8_Click 3010",
                                   "Command8_Click 3010", "Command8_Click 3010"}));
    EXPECT_EQ(TableNames(OldPath("base.mdb")), V({"A", "B", "C"}));
}

TEST_F(MissingTables, AnOldDatabaseThatCannotBeOpenedEndsTheCommandWithTheNamesListed) {
    Pair(Tables({Simple("A"), Simple("B")}), Tables({Simple("A")}));
    form->Command6_Click();
    form->Text4.SetText(OldPath("falta.mdb"));
    EXPECT_EQ(FailureOf([&] { form->Command8_Click(); }), engine::err::kFileNotFound);
    EXPECT_EQ(form->List4.Items(), V({"B"}));
}

TEST_F(MissingTables, AModelTableThatCannotBeListedEndsTheCommandKeepingEarlierTables) {
    Pair(Tables({Simple("A"), Simple("B"), Simple("C")}), Tables({Simple("X")}));
    form->Command6_Click();
    // The model loses table B after it was listed: its listing fails when its turn comes.
    {
        auto model = engine::OpenDatabase(ModelPath("base.mdb"));
        model->TableDefs().Delete("B");
        model->Close();
    }
    EXPECT_NE(FailureOf([&] { form->Command8_Click(); }), 0);
    EXPECT_EQ(TableNames(OldPath("base.mdb")), V({"A", "X"}));
    EXPECT_TRUE(form->Skipped().empty());
}

TEST_F(MissingTables, CrearTablaDoesNothing) {
    Pair(Tables({Simple("A"), Simple("B")}), Tables({Simple("A")}));
    form->Command6_Click();
    const json before = Describe(OldPath("base.mdb"));
    form->Click("Command9");
    EXPECT_EQ(Describe(OldPath("base.mdb")), before);
    EXPECT_EQ(form->List4.ListCount(), 0);
}

}  // namespace
}  // namespace actualiz::testing
