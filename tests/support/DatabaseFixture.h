#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/FormFixture.h"
#include "engine/Engine.h"
#include "engine/SchemaJson.h"

namespace actualiz::testing {

// The model and old databases a command is pointed at by default (Text3 and Text4).
inline const std::string kModel = "C:\\prog\\modelos\\base.mdb";
inline const std::string kOld = "C:\\datos\\base.mdb";

// Rows of a table as text, one vector per row in field order.
using TextRows = std::vector<std::vector<std::string>>;

// A form on a fresh prefix with a model folder C:\prog\modelos and a data folder C:\datos, and
// ways to lay out and read back the databases the table, field and catalog commands work on.
// What the prefix needs before the form loads goes into BeforeLoad.
class DatabaseTest : public FormTest {
  protected:
    void SetUp() override {
        prefix.makeDir("prog/modelos");
        prefix.makeDir("datos");
        BeforeLoad();
        FormTest::SetUp();
    }
    virtual void BeforeLoad() {}

    static std::string ModelPath(const std::string& name) { return "C:\\prog\\modelos\\" + name; }
    static std::string OldPath(const std::string& name) { return "C:\\datos\\" + name; }

    static void Build(const std::string& path, const nlohmann::json& document) {
        engine::BuildDatabase(path, document)->Close();
    }
    // Builds a model and an old database and points Text3 and Text4 at them.
    void Pair(const nlohmann::json& model, const nlohmann::json& old,
              const std::string& name = "base.mdb") {
        Build(ModelPath(name), model);
        Build(OldPath(name), old);
        form->Text3.SetText(ModelPath(name));
        form->Text4.SetText(OldPath(name));
    }

    static nlohmann::json Describe(const std::string& path, bool rows = false) {
        auto db = engine::OpenDatabase(path);
        engine::DescribeOptions options;
        options.includeRows = rows;
        nlohmann::json doc = engine::DescribeDatabase(*db, options);
        db->Close();
        return doc;
    }
    // User table names, in the engine's order.
    static std::vector<std::string> TableNames(const std::string& path) {
        auto db = engine::OpenDatabase(path);
        std::vector<std::string> names;
        for (const auto& t : db->TableDefs())
            if (!engine::IsSystemName(t->Name())) names.push_back(t->Name());
        db->Close();
        return names;
    }
    // Field names of a table as the engine stores them, in field order.
    static std::vector<std::string> FieldNames(const std::string& path, const std::string& table) {
        auto db = engine::OpenDatabase(path);
        std::vector<std::string> names;
        for (const auto& f : db->TableDefs()[table]->Fields()) names.push_back(f->Name());
        db->Close();
        return names;
    }
    static std::shared_ptr<engine::Field> StoredField(const std::string& path,
                                                      const std::string& table,
                                                      const std::string& field) {
        auto db = engine::OpenDatabase(path);
        auto f = db->TableDefs()[table]->Fields()[field];
        db->Close();
        return f;
    }

    // Rows are written and read through a record set on the table, straight from the file (for
    // a catalog: not through the form's view). Values as JSON...
    static void InsertRows(const std::string& path, const std::string& table,
                           const nlohmann::json& rows) {
        WriteRows(path, table, rows.size(), [&](std::size_t r, std::size_t i) {
            return i < rows[r].size() ? std::optional(engine::ValueFromJson(rows[r][i]))
                                      : std::nullopt;
        });
    }
    static nlohmann::json RowValues(const std::string& path, const std::string& table) {
        nlohmann::json rows = nlohmann::json::array();
        ReadRows(path, table, [&](engine::Recordset& rs) {
            nlohmann::json row = nlohmann::json::array();
            for (const auto& f : rs.Fields()) row.push_back(engine::ValueToJson(f->GetValue()));
            rows.push_back(row);
        });
        return rows;
    }
    // ...or as text (as an earlier run would have left them in a catalog).
    static void AddTableRows(const std::string& path, const std::string& table,
                             const TextRows& rows) {
        WriteRows(path, table, rows.size(), [&](std::size_t r, std::size_t i) {
            return i < rows[r].size() ? std::optional(engine::Value(rows[r][i])) : std::nullopt;
        });
    }
    static TextRows TableRows(const std::string& path, const std::string& table) {
        TextRows rows;
        ReadRows(path, table, [&](engine::Recordset& rs) {
            std::vector<std::string> row;
            for (const auto& f : rs.Fields()) row.push_back(f->Text());
            rows.push_back(row);
        });
        return rows;
    }

    // What skip-on-error passed over, one "command number" text each, for readable failures.
    std::vector<std::string> SkippedSummary() const {
        std::vector<std::string> out;
        for (const auto& s : form->Skipped())
            out.push_back(s.command + " " + std::to_string(s.number));
        return out;
    }
    std::vector<int> SkippedNumbers(const std::string& command) const {
        std::vector<int> out;
        for (const auto& s : form->Skipped())
            if (s.command == command) out.push_back(s.number);
        return out;
    }
    std::vector<int> ErrorNumbers() const {
        std::vector<int> out;
        for (const auto& e : form->Errors()) out.push_back(e.number);
        return out;
    }

    // The error number a call fails with, 0 when it does not fail.
    template <class Call>
    static int FailureOf(Call&& call) {
        try {
            call();
        } catch (const Error& e) {
            return e.number();
        }
        return 0;
    }

    static std::vector<std::string> V(std::initializer_list<const char*> items) {
        return std::vector<std::string>(items.begin(), items.end());
    }

  private:
    // value(row, field): the value to write, nullopt past the end of the row.
    template <class Value>
    static void WriteRows(const std::string& path, const std::string& table, std::size_t count,
                          Value value) {
        auto db = engine::OpenDatabase(path);
        auto rs = db->OpenRecordset(table);
        for (std::size_t r = 0; r < count; ++r) {
            rs->AddNew();
            for (std::size_t i = 0;; ++i) {
                auto v = value(r, i);
                if (!v) break;
                rs->Fields()[static_cast<int>(i)]->SetValue(*v);
            }
            rs->Update();
        }
        rs->Close();
        db->Close();
    }
    template <class Row>
    static void ReadRows(const std::string& path, const std::string& table, Row row) {
        auto db = engine::OpenDatabase(path);
        auto rs = db->OpenRecordset(table);
        if (!(rs->BOF() && rs->Eof())) {
            rs->MoveFirst();
            while (!rs->Eof()) {
                row(*rs);
                rs->MoveNext();
            }
        }
        rs->Close();
        db->Close();
    }
};

}  // namespace actualiz::testing
