#include "engine/StoredDefinitions.h"

#include "engine/Schema.h"

namespace actualiz::engine::detail {

namespace {

// Object names compare as the engine compares them everywhere: without regard to case.
bool Exists(Connection& c, const std::string& sql, const std::string& name, long long id = 0) {
    Statement s(c, sql, name);
    s.Bind(1, name);
    if (id != 0) s.Bind(2, id);
    return s.Step();
}

}  // namespace

long long StoredTableId(Connection& c, const std::string& table) {
    // The exact name, found through the index of names without regard to case.
    Statement s(c,
                "SELECT \"Id\" FROM \"MSysObjects\" WHERE \"Name\" = ?1 COLLATE NOCASE AND "
                "\"Name\" = ?1 AND \"Type\" = ?2",
                table);
    s.Bind(1, table).Bind(2, static_cast<long long>(kObjectTable));
    if (!s.Step()) throw MakeError(err::kItemNotFound, table);
    return s.Int(0);
}

bool StoredObjectExists(Connection& c, const std::string& name) {
    return Exists(c, "SELECT 1 FROM \"MSysObjects\" WHERE \"Name\" = ? COLLATE NOCASE", name);
}

bool StoredColumnExists(Connection& c, long long tableId, const std::string& field) {
    return Exists(c,
                  "SELECT 1 FROM \"MSysColumns\" WHERE \"Name\" = ? COLLATE NOCASE AND "
                  "\"ObjectId\" = ?",
                  field, tableId);
}

std::optional<StoredIndexRow> FindStoredIndex(Connection& c, long long tableId,
                                              const std::string& index) {
    Statement s(
        c,
        "SELECT \"Id\", \"SqlName\" FROM \"MSysIndexes\" WHERE \"Name\" = ? COLLATE NOCASE AND "
        "\"ObjectId\" = ?",
        index);
    s.Bind(1, index).Bind(2, tableId);
    if (!s.Step()) return std::nullopt;
    return StoredIndexRow{s.Int(0), s.Text(1)};
}

bool StoredRelationExists(Connection& c, const std::string& name) {
    return Exists(c, "SELECT 1 FROM \"MSysRelationships\" WHERE \"Name\" = ? COLLATE NOCASE", name);
}

}  // namespace actualiz::engine::detail
