#include <gtest/gtest.h>
#include <sqlite3.h>

#include "SyncFixture.h"

namespace actualiz::testing {
namespace {

using engine::dbLong;
using engine::dbMemo;
using engine::dbText;

class FieldWalk : public SyncTest {
  protected:
    // The driver's order: list, create what is missing, list again, walk.
    void Walk() {
        form->Command6_Click();
        form->Command12_Click();
    }
    int Frame13Refreshes() const {
        auto it = host.FrameRefreshes().find("Frame13");
        return it == host.FrameRefreshes().end() ? 0 : it->second;
    }
};

TEST_F(FieldWalk, TheMissingFieldIsAppendedAndTheOldRowsKeepTheirData) {
    Pair(Tables({Table("clientes",
                       {{"codigo", dbLong}, {"nombre", dbText, 50}, {"email", dbText, 80}})}),
         Tables({Table("clientes",
                       {{"codigo", dbLong}, {"nombre", dbText, 50}, {"fax", dbText, 20}})}));
    InsertRows(OldPath("base.mdb"), "clientes",
               json::parse(R"([[1,"Ana","911"],[2,"Luis",null]])"));
    Walk();

    EXPECT_EQ(form->List1(3).Items(), V({"email"}));
    EXPECT_EQ(form->List1(4).Items(), V({"10"}));
    EXPECT_EQ(form->List1(5).Items(), V({"80"}));
    EXPECT_EQ(form->List5(0).Items(), V({"fax"})) << "matched old names leave List5(0)";
    EXPECT_EQ(form->List5(1).ListCount(), 3) << "only the name list loses its matches";

    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "clientes"), V({"codigo", "nombre", "fax", "email"}));
    auto email = StoredField(OldPath("base.mdb"), "clientes", "email");
    EXPECT_EQ(email->Type(), dbText);
    EXPECT_EQ(email->Size(), 80);
    EXPECT_TRUE(email->AllowZeroLength());

    EXPECT_EQ(RowValues(OldPath("base.mdb"), "clientes"),
              json::parse(R"([[1,"Ana","911",null],[2,"Luis",null,null]])"));
    EXPECT_TRUE(form->Skipped().empty());
}

// An appended field carries what is safe for a table with rows: its default, its rule, the
// counter (which numbers the old rows); Required only where the table is empty.
TEST_F(FieldWalk, AnAppendedFieldCarriesTheModelsSafeProperties) {
    json model = json::parse(R"([
        {"name": "llena", "fields": [{"name": "a", "type": 4},
          {"name": "n", "type": 4, "attributes": 17},
          {"name": "pais", "type": 10, "size": 2, "required": true, "defaultValue": "\"ES\"",
           "validationRule": "Like \"??\""}]},
        {"name": "vacia", "fields": [{"name": "a", "type": 4},
          {"name": "pais", "type": 10, "size": 2, "required": true}]}])");
    Pair(Tables({model[0], model[1]}),
         Tables({Table("llena", {{"a", dbLong}}), Table("vacia", {{"a", dbLong}})}));
    InsertRows(OldPath("base.mdb"), "llena", json::parse(R"([[7], [8]])"));
    Walk();

    auto pais = StoredField(OldPath("base.mdb"), "llena", "pais");
    EXPECT_FALSE(pais->Required()) << "the old rows would break it at once";
    EXPECT_EQ(pais->DefaultValue(), "\"ES\"");
    EXPECT_EQ(pais->ValidationRule(), "Like \"??\"");
    EXPECT_TRUE(StoredField(OldPath("base.mdb"), "vacia", "pais")->Required());
    InsertRows(OldPath("base.mdb"), "llena", json::parse(R"([[9]])"));
    EXPECT_EQ(RowValues(OldPath("base.mdb"), "llena"),
              json::parse(R"([[7, 1, null], [8, 2, null], [9, 3, "ES"]])"));
    EXPECT_TRUE(form->Skipped().empty());
}

TEST_F(FieldWalk, ALongIntegerIsAppendedWithoutAllowingZeroLength) {
    Pair(Tables({Table("t", {{"a", dbLong}, {"b", dbLong}, {"c", dbMemo}})}),
         Tables({Table("t", {{"a", dbLong}})}));
    Walk();
    auto b = StoredField(OldPath("base.mdb"), "t", "b");
    EXPECT_EQ(b->Type(), dbLong);
    EXPECT_FALSE(b->AllowZeroLength());
    auto c = StoredField(OldPath("base.mdb"), "t", "c");
    EXPECT_EQ(c->Type(), dbMemo);
    EXPECT_TRUE(c->AllowZeroLength());
}

