#include "CatalogFixture.h"
#include "catalogs/QueryCatalog.h"

namespace actualiz::testing {
namespace {

using catalogs::kQueryCatalogPath;
using catalogs::kQueryTable;

class Queries : public CatalogTest {
  protected:
    Rows QueryRows() const { return TableRows(kQueryCatalogPath, kQueryTable); }

    // Every stored query of a database, system names included, as {name, sql}, in name order.
    static Rows StoredQueries(const std::string& path) {
        auto db = engine::OpenDatabase(path);
        Rows out;
        for (const auto& q : db->QueryDefs()) out.push_back({q->Name(), q->SQL()});
        db->Close();
        return out;
    }

    static Json Query(const std::string& name, const std::string& sql) {
        return {{"name", name}, {"sql", sql}};
    }

    static Json Tables() { return Json::array({Table("C", {"a"})}); }
};

TEST_F(Queries, LineBreaksBecomeOneSpaceEach) {
    Build(kModel, {{"tables", Tables()},
                   {"queries", {Query("Q", "SELECT a\r\nFROM C\r\nWHERE a = 'x'\nORDER BY a\r")}}});
    Build(kOld, {{"tables", Tables()}});

    Run("Command24_Click");

    EXPECT_TRUE(form->Errors().empty());
    const std::string line = "SELECT a  FROM C  WHERE a = 'x' ORDER BY a ";
    EXPECT_EQ(QueryRows(), (Rows{{"Q", line}}));
    EXPECT_EQ(StoredQueries(kOld), (Rows{{"Q", line}}));
}

TEST_F(Queries, AModelWithoutQueriesLeavesTheOldDatabaseWithout) {
    Build(kModel, {{"tables", Tables()}});
    Build(kOld, {{"tables", Tables()},
                 {"queries", {Query("A", "SELECT a FROM C"), Query("B", "SELECT * FROM C")}}});
    form->List11(0).AddItem("antes");
    form->List11(3).AddItem("antes");

    Run("Command24_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_EQ(Items(form->List11(1)), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(Items(form->List11(0)).empty());
    EXPECT_TRUE(Items(form->List11(3)).empty());
    EXPECT_TRUE(QueryRows().empty());
    EXPECT_TRUE(StoredQueries(kOld).empty());
}

TEST_F(Queries, TheOldQueriesAreReplacedByTheModels) {
    Build(kModel,
          {{"tables", Tables()},
           {"queries",
            {Query("B", "SELECT a FROM C WHERE a = 'modelo'"), Query("C1", "SELECT * FROM C")}}});
    Build(kOld,
          {{"tables", Tables()},
           {"queries",
            {Query("A", "SELECT a FROM C"), Query("B", "SELECT a FROM C WHERE a = 'viejo'")}}});

    Run("Command24_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_EQ(StoredQueries(kOld), StoredQueries(kModel));
    EXPECT_EQ(form->Bar6.Max(), 2.0f);
    EXPECT_EQ(form->Bar6.Value(), 2.0f);
    EXPECT_EQ(Frame13Refreshes(), 1 + 2) << "one repaint when the bar is set to 0, one per query";
    EXPECT_EQ(form->List11(1).ListIndex(), 1);
    // A query created with its name is stored at once and exists once; storing it is no failure.
    EXPECT_TRUE(SkippedNumbers("Command23_Click").empty());
}

TEST_F(Queries, WhateverTheCatalogHeldItEndsWithTheModelsQueriesOnly) {
    Build(kModel, {{"tables", Tables()}, {"queries", {Query("Q", "SELECT a FROM C")}}});
    Build(kOld, {{"tables", Tables()}});
    AddTableRows(kQueryCatalogPath, kQueryTable,
                 {{"Resto", "SELECT * FROM C"}, {"Otro", "SELECT a FROM C"}});
    form->Data5.Refresh();

    Run("Command24_Click");

    EXPECT_EQ(QueryRows(), (Rows{{"Q", "SELECT a FROM C"}}));
    EXPECT_EQ(StoredQueries(kOld), (Rows{{"Q", "SELECT a FROM C"}}));
}

TEST_F(Queries, ARejectedRowIsPassedOverAndTheNextCreated) {
    Build(kOld, {{"tables", Tables()}});
    AddTableRows(kQueryCatalogPath, kQueryTable,
                 {{"Mala", "esto no es una consulta"}, {"Buena", "SELECT a FROM C"}});
    form->Data5.Refresh();

    Run("Command23_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_EQ(StoredQueries(kOld), (Rows{{"Buena", "SELECT a FROM C"}}));
    const std::vector<int> skipped = SkippedNumbers("Command23_Click");
    EXPECT_NE(std::find(skipped.begin(), skipped.end(), engine::err::kInvalidSql), skipped.end());
    EXPECT_EQ(form->Bar6.Value(), 2.0f);
}

TEST_F(Queries, SystemNamesAreNeitherListedNorRecorded) {
    Build(kModel,
          {{"tables", Tables()},
           {"queries",
            {Query("MSysConsulta", "SELECT a FROM C"), Query("msysBien", "SELECT * FROM C")}}});
    Build(kOld, {{"tables", Tables()}, {"queries", {Query("MSysVieja", "SELECT a FROM C")}}});

    Run("Command24_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_TRUE(Items(form->List11(1)).empty());
    EXPECT_EQ(QueryRows(), (Rows{{"msysBien", "SELECT * FROM C"}}));
    EXPECT_EQ(StoredQueries(kOld),
              (Rows{{"msysBien", "SELECT * FROM C"}, {"MSysVieja", "SELECT a FROM C"}}));
}

TEST_F(Queries, AnEmptyListAndAnEmptyCatalogChangeNothing) {
    Build(kOld, {{"tables", Tables()}, {"queries", {Query("A", "SELECT a FROM C")}}});

    Run("Command23_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_TRUE(form->Skipped().empty());
    EXPECT_EQ(StoredQueries(kOld), (Rows{{"A", "SELECT a FROM C"}}));
    EXPECT_EQ(form->Bar6.Value(), 0.0f);
    EXPECT_EQ(Frame13Refreshes(), 0);
}

TEST_F(Queries, AMissingModelLeavesTheCatalogEmptyAndTheListsAsTheyWere) {
    Build(kOld, {{"tables", Tables()}, {"queries", {Query("A", "SELECT a FROM C")}}});
    AddTableRows(kQueryCatalogPath, kQueryTable, {{"Q", "SELECT a FROM C"}});
    form->Data5.Refresh();
    form->List11(1).AddItem("X");

    Run("Command24_Click");

    EXPECT_EQ(ErrorNumbers(), (std::vector<int>{engine::err::kFileNotFound}));
    EXPECT_TRUE(QueryRows().empty());
    EXPECT_EQ(Items(form->List11(1)), (std::vector<std::string>{"X"}));
    EXPECT_EQ(StoredQueries(kOld), (Rows{{"A", "SELECT a FROM C"}}))
        << "the equalisation should not have run";
}

TEST_F(Queries, AMissingOldDatabaseEndsTheCommandAfterTheModelIsRecorded) {
    Build(kModel, {{"tables", Tables()}, {"queries", {Query("Q", "SELECT a\r\nFROM C")}}});
    form->List11(1).AddItem("Antes");
    form->Bar6.SetValue(4);

    Run("Command24_Click");

    EXPECT_EQ(ErrorNumbers(), (std::vector<int>{engine::err::kFileNotFound}));
    EXPECT_EQ(QueryRows(), (Rows{{"Q", "SELECT a  FROM C"}}));
    EXPECT_TRUE(Items(form->List11(1)).empty());
    EXPECT_EQ(form->Bar6.Value(), 4.0f) << "the equalisation should not have run";
    EXPECT_TRUE(form->Skipped().empty());
}

TEST_F(Queries, WithoutTheOldDatabaseTheCatalogIsStillWalked) {
    AddTableRows(kQueryCatalogPath, kQueryTable,
                 {{"Q1", "SELECT a FROM C"}, {"Q2", "SELECT * FROM C"}});
    form->Data5.Refresh();

    Run("Command23_Click");

    EXPECT_TRUE(form->Errors().empty()) << "the equalisation reports nothing";
    EXPECT_EQ(form->Bar6.Max(), 2.0f);
    EXPECT_EQ(form->Bar6.Value(), 2.0f);
    const std::vector<int> skipped = SkippedNumbers("Command23_Click");
    ASSERT_FALSE(skipped.empty());
    EXPECT_EQ(skipped.front(), engine::err::kFileNotFound);
}

}  // namespace
}  // namespace actualiz::testing
