// A real Jet 4 file opened for writing: the commands change its stand-in, and what changed is
// written back into the file when the writing ends, verified before it replaces the file. What
// is refused leaves the file byte for byte as it was and no copy beside it.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <set>

#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/ForeignFiles.h"
#include "engine/SchemaModel.h"
#include "jet/JetReader.h"
#include "jet/JetTestSupport.h"
#include "jet/JetWriteBack.h"
#include "jet/check/FileCheck.h"
#include "jet/format/PageFile.h"
#include "jet/format/TableDef.h"
#include "jet/format/UsageMap.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"
#include "jet/write/Changes.h"
#include "jet/write/Properties.h"
#include "jet/write/Queries.h"
#include "jet/write/Rows.h"
#include "support/TempPrefix.h"

namespace actualiz::engine::testing {
namespace {

namespace fs = std::filesystem;
using actualiz::testing::ReadWhole;

std::set<std::string> Entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

// A table of the types the writer creates, without properties or indexes.
void AddPedidos(Database& db) {
    auto table = db.CreateTableDef("Pedidos");
    table->Fields().Append(table->CreateField("Numero", dbLong));
    table->Fields().Append(table->CreateField("Importe", dbDouble));
    table->Fields().Append(table->CreateField("Fecha", dbDate));
    table->Fields().Append(table->CreateField("Pagado", dbBoolean));
    db.TableDefs().Append(table);
}

class JetWriteBack : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_JET_READER();
        InstallJetOpening();
    }
    fs::path Copy(const std::string& sample, const std::string& as = "datos.mdb") {
        fs::create_directories(Folder());
        const fs::path to = Folder() / as;
        fs::copy_file(JetSample(sample), to);
        return to;
    }
    // Opens the file for writing, changes its stand-in, ends the writing; the failure's number, 0
    // when the change went in.
    static int Change(const fs::path& file, const std::function<void(Database&)>& change,
                      std::string* said = nullptr) {
        try {
            ForeignFileWriting writing(file.string());
            EXPECT_TRUE(writing.Active());
            auto db = OpenDatabase(file.string());
            EXPECT_TRUE(db->Updatable());
            change(*db);
            db->Close();
            writing.Finish();
        } catch (const Error& e) {
            if (said) *said = e.description();
            return e.number();
        }
        return 0;
    }

    fs::path Folder() const { return prefix.root() / "datos"; }

    ::actualiz::testing::TempPrefix prefix;
};

TEST_F(JetWriteBack, ANewTableIsWrittenIntoTheFileAndReadBackByEveryReader) {
    const fs::path file = Copy("indexTestV2003.mdb");
    ASSERT_EQ(Change(file, AddPedidos), 0);
    EXPECT_EQ(Entries(Folder()), std::set<std::string>{"datos.mdb"}) << "no copy left beside";
    EXPECT_TRUE(IsJet4File(file));
    EXPECT_TRUE(jet::check::CheckFile(jet::format::PageFile::Open(file)).Sound());
    // Opened again (read-only), it has the new table.
    auto db = OpenDatabase(file.string());
    EXPECT_FALSE(db->Updatable());
    ASSERT_TRUE(db->TableDefs().Contains("Pedidos"));
    EXPECT_EQ(db->TableDefs()["Pedidos"]->Fields().Count(), 4);
    db->Close();
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    EXPECT_EQ(Capture("mdb-ver " + ShellQuoted(file.string())), "JET4\n");
    EXPECT_EQ(ExportTable(file, "Pedidos").size(), 1u) << "only the header";
    for (const char* table : {"Table1", "Table2", "Table3"})
        EXPECT_EQ(ExportTable(file, table), ExportTable(JetSample("indexTestV2003.mdb"), table))
            << table;
}

