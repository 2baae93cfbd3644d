#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "app/Actualiz.h"
#include "engine/Engine.h"
#include "migrations/IndexPhaseReport.h"

// What the three fixed migrations share: each adds one hard-coded table to one database of the
// data folder, unless a table of exactly that name is there already, and then gives it
// single-field indexes named after their fields.
namespace actualiz::app::migrations {

struct NewField {
    const char* name;
    short type;
    std::optional<long> size;  // text fields only
    bool allowZeroLength;
    bool requiredSetFalse = false;  // Required is set to False explicitly (before AllowZeroLength)
};

// Walks the table definitions in collection order, passing over the engine's "MSys" tables, and
// tells whether one is named exactly `name`. Exact means letter case too: a "GASTOSGEN" is not
// ours, and the engine refuses the Append of ours beside it.
bool HasTableNamed(engine::Database& db, std::string_view name);

// Creates the table definition with its name only, creates and appends each field in order, and
// appends the definition to TableDefs: the one write, so a failure before it changes nothing.
void AppendNewTable(engine::Database& db, const char* table, std::span<const NewField> fields);

// The index phase of the clients-database migrations: a fresh open of the database in Text4, one
// index per name (its one field of the same name, Unique set False explicitly), the close; every
// step in skip-on-error mode under `command`, so that one index that cannot be made does not keep
// the others from being tried. The report says what was not made.
IndexPhaseReport AppendIndexesPassingFailuresOver(Actualiz& form, const char* command,
                                                  const char* table,
                                                  std::span<const char* const> indexes);

// The whole of a clients-database migration (histoprod, auxcli) as `command`: the table in
// clientes.mdb of the data folder unless one of that name is there (a critical message says so),
// then its indexes. "Terminado" and the end of the program when every index was made; otherwise
// a critical message saying which are missing and why, and the program stays open.
void AddClientsTable(Actualiz& form, const char* command, const char* table,
                     std::span<const NewField> fields, std::span<const char* const> indexes);

}  // namespace actualiz::app::migrations
