#include "cli/TransformCommand.h"
#include "cli/Errors.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "catalogs/CatalogFiles.h"
#include "catalogs/CatalogLock.h"
#include "cli/FormRunner.h"
#include "cli/Progress.h"
#include "cli/Report.h"
#include "cli/RunGuard.h"
#include "cli/Sandbox.h"
#include "cli/ScopedPrefix.h"
#include "cli/TransformRun.h"
#include "engine/Engine.h"
#include "jet/JetReader.h"
#include "jet/JetWriteBack.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/ProgramFolder.h"

namespace actualiz::cli {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool IsDotEntry(const std::string& name) {
    return name == "." || name == "..";
}

std::vector<std::string> Entries(const std::string& pattern) {
    std::vector<std::string> names;
    for (std::string& name : platform::FindEntries(pattern))
        if (!IsDotEntry(name)) names.push_back(std::move(name));
    return names;
}

std::string PrefixInUse() {
    return platform::DriveMap::FromEnvironment().prefix().string();
}

// Everything that keeps the run from starting, each with what to do about it; empty when it can.
std::vector<std::string> CheckStart(TransformPlan& plan, bool dataDirGiven) {
    std::vector<std::string> problems;

    std::vector<std::string> missing;
    for (const std::string& catalog : catalogs::CatalogPaths())
        if (!platform::FileExists(catalog)) missing.push_back(catalog);
    if (!missing.empty()) {
        for (const std::string& catalog : missing)
            problems.push_back("Falta el catálogo " + WithHost(catalog) + ".");
        problems.push_back(
            "Los catálogos se crean (vacíos) con: actualiz-cli catalogs init   (prefijo en uso: " +
            PrefixInUse() + ")");
    }

    if (!platform::DirectoryExists(plan.dataFolder)) {
        if (dataDirGiven)
            problems.push_back("No existe la carpeta de datos " + WithHost(plan.dataFolder) +
                               ". Indique una carpeta que exista con --data-dir RUTA.");
        else
            problems.push_back("No existe la carpeta de datos por omisión " +
                               WithHost(plan.dataFolder) +
                               ". Indique la carpeta de las bases con --data-dir RUTA (o cree una "
                               "demostración con: actualiz-cli demo CARPETA).");
    }
    if (!platform::DirectoryExists(plan.modelsFolder))
        problems.push_back("No existe la carpeta de modelos " + WithHost(plan.modelsFolder) + ". " +
                           platform::ProgramFolderRule());
    if (!problems.empty()) return problems;
    if (auto same = SameFolderProblem(plan.dataFolder, plan.modelsFolder)) return {*same};

    plan.models = Entries(app::Actualiz::ModelPattern(plan.programFolder));
    plan.olds = Entries(app::Actualiz::OldDatabasePattern(plan.dataFolder));
    for (const std::string& name : plan.olds)
        if (HasName(plan.models, name)) plan.paired.push_back(name);

    // A real Access file among the old databases is changed in place when it is a Jet 4 file
    // (Access 2000-2003). Others (Jet 3, ACE) are only read, so every step would fail on them;
    // better to say at once what to do with them, before anything is touched. Jet models are
    // fine: the upgrade only reads them.
    for (const std::string& name : plan.paired) {
        const std::string path = OldPath(plan.dataFolder, name);
        try {
            const fs::path host = platform::ToHostPath(path);
            if (engine::IsJetFile(host) && !engine::IsJet4File(host))
                problems.push_back(ImportHint(path) + ".");
        } catch (const Error&) {
        }
    }
    return problems;
}

// The upgrade on copies of everything the run opens, at the same Windows paths: the catalogs, the
// models, and the old databases that will change. The others are only listed, so an empty file of
// the same name stands in for them.
TransformOutcome DryRun(const TransformPlan& plan, ProgressView& view) {
    Sandbox sandbox;
    sandbox.Folder(plan.dataFolder);
    sandbox.Folder(plan.modelsFolder);
    for (const std::string& catalog : catalogs::CatalogPaths()) sandbox.CopyFile(catalog);
    for (const std::string& name : plan.models)
        sandbox.CopyFile(ModelPath(plan.programFolder, name));
    for (const std::string& name : plan.olds) {
        if (HasName(plan.paired, name))
            sandbox.CopyFile(OldPath(plan.dataFolder, name));
        else
            sandbox.Placeholder(OldPath(plan.dataFolder, name));
    }
    ScopedPrefix inSandbox(sandbox.Root());
    return RunTransform(plan, /*dryRun=*/true, /*backup=*/false, view);
}

int CannotStart(const std::vector<std::string>& problems, bool asJson, std::ostream& out,
                std::ostream& err) {
    err << "actualiz-cli transform: no se puede empezar; no se ha cambiado nada.\n";
    for (const std::string& problem : problems) err << "  " << problem << "\n";
    if (asJson)
        out << json{{"exitCode", kTransformCannotStart}, {"problems", problems}}.dump(2) << "\n";
    return kTransformCannotStart;
}

}  // namespace

std::string WindowsFolderArgument(const std::string& argument) {
    if (platform::HasDriveLetter(argument)) return argument;
    fs::path host = fs::absolute(argument).lexically_normal();
    if (host.has_relative_path() && !host.has_filename()) host = host.parent_path();
    std::optional<std::string> windows = platform::ToWindowsPath(host);
    if (!windows) throw platform::PathNotFound(host.string());
    return *windows;
}

