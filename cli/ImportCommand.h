#pragma once

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace actualiz::cli {

struct ImportOptions {
    bool schemaOnly = false;  // tables, indexes, relations and queries, no rows
    bool allQueries = false;  // also the hidden "~" queries
};

// `actualiz-cli import JETFILE OUTFILE [--schema-only] [--all-queries]`: a new engine database
// with everything the Jet file shows. What cannot be carried over is listed on err, one line each.
// Returns the exit status: 0 done, 1 error (printed "Error N: text" on err).
int ImportCommand(const std::string& jetFile, const std::string& outFile,
                  const ImportOptions& options, std::ostream& out, std::ostream& err);

// Registers "import".
void AddImportCommand(CLI::App& app);

}  // namespace actualiz::cli
