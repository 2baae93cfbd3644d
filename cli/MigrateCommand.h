#pragma once

#include <iosfwd>
#include <string>

#include "cli/Errors.h"

namespace CLI {
class App;
}

namespace actualiz::cli {

// `actualiz-cli migrate gastosgen|histoprod|auxcli`: runs the window's fixed migration of that
// name (Command27_Click, Command25_Click, Command26_Click) on the data folder, prints its messages
// on out and any failure as "Error N: text" on err. Exit status 0 when the migration was done,
// 1 when it stopped or found its table there already, 2 for an unknown migration name, and
// kExitCannotStart (3) when it cannot start: the data folder or its database is missing, or
// another run holds the data folder (kMigrateBusy).
inline constexpr int kMigrateBusy = kExitCannotStart;
int MigrateCommand(const std::string& migration, const std::string& dataDir,
                   const std::string& programDir, std::ostream& out, std::ostream& err);

// The command that carries out a migration, "" for an unknown name.
std::string MigrationHandler(const std::string& migration);

// Registers "migrate".
void AddMigrateCommand(CLI::App& app);

}  // namespace actualiz::cli
