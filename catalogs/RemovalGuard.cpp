#include "catalogs/RemovalGuard.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/Actualiz.h"
#include "catalogs/IndexCatalog.h"
#include "engine/Engine.h"
#include "engine/Integrity.h"
#include "engine/RecordsetValues.h"
#include "platform/FileSystem.h"

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

// The old database's folder must have room for the journal of the change (at most the old file)
// and for the indexes to come (at most the model file): an index removed and then not re-created
// for want of space would be lost.
void CheckRoomFor(const std::string& oldPath, const std::string& modelPath) {
    std::error_code ec;
    std::filesystem::path oldHost, modelHost;
    try {
        oldHost = platform::ToHostPath(oldPath);
        modelHost = platform::ToHostPath(modelPath);
    } catch (const Error&) {
        return;  // the steps themselves meet a path that cannot be mapped
    }
    const std::uintmax_t oldSize = std::filesystem::file_size(oldHost, ec);
    if (ec) return;
    const std::uintmax_t modelSize = std::filesystem::file_size(modelHost, ec);
    if (ec) return;
    const std::filesystem::space_info room = std::filesystem::space(oldHost.parent_path(), ec);
    if (ec) return;
    if (room.available < oldSize + modelSize) {
        Error full = platform::DiskFull(oldPath);
        full.SetFile(oldPath);
        throw full;
    }
}

// The old database's tables that hold an index: removing it reads them, re-creating it too.
std::vector<std::string> IndexedTables(const std::string& path) {
    std::vector<std::string> tables;
    std::shared_ptr<engine::Database> db = engine::OpenDatabase(path);
    for (const auto& table : db->TableDefs())
        if (table->Indexes().Count() > 0) tables.push_back(table->Name());
    db->Close();
    return tables;
}

// The tables of a database's relations, both sides: creating a relation reads their rows.
void AddRelationTables(const std::string& path, std::vector<std::string>& tables) {
    std::shared_ptr<engine::Database> db = engine::OpenDatabase(path);
    for (const auto& relation : db->Relations()) {
        tables.push_back(relation->Table());
        tables.push_back(relation->ForeignTable());
    }
    db->Close();
}

// A damaged old database stops the step; one that cannot even be opened, or a model that
// cannot, is left to the step's own first statement, which meets and reports it.
template <class Check>
void UnlessDamaged(Check&& check) {
    try {
        check();
    } catch (const Error& e) {
        if (e.number() == engine::err::kDatabaseDamaged) throw;
    }
}

}  // namespace

// The old database is checked where the change will read it: its schema and system tables, and
// the tables whose indexes go or come. A table the change never reads is not scanned, so that
// adding a field to a large table costs no more than to an empty one.
void CheckBeforeIndexRemoval(app::Actualiz& form) {
    const std::string model = form.Text3.Text();
    const std::string old = form.Text4.Text();
    std::vector<std::vector<std::string>> rows;
    AgainstFile(model, [&] { rows = ModelIndexRows(model); });
    AgainstFile(kIndexCatalogPath, [&] { CheckRowsFit(form.Data3.Database(), rows); });
    std::vector<std::string> tables = IndexedTables(old);
    for (const auto& row : rows) tables.push_back(row[1]);
    engine::CheckUndamaged(old, tables);
    CheckRoomFor(old, model);
}

void CheckBeforeRelationRemoval(const app::Actualiz& form) {
    UnlessDamaged([&] {
        std::vector<std::string> tables;
        AddRelationTables(form.Text4.Text(), tables);
        UnlessDamaged([&] { AddRelationTables(form.Text3.Text(), tables); });
        engine::CheckUndamaged(form.Text4.Text(), tables);
    });
}

void CheckBeforeQueryRemoval(const app::Actualiz& form) {
    UnlessDamaged([&] { engine::CheckUndamaged(form.Text4.Text(), {}); });
}

}  // namespace actualiz::catalogs
