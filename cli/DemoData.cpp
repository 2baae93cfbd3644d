#include "cli/DemoData.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "cli/DemoFiles.h"

namespace actualiz::cli {

using nlohmann::json;

namespace {

// The models are cli/demo/models/NAME.json; each older database is cli/demo/old/NAME.json.
// Field type codes in them: 1 Boolean, 3 Integer, 4 Long, 7 Double, 8 Date, 10 Text, 12 Memo.
const char* const kModels[] = {"almacen", "clientes", "pedidos", "productos"};
const char* const kOldDatabases[] = {"almacen", "clientes", "contabilidad", "productos"};

json DemoFile(const std::string& path) {
    const auto& files = DemoFiles();
    const auto found = files.find(path);
    if (found == files.end()) throw std::logic_error("the demo has no file " + path);
    return json::parse(found->second);
}

json& Named(json& list, const std::string& name, const std::string& what) {
    for (json& entry : list)
        if (entry.at("name") == name) return entry;
    throw std::logic_error("the demo's model has no " + what + " " + name);
}

// Drops the entries of `list` with the given names; every name must be there.
void Drop(json& list, const json& names, const std::string& what) {
    for (const json& name : names) {
        Named(list, name.get<std::string>(), what);
        list.erase(std::find_if(list.begin(), list.end(),
                                [&](const json& entry) { return entry.at("name") == name; }));
    }
}

// Puts each entry in the place of the entry of its name, or at the end when there is none.
void Put(json& list, const json& entries) {
    for (const json& entry : entries) {
        auto same = std::find_if(list.begin(), list.end(), [&](const json& existing) {
            return existing.at("name") == entry.at("name");
        });
        if (same != list.end())
            *same = entry;
        else
            list.push_back(entry);
    }
}

// An older database as its declaration says: the model it was before, without what the model
// added since ("without": tables, relations and queries by name; fields and indexes by table),
// with what the model changed since ("with": indexes by table, relations and queries, each in
// the place of the model's entry of its name), and its rows by table.
json DeriveFromModel(json model, const json& declaration) {
    const json without = declaration.value("without", json::object());
    const json with = declaration.value("with", json::object());
    json& tables = model.at("tables");
    Drop(tables, without.value("tables", json::array()), "table");
    for (const char* kind : {"relations", "queries"}) {
        json& list = model[kind];
        if (list.is_null()) list = json::array();
        Drop(list, without.value(kind, json::array()), kind);
        Put(list, with.value(kind, json::array()));
        if (list.empty()) model.erase(kind);
    }
    // (value() gives a copy: each is kept in a local for the loop over its items.)
    for (const char* kind : {"fields", "indexes"}) {
        const json byTable = without.value(kind, json::object());
        for (const auto& [table, names] : byTable.items())
            Drop(Named(tables, table, "table").at(kind), names, kind);
    }
    const json addedIndexes = with.value("indexes", json::object());
    for (const auto& [table, indexes] : addedIndexes.items())
        Put(Named(tables, table, "table")["indexes"], indexes);
    const json rowsByTable = declaration.value("rows", json::object());
    for (const auto& [table, rows] : rowsByTable.items())
        Named(tables, table, "table")["rows"] = rows;
    return model;
}

}  // namespace

std::vector<DemoDatabase> DemoModels() {
    std::vector<DemoDatabase> models;
    for (const char* name : kModels)
        models.push_back(
            {std::string(name) + ".mdb", DemoFile(std::string("models/") + name + ".json")});
    return models;
}

std::vector<DemoDatabase> DemoOldDatabases() {
    std::vector<DemoDatabase> olds;
    for (const char* name : kOldDatabases) {
        json declaration = DemoFile(std::string("old/") + name + ".json");
        // A database with no model (one the new version drops) is written out whole.
        if (declaration.contains("model")) {
            const std::string model = declaration.at("model").get<std::string>();
            declaration = DeriveFromModel(DemoFile("models/" + model + ".json"), declaration);
        }
        olds.push_back({std::string(name) + ".mdb", std::move(declaration)});
    }
    return olds;
}

DemoDatabase DemoNeptuno() {
    return {"Neptuno.mdb", DemoFile("Neptuno.json")};
}

}  // namespace actualiz::cli
