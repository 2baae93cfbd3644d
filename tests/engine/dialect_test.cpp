// Record sources in the classic dialect against the same rows read by plain SQL over the file: the
// translation must find exactly the rows a hand-written SQLite statement finds.

#include <algorithm>

#include "EngineFixture.h"

namespace actualiz::engine::testing {
namespace {

class DialectTest : public EngineTest {
  protected:
    void SetUp() override {
        db_ = NewDatabase();
        auto pedidos = db_->CreateTableDef("Pedidos");
        pedidos->Fields().Append(pedidos->CreateField("IdPedido", dbLong));
        pedidos->Fields().Append(pedidos->CreateField("Cliente", dbText, 10));
        pedidos->Fields().Append(pedidos->CreateField("FechaPedido", dbDate));
        pedidos->Fields().Append(pedidos->CreateField("Importe", dbDouble));
        db_->TableDefs().Append(pedidos);
        const std::vector<std::tuple<long long, const char*, const char*, double>> rows = {
            {1, "ANA", "1994-08-04 00:00:00", 10.5}, {2, "BEA", "1994-12-31 23:59:59", 20},
            {3, "ANA", "1995-01-01 00:00:00", 30},   {4, "ÑU", "1995-01-31 08:30:00", 40.25},
            {5, "BEA", "1995-06-15 12:00:00", 50},   {6, "ANA", "1995-12-31 00:00:00", 60},
            {7, "ÑU", "1995-12-31 18:45:10", 70},    {8, "CAR", "1996-02-29 00:00:00", 80},
            {9, "BEA", "1996-03-31 07:05:00", 90},   {10, "XYZ", "1899-12-30 10:00:00", 0}};
        for (const auto& [id, cliente, fecha, importe] : rows)
            AddRow(*db_, "Pedidos", {id, std::string(cliente), std::string(fecha), importe});

        auto clientes = db_->CreateTableDef("Clientes");
        clientes->Fields().Append(clientes->CreateField("Código", dbText, 10));
        clientes->Fields().Append(clientes->CreateField("Nombre", dbText, 40));
        db_->TableDefs().Append(clientes);
        for (const auto& [code, name] :
             std::vector<std::pair<const char*, const char*>>{{"ANA", "Ana Álvarez"},
                                                              {"BEA", "josé ñandú"},
                                                              {"ÑU", "ÉLITE ÓPTICA"},
                                                              {"CAR", "Carlos 3º"}})
            AddRow(*db_, "Clientes", {std::string(code), std::string(name)});

        auto articulos = db_->CreateTableDef("Artículos");
        articulos->Fields().Append(articulos->CreateField("CÓDIGO", dbText, 10));
        db_->TableDefs().Append(articulos);
        AddRow(*db_, "Artículos", {std::string("ANA")});

        db_->CreateQueryDef("Pedidos 95",
                            "SELECT * FROM Pedidos WHERE FechaPedido Between #1/1/95# And "
                            "#12/31/95#;");
    }