TEST_F(FieldWalk, AFieldOfTheSameNameButAnotherTypeOrSizeIsLeftAlone) {
    Pair(Tables({Table("t", {{"codigo", dbText, 10}, {"nombre", dbText, 50}})}),
         Tables({Table("t", {{"codigo", dbLong}, {"nombre", dbText, 20}})}));
    const json before = Describe(OldPath("base.mdb"));
    Walk();
    EXPECT_EQ(Describe(OldPath("base.mdb")), before);
    EXPECT_EQ(form->List1(3).ListCount(), 0);
}

TEST_F(FieldWalk, AFieldTheOldTableHasUnderAnotherCaseIsPassedOverAndTheRestAppended) {
    Pair(Tables({Table("t", {{"id", dbLong}, {"Nombre", dbText, 30}, {"zona", dbText, 10}})}),
         Tables({Table("t", {{"id", dbLong}, {"nombre", dbText, 30}})}));
    Walk();
    EXPECT_EQ(form->List1(3).Items(), V({"Nombre", "zona"}));
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "t"), V({"id", "nombre", "zona"}));
    EXPECT_EQ(SkippedSummary(), V({"Command12_Click 3191"}));
}

TEST_F(FieldWalk, AnOldTableUnderAnotherCaseIsWalkedAsTheSameTable) {
    Pair(Tables({Table("Zonas", {{"id", dbLong}, {"nombre", dbText, 30}})}),
         Tables({Table("zonas", {{"id", dbLong}})}));
    Walk();
    EXPECT_EQ(form->List3.Text(), "zonas");
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "zonas"), V({"id", "nombre"}));
}

TEST_F(FieldWalk, AModelTableWithoutAnOldNamesakeIsPassedOverNotAppendedElsewhere) {
    // Equal counts with different names: nothing was created for "beta", and the walk must
    // not pour beta's fields into whatever old table happens to be selected.
    Pair(Tables({Table("alfa", {{"id", dbLong}, {"a2", dbLong}}), Table("beta", {{"b1", dbLong}})}),
         Tables({Table("alfa", {{"id", dbLong}}), Table("otra", {{"o1", dbLong}})}));
    Walk();
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "alfa"), V({"id", "a2"}));
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "otra"), V({"o1"}));
    EXPECT_EQ(TableNames(OldPath("base.mdb")), V({"alfa", "otra"}));
    EXPECT_EQ(form->Bar2.Value(), 2.0f) << "the passed-over table still counts on the bar";
}

TEST_F(FieldWalk, ProgressBarsCountTablesAndFieldsAndRepaintTheFrameEachTime) {
    Pair(Tables({Table("a", {{"x", dbLong}, {"y", dbLong}, {"z", dbLong}}),
                 Table("b", {{"x", dbLong}, {"y", dbLong}})}),
         Tables({Table("a", {{"x", dbLong}}), Table("b", {{"x", dbLong}})}));
    form->Command6_Click();
    const int before = Frame13Refreshes();
    form->Command12_Click();
    EXPECT_EQ(form->Bar2.Max(), 2.0f);
    EXPECT_EQ(form->Bar2.Value(), 2.0f);
    EXPECT_EQ(form->Bar3.Max(), 2.0f) << "Bar3 counts the fields of the last model table";
    EXPECT_EQ(form->Bar3.Value(), 2.0f);
    EXPECT_EQ(form->Bar2.Min(), 0.0f);
    // One repaint per table and one per model field: 2 + 3 + 2.
    EXPECT_EQ(Frame13Refreshes() - before, 7);
    EXPECT_EQ(form->Frame13.Refreshes(), Frame13Refreshes());
}

TEST_F(FieldWalk, AnEmptyModelListOnlySetsTheTableBar) {
    form->Bar2.SetMax(100);
    form->Bar2.SetValue(40);
    // Nothing is opened: these paths name no database at all.
    form->Text3.SetText(ModelPath("falta.mdb"));
    form->Text4.SetText(OldPath("falta.mdb"));
    EXPECT_EQ(FailureOf([&] { form->Command12_Click(); }), 0);
    EXPECT_EQ(form->Bar2.Max(), 0.0f);
    EXPECT_EQ(form->Bar2.Value(), 0.0f);
    EXPECT_EQ(Frame13Refreshes(), 0);
    EXPECT_TRUE(form->Skipped().empty());
}

