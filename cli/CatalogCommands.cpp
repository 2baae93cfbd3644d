#include "cli/CatalogCommands.h"
#include "cli/Errors.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <memory>

#include "app/ErrorModes.h"
#include "catalogs/CatalogFiles.h"
#include "catalogs/CatalogLock.h"
#include "platform/Error.h"

namespace actualiz::cli {

void AddCatalogCommands(CLI::App& app) {
    auto* group = app.add_subcommand(
        "catalogs", "The index, relation and query catalogs the transformation works through");
    group->require_subcommand(1);

    auto* init = group->add_subcommand(
        "init",
        "Create the empty catalogs C:\\ActMirto\\indices.mdb, relacion.mdb and consulta.mdb.\n"
        "An existing catalog is left alone (nothing is created) unless --force is given.");
    auto force = std::make_shared<bool>(false);
    init->add_flag("--force", *force, "Replace catalogs that already exist with empty ones");
    init->callback([force] {
        // Replacing the catalogs under a run that works through them would hand it empty ones.
        std::unique_ptr<platform::FolderLock> lock;
        try {
            lock = catalogs::LockCatalogs();
        } catch (const Error& e) {
            std::cerr << ErrorText(e) << "\n";
            throw CLI::RuntimeError(kExitCannotStart);
        }
        try {
            catalogs::CreateCatalogs(*force);
        } catch (...) {
            throw CLI::RuntimeError(ReportFailure(std::cerr));
        }
        for (const std::string& path : catalogs::CatalogPaths())
            std::cout << "Catálogo creado: " << path << "\n";
    });
}

}  // namespace actualiz::cli
