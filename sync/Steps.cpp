#include "sync/Steps.h"

#include <cctype>

#include "engine/EngineError.h"

namespace actualiz::sync {

std::string SelectAllFrom(std::string_view table) {
    return "Select * from [" + std::string(table) + "]";
}

std::shared_ptr<engine::TableDef> FindTable(engine::Database& db, const std::string& name) {
    int i = db.TableDefs().Find(name);
    return i < 0 ? nullptr : db.TableDefs()[i];
}

bool TableHasRows(engine::Database& db, const std::string& table) {
    auto rs = db.OpenRecordset("Select top 1 * from [" + table + "]");
    const bool rows = !(rs->BOF() && rs->Eof());
    rs->Close();
    return rows;
}

void CarryFieldProperties(const engine::Field& model, engine::Field& field, bool tableHasRows) {
    if (model.Type() == field.Type() && (model.Attributes() & engine::dbAutoIncrField))
        field.SetAttributes(model.Attributes());
    field.SetDefaultValue(model.DefaultValue());
    field.SetValidationRule(model.ValidationRule());
    field.SetValidationText(model.ValidationText());
    if (model.Required() && !tableHasRows) field.SetRequired(true);
}

void CarryTableProperties(const engine::TableDef& model, engine::TableDef& table) {
    table.SetValidationRule(model.ValidationRule());
    table.SetValidationText(model.ValidationText());
    for (const auto& ix : model.Indexes()) {
        if (!ix->Primary()) continue;
        auto key = table.CreateIndex(ix->Name());
        for (const auto& f : ix->Fields()) {
            auto kf = key->CreateField(f->Name());
            kf->SetAttributes(f->Attributes());
            key->Fields().Append(kf);
        }
        key->SetPrimary(true);
        key->SetUnique(ix->Unique());
        key->SetIgnoreNulls(ix->IgnoreNulls());
        key->SetRequired(ix->Required());
        table.Indexes().Append(key);
    }
}

long ListNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

bool AlreadyExists(const Error& error) {
    switch (error.number()) {
        case engine::err::kTableExists:        // a table of that name
        case engine::err::kObjectExists:       // any other object of that name
        case engine::err::kFieldDefinedTwice:  // a field of that name in the table
            return true;
        default:
            return false;
    }
}

void OpenListing(app::DataControl& data) {
    data.Close();
    data.Refresh();
}

}  // namespace actualiz::sync
