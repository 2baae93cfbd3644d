#include "EngineFixture.h"

namespace actualiz::engine::testing {
namespace {

class RelationTest : public EngineTest {
  protected:
    // proveedores (codigo Long, nombre) is the primary table, gastos (numero, codigo Long) the
    // foreign one.
    std::shared_ptr<Database> Build() {
        auto db = NewDatabase();
        auto p = db->CreateTableDef("proveedores");
        p->Fields().Append(p->CreateField("codigo", dbLong));
        p->Fields().Append(p->CreateField("nombre", dbText, 30));
        db->TableDefs().Append(p);
        auto g = db->CreateTableDef("gastos");
        g->Fields().Append(g->CreateField("numero", dbLong));
        g->Fields().Append(g->CreateField("codigo", dbLong));
        db->TableDefs().Append(g);
        AddRow(*db, "proveedores", {1LL, std::string("Uno")});
        AddRow(*db, "proveedores", {2LL, std::string("Dos")});
        return db;
    }
    static std::shared_ptr<Relation> Relate(Database& db, const std::string& name,
                                            long attributes) {
        auto r = db.CreateRelation(name, "proveedores", "gastos", attributes);
        auto f = r->CreateField("codigo");
        f->SetForeignName("codigo");
        r->Fields().Append(f);
        db.Relations().Append(r);
        return r;
    }
    static long Count(Database& db, const std::string& sql) {
        return db.OpenRecordset(sql)->RecordCount();
    }
};

TEST_F(RelationTest, RelationIsStoredAsGivenAndListedInCreationOrder) {
    auto db = Build();
    Relate(*db, "zeta", dbRelationDontEnforce);
    auto r = db->CreateRelation("alfa", "PROVEEDORES", "Gastos", 4096 | 256);
    auto f = r->CreateField("Codigo");
    f->SetForeignName("CODIGO");
    r->Fields().Append(f);
    db->Relations().Append(r);

    auto again = Reopen();
    ASSERT_EQ(again->Relations().Count(), 2);
    EXPECT_EQ(again->Relations()[0]->Name(), "zeta");
    auto alfa = again->Relations()["ALFA"];
    EXPECT_EQ(alfa->Table(), "proveedores");
    EXPECT_EQ(alfa->ForeignTable(), "gastos");
    EXPECT_EQ(alfa->Attributes(), 4096 | 256);
    ASSERT_EQ(alfa->Fields().Count(), 1);
    EXPECT_EQ(alfa->Fields()[0]->Name(), "codigo");
    EXPECT_EQ(alfa->Fields()["codigo"]->ForeignName(), "codigo");
    EXPECT_EQ(again->Relations()[0]->Attributes(), dbRelationDontEnforce);
}

TEST_F(RelationTest, ErrorsOfRelationAppend) {
    auto db = Build();
    Relate(*db, "r", dbRelationDontEnforce);
    EXPECT_EQ(ErrorOf([&] { Relate(*db, "R", dbRelationDontEnforce); }), err::kObjectExists);
    EXPECT_EQ(ErrorOf([&] {
                  db->Relations().Append(db->CreateRelation("sin", "proveedores", "gastos"));
              }),
              err::kNoRelationFields);
    auto missingTable = db->CreateRelation("x", "nada", "gastos");
    missingTable->Fields().Append(missingTable->CreateField("codigo"));
    missingTable->Fields()["codigo"]->SetForeignName("codigo");
    EXPECT_EQ(ErrorOf([&] { db->Relations().Append(missingTable); }), err::kItemNotFound);
    auto missingField = db->CreateRelation("y", "proveedores", "gastos");
    missingField->Fields().Append(missingField->CreateField("codigo"));
    missingField->Fields()[0]->SetForeignName("no_hay");
    EXPECT_EQ(ErrorOf([&] { db->Relations().Append(missingField); }), err::kItemNotFound);
    auto mismatch = db->CreateRelation("z", "proveedores", "gastos");
    mismatch->Fields().Append(mismatch->CreateField("nombre"));
    mismatch->Fields()[0]->SetForeignName("codigo");
    EXPECT_EQ(ErrorOf([&] { db->Relations().Append(mismatch); }), err::kRelationTypeMismatch);
    EXPECT_EQ(ErrorOf([&] { db->Relations().Delete("nada"); }), err::kItemNotFound);
    EXPECT_EQ(Reopen()->Relations().Count(), 1);
}

TEST_F(RelationTest, WithoutEnforcementAnyDataIsAccepted) {
    auto db = Build();
    AddRow(*db, "gastos", {1LL, 99LL});
    Relate(*db, "codigo", dbRelationDontEnforce);
    AddRow(*db, "gastos", {2LL, 77LL});
    auto rs = db->OpenRecordset("proveedores");
    rs->Delete();
    EXPECT_EQ(Count(*db, "gastos"), 2);
}

TEST_F(RelationTest, EnforcedRelationRefusesExistingOrphans) {
    auto db = Build();
    AddRow(*db, "gastos", {1LL, 99LL});
    try {
        Relate(*db, "codigo", 0);
        FAIL() << "accepted";
    } catch (const EngineError& e) {
        EXPECT_NE(e.description().find("gastos"), std::string::npos);
        EXPECT_NE(e.description().find("proveedores"), std::string::npos);
    }
    EXPECT_EQ(Reopen()->Relations().Count(), 0);
}

TEST_F(RelationTest, EnforcedRelationHoldsEngineAndPlainSqliteWrites) {
    auto db = Build();
    AddRow(*db, "gastos", {1LL, 1LL});
    AddRow(*db, "gastos", {2LL, std::monostate{}});  // Null keys are not checked
    Relate(*db, "codigo", 0);
    EXPECT_EQ(ErrorOf([&] { AddRow(*db, "gastos", {3LL, 5LL}); }), err::kRelatedRecordRequired);
    AddRow(*db, "gastos", {3LL, 2LL});
    // Deleting or rekeying a referenced row is refused.
    auto rs = db->OpenRecordset("Select * from proveedores where codigo = 1");
    EXPECT_EQ(ErrorOf([&] { rs->Delete(); }), err::kRelatedRecordsExist);
    rs->Edit();
    rs->Fields()["codigo"]->SetValue(10LL);
    EXPECT_EQ(ErrorOf([&] { rs->Update(); }), err::kRelatedRecordsExist);
    // Another program writing the file directly is held too.
    int rc = 0;
    RawQuery(HostPath("prueba.mdb"), "INSERT INTO gastos VALUES (9, 42)", &rc);
    EXPECT_EQ(rc, SQLITE_CONSTRAINT);
    RawQuery(HostPath("prueba.mdb"), "DELETE FROM proveedores WHERE codigo = 2", &rc);
    EXPECT_EQ(rc, SQLITE_CONSTRAINT);
    EXPECT_EQ(Count(*db, "gastos"), 3);
    EXPECT_EQ(Count(*db, "proveedores"), 2);
}

TEST_F(RelationTest, CascadeDeleteAndUpdate) {
    auto db = Build();
    AddRow(*db, "gastos", {1LL, 1LL});
    AddRow(*db, "gastos", {2LL, 1LL});
    AddRow(*db, "gastos", {3LL, 2LL});
    Relate(*db, "codigo", dbRelationUpdateCascade | dbRelationDeleteCascade);
    auto rs = db->OpenRecordset("Select * from proveedores where codigo = 2");
    rs->Edit();
    rs->Fields()["codigo"]->SetValue(20LL);
    rs->Update();
    EXPECT_EQ(Count(*db, "Select * from gastos where codigo = 20"), 1);
    auto one = db->OpenRecordset("Select * from proveedores where codigo = 1");
    one->Delete();
    EXPECT_EQ(Count(*db, "gastos"), 1);
    EXPECT_EQ(Count(*db, "Select * from gastos where codigo = 1"), 0);
}

TEST_F(RelationTest, DeletingTheRelationRemovesItsEnforcement) {
    auto db = Build();
    Relate(*db, "codigo", 0);
    db->Relations().Delete("CODIGO");
    EXPECT_EQ(db->Relations().Count(), 0);
    AddRow(*db, "gastos", {1LL, 99LL});
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"),
                       "SELECT count(*) FROM sqlite_master WHERE type = 'trigger'")[0],
              "0");
    EXPECT_EQ(Reopen()->Relations().Count(), 0);
}

