// How a record set reaches its rows: the row ids of a keyed set, the batch of rows around the
// current one, and the rows of a set that reads everything when it opens.

#include <algorithm>
#include <unordered_map>

#include "engine/EngineError.h"
#include "engine/Names.h"
#include "engine/RecordsetState.h"

namespace actualiz::engine::detail {

namespace {

// Rows read at once when a keyed set reaches a row it does not hold: enough to walk a catalog or
// a table without a query per row, few enough that the memory of a set stays small.
constexpr long kBatchRows = 200;

std::string KeyList(std::size_t count) {
    std::string marks;
    for (std::size_t i = 0; i < count; ++i) marks += i == 0 ? "?" : ", ?";
    return marks;
}

}  // namespace

std::vector<RecordsetState::Row> ReadAllRows(sqlite3_stmt* stmt, int offset,
                                             std::string_view what) {
    std::vector<RecordsetState::Row> rows;
    for (;;) {
        int step = sqlite3_step(stmt);
        if (step == SQLITE_DONE) break;
        if (step != SQLITE_ROW) ThrowSqlite(sqlite3_db_handle(stmt), step, what);
        RecordsetState::Row row;
        row.rowid = offset ? sqlite3_column_int64(stmt, 0) : 0;
        row.values = ColumnValues(stmt, offset);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string RecordsetState::ColumnList() const {
    std::string list;
    for (const auto& c : columns) {
        if (!list.empty()) list += ", ";
        list += QuoteIdentifier(c.origin);
    }
    return list;
}

void RecordsetState::ReadKeys() const {
    if (keysRead) return;
    CheckOpen();
    // The set's own statement, so that the rows come in exactly the order it gives them (a
    // narrower query could be answered from an index, in that index's order).
    Statement s(*connection, keyedSql, table);
    for (std::size_t p = 0; p < parameterValues.size(); ++p)
        s.Bind(static_cast<int>(p) + 1, parameterValues[p]);
    std::vector<long long> read;
    while (s.Step()) read.push_back(s.Int(0));
    keys = std::move(read);
    keysRead = true;
    window.clear();
    windowStart = 0;
}

void RecordsetState::ReadWindow(long at) const {
    const long count = static_cast<long>(keys.size());
    // Walking backwards reads the batch that ends at the row; otherwise the one that starts there.
    long first = at;
    if (!window.empty() && at < windowStart) first = std::max(0L, at - kBatchRows + 1);
    const long last = std::min(count, first + kBatchRows);
    const auto n = static_cast<std::size_t>(last - first);

    // The values straight from the table by row id: the set's filter and order only decide the
    // row ids, and naming the columns keeps them in place whatever another connection appends.
    Statement s(*connection,
                "SELECT _rowid_, " + ColumnList() + " FROM " + QuoteIdentifier(table) +
                    " WHERE _rowid_ IN (" + KeyList(n) + ")",
                table);
    for (std::size_t i = 0; i < n; ++i) s.Bind(static_cast<int>(i) + 1, keys[first + i]);
    std::unordered_map<long long, Row> found;
    found.reserve(n);
    while (s.Step()) {
        Row row;
        row.rowid = s.Int(0);
        row.values = ColumnValues(s.get(), 1);
        found.emplace(row.rowid, std::move(row));
    }
    std::vector<Row> batch;
    batch.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        long long rowid = keys[first + i];
        auto it = found.find(rowid);
        if (it != found.end()) {
            batch.push_back(std::move(it->second));
        } else {
            Row row;
            row.rowid = rowid;
            row.values.assign(columns.size(), std::monostate{});
            row.gone = true;
            batch.push_back(std::move(row));
        }
    }
    window = std::move(batch);
    windowStart = first;
}

long RecordsetState::Count() const {
    if (!keyed) return static_cast<long>(rows.size());
    ReadKeys();
    return static_cast<long>(keys.size());
}

const RecordsetState::Row& RecordsetState::RowAt(long at) const {
    if (!keyed) return rows[static_cast<std::size_t>(at)];
    ReadKeys();
    if (at < windowStart || at >= windowStart + static_cast<long>(window.size())) ReadWindow(at);
    return window[static_cast<std::size_t>(at - windowStart)];
}

void RecordsetState::ReplaceAt(long at, Row row) {
    if (!keyed) {
        rows[static_cast<std::size_t>(at)] = std::move(row);
        return;
    }
    keys[static_cast<std::size_t>(at)] = row.rowid;
    if (at >= windowStart && at < windowStart + static_cast<long>(window.size()))
        window[static_cast<std::size_t>(at - windowStart)] = std::move(row);
}

void RecordsetState::EraseAt(long at) {
    if (!keyed) {
        rows.erase(rows.begin() + at);
        return;
    }
    keys.erase(keys.begin() + at);
    if (at >= windowStart && at < windowStart + static_cast<long>(window.size()))
        window.erase(window.begin() + (at - windowStart));
    else if (at < windowStart)
        --windowStart;
}

void RecordsetState::Append(Row row) {
    if (!keyed) {
        rows.push_back(std::move(row));
        return;
    }
    ReadKeys();
    const bool windowAtEnd =
        windowStart + static_cast<long>(window.size()) == static_cast<long>(keys.size());
    keys.push_back(row.rowid);
    if (windowAtEnd) window.push_back(std::move(row));
}

void RecordsetState::Release() {
    rows.clear();
    keys.clear();
    keys.shrink_to_fit();
    window.clear();
    windowStart = 0;
}

}  // namespace actualiz::engine::detail
