#include "engine/SchemaModelJson.h"

namespace actualiz::engine {

using nlohmann::json;

namespace {

template <typename T>
json ListJson(const std::vector<T>& items) {
    json list = json::array();
    for (const T& item : items) list.push_back(ToJson(item));
    return list;
}

}  // namespace

json ToJson(const FieldSchema& field) {
    json f = {{"name", field.name},
              {"type", field.type},
              {"size", field.size},
              {"allowZeroLength", field.allowZeroLength},
              {"required", field.required}};
    if (HasOwnAttributes(field)) f["attributes"] = field.attributes;
    if (!field.defaultValue.empty()) f["defaultValue"] = field.defaultValue;
    if (!field.validationRule.empty()) f["validationRule"] = field.validationRule;
    if (!field.validationText.empty()) f["validationText"] = field.validationText;
    return f;
}

json ToJson(const IndexSchema& index) {
    json fields = json::array();
    for (const IndexFieldSchema& f : index.fields) {
        if (f.descending)
            fields.push_back({{"name", f.name}, {"descending", true}});
        else
            fields.push_back(f.name);
    }
    json i = {{"name", index.name},
              {"fields", std::move(fields)},
              {"unique", index.unique},
              {"primary", index.primary}};
    if (index.ignoreNulls) i["ignoreNulls"] = true;
    if (index.required) i["required"] = true;
    return i;
}

json ToJson(const TableSchema& table) {
    json t = {{"name", table.name},
              {"fields", ListJson(table.fields)},
              {"indexes", ListJson(table.indexes)}};
    if (!table.validationRule.empty()) t["validationRule"] = table.validationRule;
    if (!table.validationText.empty()) t["validationText"] = table.validationText;
    return t;
}

json ToJson(const RelationSchema& relation) {
    json fields = json::array();
    for (const RelationFieldSchema& f : relation.fields)
        fields.push_back({{"name", f.name}, {"foreignName", f.foreignName}});
    return {{"name", relation.name},
            {"table", relation.table},
            {"foreignTable", relation.foreignTable},
            {"attributes", relation.attributes},
            {"fields", std::move(fields)}};
}

json ToJson(const QuerySchema& query) {
    return {{"name", query.name}, {"sql", query.sql}};
}

json ToJson(const DatabaseSchema& schema) {
    return {{"tables", ListJson(schema.tables)},
            {"relations", ListJson(schema.relations)},
            {"queries", ListJson(schema.queries)}};
}

}  // namespace actualiz::engine