// A field deleted from a table that holds rows: the rows keep every other value, and the check
// of the written copy does not take the deleted field's values for lost ones.
TEST_F(JetWriteBack, AFieldDeletedFromATableThatHoldsRowsIsWritten) {
    const fs::path file = Copy("delColTestV2000.mdb");
    std::string said;
    ASSERT_EQ(
        Change(
            file, [](Database& db) { db.TableDefs()["Table1"]->Fields().Delete("data2"); }, &said),
        0)
        << said;
    EXPECT_TRUE(jet::check::CheckFile(jet::format::PageFile::Open(file)).Sound());
    auto db = OpenDatabase(file.string());
    EXPECT_FALSE(db->TableDefs()["Table1"]->Fields().Contains("data2"));
    db->Close();
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    std::vector<std::vector<std::string>> expected =
        ExportTable(JetSample("delColTestV2000.mdb"), "Table1");
    for (auto& row : expected) row.pop_back();
    EXPECT_EQ(ExportTable(file, "Table1"), expected);
}

// Rows that break the file's own validation rule leave the rules out of every import of the
// file, the stand-in's and the written copy's alike: a change to such a file is still written.
TEST_F(JetWriteBack, AFileWhoseRowsBreakItsOwnRuleIsWritten) {
    const fs::path file = Folder() / "regla.mdb";
    {
        jet::format::PageFile pages = jet::format::PageFile::Open(Copy("indexTestV2003.mdb"));
        jet::write::SetProperty(pages, u"Table1", u"otherfk2", u"ValidationRule",
                                jet::write::PropertyValue::Text(u"<11"));
        pages.Save(file);
    }
    std::string said;
    ASSERT_EQ(Change(file, AddPedidos, &said), 0) << said;
    EXPECT_TRUE(jet::check::CheckFile(jet::format::PageFile::Open(file)).Sound());
    auto db = OpenDatabase(file.string());
    EXPECT_TRUE(db->TableDefs().Contains("Pedidos"));
    EXPECT_EQ(db->TableDefs()["Table1"]->Fields()["otherfk2"]->ValidationRule(), "");
    db->Close();
}

TEST_F(JetWriteBack, NothingChangedWritesNothing) {
    const fs::path file = Copy("compIndexTestV2000.mdb");
    const std::string before = ReadWhole(file);
    const auto modified = fs::last_write_time(file);
    ASSERT_EQ(Change(file, [](Database& db) { EXPECT_GT(db.TableDefs().Count(), 0); }), 0);
    EXPECT_EQ(ReadWhole(file), before);
    EXPECT_EQ(fs::last_write_time(file), modified);
}

std::map<std::string, std::string> QueriesIn(const fs::path& file) {
    const JetContents contents = ReadJetFile(file);
    std::map<std::string, std::string> queries;
    for (const auto& q : contents.document.at("queries")) queries[q.at("name")] = q.at("sql");
    return queries;
}

// The query catalog's way: every query of the stand-in removed and the model's created. Those
// the same are left as they are in the file; a changed one is taken out and written anew, a
// removed one taken out, a new one written.
TEST_F(JetWriteBack, QueriesReplacedInTheStandInAreWrittenIntoTheFile) {
    const fs::path file = Copy("queryTestV2000.mdb");
    std::map<std::string, std::string> model = QueriesIn(file);
    ASSERT_EQ(model.size(), 9u);
    model.erase("DeleteQuery");
    model["SelectQuery"] =
        "SELECT Table1.col1, Table2.col2 AS Segundo\r\n"
        "FROM Table1 INNER JOIN Table2 ON Table1.col1 = Table2.col1\r\n"
        "WHERE (((Table1.col2)>\"a\"))\r\n"
        "ORDER BY Table1.col1 DESC;";
    model["Nueva"] =
        "PARAMETERS [Desde] DateTime;\r\n"
        "SELECT TOP 5 Table3.*\r\n"
        "FROM Table3\r\n"
        "WHERE (((Table3.col1)>[Desde]));";
    ASSERT_EQ(Change(file,
                     [&](Database& db) {
                         std::vector<std::string> names;
                         for (const auto& q : db.QueryDefs()) names.push_back(q->Name());
                         for (const auto& n : names) db.QueryDefs().Delete(n);
                         for (const auto& [name, sql] : model) db.CreateQueryDef(name, sql);
                     }),
              0);
    EXPECT_EQ(Entries(Folder()), std::set<std::string>{"datos.mdb"});
    EXPECT_TRUE(jet::check::CheckFile(jet::format::PageFile::Open(file)).Sound());
    EXPECT_EQ(QueriesIn(file), model);
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    for (const char* table : {"Table1", "Table2", "Table3"})
        EXPECT_EQ(ExportTable(file, table), ExportTable(JetSample("queryTestV2000.mdb"), table))
            << table;
}

