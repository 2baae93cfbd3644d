#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "support/TempPrefix.h"

namespace actualiz::engine::testing {

// Runs f and returns the engine error number it raised; 0 when it raised none.
inline int ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EngineError& e) {
        return e.number();
    }
    return 0;
}

inline std::string ReadBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs one SQL text on a plain SQLite connection (no engine) and returns the first column of each
// row as text; the way another program would look at or change the file.
inline std::vector<std::string> RawQuery(const std::filesystem::path& file, const std::string& sql,
                                         int* resultCode = nullptr) {
    sqlite3* db = nullptr;
    std::vector<std::string> out;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_busy_timeout(db, 100);
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            auto* t = sqlite3_column_text(st, 0);
            out.push_back(t ? reinterpret_cast<const char*>(t) : "NULL");
        }
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (resultCode) *resultCode = rc;
    return out;
}

inline std::string IntegrityCheck(const std::filesystem::path& file) {
    auto rows = RawQuery(file, "PRAGMA integrity_check");
    return rows.empty() ? "no result" : rows.front();
}

// A fresh temporary prefix per test; every database file the test made is checked for integrity
// when the test ends.
class EngineTest : public ::testing::Test {
  protected:
    std::filesystem::path HostPath(const std::string& name) const {
        return prefix_.driveCPath(name);
    }
    // A new engine database below drive C, addressed by its host path.
    std::shared_ptr<Database> NewDatabase(const std::string& name = "prueba.mdb") {
        auto path = HostPath(name);
        files_.push_back(path);
        return CreateDatabase(path.string());
    }
    // Reopens a database file the test made.
    std::shared_ptr<Database> Reopen(const std::string& name = "prueba.mdb") {
        return OpenDatabase(HostPath(name).string());
    }
    void TearDown() override {
        for (const auto& f : files_) {
            if (std::filesystem::exists(f)) {
                EXPECT_EQ(IntegrityCheck(f), "ok") << f;
            }
        }
    }

    // A table with the given text fields, appended to db.
    static std::shared_ptr<TableDef> AddTable(Database& db, const std::string& name,
                                              const std::vector<std::string>& textFields) {
        auto t = db.CreateTableDef(name);
        for (const auto& f : textFields) t->Fields().Append(t->CreateField(f, dbText, 50));
        db.TableDefs().Append(t);
        return t;
    }
    // Appends one row through a record set; values in field order.
    static void AddRow(Database& db, const std::string& table, const std::vector<Value>& values) {
        auto rs = db.OpenRecordset(table);
        rs->AddNew();
        for (std::size_t i = 0; i < values.size(); ++i)
            rs->Fields()[static_cast<int>(i)]->SetValue(values[i]);
        rs->Update();
    }

    actualiz::testing::TempPrefix prefix_;
    std::vector<std::filesystem::path> files_;
};

}  // namespace actualiz::engine::testing
