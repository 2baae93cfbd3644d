#include "engine/Relation.h"

#include "engine/EngineError.h"
#include "engine/Names.h"

namespace actualiz::engine {

Relation::Relation(std::string name, std::string table, std::string foreignTable, long attributes)
    : name_(std::move(name)),
      table_(std::move(table)),
      foreignTable_(std::move(foreignTable)),
      attributes_(attributes) {
    fields_.SetHooks(Field::DefinitionFieldHooks(
        fields_, [this] { CheckChangeable(); }, Field::Role::RelationField));
}

void Relation::CheckChangeable() const {
    if (stored_) throw MakeError(err::kInvalidOperation, name_);
}

void Relation::MarkStored(std::string table, std::string foreignTable) {
    stored_ = true;
    table_ = std::move(table);
    foreignTable_ = std::move(foreignTable);
}

void Relation::SetAttributes(long value) {
    CheckChangeable();
    attributes_ = value;
}

std::shared_ptr<Field> Relation::CreateField(std::string name) {
    CheckName(name, "campo");
    return std::make_shared<Field>(detail::FieldDefinition{.name = std::move(name)},
                                   Field::Role::RelationField);
}

}  // namespace actualiz::engine
