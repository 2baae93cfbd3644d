#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "app/Actualiz.h"
#include "app/Host.h"
#include "catalogs/CatalogFiles.h"
#include "catalogs/CatalogLock.h"
#include "catalogs/IndexCatalog.h"
#include "catalogs/RelationCatalog.h"
#include "cli/Backup.h"
#include "cli/CliTestSupport.h"
#include "cli/DiffCommand.h"
#include "cli/MigrateCommand.h"
#include "cli/Progress.h"
#include "cli/QueryCommand.h"
#include "cli/Sandbox.h"
#include "cli/SchemaCommands.h"
#include "cli/TransformCommand.h"
#include "engine/ForeignFiles.h"
#include "jet/JetReader.h"
#include "jet/JetTestSupport.h"
#include "platform/FileSystem.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const char* const kDataFolder = "c:\\archivos de programa\\Mirto 2000\\bases";
const char* const kDataFolderHost = "archivos de programa/Mirto 2000/bases";
const char* const kProgramFolder = "C:\\prog";

// A model with two tables, an index, a relation and a query; the old database lacks the second
// table, two fields, and has an index and a query of its own.
json ModelClientes() {
    return json::parse(R"({
      "tables": [
        {"name": "clientes",
         "fields": [{"name": "codigo", "type": 4}, {"name": "nombre", "type": 10, "size": 50},
                    {"name": "email", "type": 10, "size": 100}, {"name": "alta", "type": 8}],
         "indexes": [{"name": "PrimaryKey", "fields": ["codigo"], "primary": true, "unique": true},
                     {"name": "nombre", "fields": ["nombre"]}]},
        {"name": "visitas",
         "fields": [{"name": "codigo", "type": 4}, {"name": "fecha", "type": 8},
                    {"name": "nota", "type": 12}]}
      ],
      "relations": [{"name": "clientesvisitas", "table": "clientes", "foreignTable": "visitas",
                     "attributes": 2, "fields": [{"name": "codigo", "foreignName": "codigo"}]}],
      "queries": [{"name": "todos", "sql": "SELECT * FROM clientes"}]
    })");
}

json OldClientes() {
    return json::parse(R"({
      "tables": [
        {"name": "clientes",
         "fields": [{"name": "codigo", "type": 4}, {"name": "nombre", "type": 10, "size": 50}],
         "indexes": [{"name": "PrimaryKey", "fields": ["codigo"], "primary": true, "unique": true},
                     {"name": "codigo2", "fields": ["codigo"]}]}
      ],
      "queries": [{"name": "viejos", "sql": "SELECT nombre FROM clientes"}]
    })");
}

// Structures without indexes, relations or queries: every step of their upgrade succeeds.
json Table(const std::string& name, const std::vector<std::string>& fields) {
    json t = {{"name", name}, {"fields", json::array()}};
    for (const auto& f : fields) t["fields"].push_back({{"name", f}, {"type", 4}});
    return t;
}
json Plain(std::vector<json> tables) {
    return {{"tables", tables}};
}

// Runs statements on a file straight through SQLite, as another program would.
void RawExec(const fs::path& file, const std::vector<std::string>& statements) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    for (const std::string& sql : statements)
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

// A file as the first format wrote it: system tables without the property columns.
void MakeFirstFormat(const fs::path& file) {
    RawExec(file, {"ALTER TABLE MSysObjects DROP COLUMN ValidationRule",
                   "ALTER TABLE MSysObjects DROP COLUMN ValidationText",
                   "ALTER TABLE MSysColumns DROP COLUMN Attributes",
                   "ALTER TABLE MSysColumns DROP COLUMN DefaultValue",
                   "ALTER TABLE MSysColumns DROP COLUMN ValidationRule",
                   "ALTER TABLE MSysColumns DROP COLUMN ValidationText",
                   "ALTER TABLE MSysIndexes DROP COLUMN IsRequired",
                   "DELETE FROM MSysColumns WHERE Name IN ('ValidationRule', 'ValidationText', "
                   "'Attributes', 'DefaultValue', 'IsRequired')",
                   "PRAGMA user_version = 1"});
}

long long UserVersion(const fs::path& file) {
    sqlite3* db = nullptr;
    long long version = -1;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        version = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return version;
}

int Count(const json& document, const char* what) {
    if (std::string(what) != "indexes") return static_cast<int>(document.at(what).size());
    int count = 0;
    for (const auto& t : document.at("tables")) count += static_cast<int>(t.at("indexes").size());
    return count;
}

// Options written the way they read on the command line.
struct Options : cli::TransformOptions {
    Options& Json() {
        json = true;
        return *this;
    }
    Options& NoBackup() {
        noBackup = true;
        return *this;
    }
    Options& DryRun() {
        dryRun = true;
        return *this;
    }
    Options& DataDir(std::string folder) {
        dataDir = std::move(folder);
        return *this;
    }
    Options& ProgramDir(std::string folder) {
        programDir = std::move(folder);
        return *this;
    }
};

class TransformRun : public ::testing::Test {
  protected:
    struct Result {
        int status;
        std::string out;
        std::string err;
        json report() const { return json::parse(out); }
    };

    void SetUp() override {
        catalogs::CreateCatalogs(false);
        prefix.makeDir("prog/modelos");
        prefix.makeDir(kDataFolderHost);
        // Previews make their copies in the temporary folder, and a run removes the ones killed
        // runs left there: this program keeps to a temporary folder of its own. It stays the same
        // for the whole program, as the system's does (Jet reading copies live there).
        static const struct OwnTemporary {
            fs::path path = platform::CreateTemporaryFolder("actualiz-pruebas-");
            ~OwnTemporary() {
                std::error_code ec;
                fs::remove_all(path, ec);
            }
        } own;
        if (const char* saved = std::getenv("TMPDIR")) savedTemporary = saved;
        temporary = own.path;
        ::setenv("TMPDIR", temporary.c_str(), 1);
    }
    void TearDown() override {
        if (savedTemporary)
            ::setenv("TMPDIR", savedTemporary->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

    void Model(const std::string& name, const json& document) {
        Build(std::string(kProgramFolder) + "\\modelos\\" + name, document);
    }
    void Old(const std::string& name, const json& document) { Build(OldPath(name), document); }
    static std::string OldPath(const std::string& name) {
        return std::string(kDataFolder) + "\\" + name;
    }
    fs::path OldHost(const std::string& name) const {
        return prefix.driveCPath(std::string(kDataFolderHost) + "/" + name);
    }

    // The usual set-up: clientes.mdb paired, otra.mdb without a model, nueva.mdb without an old
    // database.
    void Scenario() {
        Model("clientes.mdb", ModelClientes());
        Old("clientes.mdb", OldClientes());
        Old("otra.mdb", Plain({Table("x", {"a"})}));
        Model("nueva.mdb", Plain({Table("t", {"a"})}));
    }
    // The same, with structures whose upgrade cannot fail.
    void PlainScenario() {
        Model("clientes.mdb", Plain({Table("clientes", {"codigo", "nombre", "email"}),
                                     Table("visitas", {"codigo", "fecha"})}));
        Old("clientes.mdb", Plain({Table("clientes", {"codigo", "nombre"})}));
        Old("otra.mdb", Plain({Table("x", {"a"})}));
        Model("nueva.mdb", Plain({Table("t", {"a"})}));
    }

    Result Run(cli::TransformOptions options, bool terminal = false) {
        if (options.programDir.empty()) options.programDir = kProgramFolder;
        std::ostringstream out, err;
        int status = cli::TransformCommand(options, out, err, terminal);
        return {status, out.str(), err.str()};
    }

    std::vector<std::string> BackupFolders() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(prefix.driveCPath(kDataFolderHost)))
            if (e.path().filename().string().rfind("respaldo-", 0) == 0)
                names.push_back(e.path().filename().string());
        return names;
    }

    TempPrefix prefix;
    fs::path temporary;
    std::optional<std::string> savedTemporary;
};

const json* FindDatabase(const json& report, const std::string& name) {
    for (const auto& db : report.at("databases"))
        if (db.at("name") == name) return &db;
    return nullptr;
}

