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
        "catalogs",
        "Los catálogos de índices, relaciones y consultas con los que trabaja la transformación");
    group->require_subcommand(1);

    auto* init = group->add_subcommand(
        "init",
        "Crea vacíos los catálogos C:\\ActMirto\\indices.mdb, relacion.mdb y consulta.mdb.\n"
        "Si ya existe alguno no se crea nada, salvo con --force.");
    auto force = std::make_shared<bool>(false);
    init->add_flag("--force", *force, "Sustituye por catálogos vacíos los que ya existen");
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
