#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "EngineFixture.h"
#include "support/RunProgram.h"

namespace actualiz::engine::testing {
namespace {

using TableDefTest = EngineTest;

std::vector<std::string> UserTables(Database& db) {
    std::vector<std::string> names;
    for (const auto& t : db.TableDefs())
        if (!IsSystemName(t->Name())) names.push_back(t->Name());
    return names;
}

TEST_F(TableDefTest, TableDefsAreInCaseInsensitiveNameOrderAfterReopening) {
    auto db = NewDatabase();
    for (const char* name : {"proveedores", "Clientes", "articulos", "Zonas", "bancos"})
        AddTable(*db, name, {"a"});
    std::vector<std::string> expected = {"articulos", "bancos", "Clientes", "proveedores", "Zonas"};
    EXPECT_EQ(UserTables(*db), expected);
    EXPECT_EQ(UserTables(*Reopen()), expected);
    // Indexes made table after table in turn: each table keeps its own once the definitions are
    // read from the rows the connection keeps (the second opening of an unchanged file on).
    for (const auto& [table, index] : std::vector<std::pair<std::string, std::string>>{
             {"proveedores", "p1"}, {"Zonas", "z1"}, {"proveedores", "p2"}, {"articulos", "a1"}}) {
        auto t = db->TableDefs()[table];
        auto ix = t->CreateIndex(index);
        ix->Fields().Append(ix->CreateField("a"));
        t->Indexes().Append(ix);
    }
    for (int opening = 0; opening < 3; ++opening) {
        auto again = Reopen();
        EXPECT_EQ(UserTables(*again), expected) << opening;
        std::vector<std::string> indexes;
        for (const auto& t : again->TableDefs())
            for (const auto& ix : t->Indexes()) indexes.push_back(t->Name() + "." + ix->Name());
        EXPECT_EQ(indexes, std::vector<std::string>(
                               {"articulos.a1", "proveedores.p1", "proveedores.p2", "Zonas.z1"}))
            << opening;
    }
}

TEST_F(TableDefTest, LookupByNameIgnoresCaseIncludingAccentedLetters) {
    auto db = NewDatabase();
    AddTable(*db, "Categoría", {"Descripción"});
    AddTable(*db, "clientes", {"a"});
    // The same lookups once the file is opened again and again unchanged: the tables are then
    // found by name without being made first.
    auto reopened = Reopen();
    for (const auto& d : {db, reopened, Reopen()}) {
        EXPECT_EQ(d->TableDefs()["CATEGORÍA"]->Name(), "Categoría");
        EXPECT_EQ(d->TableDefs()["Clientes"]->Name(), "clientes");
        EXPECT_EQ(d->TableDefs()["categoría"]->Fields()["DESCRIPCIÓN"]->Name(), "Descripción");
        EXPECT_FALSE(d->TableDefs().Contains("Categoria"));
        EXPECT_EQ(ErrorOf([&] { d->TableDefs()["nada"]; }), err::kItemNotFound);
        EXPECT_EQ(ErrorOf([&] { d->TableDefs()[1000]; }), err::kItemNotFound);
        EXPECT_EQ(ErrorOf([&] { d->TableDefs()[-1]; }), err::kItemNotFound);
    }
}

TEST_F(TableDefTest, AppendingATableWhoseNameDiffersOnlyInCaseGives3010) {
    auto db = NewDatabase();
    AddTable(*db, "Categoría", {"a"});
    EXPECT_EQ(ErrorOf([&] { AddTable(*db, "CATEGORÍA", {"a"}); }), err::kTableExists);
    EXPECT_EQ(ErrorOf([&] { AddTable(*db, "categoría", {"a"}); }), err::kTableExists);
    EXPECT_EQ(ErrorOf([&] { AddTable(*db, "MSysObjects", {"a"}); }), err::kTableExists);
    EXPECT_EQ(UserTables(*Reopen()).size(), 1u);
}

TEST_F(TableDefTest, TableWithoutFieldsGives3264) {
    auto db = NewDatabase();
    auto t = db->CreateTableDef("vacia");
    EXPECT_EQ(ErrorOf([&] { db->TableDefs().Append(t); }), err::kNoFields);
    EXPECT_FALSE(db->TableDefs().Contains("vacia"));
}

TEST_F(TableDefTest, InvalidNamesGive3125) {
    auto db = NewDatabase();
    for (std::string bad : {std::string(""), std::string("a.b"), std::string("a!b"),
                            std::string("a[b"), std::string("a]b"), std::string("a`b"),
                            std::string(" lead"), std::string("tab\there"), std::string(65, 'x')}) {
        EXPECT_EQ(ErrorOf([&] {
                      db->CreateTableDef(bad);
                      db->TableDefs().Append(db->CreateTableDef(bad));
                  }),
                  err::kInvalidName)
            << bad;
    }
    auto t = db->CreateTableDef("ok");
    EXPECT_EQ(ErrorOf([&] { t->CreateField("a.b"); }), err::kInvalidName);
    // Blanks inside, accents, reserved words and 64 characters are fine.
    AddTable(*db, "Detalles de pedidos", {"Order", "Año", std::string(64, 'n')});
    EXPECT_TRUE(Reopen()->TableDefs().Contains("detalles de pedidos"));
}

TEST_F(TableDefTest, FieldsKeepTypeSizeAndFlagsInFieldOrder) {
    auto db = NewDatabase();
    auto t = db->CreateTableDef("todos");
    struct Wanted {
        const char* name;
        short type;
        std::optional<long> size;
        long expectedSize;
    };
    std::vector<Wanted> wanted = {
        {"si", dbBoolean, {}, 1},   {"byte", dbByte, {}, 1},       {"Cuota", dbInteger, 5, 2},
        {"largo", dbLong, {}, 4},   {"moneda", dbCurrency, {}, 8}, {"simple", dbSingle, {}, 4},
        {"doble", dbDouble, {}, 8}, {"fecha", dbDate, {}, 8},      {"bin", dbBinary, 16, 16},
        {"texto", dbText, {}, 255}, {"corto", dbText, 20, 20},     {"ole", dbLongBinary, {}, 0},
        {"memo", dbMemo, {}, 0},    {"guid", dbGUID, {}, 16},
    };
    for (const auto& s : wanted) {
        auto f = t->CreateField(s.name, s.type, s.size);
        if (s.type == dbText || s.type == dbMemo) f->SetAllowZeroLength(true);
        if (std::string(s.name) == "largo") f->SetRequired(true);
        t->Fields().Append(f);
    }
    db->TableDefs().Append(t);
    auto reopened = Reopen();
    for (auto* source : {db.get(), reopened.get()}) {
        auto stored = source->TableDefs()["todos"];
        ASSERT_EQ(stored->Fields().Count(), static_cast<int>(wanted.size()));
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            auto f = stored->Fields()[static_cast<int>(i)];
            EXPECT_EQ(f->Name(), wanted[i].name);
            EXPECT_EQ(f->Type(), wanted[i].type) << wanted[i].name;
            EXPECT_EQ(f->Size(), wanted[i].expectedSize) << wanted[i].name;
            bool text = wanted[i].type == dbText || wanted[i].type == dbMemo;
            EXPECT_EQ(f->AllowZeroLength(), text) << wanted[i].name;
            EXPECT_EQ(f->Required(), std::string(wanted[i].name) == "largo");
        }
    }
}

TEST_F(TableDefTest, BadTypesAndTextSizesAreRefused) {
    auto db = NewDatabase();
    auto t = db->CreateTableDef("t");
    EXPECT_EQ(ErrorOf([&] { t->CreateField("a", 99); }), err::kInvalidType);
    EXPECT_EQ(ErrorOf([&] { t->CreateField("a", 0); }), err::kInvalidType);
    EXPECT_EQ(ErrorOf([&] { t->CreateField("a", dbText, 0); }), err::kInvalidArgument);
    EXPECT_EQ(ErrorOf([&] { t->CreateField("a", dbText, 256); }), err::kInvalidArgument);
    EXPECT_EQ(t->CreateField("a", dbText, 255)->Size(), 255);
    EXPECT_EQ(t->CreateField("a", dbText, 1)->Size(), 1);
}

TEST_F(TableDefTest, FieldDefinedTwiceGives3191) {
    auto db = NewDatabase();
    auto t = db->CreateTableDef("t");
    t->Fields().Append(t->CreateField("Nombre"));
    EXPECT_EQ(ErrorOf([&] { t->Fields().Append(t->CreateField("NOMBRE")); }),
              err::kFieldDefinedTwice);
    db->TableDefs().Append(t);
    EXPECT_EQ(ErrorOf([&] { t->Fields().Append(t->CreateField("nombre", dbLong)); }),
              err::kFieldDefinedTwice);
    EXPECT_EQ(Reopen()->TableDefs()["t"]->Fields().Count(), 1);
}

TEST_F(TableDefTest, AppendingAFieldKeepsEveryRowsData) {
    auto db = NewDatabase();
    auto t = db->CreateTableDef("Empleados");
    t->Fields().Append(t->CreateField("Nombre", dbText, 30));
    t->Fields().Append(t->CreateField("Edad", dbInteger));
    db->TableDefs().Append(t);
    for (int i = 0; i < 50; ++i) AddRow(*db, "Empleados", {"n" + std::to_string(i), (long long)i});

    auto other = Reopen();
    auto ot = other->TableDefs()["empleados"];
    auto f = ot->CreateField("Dirección", dbText, 60);
    f->SetAllowZeroLength(true);
    ot->Fields().Append(f);
    ot->Fields().Append(ot->CreateField("Alta", dbDate));
    EXPECT_EQ(ot->Fields().Count(), 4);

    auto rs = Reopen()->OpenRecordset("Select * from Empleados");
    ASSERT_EQ(rs->Fields().Count(), 4);
    EXPECT_EQ(rs->Fields()[2]->Name(), "Dirección");
    EXPECT_EQ(rs->Fields()[2]->Size(), 60);
    EXPECT_EQ(rs->RecordCount(), 50);
    int i = 0;
    for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext(), ++i) {
        EXPECT_EQ(rs->Fields()["Nombre"]->Text(), "n" + std::to_string(i));
        EXPECT_EQ(std::get<long long>(rs->Fields()["Edad"]->GetValue()), i);
        EXPECT_TRUE(IsNull(rs->Fields()["Dirección"]->GetValue()));
    }
    EXPECT_TRUE(Reopen()->TableDefs()["Empleados"]->Fields()["dirección"]->AllowZeroLength());
}

