// SQL text rebuilt from the parts a Jet file stores for a saved query (MSysQueries rows).
#include <gtest/gtest.h>

#include "jet/JetQueryRows.h"
#include "jet/JetQuerySql.h"

namespace {

using actualiz::engine::jet::QueryRow;
using actualiz::engine::jet::RebuildQuerySql;
using actualiz::engine::jet::SqlName;

QueryRow Row(int attribute, std::string name1 = {}, std::string name2 = {},
             std::string expression = {}, std::optional<long> flag = {}) {
    return QueryRow{attribute, std::move(name1), std::move(name2), std::move(expression), flag};
}

QueryRow Type(long type, std::string name1 = {}, std::string expression = {}) {
    return Row(1, std::move(name1), {}, std::move(expression), type);
}

TEST(JetQuerySqlNames, BracketsOnlyWhatNeedsThem) {
    EXPECT_EQ(SqlName("Clientes"), "Clientes");
    EXPECT_EQ(SqlName("Categoría"), "Categoría");
    EXPECT_EQ(SqlName("Table2_1"), "Table2_1");
    EXPECT_EQ(SqlName("Detalles de pedidos"), "[Detalles de pedidos]");
    EXPECT_EQ(SqlName("2005"), "[2005]");
    EXPECT_EQ(SqlName("Order"), "[Order]");
    EXPECT_EQ(SqlName("name"), "[name]");
    EXPECT_EQ(SqlName("a-b"), "[a-b]");
}

TEST(JetQuerySqlSelect, StarColumnsAliasesAndClauses) {
    auto q = RebuildQuerySql(
        {Row(0), Type(1), Row(3, {}, {}, {}, 1), Row(5, "Clientes"),
         Row(6, "Total", {}, "Sum(Clientes.saldo)"), Row(8, {}, {}, "Clientes.activo=True"),
         Row(9, {}, {}, "Clientes.zona"), Row(10, {}, {}, "Sum(saldo)>0"),
         Row(11, "D", {}, "Clientes.zona"), Row(255)},
        false);
    EXPECT_EQ(q.type, 1);
    EXPECT_EQ(q.sql,
              "SELECT *, Sum(Clientes.saldo) AS Total\r\nFROM Clientes\r\nWHERE "
              "Clientes.activo=True\r\nGROUP BY Clientes.zona\r\nHAVING Sum(saldo)>0\r\nORDER BY "
              "Clientes.zona DESC;");
    EXPECT_TRUE(q.notCarried.empty());
}

TEST(JetQuerySqlSelect, PredicatesTopAndOwnerAccess) {
    auto q = RebuildQuerySql({Type(1), Row(3, "10", {}, {}, 0x02 | 0x10 | 0x20 | 0x04),
                              Row(5, "Detalles de pedidos", "d"), Row(6, {}, {}, "d.precio")},
                             false);
    EXPECT_EQ(q.sql,
              "SELECT DISTINCT TOP 10 PERCENT d.precio\r\nFROM [Detalles de pedidos] AS "
              "d\r\nWITH OWNERACCESS OPTION;");
    auto row = RebuildQuerySql(
        {Type(1), Row(3, {}, {}, {}, 0x08), Row(5, "T"), Row(6, {}, {}, "T.a")}, false);
    EXPECT_EQ(row.sql, "SELECT DISTINCTROW T.a\r\nFROM T;");
}

TEST(JetQuerySqlJoins, NestedInTheFileOrderWithCombinedConditions) {
    // Two join rows between the same tables are one join on both conditions; a table that joins
    // none stays apart, after a comma.
    auto q = RebuildQuerySql({Type(1), Row(5, "A"), Row(5, "B"), Row(5, "C"), Row(5, "D"),
                              Row(6, {}, {}, "A.x"), Row(7, "A", "C", "A.k = C.k", 2),
                              Row(7, "C", "B", "C.k = B.k", 1), Row(7, "C", "B", "C.j = B.j", 1)},
                             false);
    EXPECT_EQ(q.sql,
              "SELECT A.x\r\nFROM (A LEFT JOIN C ON A.k = C.k) INNER JOIN B ON (C.k = B.k) AND "
              "(C.j = B.j), D;");
    auto right = RebuildQuerySql({Type(1), Row(5, "Libre"), Row(5, "P"), Row(5, "Q"),
                                  Row(6, {}, {}, "P.a"), Row(7, "P", "Q", "P.a = Q.a", 3)},
                                 false);
    EXPECT_EQ(right.sql, "SELECT P.a\r\nFROM Libre, P RIGHT JOIN Q ON P.a = Q.a;");
}

TEST(JetQuerySqlJoins, AliasesAndSubqueriesAsTables) {
    auto q = RebuildQuerySql(
        {Type(1), Row(5, "T"), Row(5, "T", "T_1"), Row(5, {}, "S", "SELECT id FROM U"),
         Row(6, {}, {}, "T.a"), Row(7, "T", "T_1", "T.a = T_1.b", 1),
         Row(7, "T_1", "S", "T_1.a = S.id", 1)},
        false);
    EXPECT_EQ(
        q.sql,
        "SELECT T.a\r\nFROM (T INNER JOIN T AS T_1 ON T.a = T_1.b) INNER JOIN (SELECT id FROM "
        "U) AS S ON T_1.a = S.id;");
}

TEST(JetQuerySqlJoins, AJoinOfUnknownTablesIsReportedNotInvented) {
    auto q = RebuildQuerySql(
        {Type(1), Row(5, "A"), Row(6, {}, {}, "A.x"), Row(7, "A", "Z", "A.k = Z.k", 1)}, false);
    EXPECT_EQ(q.sql, "SELECT A.x\r\nFROM A;");
    ASSERT_EQ(q.notCarried.size(), 1u);
    EXPECT_NE(q.notCarried[0].find("Z"), std::string::npos);
}

TEST(JetQuerySqlParameters, DeclaredBeforeTheStatement) {
    auto jet4 =
        RebuildQuerySql({Type(1), Row(2, "Desde", {}, {}, 8), Row(2, "Nombre cliente", {}, {}, 10),
                         Row(2, "N", {}, {}, 4), Row(5, "T"), Row(6, {}, {}, "T.a")},
                        false);
    EXPECT_EQ(jet4.sql,
              "PARAMETERS [Desde] DateTime, [Nombre cliente] Text ( 255 ), [N] Long;\r\nSELECT "
              "T.a\r\nFROM T;");
    auto jet3 = RebuildQuerySql(
        {Type(1), Row(2, "x", {}, {}, 10), Row(5, "T"), Row(6, {}, {}, "T.a")}, true);
    EXPECT_EQ(jet3.sql, "PARAMETERS [x] Text;\r\nSELECT T.a\r\nFROM T;");
    // Names stored as typed, brackets included, are not bracketed twice.
    auto bracketed = RebuildQuerySql(
        {Type(1), Row(2, "[Fecha de inicio]", {}, {}, 8),
         Row(2, "[Forms]![Ventas]![Hasta]", {}, {}, 8), Row(5, "T"), Row(6, {}, {}, "T.a")},
        false);
    EXPECT_EQ(bracketed.sql,
              "PARAMETERS [Fecha de inicio] DateTime, [Forms]![Ventas]![Hasta] DateTime;\r\nSELECT "
              "T.a\r\nFROM T;");
}

TEST(JetQuerySqlActions, MakeTableAppendUpdateDelete) {
    auto make = RebuildQuerySql({Type(2, "Copia"), Row(5, "T"), Row(6, {}, {}, "T.a")}, false);
    EXPECT_EQ(make.type, 2);
    EXPECT_EQ(make.sql, "SELECT T.a INTO Copia\r\nFROM T;");

    auto append = RebuildQuerySql(
        {Type(3, "Destino final"), Row(5, "T"), Row(6, {}, "a", "T.x"), Row(6, {}, "b", "T.y")},
        false);
    EXPECT_EQ(append.sql, "INSERT INTO [Destino final] ( a, b )\r\nSELECT T.x, T.y\r\nFROM T;");

    auto values = RebuildQuerySql({Type(3, "T"), Row(6, "Expr1", "a", "1")}, false);
    EXPECT_EQ(values.sql, "INSERT INTO T ( a )\r\nSELECT 1 AS Expr1;");

    auto update = RebuildQuerySql(
        {Type(4), Row(5, "T"), Row(5, "U"), Row(6, {}, "T.a", "U.b"), Row(6, {}, "T.c", "\"x\""),
         Row(7, "T", "U", "T.k = U.k", 1), Row(8, {}, {}, "U.b Is Not Null")},
        false);
    EXPECT_EQ(update.sql,
              "UPDATE T INNER JOIN U ON T.k = U.k\r\nSET T.a = U.b, T.c = \"x\"\r\nWHERE U.b Is "
              "Not Null;");

    auto del = RebuildQuerySql({Type(5), Row(3, {}, {}, {}, 0), Row(5, "T"), Row(6, {}, {}, "T.*"),
                                Row(8, {}, {}, "T.a>1")},
                               false);
    EXPECT_EQ(del.sql, "DELETE T.*\r\nFROM T\r\nWHERE T.a>1;");
}

TEST(JetQuerySqlCrosstab, TransformSelectGroupByAndPivot) {
    auto q = RebuildQuerySql(
        {Type(6), Row(5, "V"), Row(6, "Total", {}, "Sum(V.importe)", 0),
         Row(6, {}, {}, "V.cliente", 2), Row(9, {}, {}, "V.cliente", 2),
         Row(6, {}, {}, "Format(V.fecha,\"mmm\")", 1), Row(9, {}, {}, "Format(V.fecha,\"mmm\")", 1),
         Row(11, {}, {}, "V.cliente")},
        false);
    EXPECT_EQ(q.type, 6);
    EXPECT_EQ(q.sql,
              "TRANSFORM Sum(V.importe) AS Total\r\nSELECT V.cliente\r\nFROM V\r\nGROUP BY "
              "V.cliente\r\nORDER BY V.cliente\r\nPIVOT Format(V.fecha,\"mmm\");");
}

TEST(JetQuerySqlUnion, PartsKeepTheirTextAndTheFlagChoosesAll) {
    std::vector<QueryRow> rows = {Type(9), Row(3, {}, {}, {}, 1),
                                  Row(5, {}, "X7YZ_____1", "SELECT a FROM T\r\n"),
                                  Row(5, {}, "X7YZ_____2", "SELECT a FROM U")};
    EXPECT_EQ(RebuildQuerySql(rows, false).sql, "SELECT a FROM T\r\nUNION ALL SELECT a FROM U;");
    rows[1].flag = 2;
    rows[2].expression = "SELECT a FROM T";
    rows.push_back(Row(11, {}, {}, "a"));
    EXPECT_EQ(RebuildQuerySql(rows, false).sql,
              "SELECT a FROM T\r\nUNION SELECT a FROM U\r\nORDER BY a;");
}

TEST(JetQuerySqlVerbatim, DataDefinitionAndPassThroughKeepTheirText) {
    auto ddl = RebuildQuerySql({Type(7, {}, "CREATE TABLE x (a CHAR);")}, false);
    EXPECT_EQ(ddl.sql, "CREATE TABLE x (a CHAR);");
    EXPECT_TRUE(ddl.notCarried.empty());
    auto pass = RebuildQuerySql({Type(8, "ODBC;DSN=ventas", "EXEC informe 3")}, false);
    EXPECT_EQ(pass.sql, "EXEC informe 3");
    ASSERT_EQ(pass.notCarried.size(), 1u);
    EXPECT_NE(pass.notCarried[0].find("ODBC;DSN=ventas"), std::string::npos);
}

TEST(JetQuerySqlProblems, UnknownPartsAndTypesAreReported) {
    // Newer files write no type row for a plain select: it is a select, not a lost query.
    auto noType = RebuildQuerySql({Row(0), Row(5, "T"), Row(6, {}, {}, "T.a"), Row(255)}, false);
    EXPECT_EQ(noType.sql, "SELECT T.a\r\nFROM T;");
    EXPECT_TRUE(noType.notCarried.empty());
    auto unknownType = RebuildQuerySql({Type(42)}, false);
    EXPECT_TRUE(unknownType.sql.empty());
    EXPECT_FALSE(unknownType.notCarried.empty());
    auto unknownPart =
        RebuildQuerySql({Type(1), Row(5, "T"), Row(6, {}, {}, "T.a"), Row(77)}, false);
    EXPECT_EQ(unknownPart.sql, "SELECT T.a\r\nFROM T;");
    ASSERT_EQ(unknownPart.notCarried.size(), 1u);
    EXPECT_NE(unknownPart.notCarried[0].find("77"), std::string::npos);
}

// The way back, SQL text to rows, beyond what the sample's queries show: each text is stored in
// rows that rebuild to it, with the predicate in the flags row and joins innermost first; a text
// the rows would give back otherwise is refused with the reason, never stored.
std::string Described(const std::vector<QueryRow>& rows) {
    std::string out;
    for (const QueryRow& r : rows)
        out += std::to_string(r.attribute) + ":" + r.name1 + "|" + r.name2 + "|" + r.expression +
               "|" + (r.flag ? std::to_string(*r.flag) : "-") + "\n";
    return out;
}

TEST(JetQueryRows, TextsStoredAndTextsRefused) {
    using actualiz::engine::jet::QueryRowsFor;
    struct Case {
        const char* sql;
        const char* rows;  // nullptr: refused
    };
    const Case cases[] = {
        {"SELECT DISTINCTROW TOP 10 PERCENT d.precio\r\nFROM [Detalles de pedidos] AS "
         "d\r\nWITH OWNERACCESS OPTION;",
         "1:|||1\n3:10|||60\n6:||d.precio|0\n5:Detalles de pedidos|d||-\n"},
        {"SELECT A.x\r\nFROM A LEFT JOIN (B INNER JOIN C ON B.k = C.k) ON A.k = B.k;",
         "1:|||1\n3:|||0\n6:||A.x|0\n5:A|||-\n5:B|||-\n5:C|||-\n7:B|C|B.k = C.k|1\n"
         "7:A|B|A.k = B.k|2\n"},
        {"SELECT s.n\r\nFROM (SELECT T.a AS n FROM T) AS s\r\nORDER BY s.n DESC, s.m;",
         "1:|||1\n3:|||0\n6:||s.n|0\n5:|s|SELECT T.a AS n FROM T|-\n11:D||s.n|-\n11:||s.m|-\n"},
        {"DELETE *\r\nFROM T\r\nWHERE T.a=\"x\r\nFROM U\";",
         "1:|||5\n3:|||0\n5:T|||-\n8:||T.a=\"x\r\nFROM U\"|-\n"},
        {"SELECT T.a\r\nFROM T\r\nWHERE T.a IN (SELECT U.a FROM U) OR T.b = 1 group by T.b;",
         nullptr},
        {"SELECT TOP x T.a\r\nFROM T;", nullptr},
        {"SELECT T.a\r\nFROM T IN 'otra.mdb';", nullptr},             // a table of another file
        {"PARAMETERS [p] Value;\r\nSELECT T.a\r\nFROM T;", nullptr},  // no type code for it
        {"SELECT T.a\r\nUNION ALL SELECT U.a\r\nWITH OWNERACCESS OPTION;", nullptr},
        {"EXECUTE algo;", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        auto stored = QueryRowsFor(c.sql);
        if (c.rows) {
            EXPECT_EQ(stored.problem, "");
            EXPECT_EQ(Described(stored.rows), c.rows);
            EXPECT_EQ(RebuildQuerySql(stored.rows, false).sql, c.sql);
        } else {
            EXPECT_NE(stored.problem, "");
            EXPECT_TRUE(stored.rows.empty());
        }
    }

    // A text on one line (the query catalog's copy) or with other blanks is stored as the file
    // lays it out, each clause on its line, with the very rows of that layout; blanks inside
    // literals and names stay as they are.
    const std::pair<const char*, const char*> layouts[] = {
        {"SELECT * FROM T;", "SELECT *\r\nFROM T;"},
        {"SELECT T.a\r\nFROM T", "SELECT T.a\r\nFROM T;"},
        {"SELECT T.a FROM T UNION SELECT U.a FROM U ORDER BY a;",
         "SELECT T.a FROM T UNION SELECT U.a FROM U\r\nORDER BY a;"},
        {"SELECT T.a  FROM T  WHERE T.b = 'x  y'  GROUP BY T.a  HAVING Count(*)>1  ORDER BY T.a;",
         "SELECT T.a\r\nFROM T\r\nWHERE T.b = 'x  y'\r\nGROUP BY T.a\r\nHAVING "
         "Count(*)>1\r\nORDER BY T.a;"},
        {"PARAMETERS [p] Long; SELECT [Mi  tabla].a FROM [Mi  tabla] WHERE [Mi  tabla].a>[p];",
         "PARAMETERS [p] Long;\r\nSELECT [Mi  tabla].a\r\nFROM [Mi  tabla]\r\nWHERE [Mi  "
         "tabla].a>[p];"},
        {"UPDATE T SET T.a = 1 WHERE T.b IN (SELECT U.b FROM U);",
         "UPDATE T\r\nSET T.a = 1\r\nWHERE T.b IN (SELECT U.b FROM U);"},
        {"INSERT INTO T ( a ) SELECT U.a FROM U;", "INSERT INTO T ( a )\r\nSELECT U.a\r\nFROM U;"},
        {"TRANSFORM Sum(T.v) AS s SELECT T.a FROM T GROUP BY T.a PIVOT T.b;",
         "TRANSFORM Sum(T.v) AS s\r\nSELECT T.a\r\nFROM T\r\nGROUP BY T.a\r\nPIVOT T.b;"},
    };
    for (const auto& [oneLine, laidOut] : layouts) {
        SCOPED_TRACE(oneLine);
        EXPECT_EQ(actualiz::engine::jet::LaidOutSql(oneLine), laidOut);
        EXPECT_TRUE(actualiz::engine::jet::SameSqlUpToLayout(oneLine, laidOut));
        auto stored = QueryRowsFor(oneLine);
        auto expected = QueryRowsFor(laidOut);
        EXPECT_EQ(stored.problem, "");
        EXPECT_EQ(expected.problem, "");
        EXPECT_FALSE(stored.rows.empty());
        EXPECT_EQ(Described(stored.rows), Described(expected.rows));
    }
    EXPECT_FALSE(actualiz::engine::jet::SameSqlUpToLayout("SELECT 'a b';", "SELECT 'a  b';"));
}

}  // namespace
