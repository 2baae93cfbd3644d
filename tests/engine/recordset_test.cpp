#include "EngineFixture.h"

#include <algorithm>
#include <set>

namespace actualiz::engine::testing {
namespace {

class RecordsetTest : public EngineTest {
  protected:
    // The index catalog's table, four text fields, with the given rows.
    std::shared_ptr<Database> Catalog(const std::vector<std::vector<std::string>>& rows) {
        auto db = NewDatabase("indices.mdb");
        AddTable(*db, "indices", {"nombreind", "tabla", "campo", "unico"});
        for (const auto& r : rows) {
            std::vector<Value> values(r.begin(), r.end());
            AddRow(*db, "indices", values);
        }
        return db;
    }
    static std::vector<std::string> Column(Recordset& rs, const std::string& field) {
        std::vector<std::string> out;
        if (rs.BOF() && rs.Eof()) return out;
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) out.push_back(rs.Fields()[field]->Text());
        return out;
    }
};

TEST_F(RecordsetTest, EmptySetIsAtBothEndsAndMovingRaises3021) {
    auto db = Catalog({});
    auto rs = db->OpenRecordset("indices");
    EXPECT_TRUE(rs->BOF());
    EXPECT_TRUE(rs->Eof());
    EXPECT_EQ(rs->RecordCount(), 0);
    for (auto move : {&Recordset::MoveFirst, &Recordset::MoveNext, &Recordset::MoveLast,
                      &Recordset::MovePrevious})
        EXPECT_EQ(ErrorOf([&] { ((*rs).*move)(); }), err::kNoCurrentRecord);
    EXPECT_EQ(ErrorOf([&] { rs->Fields()[0]->GetValue(); }), err::kNoCurrentRecord);
    EXPECT_EQ(ErrorOf([&] { rs->Delete(); }), err::kNoCurrentRecord);
}

TEST_F(RecordsetTest, NavigationFollowsTheClassicRules) {
    auto db =
        Catalog({{"a", "t", "c1", "Verdadero"}, {"b", "t", "c2", "Falso"}, {"c", "u", "c3", "z"}});
    auto rs = db->OpenRecordset("indices");
    EXPECT_FALSE(rs->BOF());
    EXPECT_FALSE(rs->Eof());
    EXPECT_EQ(rs->RecordCount(), 3);
    EXPECT_EQ(rs->Fields()["nombreind"]->Text(), "a");
    rs->MoveLast();
    EXPECT_EQ(rs->Fields()[0]->Text(), "c");
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());
    EXPECT_FALSE(rs->BOF());
    EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), err::kNoCurrentRecord);
    EXPECT_EQ(ErrorOf([&] { rs->Fields()[0]->GetValue(); }), err::kNoCurrentRecord);
    rs->MovePrevious();
    EXPECT_EQ(rs->Fields()[0]->Text(), "c");
    rs->MoveFirst();
    rs->MovePrevious();
    EXPECT_TRUE(rs->BOF());
    EXPECT_EQ(ErrorOf([&] { rs->MovePrevious(); }), err::kNoCurrentRecord);
    rs->MoveNext();
    EXPECT_EQ(rs->Fields()[0]->Text(), "a");
}

TEST_F(RecordsetTest, TheCatalogEmptyingLoopDeletesEveryRowOfTheView) {
    auto db = Catalog({{"a", "t", "c", "x"},
                       {"b", "u", "c", "x"},
                       {"c", "t", "c", "x"},
                       {"d", "t", "c", "x"},
                       {"e", "u", "c", "x"}});
    auto rs = db->OpenRecordset("Select * from indices where tabla = 't'");
    ASSERT_EQ(rs->RecordCount(), 3);
    if (!(rs->BOF() && rs->Eof())) {
        rs->MoveFirst();
        while (!rs->Eof()) {
            rs->Delete();
            if (!rs->Eof()) rs->MoveNext();
        }
    }
    EXPECT_EQ(rs->RecordCount(), 0);
    auto rest = db->OpenRecordset("indices");
    EXPECT_EQ(Column(*rest, "nombreind"), (std::vector<std::string>{"b", "e"}));
}