// Each saved query of the sample taken out of the pages and written anew from the SQL our reader
// gives it: the checker passes at each step, our reader (libmdb underneath) gives every query its
// SQL again, mdb-queries lists it, and it has as many MSysQueries rows, the catalog flags and the
// permission entries Access gave it; the user tables stay as they were.
class JetQueryWrite : public ::testing::TestWithParam<std::string> {};

TEST_P(JetQueryWrite, TakenOutAndWrittenAnewReadsTheSame) {
    REQUIRE_JET_READER();
    using jet::format::PageFile;
    const std::string name = GetParam();
    const fs::path sample = JetSample("queryTestV2000.mdb");
    const std::map<std::string, std::string> queries = QueriesIn(sample);
    ASSERT_TRUE(queries.count(name));
    PageFile file = PageFile::Open(sample);
    auto sound = [](const PageFile& f) { return jet::check::CheckFile(f).Sound(); };

    jet::write::DeleteQuery(file, name);
    EXPECT_TRUE(sound(file));
    ::actualiz::testing::TempPrefix prefix;
    const fs::path copy = prefix.root() / "consultas.mdb";
    file.Save(copy);
    auto without = queries;
    without.erase(name);
    EXPECT_EQ(QueriesIn(copy), without);
    EXPECT_THROW(jet::write::DeleteQuery(file, name), EngineError) << "no longer there";

    const std::int32_t id = jet::write::CreateQuery(file, name, queries.at(name), 45000.5);
    // After the file's last object: the removed query's own number when it was the last.
    EXPECT_EQ(static_cast<std::uint32_t>(id),
              name == "DataDefinitionQuery" ? 0x80000011u : 0x80000012u);
    EXPECT_TRUE(sound(file));
    const std::vector<unsigned char> written(file.Bytes().begin(), file.Bytes().end());
    EXPECT_THROW(jet::write::CreateQuery(file, name, queries.at(name), 45000.5), EngineError)
        << "twice";
    EXPECT_THROW(jet::write::CreateQuery(file, "Table1", queries.at(name), 45000.5), EngineError);
    EXPECT_THROW(jet::write::CreateQuery(file, "Otra",
                                         "SELECT Table1.col1 FROM Table1 IN 'otra.mdb';", 45000.5),
                 EngineError)
        << "a table of another file, which the rows cannot hold";
    EXPECT_TRUE(std::ranges::equal(file.Bytes(), written));
    file.Save(copy);
    EXPECT_EQ(QueriesIn(copy), queries);

    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    EXPECT_NE(Capture("mdb-queries -1 " + ShellQuoted(copy.string())).find(name + "\n"),
              std::string::npos);
    const auto objects = ExportTable(copy, "MSysObjects");
    const auto before = ExportTable(sample, "MSysObjects");
    auto column = [&](const char* c) {
        return static_cast<std::size_t>(std::find(objects[0].begin(), objects[0].end(), c) -
                                        objects[0].begin());
    };
    std::string flags, oldFlags, oldId;
    for (const auto& row : objects)
        if (row[column("Name")] == name) flags = row[column("Flags")] + " " + row[column("Type")];
    for (const auto& row : before)
        if (row[column("Name")] == name) {
            oldFlags = row[column("Flags")] + " " + row[column("Type")];
            oldId = row[column("Id")];
        }
    if (name == "PassthroughQuery")
        EXPECT_EQ(flags, "96 5") << "stored as the data-definition query its SQL reads as";
    else
        EXPECT_EQ(flags, oldFlags);
    // Rows of the object in a system table, but for the ObjectId.
    auto rowsOf = [](const fs::path& f, const char* table, const std::string& object) {
        std::multiset<std::string> rows;
        for (const auto& row : ExportTable(f, table))
            if (row[0] == object)
                rows.insert(std::accumulate(
                    row.begin() + 1, row.end(), std::string(),
                    [](std::string a, const std::string& b) { return std::move(a) + "|" + b; }));
        return rows;
    };
    const std::string newId = std::to_string(id);
    EXPECT_EQ(rowsOf(copy, "MSysQueries", newId).size(),
              rowsOf(sample, "MSysQueries", oldId).size());
    EXPECT_EQ(rowsOf(copy, "MSysACEs", newId), rowsOf(sample, "MSysACEs", oldId));
    if (newId != oldId) {
        EXPECT_TRUE(rowsOf(copy, "MSysQueries", oldId).empty());
        EXPECT_TRUE(rowsOf(copy, "MSysACEs", oldId).empty());
    }
    for (const char* table : {"Table1", "Table2", "Table3", "MSysRelationships"})
        EXPECT_EQ(ExportTable(copy, table), ExportTable(sample, table)) << table;
}

