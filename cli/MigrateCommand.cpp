#include "cli/MigrateCommand.h"
#include "cli/Errors.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/Actualiz.h"
#include "app/FixedMigrations.h"
#include "cli/FormRunner.h"
#include "cli/RunGuard.h"
#include "cli/TransformCommand.h"
#include "engine/Engine.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

namespace {

using Migration = app::FixedMigration;

const Migration* FindMigration(const std::string& name) {
    return app::FixedMigrationByName(name);
}

}  // namespace

std::string MigrationHandler(const std::string& migration) {
    const Migration* m = FindMigration(migration);
    return m ? m->handler : "";
}

int MigrateCommand(const std::string& migration, const std::string& dataDir,
                   const std::string& programDir, std::ostream& out, std::ostream& err) {
    const Migration* m = FindMigration(migration);
    if (!m) {
        err << "actualiz-cli migrate: no hay ninguna migración llamada \"" << migration
            << "\" (gastosgen, histoprod o auxcli)\n";
        return 2;
    }
    // The migrations need no models; the program folder only gives the form its start-up.
    std::string programFolder = "C:\\";
    try {
        programFolder = ResolveProgramDir(programDir);
    } catch (const UsageError& e) {
        if (!programDir.empty()) {
            err << "actualiz-cli migrate: " << e.what() << "\n";
            return 2;
        }
    }

    std::string dataFolder = app::Actualiz::kDefaultDataFolder;
    if (!dataDir.empty()) {
        try {
            dataFolder = WindowsFolderArgument(dataDir);
        } catch (const Error&) {
            err << "actualiz-cli migrate: la carpeta de datos " << dataDir
                << " no está en ninguna unidad del prefijo\n";
            return kExitCannotStart;
        }
    }
    // The window would quietly fall back to "c:\" without its default folder; here a migration
    // must not change the wrong clientes.mdb.
    if (!platform::DirectoryExists(dataFolder)) {
        err << "actualiz-cli migrate: no existe la carpeta de datos " << dataFolder;
        if (dataDir.empty()) err << " (la de omisión; indique otra con --data-dir RUTA)";
        err << "\n";
        return kExitCannotStart;
    }

    // One run at a time in a data folder; the lock is held until the migration has ended.
    const DataFolderLock lock = LockDataFolder(dataFolder);
    if (!lock.busy.empty()) {
        err << "actualiz-cli migrate: " << lock.busy << "\n";
        return kMigrateBusy;
    }
    // What a killed run left beside the databases (the copy a write-back into an Access file was
    // saving, say) goes, as transform removes it, and is said.
    const std::vector<std::string> leftovers = RemoveLeftovers(dataFolder);
    if (!leftovers.empty()) {
        err << "Restos de una ejecución interrumpida, borrados:";
        for (const std::string& left : leftovers) err << " " << left;
        err << "\n";
    }

    app::RecordingHost host;
    app::Actualiz form(host, programFolder);
    // The catalogs are opened when the window loads, but no migration reads them: a missing
    // one does not matter here.
    form.Errors().clear();
    form.Run("Form_Activate");
    try {
        form.Dir1.SetPath(dataFolder);
    } catch (const Error& e) {
        err << ErrorText(e) << "\n";
        return kExitCannotStart;
    }
    const std::string database = form.Dir1.Path() + "\\" + m->database;
    if (!platform::FileExists(database)) {
        err << "actualiz-cli migrate: no existe la base " << database << "\n";
        return kExitCannotStart;
    }
    form.Errors().clear();
    form.Run(m->handler);

    using Outcome = app::Actualiz::MigrationOutcome;
    const Outcome outcome = form.LastMigration();
    for (const auto& message : host.Messages()) out << message.text << "\n";
    for (const auto& e : form.Errors()) err << ErrorText(e.number, e.description) << "\n";
    if (host.Messages().empty() && form.Errors().empty()) {
        if (outcome == Outcome::TableThere)
            err << app::TableAlreadyThere(*m) << "\n";
        else if (outcome != Outcome::Done)
            err << "La migración terminó sin decir \"Terminado\"\n";
    }
    return outcome == Outcome::Done ? 0 : 1;
}

void AddMigrateCommand(CLI::App& app) {
    auto* migrate = app.add_subcommand(
        "migrate",
        "Aplica una de las tres migraciones fijas a la carpeta de datos:\n"
        "  gastosgen  tabla gastosgen en almacen.mdb (Command27_Click)\n"
        "  histoprod  tabla histoprod en clientes.mdb (Command25_Click)\n"
        "  auxcli     tabla auxcli en clientes.mdb (Command26_Click)\n"
        "Salida: 0 si terminó con \"Terminado\", 1 en otro caso, 3 no se pudo empezar (falta "
        "la carpeta de datos o la base, u otra ejecución trabaja en la carpeta de datos).");
    auto migration = std::make_shared<std::string>();
    auto dataDir = std::make_shared<std::string>();
    auto programDir = std::make_shared<std::string>();
    migrate->add_option("MIGRACION", *migration, "gastosgen, histoprod o auxcli")
        ->required()
        ->check(CLI::IsMember({"gastosgen", "histoprod", "auxcli"}));
    migrate->add_option("--data-dir", *dataDir,
                        "Carpeta de las bases (ruta Windows o del sistema); por omisión la de "
                        "la ventana");
    migrate->add_option("--program-dir", *programDir,
                        "Carpeta del programa (ruta Windows o del sistema)");
    migrate->callback([migration, dataDir, programDir] {
        int status = MigrateCommand(*migration, *dataDir, *programDir, std::cout, std::cerr);
        if (status != 0) throw CLI::RuntimeError(status);
    });
}

}  // namespace actualiz::cli
