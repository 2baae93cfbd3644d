#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/FormFixture.h"
#include "engine/Engine.h"
#include "engine/SchemaJson.h"

namespace actualiz::testing {

using nlohmann::json;

// One field of a test table: name, type code and, for text, its size.
struct FieldSpec {
    std::string name;
    int type;
    long size = 0;
};

// A table document for BuildDatabase.
inline json Table(const std::string& name, const std::vector<FieldSpec>& fields) {
    json t{{"name", name}, {"fields", json::array()}};
    for (const FieldSpec& f : fields) {
        json field{{"name", f.name}, {"type", f.type}};
        if (f.size > 0) field["size"] = f.size;
        t["fields"].push_back(field);
    }
    return t;
}

inline json Tables(std::vector<json> tables) {
    return json{{"tables", json(std::move(tables))}};
}

// A form on a fresh prefix, with a model folder C:\prog\modelos and a data folder C:\datos, and
// ways to lay out and read back the databases the table and field commands work on.
class SyncTest : public FormTest {
  protected:
    void SetUp() override {
        FormTest::SetUp();
        prefix.makeDir("prog/modelos");
        prefix.makeDir("datos");
    }

    static std::string ModelPath(const std::string& name) { return "C:\\prog\\modelos\\" + name; }
    static std::string OldPath(const std::string& name) { return "C:\\datos\\" + name; }

    static void Build(const std::string& path, const json& document) {
        engine::BuildDatabase(path, document)->Close();
    }
    // Builds a model and an old database and points Text3 and Text4 at them.
    void Pair(const json& model, const json& old, const std::string& name = "base.mdb") {
        Build(ModelPath(name), model);
        Build(OldPath(name), old);
        form->Text3.SetText(ModelPath(name));
        form->Text4.SetText(OldPath(name));
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
    // User table names, in the engine's order.
    static std::vector<std::string> TableNames(const std::string& path) {
        auto db = engine::OpenDatabase(path);
        std::vector<std::string> names;
        for (const auto& t : db->TableDefs())
            if (!engine::IsSystemName(t->Name())) names.push_back(t->Name());
        db->Close();
        return names;
    }
    // Rows are written and read through a record set on the bare table name (the JSON builder's
    // bracketed source is not accepted by the engine yet).
    static void InsertRows(const std::string& path, const std::string& table, const json& rows) {
        auto db = engine::OpenDatabase(path);
        auto rs = db->OpenRecordset(table);
        for (const auto& row : rows) {
            rs->AddNew();
            for (std::size_t i = 0; i < row.size(); ++i)
                rs->Fields()[static_cast<int>(i)]->SetValue(engine::ValueFromJson(row[i]));
            rs->Update();
        }
        rs->Close();
        db->Close();
    }
    static json Rows(const std::string& path, const std::string& table) {
        auto db = engine::OpenDatabase(path);
        auto rs = db->OpenRecordset(table);
        json rows = json::array();
        if (!(rs->BOF() && rs->Eof())) {
            rs->MoveFirst();
            while (!rs->Eof()) {
                json row = json::array();
                for (const auto& f : rs->Fields())
                    row.push_back(engine::ValueToJson(f->GetValue()));
                rows.push_back(row);
                rs->MoveNext();
            }
        }
        rs->Close();
        db->Close();
        return rows;
    }
    static json Describe(const std::string& path) {
        auto db = engine::OpenDatabase(path);
        json d = engine::DescribeDatabase(*db);
        db->Close();
        return d;
    }

    // What skip-on-error passed over, one "command number" text each, for readable failures.
    std::vector<std::string> SkippedSummary() const {
        std::vector<std::string> out;
        for (const auto& s : form->Skipped())
            out.push_back(s.command + " " + std::to_string(s.number));
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
};

}  // namespace actualiz::testing
