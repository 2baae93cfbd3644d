#include "EngineFixture.h"

namespace actualiz::engine::testing {
namespace {

using QueryDefTest = EngineTest;

TEST_F(QueryDefTest, NamedCreateQueryDefStoresAtOnceAndTheTextExactlyAsGiven) {
    auto db = NewDatabase();
    AddTable(*db, "clientes", {"nombre"});
    const std::string sql =
        "SELECT clientes.nombre\r\nFROM clientes\r\nWHERE nombre Like \"A*\";\r\n";
    auto q = db->CreateQueryDef("Consulta A", sql);
    EXPECT_EQ(q->Name(), "Consulta A");
    EXPECT_EQ(q->SQL(), sql);
    auto again = Reopen();
    ASSERT_TRUE(again->QueryDefs().Contains("consulta a"));
    EXPECT_EQ(again->QueryDefs()["CONSULTA A"]->SQL(), sql);
    // Not a view: the file has none, so columns can still change.
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"),
                       "SELECT count(*) FROM sqlite_master WHERE type = 'view'")[0],
              "0");
}

TEST_F(QueryDefTest, AppendOfAQueryAlreadyStoredByCreateQueryDefGives3012) {
    auto db = NewDatabase();
    auto q = db->CreateQueryDef("q", "SELECT 1");
    EXPECT_EQ(ErrorOf([&] { db->QueryDefs().Append(q); }), err::kObjectExists);
    EXPECT_EQ(db->QueryDefs().Count(), 1);
    EXPECT_EQ(Reopen()->QueryDefs().Count(), 1);
}

TEST_F(QueryDefTest, DuplicateNamesOfQueriesOrTablesGive3012) {
    auto db = NewDatabase();
    AddTable(*db, "clientes", {"a"});
    db->CreateQueryDef("q", "SELECT 1");
    EXPECT_EQ(ErrorOf([&] { db->CreateQueryDef("Q", "SELECT 2"); }), err::kObjectExists);
    EXPECT_EQ(ErrorOf([&] { db->CreateQueryDef("CLIENTES", "SELECT 2"); }), err::kObjectExists);
    EXPECT_EQ(ErrorOf([&] { AddTable(*db, "q", {"a"}); }), err::kTableExists);
    EXPECT_EQ(Reopen()->QueryDefs()["q"]->SQL(), "SELECT 1");
}

TEST_F(QueryDefTest, TextThatIsNoStatementGives3129) {
    auto db = NewDatabase();
    for (const char* bad : {"", "   ", "hola", "PRAGMA table_info(x)", "ATTACH 'x' AS y",
                            "(DELETE FROM x)", "VACUUM"})
        EXPECT_EQ(ErrorOf([&] { db->CreateQueryDef("q", bad); }), err::kInvalidSql) << bad;
    EXPECT_EQ(db->QueryDefs().Count(), 0);
    // Statements of the classic dialect are kept even when this engine cannot run them.
    for (const char* good :
         {"TRANSFORM Sum(x) SELECT a FROM t GROUP BY a PIVOT b", "PARAMETERS [p] Text; SELECT 1",
          "  (SELECT 1) UNION (SELECT 2)", "insert into t values (1)", "UPDATE t SET a = 1",
          "DELETE * FROM t", "SELECT DISTINCTROW a FROM t"})
        db->CreateQueryDef(std::string("q") + std::to_string(db->QueryDefs().Count()), good);
    EXPECT_EQ(Reopen()->QueryDefs().Count(), 7);
}

TEST_F(QueryDefTest, QueriesAreInNameOrderAndDeleteByName) {
    auto db = NewDatabase();
    for (const char* n : {"b", "C", "a"}) db->CreateQueryDef(n, "SELECT 1");
    std::vector<std::string> names;
    auto again = Reopen();
    for (const auto& q : again->QueryDefs()) names.push_back(q->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "C"}));
    db->QueryDefs().Delete("c");
    EXPECT_EQ(ErrorOf([&] { db->QueryDefs().Delete("c"); }), err::kItemNotFound);
    EXPECT_EQ(Reopen()->QueryDefs().Count(), 2);
    // The name is free again, and the deleted object can be appended once more.
    db->CreateQueryDef("C", "SELECT 2");
    EXPECT_EQ(Reopen()->QueryDefs()["c"]->SQL(), "SELECT 2");
}

TEST_F(QueryDefTest, TemporaryQueryWithoutNameIsNotStored) {
    auto db = NewDatabase();
    auto q = db->CreateQueryDef("", "SELECT 1");
    EXPECT_EQ(q->SQL(), "SELECT 1");
    EXPECT_EQ(db->QueryDefs().Count(), 0);
    EXPECT_EQ(ErrorOf([&] { db->QueryDefs().Append(q); }), err::kInvalidName);
}

TEST_F(QueryDefTest, AppendOfANewQueryObjectStoresIt) {
    auto db = NewDatabase();
    db->QueryDefs().Append(std::make_shared<QueryDef>("suelta", "SELECT 3"));
    EXPECT_EQ(Reopen()->QueryDefs()["suelta"]->SQL(), "SELECT 3");
}

TEST_F(QueryDefTest, StoredQueryOpensAsARecordSetAndColumnsStillChange) {
    auto db = NewDatabase();
    auto t = AddTable(*db, "clientes", {"nombre", "ciudad"});
    AddRow(*db, "clientes", {std::string("Ana"), std::string("Lugo")});
    AddRow(*db, "clientes", {std::string("Luis"), std::string("Vigo")});
    db->CreateQueryDef("de Lugo", "SELECT nombre FROM clientes WHERE ciudad = 'LUGO';");
    auto rs = db->OpenRecordset("De Lugo");
    ASSERT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->Fields()["nombre"]->Text(), "Ana");
    t->Fields().Append(t->CreateField("nuevo", dbLong));
    t->Fields().Delete("nuevo");
    EXPECT_EQ(db->OpenRecordset("Select * from [de Lugo]")->RecordCount(), 1);
}

}  // namespace
}  // namespace actualiz::engine::testing
