#include "app/FixedMigrations.h"

#include <array>

namespace actualiz::app {

namespace {

constexpr auto kMigrations = std::to_array<FixedMigration>({
    {"gastosgen", "Command27_Click", "almacen.mdb", "gastosgen"},
    {"histoprod", "Command25_Click", "clientes.mdb", "histoprod"},
    {"auxcli", "Command26_Click", "clientes.mdb", "auxcli"},
});

}  // namespace

std::span<const FixedMigration> FixedMigrations() {
    return kMigrations;
}

const FixedMigration* FixedMigrationByHandler(std::string_view handler) {
    for (const FixedMigration& m : kMigrations)
        if (handler == m.handler) return &m;
    return nullptr;
}

const FixedMigration* FixedMigrationByName(std::string_view name) {
    for (const FixedMigration& m : kMigrations)
        if (name == m.name) return &m;
    return nullptr;
}

std::string TableAlreadyThere(const FixedMigration& migration) {
    return std::string(migration.database) + " ya tiene la tabla " + migration.table +
           ": la migración termina sin hacer nada";
}

}  // namespace actualiz::app