TEST_F(RecordsetTest, DeletedRowStaysCurrentUntilAMove) {
    auto db = Catalog({{"a", "t", "c", "x"}, {"b", "t", "c", "x"}, {"c", "t", "c", "x"}});
    auto rs = db->OpenRecordset("indices");
    rs->MoveNext();
    rs->Delete();
    EXPECT_FALSE(rs->Eof());
    EXPECT_FALSE(rs->BOF());
    EXPECT_EQ(ErrorOf([&] { rs->Fields()[0]->GetValue(); }), err::kRecordDeleted);
    EXPECT_EQ(ErrorOf([&] { rs->Delete(); }), err::kRecordDeleted);
    EXPECT_EQ(ErrorOf([&] { rs->Edit(); }), err::kRecordDeleted);
    rs->MoveNext();
    EXPECT_EQ(rs->Fields()[0]->Text(), "c");
    rs->MovePrevious();
    EXPECT_EQ(rs->Fields()[0]->Text(), "a");
    EXPECT_EQ(rs->RecordCount(), 2);
    // Deleting the last row: the row stays current, the next move reaches the end.
    rs->MoveLast();
    rs->Delete();
    EXPECT_FALSE(rs->Eof());
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());
}

TEST_F(RecordsetTest, AddNewUpdateAppendsAndComesBackToTheCurrentRow) {
    auto db = Catalog({{"a", "t", "c", "x"}});
    auto rs = db->OpenRecordset("Select * from indices where tabla = 't'");
    rs->AddNew();
    EXPECT_EQ(rs->EditMode(), 2);
    EXPECT_TRUE(IsNull(rs->Fields()[0]->GetValue()));
    rs->Fields()["nombreind"]->SetValue(std::string("PrimaryKey"));
    rs->Fields()["tabla"]->SetValue(std::string("t"));
    rs->Fields()["campo"]->SetValue(std::string("codigo"));
    rs->Fields()["unico"]->SetValue(std::string("Verdadero"));
    rs->Update();
    EXPECT_EQ(rs->EditMode(), 0);
    EXPECT_EQ(rs->RecordCount(), 2);
    EXPECT_EQ(rs->Fields()[0]->Text(), "a");
    rs->MoveLast();
    EXPECT_EQ(rs->Fields()[0]->Text(), "PrimaryKey");
    EXPECT_EQ(Column(*Reopen("indices.mdb")->OpenRecordset("indices"), "unico"),
              (std::vector<std::string>{"x", "Verdadero"}));
}

TEST_F(RecordsetTest, AddNewOnAnEmptySetMakesTheNewRowCurrent) {
    auto db = Catalog({});
    auto rs = db->OpenRecordset("indices");
    rs->AddNew();
    rs->Fields()[0]->SetValue(std::string("n"));
    rs->Update();
    EXPECT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Fields()[0]->Text(), "n");
}

TEST_F(RecordsetTest, EditUpdateAndCancelUpdate) {
    auto db = Catalog({{"a", "t", "c", "x"}});
    auto rs = db->OpenRecordset("indices");
    EXPECT_EQ(ErrorOf([&] { rs->Fields()[0]->SetValue(std::string("z")); }),
              err::kUpdateWithoutEdit);
    EXPECT_EQ(ErrorOf([&] { rs->Update(); }), err::kUpdateWithoutEdit);
    EXPECT_EQ(ErrorOf([&] { rs->CancelUpdate(); }), err::kUpdateWithoutEdit);
    rs->Edit();
    rs->Fields()[0]->SetValue(std::string("z"));
    EXPECT_EQ(rs->Fields()[0]->Text(), "z");
    rs->CancelUpdate();
    EXPECT_EQ(rs->Fields()[0]->Text(), "a");
    rs->Edit();
    rs->Fields()[0]->SetValue(std::string("b"));
    rs->Update();
    EXPECT_EQ(rs->Fields()[0]->Text(), "b");
    EXPECT_EQ(Column(*Reopen("indices.mdb")->OpenRecordset("indices"), "nombreind"),
              std::vector<std::string>{"b"});
    // Moving away abandons a pending edit.
    rs->Edit();
    rs->Fields()[0]->SetValue(std::string("perdido"));
    rs->MoveFirst();
    EXPECT_EQ(rs->Fields()[0]->Text(), "b");
}

