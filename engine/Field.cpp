#include "engine/Field.h"

#include "engine/EngineError.h"
#include "engine/FieldRules.h"
#include "engine/RecordsetState.h"
#include "engine/Schema.h"
#include "engine/TableDef.h"

namespace actualiz::engine {

Field::Field(std::string name, short type, long size)
    : name_(std::move(name)), type_(type), size_(size) {}

Field::Field(detail::FieldDefinition&& definition, Role role)
    : name_(std::move(definition.name)),
      type_(definition.type),
      size_(definition.size),
      allowZeroLength_(definition.allowZeroLength),
      required_(definition.required),
      foreignName_(std::move(definition.foreignName)),
      attributes_(definition.attributes),
      defaultValue_(std::move(definition.defaultValue)),
      validationRule_(std::move(definition.validationRule)),
      validationText_(std::move(definition.validationText)),
      ordinalPosition_(definition.ordinalPosition),
      role_(role) {}

bool Field::InStoredTable() const {
    return role_ == Role::TableField && table_.lock();
}

void Field::AttachToTable(std::weak_ptr<TableDef> table) {
    role_ = Role::TableField;
    table_ = std::move(table);
}

void Field::DetachFromTable() {
    table_.reset();
    role_ = Role::Free;
}

void Field::PrepareStorage(short ordinalPosition) {
    ordinalPosition_ = ordinalPosition;
    attributes_ = detail::NormalizedFieldAttributes(attributes_, type_);
}

void Field::Freeze() {
    frozen_ = true;
}

void Field::Freeze(std::string storedName) {
    name_ = std::move(storedName);
    frozen_ = true;
}

void Field::Freeze(std::string storedName, std::string storedForeignName) {
    foreignName_ = std::move(storedForeignName);
    Freeze(std::move(storedName));
}

void Field::Unfreeze() {
    frozen_ = false;
}

void Field::BindToRecordset(std::weak_ptr<detail::RecordsetState> state, int column) {
    role_ = Role::RecordsetField;
    recordset_ = std::move(state);
    column_ = column;
}

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
    if (InStoredTable()) throw MakeError(err::kInvalidOperation, name_);
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
