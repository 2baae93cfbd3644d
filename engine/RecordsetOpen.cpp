// Opening a record set: its source resolved and translated, its statement prepared read-only, its
// columns described, and its rows read now or on demand.

#include <memory>

#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/FieldRules.h"
#include "engine/Names.h"
#include "engine/RecordsetState.h"
#include "engine/RecordsetValues.h"
#include "engine/Schema.h"
#include "engine/SqlDialect.h"

namespace actualiz::engine {

namespace detail {

namespace {

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
        auto f = std::make_shared<Field>(FieldDefinition{.name = col.name,
                                                         .type = col.type,
                                                         .size = col.size,
                                                         .allowZeroLength = col.allowZeroLength,
                                                         .required = col.required},
                                         Field::Role::RecordsetField);
        f->BindToRecordset(self, column++);
        fields.Insert(std::move(f));
    }
}

namespace {

// The statement a source stands for: the rows of a table, of a stored query, or of one SELECT.
TranslatedSelect SourceSelect(Database& database, const std::string& text,
                              const ParameterValues& parameters) {
    Collection<TableDef>& tables = database.TableDefs();
    Collection<QueryDef>& queries = database.QueryDefs();
    TranslatedSelect select;
    int ti = tables.Find(text);
    int qi = ti < 0 ? queries.Find(text) : -1;
    if (ti >= 0) {
        std::string table = tables[ti]->Name();
        select.sql = "SELECT * FROM " + QuoteIdentifier(table);
        select.singleTable = table;
        select.sqlWithRowId =
            "SELECT " + QuoteIdentifier(table) + "._rowid_, * FROM " + QuoteIdentifier(table);
    } else if (qi >= 0) {
        select = TranslateSelect(queries[qi]->SQL(), database, parameters);
    } else {
        select = TranslateSelect(text, database, parameters);
    }
    return select;
}

using StatementPtr = SourceStatement;

// The statement prepared to read only; 3219 for one that would write or reach past itself, 3085
// for a function the engine does not offer.
StatementPtr PrepareReadOnly(Connection& c, const std::string& sql, const std::string& text) {
    return PrepareSource(c.db(), sql, text);
}

}  // namespace

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

    detail::TranslatedSelect select = detail::SourceSelect(*this, text, parameters);

    std::shared_ptr<TableDef> table;
    if (!select.singleTable.empty()) table = tableDefs_[select.singleTable];
    // Plain columns of one table are reached by row id: such a set reads its rows on demand, and
    // is updatable unless the file or the table may not be written.
    bool tryKeyed = table && !table->Fields().Contains("_rowid_");
    const std::string& sql = tryKeyed ? select.sqlWithRowId : select.sql;

    auto state = std::make_shared<detail::RecordsetState>();
    state->connection = connection_;
    detail::StatementPtr stmt = detail::PrepareReadOnly(c, sql, text);
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

}  // namespace actualiz::engine
