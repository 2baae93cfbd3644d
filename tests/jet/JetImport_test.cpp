// Jet files in the engine: imported into a new engine database, and opened read-only in place.
#include <gtest/gtest.h>

#include "engine/EngineFixture.h"
#include "engine/SchemaJson.h"
#include "jet/JetReader.h"
#include "jet/JetTestSupport.h"

namespace actualiz::engine::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The document of a database as the engine describes it, with rows, for comparing with what was
// read from the Jet file.
json Described(Database& db) {
    DescribeOptions options;
    options.includeRows = true;
    return DescribeDatabase(db, options);
}

// The same document with the engine's order of tables and queries (by name, ignoring case), which
// is the order the classic engine's collections have too.
json InCollectionOrder(json doc) {
    auto byName = [](const json& a, const json& b) {
        return NameLess(a.at("name").get<std::string>(), b.at("name").get<std::string>());
    };
    std::sort(doc["tables"].begin(), doc["tables"].end(), byName);
    std::sort(doc["queries"].begin(), doc["queries"].end(), byName);
    return doc;
}

class JetImportTest : public EngineTest, public ::testing::WithParamInterface<std::string> {
  protected:
    // Imports a sample into a new engine database below drive C.
    std::shared_ptr<Database> Import(const std::string& sample, const std::string& name,
                                     std::vector<std::string>* notes = nullptr,
                                     JetReadOptions options = {}) {
        fs::path out = HostPath(name);
        files_.push_back(out);
        return ImportJetFile(JetSample(sample), out.string(), options, notes);
    }
};

TEST_P(JetImportTest, TheEngineDatabaseHoldsEverythingThatWasRead) {
    REQUIRE_JET_READER();
    JetContents read = ReadJetFile(JetSample(GetParam()));
    std::vector<std::string> notes;
    auto db = Import(GetParam(), "importada.mdb", &notes);
    json expected = InCollectionOrder(read.document);
    json actual = Described(*db);
    ASSERT_EQ(actual.at("tables").size(), expected.at("tables").size());
    for (std::size_t i = 0; i < expected.at("tables").size(); ++i)
        EXPECT_EQ(actual.at("tables")[i], expected.at("tables")[i])
            << expected.at("tables")[i].at("name");
    EXPECT_EQ(actual.at("relations"), expected.at("relations"));
    EXPECT_EQ(actual.at("queries"), expected.at("queries"));
    EXPECT_EQ(notes, read.notCarried);
    db->Close();
    // A second engine connection sees the same, so everything is in the file.
    auto again = OpenDatabase(HostPath("importada.mdb").string());
    EXPECT_EQ(Described(*again), actual);
}

