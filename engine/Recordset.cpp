#include "engine/Recordset.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "engine/ClassicDates.h"
#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/FieldRules.h"
#include "engine/Names.h"
#include "engine/RecordsetState.h"
#include "engine/Schema.h"
#include "engine/SqlDialect.h"

namespace actualiz::engine {

namespace detail {

namespace {

std::string Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A number written as a person would type it: "12", "-3.5", "2,5" (decimal comma when there is
// no point).
bool ParseNumber(const std::string& text, double& out) {
    std::string s = text;
    if (s.find('.') == std::string::npos && std::count(s.begin(), s.end(), ',') == 1)
        std::replace(s.begin(), s.end(), ',', '.');
    if (!s.empty() && s[0] == '+') s.erase(0, 1);
    auto result = std::from_chars(s.data(), s.data() + s.size(), out);
    return result.ec == std::errc() && result.ptr == s.data() + s.size() && !s.empty();
}

std::size_t CharacterCount(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

bool IsIntegerType(short type) {
    return type == dbByte || type == dbInteger || type == dbLong;
}
bool IsRealType(short type) {
    return type == dbCurrency || type == dbSingle || type == dbDouble || type == dbDecimal;
}

Value ToInteger(double d, short type, const std::string& fieldName) {
    double r = std::nearbyint(d);
    double lo = type == dbByte ? 0 : type == dbInteger ? -32768.0 : -2147483648.0;
    double hi = type == dbByte ? 255 : type == dbInteger ? 32767.0 : 2147483647.0;
    if (!(r >= lo && r <= hi)) throw MakeError(err::kConversion, fieldName);
    return static_cast<long long>(r);
}

}  // namespace

Value ConvertForField(const Value& value, short type, long size, const std::string& fieldName) {
    if (IsNull(value)) return value;
    const auto* text = std::get_if<std::string>(&value);
    const auto* integer = std::get_if<long long>(&value);
    const auto* real = std::get_if<double>(&value);
    const auto* blob = std::get_if<std::vector<unsigned char>>(&value);
    if (type == dbBoolean) {
        if (integer) return *integer != 0 ? -1LL : 0LL;
        if (real) return *real != 0 ? -1LL : 0LL;
        if (text) {
            std::string t = Lower(Trim(*text));
            if (t.empty()) return std::monostate{};
            if (t == "true" || t == "verdadero" || t == "sí" || t == "si" || t == "yes" ||
                t == "on")
                return -1LL;
            if (t == "false" || t == "falso" || t == "no" || t == "off") return 0LL;
            double d = 0;
            if (ParseNumber(t, d)) return d != 0 ? -1LL : 0LL;
        }
        throw MakeError(err::kConversion, fieldName);
    }
    if (IsIntegerType(type) || IsRealType(type)) {
        double d = 0;
        if (integer) {
            if (IsRealType(type)) return static_cast<double>(*integer);
            return ToInteger(static_cast<double>(*integer), type, fieldName);
        }
        if (real) {
            d = *real;
        } else if (text) {
            std::string t = Trim(*text);
            if (t.empty()) return std::monostate{};
            if (!ParseNumber(t, d)) throw MakeError(err::kConversion, fieldName);
        } else {
            throw MakeError(err::kConversion, fieldName);
        }
        if (IsRealType(type)) {
            if (type == dbSingle) return static_cast<double>(static_cast<float>(d));
            return d;
        }
        return ToInteger(d, type, fieldName);
    }
    if (type == dbDate) {
        if (text) {
            std::string t = Trim(*text);
            if (t.empty()) return std::monostate{};
            // Stored in the one form every query compares against; a text typed as a date reads
            // day first, as the regional settings of this program do, and one that is no date is
            // refused instead of being kept as text in a date field.
            std::optional<ClassicDate> date = ParseClassicDate(t, false);
            if (!date) throw MakeError(err::kConversion, fieldName);
            return StoredDateText(*date);
        }
        if (blob) throw MakeError(err::kConversion, fieldName);
        return value;
    }
    if (type == dbBinary || type == dbLongBinary) {
        std::vector<unsigned char> bytes;
        if (blob) {
            bytes = *blob;
        } else {
            std::string t = ValueToText(value);
            bytes.assign(t.begin(), t.end());
        }
        if (type == dbBinary && size > 0 && static_cast<long>(bytes.size()) > size)
            throw MakeError(err::kFieldTooSmall, fieldName);
        return bytes;
    }
    // Text, Memo, GUID.
    std::string t = ValueToText(value);
    if (type == dbText && size > 0 && static_cast<long>(CharacterCount(t)) > size)
        throw MakeError(err::kFieldTooSmall, fieldName);
    return t;
}

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

RecordsetState::Row RecordsetState::ReadRow(long long rowid) const {
    Statement s(*connection,
                "SELECT " + ColumnList() + " FROM " + QuoteIdentifier(table) + " WHERE _rowid_ = ?",
                table);
    s.Bind(1, rowid);
    Row row;
    row.rowid = rowid;
    if (s.Step()) {
        for (int i = 0; i < s.ColumnCount(); ++i) row.values.push_back(s.Column(i));
    } else {
        row.values = buffer;
    }
    return row;
}

namespace {

// Record sources may only read: no PRAGMA, ATTACH, writes or anything else reaching past the
// statement the caller gave.
int ReadOnlyAuthorizer(void*, int action, const char*, const char*, const char*, const char*) {
    switch (action) {
        case SQLITE_SELECT:
        case SQLITE_READ:
        case SQLITE_FUNCTION:
        case SQLITE_RECURSIVE:
            return SQLITE_OK;
        default:
            return SQLITE_DENY;
    }
}

short TypeFromDeclared(const char* declared, const Value& sample) {
    std::string d = declared ? declared : "";
    for (char& c : d) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (d.find("INT") != std::string::npos) return dbLong;
    if (d.find("CHAR") != std::string::npos || d.find("TEXT") != std::string::npos) return dbText;
    if (d.find("FLOA") != std::string::npos || d.find("DOUB") != std::string::npos ||
        d.find("REAL") != std::string::npos)
        return dbDouble;
    if (d.find("BLOB") != std::string::npos) return dbLongBinary;
    if (std::holds_alternative<long long>(sample)) return dbLong;
    if (std::holds_alternative<double>(sample)) return dbDouble;
    if (std::holds_alternative<std::vector<unsigned char>>(sample)) return dbLongBinary;
    return dbText;
}

}  // namespace

bool RecordsetState::DescribeColumns(sqlite3_stmt* stmt, int offset, Collection<TableDef>& tables,
                                     const TableDef* source) {
    bool plain = source != nullptr;
    const int count = sqlite3_column_count(stmt);
    for (int i = offset; i < count; ++i) {
        Column col;
        col.name = sqlite3_column_name(stmt, i);
        const char* originTable = sqlite3_column_table_name(stmt, i);
        const char* originColumn = sqlite3_column_origin_name(stmt, i);
        std::shared_ptr<Field> tableField;
        if (originTable && originColumn) {
            int oti = tables.Find(originTable);
            if (oti >= 0) {
                int fi = tables[oti]->Fields().Find(originColumn);
                if (fi >= 0) tableField = tables[oti]->Fields()[fi];
            }
        }
        if (!source || !originTable || !SameName(originTable, source->Name()) || !tableField)
            plain = false;
        if (tableField) {
            col.origin = tableField->Name();
            col.type = tableField->Type();
            col.size = tableField->Size();
            col.allowZeroLength = tableField->AllowZeroLength();
            col.required = tableField->Required();
            col.counter = (tableField->Attributes() & dbAutoIncrField) != 0;
            col.hasDefault = SqliteDefault(tableField->DefaultValue()).has_value();
        } else {
            col.type = -1;  // decided from the declared type or the first value
        }
        columns.push_back(col);
    }
    return plain;
}

short RecordsetState::ComputedType(sqlite3_stmt* stmt, int column, int offset) const {
    Value sample;
    for (const auto& row : rows) {
        const Value& v = row.values[static_cast<std::size_t>(column - offset)];
        if (!IsNull(v)) {
            sample = v;
            break;
        }
    }
    return TypeFromDeclared(sqlite3_column_decltype(stmt, column), sample);
}

void RecordsetState::LearnWriteRules(const TableDef& source) {
    for (const auto& f : source.Fields()) {
        bool shown = false;
        for (const auto& col : columns)
            if (col.origin == f->Name()) shown = true;
        const bool filled = (f->Attributes() & dbAutoIncrField) != 0 ||
                            SqliteDefault(f->DefaultValue()).has_value();
        if (!shown && f->Required() && !filled) hiddenRules.push_back({f->Name(), true, false});
    }
    for (const auto& ix : source.Indexes())
        if (ix->Primary() || ix->Required())
            for (const auto& f : ix->Fields()) {
                int fi = source.Fields().Find(f->Name());
                if (fi >= 0 && (source.Fields()[fi]->Attributes() & dbAutoIncrField)) continue;
                primaryColumns.push_back(f->Name());
            }
}

void RecordsetState::MakeFields(const std::shared_ptr<RecordsetState>& self) {
    int column = 0;
    for (const auto& col : columns) {
        auto f = std::make_shared<Field>(col.name, col.type, col.size);
        f->allowZeroLength_ = col.allowZeroLength;
        f->required_ = col.required;
        f->role_ = Field::Role::RecordsetField;
        f->recordset_ = self;
        f->column_ = column++;
        fields.Insert(f);
    }
}

}  // namespace detail

std::unique_ptr<Recordset> Database::OpenRecordset(std::string_view source) {
    return OpenRecordset(source, {});
}

std::unique_ptr<Recordset> Database::OpenRecordset(std::string_view source,
                                                   const detail::ParameterValues& parameters) {
    detail::Connection& c = Conn();
    // A data control may keep its database open while another connection changes the tables it
    // shows: the set must see the fields as they are now.
    RefreshIfChangedElsewhere();
    std::string text = detail::Trim(source);
    if (text.empty()) throw MakeError(err::kInvalidSql);

    detail::TranslatedSelect select;
    int ti = tableDefs_.Find(text);
    int qi = ti < 0 ? queryDefs_.Find(text) : -1;
    if (ti >= 0) {
        std::string table = tableDefs_[ti]->Name();
        select.sql = "SELECT * FROM " + QuoteIdentifier(table);
        select.singleTable = table;
        select.sqlWithRowId =
            "SELECT " + QuoteIdentifier(table) + "._rowid_, * FROM " + QuoteIdentifier(table);
    } else if (qi >= 0) {
        select = detail::TranslateSelect(queryDefs_[qi]->SQL(), *this, parameters);
    } else {
        select = detail::TranslateSelect(text, *this, parameters);
    }

    std::shared_ptr<TableDef> table;
    if (!select.singleTable.empty()) table = tableDefs_[select.singleTable];
    // Plain columns of one table are reached by row id: such a set reads its rows on demand, and
    // is updatable unless the file or the table may not be written.
    bool tryKeyed = table && !table->Fields().Contains("_rowid_");
    const std::string& sql = tryKeyed ? select.sqlWithRowId : select.sql;

    auto state = std::make_shared<detail::RecordsetState>();
    state->connection = connection_;
    sqlite3_stmt* raw = nullptr;
    sqlite3_set_authorizer(c.db(), detail::ReadOnlyAuthorizer, nullptr);
    int rc = sqlite3_prepare_v2(c.db(), sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
    sqlite3_set_authorizer(c.db(), nullptr, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
    if (rc == SQLITE_AUTH) throw MakeError(err::kInvalidOperation, text);
    if (rc != SQLITE_OK) detail::ThrowSqlite(c.db(), rc, text);
    if (!stmt || !sqlite3_stmt_readonly(stmt.get())) throw MakeError(err::kInvalidOperation, text);
    for (std::size_t p = 0; p < select.parameters.size(); ++p) {
        state->parameterValues.push_back(detail::ParameterValue(select, p, parameters));
        int bound =
            detail::BindValue(stmt.get(), static_cast<int>(p + 1), state->parameterValues.back());
        if (bound != SQLITE_OK) detail::ThrowSqlite(c.db(), bound, text);
    }

    const int offset = tryKeyed ? 1 : 0;
    const int count = sqlite3_column_count(stmt.get());
    const bool keyed =
        state->DescribeColumns(stmt.get(), offset, tableDefs_, table.get()) && tryKeyed;
    const bool updatable = keyed && !c.ReadOnly() && !detail::Schema::IsEngineTable(table->Name());
    if (keyed) {
        // Only the shape is read now; the rows come when the set is first asked about them.
        state->keyed = true;
        state->keyedSql = sql;
    } else {
        state->rows = detail::ReadAllRows(stmt.get(), offset, text);
    }
    for (int i = offset; i < count; ++i) {
        auto& col = state->columns[static_cast<std::size_t>(i - offset)];
        if (col.type != -1) continue;
        col.type = state->ComputedType(stmt.get(), i, offset);
        col.size = FixedSize(col.type).value_or(255);
    }
    stmt.reset();

    state->updatable = updatable;
    if (keyed) state->table = table->Name();
    if (updatable) state->LearnWriteRules(*table);
    state->MakeFields(state);
    state->position = 0;
    return std::unique_ptr<Recordset>(new Recordset(state));
}

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

void LeaveEdit(detail::RecordsetState& s) {
    s.editMode = 0;
    s.buffer.clear();
    s.dirty.clear();
}

void BeforeMove(detail::RecordsetState& s) {
    s.CheckOpen();
    if (s.Bof() && s.Eof()) throw MakeError(err::kNoCurrentRecord);
    // Moving away abandons a pending AddNew or Edit, as in the classic engine.
    LeaveEdit(s);
}

}  // namespace

void Recordset::MoveFirst() {
    auto& s = *state_;
    s.CheckOpen();
    if (s.Count() == 0) throw MakeError(err::kNoCurrentRecord);
    LeaveEdit(s);
    s.currentDeleted = false;
    s.position = 0;
    s.Notify();
}

void Recordset::MoveLast() {
    auto& s = *state_;
    s.CheckOpen();
    if (s.Count() == 0) throw MakeError(err::kNoCurrentRecord);
    LeaveEdit(s);
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

void Recordset::Update() {
    auto& s = *state_;
    s.CheckOpen();
    if (s.editMode == 0) throw MakeError(err::kUpdateWithoutEdit);
    if (s.onBeforeUpdate) s.onBeforeUpdate();
    if (s.editMode == 0) throw MakeError(err::kUpdateWithoutEdit);
    s.connection->CheckWritable(s.table);

    // The rules the engine keeps for rows it writes.
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
    if (s.editMode == 2) {
        for (const auto& rule : s.hiddenRules)
            if (rule.required) throw MakeError(err::kFieldRequired, rule.name);
        for (const auto& p : s.primaryColumns) {
            bool shown = false;
            for (const auto& col : s.columns)
                if (col.origin == p) shown = true;
            if (!shown) throw MakeError(err::kNullInIndex, s.table);
        }
    }

    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < s.columns.size(); ++i)
        if (s.dirty[i]) changed.push_back(i);
    long long rowid = 0;
    if (s.editMode == 2) {
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
        rowid = sqlite3_last_insert_rowid(s.connection->db());
    } else {
        rowid = s.RowAt(s.position).rowid;
        if (!changed.empty()) {
            std::string sets;
            for (std::size_t i : changed) {
                if (!sets.empty()) sets += ", ";
                sets += QuoteIdentifier(s.columns[i].origin) + " = ?";
            }
            detail::Statement st(
                *s.connection,
                "UPDATE " + QuoteIdentifier(s.table) + " SET " + sets + " WHERE _rowid_ = ?",
                s.table);
            int k = 1;
            for (std::size_t i : changed) st.Bind(k++, s.buffer[i]);
            st.Bind(k, rowid);
            st.Run();
        }
    }
    detail::RecordsetState::Row row = s.ReadRow(rowid);
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
    LeaveEdit(s);
    s.Notify();
}

void Recordset::Delete() {
    auto& s = *state_;
    s.CheckOpen();
    if (!s.updatable) throw MakeError(err::kReadOnly, s.table);
    if (s.editMode != 0) LeaveEdit(s);
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
    LeaveEdit(s);
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
