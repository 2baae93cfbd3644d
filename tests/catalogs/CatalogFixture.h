#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/Actualiz.h"
#include "app/Host.h"
#include "catalogs/CatalogFiles.h"
#include "engine/Engine.h"
#include "engine/SchemaJson.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {

using Json = nlohmann::json;
using Rows = std::vector<std::vector<std::string>>;

inline std::vector<std::string> Items(const app::ListBox& list) {
    return list.Items();
}

// The model and old databases the catalog commands are pointed at.
inline const std::string kModel = "C:\\prog\\modelos\\base.mdb";
inline const std::string kOld = "C:\\datos\\base.mdb";

// A fresh prefix with the three empty catalogs and a form loaded on them, pointed at kModel
// (Text3) and kOld (Text4). The databases themselves are built by each test.
class CatalogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prefix.makeDir("prog/modelos");
        prefix.makeDir("datos");
        catalogs::CreateCatalogs(false);
        form = std::make_unique<app::Actualiz>(host, "C:\\prog");
        ASSERT_TRUE(form->Errors().empty()) << "the catalogs did not open at load";
        form->Text3.SetText(kModel);
        form->Text4.SetText(kOld);
    }

    static void Build(const std::string& path, const Json& document) {
        engine::BuildDatabase(path, document)->Close();
    }

    // A table description: text fields of the given names, optional indexes and rows.
    static Json Table(const std::string& name, const std::vector<std::string>& fields,
                      Json indexes = Json::array(), Json rows = Json::array()) {
        Json t = {{"name", name}, {"fields", Json::array()}};
        for (const auto& f : fields)
            t["fields"].push_back({{"name", f}, {"type", engine::dbText}, {"size", 50}});
        t["indexes"] = std::move(indexes);
        t["rows"] = std::move(rows);
        return t;
    }

    static Json Index(const std::string& name, const std::vector<std::string>& fields,
                      bool unique = false, bool primary = false) {
        return {{"name", name}, {"fields", fields}, {"unique", unique}, {"primary", primary}};
    }

    static Json Relation(const std::string& name, const std::string& table,
                         const std::string& foreignTable,
                         const std::vector<std::pair<std::string, std::string>>& pairs,
                         long attributes = engine::dbRelationDontEnforce) {
        Json r = {{"name", name},
                  {"table", table},
                  {"foreignTable", foreignTable},
                  {"attributes", attributes},
                  {"fields", Json::array()}};
        for (const auto& [field, foreign] : pairs)
            r["fields"].push_back({{"name", field}, {"foreignName", foreign}});
        return r;
    }

    static Json Describe(const std::string& path, bool rows = false) {
        auto db = engine::OpenDatabase(path);
        engine::DescribeOptions options;
        options.includeRows = rows;
        Json doc = engine::DescribeDatabase(*db, options);
        db->Close();
        return doc;
    }

    // The indexes of one table, one readable line each ("Dos[b,c] unique"), in name order.
    static std::vector<std::string> IndexesOf(const std::string& path, const std::string& table) {
        std::vector<std::string> out;
        const Json doc = Describe(path);
        for (const auto& t : doc["tables"]) {
            if (t["name"] != table) continue;
            for (const auto& i : t["indexes"]) {
                std::string line = i["name"].get<std::string>() + "[";
                bool first = true;
                for (const auto& f : i["fields"]) {
                    line += (first ? "" : ",") +
                            (f.is_string() ? f.get<std::string>() : f["name"].get<std::string>());
                    first = false;
                }
                line += "]";
                if (i["unique"].get<bool>()) line += " unique";
                if (i["primary"].get<bool>()) line += " primary";
                out.push_back(line);
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    // Every row of a table as text, read from the file itself (for a catalog: not through the
    // form's view).
    static Rows TableRows(const std::string& path, const std::string& table) {
        auto db = engine::OpenDatabase(path);
        auto rs = db->OpenRecordset(table);
        Rows rows;
        while (!rs->Eof()) {
            std::vector<std::string> row;
            for (const auto& f : rs->Fields()) row.push_back(f->Text());
            rows.push_back(row);
            rs->MoveNext();
        }
        rs->Close();
        db->Close();
        return rows;
    }

    // Writes rows of text straight into a table (into a catalog: as an earlier run would have
    // left them).
    static void AddTableRows(const std::string& path, const std::string& table, const Rows& rows) {
        auto db = engine::OpenDatabase(path);
        auto rs = db->OpenRecordset(table);
        for (const auto& row : rows) {
            rs->AddNew();
            for (std::size_t i = 0; i < row.size(); ++i)
                rs->Fields()[static_cast<int>(i)]->SetValue(engine::Value(row[i]));
            rs->Update();
        }
        rs->Close();
        db->Close();
    }

    // Overwrites the first page of a table's data with garbage, as a failing disk would: the file
    // still opens, but SQLite's own check finds the damage.
    static void DamageTable(const std::filesystem::path& file, const std::string& table) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db,
                           ("SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM "
                            "sqlite_master WHERE name = '" +
                            table + "'")
                               .c_str(),
                           -1, &stmt, nullptr);
        ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
        const long long page = sqlite3_column_int64(stmt, 0);
        const long long size = sqlite3_column_int64(stmt, 1);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp((page - 1) * size);
        out << std::string(static_cast<std::size_t>(size), '\x5a');
    }

    // Runs a command the way another command would call it; a failure that reaches it is
    // recorded in Errors().
    void Run(const std::string& handler) { form->Run(handler); }

    std::vector<int> ErrorNumbers() const {
        std::vector<int> out;
        for (const auto& e : form->Errors()) out.push_back(e.number);
        return out;
    }
    std::vector<int> SkippedNumbers(const std::string& command) const {
        std::vector<int> out;
        for (const auto& s : form->Skipped())
            if (s.command == command) out.push_back(s.number);
        return out;
    }
    int Frame13Refreshes() const {
        auto it = host.FrameRefreshes().find("Frame13");
        return it == host.FrameRefreshes().end() ? 0 : it->second;
    }

    TempPrefix prefix;
    app::RecordingHost host;
    std::unique_ptr<app::Actualiz> form;
};

}  // namespace actualiz::testing
