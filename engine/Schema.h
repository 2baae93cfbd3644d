#pragma once

// How the engine's definitions live in an SQLite file, and every stored change to them. Each
// change is one SQLite transaction: the real table, index or trigger and the rows of the engine's
// system tables change together or not at all.

#include <memory>
#include <string>
#include <string_view>

#include "engine/Database.h"
#include "engine/Sqlite.h"

namespace actualiz::engine::detail {

// "ACZD" in the SQLite header's application id: marks a file made by this engine.
inline constexpr int kApplicationId = 0x41435A44;
inline constexpr int kFormatVersion = 2;

inline constexpr int kObjectTable = 1;
inline constexpr int kObjectQuery = 5;

// Each kind of object has its file: SchemaSystem.cpp (the system tables), SchemaLoad.cpp,
// SchemaTables.cpp (tables and their fields), SchemaIndexes.cpp, SchemaRelations.cpp (with their
// triggers), SchemaQueries.cpp and SchemaUpgrade.cpp.
struct Schema {
    // True for the names of the engine's own system tables (MSysObjects ...).
    static bool IsEngineTable(std::string_view name);
    // Creates the system tables in a new, empty file (inside the caller's transaction).
    static void Initialize(Connection& connection);
    // Brings the system tables of an older format up to this one (inside the caller's
    // transaction); IsCurrent says whether they are. Opening a file never calls it: only a
    // change of definitions does (DefinitionChange).
    static void Upgrade(Connection& connection);
    static bool IsCurrent(Connection& connection);
    // Whether the system tables have the indexes changes find their rows by (Upgrade adds them).
    static bool HasLookupIndexes(Connection& connection);
    // True when every system table is present.
    static bool HasEngineTables(Connection& connection);
    // The answers at once, asked of the file only when its schema changed since the connection
    // last asked: a run opens the same file again and again.
    static const SharedFile::Format& ReadFormat(Connection& connection);
    // Reads every definition into the database's collections; dataVersion is the connection's
    // DataVersion() read just before.
    static void Load(Database& database, long long dataVersion);

    static void AppendTable(Database& database, const std::shared_ptr<TableDef>& table);
    static void DeleteTable(Database& database, const std::shared_ptr<TableDef>& table);
    static void AppendField(TableDef& table, const std::shared_ptr<Field>& field);
    static void DeleteField(TableDef& table, const std::shared_ptr<Field>& field);
    static void UpdateFieldFlags(TableDef& table, const Field& field, bool allowZeroLength,
                                 bool required);
    static void AppendIndex(TableDef& table, const std::shared_ptr<Index>& index);
    static void DeleteIndex(TableDef& table, const std::shared_ptr<Index>& index);
    static void AppendRelation(Database& database, const std::shared_ptr<Relation>& relation);
    static void DeleteRelation(Database& database, const std::shared_ptr<Relation>& relation);
    static void StoreQuery(Database& database, QueryDef& query);
    static void DeleteQuery(Database& database, const std::shared_ptr<QueryDef>& query);

    // The column definition of a field in CREATE TABLE / ADD COLUMN (appended).
    static std::string ColumnDefinition(const Field& field, bool appended = false);
    // Throws 3129 unless sql plausibly is a statement of the classic dialect.
    static void CheckQueryText(std::string_view sql);
};

// The transaction of one change of definitions. A file of an older format is read as it is and
// gets the later system columns only here, inside the first change made to it: what only reads a
// file (a listing, a comparison, a copy) never writes it, and a change that fails leaves the file
// in its old format as well.
class DefinitionChange {
  public:
    DefinitionChange(Connection& connection, std::string_view object);
    void Commit() { transaction_.Commit(); }

  private:
    Transaction transaction_;
};

}  // namespace actualiz::engine::detail
