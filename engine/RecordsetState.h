#pragma once

// The inner state of a record set, shared with its fields so that a field kept by a caller
// still reads the set's current row.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Collection.h"
#include "engine/Field.h"
#include "engine/Sqlite.h"

namespace actualiz::engine {
class TableDef;
}

namespace actualiz::engine::detail {

class RecordsetState {
  public:
    struct Column {
        std::string name;    // as the set names it
        std::string origin;  // the table column it reads, empty for computed columns
        short type = dbText;
        long size = 0;
        bool allowZeroLength = false;
        bool required = false;
        // SQLite numbers a counter left Null in a new row, and writes the default of a field
        // that a new row leaves unset.
        bool counter = false;
        bool hasDefault = false;
    };
    struct Row {
        long long rowid = 0;
        std::vector<Value> values;
        bool gone = false;  // deleted by another connection since the set read its row ids
    };
    // A table field the set does not show but a new row must satisfy.
    struct HiddenRule {
        std::string name;
        bool required = false;
        bool primary = false;
    };

    std::shared_ptr<Connection> connection;
    std::string table;  // the table the rows come from (and are written to), when keyed
    bool updatable = false;
    std::vector<Column> columns;
    std::vector<HiddenRule> hiddenRules;
    std::vector<std::string> primaryColumns;  // primary key fields (table spelling)
    Collection<Field> fields;

    // How the rows are reached. A set over one table (updatable) is keyed: on the first question
    // about its rows it reads their row ids in set order, and the values come in batches of row
    // ids when a row is shown. Any other set (joins, groupings, computed columns) reads all its
    // rows when it is opened. Either way no statement stays open between calls.
    bool keyed = false;
    std::string keyedSql;                // the set's statement with the row id as first column
    std::vector<Value> parameterValues;  // bound to keyedSql's placeholders, in order
    mutable bool keysRead = false;
    mutable std::vector<long long> keys;
    mutable long windowStart = 0;  // position of window[0]
    mutable std::vector<Row> window;
    std::vector<Row> rows;  // the rows of a set that is not keyed

    long position = 0;  // -1 before the first row, Count() after the last
    bool currentDeleted = false;
    int editMode = 0;  // 0 none, 1 Edit, 2 AddNew
    long positionBeforeAdd = 0;
    std::vector<Value> buffer;
    std::vector<bool> dirty;
    bool closed = false;
    std::function<void()> onCurrentChanged;
    std::function<void()> onBeforeUpdate;

    // The number of rows in the set, and the row at a position (0 .. Count() - 1); a keyed set
    // reads its row ids on the first call and the row's batch when it is not at hand.
    long Count() const;
    const Row& RowAt(long at) const;
    void ReplaceAt(long at, Row row);
    void EraseAt(long at);
    void Append(Row row);
    void Release();

    bool Bof() const;
    bool Eof() const;
    void CheckOpen() const;
    Value Get(int column) const;
    void Set(int column, Value value);
    void Notify() const;
    // Ends a pending AddNew or Edit without writing it.
    void LeaveEdit();
    Row ReadRow(long long rowid) const;
    // The set's table columns, quoted, in set order.
    std::string ColumnList() const;

    // Setting the set up once its statement is prepared: the type of a computed column (from its
    // declared type or its first value), the rules a written row must satisfy, and the fields.
    // Reads the columns of the prepared statement (from offset on); true when every one is a
    // plain column of source.
    bool DescribeColumns(sqlite3_stmt* stmt, int offset, Collection<TableDef>& tables,
                         const TableDef* source);
    short ComputedType(sqlite3_stmt* stmt, int column, int offset) const;
    void LearnWriteRules(const TableDef& source);
    void MakeFields(const std::shared_ptr<RecordsetState>& self);

  private:
    void ReadKeys() const;
    void ReadWindow(long at) const;
};

// Reads every row of a prepared statement; offset is the number of leading columns to skip (the
// row id, which goes to Row::rowid when offset is 1).
std::vector<RecordsetState::Row> ReadAllRows(sqlite3_stmt* stmt, int offset, std::string_view what);

}  // namespace actualiz::engine::detail
