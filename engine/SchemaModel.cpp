#include "engine/SchemaModel.h"

#include "engine/Database.h"
#include "engine/FieldRules.h"
#include "engine/Names.h"

namespace actualiz::engine {

namespace {

FieldSchema ReadField(const Field& field) {
    return {.name = field.Name(),
            .type = field.Type(),
            .size = field.Size(),
            .allowZeroLength = field.AllowZeroLength(),
            .required = field.Required(),
            .attributes = field.Attributes(),
            .defaultValue = field.DefaultValue(),
            .validationRule = field.ValidationRule(),
            .validationText = field.ValidationText()};
}

IndexSchema ReadIndex(const Index& index) {
    IndexSchema out{.name = index.Name(),
                    .fields = {},
                    .unique = index.Unique(),
                    .primary = index.Primary(),
                    .ignoreNulls = index.IgnoreNulls(),
                    .required = index.Required()};
    out.fields.reserve(static_cast<std::size_t>(index.Fields().Count()));
    for (const auto& f : index.Fields())
        out.fields.push_back({f->Name(), (f->Attributes() & dbDescending) != 0});
    return out;
}

TableSchema ReadTable(const TableDef& table) {
    TableSchema out{.name = table.Name(),
                    .validationRule = table.ValidationRule(),
                    .validationText = table.ValidationText(),
                    .fields = {},
                    .indexes = {}};
    out.fields.reserve(static_cast<std::size_t>(table.Fields().Count()));
    for (const auto& field : table.Fields()) out.fields.push_back(ReadField(*field));
    for (const auto& index : table.Indexes()) out.indexes.push_back(ReadIndex(*index));
    return out;
}

RelationSchema ReadRelation(const Relation& relation) {
    RelationSchema out{.name = relation.Name(),
                       .table = relation.Table(),
                       .foreignTable = relation.ForeignTable(),
                       .attributes = relation.Attributes(),
                       .fields = {}};
    for (const auto& f : relation.Fields()) out.fields.push_back({f->Name(), f->ForeignName()});
    return out;
}

}  // namespace

bool HasOwnAttributes(const FieldSchema& field) {
    return field.attributes != detail::DefaultFieldAttributes(field.type);
}

DatabaseSchema ReadSchema(Database& db, bool includeSystem) {
    DatabaseSchema schema;
    for (const auto& table : db.TableDefs()) {
        if (!includeSystem && IsSystemName(table->Name())) continue;
        schema.tables.push_back(ReadTable(*table));
    }
    for (const auto& relation : db.Relations()) {
        if (!includeSystem && IsSystemName(relation->Name())) continue;
        schema.relations.push_back(ReadRelation(*relation));
    }
    for (const auto& query : db.QueryDefs()) {
        if (!includeSystem && IsSystemName(query->Name())) continue;
        schema.queries.push_back({query->Name(), query->SQL()});
    }
    return schema;
}

DatabaseSchema ReadSchemaAt(const std::string& path) {
    auto db = OpenDatabase(path);
    DatabaseSchema schema = ReadSchema(*db);
    db->Close();
    return schema;
}

}  // namespace actualiz::engine
