#include "engine/Index.h"

#include "engine/EngineError.h"
#include "engine/Names.h"

namespace actualiz::engine {

Index::Index(std::string name) : name_(std::move(name)) {
    Collection<Field>::Hooks hooks;
    hooks.beforeAppend = [this](const std::shared_ptr<Field>& field) {
        CheckChangeable();
        CheckName(field->Name(), "campo");
        if (fields_.Contains(field->Name()))
            throw MakeError(err::kFieldDefinedTwice, field->Name());
        field->role_ = Field::Role::IndexField;
    };
    hooks.beforeDelete = [this](const std::shared_ptr<Field>&) { CheckChangeable(); };
    fields_.SetHooks(std::move(hooks));
}

void Index::CheckChangeable() const {
    if (stored_) throw MakeError(err::kInvalidOperation, name_);
}

void Index::SetUnique(bool value) {
    CheckChangeable();
    unique_ = value;
}

void Index::SetPrimary(bool value) {
    CheckChangeable();
    primary_ = value;
}

void Index::SetIgnoreNulls(bool value) {
    CheckChangeable();
    ignoreNulls_ = value;
}

std::shared_ptr<Field> Index::CreateField(std::string name) {
    CheckName(name, "campo");
    auto field = std::make_shared<Field>(std::move(name), static_cast<short>(0), 0L);
    field->role_ = Field::Role::IndexField;
    return field;
}

}  // namespace actualiz::engine
