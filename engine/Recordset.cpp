#include "engine/Recordset.h"

#include <algorithm>

#include "engine/EngineError.h"
#include "engine/Names.h"
#include "engine/RecordsetState.h"
#include "engine/RecordsetValues.h"

namespace actualiz::engine {

namespace detail {

bool RecordsetState::Bof() const {
    if (currentDeleted) return false;
    return Count() == 0 || position < 0;
}

bool RecordsetState::Eof() const {
    if (currentDeleted) return false;
    const long count = Count();
    return count == 0 || position >= count;
}

void RecordsetState::CheckOpen() const {
    if (closed) throw MakeError(err::kObjectClosed);
}

Value RecordsetState::Get(int column) const {
    CheckOpen();
    if (editMode != 0) return buffer[static_cast<std::size_t>(column)];
    if (currentDeleted) throw MakeError(err::kRecordDeleted);
    if (Bof() || Eof()) throw MakeError(err::kNoCurrentRecord);
    const Row& row = RowAt(position);
    if (row.gone) throw MakeError(err::kRecordDeleted);
    return row.values[static_cast<std::size_t>(column)];
}

void RecordsetState::Set(int column, Value value) {
    CheckOpen();
    if (editMode == 0) throw MakeError(err::kUpdateWithoutEdit);
    const Column& c = columns[static_cast<std::size_t>(column)];
    buffer[static_cast<std::size_t>(column)] = ConvertForField(value, c.type, c.size, c.name);
    dirty[static_cast<std::size_t>(column)] = true;
}

void RecordsetState::Notify() const {
    if (onCurrentChanged) onCurrentChanged();
}

void RecordsetState::LeaveEdit() {
    editMode = 0;
    buffer.clear();
    dirty.clear();
}

RecordsetState::Row RecordsetState::ReadRow(long long rowid) const {
    Statement s(*connection,
                "SELECT " + ColumnList() + " FROM " + QuoteIdentifier(table) + " WHERE _rowid_ = ?",
                table);
    s.Bind(1, rowid);
    Row row;
    row.rowid = rowid;
    if (s.Step()) {
        row.values = ColumnValues(s.get(), 0);
    } else {
        row.values = buffer;
    }
    return row;
}

}  // namespace detail

Recordset::Recordset(std::shared_ptr<detail::RecordsetState> state) : state_(std::move(state)) {}

Recordset::~Recordset() = default;

bool Recordset::BOF() const {
    state_->CheckOpen();
    return state_->Bof();
}

bool Recordset::Eof() const {
    state_->CheckOpen();
    return state_->Eof();
}

namespace {

void BeforeMove(detail::RecordsetState& s) {
    s.CheckOpen();
    if (s.Bof() && s.Eof()) throw MakeError(err::kNoCurrentRecord);
    // Moving away abandons a pending AddNew or Edit, as in the classic engine.
    s.LeaveEdit();
}

}  // namespace

void Recordset::MoveFirst() {
    auto& s = *state_;
    s.CheckOpen();
    if (s.Count() == 0) throw MakeError(err::kNoCurrentRecord);
    s.LeaveEdit();
    s.currentDeleted = false;
    s.position = 0;
    s.Notify();
}

void Recordset::MoveLast() {
    auto& s = *state_;
    s.CheckOpen();
    if (s.Count() == 0) throw MakeError(err::kNoCurrentRecord);
    s.LeaveEdit();
    s.currentDeleted = false;
    s.position = s.Count() - 1;
    s.Notify();
}

void Recordset::MoveNext() {
    auto& s = *state_;
    BeforeMove(s);
    if (s.currentDeleted) {
        // The deleted row is gone from the set: the next row already stands at its position.
        s.currentDeleted = false;
    } else {
        if (s.Eof()) throw MakeError(err::kNoCurrentRecord);
        ++s.position;
    }
    s.position = std::min<long>(s.position, s.Count());
    s.Notify();
}

void Recordset::MovePrevious() {
    auto& s = *state_;
    BeforeMove(s);
    if (s.currentDeleted) {
        s.currentDeleted = false;
    } else if (s.Bof()) {
        throw MakeError(err::kNoCurrentRecord);
    }
    --s.position;
    s.position = std::max<long>(s.position, -1);
    s.Notify();
}
long Recordset::RecordCount() const {
    state_->CheckOpen();
    return state_->Count();
}

Collection<Field>& Recordset::Fields() {
    state_->CheckOpen();
    return state_->fields;
}

bool Recordset::Updatable() const {
    state_->CheckOpen();
    return state_->updatable && !state_->connection->ReadOnly();
}

int Recordset::EditMode() const {
    return state_->editMode;
}

void Recordset::Close() {
    state_->closed = true;
    state_->Release();
}

void Recordset::OnCurrentChanged(std::function<void()> callback) {
    state_->onCurrentChanged = std::move(callback);
}

void Recordset::OnBeforeUpdate(std::function<void()> callback) {
    state_->onBeforeUpdate = std::move(callback);
}

}  // namespace actualiz::engine