// Another process holding a folder's lock, as a running program does: from construction until
// Release (or, with a hold time, until that time is up; it does not wait for Release then).
class LockHolder {
  public:
    explicit LockHolder(const fs::path& folder, int holdForMs = -1) {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(release_) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(release_[1]);
            ::close(ready[0]);
            const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0) _exit(1);
            char byte = 1;
            if (::write(ready[1], &byte, 1) != 1) _exit(1);
            if (holdForMs >= 0)
                ::usleep(static_cast<useconds_t>(holdForMs) * 1000);
            else if (::read(release_[0], &byte, 1) < 0)  // until the parent closes its end
                _exit(1);
            _exit(0);
        }
        ::close(ready[1]);
        ::close(release_[0]);
        char byte = 0;
        taken_ = pid_ > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~LockHolder() { Release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool Taken() const { return taken_; }
    pid_t Pid() const { return pid_; }
    void Release() {
        if (pid_ <= 0) return;
        ::close(release_[1]);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
    int release_[2] = {-1, -1};
    bool taken_ = false;
};

// ---- The report ----

TEST_F(TransformRun, ReportCountsMatchTheStructureBeforeAndAfter) {
    Scenario();
    const json before = Structure(OldPath("clientes.mdb"));
    Result r = Run(Options().Json().NoBackup());
    ASSERT_NE(r.status, 3) << r.err;
    const json report = r.report();
    const json after = Structure(OldPath("clientes.mdb"));

    const json* db = FindDatabase(report, "clientes.mdb");
    ASSERT_NE(db, nullptr) << r.out;
    EXPECT_EQ(db->at("path"), OldPath("clientes.mdb"));
    EXPECT_EQ(db->at("model"), std::string(kProgramFolder) + "\\modelos\\clientes.mdb");
    for (const char* what : {"indexes", "relations", "queries"}) {
        EXPECT_EQ(db->at(what).at("before"), Count(before, what)) << what;
        EXPECT_EQ(db->at(what).at("after"), Count(after, what)) << what;
    }
    // The upgrade itself: the missing table and fields are there now, and the report says so.
    EXPECT_EQ(db->at("tablesCreated"), json::array({"visitas"}));
    EXPECT_EQ(db->at("fieldsAppended"), json::parse(R"([{"table":"clientes","field":"email"},
                              {"table":"clientes","field":"alta"}])"));
    ASSERT_EQ(after.at("tables").size(), 2u);
    EXPECT_EQ(after.at("tables")[0].at("fields").size(), 4u);

    EXPECT_EQ(report.at("withoutModel"), json::array({"otra.mdb"}));
    EXPECT_EQ(report.at("copiedIn"), json::parse(R"([{"name":"nueva.mdb","copied":true}])"));
    EXPECT_EQ(ReadWhole(OldHost("nueva.mdb")),
              ReadWhole(prefix.driveCPath("prog/modelos/nueva.mdb")));
    EXPECT_EQ(report.at("dataFolder"), kDataFolder);
    EXPECT_EQ(report.at("dryRun"), false);
    EXPECT_EQ(report.at("exitCode"), r.status);
}

TEST_F(TransformRun, TextReportListsWhatChangedPerDatabase) {
    PlainScenario();
    Result r = Run(Options().NoBackup());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("\nclientes.mdb\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Tablas creadas (1): visitas"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Campos añadidos (1): clientes.email"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Sin modelo (no se tocan): otra.mdb"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Bases nuevas copiadas (1): nueva.mdb"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Respaldo: ninguno (--no-backup)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Resultado: todos los pasos terminaron bien."), std::string::npos);
}

// ---- Exit statuses ----

TEST_F(TransformRun, ExitsZeroWhenEveryStepSucceeds) {
    PlainScenario();
    Result r = Run(Options().Json().NoBackup());
    EXPECT_EQ(r.status, cli::kTransformDone) << r.out << r.err;
    const json report = r.report();
    EXPECT_TRUE(report.at("failures").empty()) << r.out;
    // The old database has everything its model has now.
    EXPECT_EQ(FindDatabase(report, "clientes.mdb")->at("differencesFromModel"), json::array());
}

TEST_F(TransformRun, WhatStillDiffersFromTheModelAfterTheRunIsReported) {
    json model = Plain({Table("clientes", {"codigo"})});
    // The query catalog keeps a query's text on one line: a line break comes back as a space.
    model["queries"] = json::parse(R"([{"name": "q", "sql": "SELECT codigo\nFROM clientes"}])");
    Model("clientes.mdb", model);
    // A table only the old database has stays, and is no difference from the model to report.
    Old("clientes.mdb", Plain({Table("clientes", {"codigo"}), Table("propia", {"a"})}));
    Result r = Run(Options().Json().NoBackup());
    ASSERT_NE(r.status, 3) << r.err;
    const json report = r.report();
    const json* db = FindDatabase(report, "clientes.mdb");
    ASSERT_NE(db, nullptr) << r.out;
    EXPECT_EQ(db->at("differencesFromModel"),
              json::parse(R"([{"kind": "query", "change": "different", "name": "q",
                               "text": "Consulta q: distinto", "planned": true,
                               "reason": "el catálogo de consultas guarda el texto en una línea: cada salto de línea pasa a espacio"}])"));
    Result text = Run(Options().NoBackup());
    EXPECT_NE(text.out.find("Diferencias con el modelo al terminar (1): Consulta q: distinto "
                            "(previsto: el catálogo"),
              std::string::npos)
        << text.out;
}

// What the old rows forbid is left, and the report says which rows stand in the way: a required
// field appended over rows, a unique index over repeated values, a relation over orphan rows.
TEST_F(TransformRun, TheRowsThatKeepTheModelOutAreNamed) {
    json model = Plain({Table("clientes", {"codigo", "nif"}), Table("visitas", {"cliente"})});
    model["tables"][0]["fields"][1]["required"] = true;
    model["tables"][0]["indexes"] =
        json::parse(R"([{"name": "codigo", "fields": ["codigo"], "unique": true}])");
    model["relations"] = json::parse(R"([{"name": "cv", "table": "clientes",
        "foreignTable": "visitas", "attributes": 0,
        "fields": [{"name": "codigo", "foreignName": "cliente"}]}])");
    Model("clientes.mdb", model);
    json old = Plain({Table("clientes", {"codigo"}), Table("visitas", {"cliente"})});
    old["tables"][0]["rows"] = json::parse(R"([[1], [1]])");
    old["tables"][1]["rows"] = json::parse(R"([[9]])");
    Old("clientes.mdb", old);
    Result r = Run(Options().Json().NoBackup());
    const json report = r.report();
    const json* db = FindDatabase(report, "clientes.mdb");
    ASSERT_NE(db, nullptr) << r.out;
    std::vector<std::string> reasons;
    for (const json& d : db->at("differencesFromModel")) {
        EXPECT_FALSE(d.value("planned", true)) << d.dump();
        reasons.push_back(d.at("text").get<std::string>() + " / " + d.value("reason", ""));
    }
    EXPECT_EQ(reasons,
              (std::vector<std::string>{
                  "Campo clientes.nif: distinto / lo impiden los datos: 2 filas sin valor en nif "
                  "(se añadió a una tabla con filas y no puede ser obligatorio)",
                  "Índice clientes.codigo: solo en el modelo / lo impiden los datos: 1 valores "
                  "repetidos en codigo",
                  "Relación cv: solo en el modelo / lo impiden los datos: 1 fila de visitas sin su "
                  "fila en clientes"}));
}

// Every step succeeded, yet a field stays other than the model has it: the run did not go well.
TEST_F(TransformRun, ADatabaseLeftOtherThanItsModelMakesTheRunExitOne) {
    json model = Plain({Table("clientes", {"codigo", "nif"})});
    model["tables"][0]["fields"][1]["required"] = true;
    Model("clientes.mdb", model);
    json old = Plain({Table("clientes", {"codigo"})});
    old["tables"][0]["rows"] = json::parse("[[1]]");
    Old("clientes.mdb", old);
    Result r = Run(Options().Json().NoBackup());
    EXPECT_EQ(r.status, 1) << r.out;
    const json report = r.report();
    EXPECT_TRUE(report.at("failures").empty()) << r.out;
    EXPECT_EQ(report.at("unlikeTheirModel"), json::array({"clientes.mdb"}));
    EXPECT_EQ(report.at("exitCode"), 1);

    Result text = Run(Options().NoBackup());
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("\nResultado: mal; ningún paso falló, pero 1 base no quedó como su "
                            "modelo (clientes.mdb; ver \"Diferencias con el modelo al "
                            "terminar\").\n"),
              std::string::npos)
        << text.out;
    EXPECT_EQ(text.out.find("terminaron bien"), std::string::npos) << text.out;
}

TEST_F(TransformRun, ASecondRunHasNothingToChangeAndExitsZero) {
    PlainScenario();
    ASSERT_EQ(Run(Options().NoBackup()).status, 0);
    Result again = Run(Options().Json().NoBackup());
    EXPECT_EQ(again.status, 0) << again.out;
    const json report = again.report();
    // nueva.mdb is an old database with its model now.
    ASSERT_EQ(report.at("databases").size(), 2u);
    for (const auto& db : report.at("databases")) {
        EXPECT_TRUE(db.at("tablesCreated").empty()) << db;
        EXPECT_TRUE(db.at("fieldsAppended").empty()) << db;
    }
    EXPECT_TRUE(report.at("copiedIn").empty());
}

TEST_F(TransformRun, ExitsZeroWhenNoDatabaseHasAModel) {
    Old("otra.mdb", Plain({Table("x", {"a"})}));
    Result r = Run(Options().Json());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(r.report().at("backup").is_null());
    EXPECT_TRUE(BackupFolders().empty());
}

