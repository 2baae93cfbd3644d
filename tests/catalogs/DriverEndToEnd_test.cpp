#include "CatalogFixture.h"

#include <fstream>

#include "catalogs/QueryCatalog.h"

namespace actualiz::testing {
namespace {

const std::string kDataFolder = "c:\\archivos de programa\\Mirto 2000\\bases";

// The whole transformation as the user starts it, over a data folder whose databases differ from
// their models in indexes, relations and queries (and in tables and fields, which the earlier
// steps of the driver take care of).
class DriverEndToEnd : public CatalogTest {
  protected:
    void SetUp() override {
        CatalogTest::SetUp();
        prefix.makeDir("archivos de programa/Mirto 2000/bases");
    }

    static std::string ModelOf(const std::string& name) { return "C:\\prog\\modelos\\" + name; }
    static std::string OldOf(const std::string& name) { return kDataFolder + "\\" + name; }

    static Json LongField(const std::string& name) {
        return {{"name", name}, {"type", engine::dbLong}};
    }
    static Json TextField(const std::string& name) {
        return {{"name", name}, {"type", engine::dbText}, {"size", 50}};
    }
    static Json TableOf(const std::string& name, Json fields, Json indexes = Json::array()) {
        return {{"name", name}, {"fields", std::move(fields)}, {"indexes", std::move(indexes)}};
    }