TEST_F(TableDefTest, DeletingAFieldKeepsTheOtherColumnsData) {
    auto db = NewDatabase();
    AddTable(*db, "t", {"a", "b", "c"});
    AddRow(*db, "t", {std::string("1"), std::string("2"), std::string("3")});
    AddRow(*db, "t", {std::string("4"), std::string("5"), std::string("6")});
    db->TableDefs()["t"]->Fields().Delete("B");
    auto again = Reopen();
    auto t = again->TableDefs()["t"];
    ASSERT_EQ(t->Fields().Count(), 2);
    EXPECT_EQ(t->Fields()[1]->Name(), "c");
    auto rs = again->OpenRecordset("t");
    EXPECT_EQ(rs->Fields()["a"]->Text() + rs->Fields()["c"]->Text(), "13");
    rs->MoveNext();
    EXPECT_EQ(rs->Fields()["a"]->Text() + rs->Fields()["c"]->Text(), "46");
    EXPECT_EQ(ErrorOf([&] { t->Fields().Delete("b"); }), err::kItemNotFound);
    // A field appended later goes after the others.
    t->Fields().Append(t->CreateField("d", dbLong));
    auto order = Reopen()->TableDefs()["t"];
    EXPECT_EQ(order->Fields()[2]->Name(), "d");
}

