#include "engine/TableDef.h"

#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/FieldRules.h"
#include "engine/Names.h"
#include "engine/Schema.h"

namespace actualiz::engine {

TableDef::TableDef(std::string name) : name_(std::move(name)) {
    WireCollections();
}

void TableDef::WireCollections() {
    Collection<Field>::Hooks fieldHooks;
    fieldHooks.beforeAppend = [this](const std::shared_ptr<Field>& field) {
        CheckName(field->Name(), "campo");
        if (!IsKnownType(field->Type())) throw MakeError(err::kInvalidType, field->Name());
        if (field->InStoredTable()) throw MakeError(err::kInvalidOperation, field->Name());
        if (fields_.Contains(field->Name()))
            throw MakeError(err::kFieldDefinedTwice, field->Name());
        detail::Schema::AppendField(*this, field);
        field->AttachToTable(stored_ ? weak_from_this() : std::weak_ptr<TableDef>());
    };
    fieldHooks.beforeDelete = [this](const std::shared_ptr<Field>& field) {
        detail::Schema::DeleteField(*this, field);
    };
    fields_.SetHooks(std::move(fieldHooks));

    Collection<Index>::Hooks indexHooks;
    indexHooks.beforeAppend = [this](const std::shared_ptr<Index>& index) {
        CheckName(index->Name(), "índice");
        if (index->Stored()) throw MakeError(err::kIndexExists, index->Name());
        if (indexes_.Contains(index->Name())) throw MakeError(err::kIndexExists, index->Name());
        if (index->Fields().Count() == 0) throw MakeError(err::kNoFields, index->Name());
        if (index->Primary())
            for (const auto& other : indexes_)
                if (other->Primary()) throw MakeError(err::kPrimaryKeyExists, name_);
        detail::Schema::AppendIndex(*this, index);
    };
    indexHooks.beforeDelete = [this](const std::shared_ptr<Index>& index) {
        detail::Schema::DeleteIndex(*this, index);
    };
    indexes_.SetHooks(std::move(indexHooks));
}

void TableDef::MarkStored(std::weak_ptr<Database> database) {
    stored_ = true;
    database_ = std::move(database);
}

void TableDef::MarkUnstored() {
    stored_ = false;
    database_.reset();
}

std::shared_ptr<Database> TableDef::StoredIn() const {
    if (!stored_) return nullptr;
    auto database = database_.lock();
    if (!database) throw MakeError(err::kObjectClosed);
    return database;
}

void TableDef::DeferDetails(std::function<void(TableDef&)> fill) {
    pendingDetails_ = std::move(fill);
}

void TableDef::FillDetails() const {
    // Taken out first: filling goes through Fields() and Indexes() itself. A table is only ever
    // made by make_shared, never const itself.
    std::function<void(TableDef&)> fill = std::move(pendingDetails_);
    pendingDetails_ = nullptr;
    fill(const_cast<TableDef&>(*this));
}

bool TableDef::Updatable() const {
    if (!stored_) return true;
    auto database = database_.lock();
    if (!database || !database->IsOpen()) return false;
    return database->Updatable() && !detail::Schema::IsEngineTable(name_);
}

void TableDef::SetValidationRule(std::string value) {
    if (stored_) throw MakeError(err::kInvalidOperation, name_);
    validationRule_ = std::move(value);
}

void TableDef::SetValidationText(std::string value) {
    if (stored_) throw MakeError(err::kInvalidOperation, name_);
    validationText_ = std::move(value);
}

std::shared_ptr<Field> TableDef::CreateField(std::string name, short type,
                                             std::optional<long> size) {
    CheckName(name, "campo");
    if (!IsKnownType(type)) throw MakeError(err::kInvalidType, name);
    long actual = 0;
    if (auto fixed = FixedSize(type)) {
        actual = *fixed;  // a size given for a fixed-size type is ignored
    } else {
        actual = size.value_or(255);
        if (actual < 1 || actual > 255) throw MakeError(err::kInvalidArgument, name);
    }
    detail::FieldDefinition definition{.name = std::move(name), .type = type, .size = actual};
    definition.attributes = detail::DefaultFieldAttributes(type);
    return std::make_shared<Field>(std::move(definition), Field::Role::Free);
}

std::shared_ptr<Index> TableDef::CreateIndex(std::string name) {
    CheckName(name, "índice");
    return std::make_shared<Index>(std::move(name));
}

}  // namespace actualiz::engine
