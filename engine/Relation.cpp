#include "engine/Relation.h"

#include "engine/EngineError.h"
#include "engine/Names.h"

namespace actualiz::engine {

Relation::Relation(std::string name, std::string table, std::string foreignTable, long attributes)
    : name_(std::move(name)),
      table_(std::move(table)),
      foreignTable_(std::move(foreignTable)),
      attributes_(attributes) {
    Collection<Field>::Hooks hooks;
    hooks.beforeAppend = [this](const std::shared_ptr<Field>& field) {
        CheckChangeable();
        CheckName(field->Name(), "campo");
        if (fields_.Contains(field->Name()))
            throw MakeError(err::kFieldDefinedTwice, field->Name());
        field->role_ = Field::Role::RelationField;
    };
    hooks.beforeDelete = [this](const std::shared_ptr<Field>&) { CheckChangeable(); };
    fields_.SetHooks(std::move(hooks));
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