TEST_F(TableDefTest, FieldOfAnIndexCannotBeDeleted) {
    auto db = NewDatabase();
    auto t = AddTable(*db, "t", {"a", "b"});
    auto ix = t->CreateIndex("ia");
    ix->Fields().Append(ix->CreateField("a"));
    t->Indexes().Append(ix);
    EXPECT_EQ(ErrorOf([&] { t->Fields().Delete("a"); }), err::kFieldInIndex);
    EXPECT_EQ(Reopen()->TableDefs()["t"]->Fields().Count(), 2);
}

TEST_F(TableDefTest, DeletingATableRemovesItAndItsDefinitions) {
    auto db = NewDatabase();
    auto t = AddTable(*db, "borrar", {"a"});
    auto ix = t->CreateIndex("ia");
    ix->Fields().Append(ix->CreateField("a"));
    t->Indexes().Append(ix);
    AddTable(*db, "queda", {"a"});
    db->TableDefs().Delete("BORRAR");
    EXPECT_FALSE(db->TableDefs().Contains("borrar"));
    EXPECT_EQ(UserTables(*Reopen()), std::vector<std::string>{"queda"});
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"), "SELECT count(*) FROM MSysIndexes")[0], "0");
    EXPECT_EQ(ErrorOf([&] { db->TableDefs().Delete("borrar"); }), err::kItemNotFound);
    // The name is free again.
    AddTable(*db, "borrar", {"x"});
}