TEST_F(RecordsetTest, CallbacksLetBoundTextBoxesFollowTheCurrentRowAndSaveIntoIt) {
    auto db = Catalog({{"a", "t", "c", "x"}, {"b", "t", "c", "x"}});
    auto rs = db->OpenRecordset("indices");
    std::string box;  // a bound text box
    std::vector<std::string> shown;
    rs->OnCurrentChanged([&] {
        box = rs->EditMode() == 2 || !(rs->BOF() || rs->Eof()) ? rs->Fields()[0]->Text() : "";
        shown.push_back(box);
    });
    rs->OnBeforeUpdate([&] { rs->Fields()[0]->SetValue(box); });
    rs->MoveNext();
    EXPECT_EQ(box, "b");
    rs->AddNew();
    EXPECT_EQ(box, "");  // cleared for the new row
    box = "nuevo";
    rs->Update();
    EXPECT_EQ(box, "b");  // back on the row that was current
    rs->MoveLast();
    EXPECT_EQ(box, "nuevo");
    EXPECT_EQ(shown, (std::vector<std::string>{"b", "", "b", "nuevo"}));
}

TEST_F(RecordsetTest, FieldWalkReportsNamesTypesAndSizes) {
    auto db = NewDatabase();
    auto t = db->CreateTableDef("Empleados");
    t->Fields().Append(t->CreateField("Nombre", dbText, 30));
    t->Fields().Append(t->CreateField("Cuota", dbInteger, 5));
    t->Fields().Append(t->CreateField("Notas", dbMemo));
    t->Fields().Append(t->CreateField("Alta", dbDate));
    t->Fields().Append(t->CreateField("Fijo", dbBoolean));
    db->TableDefs().Append(t);
    auto rs = db->OpenRecordset("Select * from [Empleados]");
    ASSERT_EQ(rs->Fields().Count(), 5);
    std::vector<std::tuple<std::string, short, long>> seen;
    for (int i = 0; i < rs->Fields().Count(); ++i)
        seen.emplace_back(rs->Fields()[i]->Name(), rs->Fields()[i]->Type(),
                          rs->Fields()[i]->Size());
    EXPECT_EQ(seen, (std::vector<std::tuple<std::string, short, long>>{{"Nombre", dbText, 30},
                                                                       {"Cuota", dbInteger, 2},
                                                                       {"Notas", dbMemo, 0},
                                                                       {"Alta", dbDate, 8},
                                                                       {"Fijo", dbBoolean, 1}}));
}