int TransformCommand(const TransformOptions& options, std::ostream& out, std::ostream& err,
                     bool terminal) {
    TransformPlan plan;
    try {
        plan.programFolder = ResolveProgramDir(options.programDir);
    } catch (const UsageError& e) {
        if (!options.programDir.empty()) {
            err << "actualiz-cli transform: " << e.what() << "\n";
            return kTransformUsage;
        }
        return CannotStart({std::string("La carpeta del programa no está en ninguna unidad del "
                                        "prefijo; indíquela con --program-dir RUTA (") +
                            e.what() + ")."},
                           options.json, out, err);
    }
    plan.modelsFolder = plan.programFolder;
    if (plan.modelsFolder.empty() || plan.modelsFolder.back() != '\\') plan.modelsFolder += "\\";
    plan.modelsFolder += "modelos";

    const bool dataDirGiven = !options.dataDir.empty();
    try {
        plan.dataFolder = dataDirGiven ? WindowsFolderArgument(options.dataDir)
                                       : std::string(app::Actualiz::kDefaultDataFolder);
    } catch (const Error&) {
        return CannotStart({"La carpeta de datos " + options.dataDir +
                            " no está en ninguna unidad del prefijo " + PrefixInUse() + "."},
                           options.json, out, err);
    }

    std::vector<std::string> problems = CheckStart(plan, dataDirGiven);
    if (!problems.empty()) return CannotStart(problems, options.json, out, err);
    // Held until the report is written: a second run in the same folder is refused, not
    // interleaved with this one.
    const DataFolderLock lock = LockDataFolder(plan.dataFolder);
    if (!lock.busy.empty()) return CannotStart({lock.busy}, options.json, out, err);
    // The catalogs are one set for every data folder and the window: a real run holds them until
    // its report is written. A preview works on copies of its own.
    std::unique_ptr<platform::FolderLock> catalogLock;
    if (!options.dryRun) {
        try {
            catalogLock = catalogs::LockCatalogs();
        } catch (const Error& e) {
            return CannotStart({ErrorText(e)}, options.json, out, err);
        }
    }
    problems = CheckBeforeChange(plan);
    if (!problems.empty()) return CannotStart(problems, options.json, out, err);
    // What killed runs left behind: the copies of a preview wherever it ran, and the temporary
    // files of a real run in this folder (a preview leaves the data folder alone).
    std::vector<std::string> leftovers = Sandbox::RemoveAbandoned();
    if (!options.dryRun)
        for (std::string& left : RemoveLeftovers(plan.dataFolder))
            leftovers.push_back(std::move(left));

    ProgressView view(err, terminal);
    TransformOutcome outcome;
    try {
        if (options.dryRun)
            outcome = DryRun(plan, view);
        else
            outcome = RunTransform(plan, /*dryRun=*/false, /*backup=*/!options.noBackup, view);
    } catch (const Error& e) {
        return CannotStart({ErrorText(e)}, options.json, out, err);
    } catch (const fs::filesystem_error& e) {
        return CannotStart({std::string("No se pudo preparar la simulación: ") + e.what()},
                           options.json, out, err);
    }
    if (!outcome.problems.empty()) return CannotStart(outcome.problems, options.json, out, err);

    outcome.report.noBackup = options.noBackup;
    outcome.report.leftoversRemoved = std::move(leftovers);
    if (options.json)
        out << ReportJson(outcome.report).dump(2) << "\n";
    else
        out << ReportText(outcome.report);
    out.flush();
    return outcome.report.ExitCode();
}

void AddTransformCommand(CLI::App& app) {
    auto* transform = app.add_subcommand(
        "transform",
        "Actualiza la estructura de las bases de la carpeta de datos según sus modelos "
        "(la orden \"Transformar\" de la ventana).\n"
        "Salida: 0 todo bien (o nada que hacer), 1 algún paso falló o alguna base no quedó como su "
        "modelo (el informe lo dice), "
        "3 no se pudo empezar (faltan catálogos o carpetas, un catálogo o un modelo no se puede "
        "usar, otra ejecución tiene la carpeta de datos o los catálogos); no se cambió nada.");
    auto options = std::make_shared<TransformOptions>();
    transform->add_option("--data-dir", options->dataDir,
                          "Carpeta de las bases viejas (ruta Windows o del sistema); por omisión "
                          "la de la ventana");
    transform->add_option("--program-dir", options->programDir,
                          "Carpeta del programa, la que contiene \"modelos\" (ruta Windows o del "
                          "sistema); sin ella, la de ACTUALIZ_PROGRAM_DIR o la primera que "
                          "tenga \"modelos\" (man actualiz-cli)");
    transform->add_flag("--dry-run", options->dryRun,
                        "Ensaya la actualización sobre copias y dice qué cambiaría, sin cambiar "
                        "nada");
    transform->add_flag("--json", options->json, "Imprime el informe como un documento JSON");
    transform->add_flag("--no-backup", options->noBackup,
                        "No copia las bases que van a cambiar a respaldo-AAAAMMDD-HHMMSS");
    transform->callback([options] {
        const bool terminal = ::isatty(STDERR_FILENO) != 0;
        int status = TransformCommand(*options, std::cout, std::cerr, terminal);
        if (status != 0) throw CLI::RuntimeError(status);
    });
}

}  // namespace actualiz::cli