TEST_F(TableDefTest, SystemTablesAreListedButCannotBeChanged) {
    auto db = NewDatabase();
    auto sys = db->TableDefs()["MSysObjects"];
    EXPECT_FALSE(sys->Updatable());
    EXPECT_GT(sys->Fields().Count(), 0);
    EXPECT_NE(ErrorOf([&] { sys->Fields().Append(sys->CreateField("x")); }), 0);
    EXPECT_NE(ErrorOf([&] { db->TableDefs().Delete("MSysObjects"); }), 0);
    EXPECT_TRUE(Reopen()->TableDefs().Contains("MSysObjects"));
}

TEST_F(TableDefTest, UserTableWhoseNameStartsWithMSysIsAllowed) {
    auto db = NewDatabase();
    AddTable(*db, "MSysPropia", {"a"});
    AddTable(*db, "msysminusculas", {"a"});
    auto again = Reopen();
    EXPECT_TRUE(again->TableDefs().Contains("MSysPropia"));
    EXPECT_TRUE(IsSystemName("MSysPropia"));
    EXPECT_FALSE(IsSystemName("msysminusculas"));
}

// Atomicity: a refused Append leaves the file exactly as it was.
TEST_F(TableDefTest, FailingTableAppendLeavesTheFileUnchanged) {
    auto db = NewDatabase();
    AddTable(*db, "t", {"a"});
    db->Close();
    std::string before = ReadBytes(HostPath("prueba.mdb"));
    db = Reopen();
    auto t = db->CreateTableDef("nueva");
    t->Fields().Append(t->CreateField("a"));
    auto ix = t->CreateIndex("ix");
    ix->Fields().Append(ix->CreateField("no_existe"));
    t->Indexes().Append(ix);
    EXPECT_EQ(ErrorOf([&] { db->TableDefs().Append(t); }), err::kItemNotFound);
    EXPECT_FALSE(db->TableDefs().Contains("nueva"));
    db->Close();
    EXPECT_EQ(ReadBytes(HostPath("prueba.mdb")), before);
}

TEST_F(TableDefTest, FailureInsideTheTransactionRollsEverythingBack) {
    auto db = NewDatabase();
    // A table made behind the engine's back, so only SQLite notices the clash when the engine
    // creates its table; the engine's own rows must not survive the failure.
    db->Close();
    RawQuery(HostPath("prueba.mdb"), "CREATE TABLE \"ajena\" (x)");
    std::string before = ReadBytes(HostPath("prueba.mdb"));
    db = Reopen();
    EXPECT_NE(ErrorOf([&] { AddTable(*db, "ajena", {"a"}); }), 0);
    EXPECT_FALSE(db->TableDefs().Contains("ajena"));
    db->Close();
    EXPECT_EQ(ReadBytes(HostPath("prueba.mdb")), before);
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"),
                       "SELECT count(*) FROM MSysObjects WHERE Name = 'ajena'")[0],
              "0");
}

TEST_F(TableDefTest, FieldsMayBeAppendedWhileADataControlKeepsARecordSetOpen) {
    auto db = NewDatabase();
    AddTable(*db, "Empleados", {"Nombre"});
    AddRow(*db, "Empleados", {std::string("Ana")});
    // The data control's own connection, its record set open on the table.
    auto control = Reopen();
    auto rs = control->OpenRecordset("Empleados");
    ASSERT_EQ(rs->Fields()[0]->Text(), "Ana");

    auto other = Reopen();
    auto t = other->TableDefs()["Empleados"];
    t->Fields().Append(t->CreateField("Extra", dbLong));
    t->Fields().Delete("Extra");
    t->Fields().Append(t->CreateField("Otro", dbText, 10));

    // The open set still works and writes; a new set shows the new field.
    rs->Edit();
    rs->Fields()[0]->SetValue(std::string("Eva"));
    rs->Update();
    auto fresh = control->OpenRecordset("Select * from [Empleados]");
    ASSERT_EQ(fresh->Fields().Count(), 2);
    EXPECT_EQ(fresh->Fields()[1]->Name(), "Otro");
    EXPECT_EQ(fresh->Fields()[1]->Type(), dbText);
    EXPECT_EQ(fresh->Fields()[1]->Size(), 10);
    EXPECT_TRUE(fresh->Updatable());
    EXPECT_EQ(fresh->Fields()[0]->Text(), "Eva");
    // A table made by the other connection opens by name as well.
    AddTable(*other, "Nueva", {"x"});
    EXPECT_TRUE(control->OpenRecordset("nueva")->Updatable());
    EXPECT_TRUE(control->TableDefs().Contains("Nueva"));
}

}  // namespace
}  // namespace actualiz::engine::testing

