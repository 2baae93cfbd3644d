#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "EngineFixture.h"
#include "engine/Integrity.h"

namespace actualiz::engine::testing {
namespace {

using AtomicityTest = EngineTest;

// The columns SQLite has for a table, in order.
std::vector<std::string> RealColumns(const std::filesystem::path& file, const std::string& table) {
    return RawQuery(file, "SELECT name FROM pragma_table_info('" + table + "')");
}

std::vector<std::string> EngineColumns(Database& db, const std::string& table) {
    std::vector<std::string> names;
    for (const auto& f : db.TableDefs()[table]->Fields()) names.push_back(f->Name());
    return names;
}

// A process killed in the middle of a change leaves the file as it was before or as it is after,
// never in between: the table and the engine's description of it always agree.
TEST_F(AtomicityTest, KillDuringAFieldDeleteLeavesAConsistentFile) {
    {
        auto db = NewDatabase();
        AddTable(*db, "grande", {"a", "b", "c"});
        ASSERT_EQ(sqlite3_exec(db->Handle(),
                               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                               "WHERE i < 150000) INSERT INTO grande SELECT 'a' || i, "
                               "printf('%050d', i), 'c' FROM n",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
    }
    auto path = HostPath("prueba.mdb");
    // Several kill delays: some land inside the rewrite, others after it.
    std::string outcomes;
    for (int delayMs : {5, 30, 80, 200}) {
        std::string victim = "b";
        {
            auto db = Reopen();
            if (!db->TableDefs()["grande"]->Fields().Contains("b")) {
                auto t = db->TableDefs()["grande"];
                t->Fields().Append(t->CreateField("b", dbText, 60));
            }
        }
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                auto db = OpenDatabase(path.string());
                db->TableDefs()["grande"]->Fields().Delete(victim);
            } catch (...) {
                _exit(2);
            }
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);

        auto db = Reopen();  // also rolls back what the killed process left in its journal
        ASSERT_EQ(IntegrityCheck(path), "ok") << delayMs;
        EXPECT_EQ(EngineColumns(*db, "grande"), RealColumns(path, "grande")) << delayMs;
        EXPECT_EQ(RawQuery(path, "SELECT count(*) FROM grande")[0], "150000");
        outcomes += db->TableDefs()["grande"]->Fields().Contains("b") ? "B" : "-";
    }
    RecordProperty("outcomes", outcomes);
}

// A writer killed in the middle of a large change leaves a hot journal and a torn file. A copy
// made through the engine holds what was committed, never the torn bytes.
TEST_F(AtomicityTest, ACopyOfAFileWithAHotJournalHoldsOnlyWhatWasCommitted) {
    {
        auto db = NewDatabase();
        AddTable(*db, "t", {"a"});
        AddRow(*db, "t", {std::string("x")});
    }
    const auto path = HostPath("prueba.mdb");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqlite3* raw = nullptr;
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(raw,
                     "PRAGMA cache_size = 2; BEGIN; CREATE TABLE basura (x); WITH RECURSIVE n(i) "
                     "AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) INSERT INTO "
                     "basura SELECT randomblob(300) FROM n;",
                     nullptr, nullptr, nullptr);
        _exit(0);  // gone before COMMIT, as if killed
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(std::filesystem::exists(path.string() + "-journal"));

    const auto copy = HostPath("copia.mdb");
    CopyDatabase(path.string(), copy);

    EXPECT_EQ(IntegrityCheck(copy), "ok");
    EXPECT_TRUE(RawQuery(copy, "SELECT name FROM sqlite_master WHERE name = 'basura'").empty());
    EXPECT_EQ(RawQuery(copy, "SELECT a FROM t"), std::vector<std::string>{"x"});
    EXPECT_EQ(ErrorOf([&] { CopyDatabase(path.string(), copy); }), err::kDatabaseExists);
    OpenDatabase(copy.string())->Close();
}

// Overwrites the first page of a table (its root) with bytes that are no page at all.
void DamageRootPage(const std::filesystem::path& file, const std::string& table) {
    const long long page = std::stoll(
        RawQuery(file, "SELECT rootpage FROM sqlite_master WHERE name = '" + table + "'").at(0));
    const long long size = std::stoll(RawQuery(file, "PRAGMA page_size").at(0));
    std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp((page - 1) * size);
    out << std::string(static_cast<std::size_t>(size), '\x5a');
}

// The check limited to some tables finds damage in them (named in any letter case) and does not
// read the others; once a check found the file damaged, every later check of it refuses it, and
// what an earlier check found sound does not hide damage done to the file since.
TEST_F(AtomicityTest, ACheckOfSomeTablesFindsDamageOnlyWhereItLooks) {
    struct Case {
        const char* damaged;
        std::vector<std::string> tables;
        int error;
    };
    const Case cases[] = {
        {"dos", {"DOS"}, err::kDatabaseDamaged},
        {"dos", {"uno", "no existe"}, 0},
        {"dos", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.damaged) + " / " + std::to_string(c.tables.size()));
        std::filesystem::remove(HostPath("prueba.mdb"));
        {
            auto db = NewDatabase();
            AddTable(*db, "uno", {"a"});
            AddTable(*db, "dos", {"a"});
        }
        const auto path = HostPath("prueba.mdb");
        // What a check found sound is not taken for sound once the file has been written since.
        EXPECT_EQ(ErrorOf([&] { CheckUndamaged(path.string(), {"uno", "dos"}); }), 0);
        DamageRootPage(path, c.damaged);
        EXPECT_EQ(ErrorOf([&] { CheckUndamaged(path.string(), c.tables); }), c.error);
        EXPECT_EQ(ErrorOf([&] { CheckUndamaged(path.string()); }), err::kDatabaseDamaged);
        EXPECT_EQ(ErrorOf([&] { CheckUndamaged(path.string(), {}); }), err::kDatabaseDamaged);
        std::filesystem::remove(path);
    }
}

}  // namespace
}  // namespace actualiz::engine::testing
