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

void Relation::SetAttributes(long value) {
    CheckChangeable();
    attributes_ = value;
}

std::shared_ptr<Field> Relation::CreateField(std::string name) {
    CheckName(name, "campo");
    auto field = std::make_shared<Field>(std::move(name), static_cast<short>(0), 0L);
    field->role_ = Field::Role::RelationField;
    return field;
}

}  // namespace actualiz::engine
