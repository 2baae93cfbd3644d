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
    };
    // A table field the set does not show but a new row must satisfy.
    struct HiddenRule {
        std::string name;
        bool required = false;
        bool primary = false;
    };

    std::shared_ptr<Connection> connection;
    std::string table;  // the table written to, when updatable
    bool updatable = false;
    std::vector<Column> columns;
    std::vector<HiddenRule> hiddenRules;
    std::vector<std::string> primaryColumns;  // primary key fields (table spelling)
    std::vector<Row> rows;
    Collection<Field> fields;

    long position = 0;  // -1 before the first row, rows.size() after the last
    bool currentDeleted = false;
    int editMode = 0;  // 0 none, 1 Edit, 2 AddNew
    long positionBeforeAdd = 0;
    std::vector<Value> buffer;
    std::vector<bool> dirty;
    bool closed = false;
    std::function<void()> onCurrentChanged;
    std::function<void()> onBeforeUpdate;

    bool Bof() const;
    bool Eof() const;
    void CheckOpen() const;
    Value Get(int column) const;
    void Set(int column, Value value);
    void Notify() const;
    Row ReadRow(long long rowid) const;
};

// Converts a value for a field of the given type the way the classic engine does when a value is
// assigned (text from a bound text box becomes a number, "" becomes Null ...). 3421 when the text
// is no value of that type, 3163 when it is too long for the field.
Value ConvertForField(const Value& value, short type, long size, const std::string& fieldName);

}  // namespace actualiz::engine::detail