TEST_F(RecordsetTest, ValuesAreConvertedAndCheckedLikeTheClassicEngine) {
    auto db = NewDatabase();
    auto t = db->CreateTableDef("t");
    t->Fields().Append(t->CreateField("texto", dbText, 5));
    t->Fields().Append(t->CreateField("entero", dbInteger));
    t->Fields().Append(t->CreateField("doble", dbDouble));
    t->Fields().Append(t->CreateField("si", dbBoolean));
    auto memo = t->CreateField("memo", dbMemo);
    memo->SetAllowZeroLength(true);
    t->Fields().Append(memo);
    auto req = t->CreateField("req", dbLong);
    req->SetRequired(true);
    t->Fields().Append(req);
    t->Fields().Append(t->CreateField("fecha", dbDate));
    db->TableDefs().Append(t);

    auto rs = db->OpenRecordset("t");
    rs->AddNew();
    auto f = [&](const char* n) { return rs->Fields()[n]; };
    EXPECT_EQ(ErrorOf([&] { f("texto")->SetValue(std::string("seis c")); }), err::kFieldTooSmall);
    f("texto")->SetValue(std::string("añoÑ!"));  // five characters, more bytes
    EXPECT_EQ(ErrorOf([&] { f("entero")->SetValue(std::string("abc")); }), err::kConversion);
    EXPECT_EQ(ErrorOf([&] { f("entero")->SetValue(40000LL); }), err::kConversion);
    f("entero")->SetValue(std::string(" 12 "));
    f("doble")->SetValue(std::string("2,5"));
    f("si")->SetValue(std::string("Verdadero"));
    f("memo")->SetValue(std::string(""));
    // A date typed as text is stored in the form queries compare against (day first); a text
    // that is no date is refused, not kept in a date field.
    EXPECT_EQ(ErrorOf([&] { f("fecha")->SetValue(std::string("mañana")); }), err::kConversion);
    f("fecha")->SetValue(std::string("4/8/94"));
    EXPECT_EQ(ErrorOf([&] { rs->Update(); }), err::kFieldRequired);
    f("req")->SetValue(std::string("7"));
    rs->Update();
    rs->MoveFirst();
    EXPECT_EQ(std::get<long long>(f("entero")->GetValue()), 12);
    EXPECT_EQ(std::get<double>(f("doble")->GetValue()), 2.5);
    EXPECT_EQ(std::get<long long>(f("si")->GetValue()), -1);
    EXPECT_EQ(f("texto")->Text(), "añoÑ!");
    EXPECT_EQ(f("memo")->Text(), "");
    EXPECT_EQ(f("fecha")->Text(), "1994-08-04 00:00:00");
    EXPECT_EQ(db->OpenRecordset("SELECT * FROM t WHERE fecha = #8/4/1994#")->RecordCount(), 1);
    // A text field that does not allow zero-length strings refuses "".
    rs->Edit();
    f("texto")->SetValue(std::string(""));
    EXPECT_EQ(ErrorOf([&] { rs->Update(); }), err::kZeroLength);
    rs->CancelUpdate();
    // "" into a number is Null.
    rs->Edit();
    f("doble")->SetValue(std::string(""));
    rs->Update();
    EXPECT_TRUE(IsNull(f("doble")->GetValue()));
}

TEST_F(RecordsetTest, ClassicDialectIsTranslated) {
    auto db = NewDatabase();
    auto t = db->CreateTableDef("Detalles de pedidos");
    t->Fields().Append(t->CreateField("Categoría", dbText, 20));
    t->Fields().Append(t->CreateField("Cantidad", dbLong));
    t->Fields().Append(t->CreateField("Activo", dbBoolean));
    db->TableDefs().Append(t);
    AddRow(*db, "Detalles de pedidos", {std::string("Vinos"), 5LL, -1LL});
    AddRow(*db, "Detalles de pedidos", {std::string("Quesos"), 7LL, 0LL});
    AddRow(*db, "Detalles de pedidos", {std::string("Vermut"), 9LL, -1LL});
    auto count = [&](const std::string& sql) { return db->OpenRecordset(sql)->RecordCount(); };
    EXPECT_EQ(count("Select * from [Detalles de pedidos]"), 3);
    EXPECT_EQ(count("select * FROM [DETALLES DE PEDIDOS] where [CATEGORÍA] = 'vinos'"), 1);
    EXPECT_EQ(count("SELECT * FROM [Detalles de pedidos] WHERE Categoría = \"Quesos\";"), 1);
    EXPECT_EQ(count("SELECT * FROM [Detalles de pedidos] WHERE Categoría Like 'V*'"), 2);
    EXPECT_EQ(count("SELECT * FROM [Detalles de pedidos] WHERE Categoría Like 'V?nos'"), 1);
    EXPECT_EQ(count("SELECT * FROM [Detalles de pedidos] WHERE Activo = True"), 2);
    EXPECT_EQ(count("SELECT DISTINCTROW * FROM [Detalles de pedidos] WHERE Activo = False"), 1);
    EXPECT_EQ(count("SELECT TOP 2 * FROM [Detalles de pedidos] ORDER BY Cantidad DESC"), 2);
    auto joined = db->OpenRecordset(
        "SELECT [Detalles de pedidos].Categoría & '-' & Cantidad AS c FROM [Detalles de pedidos] "
        "WHERE Cantidad = 5");
    EXPECT_EQ(joined->Fields()["c"]->Text(), "Vinos-5");
    auto ordered = db->OpenRecordset(
        "SELECT UCase(Categoría) AS u FROM [Detalles de pedidos] ORDER BY Categoría");
    EXPECT_EQ(Column(*ordered, "u"), (std::vector<std::string>{"QUESOS", "VERMUT", "VINOS"}));
}