namespace actualiz::engine::testing {
namespace {

using FieldPropertiesTest = EngineTest;

// A table "movimientos" with a counter, a text field with a default and a rule, and a table rule.
std::shared_ptr<TableDef> AddMovements(Database& db) {
    auto t = db.CreateTableDef("movimientos");
    auto id = t->CreateField("codigo", dbLong);
    id->SetAttributes(dbAutoIncrField);
    t->Fields().Append(id);
    auto kind = t->CreateField("tipo", dbText, 1);
    kind->SetDefaultValue("\"E\"");
    kind->SetValidationRule("In (\"E\",\"S\")");
    kind->SetValidationText("Tipo E o S");
    t->Fields().Append(kind);
    auto amount = t->CreateField("cantidad", dbLong);
    amount->SetDefaultValue("=1");
    amount->SetValidationRule("> 0 And < 1000");
    t->Fields().Append(amount);
    t->Fields().Append(t->CreateField("minimo", dbLong));
    t->SetValidationRule("[minimo] Is Null Or [minimo] <= [cantidad]");
    auto key = t->CreateIndex("PrimaryKey");
    key->Fields().Append(key->CreateField("codigo"));
    key->SetPrimary(true);
    t->Indexes().Append(key);
    db.TableDefs().Append(t);
    return t;
}

TEST_F(FieldPropertiesTest, ACounterNumbersItselfForTheEngineAndForSqlite) {
    auto db = NewDatabase();
    AddMovements(*db);
    AddRow(*db, "movimientos", {Value{}, std::string("S"), 5LL});
    auto rs = db->OpenRecordset("movimientos");
    rs->AddNew();
    rs->Fields()["cantidad"]->SetValue(7LL);
    rs->Update();  // neither the key nor the defaulted field needs a value
    rs->Close();
    RawQuery(HostPath("prueba.mdb"), "INSERT INTO movimientos (cantidad) VALUES (9)");
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"),
                       "SELECT codigo || tipo || cantidad FROM movimientos ORDER BY codigo"),
              (std::vector<std::string>{"1S5", "2E7", "3E9"}));
    auto again = Reopen();
    auto field = again->TableDefs()["movimientos"]->Fields()["codigo"];
    EXPECT_EQ(field->Attributes(), dbFixedField | dbAutoIncrField);
    EXPECT_EQ(again->TableDefs()["movimientos"]->Fields()["tipo"]->Attributes(), dbVariableField);
    EXPECT_EQ(again->TableDefs()["movimientos"]->Fields()["cantidad"]->OrdinalPosition(), 2);
    // The file itself says it: the counter is the table's row number.
    EXPECT_NE(
        RawQuery(HostPath("prueba.mdb"), "SELECT sql FROM sqlite_master WHERE name = 'movimientos'")
            .front()
            .find("\"codigo\" INTEGER PRIMARY KEY"),
        std::string::npos);
}

TEST_F(FieldPropertiesTest, CountersAreLongsAndOnePerTable) {
    auto db = NewDatabase();
    auto t = db->CreateTableDef("t");
    auto text = t->CreateField("a", dbText, 10);
    text->SetAttributes(dbAutoIncrField);
    t->Fields().Append(text);
    EXPECT_EQ(ErrorOf([&] { db->TableDefs().Append(t); }), err::kInvalidType);
    auto u = db->CreateTableDef("u");
    for (const char* name : {"a", "b"}) {
        auto f = u->CreateField(name, dbLong);
        f->SetAttributes(dbAutoIncrField);
        u->Fields().Append(f);
    }
    EXPECT_EQ(ErrorOf([&] { db->TableDefs().Append(u); }), err::kInvalidOperation);
    EXPECT_EQ(UserTables(*db).size(), 0u);
}

