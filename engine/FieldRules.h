#pragma once

// How the properties that make a table what it is (counters, default values, validation rules)
// become plain SQLite: a counter is the table's INTEGER PRIMARY KEY when the table is created with
// it, a default a DEFAULT clause, a rule a CHECK constraint, or a pair of triggers when it reads
// the clock (Date(), Now(), Time()), which SQLite refuses in a CHECK. The stored definition keeps
// the classic text of each; what SQLite cannot evaluate is kept and reported, not enforced.

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

// A validation rule as an SQLite condition.
struct RuleCondition {
    std::string sql;
    // It calls Date(), Now() or Time(): SQLite evaluates it in a trigger, never in a CHECK.
    bool readsClock = false;
};

// The SQLite condition for a validation rule. A field's rule names no field ("> 0", "Between 1
// And 9", "Is Null Or Like \"A*\""): column is the field it applies to. A table's rule names its
// fields ("[fin] >= [inicio]"): column is empty and fields lists the table's fields. row goes
// before every field the condition reads ("NEW." in a trigger). nullopt when the rule uses what
// SQLite cannot evaluate (functions other than the three above, unknown names).
std::optional<RuleCondition> TranslateRule(std::string_view rule, std::string_view column,
                                           const std::vector<std::string>& fields,
                                           std::string_view row = {});
// The condition alone, for a CHECK or for telling whether the file can enforce the rule.
std::optional<std::string> SqliteCondition(std::string_view rule, std::string_view column,
                                           const std::vector<std::string>& fields);

// The column clauses (DEFAULT, CHECK) that carry a field's default value and rule into SQLite.
// appended: for ADD COLUMN, which takes no DEFAULT that reads the clock (see DefaultAppendedField).
std::string FieldConstraints(const Field& field, bool appended = false);
// The table-level CHECK of a table's rule, ", CONSTRAINT ... CHECK (...)", or empty.
std::string TableConstraints(const TableDef& table);

// The rules that read the clock, as triggers raising the rule's 3317 and text: before a row is
// inserted, and before the field is updated (a table's rule: before any update of the row).
// Named "<table>.<field>.rule.insert" / ".update" and "<table>.rule.insert" / ".update".
// Those of a table, its fields' and its own (once the table exists in the file).
void CreateRuleTriggers(Connection& connection, const TableDef& table);
void DropRuleTriggers(Connection& connection, const TableDef& table);
// Those of one field, when it is appended to a stored table or deleted from it.
void CreateFieldRuleTriggers(Connection& connection, const std::string& table, const Field& field);
void DropFieldRuleTriggers(Connection& connection, const std::string& table,
                           const std::string& field);
// True when the table's rule is enforced by the file and names the field: SQLite cannot drop a
// column its table's CHECK or triggers read.
bool TableRuleNeedsField(const TableDef& table, const std::string& field);

// A counter appended to a table that already exists: its rows are numbered in the order they were
// written and a trigger numbers the new ones (SQLite cannot add a primary key afterwards).
void NumberAppendedCounter(Connection& connection, const std::string& table,
                           const std::string& field);
// A field appended to a table that already exists with a default that reads the clock (=Date()):
// SQLite adds no column with such a DEFAULT, so a trigger "<table>.<field>.default" gives it to a
// new row that leaves the field Null (the rows already there stay Null).
void DefaultAppendedField(Connection& connection, const std::string& table, const Field& field);
// SQLite gives the rows already there a new column's default; the rows that were there before
// the field read Null, as they do for any appended field.
void KeepOldRowsNull(Connection& connection, const std::string& table, const std::string& field);
// Drops that trigger and the default's, if any, before the field goes.
void DropCounterTrigger(Connection& connection, const std::string& table, const std::string& field);

}  // namespace actualiz::engine::detail
