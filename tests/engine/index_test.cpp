#include "EngineFixture.h"

namespace actualiz::engine::testing {
namespace {

using IndexTest = EngineTest;

std::shared_ptr<Index> MakeIndex(TableDef& t, const std::string& name,
                                 const std::vector<std::string>& fields, bool unique = false,
                                 bool primary = false) {
    auto ix = t.CreateIndex(name);
    for (const auto& f : fields) ix->Fields().Append(ix->CreateField(f));
    ix->SetUnique(unique);
    ix->SetPrimary(primary);
    return ix;
}

TEST_F(IndexTest, IndexesKeepCreationOrderFieldsAndFlags) {
    auto db = NewDatabase();
    auto t = AddTable(*db, "pedidos", {"cliente", "fecha", "numero"});
    t->Indexes().Append(MakeIndex(*t, "PrimaryKey", {"numero"}, true, true));
    auto ix = MakeIndex(*t, "ClienteFecha", {"Cliente"});
    auto desc = ix->CreateField("fecha");
    desc->SetAttributes(dbDescending);
    ix->Fields().Append(desc);
    t->Indexes().Append(ix);
    t->Indexes().Append(MakeIndex(*t, "Aaa", {"fecha"}, true));

    auto again = Reopen();
    auto& indexes = again->TableDefs()["pedidos"]->Indexes();
    ASSERT_EQ(indexes.Count(), 3);
    EXPECT_EQ(indexes[0]->Name(), "PrimaryKey");
    EXPECT_TRUE(indexes[0]->Primary());
    EXPECT_TRUE(indexes[0]->Unique());
    EXPECT_EQ(indexes[1]->Name(), "ClienteFecha");
    EXPECT_FALSE(indexes[1]->Unique());
    ASSERT_EQ(indexes[1]->Fields().Count(), 2);
    EXPECT_EQ(indexes[1]->Fields()[0]->Name(), "cliente");  // the table's spelling
    EXPECT_EQ(indexes[1]->Fields()[1]->Name(), "fecha");
    EXPECT_EQ(indexes[1]->Fields()[1]->Attributes(), dbDescending);
    EXPECT_EQ(indexes[2]->Name(), "Aaa");
    EXPECT_TRUE(indexes[2]->Unique());
    EXPECT_FALSE(indexes[2]->Primary());
    // Real SQLite indexes back them.
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"),
                       "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = "
                       "'pedidos'")[0],
              "3");
}

TEST_F(IndexTest, SameIndexNameInTwoTablesIsFine) {
    auto db = NewDatabase();
    auto a = AddTable(*db, "a", {"x"});
    auto b = AddTable(*db, "b", {"x"});
    a->Indexes().Append(MakeIndex(*a, "PrimaryKey", {"x"}, true, true));
    b->Indexes().Append(MakeIndex(*b, "PrimaryKey", {"x"}, true, true));
    EXPECT_EQ(Reopen()->TableDefs()["b"]->Indexes()["primarykey"]->Name(), "PrimaryKey");
}

TEST_F(IndexTest, ErrorsOfIndexAppend) {
    auto db = NewDatabase();
    auto t = AddTable(*db, "t", {"a", "b"});
    t->Indexes().Append(MakeIndex(*t, "ia", {"a"}));
    EXPECT_EQ(ErrorOf([&] { t->Indexes().Append(MakeIndex(*t, "IA", {"b"})); }), err::kIndexExists);
    EXPECT_EQ(ErrorOf([&] { t->Indexes().Append(t->CreateIndex("vacio")); }), err::kNoFields);
    EXPECT_EQ(ErrorOf([&] { t->Indexes().Append(MakeIndex(*t, "ic", {"no_existe"})); }),
              err::kItemNotFound);
    t->Indexes().Append(MakeIndex(*t, "pk", {"a"}, true, true));
    EXPECT_EQ(ErrorOf([&] { t->Indexes().Append(MakeIndex(*t, "pk2", {"b"}, true, true)); }),
              err::kPrimaryKeyExists);
    EXPECT_EQ(ErrorOf([&] { t->CreateIndex("mal.nombre"); }), err::kInvalidName);
    auto ix = t->CreateIndex("dup");
    ix->Fields().Append(ix->CreateField("a"));
    EXPECT_EQ(ErrorOf([&] { ix->Fields().Append(ix->CreateField("A")); }), err::kFieldDefinedTwice);
    EXPECT_EQ(Reopen()->TableDefs()["t"]->Indexes().Count(), 2);
}

TEST_F(IndexTest, StoredIndexCannotBeChanged) {
    auto db = NewDatabase();
    auto t = AddTable(*db, "t", {"a", "b"});
    auto ix = MakeIndex(*t, "ia", {"a"});
    t->Indexes().Append(ix);
    EXPECT_EQ(ErrorOf([&] { ix->SetUnique(true); }), err::kInvalidOperation);
    EXPECT_EQ(ErrorOf([&] { ix->Fields().Append(ix->CreateField("b")); }), err::kInvalidOperation);
    EXPECT_EQ(ErrorOf([&] { t->Indexes().Append(ix); }), err::kIndexExists);
}