INSTANTIATE_TEST_SUITE_P(Samples, JetImportTest, ::testing::ValuesIn(JetSampleNames()),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

using JetImport = JetImportTest;

TEST_F(JetImport, StructureOnlyHasNoRows) {
    REQUIRE_JET_READER();
    JetReadOptions options;
    options.includeRows = false;
    auto db = Import("testIndexCodesV1997.mdb", "estructura.mdb", nullptr, options);
    int tables = 0;
    for (const auto& t : db->TableDefs()) {
        if (IsSystemName(t->Name())) continue;
        ++tables;
        EXPECT_EQ(db->OpenRecordset(t->Name())->RecordCount(), 0) << t->Name();
        EXPECT_FALSE(t->Indexes().Count() == 0) << t->Name();
    }
    EXPECT_EQ(tables, 29);
}

TEST_F(JetImport, RelationsAreEnforcedWithTheirCascades) {
    REQUIRE_JET_READER();
    auto db = Import("indexTestV2000.mdb", "relaciones.mdb");
    // Table2Table1 deletes in cascade: removing Table2's id 1 removes Table1's rows 1 and 2.
    auto table2 = db->OpenRecordset("SELECT * FROM Table2 WHERE id = 1");
    ASSERT_EQ(table2->RecordCount(), 1);
    table2->Delete();
    EXPECT_EQ(db->OpenRecordset("Table1")->RecordCount(), 2);
    EXPECT_EQ(db->OpenRecordset("SELECT * FROM Table1 WHERE otherfk1 = 1")->RecordCount(), 0);
    // Table3Table1 updates in cascade: Table3's id 13 becoming 23 carries Table1's row 3 along.
    auto table3 = db->OpenRecordset("SELECT * FROM Table3 WHERE id = 13");
    table3->Edit();
    table3->Fields()[0]->SetValue(23LL);
    table3->Update();
    EXPECT_EQ(db->OpenRecordset("SELECT * FROM Table1 WHERE otherfk2 = 23")->RecordCount(), 1);
    // And a row that matches no Table2 row is refused.
    auto table1 = db->OpenRecordset("Table1");
    table1->AddNew();
    table1->Fields()[0]->SetValue(9LL);
    table1->Fields()[1]->SetValue(99LL);
    EXPECT_EQ(ErrorOf([&] { table1->Update(); }), err::kRelatedRecordRequired);
}

// A model whose rules read the clock (which SQLite refuses in a CHECK) is built with all its rows:
// the rows are the ones the database holds, and the rules hold for the rows written from then on.
TEST_F(JetImport, RulesThatReadTheClockKeepTheRowsAndCheckNewOnes) {
    REQUIRE_JET_READER();
    json doc = ReadJetFile(JetSample("testV1997.mdb")).document;
    // The first table with a date field that holds a date.
    std::string table, field;
    std::size_t rows = 0, column = 0;
    for (json& t : doc.at("tables")) {
        for (std::size_t i = 0; i < t.at("fields").size() && table.empty(); ++i) {
            json& f = t.at("fields")[i];
            if (f.at("type").get<int>() != dbDate || f.contains("validationRule")) continue;
            for (const json& row : t.at("rows"))
                if (row[i].is_string()) {
                    table = t.at("name").get<std::string>();
                    field = f.at("name").get<std::string>();
                    column = i;
                    rows = t.at("rows").size();
                    // Every row already there breaks it.
                    f["validationRule"] = "> Now()";
                    t["validationRule"] = "[" + field + "] Is Null Or [" + field + "] > Date()";
                    t["validationText"] = "Solo fechas futuras";
                    break;
                }
        }
        if (!table.empty()) break;
    }
    ASSERT_FALSE(table.empty()) << "no date in the sample";
    const fs::path out = HostPath("reloj.mdb");
    files_.push_back(out);
    auto db = BuildDatabase(out.string(), doc);
    EXPECT_EQ(db->OpenRecordset(table)->RecordCount(), static_cast<long>(rows));
    EXPECT_EQ(db->TableDefs()[table]->Fields()[field]->ValidationRule(), "> Now()");
    // A new row, or a changed one, is held to the rules.
    auto rs = db->OpenRecordset(table);
    rs->MoveFirst();
    rs->Edit();
    rs->Fields()[static_cast<int>(column)]->SetValue(std::string("2000-01-01 00:00:00"));
    EXPECT_EQ(ErrorOf([&] { rs->Update(); }), err::kValidationRule);
    rs->CancelUpdate();
    rs->Edit();
    rs->Fields()[static_cast<int>(column)]->SetValue(std::string("2999-01-01 00:00:00"));
    EXPECT_EQ(ErrorOf([&] { rs->Update(); }), 0);
}

TEST_F(JetImport, AnExistingOutputIsRefusedAndLeftAlone) {
    REQUIRE_JET_READER();
    fs::path out = prefix_.writeFile("ocupado.mdb", "no tocar");
    EXPECT_EQ(
        ErrorOf([&] { ImportJetFile(JetSample("testV1997.mdb"), out.string(), {}, nullptr); }),
        err::kDatabaseExists);
    EXPECT_EQ(ReadBytes(out), "no tocar");
}

TEST_F(JetImport, AFileThatIsNoJetFileLeavesNothingBehind) {
    REQUIRE_JET_READER();
    fs::path source = prefix_.writeFile("basura.mdb", std::string(3000, 'z'));
    fs::path out = HostPath("nada.mdb");
    EXPECT_EQ(ErrorOf([&] { ImportJetFile(source, out.string(), {}, nullptr); }),
              err::kUnrecognizedFormat);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(JetImport, WindowsPathsForTheOutput) {
    REQUIRE_JET_READER();
    prefix_.makeDir("Datos");
    auto db = ImportJetFile(JetSample("testV1997.mdb"), "C:\\Datos\\nueva.mdb", {}, nullptr);
    files_.push_back(prefix_.driveCPath("Datos/nueva.mdb"));
    EXPECT_EQ(db->Name(), "C:\\Datos\\nueva.mdb");
    EXPECT_TRUE(fs::exists(prefix_.driveCPath("Datos/nueva.mdb")));
}

// -----------------------------------------------------------------------------------------------
// Opening a Jet file in place: read-only.

class JetOpenTest : public EngineTest {
  protected:
    void SetUp() override {
        SetJetNoteSink({});  // the notes of the samples are the reader tests' business
    }
    void TearDown() override {
        SetJetNoteSink([](const std::string& n) { std::cerr << n << "\n"; });
        EngineTest::TearDown();
    }
    fs::path CopySample(const std::string& sample, const std::string& name) {
        fs::path copy = prefix_.driveCPath(name);
        fs::copy_file(JetSample(sample), copy);
        return copy;
    }
};

TEST_F(JetOpenTest, DefinitionsAndRowsAreReadable) {
    REQUIRE_JET_READER();
    fs::path file = CopySample("indexTestV2000.mdb", "modelo.mdb");
    auto db = OpenDatabase(file.string());
    EXPECT_EQ(db->Name(), file.string());
    EXPECT_FALSE(db->Updatable());
    JetReadOptions all;
    all.includeHiddenQueries = true;
    json expected = InCollectionOrder(ReadJetFile(file, all).document);
    EXPECT_EQ(Described(*db), expected);
    auto table1 = db->TableDefs()["Table1"];
    EXPECT_FALSE(table1->Updatable());
    EXPECT_EQ(table1->Fields().Count(), 5);
    EXPECT_EQ(table1->Indexes().Count(), 4);
    EXPECT_EQ(db->Relations().Count(), 2);
    auto rs = db->OpenRecordset("SELECT * FROM Table1 WHERE otherfk1 = 1");
    EXPECT_EQ(rs->RecordCount(), 2);
    EXPECT_EQ(rs->Fields()[3]->Text(), "baz11");
}

TEST_F(JetOpenTest, EveryChangeIsRefusedWith3027AndTheFileStaysAsItWas) {
    REQUIRE_JET_READER();
    fs::path file = CopySample("queryTestV2000.mdb", "consultas.mdb");
    std::string before = ReadBytes(file);
    auto mtime = fs::last_write_time(file);
    auto db = OpenDatabase(file.string());
    auto table = db->CreateTableDef("Nueva");
    table->Fields().Append(table->CreateField("a", dbLong));
    EXPECT_EQ(ErrorOf([&] { db->TableDefs().Append(table); }), err::kReadOnly);
    EXPECT_EQ(ErrorOf([&] { db->TableDefs().Delete("Table1"); }), err::kReadOnly);
    EXPECT_EQ(ErrorOf([&] { db->QueryDefs().Delete("SelectQuery"); }), err::kReadOnly);
    EXPECT_EQ(ErrorOf([&] { db->CreateQueryDef("Otra", "SELECT * FROM Table1"); }), err::kReadOnly);
    auto t1 = db->TableDefs()["Table1"];
    EXPECT_EQ(ErrorOf([&] { t1->Fields().Append(t1->CreateField("b", dbText, 10)); }),
              err::kReadOnly);
    auto index = t1->CreateIndex("nuevo");
    index->Fields().Append(index->CreateField("col1"));
    EXPECT_EQ(ErrorOf([&] { t1->Indexes().Append(index); }), err::kReadOnly);
    auto relation = db->CreateRelation("r", "Table1", "Table2");
    relation->Fields().Append(relation->CreateField("col1"));
    relation->Fields()[0]->SetForeignName("col1");
    EXPECT_EQ(ErrorOf([&] { db->Relations().Append(relation); }), err::kReadOnly);
    auto rs = db->OpenRecordset("Table1");
    EXPECT_EQ(ErrorOf([&] { rs->AddNew(); }), err::kReadOnly);
    EXPECT_EQ(db->QueryDefs().Count(), 9);
    EXPECT_EQ(db->QueryDefs()["UnionQuery"]->SQL().rfind("Select Table1.col1", 0), 0u);
    db->Close();
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(fs::last_write_time(file), mtime);
}

TEST_F(JetOpenTest, WindowsPathsAndReopeningAfterTheFileChanged) {
    REQUIRE_JET_READER();
    fs::path file = CopySample("testV1997.mdb", "cambia.mdb");
    auto first = OpenDatabase("C:\\cambia.mdb");
    EXPECT_EQ(first->Name(), "C:\\cambia.mdb");
    EXPECT_TRUE(first->TableDefs().Contains("Table4"));
    // Another program replaces the file: the next opening shows the new content.
    fs::remove(file);
    fs::copy_file(JetSample("indexTestV2000.mdb"), file);
    auto second = OpenDatabase("C:\\cambia.mdb");
    EXPECT_FALSE(second->TableDefs().Contains("Table4"));
    EXPECT_EQ(second->Relations().Count(), 2);
    // The first stays what it was.
    EXPECT_TRUE(first->TableDefs().Contains("Table4"));
    EXPECT_EQ(OpenJetDatabase("C:\\cambia.mdb")->Relations().Count(), 2);
    // A cleaner of temporary files removes the reading copies meanwhile: they are made again.
    fs::remove_all(JetReadingCopy(file).parent_path());
    EXPECT_EQ(OpenJetDatabase("C:\\cambia.mdb")->Relations().Count(), 2);
}

TEST_F(JetOpenTest, ABrokenJetFileIsUnrecognizedAndUntouched) {
    REQUIRE_JET_READER();
    std::string header("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    fs::path file = prefix_.writeFile("roto.mdb", header + std::string(4096, '\0'));
    std::string before = ReadBytes(file);
    EXPECT_EQ(ErrorOf([&] { OpenDatabase(file.string()); }), err::kUnrecognizedFormat);
    EXPECT_EQ(ErrorOf([&] { OpenJetDatabase(file.string()); }), err::kUnrecognizedFormat);
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(ErrorOf([&] { OpenJetDatabase(prefix_.writeFile("otro.mdb", "x").string()); }),
              err::kUnrecognizedFormat);
    EXPECT_EQ(ErrorOf([&] { OpenJetDatabase(HostPath("falta.mdb").string()); }),
              err::kFileNotFound);
}

TEST_F(JetOpenTest, NotesOfTheImportGoToTheSink) {
    REQUIRE_JET_READER();
    std::vector<std::string> notes;
    SetJetNoteSink([&notes](const std::string& n) { notes.push_back(n); });
    fs::path file = CopySample("queryTestV2000.mdb", "notas.mdb");
    OpenDatabase(file.string());
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("notas.mdb"), std::string::npos);
    EXPECT_NE(notes[0].find("PassthroughQuery"), std::string::npos);
    // The same file version is not read again.
    OpenDatabase(file.string());
    EXPECT_EQ(notes.size(), 1u);
}

}  // namespace
}  // namespace actualiz::engine::testing