TEST_F(TransformRun, ExitsOneAndJsonCarriesTheFailuresWhenAStepFails) {
    PlainScenario();
    Model("roto.mdb", Plain({Table("t", {"a"})}));
    prefix.writeFile(std::string(kDataFolderHost) + "/roto.mdb", "esto no es una base de datos");
    Result r = Run(Options().Json().NoBackup());
    EXPECT_EQ(r.status, cli::kTransformStepFailed) << r.out << r.err;
    const json report = r.report();
    ASSERT_FALSE(report.at("failures").empty());
    for (const auto& f : report.at("failures")) {
        EXPECT_TRUE(f.at("command").is_string());
        EXPECT_TRUE(f.at("number").is_number_integer());
        EXPECT_FALSE(f.at("description").get<std::string>().empty());
    }
    EXPECT_EQ(report.at("failureCount"), report.at("failures").size());
    const json* roto = FindDatabase(report, "roto.mdb");
    ASSERT_NE(roto, nullptr);
    ASSERT_FALSE(roto->at("failures").empty());
    EXPECT_EQ(roto->at("failures")[0].at("number"), 3343);
    EXPECT_NE(roto->at("hint").get<std::string>().find("actualiz-cli import"), std::string::npos);
    EXPECT_TRUE(roto->at("differencesFromModel").is_null());
    // The good database was upgraded all the same.
    const json* clientes = FindDatabase(report, "clientes.mdb");
    ASSERT_NE(clientes, nullptr);
    EXPECT_TRUE(clientes->at("failures").empty());
    EXPECT_EQ(clientes->at("tablesCreated"), json::array({"visitas"}));

    Result text = Run(Options().NoBackup());
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("Fallos pasados por alto"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Error 3343"), std::string::npos) << text.out;
}

TEST_F(TransformRun, AFailedCopyOfANewDatabaseIsReportedApart) {
    Model("clientes.mdb", Plain({Table("clientes", {"codigo", "email"})}));
    Old("clientes.mdb", Plain({Table("clientes", {"codigo"})}));
    // NUEVA.MDB differs from nueva.mdb only in letter case: a new database to the window, the
    // same file to the file system. The copy must not replace the old database.
    Model("NUEVA.MDB", Plain({Table("t", {"a", "b"})}));
    Old("nueva.mdb", Plain({Table("t", {"a"})}));
    const std::string old = ReadWhole(OldHost("nueva.mdb"));
    Result r = Run(Options().Json().NoBackup());
    ASSERT_EQ(r.status, 1) << r.out << r.err;
    const json report = r.report();
    EXPECT_EQ(report.at("copiedIn"), json::parse(R"([{"name":"NUEVA.MDB","copied":false}])"));
    ASSERT_EQ(report.at("otherFailures").size(), 1u) << r.out;
    EXPECT_NE(report.at("otherFailures")[0]
                  .at("description")
                  .get<std::string>()
                  .find(std::string(kDataFolder) + "\\NUEVA.MDB"),
              std::string::npos)
        << r.out;
    for (const auto& db : report.at("databases")) EXPECT_TRUE(db.at("failures").empty()) << db;
    EXPECT_EQ(ReadWhole(OldHost("nueva.mdb")), old);
}

// ---- Runs that cannot start ----

TEST_F(TransformRun, MissingCatalogsStopTheRunBeforeAnythingChanges) {
    PlainScenario();
    fs::remove(prefix.driveCPath("ActMirto/relacion.mdb"));
    const auto before = Snapshot(prefix.driveC());
    Result r = Run(Options());
    EXPECT_EQ(r.status, cli::kTransformCannotStart);
    EXPECT_NE(r.err.find("C:\\ActMirto\\relacion.mdb"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("indices.mdb"), std::string::npos) << "only the missing one is named";
    EXPECT_NE(r.err.find("actualiz-cli catalogs init"), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(prefix.driveC()), before);
}

// What the run needs is looked at before the first database is touched: a catalog that cannot be
// written or lacks a field the commands use, or a model that cannot be read, stops the run (and
// its preview) with 3, naming the file, and every file stays as it was. A catalog with the
// index table's four original fields only is still fine.
TEST_F(TransformRun, WhatTheRunNeedsIsCheckedBeforeAnythingChanges) {
    const fs::path indices = prefix.driveCPath("ActMirto/indices.mdb");
    const auto indexCatalog = [](std::vector<std::string> fields) {
        json table = {{"name", "indices"}, {"fields", json::array()}};
        for (const auto& f : fields)
            table["fields"].push_back(
                {{"name", f}, {"type", 10}, {"size", 255}, {"allowZeroLength", true}});
        return json{{"tables", json::array({table})}};
    };
    struct Row {
        const char* what;
        std::function<void()> spoil;
        const char* named;  // nullptr: the run goes ahead
    };
    const Row rows[] = {
        {"a read-only index catalog",
         [&] {
             fs::permissions(
                 indices, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                 fs::perm_options::remove);
         },
         "indices.mdb"},
        {"an index catalog without unico",
         [&] {
             fs::remove(indices);
             Build(catalogs::kIndexCatalogPath, indexCatalog({"nombreind", "tabla", "campo"}));
         },
         "unico"},
        {"a relation catalog without its table",
         [&] {
             fs::remove(prefix.driveCPath("ActMirto/relacion.mdb"));
             Build(catalogs::kRelationCatalogPath, Plain({Table("otra", {"a"})}));
         },
         "relacion.mdb"},
        {"an unreadable model",
         [&] { prefix.writeFile("prog/modelos/clientes.mdb", std::string(4096, 'x')); },
         "modelos\\clientes.mdb"},
        {"an index catalog with its four original fields",
         [&] {
             fs::remove(indices);
             Build(catalogs::kIndexCatalogPath,
                   indexCatalog({"nombreind", "tabla", "campo", "unico"}));
         },
         nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        catalogs::CreateCatalogs(/*replaceExisting=*/true);
        for (const char* folder : {"prog/modelos", kDataFolderHost}) {
            fs::remove_all(prefix.driveCPath(folder));
            prefix.makeDir(folder);
        }
        Scenario();
        row.spoil();
        const auto before = Snapshot(prefix.root());
        Result dry = Run(Options().DryRun());
        Result real = Run(Options());
        if (!row.named) {
            EXPECT_NE(real.status, cli::kTransformCannotStart) << real.err;
            fs::permissions(indices, fs::perms::owner_write, fs::perm_options::add);
            continue;
        }
        EXPECT_EQ(dry.status, cli::kTransformCannotStart) << dry.out << dry.err;
        EXPECT_EQ(real.status, cli::kTransformCannotStart) << real.out << real.err;
        EXPECT_NE(real.err.find(row.named), std::string::npos) << real.err;
        const auto after = Snapshot(prefix.root());
        for (const auto& [file, content] : after) {
            const auto was = before.find(file);
            EXPECT_TRUE(was != before.end() && was->second == content) << file << " changed";
        }
        EXPECT_EQ(after.size(), before.size()) << "a file was removed";
        EXPECT_TRUE(BackupFolders().empty());
        fs::permissions(indices, fs::perms::owner_write, fs::perm_options::add);
    }
}

// A preview that was killed leaves its folder of copies in the temporary folder; the next run
// (a preview too) removes it and says so, and leaves alone what is not a dead preview's: one
// that still runs, a folder without the mark, a link.
TEST_F(TransformRun, AKilledPreviewsCopiesAreRemovedByTheNextRun) {
    PlainScenario();
    // A preview killed halfway: its sandbox made and a database copied, then the process gone.
    const pid_t killed = ::fork();
    ASSERT_GE(killed, 0);
    if (killed == 0) {
        auto* sandbox = new cli::Sandbox();
        sandbox->CopyFile(OldPath("clientes.mdb"));
        ::kill(::getpid(), SIGKILL);
        _exit(1);
    }
    int status = 0;
    ::waitpid(killed, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    const auto previews = [&] {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(temporary))
            if (e.path().filename().string().rfind("actualiz-ensayo-", 0) == 0)
                found.push_back(e.path());
        return found;
    };
    const std::vector<fs::path> dead = previews();
    ASSERT_EQ(dead.size(), 1u);
    ASSERT_TRUE(fs::exists(dead[0] / "drive_c" / kDataFolderHost / "clientes.mdb"));

    const fs::path running = temporary / "actualiz-ensayo-enmarcha";
    fs::create_directories(running);
    std::ofstream(running / "propietario") << "1\n";
    LockHolder holder(running);
    ASSERT_TRUE(holder.Taken());
    const fs::path unmarked = temporary / "actualiz-ensayo-ajena";
    fs::create_directories(unmarked / "drive_c");
    const fs::path target = prefix.root() / "fuera";
    fs::create_directories(target);
    std::ofstream(target / "propietario") << "1\n";
    fs::create_directory_symlink(target, temporary / "actualiz-ensayo-enlace");

    Result r = Run(Options().DryRun().Json());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.report().at("leftoversRemoved"), json::array({dead[0].string() + "/"}));
    EXPECT_FALSE(fs::exists(dead[0]));
    for (const fs::path& kept : {running, unmarked, temporary / "actualiz-ensayo-enlace", target})
        EXPECT_TRUE(fs::exists(kept)) << kept;
    holder.Release();
    for (const fs::path& left : previews()) {
        EXPECT_TRUE(left == running || left == unmarked ||
                    left.filename() == "actualiz-ensayo-enlace")
            << "the preview's own folder stayed: " << left;
        fs::remove_all(left);
    }
}

TEST_F(TransformRun, MissingDataFolderIsNamedWithHowToChooseAnother) {
    PlainScenario();
    Result given = Run(Options().DataDir("c:\\no\\existe"));
    EXPECT_EQ(given.status, 3);
    EXPECT_NE(given.err.find("c:\\no\\existe"), std::string::npos) << given.err;
    EXPECT_NE(given.err.find("--data-dir"), std::string::npos) << given.err;

    fs::remove_all(prefix.driveCPath(kDataFolderHost));
    Result byDefault = Run(Options());
    EXPECT_EQ(byDefault.status, 3);
    EXPECT_NE(byDefault.err.find(kDataFolder), std::string::npos) << byDefault.err;
    EXPECT_NE(byDefault.err.find("por omisión"), std::string::npos) << byDefault.err;
}

TEST_F(TransformRun, MissingModelsFolderCannotStart) {
    Result r = Run(Options().ProgramDir("C:\\otro"));
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("C:\\otro\\modelos"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--program-dir"), std::string::npos) << r.err;
}

TEST_F(TransformRun, TheModelsFolderAsTheDataFolderCannotStart) {
    Scenario();
    const auto before = Snapshot(prefix.driveC());
    Result r = Run(Options().DataDir(prefix.driveCPath("prog/modelos").string()));
    EXPECT_EQ(r.status, cli::kTransformCannotStart);
    EXPECT_NE(r.err.find("carpeta de modelos"), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(prefix.driveC()), before);
}

// Another process holds the data folder's lock (as a running transform does): a second run and
// a migration say so, exit 3 and change nothing.
TEST_F(TransformRun, ASecondRunWhileAnotherWorksInTheFolderSaysSoAndExitsThree) {
    PlainScenario();
    const auto before = Snapshot(prefix.driveC());
    LockHolder holder(prefix.driveCPath(kDataFolderHost));
    ASSERT_TRUE(holder.Taken());

    Result r = Run(Options());
    std::ostringstream out, err;
    const int migrate = cli::MigrateCommand("auxcli", kDataFolder, "", out, err);
    // The window's runs as well.
    app::RecordingHost host;
    app::Actualiz form(host, kProgramFolder);
    form.Run("Form_Activate");
    form.Dir1.SetPath(kDataFolder);
    form.Run("Command13_Click");

    holder.Release();
    EXPECT_EQ(r.status, cli::kTransformCannotStart);
    EXPECT_NE(r.err.find("Otra ejecución"), std::string::npos) << r.err;
    EXPECT_EQ(migrate, cli::kMigrateBusy);
    EXPECT_NE(err.str().find("Otra ejecución"), std::string::npos) << err.str();
    ASSERT_FALSE(form.Errors().empty());
    EXPECT_EQ(form.Errors().back().number, engine::err::kFileInUse);
    EXPECT_EQ(form.Label4.Caption().find("Proceso"), std::string::npos) << "the driver ran";
    EXPECT_EQ(Snapshot(prefix.driveC()), before);
    EXPECT_EQ(Run(Options().NoBackup()).status, 0) << "the lock is gone with its holder";
}

// The catalogs are one set for every data folder: while another run holds them, a run waits a
// little, then names that run and exits 3; the window's index chain is refused the same way, with
// a message. Nothing changes. A holder that lets go within the wait is simply waited for.
TEST_F(TransformRun, WhileAnotherRunHoldsTheCatalogsARunWaitsThenNamesItAndExitsThree) {
    PlainScenario();
    const auto before = Snapshot(prefix.driveC());
    LockHolder holder(prefix.driveCPath("ActMirto"));
    ASSERT_TRUE(holder.Taken());

    const auto start = std::chrono::steady_clock::now();
    Result r = Run(Options());
    const auto waited = std::chrono::steady_clock::now() - start;
    app::RecordingHost host;
    app::Actualiz form(host, kProgramFolder);
    form.Run("Form_Activate");
    form.Dir1.SetPath(kDataFolder);
    form.Text3.SetText(std::string(kProgramFolder) + "\\modelos\\clientes.mdb");
    form.Text4.SetText(OldPath("clientes.mdb"));
    form.Errors().clear();
    form.Run("Command17_Click");
    const std::string holderPid = std::to_string(holder.Pid());
    holder.Release();

    EXPECT_EQ(r.status, cli::kTransformCannotStart) << r.out;
    EXPECT_NE(r.err.find("catálogos"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("proceso " + holderPid), std::string::npos) << r.err;
    EXPECT_GE(waited, catalogs::kCatalogWait) << "gave up without waiting";
    ASSERT_EQ(form.Errors().size(), 1u);
    EXPECT_EQ(form.Errors()[0].number, engine::err::kFileInUse);
    EXPECT_NE(form.Errors()[0].description.find("catálogos"), std::string::npos);
    EXPECT_EQ(host.ShownErrors().size(), 1u) << "the window says why nothing happened";
    EXPECT_EQ(Snapshot(prefix.driveC()), before);

    LockHolder brief(prefix.driveCPath("ActMirto"), /*holdForMs=*/300);
    ASSERT_TRUE(brief.Taken());
    EXPECT_EQ(Run(Options().NoBackup()).status, 0) << "a short wait was not waited for";
}

TEST_F(TransformRun, WhatAKilledRunLeftIsRemovedAndReported) {
    PlainScenario();
    const std::string temporary = ".clientes.mdb.0123456789abcdef.tmp";
    prefix.writeFile(std::string(kDataFolderHost) + "/" + temporary, "medio");
    prefix.writeFile(std::string(kDataFolderHost) + "/respaldo-20200101-000000/" + temporary, "x");
    prefix.writeFile(std::string(kDataFolderHost) + "/respaldo-20200102-000000/clientes.mdb", "y");
    prefix.writeFile(std::string(kDataFolderHost) + "/.notas.tmp", "del usuario");

    Result r = Run(Options().Json().NoBackup());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.report().at("leftoversRemoved"),
              json::array({temporary, "respaldo-20200101-000000/" + temporary,
                           "respaldo-20200101-000000/"}));
    EXPECT_FALSE(fs::exists(OldHost(temporary)));
    EXPECT_FALSE(fs::exists(OldHost("respaldo-20200101-000000")));
    EXPECT_TRUE(fs::exists(OldHost("respaldo-20200102-000000/clientes.mdb")));
    EXPECT_TRUE(fs::exists(OldHost(".notas.tmp")));
}

TEST_F(TransformRun, AJetDatabaseMustBeImportedFirst) {
    Model("clientes.mdb", ModelClientes());
    std::string jet("\0\1\0\0Standard Jet DB\0", 20);
    jet += std::string(2048 - jet.size(), '\0');
    prefix.writeFile(std::string(kDataFolderHost) + "/clientes.mdb", jet);
    const auto before = Snapshot(prefix.driveC());
    Result r = Run(Options());
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find(OldPath("clientes.mdb")), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("actualiz-cli import"), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(prefix.driveC()), before);
}

TEST_F(TransformRun, ARealJetModelIsReadAndUpgradesAnOldDatabase) {
    // A models folder of real Access files serves the upgrade directly: only old databases have
    // to be imported first.
    fs::copy_file(fs::path(ACTUALIZ_SOURCE_DIR) / "tests/data/jet/indexTestV2000.mdb",
                  prefix.driveCPath("prog/modelos/indices.mdb"));
    Old("indices.mdb", Plain({}));
    Result r = Run(Options().NoBackup());
    EXPECT_NE(r.status, 3) << r.err;
    auto model = engine::OpenDatabase(prefix.driveCPath("prog/modelos/indices.mdb").string());
    auto old = engine::OpenDatabase(OldHost("indices.mdb").string());
    std::vector<std::string> modelTables, oldTables;
    for (const auto& t : model->TableDefs())
        if (!engine::IsSystemName(t->Name())) modelTables.push_back(t->Name());
    for (const auto& t : old->TableDefs())
        if (!engine::IsSystemName(t->Name())) oldTables.push_back(t->Name());
    ASSERT_FALSE(modelTables.empty());
    EXPECT_EQ(oldTables, modelTables) << r.err;
}

// A real Access model without an old namesake comes in as one of our databases, with every
// stored query; the old database upgraded from a real Access model ends like it, apart from what
// the upgrade does on purpose.
TEST_F(TransformRun, ARealJetModelArrivesImportedAndTheUpgradeReachesIt) {
    const fs::path samples = fs::path(ACTUALIZ_SOURCE_DIR) / "tests/data/jet";
    fs::copy_file(samples / "indexTestV2000.mdb", prefix.driveCPath("prog/modelos/indices.mdb"));
    fs::copy_file(samples / "queryTestV2000.mdb", prefix.driveCPath("prog/modelos/nueva.mdb"));
    Old("indices.mdb", Plain({}));
    Result r = Run(Options().Json().NoBackup());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const json report = r.report();
    EXPECT_EQ(report.at("copiedIn"), json::parse(R"([{"name": "nueva.mdb", "copied": true}])"));
    EXPECT_FALSE(engine::IsJetFile(OldHost("nueva.mdb")));
    auto copied = engine::OpenDatabase(OldHost("nueva.mdb").string());
    EXPECT_TRUE(copied->Updatable());
    EXPECT_EQ(copied->QueryDefs().Count(), 9);
    copied->Close();
    for (const json& d : FindDatabase(report, "indices.mdb")->at("differencesFromModel"))
        EXPECT_TRUE(d.value("planned", false)) << d.dump();
}

// Real Jet 4 files as old databases, whose models (of our own format: the file's structure and a
// new table) add a table: each file is changed in place, stays a Jet 4 file whose old tables
// export as before, the report says its indexes, relations and queries were left as they were,
// and a second run leaves each file byte for byte as it was.
TEST_F(TransformRun, RealJet4OldDatabasesAreChangedInPlace) {
    if (!engine::CanReadJetFiles()) GTEST_SKIP() << "built without libmdb";
    const fs::path samples = fs::path(ACTUALIZ_SOURCE_DIR) / "tests/data/jet";
    const std::vector<std::string> names = {"indexTestV2000.mdb", "compIndexTestV2000.mdb"};
    for (const std::string& name : names) {
        fs::copy_file(samples / name, OldHost(name));
        const std::string model = prefix.driveCPath("prog/modelos/" + name).string();
        engine::JetReadOptions structure;
        structure.includeRows = false;
        auto db = engine::ImportJetFile(samples / name, model, structure, nullptr);
        // A new table of several types, with properties, a counter, a primary key and an index;
        // fields of their own appended to a table that holds rows.
        auto table = db->CreateTableDef("Pedidos");
        auto id = table->CreateField("Id", engine::dbLong);
        id->SetAttributes(engine::dbFixedField | engine::dbAutoIncrField);
        table->Fields().Append(id);
        table->Fields().Append(table->CreateField("Numero", engine::dbLong));
        table->Fields().Append(table->CreateField("Importe", engine::dbDouble));
        table->Fields().Append(table->CreateField("Fecha", engine::dbDate));
        auto client = table->CreateField("Cliente", engine::dbText, 40);
        client->SetRequired(true);
        table->Fields().Append(client);
        table->Fields().Append(table->CreateField("Notas", engine::dbMemo));
        auto key = table->CreateIndex("PrimaryKey");
        key->SetPrimary(true);
        key->Fields().Append(key->CreateField("Id"));
        table->Indexes().Append(key);
        auto byDate = table->CreateIndex("PorFecha");
        byDate->Fields().Append(byDate->CreateField("Fecha"));
        table->Indexes().Append(byDate);
        db->TableDefs().Append(table);
        auto old = db->TableDefs()["Table1"];
        auto amount = old->CreateField("Cantidad", engine::dbInteger);
        amount->SetDefaultValue("0");
        amount->SetValidationRule(">=0");
        amount->SetValidationText("No puede ser negativa");
        old->Fields().Append(amount);
        old->Fields().Append(old->CreateField("Observaciones", engine::dbText, 100));
        db->Close();
    }
    Result r = Run(Options().Json());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const json report = r.report();
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const json& db = *FindDatabase(report, name);
        EXPECT_EQ(db.at("tablesCreated"), json::array({"Pedidos"}));
        EXPECT_EQ(db.at("failures"), json::array());
        EXPECT_EQ(db.at("indexes").at("added"),
                  json::array({"Pedidos.PrimaryKey", "Pedidos.PorFecha"}))
            << db.dump();
        EXPECT_EQ(db.at("indexes").at("removed"), json::array());
        EXPECT_TRUE(engine::IsJetFile(OldHost(name)));
        EXPECT_EQ(RunProgram("mdb-ver", {OldHost(name).string()}).out, "JET4\n");
        const std::string tables = RunProgram("mdb-tables", {"-1", (samples / name).string()}).out;
        std::istringstream lines(tables);
        for (std::string table; std::getline(lines, table);) {
            std::string expected = RunProgram("mdb-export", {(samples / name).string(), table}).out;
            if (table == "Table1") {
                // The rows as they were, the two appended fields empty.
                std::string widened;
                std::istringstream rows(expected);
                bool header = true;
                for (std::string row; std::getline(rows, row); header = false)
                    widened += row + (header ? ",Cantidad,Observaciones" : ",,") + "\n";
                expected = widened;
            }
            EXPECT_EQ(RunProgram("mdb-export", {OldHost(name).string(), table}).out, expected)
                << table;
        }
        EXPECT_EQ(RunProgram(ACTUALIZ_CLI_PATH, {"check", OldHost(name).string()}).status, 0);
        // What the file now holds is its model's structure, but for what the commands set on
        // purpose: text and memo fields they create take empty texts.
        const testing::CliResult diff = RunProgram(
            ACTUALIZ_CLI_PATH,
            {"diff", prefix.driveCPath("prog/modelos/" + name).string(), OldHost(name).string()});
        std::istringstream diffLines(diff.out);
        int differences = 0;
        for (std::string line; std::getline(diffLines, line);) {
            EXPECT_EQ(line.find("solo en"), std::string::npos) << line;
            if (line.rfind("    vieja:", 0) == 0) {
                ++differences;
                EXPECT_NE(line.find("admite-cadena-vacía"), std::string::npos) << line;
            }
        }
        EXPECT_EQ(differences, 3) << diff.out;
    }
    // The backup holds each file as it was, byte for byte: restored, the application opens it.
    ASSERT_TRUE(report.at("backup").is_object()) << r.out;
    const fs::path backup = report.at("backup").at("hostFolder").get<std::string>();
    for (const std::string& name : names)
        EXPECT_EQ(ReadWhole(backup / name), ReadWhole(samples / name)) << name;

    std::map<std::string, std::string> after;
    for (const std::string& name : names) after[name] = ReadWhole(OldHost(name));
    Result again = Run(Options().Json());
    ASSERT_EQ(again.status, 0) << again.out << again.err;
    for (const std::string& name : names) EXPECT_EQ(ReadWhole(OldHost(name)), after[name]) << name;
    EXPECT_TRUE(again.report().at("backup").is_null()) << "nothing changed, no backup kept";
}

// ---- A whole upgrade of real Jet 4 files ----

// What one difference between two structures is, as diff --json and the report name it.
using DifferenceName = std::tuple<std::string, std::string, std::string, std::string>;
DifferenceName NameOf(const json& d) {
    return {d.at("kind"), d.at("change"), d.value("table", ""), d.at("name")};
}

// The upgrade pair of one Jet 4 sample: the old database is the sample itself; its model is the
// sample's structure as a new version of the application wants it: a new table (counter, primary
// key, an index) related to an old table, two fields appended to that old table (which holds
// rows), one of them with a new index, one of the sample's indexes dropped, a new query and (when
// the sample has it) an old one dropped. The model is one of our own databases, or (jetModel) a
// Jet 4 file itself, the sample changed by our writer. The differences of indexes, relations and
// queries that the model has from the sample come back.
std::set<DifferenceName> MakeWholeUpgradePair(const std::string& sample, const fs::path& old,
                                              const std::string& model, bool jetModel,
                                              std::string& widened) {
    const fs::path samples = fs::path(ACTUALIZ_SOURCE_DIR) / "tests/data/jet";
    fs::copy_file(samples / sample, old);
    std::optional<engine::ForeignFileWriting> writing;
    std::shared_ptr<engine::Database> db;
    if (jetModel) {
        fs::copy_file(samples / sample, model);
        writing.emplace(model);
        EXPECT_TRUE(writing->Active());
        db = engine::OpenDatabase(model);
    } else {
        engine::JetReadOptions structure;
        structure.includeRows = false;
        structure.includeHiddenQueries = true;
        db = engine::ImportJetFile(samples / sample, model, structure, nullptr);
    }
    std::set<DifferenceName> catalogs;

    std::shared_ptr<engine::TableDef> first;
    for (const auto& t : db->TableDefs())
        if (!engine::IsSystemName(t->Name()) && !first) first = t;
    for (const auto& t : db->TableDefs()) {
        if (engine::IsSystemName(t->Name())) continue;
        std::string dropped;
        for (const auto& index : t->Indexes())
            if (!index->Primary() && dropped.empty()) dropped = index->Name();
        if (dropped.empty()) continue;
        t->Indexes().Delete(dropped);
        catalogs.insert({"index", "onlyInOld", t->Name(), dropped});
        break;
    }

    auto table = db->CreateTableDef("Pedidos");
    auto id = table->CreateField("Id", engine::dbLong);
    id->SetAttributes(engine::dbFixedField | engine::dbAutoIncrField);
    table->Fields().Append(id);
    table->Fields().Append(table->CreateField("Fecha", engine::dbDate));
    auto client = table->CreateField("Cliente", engine::dbText, 40);
    client->SetAllowZeroLength(true);
    table->Fields().Append(client);
    auto notes = table->CreateField("Notas", engine::dbMemo);
    notes->SetAllowZeroLength(true);
    table->Fields().Append(notes);
    auto key = table->CreateIndex("PrimaryKey");
    key->SetPrimary(true);
    key->Fields().Append(key->CreateField("Id"));
    table->Indexes().Append(key);
    auto byDate = table->CreateIndex("PorFecha");
    byDate->Fields().Append(byDate->CreateField("Fecha"));
    table->Indexes().Append(byDate);
    db->TableDefs().Append(table);

    first->Fields().Append(first->CreateField("PedidoId", engine::dbLong));
    auto remarks = first->CreateField("Observaciones", engine::dbText, 100);
    remarks->SetAllowZeroLength(true);
    first->Fields().Append(remarks);
    widened = first->Name();
    auto byOrder = first->CreateIndex("PorPedido");
    byOrder->Fields().Append(byOrder->CreateField("PedidoId"));
    db->TableDefs()[first->Name()]->Indexes().Append(byOrder);
    catalogs.insert({"index", "onlyInModel", first->Name(), "PorPedido"});

    auto relation = db->CreateRelation("PedidosLineas", "Pedidos", first->Name(),
                                       engine::dbRelationDontEnforce);
    relation->Fields().Append(relation->CreateField("Id"));
    relation->Fields()["Id"]->SetForeignName("PedidoId");
    db->Relations().Append(relation);
    catalogs.insert({"relation", "onlyInModel", "", "PedidosLineas"});

    db->CreateQueryDef("PedidosTodos", "SELECT * FROM Pedidos;");
    catalogs.insert({"query", "onlyInModel", "", "PedidosTodos"});
    if (db->QueryDefs().Contains("SelectQuery")) {
        db->QueryDefs().Delete("SelectQuery");
        catalogs.insert({"query", "onlyInOld", "", "SelectQuery"});
    }
    db->Close();
    if (writing) writing->Finish();
    return catalogs;
}

// Every table as mdb-reader reads it: by name, its rows (each an array in column order).
std::map<std::string, json> ReaderRows(const fs::path& file) {
    const fs::path script = fs::path(ACTUALIZ_SOURCE_DIR) / "tests/oracle/jet_dump.mjs";
    const CliResult dump = RunProgram("node", {script.string(), file.string()});
    EXPECT_EQ(dump.status, 0) << dump.err;
    std::map<std::string, json> rows;
    if (dump.status != 0) return rows;
    const json tables = json::parse(dump.out).at("tables");
    for (const json& t : tables) rows[t.at("name")] = t.value("rows", json());
    return rows;
}

// Real Jet 4 samples upgraded as a whole, each to a model that adds a table, fields, indexes, a
// relation and a query and drops an index and a query: each file stays a Jet 4 file that the
// checker passes, every old row reads back as it was (libmdb and mdb-reader), what still differs
// from the model is exactly what the report explains, and a second run changes nothing.
TEST_F(TransformRun, RealJet4WholeUpgradeLeavesEachFileItsModel) {
    if (!engine::CanReadJetFiles()) GTEST_SKIP() << "built without libmdb";
    const fs::path samples = fs::path(ACTUALIZ_SOURCE_DIR) / "tests/data/jet";
    const bool withReader =
        fs::exists(fs::path(ACTUALIZ_SOURCE_DIR) / "tests/oracle/node_modules/mdb-reader");
    if (!withReader) std::cerr << "mdb-reader not installed (cd tests/oracle && npm ci)\n";
    // Old database, the sample it is a copy of, whether its model is a Jet 4 file too.
    const std::vector<std::tuple<std::string, std::string, bool>> pairs = {
        {"indexTestV2000.mdb", "indexTestV2000.mdb", false},
        {"compIndexTestV2000.mdb", "compIndexTestV2000.mdb", false},
        {"queryTestV2000.mdb", "queryTestV2000.mdb", false},
        {"indexTestV2003.mdb", "indexTestV2003.mdb", false},
        {"jet-indexTestV2000.mdb", "indexTestV2000.mdb", true},
        {"jet-queryTestV2000.mdb", "queryTestV2000.mdb", true},
    };
    std::vector<std::string> names;
    std::map<std::string, std::string> sampleOf;
    std::map<std::string, std::set<DifferenceName>> left;
    std::map<std::string, std::string> widened;
    for (const auto& [name, sample, jetModel] : pairs) {
        names.push_back(name);
        sampleOf[name] = sample;
        const std::string model = prefix.driveCPath("prog/modelos/" + name).string();
        left[name] = MakeWholeUpgradePair(sample, OldHost(name), model, jetModel, widened[name]);
    }

    Result r = Run(Options().Json().NoBackup());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const json report = r.report();
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const fs::path file = OldHost(name);
        const json& db = *FindDatabase(report, name);
        EXPECT_EQ(db.at("tablesCreated"), json::array({"Pedidos"}));
        EXPECT_EQ(db.at("failures"), json::array());
        EXPECT_EQ(RunProgram("mdb-ver", {file.string()}).out, "JET4\n");
        EXPECT_EQ(RunProgram(ACTUALIZ_CLI_PATH, {"check", file.string()}).status, 0);

        // Every old row as it was, the appended fields empty.
        std::istringstream tables(
            RunProgram("mdb-tables", {"-1", (samples / sampleOf[name]).string()}).out);
        for (std::string table; std::getline(tables, table);) {
            std::string expected =
                RunProgram("mdb-export", {(samples / sampleOf[name]).string(), table}).out;
            if (table == widened[name]) {
                std::string rows;
                std::istringstream lines(expected);
                bool header = true;
                for (std::string row; std::getline(lines, row); header = false)
                    rows += row + (header ? ",PedidoId,Observaciones" : ",,") + "\n";
                expected = rows;
            }
            EXPECT_EQ(RunProgram("mdb-export", {file.string(), table}).out, expected) << table;
        }
        if (withReader) {
            const std::map<std::string, json> before = ReaderRows(samples / sampleOf[name]);
            std::map<std::string, json> after = ReaderRows(file);
            EXPECT_EQ(after["Pedidos"], json::array());
            for (const auto& [table, rows] : before) {
                json expected = rows;
                if (table == widened[name])
                    for (json& row : expected) row.insert(row.end(), {nullptr, nullptr});
                EXPECT_EQ(after[table], expected) << table;
            }
        }

        // What differs from the model is what the report says is left, each with its reason.
        const CliResult diff = RunProgram(
            ACTUALIZ_CLI_PATH,
            {"diff", "--json", prefix.driveCPath("prog/modelos/" + name).string(), file.string()});
        std::set<DifferenceName> differences, explained;
        const json listed = json::parse(diff.out).at("differences");
        for (const json& d : listed) differences.insert(NameOf(d));
        for (const json& d : db.at("differencesFromModel")) {
            explained.insert(NameOf(d));
            EXPECT_TRUE(d.value("planned", false)) << d.dump();
            EXPECT_NE(d.value("reason", ""), "") << d.dump();
        }
        // The report names every index, relation and query the model gains or loses.
        for (const auto& [kind, change, table, object] : left[name]) {
            const std::string list = kind == "index"   ? "indexes"
                                     : kind == "query" ? "queries"
                                                       : "relations";
            const json& changed = db.at(list).at(change == "onlyInModel" ? "added" : "removed");
            const std::string named = table.empty() ? object : table + "." + object;
            EXPECT_NE(std::find(changed.begin(), changed.end(), named), changed.end())
                << named << " in " << db.dump();
        }
        // Nothing differs but what the report explains: the model's indexes, relations and
        // queries are the file's now, a query's text at most laid out as the file keeps it.
        for (const DifferenceName& d : explained) EXPECT_EQ(differences.count(d), 1u) << diff.out;
        for (const DifferenceName& d : differences)
            EXPECT_EQ(explained.count(d), 1u) << std::get<3>(d) << "\n" << diff.out;
    }

    std::map<std::string, std::string> after;
    for (const std::string& name : names) after[name] = ReadWhole(OldHost(name));
    Result again = Run(Options().Json().NoBackup());
    ASSERT_EQ(again.status, 0) << again.out << again.err;
    for (const std::string& name : names) {
        EXPECT_EQ(ReadWhole(OldHost(name)), after[name]) << name;
        EXPECT_EQ(FindDatabase(again.report(), name)->at("tablesCreated"), json::array()) << name;
    }
}

