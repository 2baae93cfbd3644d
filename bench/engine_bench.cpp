// Measurements of the engine's costly paths: opening and listing definitions, appending a field to
// small and large tables, building an index over many rows, walking a record set.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "engine/Engine.h"

namespace {

namespace fs = std::filesystem;
using namespace actualiz::engine;

fs::path BenchFolder() {
    static fs::path folder = [] {
        fs::path p = fs::temp_directory_path() / ("actualiz-bench-" + std::to_string(::getpid()));
        fs::create_directories(p);
        return p;
    }();
    return folder;
}

void Exec(Database& db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db.Handle(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "?";
        sqlite3_free(message);
        throw std::runtime_error(text);
    }
}

// A table "t" (a Long, b Text 50, c Double) holding rows rows, in its own file.
std::string TableWithRows(long rows) {
    static std::map<long, std::string> made;
    if (auto it = made.find(rows); it != made.end()) return it->second;
    std::string path = (BenchFolder() / ("rows" + std::to_string(rows) + ".mdb")).string();
    auto db = CreateDatabase(path);
    auto t = db->CreateTableDef("t");
    t->Fields().Append(t->CreateField("a", dbLong));
    t->Fields().Append(t->CreateField("b", dbText, 50));
    t->Fields().Append(t->CreateField("c", dbDouble));
    db->TableDefs().Append(t);
    if (rows > 0)
        Exec(*db, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                      std::to_string(rows) +
                      ") INSERT INTO t SELECT i, 'fila ' || i, i * 0.5 FROM n");
    made[rows] = path;
    return path;
}

// A database of 200 tables of 10 fields each, with an index per table.
std::string ManyTables() {
    static std::string path;
    if (!path.empty()) return path;
    path = (BenchFolder() / "tablas200.mdb").string();
    auto db = CreateDatabase(path);
    for (int i = 0; i < 200; ++i) {
        auto t = db->CreateTableDef("tabla" + std::to_string(i));
        for (int f = 0; f < 10; ++f)
            t->Fields().Append(
                t->CreateField("campo" + std::to_string(f), f % 2 ? dbLong : dbText));
        auto ix = t->CreateIndex("PrimaryKey");
        ix->Fields().Append(ix->CreateField("campo1"));
        ix->SetPrimary(true);
        t->Indexes().Append(ix);
        db->TableDefs().Append(t);
    }
    return path;
}

void BM_OpenDatabase(benchmark::State& state) {
    std::string path = ManyTables();
    for (auto _ : state) {
        auto db = OpenDatabase(path);
        benchmark::DoNotOptimize(db->TableDefs().Count());
    }
}
BENCHMARK(BM_OpenDatabase)->Unit(benchmark::kMillisecond);

// Open a 200-table database and list every table's fields (name, type, size) and indexes.
void BM_OpenAndListAllDefinitions(benchmark::State& state) {
    std::string path = ManyTables();
    long items = 0;
    for (auto _ : state) {
        auto db = OpenDatabase(path);
        for (const auto& t : db->TableDefs()) {
            for (const auto& f : t->Fields()) {
                benchmark::DoNotOptimize(f->Name());
                benchmark::DoNotOptimize(f->Type() + f->Size());
                ++items;
            }
            for (const auto& ix : t->Indexes()) benchmark::DoNotOptimize(ix->Fields().Count());
        }
        for (const auto& r : db->Relations()) benchmark::DoNotOptimize(r->Name());
        for (const auto& q : db->QueryDefs()) benchmark::DoNotOptimize(q->SQL());
    }
    state.counters["fields"] = static_cast<double>(items) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_OpenAndListAllDefinitions)->Unit(benchmark::kMillisecond);

// Field walk the way the synchronisation commands do it: through "Select * from [T]" per table.
void BM_FieldWalkThroughRecordSets(benchmark::State& state) {
    std::string path = ManyTables();
    for (auto _ : state) {
        auto db = OpenDatabase(path);
        for (const auto& t : db->TableDefs()) {
            if (IsSystemName(t->Name())) continue;
            auto rs = db->OpenRecordset("Select * from [" + t->Name() + "]");
            for (int i = 0; i < rs->Fields().Count(); ++i)
                benchmark::DoNotOptimize(rs->Fields()[i]->Size());
        }
    }
}
BENCHMARK(BM_FieldWalkThroughRecordSets)->Unit(benchmark::kMillisecond);

// Appending a field: its time must not grow with the number of rows.
void BM_AppendField(benchmark::State& state) {
    std::string path = TableWithRows(state.range(0));
    auto db = OpenDatabase(path);
    auto t = db->TableDefs()["t"];
    int n = 0;
    for (auto _ : state) {
        auto f = t->CreateField(
            "extra" + std::to_string(state.range(0)) + "_" + std::to_string(n++), dbText, 20);
        t->Fields().Append(f);
    }
}
BENCHMARK(BM_AppendField)->Arg(0)->Arg(1000000)->Iterations(60)->Unit(benchmark::kMillisecond);

void BM_CreateIndexOnAMillionRows(benchmark::State& state) {
    std::string path = TableWithRows(1000000);
    auto db = OpenDatabase(path);
    auto t = db->TableDefs()["t"];
    for (auto _ : state) {
        auto ix = t->CreateIndex("ib");
        ix->Fields().Append(ix->CreateField("b"));
        t->Indexes().Append(ix);
        state.PauseTiming();
        t->Indexes().Delete("ib");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CreateIndexOnAMillionRows)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_WalkRecordSet10000(benchmark::State& state) {
    std::string path = TableWithRows(10000);
    auto db = OpenDatabase(path);
    for (auto _ : state) {
        auto rs = db->OpenRecordset("Select * from t where a > 0");
        long rows = 0;
        for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
            benchmark::DoNotOptimize(rs->Fields()[1]->Text());
            ++rows;
        }
        if (rows != 10000) state.SkipWithError("wrong row count");
    }
}
BENCHMARK(BM_WalkRecordSet10000)->Unit(benchmark::kMillisecond);

struct Cleanup {
    ~Cleanup() {
        std::error_code ec;
        fs::remove_all(BenchFolder(), ec);
    }
} cleanup;

}  // namespace

BENCHMARK_MAIN();