TEST_F(FieldPropertiesTest, ACounterAppendedToATableWithRowsNumbersOldAndNewRows) {
    auto db = NewDatabase();
    AddTable(*db, "clientes", {"nombre"});
    AddRow(*db, "clientes", {std::string("Ana")});
    AddRow(*db, "clientes", {std::string("Luis")});
    auto t = db->TableDefs()["clientes"];
    auto id = t->CreateField("numero", dbLong);
    id->SetAttributes(dbAutoIncrField);
    t->Fields().Append(id);
    AddRow(*Reopen(), "clientes", {std::string("Eva")});
    EXPECT_EQ(
        RawQuery(HostPath("prueba.mdb"), "SELECT numero || nombre FROM clientes ORDER BY numero"),
        (std::vector<std::string>{"1Ana", "2Luis", "3Eva"}));
    // The field can still be deleted.
    auto again = Reopen();
    again->TableDefs()["clientes"]->Fields().Delete("numero");
    EXPECT_FALSE(Reopen()->TableDefs()["clientes"]->Fields().Contains("numero"));
}

TEST_F(FieldPropertiesTest, RulesAreCheckedWithTheirTextByTheEngineAndBySqlite) {
    auto db = NewDatabase();
    AddMovements(*db);
    auto write = [&](const Value& kind, const Value& amount, const Value& minimum) {
        return ErrorOf([&] { AddRow(*db, "movimientos", {Value{}, kind, amount, minimum}); });
    };
    EXPECT_EQ(write(std::string("X"), 5LL, Value{}), err::kValidationRule);
    EXPECT_EQ(write(std::string("E"), 0LL, Value{}), err::kValidationRule);
    EXPECT_EQ(write(std::string("E"), 5LL, 6LL), err::kValidationRule);
    EXPECT_EQ(write(std::string("E"), 5LL, 5LL), 0);
    try {
        AddRow(*db, "movimientos", {Value{}, std::string("X"), 5LL, Value{}});
    } catch (const EngineError& e) {
        EXPECT_EQ(e.description(), "Tipo E o S");
    }
    int rc = 0;
    RawQuery(HostPath("prueba.mdb"), "INSERT INTO movimientos (tipo) VALUES ('Z')", &rc);
    EXPECT_EQ(rc & 0xff, SQLITE_CONSTRAINT);
}

// A day counted from today (local time), at midnight, in the stored form of dates.
std::string LocalDay(int fromToday) {
    const std::time_t when = std::time(nullptr) + static_cast<std::time_t>(fromToday) * 86400;
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d 00:00:00", &local);
    return text;
}

// SQLite refuses Date(), Now() and Time() in a CHECK: such a rule is kept as it is and enforced on
// insert and on update of the field (of any field for a table's rule), for sqlite3 as well.
TEST_F(FieldPropertiesTest, RulesThatReadTheClockAreCheckedOnInsertAndUpdate) {
    struct Case {
        std::string rule;
        bool tableRule;  // the table's rule, naming [fecha]; else the rule of the field fecha
        std::string passes, fails;
    };
    const Case cases[] = {
        {"< Date()", false, "2000-01-01 00:00:00", "2999-01-01 00:00:00"},
        // Date() is today at midnight, so today's date passes and tomorrow's does not.
        {"<= Date()", false, LocalDay(0), LocalDay(1)},
        {"Is Null Or Between #1/1/1900# And Now()", false, "2000-01-01 10:00:00",
         "2999-01-01 00:00:00"},
        {"[fecha] Is Null Or [fecha] >= Date()", true, "2999-01-01 00:00:00",
         "2000-01-01 00:00:00"},
        {"[fecha] < Now() Or [nota] = \"futura\"", true, "2000-01-01 00:00:00",
         "2999-01-01 00:00:00"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        const std::string name = "reloj" + std::to_string(++n) + ".mdb";
        auto db = NewDatabase(name);
        auto t = db->CreateTableDef("citas");
        auto date = t->CreateField("fecha", dbDate);
        if (!c.tableRule) date->SetValidationRule(c.rule);
        date->SetValidationText("Fecha fuera de plazo");
        t->Fields().Append(date);
        t->Fields().Append(t->CreateField("nota", dbText, 10));
        if (c.tableRule) {
            t->SetValidationRule(c.rule);
            t->SetValidationText("Fecha fuera de plazo");
        }
        db->TableDefs().Append(t);

        AddRow(*db, "citas", {c.passes, std::string("a")});
        try {
            AddRow(*db, "citas", {c.fails, std::string("b")});
            ADD_FAILURE() << "a row breaking the rule was inserted";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.number(), err::kValidationRule);
            EXPECT_EQ(e.description(), "Fecha fuera de plazo");
        }
        auto rs = db->OpenRecordset("citas");
        rs->Edit();
        rs->Fields()["fecha"]->SetValue(c.fails);
        EXPECT_EQ(ErrorOf([&] { rs->Update(); }), err::kValidationRule);
        rs->CancelUpdate();
        rs->Close();
        // Plain SQLite writes are held to it too, and the file holds no CHECK SQLite refuses.
        const auto file = HostPath(name);
        int rc = 0;
        RawQuery(file, "INSERT INTO citas VALUES ('" + c.fails + "', 'x')", &rc);
        EXPECT_EQ(rc & 0xff, SQLITE_CONSTRAINT);
        RawQuery(file, "UPDATE citas SET fecha = '" + c.fails + "'", &rc);
        EXPECT_EQ(rc & 0xff, SQLITE_CONSTRAINT);
        RawQuery(file, "UPDATE citas SET nota = 'c'", &rc);
        EXPECT_EQ(rc, SQLITE_OK);
        EXPECT_EQ(RawQuery(file, "SELECT count(*) FROM sqlite_master WHERE type = 'trigger'"),
                  (std::vector<std::string>{"2"}));
        // Read back, the rule is the same and still enforced.
        auto again = Reopen(name);
        auto table = again->TableDefs()["citas"];
        EXPECT_EQ(
            c.tableRule ? table->ValidationRule() : table->Fields()["fecha"]->ValidationRule(),
            c.rule);
        EXPECT_EQ(ErrorOf([&] {
                      AddRow(*again, "citas", {c.fails, std::string("d")});
                  }),
                  err::kValidationRule);
        AddRow(*again, "citas", {Value{}, std::string("e")});
    }
}