// The application has one of the files open (a lock held on its .ldb): that database is reported
// with Jet's "in use" and left as it was; the run goes on with the next one.
TEST_F(TransformRun, AJetFileInUseIsPassedOverWithNothingChanged) {
    if (!engine::CanReadJetFiles()) GTEST_SKIP() << "built without libmdb";
    const fs::path samples = fs::path(ACTUALIZ_SOURCE_DIR) / "tests/data/jet";
    for (const std::string name : {"abierta.mdb", "libre.mdb"}) {
        fs::copy_file(samples / "compIndexTestV2000.mdb", OldHost(name));
        const std::string model = prefix.driveCPath("prog/modelos/" + name).string();
        engine::JetReadOptions structure;
        structure.includeRows = false;
        auto db =
            engine::ImportJetFile(samples / "compIndexTestV2000.mdb", model, structure, nullptr);
        auto table = db->CreateTableDef("Pedidos");
        table->Fields().Append(table->CreateField("Numero", engine::dbLong));
        db->TableDefs().Append(table);
        db->Close();
    }
    const std::string before = ReadWhole(OldHost("abierta.mdb"));
    engine::testing::FileLockHolder application(OldHost("abierta.ldb"));
    ASSERT_TRUE(application.Taken());
    Result r = Run(Options().Json().NoBackup());
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    const json report = r.report();
    const json& open = *FindDatabase(report, "abierta.mdb");
    ASSERT_EQ(open.at("failures").size(), 1u) << open.dump(2);
    EXPECT_EQ(open.at("failures")[0].at("number"), 3045);
    EXPECT_EQ(ReadWhole(OldHost("abierta.mdb")), before);
    EXPECT_EQ(FindDatabase(report, "libre.mdb")->at("tablesCreated"), json::array({"Pedidos"}));
}

