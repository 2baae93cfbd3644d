#pragma once

// How the properties that make a table what it is (counters, default values, validation rules)
// become plain SQLite: a counter is the table's INTEGER PRIMARY KEY when the table is created with
// it, a default a DEFAULT clause, a rule a CHECK constraint. The stored definition keeps the
// classic text of each; what SQLite cannot evaluate is kept and reported, not enforced.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace actualiz::engine {
class Field;
class TableDef;
}  // namespace actualiz::engine

namespace actualiz::engine::detail {

class Connection;

// The Attributes a table field has by its type: dbVariableField for Text, Memo and the binary
// types, dbFixedField for the others.
long DefaultFieldAttributes(short type);
// Attributes as stored: the size bit of the type added when neither is given.
long NormalizedFieldAttributes(long attributes, short type);
bool IsCounter(const Field& field);

// A table's counters before it is stored: a counter is a Long (3259), one per table (3219).
void CheckCounters(const TableDef& table);
void CheckCounterField(const TableDef& table, const Field& field);

// The SQLite expression for a classic default value ("0", "\"ES\"", "=Date()", "No"); nullopt
// when it is not a constant or a date function.
std::optional<std::string> SqliteDefault(std::string_view expression);

// The SQLite condition for a validation rule. A field's rule names no field ("> 0", "Between 1
// And 9", "Is Null Or Like \"A*\""): column is the field it applies to. A table's rule names its
// fields ("[fin] >= [inicio]"): column is empty and fields lists the table's fields. nullopt when
// the rule uses what SQLite cannot evaluate (functions, unknown names).
std::optional<std::string> SqliteCondition(std::string_view rule, std::string_view column,
                                           const std::vector<std::string>& fields);

// The column clauses (DEFAULT, CHECK) that carry a field's default value and rule into SQLite.
std::string FieldConstraints(const Field& field);
// The table-level CHECK of a table's rule, ", CONSTRAINT ... CHECK (...)", or empty.
std::string TableConstraints(const TableDef& table);

// A counter appended to a table that already exists: its rows are numbered in the order they were
// written and a trigger numbers the new ones (SQLite cannot add a primary key afterwards).
void NumberAppendedCounter(Connection& connection, const std::string& table,
                           const std::string& field);
// SQLite gives the rows already there a new column's default; the rows that were there before
// the field read Null, as they do for any appended field.
void KeepOldRowsNull(Connection& connection, const std::string& table, const std::string& field);
// Drops that trigger, if any, before the field goes.
void DropCounterTrigger(Connection& connection, const std::string& table, const std::string& field);

}  // namespace actualiz::engine::detail
