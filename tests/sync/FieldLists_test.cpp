#include <gtest/gtest.h>

#include "SyncFixture.h"

namespace actualiz::testing {
namespace {

using engine::dbLong;
using engine::dbMemo;
using engine::dbText;

class FieldLists : public SyncTest {
  protected:
    // One table "clientes" with codigo (long), nombre (text of 50) and notas (memo), on both
    // sides; the old side also has a table with a blank in its name.
    void SetUp() override {
        SyncTest::SetUp();
        json clientes =
            Table("clientes", {{"codigo", dbLong}, {"nombre", dbText, 50}, {"notas", dbMemo}});
        json detalles = Table("Detalles de pedidos", {{"pedido", dbLong}, {"cantidad", dbLong}});
        Pair(Tables({clientes, detalles}), Tables({clientes, detalles}));
    }
    static void Select(app::ListBox& list, const std::string& name) {
        list.AddItem(name);
        list.SetListIndex(list.ListCount() - 1);
    }
    std::vector<std::string> ModelNames() const { return form->List1(0).Items(); }
    std::vector<std::string> ModelTypes() const { return form->List1(1).Items(); }
    std::vector<std::string> ModelSizes() const { return form->List1(2).Items(); }
};

TEST_F(FieldLists, TheModelListingGivesNamesTypeCodesAndSizesInFieldOrder) {
    Select(form->List2, "clientes");
    form->Command10_Click();
    EXPECT_EQ(ModelNames(), V({"codigo", "nombre", "notas"}));
    EXPECT_EQ(ModelTypes(), V({"4", "10", "12"}));
    ASSERT_EQ(ModelSizes().size(), 3u);
    EXPECT_EQ(ModelSizes()[1], "50");
    EXPECT_EQ(ModelSizes()[0], "4") << "a long integer is four bytes to the engine";
    EXPECT_EQ(form->Data1.DatabaseName(), ModelPath("base.mdb"));
    EXPECT_TRUE(form->Skipped().empty());
}

TEST_F(FieldLists, TheOldListingFillsTheOldTripleFromTheOldDatabase) {
    Select(form->List3, "clientes");
    form->Command11_Click();
    EXPECT_EQ(form->List5(0).Items(), V({"codigo", "nombre", "notas"}));
    EXPECT_EQ(form->List5(1).Items(), V({"4", "10", "12"}));
    EXPECT_EQ(form->List5(2).Items()[1], "50");
    EXPECT_EQ(form->Data1.DatabaseName(), OldPath("base.mdb"));
    EXPECT_EQ(form->List1(0).ListCount(), 0) << "the model triple is not touched";
}

TEST_F(FieldLists, TheListingOfATableToCreateReadsTheModelTableSelectedInList4) {
    Select(form->List4, "clientes");
    form->Command2_Click();
    EXPECT_EQ(ModelNames(), V({"codigo", "nombre", "notas"}));
    EXPECT_EQ(ModelTypes(), V({"4", "10", "12"}));
}

TEST_F(FieldLists, ListingTwiceDoesNotDoubleTheLists) {
    Select(form->List2, "clientes");
    Select(form->List3, "clientes");
    Select(form->List4, "clientes");
    for (int run = 0; run < 2; ++run) {
        form->Command10_Click();
        form->Command11_Click();
        form->Command2_Click();
    }
    EXPECT_EQ(ModelNames().size(), 3u);
    EXPECT_EQ(ModelSizes().size(), 3u);
    EXPECT_EQ(form->List5(0).ListCount(), 3);
    EXPECT_EQ(form->List5(2).ListCount(), 3);
}

TEST_F(FieldLists, ATableNameWithABlankIsListedLikeAnyOther) {
    Select(form->List2, "Detalles de pedidos");
    Select(form->List3, "Detalles de pedidos");
    form->Command10_Click();
    form->Command11_Click();
    EXPECT_EQ(ModelNames(), V({"pedido", "cantidad"}));
    EXPECT_EQ(form->List5(0).Items(), V({"pedido", "cantidad"}));
    EXPECT_EQ(form->Data1.RecordSource(), "Select * from [Detalles de pedidos]");
    EXPECT_TRUE(form->Skipped().empty());
}

TEST_F(FieldLists, TheModelListingWithNothingSelectedEndsQuietlyWithEmptyLists) {
    Select(form->List2, "clientes");
    form->Command10_Click();
    ASSERT_EQ(ModelNames().size(), 3u);
    form->List2.SetListIndex(-1);
    EXPECT_EQ(FailureOf([&] { form->Command10_Click(); }), 0)
        << "the model listing let a failure reach its caller";
    EXPECT_TRUE(ModelNames().empty());
    EXPECT_TRUE(ModelTypes().empty());
    EXPECT_TRUE(ModelSizes().empty());
    ASSERT_FALSE(form->Skipped().empty()) << "what was passed over is recorded";
    EXPECT_EQ(form->Skipped()[0].command, "Command10_Click");
}

TEST_F(FieldLists, TheModelListingOfAMissingTableDoesNotShowThePreviousTablesFields) {
    Select(form->List2, "clientes");
    form->Command10_Click();
    Select(form->List2, "no_existe");
    form->Command10_Click();
    EXPECT_TRUE(ModelNames().empty()) << "fields of the previously listed table reappeared";
    EXPECT_FALSE(form->Skipped().empty());
}

TEST_F(FieldLists, TheModelListingOfAMissingDatabaseEndsQuietly) {
    Select(form->List2, "clientes");
    form->Text3.SetText(ModelPath("falta.mdb"));
    EXPECT_EQ(FailureOf([&] { form->Command10_Click(); }), 0);
    EXPECT_TRUE(ModelNames().empty());
    ASSERT_FALSE(form->Skipped().empty());
    EXPECT_EQ(form->Skipped()[0].number, engine::err::kFileNotFound);
}

TEST_F(FieldLists, TheOldListingPassesItsFailureOnAndLeavesItsListsEmpty) {
    Select(form->List3, "clientes");
    form->Command11_Click();
    ASSERT_EQ(form->List5(0).ListCount(), 3);
    Select(form->List3, "no_existe");
    EXPECT_NE(FailureOf([&] { form->Command11_Click(); }), 0);
    EXPECT_EQ(form->List5(0).ListCount(), 0);
    EXPECT_EQ(form->List5(1).ListCount(), 0);
    EXPECT_EQ(form->List5(2).ListCount(), 0);
    EXPECT_TRUE(form->Skipped().empty()) << "the old listing has no error handling of its own";
}

TEST_F(FieldLists, TheListingOfATableToCreateFailsBeforeEmptyingItsLists) {
    Select(form->List4, "clientes");
    form->Command2_Click();
    form->List4.SetListIndex(-1);
    EXPECT_NE(FailureOf([&] { form->Command2_Click(); }), 0);
    EXPECT_EQ(ModelNames(), V({"codigo", "nombre", "notas"}))
        << "the fields listed before were lost although the table could not be opened";
}

}  // namespace
}  // namespace actualiz::testing