TEST_F(FieldWalk, BeforeAnyTableNeededFieldsAFailureEndsTheWalk) {
    // "a" is complete, so the walk is still without error handling when the old listing of "b"
    // fails; "c" is never reached.
    Pair(Tables({Table("a", {{"x", dbLong}}), Table("b", {{"x", dbLong}}),
                 Table("c", {{"x", dbLong}, {"y", dbLong}})}),
         Tables({Table("a", {{"x", dbLong}}), Table("c", {{"x", dbLong}})}));
    form->Command6_Click();
    // The old list claims a table "b" the old database does not have.
    form->List3.Clear();
    for (const char* name : {"a", "b", "c"}) form->List3.AddItem(name);
    EXPECT_NE(FailureOf([&] { form->Command12_Click(); }), 0);
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "c"), V({"x"}));
    EXPECT_EQ(form->Bar2.Value(), 2.0f);
    EXPECT_TRUE(form->Skipped().empty());
}

TEST_F(FieldWalk, AFailureWhileAppendingToTheFirstTableThatNeedsFieldsEndsTheWalk) {
    // "b" is a stored query in the old database: its listing works, but there is no table "b"
    // to append to. It is the first table that needs a field, so the walk is still without error
    // handling of its own: the failure ends it and "c" never gets its field.
    json old = Tables({Table("a", {{"x", dbLong}}), Table("c", {{"x", dbLong}})});
    old["queries"] = json::array({{{"name", "b"}, {"sql", "SELECT x FROM a"}}});
    Pair(Tables({Table("a", {{"x", dbLong}}), Table("b", {{"x", dbLong}, {"y", dbLong}}),
                 Table("c", {{"x", dbLong}, {"y", dbLong}})}),
         old);
    form->Command6_Click();
    form->List3.Clear();
    for (const char* name : {"a", "b", "c"}) form->List3.AddItem(name);

    EXPECT_EQ(FailureOf([&] { form->Command12_Click(); }), engine::err::kItemNotFound);
    EXPECT_EQ(form->List1(3).Items(), V({"y"})) << "the query's listing was compared as b's";
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "c"), V({"x"}));
    EXPECT_EQ(form->Bar2.Value(), 2.0f);
    EXPECT_TRUE(form->Skipped().empty());
}

TEST_F(FieldWalk, TheListsAreLeftOnTheLastModelTableAndItsOldNamesake) {
    Pair(Tables({Table("a", {{"x", dbLong}, {"y", dbLong}}),
                 Table("b", {{"id", dbLong}, {"nuevo", dbText, 20}})}),
         Tables({Table("a", {{"x", dbLong}}), Table("b", {{"id", dbLong}, {"viejo", dbLong}}),
                 Table("z", {{"q", dbLong}})}));
    Walk();

    ASSERT_EQ(form->List3.Items(), V({"a", "b", "z"}));
    EXPECT_EQ(form->List2.ListIndex(), 1);
    EXPECT_EQ(form->List3.ListIndex(), 1) << "List3 stays on the namesake of the last model table";
    EXPECT_EQ(form->List1(0).Items(), V({"id", "nuevo"}));
    EXPECT_EQ(form->List5(0).Items(), V({"viejo"}));
    EXPECT_EQ(form->List5(1).Items(), V({"4", "4"}));
    EXPECT_EQ(form->List1(3).Items(), V({"nuevo"}));
    EXPECT_EQ(form->List1(4).Items(), V({"10"}));
    EXPECT_EQ(form->List1(5).Items(), V({"20"}));
    EXPECT_EQ(form->Bar2.Value(), form->Bar2.Max());
    EXPECT_EQ(form->Data1.DatabaseName(), ModelPath("base.mdb"))
        << "the model listing runs after the old one";
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "a"), V({"x", "y"}));
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "z"), V({"q"}));
}