    // The model's indexes as the old database should now have them: the same names, fields and
    // flags. `notKeys` names the tables whose old rows keep the primary key from being the key
    // (it comes as a unique index).
    static std::vector<std::string> ExpectedIndexes(const std::string& model,
                                                    const std::string& table, bool notKey) {
        std::vector<std::string> out;
        for (std::string line : IndexesOf(model, table)) {
            const std::string primary = " primary";
            if (notKey && line.size() > primary.size() &&
                line.compare(line.size() - primary.size(), primary.size(), primary) == 0)
                line.erase(line.size() - primary.size());
            out.push_back(line);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    static Rows StoredQueries(const std::string& path) {
        auto db = engine::OpenDatabase(path);
        Rows out;
        for (const auto& q : db->QueryDefs()) out.push_back({q->Name(), q->SQL()});
        db->Close();
        return out;
    }

    void ExpectTheModelsIndexesRelationsAndQueries(const std::string& name,
                                                   const std::vector<std::string>& notKeys = {}) {
        SCOPED_TRACE(name);
        const Json model = Describe(ModelOf(name));
        for (const auto& table : model["tables"]) {
            const std::string t = table["name"];
            const bool notKey = std::find(notKeys.begin(), notKeys.end(), t) != notKeys.end();
            EXPECT_EQ(IndexesOf(OldOf(name), t), ExpectedIndexes(ModelOf(name), t, notKey))
                << "indexes of table " << t;
        }
        EXPECT_EQ(Describe(OldOf(name))["relations"], model["relations"]);
        Rows expectedQueries;
        for (const auto& q : model["queries"])
            expectedQueries.push_back(
                {q["name"], catalogs::OneLineSql(q["sql"].get<std::string>())});
        EXPECT_EQ(StoredQueries(OldOf(name)), expectedQueries);
    }
};

TEST_F(DriverEndToEnd, EveryPairedOldDatabaseEndsWithTheModelsIndexesRelationsAndQueries) {
    // clientes: a two-field primary key, an enforced relation with cascading updates, old indexes,
    // an old relation and old queries to be replaced, and a field the old table lacks.
    Build(ModelOf("clientes.mdb"),
          {{"tables",
            {TableOf("clientes", {LongField("codigo"), TextField("nombre"), TextField("email")},
                     {Index("PrimaryKey", {"codigo"}, true, true), Index("Nombre", {"nombre"})}),
             TableOf("pedidos", {LongField("numero"), LongField("linea"), LongField("cliente")},
                     {Index("PrimaryKey", {"numero", "linea"}, true, true),
                      Index("Cliente", {"cliente"})}),
             TableOf("notas", {TextField("texto"), TextField("fecha")},
                     {Index("NotaTexto", {"texto"})})}},
           {"relations",
            {Relation("ClientesPedidos", "clientes", "pedidos", {{"codigo", "cliente"}},
                      engine::dbRelationUpdateCascade)}},
           {"queries",
            {{{"name", "ListaClientes"},
              {"sql", "SELECT codigo, nombre\r\nFROM clientes\r\nORDER BY nombre"}},
             {{"name", "Pedidos por cliente"}, {"sql", "SELECT cliente, numero FROM pedidos"}}}}});
    Build(OldOf("clientes.mdb"),
          {{"tables",
            {TableOf("clientes", {LongField("codigo"), TextField("nombre")},
                     {Index("PrimaryKey", {"codigo"}, true, true), Index("Viejo", {"nombre"})}),
             TableOf("pedidos", {LongField("numero"), LongField("cliente")},
                     {Index("Num", {"numero"}, true)}),
             TableOf("notas", {TextField("texto"), TextField("fecha")},
                     {Index("NotaVieja", {"fecha"})})}},
           {"relations", {Relation("Antigua", "clientes", "pedidos", {{"codigo", "cliente"}})}},
           {"queries",
            {{{"name", "Vieja"}, {"sql", "SELECT * FROM clientes"}},
             {{"name", "ListaClientes"}, {"sql", "SELECT nombre FROM clientes"}}}}});
    AddTableRows(OldOf("clientes.mdb"), "clientes", {{"1", "Ana"}, {"2", "Luis"}});
    AddTableRows(OldOf("clientes.mdb"), "pedidos", {{"10", "1"}, {"11", "2"}});

    // almacen: a relation over two field pairs, a two-field key, and a table named like one of
    // clientes' with other indexes (each database must get its own model's).
    Build(
        ModelOf("almacen.mdb"),
        {{"tables",
          {TableOf("stock", {LongField("almacen"), LongField("articulo"), LongField("cantidad")},
                   {Index("PrimaryKey", {"almacen", "articulo"}, true, true)}),
           TableOf("ubicaciones", {LongField("almacen"), LongField("articulo"), TextField("hueco")},
                   {Index("Hueco", {"hueco", "almacen"}, true)}),
           TableOf("notas", {TextField("texto"), TextField("fecha")},
                   {Index("NotaFecha", {"fecha"})})}},
         {"relations",
          {Relation("StockUbicaciones", "stock", "ubicaciones",
                    {{"almacen", "almacen"}, {"articulo", "articulo"}},
                    engine::dbRelationDontEnforce)}},
         {"queries", {{{"name", "Existencias"}, {"sql", "SELECT * FROM stock"}}}}});
    Build(OldOf("almacen.mdb"),
          {{"tables",
            {TableOf("stock", {LongField("almacen"), LongField("articulo"), LongField("cantidad")}),
             TableOf("ubicaciones", {LongField("almacen"), LongField("articulo")}),
             TableOf("notas", {TextField("texto"), TextField("fecha")},
                     {Index("NotaAlmacen", {"texto"})})}}});
    AddTableRows(OldOf("almacen.mdb"), "stock", {{"1", "7", "30"}, {"2", "7", "5"}});

    form->Form_Activate();
    ASSERT_EQ(Items(form->List6), (std::vector<std::string>{"almacen.mdb", "clientes.mdb"}));
    form->Command13_Click();

    EXPECT_EQ(form->Label4.Caption(), "Proceso Terminado");
    for (const auto& s : form->Skipped()) {
        ADD_FAILURE() << s.command << " passed over " << s.number << " " << s.description << " on "
                      << s.database;
    }

    // The old pedidos rows have no linea: the key over numero and linea comes as a unique index.
    ExpectTheModelsIndexesRelationsAndQueries("clientes.mdb", {"pedidos"});
    ExpectTheModelsIndexesRelationsAndQueries("almacen.mdb");

    // The data stays, the appended fields empty.
    EXPECT_EQ(TableRows(OldOf("clientes.mdb"), "clientes"),
              (Rows{{"1", "Ana", ""}, {"2", "Luis", ""}}));
    EXPECT_EQ(TableRows(OldOf("clientes.mdb"), "pedidos"),
              (Rows{{"10", "1", ""}, {"11", "2", ""}}));
    EXPECT_EQ(TableRows(OldOf("almacen.mdb"), "stock"), (Rows{{"1", "7", "30"}, {"2", "7", "5"}}));
}

TEST_F(DriverEndToEnd, ASecondRunLeavesTheSameIndexesRelationsAndQueries) {
    Build(ModelOf("clientes.mdb"),
          {{"tables",
            {TableOf("clientes", {LongField("codigo"), TextField("nombre")},
                     {Index("PrimaryKey", {"codigo", "nombre"}, true, true)}),
             TableOf("pedidos", {LongField("numero"), LongField("cliente")})}},
           {"relations",
            {Relation("ClientesPedidos", "clientes", "pedidos", {{"codigo", "cliente"}})}},
           {"queries", {{{"name", "Todo"}, {"sql", "SELECT *\nFROM clientes"}}}}});
    Build(OldOf("clientes.mdb"),
          {{"tables",
            {TableOf("clientes", {LongField("codigo"), TextField("nombre")}),
             TableOf("pedidos", {LongField("numero"), LongField("cliente")})}}});

    form->Form_Activate();
    form->Command13_Click();
    const Json afterFirst = Describe(OldOf("clientes.mdb"));
    form->Command13_Click();

    EXPECT_EQ(Describe(OldOf("clientes.mdb")), afterFirst);
    ExpectTheModelsIndexesRelationsAndQueries("clientes.mdb");
}

TEST_F(DriverEndToEnd, AnUnreadableModelCostsTheOldDatabaseNothingAndIsTheOneBlamed) {
    Build(OldOf("clientes.mdb"),
          {{"tables",
            {TableOf("clientes", {LongField("codigo"), TextField("nombre")},
                     {Index("PrimaryKey", {"codigo"}, true, true), Index("Nombre", {"nombre"})}),
             TableOf("pedidos", {LongField("numero"), LongField("cliente")})}},
           {"relations",
            {Relation("ClientesPedidos", "clientes", "pedidos", {{"codigo", "cliente"}})}},
           {"queries", {{{"name", "Todo"}, {"sql", "SELECT * FROM clientes"}}}}});
    std::ofstream(prefix.driveCPath("prog/modelos/clientes.mdb")) << std::string(4096, 'x');
    const Json before = Describe(OldOf("clientes.mdb"));

    form->Form_Activate();
    form->Command13_Click();

    EXPECT_EQ(Describe(OldOf("clientes.mdb")), before);
    // Each failure names the command it escaped from and the model as the file at fault; the
    // index removal refused before it removed anything.
    bool removalRefused = false;
    for (const auto& s : form->Skipped()) {
        EXPECT_NE(s.command, "Command13_Click") << s.description;
        EXPECT_EQ(s.database, OldOf("clientes.mdb"));
        EXPECT_EQ(s.file, ModelOf("clientes.mdb")) << s.command << ": " << s.description;
        if (s.command == "Command18_Click") removalRefused = true;
    }
    EXPECT_TRUE(removalRefused);
}

TEST_F(DriverEndToEnd, APairWhoseModelAndOldDatabaseAreOneFileIsPassedOver) {
    Build(ModelOf("clientes.mdb"),
          {{"tables",
            {TableOf("clientes", {LongField("codigo")},
                     {Index("PrimaryKey", {"codigo"}, true, true)})}},
           {"queries", {{{"name", "Todo"}, {"sql", "SELECT * FROM clientes"}}}}});
    const Json before = Describe(ModelOf("clientes.mdb"));

    form->Form_Activate();
    form->Dir1.SetPath("C:\\prog\\modelos");
    ASSERT_EQ(Items(form->List6), (std::vector<std::string>{"clientes.mdb"}));
    form->Command13_Click();

    EXPECT_EQ(Describe(ModelOf("clientes.mdb")), before);
    ASSERT_EQ(form->Skipped().size(), 1u);
    EXPECT_EQ(form->Skipped().front().command, "Command13_Click");
    EXPECT_NE(form->Skipped().front().description.find("mismo archivo"), std::string::npos);
}

}  // namespace
}  // namespace actualiz::testing