TEST_F(FieldPropertiesTest, AFieldWithAClockRuleIsAppendedAndDeletedWithItsTriggers) {
    auto db = NewDatabase();
    AddTable(*db, "clientes", {"nombre"});
    AddRow(*db, "clientes", {std::string("Ana")});
    auto t = db->TableDefs()["clientes"];
    auto born = t->CreateField("nacimiento", dbDate);
    born->SetValidationRule("< Date()");
    t->Fields().Append(born);
    EXPECT_EQ(ErrorOf([&] {
                  AddRow(*Reopen(), "clientes", {std::string("Eva"), std::string("2999-01-01")});
              }),
              err::kValidationRule);
    AddRow(*db, "clientes", {std::string("Eva"), std::string("1990-05-01")});
    // A default that reads the clock, which SQLite takes in no ADD COLUMN, is given to new rows.
    auto since = t->CreateField("alta", dbDate);
    since->SetDefaultValue("=Date()");
    t->Fields().Append(since);
    AddRow(*Reopen(), "clientes", {std::string("Luis")});
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"), "SELECT alta FROM clientes ORDER BY _rowid_"),
              (std::vector<std::string>{"NULL", "NULL", LocalDay(0)}));
    t->Fields().Delete("alta");
    t->Fields().Delete("nacimiento");
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"),
                       "SELECT count(*) FROM sqlite_master WHERE type = 'trigger'"),
              (std::vector<std::string>{"0"}));
    EXPECT_FALSE(Reopen()->TableDefs()["clientes"]->Fields().Contains("nacimiento"));
    // A field the table's enforced rule names stays (its CHECK or triggers would read it).
    auto u = db->CreateTableDef("plazos");
    u->Fields().Append(u->CreateField("inicio", dbDate));
    u->Fields().Append(u->CreateField("fin", dbDate));
    u->Fields().Append(u->CreateField("nota", dbText, 10));
    u->SetValidationRule("[fin] Is Null Or [fin] >= [inicio] And [inicio] <= Now()");
    db->TableDefs().Append(u);
    EXPECT_EQ(ErrorOf([&] { u->Fields().Delete("inicio"); }), err::kInvalidOperation);
    u->Fields().Delete("nota");
    auto movements = AddMovements(*db);
    EXPECT_EQ(ErrorOf([&] { movements->Fields().Delete("minimo"); }), err::kInvalidOperation);
    EXPECT_TRUE(Reopen()->TableDefs()["plazos"]->Fields().Contains("inicio"));
}