    // Every column of every row, as text, "|" between columns.
    std::vector<std::string> Classic(
        const std::string& sql, const std::vector<std::pair<std::string, Value>>& parameters = {}) {
        auto rs = db_->OpenRecordset(sql, parameters);
        std::vector<std::string> out;
        if (rs->BOF() && rs->Eof()) return out;
        for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
            std::string row;
            for (int i = 0; i < rs->Fields().Count(); ++i)
                row += (i ? "|" : "") + rs->Fields()[i]->Text();
            out.push_back(row);
        }
        return out;
    }
    // The names of the set's fields, in order.
    std::vector<std::string> Names(const std::string& sql) {
        auto rs = db_->OpenRecordset(sql);
        std::vector<std::string> out;
        for (int i = 0; i < rs->Fields().Count(); ++i) out.push_back(rs->Fields()[i]->Name());
        return out;
    }
    // The same through a plain SQLite connection (no engine, no classic functions).
    std::vector<std::string> Plain(const std::string& sql) {
        int rc = 0;
        auto rows = RawQuery(HostPath("prueba.mdb"), "SELECT * FROM (" + sql + ")", &rc);
        EXPECT_EQ(rc, SQLITE_OK) << sql;
        return rows;
    }
    std::shared_ptr<Database> db_;
};

// The rows of 1995 as the classic Between of two dates takes them: the last day up to midnight.
const std::string k95 =
    "julianday(FechaPedido) BETWEEN julianday('1995-01-01') AND julianday('1995-12-31')";

struct Case {
    std::string classic;
    std::string plain;  // a single output column: RawQuery reads the first column only
};

TEST_F(DialectTest, DatesCompareAndComputeOnTheStoredForm) {
    const Case cases[] = {
        {"SELECT IdPedido FROM Pedidos WHERE FechaPedido Between #1/1/95# And #12/31/95# ORDER "
         "BY IdPedido",
         "SELECT IdPedido FROM Pedidos WHERE julianday(FechaPedido) BETWEEN "
         "julianday('1995-01-01') AND julianday('1995-12-31') ORDER BY IdPedido"},
        {"SELECT IdPedido FROM Pedidos WHERE FechaPedido = #1994-08-04#",
         "SELECT IdPedido FROM Pedidos WHERE julianday(FechaPedido) = julianday('1994-08-04')"},
        {"SELECT IdPedido FROM Pedidos WHERE FechaPedido >= #1995-12-31 18:00# ORDER BY 1",
         "SELECT IdPedido FROM Pedidos WHERE FechaPedido >= '1995-12-31 18:00:00' ORDER BY 1"},
        {"SELECT IdPedido FROM Pedidos WHERE FechaPedido < #2/29/1996 1:00 AM# AND "
         "FechaPedido > #12/31/1995# ORDER BY 1",
         "SELECT IdPedido FROM Pedidos WHERE julianday(FechaPedido) < julianday('1996-02-29 "
         "01:00') AND julianday(FechaPedido) > julianday('1995-12-31') ORDER BY 1"},
        {"SELECT Year(FechaPedido) * 10000 + Month(FechaPedido) * 100 + Day(FechaPedido) FROM "
         "Pedidos ORDER BY IdPedido",
         "SELECT CAST(strftime('%Y%m%d', FechaPedido) AS INTEGER) FROM Pedidos ORDER BY IdPedido"},
        {"SELECT Hour(FechaPedido) * 60 + Minute(FechaPedido) FROM Pedidos ORDER BY IdPedido",
         "SELECT strftime('%H', FechaPedido) * 60 + strftime('%M', FechaPedido) FROM Pedidos "
         "ORDER BY IdPedido"},
        {"SELECT Weekday(FechaPedido) FROM Pedidos ORDER BY IdPedido",
         "SELECT strftime('%w', FechaPedido) + 1 FROM Pedidos ORDER BY IdPedido"},
        {"SELECT DatePart('q', FechaPedido) & '/' & DatePart('y', FechaPedido) FROM Pedidos "
         "ORDER BY IdPedido",
         "SELECT ((strftime('%m', FechaPedido) - 1) / 3 + 1) || '/' || (strftime('%j', "
         "FechaPedido) + 0) FROM Pedidos ORDER BY IdPedido"},
        {"SELECT DateDiff('d', #1/1/1995#, FechaPedido) FROM Pedidos ORDER BY IdPedido",
         "SELECT CAST(julianday(date(FechaPedido)) - julianday('1995-01-01') AS INTEGER) FROM "
         "Pedidos ORDER BY IdPedido"},
        {"SELECT DateDiff('h', #1/1/1995#, FechaPedido) FROM Pedidos WHERE IdPedido BETWEEN 3 AND "
         "9 "
         "ORDER BY IdPedido",
         "SELECT CAST((julianday(strftime('%Y-%m-%d %H:00:00', FechaPedido)) - "
         "julianday('1995-01-01')) * 24 + 0.5 AS INTEGER) FROM Pedidos WHERE IdPedido BETWEEN 3 "
         "AND 9 "
         "ORDER BY IdPedido"},
        {"SELECT DateSerial(Year(FechaPedido), Month(FechaPedido) + 1, 0) FROM Pedidos ORDER BY "
         "IdPedido",
         "SELECT datetime(FechaPedido, 'start of month', '+1 month', '-1 day') FROM Pedidos "
         "ORDER BY IdPedido"},
        {"SELECT DateAdd('d', 40, FechaPedido) FROM Pedidos ORDER BY IdPedido",
         "SELECT datetime(FechaPedido, '+40 days') FROM Pedidos ORDER BY IdPedido"},
        {"SELECT DateAdd('h', -30, FechaPedido) FROM Pedidos ORDER BY IdPedido",
         "SELECT datetime(FechaPedido, '-30 hours') FROM Pedidos ORDER BY IdPedido"},
        {"SELECT DateValue(FechaPedido) FROM Pedidos ORDER BY IdPedido",
         "SELECT datetime(date(FechaPedido)) FROM Pedidos ORDER BY IdPedido"},
        {"SELECT Format(FechaPedido, 'yyyy-mm-dd hh:nn') FROM Pedidos ORDER BY IdPedido",
         "SELECT strftime('%Y-%m-%d %H:%M', FechaPedido) FROM Pedidos ORDER BY IdPedido"},
        {"SELECT Format(FechaPedido, 'Short Date') FROM Pedidos ORDER BY IdPedido",
         "SELECT strftime('%d/%m/%Y', FechaPedido) FROM Pedidos ORDER BY IdPedido"},
        {"SELECT CDate('31/1/1995 08:30') FROM Pedidos WHERE IdPedido = 4",
         "SELECT FechaPedido FROM Pedidos WHERE IdPedido = 4"},
        {"SELECT Count(*) FROM Pedidos WHERE FechaPedido < Now() AND DateValue(Date()) = Date() "
         "AND Time() > #1899-12-29#",
         "SELECT count(*) FROM Pedidos WHERE FechaPedido < datetime('now', 'localtime')"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.classic);
        std::vector<std::string> classic = Classic(c.classic);
        EXPECT_FALSE(classic.empty());
        EXPECT_EQ(classic, Plain(c.plain));
    }
    // Adding months keeps the day, or takes the last day of a shorter month (SQLite's own date
    // arithmetic would run on into the next month).
    EXPECT_EQ(Classic("SELECT DateAdd('m', 1, FechaPedido), DateAdd('yyyy', 1, FechaPedido) FROM "
                      "Pedidos WHERE IdPedido IN (4, 8) ORDER BY IdPedido"),
              (std::vector<std::string>{"1995-02-28 08:30:00|1996-01-31 08:30:00",
                                        "1996-03-29 00:00:00|1997-02-28 00:00:00"}));
    EXPECT_EQ(Classic("SELECT DateDiff('m', #12/31/1995#, #1/1/1996#), DateDiff('yyyy', "
                      "#12/31/1995#, #1/1/1996#), DateDiff('ww', #1/6/1996#, #1/7/1996#)"),
              (std::vector<std::string>{"1|1|1"}));
    EXPECT_EQ(Classic("SELECT Format(#1/2/1996#, 'Long Date'), Format(#1/2/1996 13:05#, "
                      "'dddd d mmm yy h:nn AM/PM')"),
              (std::vector<std::string>{"martes, 2 de enero de 1996|martes 2 ene 96 1:05 PM"}));
    EXPECT_EQ(ErrorOf([&] { Classic("SELECT * FROM Pedidos WHERE FechaPedido = #13/13/95#"); }),
              err::kSyntaxError);
}

TEST_F(DialectTest, AStoredQueryStandsWhereATableMay) {
    const Case cases[] = {
        {"SELECT [Pedidos 95].IdPedido FROM [Pedidos 95] ORDER BY 1",
         "SELECT IdPedido FROM Pedidos WHERE julianday(FechaPedido) BETWEEN "
         "julianday('1995-01-01') AND julianday('1995-12-31') ORDER BY 1"},
        {"SELECT Pedidos.IdPedido FROM Pedidos INNER JOIN [Pedidos 95] ON Pedidos.IdPedido = "
         "[Pedidos 95].IdPedido ORDER BY 1",
         std::string("SELECT IdPedido FROM Pedidos WHERE ") + k95 + " ORDER BY 1"},
        {"SELECT p.IdPedido FROM Pedidos AS p INNER JOIN [Pedidos 95] AS q ON p.IdPedido = "
         "q.IdPedido WHERE q.Importe > 35 ORDER BY 1",
         "SELECT IdPedido FROM Pedidos WHERE " + k95 + " AND Importe > 35 ORDER BY 1"},
        {"SELECT c.Nombre FROM ([Pedidos 95] q INNER JOIN Pedidos ON q.IdPedido = "
         "Pedidos.IdPedido) LEFT JOIN Clientes AS c ON q.Cliente = c.Código ORDER BY "
         "q.IdPedido",
         "SELECT c.Nombre FROM Pedidos p LEFT JOIN Clientes c ON p.Cliente = c.\"Código\" WHERE "
         "julianday(p.FechaPedido) BETWEEN julianday('1995-01-01') AND julianday('1995-12-31') "
         "ORDER BY p.IdPedido"},
        {"SELECT Count(*) FROM Pedidos WHERE IdPedido IN (SELECT IdPedido FROM [Pedidos 95])",
         "SELECT count(*) FROM Pedidos WHERE " + k95},
        {"SELECT Pedidos.Cliente FROM Clientes RIGHT JOIN Pedidos ON Clientes.Código = "
         "Pedidos.Cliente WHERE Clientes.Nombre Is Null ORDER BY 1",
         "SELECT Cliente FROM Pedidos WHERE Cliente NOT IN (SELECT \"Código\" FROM Clientes) "
         "ORDER BY 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.classic);
        std::vector<std::string> classic = Classic(c.classic);
        EXPECT_FALSE(classic.empty());
        EXPECT_EQ(classic, Plain(c.plain));
    }
    db_->CreateQueryDef("Sobre 95",
                        "SELECT Cliente, Sum(Importe) AS Total FROM [Pedidos 95] "
                        "GROUP BY Cliente");
    EXPECT_EQ(
        Classic("SELECT s.Cliente & ':' & Int(s.Total) FROM Clientes INNER JOIN [Sobre 95] s ON "
                "Clientes.Código = s.Cliente ORDER BY 1"),
        Plain("SELECT Cliente || ':' || CAST(sum(Importe) AS INTEGER) FROM Pedidos WHERE " + k95 +
              " GROUP BY Cliente ORDER BY 1"));
}

// The "(Pedidos INNER JOIN [Pedidos 95] q ...)" of a nested join reads two fields of each name.
const std::string kNested =
    " FROM Clientes AS c INNER JOIN (Pedidos INNER JOIN [Pedidos 95] AS q ON Pedidos.IdPedido = "
    "q.IdPedido) ON c.Código = Pedidos.Cliente";

TEST_F(DialectTest, OutputColumnsAreNamedAsTheClassicEngineNamesThem) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"SELECT c.Nombre, q.Importe, Pedidos.IdPedido" + kNested,
         {"Nombre", "Importe", "IdPedido"}},
        {"SELECT Clientes.Código, Importe * 2, Artículos.código AS Art, Artículos.CÓDIGO, "
         "Year(FechaPedido) FROM (Clientes INNER JOIN Pedidos ON Clientes.Código = "
         "Pedidos.Cliente) INNER JOIN Artículos ON Artículos.CÓDIGO = Clientes.Código",
         {"Clientes.Código", "Expr1001", "Art", "Artículos.CÓDIGO", "Expr1004"}},
        {"SELECT * FROM Clientes INNER JOIN (Artículos INNER JOIN Pedidos ON Artículos.CÓDIGO = "
         "Pedidos.Cliente) ON Clientes.Código = Artículos.CÓDIGO",
         {"Clientes.Código", "Nombre", "Artículos.CÓDIGO", "IdPedido", "Cliente", "FechaPedido",
          "Importe"}},
        {"SELECT DISTINCTROW c.*, q.Importe" + kNested, {"Código", "Nombre", "Importe"}},
        {"SELECT Count(*), [Pedidos 95].Cliente FROM [Pedidos 95] GROUP BY Cliente",
         {"Expr1000", "Cliente"}},
    };
    for (const auto& [sql, names] : cases) {
        SCOPED_TRACE(sql);
        EXPECT_EQ(Names(sql), names);
    }
    // A stored query over a nested join is read by its columns' names.
    db_->CreateQueryDef("Importes 95", "SELECT c.Nombre, q.Importe" + kNested);
    EXPECT_EQ(Classic("SELECT Sum(Importe) FROM [Importes 95]"),
              Plain("SELECT sum(Importe) FROM Pedidos WHERE " + k95));
}

