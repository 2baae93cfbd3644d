#pragma once

#include <iosfwd>
#include <string>

#include "engine/SchemaModel.h"

namespace CLI {
class App;
}

namespace actualiz::cli {

// `actualiz-cli create FILE --from SCHEMA.json`: a new database built from the JSON document.
// Returns the exit status: 0 done, 1 engine or file error (printed "Error N: text" on err).
int CreateCommand(const std::string& file, const std::string& schemaFile, std::ostream& out,
                  std::ostream& err);

// `actualiz-cli schema FILE [--json] [--system]`: the structure in collection order.
int SchemaCommand(const std::string& file, bool asJson, bool includeSystem, std::ostream& out,
                  std::ostream& err);

// The readable form of a structure (what `schema` prints without --json).
std::string SchemaText(const engine::DatabaseSchema& schema);

// Registers "create" and "schema".
void AddSchemaCommands(CLI::App& app);

}  // namespace actualiz::cli
