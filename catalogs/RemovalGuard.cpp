#include "catalogs/RemovalGuard.h"

#include <memory>
#include <string>
#include <vector>

#include "app/Actualiz.h"
#include "catalogs/IndexCatalog.h"
#include "engine/Engine.h"
#include "engine/Integrity.h"
#include "engine/RecordsetState.h"

namespace actualiz::catalogs {

namespace {

// A failure found while reading one file is that file's, unless it already names another.
template <class Step>
void AgainstFile(const std::string& file, Step&& step) {
    try {
        step();
    } catch (Error& e) {
        if (e.file().empty()) e.SetFile(file);
        throw;
    }
}

// The rows the model's listing will write into the index catalog, field by field in the order
// of the catalog's bound text boxes.
std::vector<std::vector<std::string>> ModelIndexRows(const std::string& modelPath) {
    std::vector<std::vector<std::string>> rows;
    std::shared_ptr<engine::Database> model = engine::OpenDatabase(modelPath);
    for (const auto& table : model->TableDefs()) {
        if (engine::IsSystemName(table->Name())) continue;
        for (const auto& index : table->Indexes())
            for (const auto& field : index->Fields())
                rows.push_back(
                    {index->Name(), table->Name(), field->Name(), UniqueText(index->Unique())});
    }
    model->Close();
    return rows;
}

// Every row must fit the catalog table's fields the way a saved row is held to them.
void CheckRowsFit(engine::Database& catalog, const std::vector<std::vector<std::string>>& rows) {
    if (!catalog.Updatable()) throw engine::MakeError(engine::err::kReadOnly, kIndexTable);
    std::shared_ptr<engine::TableDef> table = catalog.TableDefs()[kIndexTable];
    const char* const names[] = {kIndexNameField, kIndexTableField, kIndexFieldField,
                                 kIndexUniqueField};
    std::vector<std::shared_ptr<engine::Field>> fields;
    for (const char* name : names) fields.push_back(table->Fields()[name]);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < fields.size(); ++i)
            engine::detail::ConvertForField(engine::Value(row[i]), fields[i]->Type(),
                                            fields[i]->Size(), fields[i]->Name());
}

}  // namespace

void CheckBeforeIndexRemoval(app::Actualiz& form) {
    const std::string model = form.Text3.Text();
    std::vector<std::vector<std::string>> rows;
    AgainstFile(model, [&] { rows = ModelIndexRows(model); });
    AgainstFile(kIndexCatalogPath, [&] { CheckRowsFit(form.Data3.Database(), rows); });
    engine::CheckUndamaged(form.Text4.Text());
}

void CheckOldUndamaged(const app::Actualiz& form) {
    try {
        engine::CheckUndamaged(form.Text4.Text());
    } catch (const Error& e) {
        if (e.number() == engine::err::kDatabaseDamaged) throw;
    }
}

}  // namespace actualiz::catalogs
