#include "CatalogFixture.h"
#include "catalogs/RelationCatalog.h"

namespace actualiz::testing {
namespace {

using catalogs::kRelationCatalogPath;
using catalogs::kRelationTable;

class Relations : public CatalogTest {
  protected:
    Rows RelationRows() const { return TableRows(kRelationCatalogPath, kRelationTable); }

    // Names of every relation of a database, system names included, in collection order.
    static std::vector<std::string> RelationNames(const std::string& path) {
        auto db = engine::OpenDatabase(path);
        std::vector<std::string> names;
        for (const auto& r : db->Relations()) names.push_back(r->Name());
        db->Close();
        return names;
    }

    // Two tables a relation can join: C (primary side) and P (foreign side).
    static Json TwoTables() {
        return Json::array({Table("C", {"a", "b"}), Table("P", {"ca", "cb"})});
    }
};

TEST_F(Relations, AModelWithoutRelationsLeavesTheOldDatabaseWithout) {
    Build(kModel, {{"tables", TwoTables()}});
    Build(kOld,
          {{"tables", TwoTables()}, {"relations", {Relation("Vieja", "C", "P", {{"a", "ca"}})}}});

    Run("Command22_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_TRUE(Items(form->List9(0)).empty());
    EXPECT_EQ(Items(form->List9(1)), (std::vector<std::string>{"Vieja"}));
    EXPECT_TRUE(RelationNames(kOld).empty());
    EXPECT_TRUE(RelationRows().empty());
}

TEST_F(Relations, ARelationOverTwoFieldPairsIsRecordedTwiceAndCreatedWhole) {
    Build(kModel, {{"tables", TwoTables()},
                   {"relations", {Relation("PC", "C", "P", {{"a", "ca"}, {"b", "cb"}})}}});
    Build(kOld, {{"tables", TwoTables()}});

    Run("Command22_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_EQ(RelationRows(),
              (Rows{{"PC", "C", "P", "2", "a", "ca"}, {"PC", "C", "P", "2", "b", "cb"}}));
    EXPECT_EQ(Describe(kOld)["relations"], Describe(kModel)["relations"]);
    EXPECT_EQ(form->Bar5.Max(), 2.0f);
    EXPECT_EQ(form->Bar5.Value(), 2.0f);
    EXPECT_EQ(Frame13Refreshes(), 2) << "one repaint per row, none when the bar is set to 0";
    EXPECT_EQ(form->List9(0).ListIndex(), 0);
    EXPECT_EQ(form->Data4.RecordSource(), "Select * from relacion where nombrerel = 'PC'");
}

TEST_F(Relations, AttributesArePassedBackUnchanged) {
    Json tables = Json::array(
        {Table("C", {"a"}), Table("P1", {"ca"}), Table("P2", {"ca"}), Table("P3", {"ca"})});
    Build(kModel,
          {{"tables", tables},
           {"relations",
            {Relation("R2", "C", "P1", {{"a", "ca"}}, engine::dbRelationDontEnforce),
             Relation("R256", "C", "P2", {{"a", "ca"}}, engine::dbRelationUpdateCascade),
             Relation("R4096", "C", "P3", {{"a", "ca"}}, engine::dbRelationDeleteCascade)}}});
    Build(kOld, {{"tables", tables}});

    Run("Command22_Click");

    EXPECT_TRUE(form->Errors().empty());
    const Json relations = Describe(kOld)["relations"];
    ASSERT_EQ(relations.size(), 3u);
    EXPECT_EQ(relations[0]["attributes"], 2);
    EXPECT_EQ(relations[1]["attributes"], 256);
    EXPECT_EQ(relations[2]["attributes"], 4096);
}

TEST_F(Relations, ARelationWithoutCatalogRowsIsNotCreatedAndLeavesBar5) {
    Build(kOld, {{"tables", TwoTables()}});
    form->List9(0).AddItem("Fantasma");
    form->Bar5.SetMax(9);
    form->Bar5.SetValue(5);

    Run("Command21_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_TRUE(RelationNames(kOld).empty());
    EXPECT_EQ(form->Bar5.Max(), 9.0f);
    EXPECT_EQ(form->Bar5.Value(), 5.0f);
    EXPECT_EQ(Frame13Refreshes(), 0);
}

TEST_F(Relations, SystemNamesAreNeitherListedNorRecorded) {
    Build(kModel, {{"tables", TwoTables()},
                   {"relations",
                    {Relation("MSysEnlace", "C", "P", {{"a", "ca"}}),
                     Relation("msysOtro", "C", "P", {{"b", "cb"}})}}});
    Build(kOld, {{"tables", TwoTables()},
                 {"relations", {Relation("MSysViejo", "C", "P", {{"a", "ca"}})}}});

    Run("Command22_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_EQ(Items(form->List9(0)), (std::vector<std::string>{"msysOtro"}));
    EXPECT_TRUE(Items(form->List9(1)).empty());
    EXPECT_EQ(RelationRows(), (Rows{{"msysOtro", "C", "P", "2", "b", "cb"}}));
    // The old system relation was never listed, so it was not deleted either.
    EXPECT_EQ(RelationNames(kOld), (std::vector<std::string>{"MSysViejo", "msysOtro"}));
}

TEST_F(Relations, ARefusedRelationIsRecordedAndTheNextOneStillCreated) {
    Json modelTables = TwoTables();
    modelTables.push_back(Table("X", {"a"}));
    Build(kModel,
          {{"tables", modelTables},
           {"relations",
            {Relation("R1", "X", "P", {{"a", "ca"}}), Relation("R2", "C", "P", {{"b", "cb"}})}}});
    Build(kOld, {{"tables", TwoTables()}});

    Run("Command22_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_EQ(RelationNames(kOld), (std::vector<std::string>{"R2"}));
    ASSERT_EQ(SkippedNumbers("Command21_Click"), (std::vector<int>{engine::err::kItemNotFound}));
    EXPECT_EQ(form->Skipped().front().database, kOld);
}

TEST_F(Relations, TwoDatabasesInARowSharingRelationNamesGetTheirOwnModelsFields) {
    const std::string modelB = "C:\\prog\\modelos\\otra.mdb";
    const std::string oldB = "C:\\datos\\otra.mdb";
    Build(
        kModel,
        {{"tables", TwoTables()},
         {"relations",
          {Relation("Rel1", "C", "P", {{"a", "ca"}}), Relation("Rel2", "C", "P", {{"b", "cb"}})}}});
    Build(
        modelB,
        {{"tables", TwoTables()},
         {"relations",
          {Relation("Rel1", "C", "P", {{"b", "cb"}}), Relation("Rel2", "C", "P", {{"a", "ca"}})}}});
    Build(kOld, {{"tables", TwoTables()}});
    Build(oldB, {{"tables", TwoTables()}});

    Run("Command22_Click");
    form->Text3.SetText(modelB);
    form->Text4.SetText(oldB);
    Run("Command22_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_TRUE(form->Skipped().empty()) << form->Skipped().front().description;
    EXPECT_EQ(Describe(kOld)["relations"], Describe(kModel)["relations"]);
    EXPECT_EQ(Describe(oldB)["relations"], Describe(modelB)["relations"]);
}

TEST_F(Relations, ARelationNameWithAnApostropheIsCreated) {
    Build(kModel, {{"tables", TwoTables()},
                   {"relations",
                    {Relation("Rel d'Or", "C", "P", {{"a", "ca"}}),
                     Relation("Zeta", "C", "P", {{"b", "cb"}})}}});
    Build(kOld, {{"tables", TwoTables()}});

    Run("Command22_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_TRUE(form->Skipped().empty());
    EXPECT_EQ(Describe(kOld)["relations"], Describe(kModel)["relations"]);
}

TEST_F(Relations, RemovalWithAnEmptyListDeletesNothing) {
    Build(kOld, {{"tables", TwoTables()}, {"relations", {Relation("R", "C", "P", {{"a", "ca"}})}}});

    Run("Command20_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_EQ(RelationNames(kOld), (std::vector<std::string>{"R"}));
}

TEST_F(Relations, RemovalEndsAtTheFirstRelationItCannotDelete) {
    Build(kOld, {{"tables", TwoTables()}, {"relations", {Relation("R", "C", "P", {{"a", "ca"}})}}});
    form->List9(1).AddItem("NoExiste");
    form->List9(1).AddItem("R");

    Run("Command20_Click");

    EXPECT_EQ(ErrorNumbers(), (std::vector<int>{engine::err::kItemNotFound}));
    EXPECT_EQ(RelationNames(kOld), (std::vector<std::string>{"R"}));
}

TEST_F(Relations, AMissingOldDatabaseEndsTheCommandAfterTheModelIsRecorded) {
    Build(kModel,
          {{"tables", TwoTables()}, {"relations", {Relation("R", "C", "P", {{"a", "ca"}})}}});
    form->List9(1).AddItem("Antes");
    form->Bar5.SetValue(4);

    Run("Command22_Click");

    EXPECT_EQ(ErrorNumbers(), (std::vector<int>{engine::err::kFileNotFound}));
    EXPECT_EQ(Items(form->List9(0)), (std::vector<std::string>{"R"}));
    EXPECT_TRUE(Items(form->List9(1)).empty());
    EXPECT_EQ(RelationRows(), (Rows{{"R", "C", "P", "2", "a", "ca"}}));
    // Neither the removal nor the creation ran.
    EXPECT_EQ(form->Bar5.Value(), 4.0f);
    EXPECT_EQ(form->Data4.RecordSource(), kRelationTable);
}

TEST_F(Relations, AMissingModelEndsTheCommandBeforeAnythingIsEmptied) {
    Build(kOld, {{"tables", TwoTables()}});
    form->List9(0).AddItem("X");
    AddTableRows(kRelationCatalogPath, kRelationTable, {{"X", "C", "P", "2", "a", "ca"}});

    Run("Command22_Click");

    EXPECT_EQ(ErrorNumbers(), (std::vector<int>{engine::err::kFileNotFound}));
    EXPECT_EQ(Items(form->List9(0)), (std::vector<std::string>{"X"}));
    EXPECT_EQ(RelationRows().size(), 1u);
    EXPECT_TRUE(RelationNames(kOld).empty());
}

}  // namespace
}  // namespace actualiz::testing