TEST_F(TransformRun, WithJsonARunThatCannotStartStillPrintsOneDocument) {
    fs::remove_all(prefix.driveCPath("ActMirto"));
    Result r = Run(Options().Json());
    EXPECT_EQ(r.status, 3);
    const json document = r.report();
    EXPECT_EQ(document.at("exitCode"), 3);
    EXPECT_FALSE(document.at("problems").empty());
}

// ---- Backup ----

TEST_F(TransformRun, BackupHoldsTheDatabasesAsTheyWereAndRestoresThem) {
    PlainScenario();
    const std::string original = ReadWhole(OldHost("clientes.mdb"));
    const json structureBefore = Structure(OldPath("clientes.mdb"));
    Result r = Run(Options().Json());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const json report = r.report();
    ASSERT_TRUE(report.at("backup").is_object()) << r.out;
    const std::string folder = report.at("backup").at("folder");
    EXPECT_TRUE(std::regex_match(
        folder, std::regex(R"(c:\\archivos de programa\\Mirto 2000\\bases\\respaldo-\d{8}-\d{6})")))
        << folder;
    const fs::path hostFolder = report.at("backup").at("hostFolder").get<std::string>();
    EXPECT_EQ(hostFolder.parent_path(), prefix.driveCPath(kDataFolderHost));
    // Only the database that the run changes is backed up: otra.mdb has no model.
    EXPECT_EQ(report.at("backup").at("files"), json::array({"clientes.mdb"}));
    // The copy is the database as it was, byte for byte.
    EXPECT_EQ(Structure((hostFolder / "clientes.mdb").string()), structureBefore);
    const std::string copy = ReadWhole(hostFolder / "clientes.mdb");
    EXPECT_EQ(copy, original);
    EXPECT_FALSE(fs::exists(hostFolder / "otra.mdb"));
    EXPECT_NE(ReadWhole(OldHost("clientes.mdb")), original) << "the upgrade changed nothing";

    const std::string restore = report.at("backup").at("restore");
    ASSERT_EQ(std::system(restore.c_str()), 0) << restore;
    EXPECT_EQ(ReadWhole(OldHost("clientes.mdb")), copy);
    EXPECT_EQ(Structure(OldPath("clientes.mdb")), structureBefore);
    EXPECT_FALSE(fs::exists(OldHost("nueva.mdb"))) << "the restore removes what the run copied in";
}