TEST_F(FieldWalk, AfterTheFirstTableThatNeededFieldsFailuresArePassedOver) {
    // The same trouble with "b", but now "a" needed a field first: the walk has switched to
    // skip-on-error, records what fails for "b" and still brings "c" up to date.
    Pair(Tables({Table("a", {{"x", dbLong}, {"nuevo", dbLong}}), Table("b", {{"x", dbLong}}),
                 Table("c", {{"x", dbLong}, {"y", dbLong}})}),
         Tables({Table("a", {{"x", dbLong}}), Table("c", {{"x", dbLong}})}));
    form->Command6_Click();
    form->List3.Clear();
    for (const char* name : {"a", "b", "c"}) form->List3.AddItem(name);
    EXPECT_EQ(FailureOf([&] { form->Command12_Click(); }), 0);
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "a"), V({"x", "nuevo"}));
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "c"), V({"x", "y"}));
    EXPECT_EQ(TableNames(OldPath("base.mdb")), V({"a", "c"}));
    ASSERT_FALSE(form->Skipped().empty());
    for (const auto& s : form->Skipped()) EXPECT_EQ(s.database, OldPath("base.mdb"));
    // The old listing of "b" failed (recorded against the listing, the command it escaped
    // from), then the table itself could not be found for the append.
    EXPECT_EQ(form->Skipped()[0].number, engine::err::kInputTableNotFound)
        << form->Skipped()[0].description;
    EXPECT_EQ(form->Skipped()[0].command, "Command11_Click");
    for (std::size_t i = 1; i < form->Skipped().size(); ++i)
        EXPECT_EQ(form->Skipped()[i].command, "Command12_Click");
    EXPECT_EQ(form->Bar2.Value(), 3.0f);
}

// A field that could not be appended for want of room waits for a rerun, and so do the fields
// after it in its table: the rerun appends them in the model's order, never the failed one last.
TEST_F(FieldWalk, AFieldThatFoundNoRoomIsAppendedByTheRerunInTheModelsOrder) {
    json model = Tables({Table("a", {{"x", dbLong}, {"y", dbLong}}),
                         Table("b", {{"x", dbLong}, {"n", dbLong}, {"z", dbLong}})});
    model["tables"][1]["fields"][1]["attributes"] = 17;  // a counter: numbering rows takes room
    json old = Tables({Table("a", {{"x", dbLong}}), Table("b", {{"x", dbLong}})});
    for (int i = 0; i < 3000; ++i) old["tables"][1]["rows"].push_back(json::array({i}));
    Pair(model, old);
    // The walk reaches the file through this handle's connection, which may not make it grow.
    auto held = engine::OpenDatabase(OldPath("base.mdb"));
    ASSERT_EQ(sqlite3_exec(held->Handle(), "PRAGMA max_page_count = 1", nullptr, nullptr, nullptr),
              SQLITE_OK);
    Walk();
    EXPECT_EQ(SkippedSummary(), V({"Command12_Click 3043"}));
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "a"), V({"x", "y"}));
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "b"), V({"x"}));

    ASSERT_EQ(sqlite3_exec(held->Handle(), "PRAGMA max_page_count = 1073741823", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    Walk();
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "b"), V({"x", "n", "z"}));
    EXPECT_EQ(RowValues(OldPath("base.mdb"), "b")[2999], json::parse("[2999, 3000, null]"));
    held->Close();
}

TEST_F(FieldWalk, AFailingRepaintEndsTheWalkOnlyBeforeTheSwitch) {
    // Tables a and b both lack a field. The repaint of b's table bar fails: once a has had its
    // field the walk passes that over; in a walk where nothing was appended yet it ends there.
    const json model = Tables(
        {Table("a", {{"x", dbLong}, {"y", dbLong}}), Table("b", {{"x", dbLong}, {"y", dbLong}})});
    const json old = Tables({Table("a", {{"x", dbLong}}), Table("b", {{"x", dbLong}})});
    Pair(model, old);
    form->Command6_Click();
    int repaints = 0;
    int failAt = 4;  // a's table bar, a's two field bars, then b's table bar
    form->Frame13.SetRefreshHandler([&](const app::Frame&) {
        if (++repaints == failAt) throw Error(7, "Memoria insuficiente");
    });
    EXPECT_EQ(FailureOf([&] { form->Command12_Click(); }), 0);
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "a"), V({"x", "y"}));
    EXPECT_EQ(FieldNames(OldPath("base.mdb"), "b"), V({"x", "y"}));
    EXPECT_EQ(SkippedSummary(), V({"Command12_Click 7"}));

    // Again on fresh databases, now failing at the first repaint, before anything was appended.
    Pair(model, old, "otra.mdb");
    form->Command6_Click();
    form->Skipped().clear();
    repaints = 0;
    failAt = 1;
    EXPECT_EQ(FailureOf([&] { form->Command12_Click(); }), 7);
    EXPECT_EQ(FieldNames(OldPath("otra.mdb"), "a"), V({"x"}));
    EXPECT_EQ(FieldNames(OldPath("otra.mdb"), "b"), V({"x"}));
    EXPECT_TRUE(form->Skipped().empty());
}

}  // namespace
}  // namespace actualiz::testing
