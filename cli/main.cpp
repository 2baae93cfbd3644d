// actualiz-cli: the console front end. Each subcommand is registered by a small function of its
// own (AddFormCommand, ...), so that adding one touches a single line here.
#include <CLI/CLI.hpp>

#include "cli/CatalogCommands.h"
#include "cli/CheckCommand.h"
#include "cli/DemoCommand.h"
#include "cli/DiffCommand.h"
#include "cli/FormRunner.h"
#include "cli/ImportCommand.h"
#include "cli/MigrateCommand.h"
#include "cli/QueryCommand.h"
#include "cli/SchemaCommands.h"
#include "cli/SpanishHelp.h"
#include "cli/TransformCommand.h"
#include "jet/JetReader.h"

int main(int argc, char** argv) {
    actualiz::engine::InstallJetOpening();  // real Jet files open read-only

    CLI::App app{"actualiz-cli: actualiza la estructura de las bases de datos de la aplicación"};
    app.require_subcommand(1);

    actualiz::cli::AddFormCommand(app);
    actualiz::cli::AddCatalogCommands(app);
    actualiz::cli::AddSchemaCommands(app);
    actualiz::cli::AddImportCommand(app);
    actualiz::cli::AddTransformCommand(app);
    actualiz::cli::AddMigrateCommand(app);
    actualiz::cli::AddDiffCommand(app);
    actualiz::cli::AddDemoCommand(app);
    actualiz::cli::AddQueryCommand(app);
    actualiz::cli::AddCheckCommand(app);
    // Every text the user reads is Spanish, the parser's own headings and errors included.
    actualiz::cli::SpeakSpanish(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::RuntimeError& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // Wrong arguments: whatever CLI11 would exit with, the program says 2.
        app.exit(e);
        return 2;
    }
    return 0;
}