// A run that changed no database leaves no backup folder, and says so.
TEST_F(TransformRun, ARunThatChangesNothingKeepsNoBackup) {
    Scenario();
    ASSERT_NE(Run(Options()).status, 3);
    ASSERT_EQ(BackupFolders().size(), 1u);
    Result again = Run(Options().Json());
    const json report = again.report();
    EXPECT_TRUE(report.at("backup").is_null()) << again.out;
    EXPECT_TRUE(report.at("backupRemoved").is_string()) << again.out;
    EXPECT_EQ(BackupFolders().size(), 1u) << "only the first run's backup stays";
    Result text = Run(Options());
    EXPECT_NE(text.out.find("Respaldo: ninguno (la actualización no cambió ninguna base; se borró "
                            "el respaldo " +
                            std::string(kDataFolder) + "\\respaldo-"),
              std::string::npos)
        << text.out;
    EXPECT_EQ(BackupFolders().size(), 1u);
}

TEST_F(TransformRun, TextReportNamesTheBackupAndHowToRestore) {
    PlainScenario();
    Result r = Run(Options());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Respaldo: " + std::string(kDataFolder) + "\\respaldo-"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Para deshacer la actualización:\n    cp -p "), std::string::npos)
        << r.out;
    EXPECT_EQ(BackupFolders().size(), 1u);
}

