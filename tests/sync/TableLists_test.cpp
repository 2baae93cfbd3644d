#include <gtest/gtest.h>

#include "SyncFixture.h"

namespace actualiz::testing {
namespace {

class TableLists : public SyncTest {};

TEST_F(TableLists, SystemTablesAreLeftOutOnlyWhenTheyStartWithMSysExactly) {
    Pair(Tables({Table("MSys", {{"a", 4}}), Table("MSysDatos", {{"a", 4}}),
                 Table("msysData", {{"a", 4}}), Table("MSy", {{"a", 4}}),
                 Table("USysTable", {{"a", 4}}), Table("clientes", {{"a", 4}})}),
         Tables({Table("MSysCopia", {{"a", 4}}), Table("proveedores", {{"a", 4}})}));
    form->Command6_Click();
    EXPECT_EQ(form->List2.Items(), V({"clientes", "MSy", "msysData", "USysTable"}))
        << "the model's user tables, in the engine's order, without MSys and MSysDatos";
    EXPECT_EQ(form->List3.Items(), V({"proveedores"}));
}

TEST_F(TableLists, SummaryCountsEveryTableDefinitionOfTheModel) {
    Pair(Tables({Table("clientes", {{"a", 4}}), Table("zonas", {{"a", 4}})}),
         Tables({Table("clientes", {{"a", 4}})}));
    auto model = engine::OpenDatabase(ModelPath("base.mdb"));
    const int all = model->TableDefs().Count();
    model->Close();
    ASSERT_GT(all, 2) << "the engine keeps system tables of its own";

    form->Command6_Click();
    EXPECT_EQ(form->Text2.Text(), std::to_string(all) + " en C:\\prog\\modelos\\base.mdb");
    EXPECT_EQ(form->List2.Items(), V({"clientes", "zonas"}));
}

TEST_F(TableLists, AModelWithOnlySystemTablesGivesAnEmptyListButStillCountsThem) {
    Pair(Tables({}), Tables({Table("clientes", {{"a", 4}})}));
    form->Command6_Click();
    EXPECT_EQ(form->List2.ListCount(), 0);
    EXPECT_EQ(form->List3.Items(), V({"clientes"}));
    const std::string summary = form->Text2.Text();
    ASSERT_NE(summary.find(" en "), std::string::npos) << summary;
    EXPECT_GT(std::stoi(summary.substr(0, summary.find(' '))), 0) << summary;
}

TEST_F(TableLists, RunningTwiceGivesTheSameListsAndEmptiesTheTablesToCreate) {
    Pair(Tables({Table("a", {{"x", 4}}), Table("b", {{"x", 4}})}),
         Tables({Table("a", {{"x", 4}})}));
    form->List4.AddItem("restos");
    form->Command6_Click();
    form->Command6_Click();
    EXPECT_EQ(form->List2.Items(), V({"a", "b"}));
    EXPECT_EQ(form->List3.Items(), V({"a"}));
    EXPECT_EQ(form->List4.ListCount(), 0);
    // Nothing is selected afterwards: a listing that reads the selected table sees no name.
    EXPECT_EQ(form->List2.ListIndex(), -1);
    EXPECT_EQ(form->List3.ListIndex(), -1);
    EXPECT_EQ(form->List2.Text(), "");
}

TEST_F(TableLists, AModelThatCannotBeOpenedChangesNothing) {
    Pair(Tables({Table("a", {{"x", 4}})}), Tables({Table("b", {{"x", 4}})}));
    form->Command6_Click();
    form->List4.AddItem("c");
    form->Text3.SetText(ModelPath("falta.mdb"));
    EXPECT_EQ(FailureOf([&] { form->Command6_Click(); }), engine::err::kFileNotFound);
    EXPECT_EQ(form->List2.Items(), V({"a"}));
    EXPECT_EQ(form->List3.Items(), V({"b"}));
    EXPECT_EQ(form->List4.Items(), V({"c"}));
}

TEST_F(TableLists, AnOldDatabaseThatCannotBeOpenedLeavesOnlyTheModelSide) {
    Pair(Tables({Table("a", {{"x", 4}})}), Tables({Table("b", {{"x", 4}})}));
    form->Command6_Click();
    form->List4.AddItem("c");
    form->Text4.SetText(OldPath("falta.mdb"));
    EXPECT_EQ(FailureOf([&] { form->Command6_Click(); }), engine::err::kFileNotFound);
    EXPECT_EQ(form->List2.Items(), V({"a"}));
    EXPECT_NE(form->Text2.Text().find(" en C:\\prog\\modelos\\base.mdb"), std::string::npos);
    EXPECT_EQ(form->List3.ListCount(), 0);
    EXPECT_EQ(form->List4.ListCount(), 0);
}

TEST_F(TableLists, AFailureReachingTheButtonIsRecordedAndShown) {
    form->Text3.SetText(ModelPath("falta.mdb"));
    form->Errors().clear();
    form->Click("Command6");
    ASSERT_EQ(form->Errors().size(), 1u);
    EXPECT_EQ(form->Errors()[0].command, "Command6_Click");
    EXPECT_EQ(form->Errors()[0].number, engine::err::kFileNotFound);
}

}  // namespace
}  // namespace actualiz::testing
