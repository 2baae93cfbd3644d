#pragma once

// The structure of a database as plain values: its tables with their fields and indexes, its
// relations and its queries, each with every property the engine keeps for it. `schema` prints
// it, `diff` and the upgrade report compare two of them (SchemaCompare.h), and SchemaModelJson.h
// writes it as the structure document.

#include <string>
#include <vector>

namespace actualiz::engine {

class Database;

struct FieldSchema {
    std::string name;
    short type = 0;
    long size = 0;
    bool allowZeroLength = false;
    bool required = false;
    long attributes = 0;
    std::string defaultValue;
    std::string validationRule;
    std::string validationText;

    bool operator==(const FieldSchema&) const = default;
};

// Whether a field's attributes are other than those the engine gives a field of its type (a
// counter, say): only then are they named.
bool HasOwnAttributes(const FieldSchema& field);

struct IndexFieldSchema {
    std::string name;
    bool descending = false;

    bool operator==(const IndexFieldSchema&) const = default;
};

struct IndexSchema {
    std::string name;
    std::vector<IndexFieldSchema> fields;
    bool unique = false;
    bool primary = false;
    bool ignoreNulls = false;
    bool required = false;

    bool operator==(const IndexSchema&) const = default;
};

struct TableSchema {
    std::string name;
    std::string validationRule;
    std::string validationText;
    std::vector<FieldSchema> fields;   // in the table's order
    std::vector<IndexSchema> indexes;  // in collection order

    bool operator==(const TableSchema&) const = default;
};

struct RelationFieldSchema {
    std::string name;         // in the primary table
    std::string foreignName;  // in the foreign table

    bool operator==(const RelationFieldSchema&) const = default;
};

struct RelationSchema {
    std::string name;
    std::string table;
    std::string foreignTable;
    long attributes = 0;
    std::vector<RelationFieldSchema> fields;

    bool operator==(const RelationSchema&) const = default;
};

struct QuerySchema {
    std::string name;
    std::string sql;

    bool operator==(const QuerySchema&) const = default;
};

// Everything in collection order: tables and queries by name, relations as created.
struct DatabaseSchema {
    std::vector<TableSchema> tables;
    std::vector<RelationSchema> relations;
    std::vector<QuerySchema> queries;
};

// Reads the structure of an open database; the MSys objects only with includeSystem.
DatabaseSchema ReadSchema(Database& db, bool includeSystem = false);
// Opens the database at path, reads its structure (no MSys objects) and closes it.
DatabaseSchema ReadSchemaAt(const std::string& path);

}  // namespace actualiz::engine