TEST_F(RecordsetTest, OnlyOneSelectStatementIsAccepted) {
    auto db = Catalog({{"a", "t", "c", "x"}});
    EXPECT_EQ(ErrorOf([&] { db->OpenRecordset("Select * from indices; DROP TABLE indices"); }),
              err::kCharactersAfterEnd);
    EXPECT_EQ(ErrorOf([&] { db->OpenRecordset("PRAGMA table_info(indices)"); }), err::kInvalidSql);
    EXPECT_EQ(ErrorOf([&] { db->OpenRecordset("ATTACH 'x.db' AS x"); }), err::kInvalidSql);
    EXPECT_EQ(ErrorOf([&] { db->OpenRecordset("DELETE FROM indices"); }), err::kInvalidOperation);
    EXPECT_EQ(ErrorOf([&] { db->OpenRecordset("SELECT * INTO copia FROM indices"); }),
              err::kInvalidOperation);
    EXPECT_NE(ErrorOf([&] { db->OpenRecordset("SELECT * FROM pragma_table_info('indices')"); }), 0);
    EXPECT_EQ(ErrorOf([&] { db->OpenRecordset("Select * from noexiste"); }),
              err::kInputTableNotFound);
    EXPECT_EQ(ErrorOf([&] { db->OpenRecordset("Select * from indices where x = 1"); }),
              err::kTooFewParameters);
    // A table name holding an apostrophe breaks the select text, as it always has.
    EXPECT_NE(ErrorOf([&] { db->OpenRecordset("Select * from indices where tabla = 'O'Hara'"); }),
              0);
    EXPECT_EQ(db->OpenRecordset("indices")->RecordCount(), 1);
}

TEST_F(RecordsetTest, JoinsAndComputedSetsAreReadOnly) {
    auto db = Catalog({{"a", "t", "c", "x"}});
    AddTable(*db, "tablas", {"nombre"});
    AddRow(*db, "tablas", {std::string("t")});
    auto join = db->OpenRecordset(
        "SELECT indices.nombreind, tablas.nombre FROM indices INNER JOIN tablas ON indices.tabla "
        "= tablas.nombre");
    EXPECT_FALSE(join->Updatable());
    EXPECT_EQ(join->RecordCount(), 1);
    EXPECT_EQ(ErrorOf([&] { join->AddNew(); }), err::kReadOnly);
    EXPECT_FALSE(db->OpenRecordset("SELECT count(*) AS n FROM indices")->Updatable());
    EXPECT_FALSE(db->OpenRecordset("SELECT DISTINCT tabla FROM indices")->Updatable());
    EXPECT_FALSE(db->OpenRecordset("MSysObjects")->Updatable());
    EXPECT_TRUE(
        db->OpenRecordset("SELECT nombreind FROM indices AS i WHERE i.tabla = 't'")->Updatable());
}

TEST_F(RecordsetTest, OpenSetBlocksNoOtherConnection) {
    auto db = Catalog({{"a", "t", "c", "x"}, {"b", "t", "c", "x"}});
    auto rs = db->OpenRecordset("indices");
    // Another connection changes the table's structure and rows while the set stays open.
    auto other = Reopen("indices.mdb");
    auto t = other->TableDefs()["indices"];
    t->Fields().Append(t->CreateField("extra", dbLong));
    auto ix = t->CreateIndex("ix");
    ix->Fields().Append(ix->CreateField("tabla"));
    t->Indexes().Append(ix);
    other->TableDefs().Append([&] {
        auto n = other->CreateTableDef("nueva");
        n->Fields().Append(n->CreateField("a"));
        return n;
    }());
    int rc = -1;
    RawQuery(HostPath("indices.mdb"), "DELETE FROM indices WHERE nombreind = 'b'", &rc);
    EXPECT_EQ(rc, SQLITE_OK);
    // The open set keeps working.
    rs->MoveLast();
    rs->AddNew();
    rs->Fields()[0]->SetValue(std::string("c"));
    rs->Update();
    EXPECT_EQ(db->OpenRecordset("indices")->RecordCount(), 2);
}

