#include <gtest/gtest.h>

#include "sync/SyncFixture.h"

namespace actualiz::testing {
namespace {

class NewDatabases : public SyncTest {
  protected:
    void Fill(app::ListBox& list, std::initializer_list<const char*> names) {
        list.Clear();
        for (const char* name : names) list.AddItem(name);
    }
};

TEST_F(NewDatabases, ModelsWithoutAnOldDatabaseAreListedInModelOrder) {
    Fill(form->List7, {"zonas.mdb", "clientes.mdb", "almacen.mdb", "agenda.mdb"});
    Fill(form->List6, {"clientes.mdb", "viejo.mdb", "almacen.mdb"});
    form->Command15_Click();
    EXPECT_EQ(form->List8.Items(), V({"zonas.mdb", "agenda.mdb"}));
    EXPECT_EQ(form->List7.ListIndex(), 3);
    EXPECT_EQ(form->List6.ListIndex(), 2);
}

TEST_F(NewDatabases, WithNoOldDatabasesEveryModelIsNew) {
    Fill(form->List7, {"a.mdb", "b.mdb"});
    form->Command15_Click();
    EXPECT_EQ(form->List8.Items(), V({"a.mdb", "b.mdb"}));
    EXPECT_EQ(form->List6.ListIndex(), -1);
}

TEST_F(NewDatabases, WithNoModelsTheListEndsEmptyEvenAfterAnEarlierRun) {
    Fill(form->List7, {"a.mdb"});
    form->Command15_Click();
    ASSERT_EQ(form->List8.ListCount(), 1);
    form->List7.Clear();
    form->Command15_Click();
    EXPECT_EQ(form->List8.ListCount(), 0);
}

TEST_F(NewDatabases, ANameThatDiffersOnlyInLetterCaseCountsAsNew) {
    Fill(form->List7, {"CLIENTES.MDB", "almacen.mdb"});
    Fill(form->List6, {"clientes.mdb", "almacen.mdb"});
    form->Command15_Click();
    EXPECT_EQ(form->List8.Items(), V({"CLIENTES.MDB"}));
}

TEST_F(NewDatabases, RunningTwiceDoesNotDoubleTheList) {
    Fill(form->List7, {"a.mdb", "b.mdb"});
    Fill(form->List6, {"a.mdb"});
    form->Click("Command15");
    form->Click("Command15");
    EXPECT_EQ(form->List8.Items(), V({"b.mdb"}));
    for (const auto& e : form->Errors()) EXPECT_NE(e.command, "Command15_Click") << e.description;
}

}  // namespace
}  // namespace actualiz::testing
