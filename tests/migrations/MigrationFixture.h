#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Engine.h"
#include "engine/SchemaJson.h"
#include "support/DatabaseFixture.h"

namespace actualiz::testing {

using nlohmann::json;

// The shape of one field as a test expects it after a migration.
struct ExpectedField {
    std::string name;
    int type;
    long size;  // checked for text fields only
    bool allowZeroLength;
};

// The shared fixture with the form's data folder (Dir1) on C:\datos, and ways to read back what a
// migration left in the application's databases.
class MigrationTest : public DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        form->Dir1.SetPath("C:\\datos");
    }

    static std::string DataPath(const std::string& name) { return OldPath(name); }

    static std::optional<json> FindNamed(const json& list, const std::string& name) {
        for (const auto& item : list)
            if (item["name"] == name) return item;
        return std::nullopt;
    }
    static std::optional<json> TableOf(const std::string& path, const std::string& table) {
        return FindNamed(Describe(path)["tables"], table);
    }
    static std::vector<std::string> IndexNames(const json& table) {
        std::vector<std::string> names;
        for (const auto& ix : table["indexes"]) names.push_back(ix["name"]);
        return names;
    }

    // Every field of the table, in order, with the type, text size and zero-length flag the
    // migration must have given it, and Required left False.
    static void ExpectFields(const json& table, const std::vector<ExpectedField>& expected) {
        const json& fields = table["fields"];
        ASSERT_EQ(fields.size(), expected.size()) << table.dump(1);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const ExpectedField& e = expected[i];
            SCOPED_TRACE("field #" + std::to_string(i + 1) + " " + e.name);
            EXPECT_EQ(fields[i]["name"], e.name);
            EXPECT_EQ(fields[i]["type"], e.type);
            if (e.type == engine::dbText) {
                EXPECT_EQ(fields[i]["size"], e.size);
            }
            EXPECT_EQ(fields[i]["allowZeroLength"], e.allowZeroLength);
            EXPECT_EQ(fields[i]["required"], false);
        }
    }

    // Every index is one field of its own name, ascending, neither unique nor primary.
    static void ExpectSingleFieldIndexes(const json& table, const std::vector<std::string>& names) {
        EXPECT_EQ(IndexNames(table), names) << table.dump(1);
        for (const auto& ix : table["indexes"]) {
            SCOPED_TRACE("index " + ix["name"].get<std::string>());
            ASSERT_EQ(ix["fields"].size(), 1u);
            const json& f = ix["fields"][0];
            std::string field = f.is_string() ? f.get<std::string>() : f["name"].get<std::string>();
            EXPECT_EQ(field, ix["name"]);
            if (f.is_object()) {
                EXPECT_FALSE(f.value("descending", false));
            }
            EXPECT_EQ(ix["unique"], false);
            EXPECT_EQ(ix["primary"], false);
        }
    }

    // Makes the engine fail whenever it records an index of this name in the file. The engine
    // keeps its index definitions in its system table MSysIndexes; a trigger there refuses the
    // row, so the index is rolled back and its Append fails like any refused change.
    static void RefuseIndex(const std::string& path, const std::string& index) {
        auto db = engine::OpenDatabase(path);
        std::string sql = "CREATE TRIGGER \"refuse_" + index +
                          "\" BEFORE INSERT ON \"MSysIndexes\" WHEN NEW.\"Name\" = '" + index +
                          "' BEGIN SELECT RAISE(ABORT, 'índice rechazado por la prueba'); END";
        char* message = nullptr;
        int rc = sqlite3_exec(db->Handle(), sql.c_str(), nullptr, nullptr, &message);
        std::string text = message ? message : "";
        sqlite3_free(message);
        db->Close();
        ASSERT_EQ(rc, SQLITE_OK) << text;
    }

    // The failures that reached this command.
    std::vector<app::Actualiz::CommandError> ErrorsOf(const std::string& command) const {
        std::vector<app::Actualiz::CommandError> out;
        for (const auto& e : form->Errors())
            if (e.command == command) out.push_back(e);
        return out;
    }

    bool FileExists(const std::string& relative) const {
        return std::filesystem::exists(prefix.driveCPath(relative));
    }
};

}  // namespace actualiz::testing
