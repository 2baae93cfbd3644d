#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Engine.h"
#include "support/DatabaseFixture.h"

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

// The table and field commands work on the shared fixture's model and old databases.
using SyncTest = DatabaseTest;

}  // namespace actualiz::testing