INSTANTIATE_TEST_SUITE_P(QueryTestV2000, JetQueryWrite,
                         ::testing::Values("SelectQuery", "UpdateQuery", "AppendQuery",
                                           "DeleteQuery", "MakeTableQuery", "CrosstabQuery",
                                           "UnionQuery", "PassthroughQuery",
                                           "DataDefinitionQuery"));

// A file the application's navigation pane keeps rows of its objects in (they outlive a deleted
// query): a query made after the one with the highest Id was deleted takes a new Id, not the
// deleted one's, which those rows still name; where nothing names a deleted Id any more (the
// queries of queryTestV2000.mdb above) it may come back.
TEST(JetQueryIds, AnIdThatRowsStillNameIsNotTakenAgain) {
    using jet::format::PageFile;
    PageFile file = PageFile::Open(JetSample("indexTestV2000.mdb"));
    auto page = [&](const char* name) {
        return jet::format::LocalTablePage(jet::format::ReadCatalog(file), name).value_or(0);
    };
    const std::uint32_t ids = page("MSysNavPaneObjectIDs"),
                        groups = page("MSysNavPaneGroupToObjects");
    ASSERT_NE(ids, 0u);
    ASSERT_NE(groups, 0u);
    const std::string sql = "SELECT Table1.* FROM Table1;";
    const std::int32_t first = jet::write::CreateQuery(file, "Primera", sql, 45000.5);
    EXPECT_EQ(static_cast<std::uint32_t>(first), 0x80000010u) << "after the file's last object";
    // What the pane adds when the application shows the query, and keeps after it is deleted.
    using jet::write::LongBytes;
    jet::write::InsertRow(file, ids,
                          {{"Id", LongBytes(first)},
                           {"Name", jet::write::TextBytes(u"Primera")},
                           {"Type", LongBytes(5)}});
    jet::write::InsertRow(file, groups,
                          {{"Id", LongBytes(14)},
                           {"ObjectID", LongBytes(first)},
                           {"GroupID", LongBytes(1)},
                           {"Position", LongBytes(13)}});
    jet::write::DeleteQuery(file, "Primera");
    const std::int32_t second = jet::write::CreateQuery(file, "Segunda", sql, 45000.5);
    EXPECT_EQ(static_cast<std::uint32_t>(second), 0x80000011u)
        << "the pane's rows still name " << first;
    EXPECT_TRUE(jet::check::CheckFile(file).Sound());
}