TEST_F(RelationTest, TablesAndFieldsOfARelationCannotBeDeleted) {
    auto db = Build();
    Relate(*db, "codigo", dbRelationDontEnforce);
    EXPECT_EQ(ErrorOf([&] { db->TableDefs().Delete("gastos"); }), err::kInRelationship);
    EXPECT_EQ(ErrorOf([&] { db->TableDefs()["proveedores"]->Fields().Delete("codigo"); }),
              err::kInRelationship);
    db->TableDefs()["proveedores"]->Fields().Delete("nombre");
}

TEST_F(RelationTest, IndexesMayBeReplacedWhileARelationReliesOnThem) {
    auto db = Build();
    auto p = db->TableDefs()["proveedores"];
    auto pk = p->CreateIndex("PrimaryKey");
    pk->Fields().Append(pk->CreateField("codigo"));
    pk->SetPrimary(true);
    p->Indexes().Append(pk);
    Relate(*db, "codigo", 0);
    p->Indexes().Delete("PrimaryKey");
    EXPECT_EQ(ErrorOf([&] { AddRow(*db, "gastos", {1LL, 50LL}); }), err::kRelatedRecordRequired);
}

TEST_F(RelationTest, StoredRelationCannotBeChanged) {
    auto db = Build();
    auto r = Relate(*db, "codigo", 0);
    EXPECT_EQ(ErrorOf([&] { r->Fields().Append(r->CreateField("nombre")); }),
              err::kInvalidOperation);
    EXPECT_EQ(ErrorOf([&] { r->Fields()[0]->SetForeignName("x"); }), err::kInvalidOperation);
}

}  // namespace
}  // namespace actualiz::engine::testing