TEST_F(TransformRun, NoBackupMakesNoBackupFolder) {
    PlainScenario();
    Result r = Run(Options().Json().NoBackup());
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(r.report().at("backup").is_null());
    EXPECT_TRUE(BackupFolders().empty());
}

TEST(Backup, FolderNameIsTheLocalTimeAndNeverReusesAFolder) {
    TempPrefix prefix;
    prefix.makeDir("datos");
    engine::BuildDatabase("C:\\datos\\a.mdb", Plain({Table("uno", {"a"})}))->Close();
    std::tm moment{};
    moment.tm_year = 2024 - 1900;
    moment.tm_mon = 2;
    moment.tm_mday = 5;
    moment.tm_hour = 7;
    moment.tm_min = 8;
    moment.tm_sec = 9;
    moment.tm_isdst = -1;
    const std::time_t when = std::mktime(&moment);
    EXPECT_EQ(cli::BackupFolderName(when), "respaldo-20240305-070809");

    auto first = cli::MakeBackup("C:\\datos", {"a.mdb"}, when);
    auto second = cli::MakeBackup("C:\\datos", {"a.mdb"}, when);
    EXPECT_EQ(first.folder, "C:\\datos\\respaldo-20240305-070809");
    EXPECT_EQ(second.folder, "C:\\datos\\respaldo-20240305-070809-2");
    EXPECT_EQ(Structure((fs::path(second.hostFolder) / "a.mdb").string()),
              Structure("C:\\datos\\a.mdb"));
}

TEST(Backup, AFailedBackupLeavesNoFolderBehind) {
    TempPrefix prefix;
    prefix.makeDir("datos");
    engine::BuildDatabase("C:\\datos\\a.mdb", Plain({Table("uno", {"a"})}))->Close();
    EXPECT_THROW(cli::MakeBackup("C:\\datos", {"a.mdb", "falta.mdb"}, std::time(nullptr)), Error);
    for (const auto& e : fs::directory_iterator(prefix.driveCPath("datos")))
        EXPECT_EQ(e.path().filename(), "a.mdb");
}

// Whether the databases still hold what the backup holds decides, not their bytes: a step that
// rebuilds what was there writes the file without changing it.
TEST(Backup, ABackupIsDroppedOnlyWhileItsDatabasesHoldWhatItHolds) {
    TempPrefix prefix;
    prefix.makeDir("datos");
    json document = json::parse(R"({"tables": [{"name": "uno", "fields": [
        {"name": "nombre", "type": 10, "size": 20}], "rows": [["Ana"]]}]})");
    engine::BuildDatabase("C:\\datos\\a.mdb", document)->Close();
    const fs::path file = prefix.driveCPath("datos/a.mdb");
    auto backUp = [] {
        cli::TransformReport report;
        report.backup = cli::MakeBackup("C:\\datos", {"a.mdb"}, std::time(nullptr));
        return report;
    };

    cli::TransformReport untouched = backUp();
    const fs::path untouchedFolder = untouched.backup->hostFolder;
    cli::DropBackupIfNothingChanged(untouched);
    EXPECT_FALSE(untouched.backup.has_value());
    EXPECT_FALSE(fs::exists(untouchedFolder));

    cli::TransformReport rewritten = backUp();
    RawExec(file, {"UPDATE uno SET nombre = nombre"});
    cli::DropBackupIfNothingChanged(rewritten);
    EXPECT_FALSE(rewritten.backup.has_value());
    EXPECT_FALSE(rewritten.backupRemoved.empty());

    cli::TransformReport changed = backUp();
    RawExec(file, {"UPDATE uno SET nombre = 'ANA'"});
    cli::DropBackupIfNothingChanged(changed);
    ASSERT_TRUE(changed.backup.has_value()) << "only a letter's case changed, but it changed";
    EXPECT_TRUE(fs::exists(fs::path(changed.backup->hostFolder) / "a.mdb"));
    EXPECT_TRUE(changed.backupRemoved.empty());
}