// Each refusal comes before anything is written: the file byte for byte as it was, nothing left
// beside it, and the error says why.
TEST_F(JetWriteBack, RefusedChangesLeaveTheFileAsItWas) {
    struct Case {
        const char* what;
        const char* sample;
        std::function<void(Database&)> change;
        int number;
        const char* says;
        std::function<void(const fs::path&)> damage = nullptr;
    };
    const std::vector<Case> cases = {
        {"an enforced relation without the index Access gives its foreign table",
         "indexTestV2000.mdb",
         [](Database& db) {
             auto relation = db.CreateRelation("Nueva", "Table2", "Table1", 0);
             auto field = relation->CreateField("id");
             field->SetForeignName("otherfk3");
             relation->Fields().Append(field);
             db.Relations().Append(relation);
         },
         err::kInvalidOperation, "no se lee como debe (Table1.Nueva)"},
        {"a table removed", "compIndexTestV2000.mdb",
         [](Database& db) { db.TableDefs().Delete("Table1"); }, err::kInvalidOperation,
         "borrar la tabla «Table1»"},
        {"a query whose text the file cannot store", "queryTestV2000.mdb",
         [](Database& db) {
             db.CreateQueryDef("Otra", "SELECT Table1.col1 FROM Table1 IN 'otra.mdb';");
         },
         err::kInvalidOperation, "crear la consulta «Otra»: su SQL"},
        {"a Jet 3 file is only read", "testV1997.mdb", AddPedidos, err::kInvalidOperation, "Jet 3"},
        {"a file that fails the check before any change", "compIndexTestV2000.mdb", AddPedidos,
         err::kInvalidOperation, "ya antes de cambiarlo",
         [](const fs::path& file) {
             // Table1's row count, in its definition, one off.
             const std::uint32_t page =
                 jet::write::TablePage(jet::format::PageFile::Open(file), "Table1");
             std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
             bytes.seekg(page * jet::format::kPageSize + 16);
             char count = 0;
             bytes.read(&count, 1);
             bytes.seekp(page * jet::format::kPageSize + 16);
             count ^= 1;
             bytes.write(&count, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = Copy(c.sample, "refusal.mdb");
        if (c.damage) c.damage(file);
        const std::string before = ReadWhole(file);
        std::string said;
        EXPECT_EQ(Change(file, c.change, &said), c.number);
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        EXPECT_EQ(ReadWhole(file), before);
        EXPECT_EQ(Entries(Folder()), std::set<std::string>{"refusal.mdb"});
        fs::remove(file);
    }
}

// An index taken out of a table that holds rows and another put in, through the stand-in: the
// file gets both, every reader reads the rows as before, and our import shows the indexes.
TEST_F(JetWriteBack, IndexesOfATableWithRowsAreWrittenIntoTheFile) {
    const fs::path file = Copy("indexTestV2003.mdb");
    ASSERT_EQ(Change(file,
                     [](Database& db) {
                         auto table = db.TableDefs()["Table1"];
                         table->Indexes().Delete("id");
                         auto index = table->CreateIndex("PorDato");
                         auto field = index->CreateField("data");
                         field->SetAttributes(dbDescending);
                         index->Fields().Append(field);
                         index->SetUnique(true);
                         table->Indexes().Append(index);
                     }),
              0);
    EXPECT_EQ(Entries(Folder()), std::set<std::string>{"datos.mdb"});
    EXPECT_TRUE(jet::check::CheckFile(jet::format::PageFile::Open(file)).Sound());
    auto db = OpenDatabase(file.string());
    auto table = db->TableDefs()["Table1"];
    EXPECT_FALSE(table->Indexes().Contains("id"));
    ASSERT_TRUE(table->Indexes().Contains("PorDato"));
    auto index = table->Indexes()["PorDato"];
    EXPECT_TRUE(index->Unique());
    EXPECT_EQ(index->Fields()[0]->Attributes() & dbDescending, dbDescending);
    EXPECT_TRUE(table->Indexes().Contains("PrimaryKey"));
    db->Close();
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    for (const char* name : {"Table1", "Table2", "Table3"})
        EXPECT_EQ(ExportTable(file, name), ExportTable(JetSample("indexTestV2003.mdb"), name))
            << name;
}

// Relations through the stand-in: one taken out (its index, which the stand-in keeps, stays as a
// plain one), then put back over that index and another created with the index Access gives it,
// as a model read from a Jet file has them. The file gets them with their attributes, the rows
// read as before.
TEST_F(JetWriteBack, RelationsOfTablesWithRowsAreWrittenIntoTheFile) {
    const fs::path file = Copy("indexTestV2003.mdb");
    ASSERT_EQ(Change(file, [](Database& db) { db.Relations().Delete("Table2Table1"); }), 0);
    {
        auto db = OpenDatabase(file.string());
        EXPECT_FALSE(db->Relations().Contains("Table2Table1"));
        EXPECT_TRUE(db->TableDefs()["Table1"]->Indexes().Contains("Table2Table1"));
        db->Close();
    }
    EXPECT_TRUE(jet::check::CheckFile(jet::format::PageFile::Open(file)).Sound());
    auto relate = [](Database& db, const char* name, const char* table, const char* foreign,
                     long attributes) {
        auto relation = db.CreateRelation(name, table, "Table1", attributes);
        auto field = relation->CreateField("id");
        field->SetForeignName(foreign);
        relation->Fields().Append(field);
        db.Relations().Append(relation);
    };
    ASSERT_EQ(Change(file,
                     [&](Database& db) {
                         relate(db, "Table2Table1", "Table2", "otherfk1", dbRelationDeleteCascade);
                         auto table = db.TableDefs()["Table1"];
                         auto index = table->CreateIndex("Table3Nueva");
                         index->Fields().Append(index->CreateField("otherfk2"));
                         table->Indexes().Append(index);
                         relate(db, "Table3Nueva", "Table3", "otherfk2", dbRelationUpdateCascade);
                     }),
              0);
    EXPECT_EQ(Entries(Folder()), std::set<std::string>{"datos.mdb"});
    EXPECT_TRUE(jet::check::CheckFile(jet::format::PageFile::Open(file)).Sound());
    auto db = OpenDatabase(file.string());
    ASSERT_TRUE(db->Relations().Contains("Table2Table1"));
    EXPECT_EQ(db->Relations()["Table2Table1"]->Attributes(), dbRelationDeleteCascade);
    ASSERT_TRUE(db->Relations().Contains("Table3Nueva"));
    EXPECT_EQ(db->Relations()["Table3Nueva"]->Attributes(), dbRelationUpdateCascade);
    EXPECT_EQ(db->Relations()["Table3Nueva"]->ForeignTable(), "Table1");
    db->Close();
    if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools not installed";
    for (const char* name : {"Table1", "Table2", "Table3"})
        EXPECT_EQ(ExportTable(file, name), ExportTable(JetSample("indexTestV2003.mdb"), name))
            << name;
}

// The index and relation catalogs take every index and relation out and put the model's in: when
// the model's are the file's own, nothing differs and nothing is written.
TEST_F(JetWriteBack, IndexesTakenOutAndPutBackAsTheyWereWriteNothing) {
    for (const char* sample :
         {"compIndexTestV2000.mdb", "testIndexPropertiesV2000.mdb", "indexTestV2003.mdb"}) {
        SCOPED_TRACE(sample);
        const fs::path file = Copy(sample, "mismos.mdb");
        const std::string before = ReadWhole(file);
        ASSERT_EQ(Change(file,
                         [](Database& db) {
                             DatabaseSchema schema = ReadSchema(db);
                             for (const RelationSchema& r : schema.relations)
                                 db.Relations().Delete(r.name);
                             for (const TableSchema& t : schema.tables) {
                                 auto table = db.TableDefs()[t.name];
                                 for (const IndexSchema& i : t.indexes)
                                     table->Indexes().Delete(i.name);
                                 for (const IndexSchema& i : t.indexes) {
                                     auto index = table->CreateIndex(i.name);
                                     for (const IndexFieldSchema& f : i.fields) {
                                         auto field = index->CreateField(f.name);
                                         if (f.descending) field->SetAttributes(dbDescending);
                                         index->Fields().Append(field);
                                     }
                                     index->SetPrimary(i.primary);
                                     index->SetUnique(i.unique);
                                     index->SetIgnoreNulls(i.ignoreNulls);
                                     index->SetRequired(i.required);
                                     table->Indexes().Append(index);
                                 }
                             }
                             for (const RelationSchema& r : schema.relations) {
                                 auto relation = db.CreateRelation(r.name, r.table, r.foreignTable,
                                                                   r.attributes);
                                 for (const RelationFieldSchema& f : r.fields) {
                                     auto field = relation->CreateField(f.name);
                                     field->SetForeignName(f.foreignName);
                                     relation->Fields().Append(field);
                                 }
                                 db.Relations().Append(relation);
                             }
                         }),
                  0);
        EXPECT_EQ(ReadWhole(file), before);
        fs::remove(file);
    }
}

// An application that has the file open holds locks on its .ldb beside it, or on the file itself
// when it opened it exclusively: the file is refused with Jet's "in use" before anything is read
// into a stand-in. A .ldb nobody holds a lock on is what a program that ended badly leaves: no
// obstacle.
TEST_F(JetWriteBack, AFileInUseIsRefusedAndAStaleLockFileIsNot) {
    const fs::path file = Copy("compIndexTestV2000.mdb");
    const fs::path ldb = Folder() / "datos.ldb";
    const std::string before = ReadWhole(file);
    {
        FileLockHolder application(ldb);
        ASSERT_TRUE(application.Taken());
        EXPECT_EQ(Change(file, AddPedidos), err::kFileInUse);
        EXPECT_EQ(ReadWhole(file), before);
    }
    {
        FileLockHolder exclusive(file, 0, 0);
        ASSERT_TRUE(exclusive.Taken());
        EXPECT_EQ(Change(file, AddPedidos), err::kFileInUse);
        EXPECT_EQ(ReadWhole(file), before);
    }
    ASSERT_TRUE(fs::exists(ldb)) << "the lock file stays, as a program that ended badly leaves it";
    EXPECT_EQ(Change(file, AddPedidos), 0);
    EXPECT_NE(ReadWhole(file), before);
}

// The application may open the file while the commands work on the stand-in: the write-back looks
// again and refuses.
TEST_F(JetWriteBack, AFileTakenInUseMeanwhileIsNotReplaced) {
    const fs::path file = Copy("compIndexTestV2000.mdb");
    const std::string before = ReadWhole(file);
    std::unique_ptr<FileLockHolder> application;
    EXPECT_EQ(Change(file,
                     [&](Database& db) {
                         AddPedidos(db);
                         application = std::make_unique<FileLockHolder>(Folder() / "datos.ldb");
                     }),
              err::kFileInUse);
    EXPECT_EQ(ReadWhole(file), before);
    EXPECT_EQ(Entries(Folder()), (std::set<std::string>{"datos.ldb", "datos.mdb"}));
}

// A file already opened read-only has a reading of it; its stand-in is that reading only while
// the file holds the very bytes it was read from. Changed by another program since (a value of a
// row, the size and the time kept), the file is read anew, and the write-back goes in with the
// changed value kept.
TEST_F(JetWriteBack, AStandInIsMadeFromTheBytesTheFileHoldsNow) {
    const fs::path file = Copy("indexTestV2003.mdb");
    OpenDatabase(file.string())->Close();
    const auto modified = fs::last_write_time(file);
    const auto size = fs::file_size(file);
    {
        jet::format::PageFile pages = jet::format::PageFile::Open(file);
        const std::uint32_t table =
            jet::format::LocalTablePage(jet::format::ReadCatalog(pages), "Table1").value_or(0);
        ASSERT_NE(table, 0u);
        const jet::format::TableDef def = jet::format::ReadTableDef(pages, table);
        const std::vector<jet::format::StoredRow> rows = jet::format::TableRows(pages, def);
        ASSERT_FALSE(rows.empty());
        jet::write::UpdateRow(pages, table, rows.front().where,
                              {{"otherfk3", jet::write::LongBytes(7)}});
        pages.Save(file);
    }
    fs::last_write_time(file, modified);
    ASSERT_EQ(fs::file_size(file), size);
    ASSERT_EQ(Change(file, AddPedidos), 0);
    auto db = OpenDatabase(file.string());
    EXPECT_TRUE(db->TableDefs().Contains("Pedidos"));
    auto rs = db->OpenRecordset("SELECT otherfk3 FROM Table1 WHERE otherfk3 = 7");
    EXPECT_FALSE(rs->Eof()) << "the value written meanwhile is there";
    rs->Close();
    db->Close();
}

// The digests the write-back compares rows by, taken as a reading streams them: one value changed
// on its page changes its table's digest (and no other), names that row, and is not seen when
// only the other fields count (as when a field was deleted).
TEST_F(JetWriteBack, RowDigestsTellTheRowWhoseValueChanged) {
    const fs::path file = Copy("indexTestV2003.mdb");
    jet::format::PageFile pages = jet::format::PageFile::Open(file);
    const std::uint32_t table =
        jet::format::LocalTablePage(jet::format::ReadCatalog(pages), "Table1").value_or(0);
    ASSERT_NE(table, 0u);
    const jet::format::TableDef def = jet::format::ReadTableDef(pages, table);
    const std::vector<jet::format::StoredRow> rows = jet::format::TableRows(pages, def);
    ASSERT_GT(rows.size(), 2u);
    const std::size_t changed = rows.size() / 2;
    std::vector<std::string> others;
    for (const jet::format::ColumnDef& column : def.columns)
        if (column.name != "otherfk3") others.push_back(column.name);
    const jet::format::ColumnDef* column = nullptr;
    for (const jet::format::ColumnDef& c : def.columns)
        if (c.name == "otherfk3") column = &c;
    ASSERT_NE(column, nullptr);
    const auto value = jet::format::RowValues(pages, def, rows[changed].bytes).Value(*column);
    ASSERT_TRUE(value);
    pages.Mutable(*value)[0] ^= 0x01;
    const fs::path altered = Folder() / "alterado.mdb";
    pages.Save(altered);

    auto read = [](const fs::path& f, JetRowDigester::Fields only) {
        JetRowDigester digester(std::move(only), "Table1");
        ReadJetFileRows(f, JetReadOptions{}, digester);
        return std::make_pair(digester.Digests(), digester.Listed());
    };
    const auto [before, beforeRows] = read(file, {});
    const auto [after, afterRows] = read(altered, {});
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [name, digests] : before) {
        EXPECT_EQ(after.at(name).rows, digests.rows) << name;
        EXPECT_EQ(after.at(name).sequence == digests.sequence, name != "Table1") << name;
    }
    ASSERT_EQ(beforeRows.size(), rows.size());
    ASSERT_EQ(afterRows.size(), rows.size());
    std::size_t first = 0;
    while (first < rows.size() && beforeRows[first] == afterRows[first]) ++first;
    EXPECT_EQ(first, changed);
    EXPECT_TRUE(std::equal(beforeRows.begin() + static_cast<long>(changed) + 1, beforeRows.end(),
                           afterRows.begin() + static_cast<long>(changed) + 1));
    EXPECT_EQ(read(file, {{"Table1", others}}).first.at("Table1").sequence,
              read(altered, {{"Table1", others}}).first.at("Table1").sequence);
}

}  // namespace
}  // namespace actualiz::engine::testing
