#include "CatalogFixture.h"
#include "catalogs/IndexCatalog.h"

#include <fstream>
#include <functional>

namespace actualiz::testing {
namespace {

using catalogs::kIndexCatalogPath;
using catalogs::kIndexTable;

class IndexChain : public CatalogTest {
  public:
    using CatalogTest::form;
    using CatalogTest::prefix;

  protected:
    // The four fields every catalog has, as the bound text boxes show them.
    Rows IndexRows() const {
        Rows rows = TableRows(kIndexCatalogPath, kIndexTable);
        for (auto& row : rows) row.resize(4);
        return rows;
    }
    void AddIndexRows(const Rows& rows) { AddTableRows(kIndexCatalogPath, kIndexTable, rows); }
};

// ---- Listing ----

TEST_F(IndexChain, ModelListingRecordsOneRowPerIndexFieldAndListsTheUserTables) {
    Build(kModel,
          {{"tables",
            {Table("Clientes", {"a", "b", "c", "d"},
                   {Index("PrimaryKey", {"a"}, true, true), Index("Tres", {"b", "c", "d"})}),
             Table("Vacia", {"x"}), Table("msysnotas", {"x"}, {Index("Nota", {"x"})})}}});
    Build(kOld, {{"tables", {Table("Clientes", {"a", "b", "c", "d"})}}});

    Run("Command19_Click");

    EXPECT_TRUE(form->Errors().empty());
    // The engine's own MSys tables are left out; a lower-case msys table is the user's.
    EXPECT_EQ(Items(form->List10), (std::vector<std::string>{"Clientes", "msysnotas", "Vacia"}));
    EXPECT_EQ(form->List10.ListIndex(), 2) << "the last table should stay selected";
    EXPECT_EQ(IndexRows(), (Rows{{"PrimaryKey", "Clientes", "a", "Verdadero"},
                                 {"Tres", "Clientes", "b", "Falso"},
                                 {"Tres", "Clientes", "c", "Falso"},
                                 {"Tres", "Clientes", "d", "Falso"},
                                 {"Nota", "msysnotas", "x", "Falso"}}));
}

TEST_F(IndexChain, OldListingOnAMissingFileEndsTheChainWithAnEmptyTableList) {
    form->List10.AddItem("Antigua");
    Build(kModel, {{"tables", {Table("T", {"a"}, {Index("Uno", {"a"})})}}});

    Run("Command17_Click");

    EXPECT_EQ(ErrorNumbers(), (std::vector<int>{engine::err::kFileNotFound}));
    EXPECT_TRUE(Items(form->List10).empty());
    EXPECT_TRUE(IndexRows().empty()) << "the model listing should not have run";
}

TEST_F(IndexChain, ModelListingOnAMissingFileKeepsTheTableListAndEmptiesTheCatalog) {
    Build(kOld, {{"tables", {Table("T", {"a"})}}});
    form->List10.AddItem("X");
    form->List10.AddItem("Y");
    AddIndexRows({{"Uno", "T", "a", "Falso"}});
    form->Data3.Refresh();

    Run("Command19_Click");

    EXPECT_EQ(ErrorNumbers(), (std::vector<int>{engine::err::kFileNotFound}));
    EXPECT_EQ(Items(form->List10), (std::vector<std::string>{"X", "Y"}));
    EXPECT_TRUE(IndexRows().empty());
    EXPECT_EQ(form->Bar4.Value(), 0.0f) << "the copy should not have run";
    EXPECT_TRUE(IndexesOf(kOld, "T").empty());
}

TEST_F(IndexChain, AListingWithoutUserTablesEmptiesTheCatalogAndStillStartsTheCopy) {
    Build(kModel, {{"tables", Json::array()}});
    form->List10.AddItem("Antigua");
    AddIndexRows({{"Uno", "Antigua", "a", "Falso"}});
    form->Data3.Refresh();

    Run("Command19_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_TRUE(Items(form->List10).empty());
    EXPECT_TRUE(IndexRows().empty());
    // The copy ran: it is the one that tried to open the (missing) old database.
    const std::vector<int> skipped = SkippedNumbers("Command16_Click");
    ASSERT_FALSE(skipped.empty());
    EXPECT_EQ(skipped.front(), engine::err::kFileNotFound);
}

// ---- The whole chain ----

TEST_F(IndexChain, TheChainReplacesTheOldIndexesByTheModelsWholeIndexes) {
    const Rows rows = {{"1", "x", "y", "p"}, {"2", "x", "z", "q"}};
    Build(kOld, {{"tables",
                  {Table("T", {"f1", "f2", "f3", "f4"},
                         {Index("Uno", {"f1"}), Index("Dos", {"f2", "f3"}, true),
                          Index("Vieja", {"f4"})})}}});
    AddTableRows(kOld, "T", rows);
    Build(kModel, {{"tables",
                    {Table("T", {"f1", "f2", "f3", "f4"},
                           {Index("PrimaryKey", {"f1", "f2"}, true, true), Index("Uno", {"f1"}),
                            Index("Dos", {"f2", "f3"}, true)})}}});

    Run("Command17_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_TRUE(form->Skipped().empty()) << form->Skipped().front().description;
    // A recorded index of two fields comes back over both, with its flags, the primary key as
    // the primary key.
    EXPECT_EQ(IndexesOf(kOld, "T"),
              (std::vector<std::string>{"Dos[f2,f3] unique", "PrimaryKey[f1,f2] unique primary",
                                        "Uno[f1]"}));
    EXPECT_EQ(TableRows(kOld, "T"), rows) << "the data should be untouched";
}

// Nothing is removed from the old database unless what is to replace it can be read and
// recorded, and the old database itself is sound.
TEST_F(IndexChain, NothingIsRemovedWhenWhatReplacesItCannotBeReadOrRecorded) {
    struct Case {
        const char* what;
        std::function<void(IndexChain&)> spoil;
        int error;
    };
    const std::vector<Case> cases = {
        {"a model that is no database",
         [](IndexChain& t) {
             std::ofstream(t.prefix.driveCPath("prog/modelos/base.mdb")) << std::string(4096, 'x');
         },
         engine::err::kUnrecognizedFormat},
        {"a model that is a folder",
         [](IndexChain& t) {
             std::filesystem::remove(t.prefix.driveCPath("prog/modelos/base.mdb"));
             t.prefix.makeDir("prog/modelos/base.mdb");
         },
         engine::err::kCannotOpenFile},
        {"a catalog whose index name field is too short for a model index",
         [](IndexChain& t) {
             std::filesystem::remove(t.prefix.driveCPath("ActMirto/indices.mdb"));
             Json field = {{"type", engine::dbText}, {"size", 255}, {"allowZeroLength", true}};
             Json fields = Json::array();
             for (const char* name : {"nombreind", "tabla", "campo", "unico"}) {
                 field["name"] = name;
                 field["size"] = std::string(name) == "nombreind" ? 12 : 255;
                 fields.push_back(field);
             }
             Build(kIndexCatalogPath, {{"tables", {{{"name", kIndexTable}, {"fields", fields}}}}});
             t.form->Data3.Refresh();
         },
         engine::err::kFieldTooSmall},
        {"an old database with a damaged page",
         [](IndexChain& t) { DamageTable(t.prefix.driveCPath("datos/base.mdb"), "T"); },
         engine::err::kDatabaseDamaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        form.reset();
        std::filesystem::remove_all(prefix.driveCPath("prog/modelos/base.mdb"));
        std::filesystem::remove_all(prefix.driveCPath("datos/base.mdb"));
        catalogs::CreateCatalogs(true);
        form = std::make_unique<app::Actualiz>(host, "C:\\prog");
        form->Text3.SetText(kModel);
        form->Text4.SetText(kOld);
        Build(kOld, {{"tables",
                      {Table("T", {"a", "b"},
                             {Index("PrimaryKey", {"a"}, true, true), Index("Dos", {"b"})})}}});
        AddTableRows(kOld, "T", {{"1", "x"}, {"2", "y"}});
        Build(kModel, {{"tables", {Table("T", {"a", "b"}, {Index("UnNombreMuyLargo", {"a"})})}}});
        c.spoil(*this);

        Run("Command17_Click");

        EXPECT_EQ(ErrorNumbers(), (std::vector<int>{c.error}));
        EXPECT_EQ(IndexesOf(kOld, "T"),
                  (std::vector<std::string>{"Dos[b]", "PrimaryKey[a] unique primary"}));
    }
}

TEST_F(IndexChain, RemovalDeletesEveryRecordedIndexOfSeveralFieldsWithoutError) {
    Build(kOld,
          {{"tables",
            {Table("T", {"a", "b", "c"}, {Index("Uno", {"a"}), Index("Dos", {"b", "c"}, true)})}}});
    Build(kModel, {{"tables", {Table("T", {"a", "b", "c"}), Table("U", {"a"})}}});

    Run("Command17_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_TRUE(IndexesOf(kOld, "T").empty());
    // The chain went on into the model's listing.
    EXPECT_EQ(Items(form->List10), (std::vector<std::string>{"T", "U"}));
}

TEST_F(IndexChain, AFailingRemovalEndsTheChain) {
    Build(kOld, {{"tables", {Table("T", {"a"}, {Index("Uno", {"a"})})}}});
    Build(kModel,
          {{"tables", {Table("T", {"a"}, {Index("Modelo", {"a"})}), Table("Ausente", {"a"})}}});
    form->List10.AddItem("T");
    form->List10.AddItem("Ausente");
    AddIndexRows({{"Uno", "T", "a", "Falso"}, {"Otro", "Ausente", "a", "Falso"}});
    form->Bar4.SetValue(3);

    Run("Command18_Click");

    EXPECT_EQ(ErrorNumbers(), (std::vector<int>{engine::err::kItemNotFound}));
    EXPECT_TRUE(IndexesOf(kOld, "T").empty()) << "an index already removed stays removed";
    // Neither the model's listing nor the copy ran.
    EXPECT_EQ(Items(form->List10), (std::vector<std::string>{"T", "Ausente"}));
    EXPECT_EQ(IndexRows().size(), 2u);
    EXPECT_EQ(form->Bar4.Value(), 3.0f);
}

TEST_F(IndexChain, RemovalWithAnEmptyTableListGoesOnIntoTheModel) {
    Build(kOld, {{"tables", {Table("T", {"a", "b"}, {Index("Vieja", {"b"})})}}});
    Build(kModel, {{"tables", {Table("T", {"a", "b"}, {Index("Uno", {"a"})})}}});

    Run("Command18_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_EQ(IndexesOf(kOld, "T"), (std::vector<std::string>{"Uno[a]", "Vieja[b]"}));
    EXPECT_EQ(Items(form->List10), (std::vector<std::string>{"T"}));
}

TEST_F(IndexChain, EachDatabaseEndsWithItsOwnModelsIndexesOnly) {
    const std::string modelB = "C:\\prog\\modelos\\otra.mdb";
    const std::string oldB = "C:\\datos\\otra.mdb";
    Build(kModel, {{"tables",
                    {Table("T1", {"a", "b"}, {Index("MA1", {"a"})}),
                     Table("T2", {"a", "b"}, {Index("MA2", {"b"})})}}});
    Build(kOld, {{"tables",
                  {Table("T1", {"a", "b"}, {Index("OA1", {"b"})}),
                   Table("T2", {"a", "b"}, {Index("OA2", {"a"})})}}});
    Build(modelB, {{"tables",
                    {Table("T1", {"a", "b"}, {Index("MB1", {"b"})}),
                     Table("T2", {"a", "b"}, {Index("MB2", {"a"})})}}});
    Build(oldB, {{"tables",
                  {Table("T1", {"a", "b"}, {Index("OB1", {"a"})}),
                   Table("T2", {"a", "b"}, {Index("OB2", {"b"})})}}});

    Run("Command17_Click");
    form->Text3.SetText(modelB);
    form->Text4.SetText(oldB);
    Run("Command17_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_TRUE(form->Skipped().empty()) << form->Skipped().front().description;
    EXPECT_EQ(IndexesOf(kOld, "T1"), (std::vector<std::string>{"MA1[a]"}));
    EXPECT_EQ(IndexesOf(kOld, "T2"), (std::vector<std::string>{"MA2[b]"}));
    EXPECT_EQ(IndexesOf(oldB, "T1"), (std::vector<std::string>{"MB1[b]"}));
    EXPECT_EQ(IndexesOf(oldB, "T2"), (std::vector<std::string>{"MB2[a]"}));
    EXPECT_EQ(IndexRows(), (Rows{{"MB1", "T1", "b", "Falso"}, {"MB2", "T2", "a", "Falso"}}));
}

TEST_F(IndexChain, ATableNameWithAnApostropheKeepsTheChainGoing) {
    Build(
        kOld,
        {{"tables",
          {Table("Pedidos d'Europa", {"a", "b"}, {Index("Vieja", {"b"})}), Table("Zeta", {"a"})}}});
    Build(kModel, {{"tables",
                    {Table("Pedidos d'Europa", {"a", "b"}, {Index("Ped", {"a", "b"}, true)}),
                     Table("Zeta", {"a"}, {Index("Z", {"a"})})}}});

    Run("Command17_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_EQ(IndexesOf(kOld, "Pedidos d'Europa"), (std::vector<std::string>{"Ped[a,b] unique"}));
    EXPECT_EQ(IndexesOf(kOld, "Zeta"), (std::vector<std::string>{"Z[a]"}));
}

// ---- Copy ----

TEST_F(IndexChain, OnlyTheExactWordVerdaderoGivesAUniqueIndex) {
    Build(kOld, {{"tables", {Table("T", {"a", "b", "c"})}}});
    AddIndexRows(
        {{"Ia", "T", "a", "Verdadero"}, {"Ib", "T", "b", "verdadero"}, {"Ic", "T", "c", "Sí"}});
    form->List10.AddItem("T");

    Run("Command16_Click");

    EXPECT_EQ(IndexesOf(kOld, "T"), (std::vector<std::string>{"Ia[a] unique", "Ib[b]", "Ic[c]"}));
    EXPECT_TRUE(form->Skipped().empty());
}

TEST_F(IndexChain, AnOldIndexOfARecordedNameIsKeptAndTheClashRecorded) {
    Build(kOld, {{"tables", {Table("T", {"a", "b"}, {Index("Idx", {"a"})})}}});
    AddIndexRows({{"Idx", "T", "b", "Verdadero"}, {"Otro", "T", "b", "Falso"}});
    form->List10.AddItem("T");

    Run("Command16_Click");

    EXPECT_EQ(IndexesOf(kOld, "T"), (std::vector<std::string>{"Idx[a]", "Otro[b]"}));
    EXPECT_EQ(SkippedNumbers("Command16_Click"), (std::vector<int>{engine::err::kIndexExists}));
    EXPECT_EQ(form->Skipped().front().database, kOld);
}

TEST_F(IndexChain, AnIndexOverAFieldTheTableLacksIsPassedOverAndTheNextCreated) {
    Build(kOld, {{"tables", {Table("T", {"a", "b"})}}});
    AddIndexRows({{"Multi", "T", "a", "Falso"},
                  {"Multi", "T", "falta", "Falso"},
                  {"Bien", "T", "b", "Verdadero"}});
    form->List10.AddItem("T");

    Run("Command16_Click");

    EXPECT_EQ(IndexesOf(kOld, "T"), (std::vector<std::string>{"Bien[b] unique"}));
    EXPECT_EQ(form->Skipped().size(), 1u);
    EXPECT_TRUE(form->Errors().empty());
}

TEST_F(IndexChain, Bar4CountsTheRowsOfTheLastTableThatHasRows) {
    Build(kOld, {{"tables", {Table("T", {"a", "b", "c"}), Table("U", {"a"}), Table("V", {"a"})}}});
    AddIndexRows({{"Ia", "T", "a", "Falso"},
                  {"Ibc", "T", "b", "Falso"},
                  {"Ibc", "T", "c", "Falso"},
                  {"Ua", "U", "a", "Falso"},
                  {"Ub", "U", "a", "Verdadero"}});
    for (const char* t : {"T", "U", "V"}) form->List10.AddItem(t);

    Run("Command16_Click");

    EXPECT_EQ(form->Bar4.Max(), 2.0f);
    EXPECT_EQ(form->Bar4.Value(), 2.0f);
    // One repaint when the bar is set to 0 for a table, one per row.
    EXPECT_EQ(Frame13Refreshes(), (1 + 3) + (1 + 2));
    EXPECT_EQ(IndexesOf(kOld, "T"), (std::vector<std::string>{"Ia[a]", "Ibc[b,c]"}));
    EXPECT_EQ(IndexesOf(kOld, "U"), (std::vector<std::string>{"Ua[a]", "Ub[a] unique"}));
    EXPECT_EQ(form->List10.ListIndex(), 2);
    EXPECT_EQ(form->Data3.RecordSource(), "Select * from indices where tabla = 'V'");
}

TEST_F(IndexChain, ATableWithoutCatalogRowsLeavesBar4AsItWas) {
    Build(kOld, {{"tables", {Table("T", {"a"}, {Index("Propio", {"a"})})}}});
    form->List10.AddItem("T");
    form->Bar4.SetMax(9);
    form->Bar4.SetValue(7);

    Run("Command16_Click");

    EXPECT_EQ(form->Bar4.Max(), 9.0f);
    EXPECT_EQ(form->Bar4.Value(), 7.0f);
    EXPECT_EQ(Frame13Refreshes(), 0);
    EXPECT_EQ(IndexesOf(kOld, "T"), (std::vector<std::string>{"Propio[a]"}));
}

TEST_F(IndexChain, CopyWithAnEmptyTableListChangesNothing) {
    Build(kOld, {{"tables", {Table("T", {"a"})}}});
    AddIndexRows({{"Ia", "T", "a", "Falso"}});

    Run("Command16_Click");

    EXPECT_TRUE(IndexesOf(kOld, "T").empty());
    EXPECT_TRUE(form->Skipped().empty());
    EXPECT_TRUE(form->Errors().empty());
}

TEST_F(IndexChain, CopyWithoutTheOldDatabaseWalksTheRowsAndCreatesNothing) {
    AddIndexRows({{"Ia", "T", "a", "Falso"}, {"Ib", "T", "b", "Falso"}});
    form->List10.AddItem("T");

    Run("Command16_Click");

    EXPECT_TRUE(form->Errors().empty()) << "the copy reports nothing";
    EXPECT_EQ(form->Bar4.Max(), 2.0f);
    EXPECT_EQ(form->Bar4.Value(), 2.0f);
    ASSERT_FALSE(form->Skipped().empty());
    EXPECT_EQ(form->Skipped().front().number, engine::err::kFileNotFound);
    for (const auto& s : form->Skipped()) EXPECT_EQ(s.command, "Command16_Click");
}

}  // namespace
}  // namespace actualiz::testing

namespace actualiz::testing {
namespace {

class IndexKinds : public CatalogTest {};

// Every property of an index survives the catalog; an old table the model does not have keeps
// its own indexes.
TEST_F(IndexKinds, TheCatalogCarriesEveryPropertyAndLeavesTablesTheModelLacks) {
    Json key = Index("PrimaryKey", {"a"}, true, true);
    Json both = {{"name", "Ambos"},
                 {"fields", Json::array({"b", Json{{"name", "c"}, {"descending", true}}})},
                 {"unique", true},
                 {"primary", false},
                 {"ignoreNulls", true},
                 {"required", true}};
    Build(kModel, {{"tables", {Table("T", {"a", "b", "c"}, {key, both})}}});
    Build(kOld, {{"tables",
                  {Table("T", {"a", "b", "c"}, {Index("PrimaryKey", {"a"}, true)}),
                   Table("Propia", {"x"}, {Index("Suya", {"x"}, true)})}}});

    Run("Command17_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_TRUE(form->Skipped().empty()) << form->Skipped().front().description;
    EXPECT_EQ(Describe(kOld)["tables"][1]["indexes"], Describe(kModel)["tables"][0]["indexes"]);
    EXPECT_EQ(IndexesOf(kOld, "Propia"), std::vector<std::string>{"Suya[x] unique"});
}

// A catalog made by an older release has the four fields only: the chain works as before.
TEST_F(IndexKinds, AFourFieldCatalogStillWorks) {
    form.reset();
    std::filesystem::remove(prefix.driveCPath("ActMirto/indices.mdb"));
    {
        auto db = engine::CreateDatabase(catalogs::kIndexCatalogPath);
        auto t = db->CreateTableDef(catalogs::kIndexTable);
        for (const char* f : {"nombreind", "tabla", "campo", "unico"}) {
            auto field = t->CreateField(f, engine::dbText, 255);
            field->SetAllowZeroLength(true);
            t->Fields().Append(field);
        }
        db->TableDefs().Append(t);
        db->Close();
    }
    form = std::make_unique<app::Actualiz>(host, "C:\\prog");
    form->Text3.SetText(kModel);
    form->Text4.SetText(kOld);
    Build(
        kModel,
        {{"tables",
          {Table("T", {"a", "b"}, {Index("PrimaryKey", {"a"}, true, true), Index("B", {"b"})})}}});
    Build(kOld, {{"tables", {Table("T", {"a", "b"}, {Index("Vieja", {"b"})})}}});

    Run("Command17_Click");

    EXPECT_TRUE(form->Errors().empty());
    EXPECT_TRUE(form->Skipped().empty()) << form->Skipped().front().description;
    EXPECT_EQ(IndexesOf(kOld, "T"), (std::vector<std::string>{"B[b]", "PrimaryKey[a] unique"}));
}

// A primary key over a field that old rows leave Null cannot be the key; it still comes as a
// unique index over the same fields.
TEST_F(IndexKinds, AKeyTheRowsRefuseComesAsAUniqueIndex) {
    Build(kModel,
          {{"tables", {Table("T", {"a", "b"}, {Index("PrimaryKey", {"a", "b"}, true, true)})}}});
    Build(kOld, {{"tables", {Table("T", {"a", "b"})}}});
    {
        auto db = engine::OpenDatabase(kOld);
        auto rs = db->OpenRecordset("T");
        rs->AddNew();
        rs->Fields()["a"]->SetValue(engine::Value(std::string("2")));
        rs->Update();
        db->Close();
    }

    Run("Command17_Click");

    EXPECT_TRUE(form->Skipped().empty()) << form->Skipped().front().description;
    EXPECT_EQ(IndexesOf(kOld, "T"), std::vector<std::string>{"PrimaryKey[a,b] unique"});
}

}  // namespace
}  // namespace actualiz::testing
