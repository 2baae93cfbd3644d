#pragma once

#include <string>
#include <variant>
#include <vector>

#include "engine/SchemaModel.h"

namespace actualiz::engine {

// One structural difference between a model and an old database.
struct SchemaDifference {
    // FieldOrder: the fields both sides of a table have come in another order (name: the table).
    enum class Kind { Table, Field, Index, Relation, Query, FieldOrder };
    enum class Change { OnlyInModel, OnlyInOld, Different };
    // The object as one side has it; std::monostate when that side lacks it.
    using Object = std::variant<std::monostate, TableSchema, FieldSchema, IndexSchema,
                                RelationSchema, QuerySchema>;

    Kind kind;
    Change change;
    // The table of a field or an index (as the model spells it), "" otherwise.
    std::string table;
    std::string name;  // as the model spells it, or the old database when only it has the object
    Object model;
    Object old;
};

// The differences between two structures: tables, their fields (type, size and properties) and
// indexes (fields, unique, primary, ignore nulls, required), relations (tables, attributes, field
// pairs) and queries (SQL). Objects are matched by name as the engine matches names; equal means
// equal in every property and spelt the same way, letter case included (the engine matches either
// spelling, but people see the difference). The order of the fields within a table counts as the
// order of the fields both sides have (OrdinalPosition): fields only one side has may come
// anywhere, and a table whose common fields come in another order is one FieldOrder difference.
// The order of fields within an index or a relation counts as well. A table only one side has is
// one difference; for a table both have, its own name and rule, then its fields one by one, their
// order, and its indexes one by one. Listed in the model's order, each list followed by what only
// the old database has, in its order.
std::vector<SchemaDifference> CompareSchemas(const DatabaseSchema& model,
                                             const DatabaseSchema& old);

}  // namespace actualiz::engine
