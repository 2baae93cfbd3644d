#pragma once

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace actualiz::cli {

// `actualiz-cli check FILE [--json]`: the structure of a Jet 4 file, checked page by page from
// its own bytes (jet/check/FileCheck.h). Exit status 0 sound, 1 problems found, 2 when the file
// cannot be read as a Jet 4 file ("Error N: text" on err; a Jet 3 file is refused so).
int CheckCommand(const std::string& file, bool asJson, std::ostream& out, std::ostream& err);

// Registers "check".
void AddCheckCommand(CLI::App& app);

}  // namespace actualiz::cli