TEST_F(RecordsetTest, ClosedSetRaises3420) {
    auto db = Catalog({{"a", "t", "c", "x"}});
    auto rs = db->OpenRecordset("indices");
    auto field = rs->Fields()[0];
    rs->Close();
    EXPECT_EQ(ErrorOf([&] { rs->MoveFirst(); }), err::kObjectClosed);
    EXPECT_EQ(ErrorOf([&] { field->GetValue(); }), err::kObjectClosed);
}

TEST_F(RecordsetTest, WalkOfTenThousandRowsIsExact) {
    auto db = NewDatabase();
    AddTable(*db, "t", {"a"});
    auto h = db->Handle();
    ASSERT_EQ(sqlite3_exec(h,
                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                           "i < 10000) INSERT INTO t SELECT i FROM n",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    auto rs = db->OpenRecordset("t");
    long n = 0;
    long long sum = 0;
    for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
        ++n;
        sum += std::stoll(rs->Fields()[0]->Text());
    }
    EXPECT_EQ(n, 10000);
    EXPECT_EQ(rs->RecordCount(), 10000);
    EXPECT_EQ(sum, 10000LL * 10001 / 2);

    // The rows come in batches: walking back, and deleting where one batch meets the next, must
    // still find every row in its place.
    long expected = 10000;
    for (rs->MoveLast(); !rs->BOF(); rs->MovePrevious())
        ASSERT_EQ(std::stol(rs->Fields()[0]->Text()), expected--);
    EXPECT_EQ(expected, 0);
    rs->MoveFirst();
    for (int i = 0; i < 400; ++i) rs->MoveNext();
    EXPECT_EQ(rs->Fields()[0]->Text(), "401");
    rs->Delete();
    rs->MoveNext();
    EXPECT_EQ(rs->Fields()[0]->Text(), "402");
    rs->MovePrevious();
    EXPECT_EQ(rs->Fields()[0]->Text(), "400");
    EXPECT_EQ(rs->RecordCount(), 9999);

    // A filtered and sorted set keeps its own order across batches (the field is text: 9, 99,
    // 999, 9999, 9998 ...).
    auto sorted = db->OpenRecordset("Select a from t where a like '9*' order by a desc");
    std::vector<std::string> seen;
    for (sorted->MoveFirst(); !sorted->Eof(); sorted->MoveNext())
        seen.push_back(sorted->Fields()[0]->Text());
    EXPECT_EQ(seen.size(), 1111u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end(), std::greater<>()));
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), seen.size());
}

// Counts the rows the connection's statements hand out, leaving out its own PRAGMA questions.
int CountRow(unsigned, void* counter, void* statement, void*) {
    std::string_view sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement));
    if (sql.rfind("PRAGMA", 0) != 0) ++*static_cast<long*>(counter);
    return 0;
}

TEST_F(RecordsetTest, ListingTheFieldsOfATableReadsNoRow) {
    auto db = NewDatabase();
    AddTable(*db, "t", {"a", "b"});
    ASSERT_EQ(sqlite3_exec(db->Handle(),
                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                           "i < 5000) INSERT INTO t SELECT i, 'x' FROM n",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    long rows = 0;
    sqlite3_trace_v2(db->Handle(), SQLITE_TRACE_ROW, CountRow, &rows);
    auto rs = db->OpenRecordset("Select * from [t]");
    std::vector<std::string> names;
    for (int i = 0; i < rs->Fields().Count(); ++i) {
        names.push_back(rs->Fields()[i]->Name());
        rs->Fields()[i]->Type();
        rs->Fields()[i]->Size();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(rows, 0);
    // The counter does count: the first look at the rows reads them.
    EXPECT_FALSE(rs->Eof());
    EXPECT_GT(rows, 0);
    sqlite3_trace_v2(db->Handle(), 0, nullptr, nullptr);
}

}  // namespace
}  // namespace actualiz::engine::testing
