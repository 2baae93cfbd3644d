#include "app/Controls.h"
#include "app/ErrorModes.h"
#include "engine/Engine.h"

namespace actualiz::app {

DataControl::DataControl(const ControlDesign& design)
    : Control(design), databaseName_(design.databaseName), recordSource_(design.recordSource) {}

DataControl::~DataControl() = default;

void DataControl::Bind(TextBox& box, std::string field) {
    bindings_.push_back({&box, std::move(field)});
}

void DataControl::Refresh() {
    // Open first, swap in after: a refresh that fails leaves the previous record set in place.
    std::shared_ptr<engine::Database> database = engine::OpenDatabase(databaseName_);
    std::shared_ptr<engine::Recordset> recordset = database->OpenRecordset(recordSource_);
    recordset_ = std::move(recordset);
    database_ = std::move(database);
    InstallHooks();
    // A freshly opened set already stands on its first row (or on nothing when empty).
    ShowCurrentRow();
}

engine::Recordset& DataControl::Recordset() const {
    return Require(recordset_);
}

engine::Database& DataControl::Database() const {
    return Require(database_);
}

void DataControl::UpdateRecord() {
    engine::Recordset& recordset = Recordset();
    if (recordset.EditMode() == 0) recordset.Edit();
    recordset.Update();
}

void DataControl::Close() {
    if (recordset_) recordset_->Close();
    recordset_.reset();
    database_.reset();
}

void DataControl::InstallHooks() {
    recordset_->OnCurrentChanged([this] { ShowCurrentRow(); });
    recordset_->OnBeforeUpdate([this] { WriteBoundFields(); });
}

void DataControl::ShowCurrentRow() {
    // Without bound boxes there is nothing to show, and the rows need not be read at all (a field
    // listing only wants the shape of the set).
    if (!recordset_ || bindings_.empty()) return;
    engine::Recordset& recordset = *recordset_;
    // A new row shows empty boxes; so does a set with no current row.
    bool noRow = recordset.EditMode() == 2 || recordset.BOF() || recordset.Eof();
    for (const Binding& binding : bindings_) {
        if (noRow) {
            binding.box->ShowValue("");
            continue;
        }
        if (!recordset.Fields().Contains(binding.field)) {
            binding.box->ShowValue("");
            continue;
        }
        try {
            binding.box->ShowValue(recordset.Fields()[binding.field]->Text());
        } catch (const Error&) {
            // A deleted row stays current until the next move; its fields cannot be read, and
            // the boxes keep showing what they showed.
        }
    }
}

void DataControl::WriteBoundFields() {
    if (!recordset_ || recordset_->EditMode() == 0) return;
    engine::Recordset& recordset = *recordset_;
    for (const Binding& binding : bindings_) {
        if (!binding.box->DataChanged()) continue;
        recordset.Fields()[binding.field]->SetValue(engine::Value(binding.box->Text()));
    }
}

}  // namespace actualiz::app