// DISTINCTROW: one row per distinct row of the tables whose fields are shown, however many rows
// of the other tables join it; rows equal in every shown field stay apart.
TEST_F(DialectTest, DistinctRowKeepsOneRowPerRowOfTheShownTables) {
    AddRow(*db_, "Clientes", {std::string("XYZ"), std::string("Ana Álvarez")});
    const std::string withOrders =
        "SELECT Código || '|' || Nombre FROM Clientes WHERE Código IN "
        "(SELECT Cliente FROM Pedidos";
    const Case cases[] = {
        {"SELECT DISTINCTROW Clientes.Código & '|' & Clientes.Nombre FROM Clientes INNER JOIN "
         "Pedidos ON Clientes.Código = Pedidos.Cliente",
         withOrders + ")"},
        {"SELECT DISTINCTROW c.*" + kNested, withOrders + " WHERE " + k95 + ")"},
        {"SELECT DISTINCTROW Clientes.Nombre & '|' & Pedidos.IdPedido FROM Clientes INNER JOIN "
         "Pedidos ON Clientes.Código = Pedidos.Cliente",
         "SELECT Nombre || '|' || IdPedido FROM Clientes INNER JOIN Pedidos ON Código = Cliente"},
        {"SELECT Count(*) FROM (SELECT DISTINCTROW Clientes.Nombre FROM Clientes INNER JOIN "
         "Pedidos ON Clientes.Código = Pedidos.Cliente) AS x",
         "SELECT count(*) FROM Clientes WHERE Código IN (SELECT Cliente FROM Pedidos)"},
    };
    auto sorted = [](std::vector<std::string> rows) {
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    for (bool keyed : {false, true}) {
        if (keyed) {  // told apart by the primary key rather than by every field
            auto t = db_->TableDefs()["Clientes"];
            auto index = t->CreateIndex("PrimaryKey");
            index->Fields().Append(index->CreateField("Código"));
            index->SetPrimary(true);
            t->Indexes().Append(index);
        }
        for (const Case& c : cases) {
            SCOPED_TRACE(c.classic);
            std::vector<std::string> classic = Classic(c.classic);
            EXPECT_FALSE(classic.empty());
            EXPECT_EQ(sorted(classic), sorted(Plain(c.plain)));
        }
    }
    // Over one table it changes nothing, and the rows stay updatable.
    auto one = db_->OpenRecordset("SELECT DISTINCTROW Cliente FROM Pedidos");
    one->MoveLast();
    EXPECT_EQ(one->RecordCount(), 10);
    EXPECT_TRUE(one->Updatable());
}

TEST_F(DialectTest, TextFollowsTheClassicRulesForEveryLetter) {
    const Case cases[] = {
        {"SELECT Código FROM Clientes WHERE Nombre = 'JOSÉ ÑANDÚ'",
         "SELECT \"Código\" FROM Clientes WHERE Nombre = 'josé ñandú'"},
        {"SELECT Código FROM Clientes WHERE Nombre Like 'élite*'",
         "SELECT \"Código\" FROM Clientes WHERE Nombre GLOB 'ÉLITE*'"},
        {"SELECT Código FROM Clientes WHERE Nombre Like '[a-j]*' ORDER BY 1",
         "SELECT \"Código\" FROM Clientes WHERE lower(Nombre) GLOB '[a-j]*' ORDER BY 1"},
        {"SELECT Código FROM Clientes WHERE Nombre Like '*[!a-z]' ORDER BY 1",
         "SELECT \"Código\" FROM Clientes WHERE NOT lower(Nombre) GLOB '*[a-z]' ORDER BY 1"},
        {"SELECT Código FROM Clientes WHERE Nombre Like 'Carlos #?'",
         "SELECT \"Código\" FROM Clientes WHERE Nombre GLOB 'Carlos [0-9]?'"},
        {"SELECT Código FROM Clientes WHERE Código Like 'ñ?' OR Nombre Like '?os*'",
         "SELECT \"Código\" FROM Clientes WHERE \"Código\" = 'ÑU' OR Nombre GLOB '?os*'"},
        {"SELECT código FROM artículos", "SELECT \"CÓDIGO\" FROM \"Artículos\""},
        {"SELECT Artículos.código, c.CÓDIGO FROM Artículos, Clientes AS c WHERE c.código = "
         "artículos.CÓDIGO",
         "SELECT a.\"CÓDIGO\" || '|' || c.\"Código\" FROM \"Artículos\" a, Clientes c WHERE "
         "a.\"CÓDIGO\" = c.\"Código\""},
        {"SELECT Código & ' ' & Null & Nombre FROM Clientes ORDER BY 1",
         "SELECT \"Código\" || ' ' || Nombre FROM Clientes ORDER BY 1"},
        {"SELECT InStr(Nombre, 'Ó') FROM Clientes ORDER BY Código",
         "SELECT instr(Nombre, 'Ó') + instr(Nombre, 'ó') FROM Clientes ORDER BY \"Código\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.classic);
        std::vector<std::string> classic = Classic(c.classic);
        EXPECT_FALSE(classic.empty());
        EXPECT_EQ(classic, Plain(c.plain));
    }
    EXPECT_EQ(Classic("SELECT UCase(Nombre), LCase(Nombre) FROM Clientes WHERE Código = 'BEA'"),
              (std::vector<std::string>{"JOSÉ ÑANDÚ|josé ñandú"}));
    EXPECT_EQ(Classic("SELECT IsNull(Null & Null), 'a' & Null & 1.5"),
              (std::vector<std::string>{"-1|a1,5"}));

    // A unique index holds the rule too, also against a plain SQLite writer.
    auto t = db_->TableDefs()["Clientes"];
    auto index = t->CreateIndex("PrimaryKey");
    index->Fields().Append(index->CreateField("Código"));
    index->SetPrimary(true);
    t->Indexes().Append(index);
    AddRow(*db_, "Clientes", {std::string("Categoría"), std::string("x")});
    EXPECT_EQ(ErrorOf([&] {
                  AddRow(*db_, "Clientes", {std::string("CATEGORÍA"), std::string("y")});
              }),
              err::kDuplicateInIndex);
    int rc = 0;
    RawQuery(HostPath("prueba.mdb"), "INSERT INTO Clientes VALUES ('CATEGORíA', 'z')", &rc);
    EXPECT_EQ(rc & 0xff, SQLITE_CONSTRAINT);
    EXPECT_EQ(Plain("SELECT count(*) FROM Clientes"), (std::vector<std::string>{"5"}));
}

TEST_F(DialectTest, ClassicFunctionsComputeWhatTheClassicEngineComputes) {
    const std::pair<const char*, const char*> cases[] = {
        {"CInt(2.5) & ' ' & CInt(3.5) & ' ' & CInt(-2.5) & ' ' & CLng('7,6')", "2 4 -2 8"},
        {"Round(2.5) & ' ' & Round(3.5) & ' ' & Round(2.375, 2) & ' ' & Round(0.125, 2) & ' ' & "
         "Round(-0.5)",
         "2 4 2,38 0,12 0"},
        {"Int(-2.5) & ' ' & Fix(-2.5) & ' ' & Int(2.7) & ' ' & Abs(-3) & ' ' & Sgn(-7)",
         "-3 -2 2 3 -1"},
        {"CCur(1.23456) & ' ' & CDbl('1,5') & ' ' & CStr(12) & ' ' & CBool(5) & ' ' & CBool(0)",
         "1,2346 1,5 12 -1 0"},
        {"Val(' 1 2.5abc') & ' ' & Val('&H1F') & ' ' & Val('x') & ' ' & Val('-3e2')",
         "12,5 31 0 -300"},
        {"Yes & ' ' & No & ' ' & On & ' ' & Off & ' ' & True & ' ' & False", "-1 0 -1 0 -1 0"},
        {"InStr('abcÁb', 'áB') & ' ' & InStr(4, 'abcabc', 'a') & ' ' & InStr(1, 'aA', 'A', 0)",
         "4 4 2"},
        {"'[' & Trim('  a  ') & '|' & LTrim('  a ') & '|' & RTrim(' a  ') & ']'", "[a|a | a]"},
        {"'[' & Space(3) & ']' & String(3, 'xy') & String(2, 65)", "[   ]xxxAA"},
        {"Replace('aXbxc', 'x', '-') & ' ' & Replace('aXbxc', 'x', '-', 1, -1, 1) & ' ' & "
         "Replace('abcabc', 'b', '', 3)",
         "aXb-c a-b-c cac"},
        {"StrComp('ábc', 'ÁBC') & ' ' & StrComp('a', 'b') & ' ' & StrComp('a', 'A', 0)", "0 -1 1"},
        {"IsNull(Null) & ' ' & IsNull('') & ' ' & Nz(Null, 'n') & ' ' & IIf(1 > 2, 'x', 'y')",
         "-1 0 n y"},
        {"Switch(1 > 2, 'a', 2 > 1, 'b') & ' ' & Choose(2, 'x', 'y', 'z') & '|' & Choose(4, 'x')",
         "b y|"},
        {"Format(1234.5, '#,##0.00') & ' ' & Format(0.256, '0.0%') & ' ' & Format(5, '000') & "
         "' ' & Format(-2.5, '0;(0)')",
         "1.234,50 25,6% 005 (3)"},
        {"Format(1234.5, 'Currency') & ' | ' & Format(1, 'Yes/No') & ' ' & Format(0, 'On/Off') & "
         "' ' & Format(3, 'Fixed')",
         "1.234,50 € | Sí Desactivado 3,00"},
        {"Left('ñandú', 2) & Right('ñandú', 2) & Mid('ñandú', 2, 2) & Len('ñandú')", "ñadúan5"},
        {"7 Mod 3 & ' ' & Format('AbC', '>')", "1 ABC"},
        // Many "*" against a long text: time grows with pattern times text, never exponentially.
        {"IIf('aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' Like "
         "'*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b', 'sí', 'no') & IIf('xaby' Like '*a*b?', 1, 0)",
         "no1"},
        {"Len(Replace(String(100000, 'a'), 'a', 'bc')) & ' ' & "
         "Len(Replace(Space(3), ' ', String(3, 'x'), 1, 2)) & Choose(1e300, 'x') & Choose(1.9, "
         "'y')",
         "200000 7y"},
    };
    for (const auto& [expression, expected] : cases) {
        SCOPED_TRACE(expression);
        EXPECT_EQ(Classic(std::string("SELECT ") + expression),
                  (std::vector<std::string>{expected}));
    }
    // What overflows, runs away or is no function of the dialect fails at once with the classic
    // error: overflow (6), invalid procedure call (5), out of memory (7) beyond the longest value.
    const std::pair<const char*, int> failures[] = {
        {"CInt(40000)", err::kOverflow},
        {"String(1e18, 'a')", err::kOverflow},
        {"String(2147483648, 'a')", err::kOverflow},
        {"String(2147483647, 'a')", err::kOutOfMemory},
        {"String(-1, 'a')", err::kInvalidCall},
        {"Space(1e18)", err::kOverflow},
        {"Space(1073741825)", err::kOutOfMemory},
        {"Replace(Space(100000), ' ', Space(100000))", err::kOutOfMemory},
        {"Left('abc', 1e18) & Right('abc', 3000000000)", err::kOverflow},
        {"InStr(1e300, 'a', 'a')", err::kOverflow},
        {"Val('&H123456789ABCDEF0123')", err::kOverflow},
        {"CDate(1e300)", err::kOverflow},
        {"CDate(-657435)", err::kOverflow},
        {"Year(1e308)", err::kOverflow},
        {"Format(1e300, 'yyyy')", err::kOverflow},
        {"Month(-1e300)", err::kOverflow},
        {"DateAdd('yyyy', 8000, #1/1/2000#)", err::kInvalidCall},
        {"DateAdd('s', 1e300, #1/1/2000#)", err::kInvalidCall},
        {"DateAdd('d', -1e18, #1/1/2000#)", err::kInvalidCall},
        {"DateAdd('m', 2e9, #1/1/2000#)", err::kInvalidCall},
        {"DateSerial(1e18, 1, 1)", err::kOverflow},
        {"DateSerial(2000, 1, 4e6)", err::kOverflow},
        {"DateSerial(9999, 13, 1)", err::kInvalidCall},
        {"DateDiff('s', #1/1/1900#, #1/1/2000#)", err::kOverflow},
        {"NoExiste(1)", err::kUndefinedFunction},
        {"hex(fts3_tokenizer('simple'))", err::kUndefinedFunction},
        {"printf('%.*c', 2000000000, 'a')", err::kUndefinedFunction},
        {"length(zeroblob(2000000000))", err::kUndefinedFunction},
        {"load_extension('x')", err::kUndefinedFunction},
    };
    for (const auto& [expression, number] : failures) {
        SCOPED_TRACE(expression);
        EXPECT_EQ(ErrorOf([&] { Classic(std::string("SELECT ") + expression); }), number);
    }
    // The limits are where they are: the last date, the longest Long, seconds of 68 years.
    EXPECT_EQ(Classic("SELECT CDate(2958465), DateAdd('yyyy', 7999, #1/1/2000#), "
                      "DateDiff('s', #1/1/1950#, #1/1/2000#), Len(String(100, 'á'))"),
              (std::vector<std::string>{"9999-12-31 00:00:00|9999-01-01 00:00:00|1577836800|100"}));
    EXPECT_EQ(ErrorOf([&] {
                  Classic(
                      "TRANSFORM Count(*) SELECT Cliente FROM Pedidos GROUP BY Cliente PIVOT "
                      "hex(fts3_tokenizer('simple'))");
              }),
              err::kUndefinedFunction);
}

TEST_F(DialectTest, ParametersAreBoundByNameAndCrosstabsOpen) {
    db_->CreateQueryDef("Desde",
                        "PARAMETERS [Fecha inicial] DateTime, Mínimo Long;\r\n"
                        "SELECT IdPedido FROM Pedidos WHERE FechaPedido >= [Fecha "
                        "inicial] AND Importe >= Mínimo ORDER BY IdPedido;");
    EXPECT_EQ(db_->QueryDefs()["Desde"]->Parameters(),
              (std::vector<std::string>{"Fecha inicial", "Mínimo"}));
    EXPECT_EQ(ErrorOf([&] { db_->OpenRecordset("Desde"); }), err::kTooFewParameters);
    EXPECT_EQ(ErrorOf([&] {
                  db_->OpenRecordset("Desde", {{"fecha inicial", Value("1/1/1996")}});
              }),
              err::kTooFewParameters);
    auto rs = db_->OpenRecordset("Desde",
                                 {{"FECHA INICIAL", Value("31/12/1995")}, {"mínimo", Value("65")}});
    std::vector<std::string> ids;
    for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) ids.push_back(rs->Fields()[0]->Text());
    EXPECT_EQ(ids, Plain("SELECT IdPedido FROM Pedidos WHERE julianday(FechaPedido) >= "
                         "julianday('1995-12-31') AND Importe >= 65 ORDER BY IdPedido"));
    // A stored query used as a source brings its parameters along.
    EXPECT_EQ(
        db_->OpenRecordset("SELECT Count(*) FROM Desde",
                           {{"Fecha inicial", Value("1996-01-01")}, {"Mínimo", Value(0LL)}})
            ->Fields()[0]
            ->Text(),
        Plain(
            "SELECT count(*) FROM Pedidos WHERE julianday(FechaPedido) >= julianday('1996-01-01')")
            [0]);
    // An undeclared name becomes a parameter only when a value is given for it.
    EXPECT_EQ(ErrorOf([&] { db_->OpenRecordset("SELECT * FROM Pedidos WHERE Cliente = [Quién]"); }),
              err::kTooFewParameters);
    auto ana = db_->OpenRecordset("SELECT * FROM Pedidos WHERE Cliente = [Quién]",
                                  {{"quién", Value("ana")}});
    ana->MoveLast();
    EXPECT_EQ(ana->RecordCount(), 3);

    // Text given for a date parameter is read as CDate reads it; text that is no date is refused.
    EXPECT_EQ(ErrorOf([&] {
                  db_->OpenRecordset(
                      "Desde", {{"Fecha inicial", Value("31/13/1995")}, {"Mínimo", Value("0")}});
              }),
              err::kValueTypeMismatch);
    // An undeclared parameter or form reference compared with a date or number field is read
    // as a date or number, on either side of the comparison, in parentheses or not.
    const std::string byDates =
        "SELECT IdPedido FROM Pedidos WHERE (((Pedidos.FechaPedido) Between [Forms]![F]![Desde] "
        "And [Forms]![F]![Hasta])) ORDER BY IdPedido";
    EXPECT_EQ(Classic(byDates,
                      {{"Forms!F!Desde", Value("1/1/95")}, {"Forms!F!Hasta", Value("31/12/1995")}}),
              Plain("SELECT IdPedido FROM Pedidos WHERE " + k95 + " ORDER BY IdPedido"));
    EXPECT_EQ(Classic("SELECT IdPedido FROM Pedidos WHERE [Desde] <= FechaPedido AND (Importe) "
                      "< [Hasta] ORDER BY 1",
                      {{"Desde", Value("31/12/1995")}, {"Hasta", Value("80,5")}}),
              Plain("SELECT IdPedido FROM Pedidos WHERE FechaPedido >= '1995-12-31' AND "
                    "Importe < 80.5 ORDER BY 1"));
    EXPECT_EQ(ErrorOf([&] {
                  Classic(byDates, {{"Forms!F!Desde", Value("mañana")},
                                    {"Forms!F!Hasta", Value("31/12/1995")}});
              }),
              err::kValueTypeMismatch);

    // A form reference is a parameter like any other; without a value, 3061 as DAO gives.
    const std::string byForm =
        "PARAMETERS [Forms]![Pedidos]![Cliente] Text; SELECT Count(*) FROM Pedidos WHERE "
        "Cliente = [Forms]![Pedidos]![Cliente] OR Cliente = Forms!Otro!Cliente";
    EXPECT_EQ(ErrorOf([&] { db_->OpenRecordset(byForm); }), err::kTooFewParameters);
    EXPECT_EQ(db_->OpenRecordset(byForm, {{"forms!pedidos!cliente", Value("bea")},
                                          {"Forms!Otro!Cliente", Value("car")}})
                  ->Fields()[0]
                  ->Text(),
              Plain("SELECT count(*) FROM Pedidos WHERE Cliente IN ('BEA', 'CAR')")[0]);

    // A crosstab: one column per year, in ascending order, or per value of its IN list.
    db_->CreateQueryDef("Cruzada",
                        "TRANSFORM Count(IdPedido) AS n SELECT Cliente FROM Pedidos "
                        "WHERE Importe > 0 GROUP BY Cliente PIVOT Year(FechaPedido);");
    auto crosstab = db_->OpenRecordset("Cruzada");
    std::vector<std::string> names;
    for (int i = 0; i < crosstab->Fields().Count(); ++i)
        names.push_back(crosstab->Fields()[i]->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"Cliente", "1994", "1995", "1996"}));
    std::string perYear;
    for (const char* year : {"1994", "1995", "1996"})
        perYear += std::string(" || '|' || ifnull(nullif(sum(substr(FechaPedido, 1, 4) = '") +
                   year + "'), 0), '')";
    EXPECT_EQ(Classic("Cruzada"), Plain("SELECT Cliente" + perYear +
                                        " FROM Pedidos WHERE Importe > 0 GROUP BY Cliente"));
    EXPECT_EQ(Classic("TRANSFORM Count(*) SELECT Count(*) AS Total FROM Pedidos PIVOT Cliente IN "
                      "('BEA', 'ANA', 'NADIE')"),
              (std::vector<std::string>{"10|3|3|"}));
    EXPECT_EQ(ErrorOf([&] { Classic("TRANSFORM SELECT Cliente FROM Pedidos PIVOT Cliente"); }),
              err::kSyntaxError);
}

}  // namespace
}  // namespace actualiz::engine::testing
