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
#include "support/DatabaseFixture.h"

namespace actualiz::testing {

using Json = nlohmann::json;
using Rows = TextRows;

// The shared fixture with the three empty catalogs made before the form loads, and Text3 and
// Text4 on kModel and kOld. The databases themselves are built by each test.
class CatalogTest : public DatabaseTest {
  protected:
    void BeforeLoad() override { catalogs::CreateCatalogs(false); }
    void SetUp() override {
        DatabaseTest::SetUp();
        ASSERT_TRUE(form->Errors().empty()) << "the catalogs did not open at load";
        form->Text3.SetText(kModel);
        form->Text4.SetText(kOld);
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

    int Frame13Refreshes() const {
        auto it = host.FrameRefreshes().find("Frame13");
        return it == host.FrameRefreshes().end() ? 0 : it->second;
    }
};

}  // namespace actualiz::testing
