#pragma once

#include <span>
#include <string>
#include <string_view>

namespace actualiz::app {

// The three fixed migrations: the button's handler, the database of the data folder it changes
// and the table it adds. The window and the command line name them from here.
struct FixedMigration {
    const char* name;      // as actualiz-cli migrate takes it
    const char* handler;   // "Command27_Click"
    const char* database;  // "almacen.mdb"
    const char* table;     // "gastosgen"
};

std::span<const FixedMigration> FixedMigrations();
// The migration run by a handler, or by name; nullptr when there is none.
const FixedMigration* FixedMigrationByHandler(std::string_view handler);
const FixedMigration* FixedMigrationByName(std::string_view name);

// What the user is told when a fixed migration finds its table already there and so changes
// nothing, in the window and on the command line alike.
std::string TableAlreadyThere(const FixedMigration& migration);

}  // namespace actualiz::app
