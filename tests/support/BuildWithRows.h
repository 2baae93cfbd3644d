#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "engine/Engine.h"
#include "engine/SchemaJson.h"

namespace actualiz::testing {

// Builds a test database from a JSON document (engine::BuildDatabase) and then writes each
// table's "rows" through a record set on the table, one AddNew/Update per row, values in field
// order. The rows go in separately so that the tests that need data rely only on the plain
// record-set path, which every command uses as well.
inline void BuildWithRows(std::string_view path, const nlohmann::json& document) {
    nlohmann::json structure = document;
    for (auto& table : structure["tables"]) table.erase("rows");
    auto db = engine::BuildDatabase(path, structure);
    for (const auto& table : document["tables"]) {
        if (!table.contains("rows") || table["rows"].empty()) continue;
        auto rs = db->OpenRecordset(table["name"].get<std::string>());
        for (const auto& row : table["rows"]) {
            rs->AddNew();
            for (std::size_t i = 0; i < row.size(); ++i)
                rs->Fields()[static_cast<int>(i)]->SetValue(engine::ValueFromJson(row[i]));
            rs->Update();
        }
        rs->Close();
    }
    db->Close();
}

}  // namespace actualiz::testing
