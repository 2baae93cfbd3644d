#include "engine/Index.h"

#include "engine/EngineError.h"
#include "engine/Names.h"

namespace actualiz::engine {

Index::Index(std::string name) : name_(std::move(name)) {
    fields_.SetHooks(Field::DefinitionFieldHooks(
        fields_, [this] { CheckChangeable(); }, Field::Role::IndexField));
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

void Index::SetRequired(bool value) {
    CheckChangeable();
    required_ = value;
}

std::shared_ptr<Field> Index::CreateField(std::string name) {
    CheckName(name, "campo");
    return std::make_shared<Field>(detail::FieldDefinition{.name = std::move(name)},
                                   Field::Role::IndexField);
}

}  // namespace actualiz::engine
