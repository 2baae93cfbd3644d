#include "engine/Field.h"

#include "engine/EngineError.h"
#include "engine/RecordsetState.h"
#include "engine/Schema.h"
#include "engine/TableDef.h"

namespace actualiz::engine {

Field::Field(std::string name, short type, long size)
    : name_(std::move(name)), type_(type), size_(size) {}

void Field::CheckChangeable() const {
    if (frozen_ || role_ == Role::RecordsetField) throw MakeError(err::kInvalidOperation, name_);
}

void Field::SetAllowZeroLength(bool value) {
    CheckChangeable();
    if (role_ == Role::TableField) {
        if (auto table = table_.lock())
            detail::Schema::UpdateFieldFlags(*table, *this, value, required_);
    }
    allowZeroLength_ = value;
}

void Field::SetRequired(bool value) {
    CheckChangeable();
    if (role_ == Role::TableField) {
        if (auto table = table_.lock())
            detail::Schema::UpdateFieldFlags(*table, *this, allowZeroLength_, value);
    }
    required_ = value;
}

void Field::SetForeignName(std::string name) {
    CheckChangeable();
    foreignName_ = std::move(name);
}

void Field::CheckDefinable() const {
    CheckChangeable();
    if (role_ == Role::TableField && table_.lock()) throw MakeError(err::kInvalidOperation, name_);
}

void Field::SetAttributes(long value) {
    CheckDefinable();
    attributes_ = value;
}

void Field::SetDefaultValue(std::string value) {
    CheckDefinable();
    defaultValue_ = std::move(value);
}

void Field::SetValidationRule(std::string value) {
    CheckDefinable();
    validationRule_ = std::move(value);
}

void Field::SetValidationText(std::string value) {
    CheckDefinable();
    validationText_ = std::move(value);
}

void Field::SetOrdinalPosition(short value) {
    CheckDefinable();
    ordinalPosition_ = value;
}

Value Field::GetValue() const {
    if (role_ != Role::RecordsetField) throw MakeError(err::kInvalidOperation, name_);
    auto state = recordset_.lock();
    if (!state) throw MakeError(err::kObjectClosed);
    return state->Get(column_);
}

void Field::SetValue(Value value) {
    if (role_ != Role::RecordsetField) throw MakeError(err::kInvalidOperation, name_);
    auto state = recordset_.lock();
    if (!state) throw MakeError(err::kObjectClosed);
    state->Set(column_, std::move(value));
}

Collection<Field>::Hooks Field::DefinitionFieldHooks(const Collection<Field>& fields,
                                                     std::function<void()> checkChangeable,
                                                     Role role) {
    Collection<Field>::Hooks hooks;
    hooks.beforeAppend = [&fields, checkChangeable, role](const std::shared_ptr<Field>& field) {
        checkChangeable();
        CheckName(field->Name(), "campo");
        if (fields.Contains(field->Name())) throw MakeError(err::kFieldDefinedTwice, field->Name());
        field->role_ = role;
    };
    hooks.beforeDelete = [checkChangeable](const std::shared_ptr<Field>&) { checkChangeable(); };
    return hooks;
}

}  // namespace actualiz::engine