TEST_F(IndexTest, UniqueIndexOverRepeatedValuesGives3022AndIsNotCreated) {
    auto db = NewDatabase();
    auto t = AddTable(*db, "t", {"a"});
    AddRow(*db, "t", {std::string("x")});
    AddRow(*db, "t", {std::string("X")});  // text compares without regard to case
    EXPECT_EQ(ErrorOf([&] { t->Indexes().Append(MakeIndex(*t, "u", {"a"}, true)); }),
              err::kDuplicateInIndex);
    EXPECT_EQ(t->Indexes().Count(), 0);
    EXPECT_EQ(Reopen()->TableDefs()["t"]->Indexes().Count(), 0);
    // A plain index over the same data is fine.
    t->Indexes().Append(MakeIndex(*t, "u", {"a"}));
}

TEST_F(IndexTest, UniqueIndexHoldsLaterWrites) {
    auto db = NewDatabase();
    auto t = AddTable(*db, "t", {"a"});
    t->Indexes().Append(MakeIndex(*t, "u", {"a"}, true));
    AddRow(*db, "t", {std::string("uno")});
    EXPECT_EQ(ErrorOf([&] { AddRow(*db, "t", {std::string("UNO")}); }), err::kDuplicateInIndex);
    // Nulls repeat freely in a unique index.
    AddRow(*db, "t", {std::monostate{}});
    AddRow(*db, "t", {std::monostate{}});
    EXPECT_EQ(db->OpenRecordset("t")->RecordCount(), 3);
}

TEST_F(IndexTest, PrimaryKeyRefusesNulls) {
    auto db = NewDatabase();
    auto t = AddTable(*db, "t", {"a", "b"});
    AddRow(*db, "t", {std::monostate{}, std::string("x")});
    EXPECT_EQ(ErrorOf([&] { t->Indexes().Append(MakeIndex(*t, "pk", {"a"}, true, true)); }),
              err::kNullInIndex);
    t->Indexes().Append(MakeIndex(*t, "pk", {"b"}, true, true));
    EXPECT_EQ(ErrorOf([&] { AddRow(*db, "t", {std::string("y")}); }), err::kNullInIndex);
}

TEST_F(IndexTest, DeleteByNameRemovesTheSqliteIndex) {
    auto db = NewDatabase();
    auto t = AddTable(*db, "t", {"a"});
    t->Indexes().Append(MakeIndex(*t, "u", {"a"}, true));
    t->Indexes().Delete("U");
    EXPECT_EQ(t->Indexes().Count(), 0);
    EXPECT_EQ(ErrorOf([&] { t->Indexes().Delete("u"); }), err::kItemNotFound);
    AddRow(*db, "t", {std::string("x")});
    AddRow(*db, "t", {std::string("x")});
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"),
                       "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = "
                       "'t'")[0],
              "0");
    EXPECT_EQ(Reopen()->TableDefs()["t"]->Indexes().Count(), 0);
}

// Two connections changing the indexes of one file: each change acts on what the file holds at
// that moment, never on an Id read when its connection opened (Ids are reused).
TEST_F(IndexTest, TwoConnectionsChangingOneFileLeaveItsSystemTablesAndSqliteInAgreement) {
    auto first = NewDatabase();
    auto t = AddTable(*first, "t", {"a", "b"});
    t->Indexes().Append(MakeIndex(*t, "viejo", {"a"}));
    auto second = Reopen();
    auto t2 = second->TableDefs()["t"];
    t2->Indexes().Delete("viejo");
    t2->Indexes().Append(MakeIndex(*t2, "nuevo", {"b"}));

    // The first connection still lists the old index; deleting it must not take the new one's
    // rows, and appending the new one's name must be refused as the name it is.
    EXPECT_EQ(ErrorOf([&] { t->Indexes().Delete("viejo"); }), err::kItemNotFound);
    EXPECT_EQ(ErrorOf([&] { t->Indexes().Append(MakeIndex(*t, "nuevo", {"a"})); }),
              err::kIndexExists);

    const auto file = HostPath("prueba.mdb");
    EXPECT_EQ(RawQuery(file, "SELECT SqlName FROM MSysIndexes"),
              std::vector<std::string>{"t.nuevo"});
    EXPECT_EQ(RawQuery(file,
                       "SELECT name FROM sqlite_master WHERE type = 'index' AND name NOT "
                       "LIKE 'sqlite%' AND tbl_name NOT LIKE 'MSys%'"),
              std::vector<std::string>{"t.nuevo"});
    EXPECT_EQ(RawQuery(file, "SELECT Name FROM MSysIndexColumns"), std::vector<std::string>{"b"});
}

TEST_F(IndexTest, IndexesAppendedBeforeTheTableAreStoredWithIt) {
    auto db = NewDatabase();
    auto t = db->CreateTableDef("gastosgen");
    t->Fields().Append(t->CreateField("codigo", dbLong));
    t->Fields().Append(t->CreateField("concepto", dbText, 40));
    t->Indexes().Append(MakeIndex(*t, "PrimaryKey", {"codigo"}, true, true));
    t->Indexes().Append(MakeIndex(*t, "concepto", {"concepto"}));
    db->TableDefs().Append(t);
    auto again = Reopen();
    auto& indexes = again->TableDefs()["gastosgen"]->Indexes();
    ASSERT_EQ(indexes.Count(), 2);
    EXPECT_TRUE(indexes["PrimaryKey"]->Primary());
    EXPECT_EQ(indexes[1]->Fields()[0]->Name(), "concepto");
}

}  // namespace
}  // namespace actualiz::engine::testing
