#include "cli/DifferenceReasons.h"

#include <sqlite3.h>

#include <algorithm>
#include <vector>

#include "catalogs/QueryCatalog.h"
#include "engine/Engine.h"
#include "jet/JetQueryRows.h"

namespace actualiz::cli {

using Kind = Difference::Kind;
using Change = Difference::Change;

namespace {

std::string Quoted(const std::string& name) {
    return engine::QuoteIdentifier(name);
}

// The first column of the first row of a statement on the old database, as a number; 0 when it
// cannot be read.
long long Count(engine::Database& db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    long long n = 0;
    if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
}

std::vector<std::string> IndexFields(const engine::IndexSchema& index) {
    std::vector<std::string> out;
    for (const engine::IndexFieldSchema& f : index.fields) out.push_back(f.name);
    return out;
}

std::string Listed(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

std::string Rows(long long n) {
    return std::to_string(n) + (n == 1 ? " fila" : " filas");
}

DifferenceReason Data(std::string text) {
    return {false, "lo impiden los datos: " + std::move(text)};
}

bool WasAppended(const DatabaseReport& report, const std::string& table, const std::string& field) {
    if (std::find(report.tablesCreated.begin(), report.tablesCreated.end(), table) !=
        report.tablesCreated.end())
        return true;
    for (const FieldName& f : report.fieldsAppended)
        if (engine::SameName(f.table, table) && engine::SameName(f.field, field)) return true;
    return false;
}

std::optional<DifferenceReason> ExplainField(const Difference& d, engine::Database& db,
                                             const DatabaseReport& report) {
    const auto& m = std::get<engine::FieldSchema>(d.model);
    const auto& o = std::get<engine::FieldSchema>(d.old);
    // Text fields the upgrade makes allow the empty text.
    engine::FieldSchema plain = o;
    plain.allowZeroLength = m.allowZeroLength;
    if (plain == m && o.allowZeroLength)
        return DifferenceReason{true,
                                "admite cadenas vacías, como la actualización crea los "
                                "campos de texto y memo"};
    // A field appended to a table with rows cannot be required while rows leave it Null.
    plain.required = m.required;
    if (plain == m && m.required) {
        const long long nulls = Count(db, "SELECT COUNT(*) FROM " + Quoted(d.table) + " WHERE " +
                                              Quoted(d.name) + " IS NULL");
        if (nulls > 0)
            return Data(Rows(nulls) + " sin valor en " + d.name +
                        " (se añadió a una tabla con filas y no puede ser obligatorio)");
    }
    if (!WasAppended(report, d.table, d.name))
        return DifferenceReason{true,
                                "el campo ya estaba; la actualización no cambia los campos "
                                "que la base ya tiene"};
    return std::nullopt;
}

// The upgrade never moves a field the table has: it appends the missing ones at the end, in the
// model's order. An order that differs from the model's only for that is planned; one where a
// field the run appended stands before a field the table already had, or the appended fields
// are not in the model's order, is not.
std::optional<DifferenceReason> ExplainFieldOrder(const Difference& d,
                                                  const DatabaseReport& report) {
    const auto& m = std::get<engine::TableSchema>(d.model);
    const auto& o = std::get<engine::TableSchema>(d.old);
    auto appended = [&](const std::string& field) {
        for (const FieldName& f : report.fieldsAppended)
            if (engine::SameName(f.table, o.name) && engine::SameName(f.field, field)) return true;
        return false;
    };
    std::vector<std::string> appendedInOrder;
    for (const engine::FieldSchema& f : o.fields) {
        if (appended(f.name))
            appendedInOrder.push_back(f.name);
        else if (!appendedInOrder.empty())
            return std::nullopt;
    }
    std::size_t next = 0;
    for (const engine::FieldSchema& f : m.fields)
        if (next < appendedInOrder.size() && engine::SameName(f.name, appendedInOrder[next]))
            ++next;
    if (next != appendedInOrder.size()) return std::nullopt;
    return DifferenceReason{true,
                            "la actualización no mueve los campos que la tabla ya tenía y añade "
                            "al final, en el orden del modelo, los que le faltan"};
}

std::optional<DifferenceReason> ExplainIndex(const Difference& d, engine::Database& db) {
    const auto& m = std::get<engine::IndexSchema>(d.model);
    const std::vector<std::string> fields = IndexFields(m);
    std::string columns, nullTest;
    for (const auto& f : fields) {
        columns += (columns.empty() ? "" : ", ") + Quoted(f);
        nullTest += (nullTest.empty() ? "" : " OR ") + Quoted(f) + " IS NULL";
    }
    if (m.primary || m.required) {
        const long long nulls =
            Count(db, "SELECT COUNT(*) FROM " + Quoted(d.table) + " WHERE " + nullTest);
        if (nulls > 0) return Data(Rows(nulls) + " sin valor en " + Listed(fields));
    }
    if (m.unique || m.primary) {
        const long long repeated =
            Count(db, "SELECT COUNT(*) FROM (SELECT 1 FROM " + Quoted(d.table) + " WHERE NOT (" +
                          nullTest + ") GROUP BY " + columns + " HAVING COUNT(*) > 1)");
        if (repeated > 0)
            return Data(std::to_string(repeated) + " valores repetidos en " + Listed(fields));
    }
    return std::nullopt;
}

std::optional<DifferenceReason> ExplainRelation(const Difference& d, engine::Database& db) {
    const auto& m = std::get<engine::RelationSchema>(d.model);
    const std::string& table = m.table;
    const std::string& foreign = m.foreignTable;
    std::string notNull, match;
    for (const engine::RelationFieldSchema& f : m.fields) {
        const std::string fk = Quoted(foreign) + "." + Quoted(f.foreignName);
        notNull += (notNull.empty() ? "" : " AND ") + fk + " IS NOT NULL";
        match += (match.empty() ? "" : " AND ") + Quoted(table) + "." + Quoted(f.name) + " = " + fk;
    }
    const long long orphans =
        Count(db, "SELECT COUNT(*) FROM " + Quoted(foreign) + " WHERE " + notNull +
                      " AND NOT EXISTS (SELECT 1 FROM " + Quoted(table) + " WHERE " + match + ")");
    if (orphans > 0) return Data(Rows(orphans) + " de " + foreign + " sin su fila en " + table);
    return std::nullopt;
}

}  // namespace

std::optional<DifferenceReason> ExplainDifference(const Difference& d, engine::Database& old,
                                                  const DatabaseReport& report) {
    if (d.change == Change::OnlyInOld) return std::nullopt;
    switch (d.kind) {
        case Kind::Field:
            if (d.change == Change::Different) return ExplainField(d, old, report);
            return std::nullopt;
        case Kind::Index:
            return ExplainIndex(d, old);
        case Kind::Relation:
            return ExplainRelation(d, old);
        case Kind::Query:
            if (d.change == Change::Different &&
                catalogs::OneLineSql(std::get<engine::QuerySchema>(d.model).sql) ==
                    std::get<engine::QuerySchema>(d.old).sql)
                return DifferenceReason{true,
                                        "el catálogo de consultas guarda el texto en "
                                        "una línea: cada salto de línea pasa a espacio"};
            if (d.change == Change::Different &&
                engine::jet::SameSqlUpToLayout(std::get<engine::QuerySchema>(d.model).sql,
                                               std::get<engine::QuerySchema>(d.old).sql))
                return DifferenceReason{true,
                                        "un archivo de Access guarda cada cláusula en su "
                                        "línea: solo cambian los espacios y saltos de línea"};
            return std::nullopt;
        case Kind::FieldOrder:
            return ExplainFieldOrder(d, report);
        case Kind::Table:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace actualiz::cli