TEST_F(FieldPropertiesTest, ARequiredIndexRefusesNulls) {
    auto db = NewDatabase();
    AddTable(*db, "t", {"a", "b"});
    auto t = db->TableDefs()["t"];
    auto ix = t->CreateIndex("a");
    ix->Fields().Append(ix->CreateField("a"));
    ix->SetRequired(true);
    t->Indexes().Append(ix);
    EXPECT_TRUE(Reopen()->TableDefs()["t"]->Indexes()["a"]->Required());
    EXPECT_EQ(ErrorOf([&] { AddRow(*db, "t", {Value{}, std::string("x")}); }), err::kNullInIndex);
    AddRow(*db, "t", {std::string("x"), Value{}});
}

TEST_F(FieldPropertiesTest, StoredDefinitionsKeepTheirRulesAndCounters) {
    auto db = NewDatabase();
    AddMovements(*db);
    auto t = db->TableDefs()["movimientos"];
    auto kind = t->Fields()["tipo"];
    EXPECT_EQ(ErrorOf([&] { kind->SetDefaultValue("\"S\""); }), err::kInvalidOperation);
    EXPECT_EQ(ErrorOf([&] { kind->SetValidationRule(""); }), err::kInvalidOperation);
    EXPECT_EQ(ErrorOf([&] { kind->SetAttributes(dbAutoIncrField); }), err::kInvalidOperation);
    EXPECT_EQ(ErrorOf([&] { t->SetValidationRule(""); }), err::kInvalidOperation);
    auto again = Reopen()->TableDefs()["movimientos"];
    EXPECT_EQ(again->Fields()["tipo"]->DefaultValue(), "\"E\"");
    EXPECT_EQ(again->Fields()["tipo"]->ValidationText(), "Tipo E o S");
    EXPECT_EQ(again->ValidationRule(), "[minimo] Is Null Or [minimo] <= [cantidad]");
}

TEST_F(FieldPropertiesTest, AFileOfTheFirstFormatOpensAndIsBroughtUpToDate) {
    {
        auto db = NewDatabase();
        AddTable(*db, "clientes", {"nombre"});
        AddRow(*db, "clientes", {std::string("Ana")});
    }
    // What the first release wrote: no property columns.
    for (const char* sql :
         {"ALTER TABLE MSysObjects DROP COLUMN ValidationRule",
          "ALTER TABLE MSysObjects DROP COLUMN ValidationText",
          "ALTER TABLE MSysColumns DROP COLUMN Attributes",
          "ALTER TABLE MSysColumns DROP COLUMN DefaultValue",
          "ALTER TABLE MSysColumns DROP COLUMN ValidationRule",
          "ALTER TABLE MSysColumns DROP COLUMN ValidationText",
          "ALTER TABLE MSysIndexes DROP COLUMN IsRequired",
          "DELETE FROM MSysColumns WHERE Name IN ('ValidationRule', 'ValidationText', "
          "'Attributes', 'DefaultValue', 'IsRequired')",
          "PRAGMA user_version = 1"}) {
        int rc = 0;
        RawQuery(HostPath("prueba.mdb"), sql, &rc);
        ASSERT_EQ(rc, SQLITE_OK) << sql;
    }
    std::filesystem::permissions(HostPath("prueba.mdb"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_EQ(Reopen()->TableDefs()["clientes"]->Fields()["nombre"]->Attributes(), dbVariableField);
    std::filesystem::permissions(HostPath("prueba.mdb"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    // Opened for writing, it is still only read until its definitions change, and a change that
    // fails leaves it in its format too.
    const std::string bytes = actualiz::testing::ReadWhole(HostPath("prueba.mdb"));
    auto db = Reopen();
    auto t = db->TableDefs()["clientes"];
    EXPECT_EQ(t->Fields()["nombre"]->DefaultValue(), "");
    EXPECT_EQ(ErrorOf([&] { t->Fields().Append(t->CreateField("NOMBRE", dbText, 2)); }),
              err::kFieldDefinedTwice);
    EXPECT_EQ(actualiz::testing::ReadWhole(HostPath("prueba.mdb")), bytes);
    auto f = t->CreateField("pais", dbText, 2);
    f->SetDefaultValue("\"ES\"");
    t->Fields().Append(f);
    AddRow(*Reopen(), "clientes", {std::string("Eva")});
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"), "SELECT pais FROM clientes WHERE nombre = 'Eva'"),
              std::vector<std::string>{"ES"});
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"), "PRAGMA user_version"),
              std::vector<std::string>{"2"});
}

}  // namespace
}  // namespace actualiz::engine::testing