// ---- Dry run ----

// A database of the first file format is only read by the commands that read it and by the
// preview; a real run's backup holds its very bytes, and the run's change brings it up to date.
TEST_F(TransformRun, FilesOfTheFirstFormatAreOnlyReadByReadingCommandsAndThePreview) {
    PlainScenario();
    const fs::path model = prefix.driveCPath("prog/modelos/clientes.mdb");
    for (const fs::path& file : {OldHost("clientes.mdb"), OldHost("otra.mdb"), model,
                                 prefix.driveCPath("prog/modelos/nueva.mdb")})
        MakeFirstFormat(file);
    const auto before = Snapshot(prefix.root());
    std::ostringstream out, err;
    EXPECT_EQ(cli::QueryCommand(OldPath("clientes.mdb"), "clientes", {}, out, err), 0) << err.str();
    EXPECT_EQ(cli::SchemaCommand(OldPath("clientes.mdb"), true, false, out, err), 0) << err.str();
    EXPECT_EQ(cli::DiffCommand(model.string(), OldHost("clientes.mdb").string(), false, out, err),
              1);
    EXPECT_EQ(Run(Options().DryRun()).status, 0);
    EXPECT_EQ(Snapshot(prefix.root()), before) << "a reading command or the preview wrote a file";

    const std::string original = ReadWhole(OldHost("clientes.mdb"));
    Result real = Run(Options().Json());
    ASSERT_EQ(real.status, 0) << real.out << real.err;
    const fs::path backup = real.report().at("backup").at("hostFolder").get<std::string>();
    EXPECT_EQ(ReadWhole(backup / "clientes.mdb"), original);
    EXPECT_EQ(UserVersion(backup / "clientes.mdb"), 1);
    EXPECT_EQ(UserVersion(OldHost("clientes.mdb")), 2);
    EXPECT_EQ(ReadWhole(OldHost("otra.mdb")),
              before.at(fs::relative(OldHost("otra.mdb"), prefix.root()).string()))
        << "no model: only listed";
    EXPECT_EQ(ReadWhole(model), before.at(fs::relative(model, prefix.root()).string()));
}

TEST_F(TransformRun, DryRunChangesNoFileAndForetellsTheRealRun) {
    Scenario();
    Model("roto.mdb", Plain({Table("t", {"a"})}));
    prefix.writeFile(std::string(kDataFolderHost) + "/roto.mdb", "no es una base");
    const auto before = Snapshot(prefix.root());
    Result dry = Run(Options().DryRun().Json());
    ASSERT_NE(dry.status, 3) << dry.err;
    EXPECT_EQ(Snapshot(prefix.root()), before) << "the dry run changed a file";
    const json preview = dry.report();
    EXPECT_EQ(preview.at("dryRun"), true);
    EXPECT_TRUE(preview.at("backup").is_null());

    Result real = Run(Options().Json().NoBackup());
    const json done = real.report();
    EXPECT_EQ(real.status, dry.status);
    for (const char* key :
         {"databases", "withoutModel", "copiedIn", "failures", "otherFailures", "exitCode"})
        EXPECT_EQ(preview.at(key), done.at(key)) << key;
    EXPECT_EQ(FindDatabase(preview, "clientes.mdb")->at("tablesCreated"), json::array({"visitas"}));
}

TEST_F(TransformRun, DryRunTextSaysNothingChanged) {
    PlainScenario();
    Result r = Run(Options().DryRun());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Simulación (--dry-run)", 0), 0u) << r.out;
    EXPECT_FALSE(fs::exists(OldHost("nueva.mdb")));
    EXPECT_TRUE(BackupFolders().empty());
}

// ---- Progress ----

TEST_F(TransformRun, WithoutATerminalProgressIsOneLinePerDatabase) {
    PlainScenario();
    Result r = Run(Options().NoBackup());
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Bases: 1/2 clientes.mdb\nBases: 2/2 otra.mdb\nProceso Terminado\n");
}

TEST_F(TransformRun, OnATerminalTheSixBarsAreRedrawnInPlace) {
    PlainScenario();
    Result r = Run(Options().NoBackup(), /*terminal=*/true);
    ASSERT_EQ(r.status, 0);
    for (const char* caption :
         {"   Bases: [", "  Tablas: [", "  Campos: [", "Indices: [", " Relac.: [", "Consul.: ["})
        EXPECT_NE(r.err.find(caption), std::string::npos) << caption;
    EXPECT_NE(r.err.find("\x1b[7F"), std::string::npos) << "never redrawn in place";
    // The last drawing: the driver's final status line and Bar1 full.
    const auto last = r.err.rfind("Estado Transformación: ");
    ASSERT_NE(last, std::string::npos);
    const std::string finalStatus = "Estado Transformación: Proceso Terminado\n";
    EXPECT_EQ(r.err.compare(last, finalStatus.size(), finalStatus), 0) << r.err.substr(last);
    EXPECT_NE(r.err.find("[" + std::string(30, '#') + "]     2/2", last), std::string::npos);
}

TEST(ProgressBar, DrawsTheShareOfTheMaximumAndCopesWithOddValues) {
    EXPECT_EQ(cli::ProgressView::BarLine("Bases:", 3, 8),
              "   Bases: [" + std::string(11, '#') + std::string(19, '.') + "]     3/8");
    EXPECT_EQ(cli::ProgressView::BarLine("Campos:", 0, 0),
              "  Campos: [" + std::string(30, '.') + "]     0/0");
    EXPECT_EQ(cli::ProgressView::BarLine("Relac.:", 12, 10),
              "  Relac.: [" + std::string(30, '#') + "]    12/10");
}

// ---- The program ----

TEST_F(TransformRun, TheProgramExitsWithTheSameStatuses) {
    PlainScenario();
    CliResult ok = RunCli({"transform", "--program-dir", kProgramFolder, "--no-backup"});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_NE(ok.out.find("Tablas creadas (1): visitas"), std::string::npos) << ok.out;
    EXPECT_EQ(ok.err, "Bases: 1/2 clientes.mdb\nBases: 2/2 otra.mdb\nProceso Terminado\n");

    fs::remove_all(prefix.driveCPath("ActMirto"));
    CliResult missing = RunCli({"transform", "--program-dir", kProgramFolder});
    EXPECT_EQ(missing.status, 3);
    EXPECT_NE(missing.err.find("actualiz-cli catalogs init"), std::string::npos) << missing.err;
}

TEST(CommandLine, UnknownOrMalformedOptionsAreRefusedWithTwo) {
    TempPrefix prefix;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"transform", "--bogus"},
                                               {"transform", "--data-dir"},
                                               {"transform", "extra"},
                                               {"transform", "--dry-run=maybe"},
                                               {"migrate"},
                                               {"migrate", "otra"},
                                               {"migrate", "auxcli", "--nada"},
                                               {"diff", "solo-uno.mdb"},
                                               {"diff", "a.mdb", "b.mdb", "--bogus"},
                                               {"demo"},
                                               {"demo", "x", "y"}}) {
        CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 2) << args[0] << " " << (args.size() > 1 ? args[1] : "") << "\n"
                               << r.err;
        EXPECT_FALSE(r.err.empty());
    }
}

TEST(CommandLine, HelpIsThereForEverySubcommand) {
    TempPrefix prefix;
    const std::pair<const char*, const char*> expected[] = {{"transform", "--dry-run"},
                                                            {"migrate", "histoprod"},
                                                            {"diff", "--json"},
                                                            {"demo", "CARPETA"}};
    for (const auto& [subcommand, mention] : expected) {
        CliResult r = RunCli({subcommand, "--help"});
        EXPECT_EQ(r.status, 0) << subcommand;
        EXPECT_NE(r.out.find(mention), std::string::npos) << subcommand << ":\n" << r.out;
    }
    CliResult top = RunCli({"--help"});
    EXPECT_EQ(top.status, 0);
    for (const char* subcommand : {"transform", "migrate", "diff", "demo"})
        EXPECT_NE(top.out.find(subcommand), std::string::npos) << subcommand;
}

}  // namespace
}  // namespace actualiz::testing
