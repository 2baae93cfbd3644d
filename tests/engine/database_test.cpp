#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "EngineFixture.h"

namespace actualiz::engine::testing {
namespace {

namespace fs = std::filesystem;

using DatabaseTest = EngineTest;

TEST_F(DatabaseTest, CreateMakesAnEmptyDatabaseWhoseOnlyTablesAreSystemTables) {
    auto db = NewDatabase();
    EXPECT_TRUE(db->Updatable());
    EXPECT_GT(db->TableDefs().Count(), 0);
    for (const auto& t : db->TableDefs()) EXPECT_TRUE(IsSystemName(t->Name())) << t->Name();
    EXPECT_TRUE(db->TableDefs().Contains("MSysObjects"));
    EXPECT_EQ(db->Relations().Count(), 0);
    EXPECT_EQ(db->QueryDefs().Count(), 0);
}

TEST_F(DatabaseTest, CreateRefusesAnExistingFileAndLeavesItAlone) {
    auto path = prefix_.writeFile("existe.mdb", "contenido");
    EXPECT_EQ(ErrorOf([&] { CreateDatabase(path.string()); }), err::kDatabaseExists);
    EXPECT_EQ(ReadBytes(path), "contenido");
    NewDatabase("doble.mdb");
    EXPECT_EQ(ErrorOf([&] { CreateDatabase(HostPath("doble.mdb").string()); }),
              err::kDatabaseExists);
}

TEST_F(DatabaseTest, CreateLeavesNoTemporaryFilesBehind) {
    NewDatabase("solo.mdb");
    int entries = 0;
    for (const auto& e : fs::directory_iterator(prefix_.driveC())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(DatabaseTest, NameIsThePathAsGivenAndWindowsPathsAreMapped) {
    prefix_.makeDir("ActMirto");
    NewDatabase("ActMirto/indices.mdb");
    auto db = OpenDatabase("C:\\ActMirto\\indices.mdb");
    EXPECT_EQ(db->Name(), "C:\\ActMirto\\indices.mdb");
    auto lower = OpenDatabase("c:\\actmirto\\INDICES.MDB");
    EXPECT_TRUE(lower->TableDefs().Contains("MSysObjects"));
}

TEST_F(DatabaseTest, MissingFileGives3024AndMissingFolder3044) {
    EXPECT_EQ(ErrorOf([&] { OpenDatabase(HostPath("no.mdb").string()); }), err::kFileNotFound);
    EXPECT_EQ(ErrorOf([&] { OpenDatabase("C:\\no.mdb"); }), err::kFileNotFound);
    EXPECT_EQ(ErrorOf([&] { OpenDatabase("C:\\carpeta\\no.mdb"); }), err::kInvalidPath);
}

TEST_F(DatabaseTest, FolderGives3051) {
    prefix_.makeDir("carpeta.mdb");
    EXPECT_EQ(ErrorOf([&] { OpenDatabase("C:\\carpeta.mdb"); }), err::kCannotOpenFile);
}

TEST_F(DatabaseTest, ErrorsCarryASpanishTextNamingTheFile) {
    try {
        OpenDatabase("C:\\falta.mdb");
        FAIL() << "no error";
    } catch (const EngineError& e) {
        EXPECT_NE(e.description().find("falta.mdb"), std::string::npos) << e.description();
        EXPECT_NE(e.description().find("No se encontró"), std::string::npos) << e.description();
    }
}

// Files that are no database of this engine: refused with 3343 and left byte for byte as they were.
class BadFileTest : public DatabaseTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BadFileTest, Gives3343AndIsNotModified) {
    std::string kind = GetParam();
    fs::path path = HostPath("malo.mdb");
    if (kind == "empty") {
        prefix_.writeFile("malo.mdb", "");
    } else if (kind == "garbage") {
        prefix_.writeFile("malo.mdb", std::string(5000, 'x'));
    } else if (kind == "jet") {
        std::string header("\x00\x01\x00\x00Standard Jet DB\x00", 20);
        prefix_.writeFile("malo.mdb", header + std::string(4096, '\0'));
    } else if (kind == "plain-sqlite") {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "CREATE TABLE clientes (nombre TEXT); INSERT INTO clientes VALUES ('a')",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
    } else if (kind == "engine-id-without-tables") {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "PRAGMA application_id = 1094933060; CREATE TABLE x (a)", nullptr, nullptr,
                     nullptr);
        sqlite3_close(db);
    }
    std::string before = ReadBytes(path);
    auto mtime = fs::last_write_time(path);
    EXPECT_EQ(ErrorOf([&] { OpenDatabase(path.string()); }), err::kUnrecognizedFormat);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(fs::last_write_time(path), mtime);
    EXPECT_FALSE(fs::exists(path.string() + "-journal"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, BadFileTest,
                         ::testing::Values("empty", "garbage", "jet", "plain-sqlite",
                                           "engine-id-without-tables"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

TEST_F(DatabaseTest, ReadOnlyFileOpensWithNothingUpdatable) {
    {
        auto db = NewDatabase();
        AddTable(*db, "clientes", {"nombre"});
        AddRow(*db, "clientes", {std::string("Ana")});
    }
    fs::path path = HostPath("prueba.mdb");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::string before = ReadBytes(path);

    auto db = Reopen();
    EXPECT_FALSE(db->Updatable());
    auto t = db->TableDefs()["clientes"];
    EXPECT_FALSE(t->Updatable());
    EXPECT_EQ(ErrorOf([&] { t->Fields().Append(t->CreateField("nuevo", dbLong)); }),
              err::kReadOnly);
    EXPECT_EQ(t->Fields().Count(), 1);
    EXPECT_EQ(ErrorOf([&] { AddTable(*db, "otra", {"a"}); }), err::kReadOnly);
    EXPECT_EQ(ErrorOf([&] { db->CreateQueryDef("q", "SELECT * FROM clientes"); }), err::kReadOnly);
    auto ix = t->CreateIndex("nombre");
    ix->Fields().Append(ix->CreateField("nombre"));
    EXPECT_EQ(ErrorOf([&] { t->Indexes().Append(ix); }), err::kReadOnly);

    auto rs = db->OpenRecordset("clientes");
    EXPECT_FALSE(rs->Updatable());
    EXPECT_EQ(rs->Fields()[0]->Text(), "Ana");
    EXPECT_EQ(ErrorOf([&] { rs->AddNew(); }), err::kReadOnly);
    EXPECT_EQ(ErrorOf([&] { rs->Delete(); }), err::kReadOnly);
    db->Close();
    EXPECT_EQ(ReadBytes(path), before);
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(DatabaseTest, ClosedDatabaseGives3420) {
    auto db = NewDatabase();
    db->Close();
    EXPECT_FALSE(db->IsOpen());
    EXPECT_EQ(ErrorOf([&] { db->TableDefs(); }), err::kObjectClosed);
    EXPECT_EQ(ErrorOf([&] { db->OpenRecordset("MSysObjects"); }), err::kObjectClosed);
}

TEST_F(DatabaseTest, ChangesAreVisibleToANewConnectionAtOnce) {
    auto db = NewDatabase();
    AddTable(*db, "clientes", {"nombre", "ciudad"});
    auto other = Reopen();
    ASSERT_TRUE(other->TableDefs().Contains("clientes"));
    auto t = other->TableDefs()["clientes"];
    ASSERT_EQ(t->Fields().Count(), 2);
    EXPECT_EQ(t->Fields()[1]->Name(), "ciudad");
    EXPECT_EQ(t->Fields()[1]->Size(), 50);
}

TEST_F(DatabaseTest, HandlesOfOneFileShareItsConnectionButNotTheirState) {
    auto db = NewDatabase();
    AddTable(*db, "clientes", {"nombre"});
    auto other = Reopen();
    EXPECT_EQ(other->Handle(), db->Handle());
    // A table one handle appends is found by the other, which read its definitions before.
    AddTable(*db, "proveedores", {"nombre"});
    EXPECT_NO_THROW(other->OpenRecordset("proveedores"));
    EXPECT_TRUE(other->TableDefs().Contains("proveedores"));
    // A definition another program changes while the file is held shows in the next opening.
    RawQuery(HostPath("prueba.mdb"), "UPDATE MSysColumns SET Size = 77 WHERE Name = 'nombre'");
    EXPECT_EQ(Reopen()->TableDefs()["clientes"]->Fields()["nombre"]->Size(), 77);
    // Closing one handle leaves the other working.
    db->Close();
    EXPECT_EQ(ErrorOf([&] { db->TableDefs(); }), err::kObjectClosed);
    AddTable(*other, "pedidos", {"numero"});
    other->Close();
    // A file copied over one the run had open is read afresh: its own tables show.
    auto copy = NewDatabase("otra.mdb");
    AddTable(*copy, "solo_en_otra", {"x"});
    copy->Close();
    std::filesystem::copy_file(HostPath("otra.mdb"), HostPath("prueba.mdb"),
                               std::filesystem::copy_options::overwrite_existing);
    auto again = Reopen();
    EXPECT_TRUE(again->TableDefs().Contains("solo_en_otra"));
    EXPECT_FALSE(again->TableDefs().Contains("pedidos"));
    // The last handle closed in the middle of a transaction leaves no lock behind it.
    ASSERT_EQ(sqlite3_exec(again->Handle(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr),
              SQLITE_OK);
    again->Close();
    int rc = -1;
    RawQuery(HostPath("prueba.mdb"), "BEGIN IMMEDIATE", &rc);
    EXPECT_EQ(rc, SQLITE_OK);
}

TEST_F(DatabaseTest, AWriteGroupIsWrittenOnceOrNotAtAll) {
    auto db = NewDatabase();
    AddTable(*db, "t", {"a"});
    const auto count = [&] { return RawQuery(HostPath("prueba.mdb"), "SELECT count(*) FROM t"); };
    {
        WriteGroup group(*db);
        AddRow(*db, "t", {std::string("1")});
        AddRow(*db, "t", {std::string("2")});
        EXPECT_EQ(count(), std::vector<std::string>{"0"});  // nothing on disk before the commit
    }
    EXPECT_EQ(count(), std::vector<std::string>{"0"});  // ended uncommitted: rolled back
    {
        WriteGroup group(*db);
        AddRow(*db, "t", {std::string("1")});
        AddTable(*db, "u", {"b"});  // a schema change joins the group
        group.Commit();
    }
    EXPECT_EQ(count(), std::vector<std::string>{"1"});
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"), "SELECT count(*) FROM u"),
              std::vector<std::string>{"0"});
}

TEST_F(DatabaseTest, WriterFindingTheFileLockedFailsWithInUseAfterABoundedWait) {
    auto db = NewDatabase();
    AddTable(*db, "clientes", {"nombre"});
    // Another program holds a write transaction on the file.
    sqlite3* holder = nullptr;
    sqlite3_open(HostPath("prueba.mdb").c_str(), &holder);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    auto t = db->TableDefs()["clientes"];
    auto start = std::chrono::steady_clock::now();
    int number = ErrorOf([&] { t->Fields().Append(t->CreateField("ciudad", dbText, 20)); });
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(number, err::kTableInUse);
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_EQ(t->Fields().Count(), 1);

    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    t->Fields().Append(t->CreateField("ciudad", dbText, 20));
    EXPECT_EQ(Reopen()->TableDefs()["clientes"]->Fields().Count(), 2);
}

TEST_F(DatabaseTest, FileOpensInThePlainSqliteShellWithNaturalTables) {
    auto db = NewDatabase();
    auto t = db->CreateTableDef("Detalles de pedidos");
    t->Fields().Append(t->CreateField("Id pedido", dbLong));
    t->Fields().Append(t->CreateField("Categoría", dbText, 30));
    t->Fields().Append(t->CreateField("Notas", dbMemo));
    t->Fields().Append(t->CreateField("Precio", dbDouble));
    db->TableDefs().Append(t);
    AddRow(*db, "Detalles de pedidos", {10LL, std::string("Vinos"), std::string("x"), 2.5});
    db->Close();
    auto schema = RawQuery(HostPath("prueba.mdb"),
                           "SELECT sql FROM sqlite_master WHERE name = 'Detalles de pedidos'");
    ASSERT_EQ(schema.size(), 1u);
    EXPECT_EQ(schema[0],
              "CREATE TABLE \"Detalles de pedidos\" (\"Id pedido\" INTEGER, \"Categoría\" "
              "VARCHAR(30) COLLATE NOCASE, \"Notas\" TEXT COLLATE NOCASE, \"Precio\" DOUBLE)");
    EXPECT_EQ(RawQuery(HostPath("prueba.mdb"),
                       "SELECT typeof(\"Id pedido\") || typeof(\"Notas\") || typeof(\"Precio\") "
                       "FROM \"Detalles de pedidos\"")[0],
              "integertextreal");
}

}  // namespace
}  // namespace actualiz::engine::testing
