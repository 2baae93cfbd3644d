#pragma once

namespace CLI {
class App;
}

namespace actualiz::cli {

// Registers "catalogs init [--force]": creates the three empty catalog databases in C:\ActMirto.
// Exit status 0 when they were created, 1 on a file or engine failure (printed as
// "Error N: text"), 2 on wrong arguments.
void AddCatalogCommands(CLI::App& app);

}  // namespace actualiz::cli
