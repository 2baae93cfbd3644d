// Changing the rows of a record set: AddNew and Edit fill a buffer, Update checks the rules the
// engine keeps for a row and writes it, Delete removes the current row.

#include <algorithm>

#include "engine/EngineError.h"
#include "engine/Names.h"
#include "engine/Recordset.h"
#include "engine/RecordsetState.h"

namespace actualiz::engine {

void Recordset::AddNew() {
    auto& s = *state_;
    s.CheckOpen();
    if (!s.updatable) throw MakeError(err::kReadOnly, s.table);
    s.connection->CheckWritable(s.table);
    s.Count();  // the row ids as they were before the new row, which joins them at the end
    s.positionBeforeAdd = s.currentDeleted ? -2 : s.position;
    s.editMode = 2;
    s.buffer.assign(s.columns.size(), std::monostate{});
    s.dirty.assign(s.columns.size(), false);
    s.Notify();
}

void Recordset::Edit() {
    auto& s = *state_;
    s.CheckOpen();
    if (!s.updatable) throw MakeError(err::kReadOnly, s.table);
    if (s.currentDeleted) throw MakeError(err::kRecordDeleted);
    if (s.Bof() || s.Eof()) throw MakeError(err::kNoCurrentRecord);
    s.connection->CheckWritable(s.table);
    s.editMode = 1;
    const detail::RecordsetState::Row& current = s.RowAt(s.position);
    if (current.gone) throw MakeError(err::kRecordDeleted);
    s.buffer = current.values;
    s.dirty.assign(s.columns.size(), false);
}

namespace {

using detail::RecordsetState;

// The rules the engine keeps for the fields of a row it writes.
void CheckColumnRules(const RecordsetState& s) {
    for (std::size_t i = 0; i < s.columns.size(); ++i) {
        const auto& col = s.columns[i];
        const Value& v = s.buffer[i];
        // Left unset in a new row, the file numbers a counter or writes the default.
        if (IsNull(v) && s.editMode == 2 && (col.counter || (!s.dirty[i] && col.hasDefault)))
            continue;
        if (IsNull(v)) {
            if (std::find(s.primaryColumns.begin(), s.primaryColumns.end(), col.origin) !=
                s.primaryColumns.end())
                throw MakeError(err::kNullInIndex, s.table);
            if (col.required) throw MakeError(err::kFieldRequired, col.origin);
        } else if (auto* t = std::get_if<std::string>(&v)) {
            if (t->empty() && !col.allowZeroLength && (col.type == dbText || col.type == dbMemo))
                throw MakeError(err::kZeroLength, col.origin);
        }
    }
}

// A new row must also satisfy the fields of the table the set does not show.
void CheckHiddenRules(const RecordsetState& s) {
    for (const auto& rule : s.hiddenRules)
        if (rule.required) throw MakeError(err::kFieldRequired, rule.name);
    for (const auto& p : s.primaryColumns) {
        bool shown = false;
        for (const auto& col : s.columns)
            if (col.origin == p) shown = true;
        if (!shown) throw MakeError(err::kNullInIndex, s.table);
    }
}

std::vector<std::size_t> ChangedColumns(const RecordsetState& s) {
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < s.columns.size(); ++i)
        if (s.dirty[i]) changed.push_back(i);
    return changed;
}

// Writes the buffer as a new row; its row id.
long long InsertRow(const RecordsetState& s, const std::vector<std::size_t>& changed) {
    std::string sql = "INSERT INTO " + QuoteIdentifier(s.table);
    if (changed.empty()) {
        sql += " DEFAULT VALUES";
    } else {
        std::string names, marks;
        for (std::size_t i : changed) {
            if (!names.empty()) {
                names += ", ";
                marks += ", ";
            }
            names += QuoteIdentifier(s.columns[i].origin);
            marks += "?";
        }
        sql += " (" + names + ") VALUES (" + marks + ")";
    }
    detail::Statement st(*s.connection, sql, s.table);
    int k = 1;
    for (std::size_t i : changed) st.Bind(k++, s.buffer[i]);
    st.Run();
    return sqlite3_last_insert_rowid(s.connection->db());
}

// Writes the changed fields of the buffer into the current row; its row id.
long long UpdateRow(const RecordsetState& s, const std::vector<std::size_t>& changed) {
    const long long rowid = s.RowAt(s.position).rowid;
    if (changed.empty()) return rowid;
    std::string sets;
    for (std::size_t i : changed) {
        if (!sets.empty()) sets += ", ";
        sets += QuoteIdentifier(s.columns[i].origin) + " = ?";
    }
    detail::Statement st(
        *s.connection, "UPDATE " + QuoteIdentifier(s.table) + " SET " + sets + " WHERE _rowid_ = ?",
        s.table);
    int k = 1;
    for (std::size_t i : changed) st.Bind(k++, s.buffer[i]);
    st.Bind(k, rowid);
    st.Run();
    return rowid;
}

// The written row as the file now holds it takes its place in the set.
void PlaceWrittenRow(RecordsetState& s, long long rowid) {
    RecordsetState::Row row = s.ReadRow(rowid);
    if (s.editMode == 2) {
        long before = s.positionBeforeAdd;
        bool hadCurrent = before >= 0 && before < s.Count();
        s.Append(std::move(row));
        // The row that was current before AddNew is current again; with none, the new row is.
        s.position = hadCurrent ? before : s.Count() - 1;
        s.currentDeleted = false;
    } else {
        s.ReplaceAt(s.position, std::move(row));
    }
}

}  // namespace

void Recordset::Update() {
    auto& s = *state_;
    s.CheckOpen();
    if (s.editMode == 0) throw MakeError(err::kUpdateWithoutEdit);
    if (s.onBeforeUpdate) s.onBeforeUpdate();
    if (s.editMode == 0) throw MakeError(err::kUpdateWithoutEdit);
    s.connection->CheckWritable(s.table);

    CheckColumnRules(s);
    if (s.editMode == 2) CheckHiddenRules(s);
    const std::vector<std::size_t> changed = ChangedColumns(s);
    const long long rowid = s.editMode == 2 ? InsertRow(s, changed) : UpdateRow(s, changed);
    PlaceWrittenRow(s, rowid);
    s.LeaveEdit();
    s.Notify();
}

void Recordset::Delete() {
    auto& s = *state_;
    s.CheckOpen();
    if (!s.updatable) throw MakeError(err::kReadOnly, s.table);
    if (s.editMode != 0) s.LeaveEdit();
    if (s.currentDeleted) throw MakeError(err::kRecordDeleted);
    if (s.Bof() || s.Eof()) throw MakeError(err::kNoCurrentRecord);
    s.connection->CheckWritable(s.table);
    long long rowid = s.RowAt(s.position).rowid;
    detail::Statement st(*s.connection,
                         "DELETE FROM " + QuoteIdentifier(s.table) + " WHERE _rowid_ = ?", s.table);
    st.Bind(1, rowid);
    st.Run();
    s.EraseAt(s.position);
    s.currentDeleted = true;
    s.Notify();
}

void Recordset::CancelUpdate() {
    auto& s = *state_;
    s.CheckOpen();
    if (s.editMode == 0) throw MakeError(err::kUpdateWithoutEdit);
    s.LeaveEdit();
    s.Notify();
}

}  // namespace actualiz::engine
