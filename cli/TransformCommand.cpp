#include "cli/TransformCommand.h"
#include "cli/Errors.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "catalogs/CatalogFiles.h"
#include "cli/Backup.h"
#include "cli/DiffCommand.h"
#include "cli/DifferenceReasons.h"
#include "cli/FormRunner.h"
#include "cli/Progress.h"
#include "cli/Report.h"
#include "cli/RunGuard.h"
#include "cli/Sandbox.h"
#include "cli/ScopedPrefix.h"
#include "engine/Engine.h"
#include "engine/JetReader.h"
#include "engine/SchemaJson.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool IsDotEntry(const std::string& name) {
    return name == "." || name == "..";
}

bool Has(const std::vector<std::string>& names, const std::string& name) {
    // The window pairs databases by exact name, letter case included; so does everything here.
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<std::string> Entries(const std::string& pattern) {
    std::vector<std::string> names;
    for (std::string& name : platform::FindEntries(pattern))
        if (!IsDotEntry(name)) names.push_back(std::move(name));
    return names;
}

// "c:\x (/home/ana/.wine/drive_c/x)": people look for the file on this system.
std::string WithHost(const std::string& windowsPath) {
    try {
        return windowsPath + " (" + platform::ToHostPath(windowsPath).string() + ")";
    } catch (const Error&) {
        return windowsPath;
    }
}

std::string PrefixInUse() {
    return platform::DriveMap::FromEnvironment().prefix().string();
}

// The paths exactly as the driver builds them, so that what it records can be matched.
std::string ModelPath(const std::string& programFolder, const std::string& name) {
    return programFolder + "\\modelos\\" + name;
}
std::string OldPath(const std::string& dataFolder, const std::string& name) {
    return dataFolder + "\\" + name;
}

json Describe(const std::string& path) {
    auto db = engine::OpenDatabase(path);
    json document = engine::DescribeDatabase(*db);
    db->Close();
    return document;
}

bool ExistsAt(const std::string& windowsPath) {
    try {
        std::error_code ec;
        return fs::exists(platform::ToHostPath(windowsPath), ec);
    } catch (const Error&) {
        return false;
    }
}

bool SameContents(const std::string& windowsA, const std::string& windowsB) {
    try {
        std::ifstream a(platform::ToHostPath(windowsA), std::ios::binary);
        std::ifstream b(platform::ToHostPath(windowsB), std::ios::binary);
        if (!a || !b) return false;
        char bufferA[65536], bufferB[65536];
        while (true) {
            a.read(bufferA, sizeof bufferA);
            b.read(bufferB, sizeof bufferB);
            if (a.gcount() != b.gcount()) return false;
            if (std::memcmp(bufferA, bufferB, static_cast<std::size_t>(a.gcount())) != 0)
                return false;
            if (a.gcount() == 0 || !a || !b) return a.eof() && b.eof();
        }
    } catch (const Error&) {
        return false;
    }
}

bool IsJetModel(const std::string& windowsPath) {
    try {
        return engine::IsJetFile(platform::ToHostPath(windowsPath));
    } catch (const Error&) {
        return false;
    }
}

// What a run works on, worked out from the folders before anything is opened.
struct Plan {
    std::string programFolder;
    std::string modelsFolder;
    std::string dataFolder;
    std::vector<std::string> models;  // entries of the models folder
    std::vector<std::string> olds;    // entries of the data folder
    std::vector<std::string> paired;  // old databases that have a model of the same name
};

// Everything that keeps the run from starting, each with what to do about it; empty when it can.
std::vector<std::string> CheckStart(Plan& plan, bool dataDirGiven) {
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
        problems.push_back("No existe la carpeta de modelos " + WithHost(plan.modelsFolder) +
                           ". Indique la carpeta del programa, la que contiene \"modelos\", con "
                           "--program-dir RUTA.");
    if (!problems.empty()) return problems;
    if (auto same = SameFolderProblem(plan.dataFolder, plan.modelsFolder)) return {*same};

    plan.models = Entries(app::Actualiz::ModelPattern(plan.programFolder));
    plan.olds = Entries(app::Actualiz::OldDatabasePattern(plan.dataFolder));
    for (const std::string& name : plan.olds)
        if (Has(plan.models, name)) plan.paired.push_back(name);

    // A real Jet file among the old databases opens read-only, so every step would fail on it;
    // better to say at once what to do with it, before anything is touched. Jet models are fine:
    // the upgrade only reads them.
    for (const std::string& name : plan.paired) {
        const std::string path = OldPath(plan.dataFolder, name);
        try {
            if (engine::IsJetFile(platform::ToHostPath(path)))
                problems.push_back(ImportHint(path) + ".");
        } catch (const Error&) {
        }
    }
    return problems;
}

// What the old database still lacks of its model, each with the reason when there is one: a
// choice the upgrade makes on purpose, or the rows that stand in the way.
std::vector<json> RemainingDifferences(const DatabaseReport& db, const json& model,
                                       const json& after) {
    std::vector<json> remaining;
    auto old = engine::OpenDatabase(db.path);
    for (const Difference& d : DiffStructures(model, after)) {
        if (d.change == Difference::Change::OnlyInOld) continue;
        json key = DifferenceKey(d);
        key["text"] = DifferenceHeadline(d);
        if (auto reason = ExplainDifference(d, *old, db)) {
            key["reason"] = reason->text;
            key["planned"] = reason->planned;
        }
        remaining.push_back(std::move(key));
    }
    old->Close();
    return remaining;
}

struct Outcome {
    TransformReport report;
    std::vector<std::string> problems;  // not empty: the run could not start, nothing changed
};

// The upgrade itself, on whatever prefix WINEPREFIX names at the time.
Outcome Execute(const Plan& plan, bool dryRun, bool backup, ProgressView& view) {
    Outcome outcome;
    TransformReport& report = outcome.report;
    report.dryRun = dryRun;
    report.programFolder = plan.programFolder;
    report.modelsFolder = plan.modelsFolder;

    ProgressHost host(&view);
    app::Actualiz form(host, plan.programFolder);
    host.Attach(&form);
    if (!form.Errors().empty()) {
        for (const auto& e : form.Errors())
            outcome.problems.push_back("No se puede abrir un catálogo: " +
                                       ErrorText(e.number, e.description));
        outcome.problems.push_back(
            "Vuelva a crear los catálogos, vacíos, con: actualiz-cli catalogs init --force");
        return outcome;
    }

    // The window's start-up, then the data folder chosen in the directory list.
    form.Run("Form_Activate");
    try {
        form.Dir1.SetPath(plan.dataFolder);
    } catch (const Error& e) {
        outcome.problems.push_back("No se puede abrir la carpeta de datos " + plan.dataFolder +
                                   ": " + ErrorText(e));
        return outcome;
    }
    if (!form.Errors().empty()) {
        for (const auto& e : form.Errors())
            outcome.problems.push_back(e.command + ": " + ErrorText(e.number, e.description));
        return outcome;
    }

    const std::string dataFolder = form.Dir1.Path();
    report.dataFolder = dataFolder;
    const std::vector<std::string> olds = form.List6.Items();
    const std::vector<std::string> models = form.List7.Items();
    std::vector<std::string> paired;
    for (const std::string& name : olds) {
        if (Has(models, name))
            paired.push_back(name);
        else
            report.withoutModel.push_back(name);
    }

    if (backup && !paired.empty()) {
        try {
            report.backup = MakeBackup(dataFolder, paired, std::time(nullptr));
        } catch (const Error& e) {
            outcome.problems.push_back("No se pudo hacer el respaldo en " + WithHost(dataFolder) +
                                       ": " + ErrorText(e) + ". No se ha cambiado nada.");
            return outcome;
        } catch (const std::exception& e) {
            outcome.problems.push_back("No se pudo hacer el respaldo en " + WithHost(dataFolder) +
                                       ": " + e.what() + ". No se ha cambiado nada.");
            return outcome;
        }
    }

    std::vector<json> before(paired.size());
    for (std::size_t i = 0; i < paired.size(); ++i) {
        DatabaseReport db;
        db.name = paired[i];
        db.path = OldPath(dataFolder, paired[i]);
        db.model = ModelPath(plan.programFolder, paired[i]);
        try {
            before[i] = Describe(db.path);
        } catch (const Error& e) {
            db.error = ErrorText(e);
        }
        report.databases.push_back(std::move(db));
    }
    std::map<std::string, bool> existedBefore;
    for (const std::string& name : models)
        if (!Has(olds, name)) existedBefore[name] = ExistsAt(OldPath(dataFolder, name));

    const std::size_t errorsBefore = form.Errors().size();
    form.Run("Command13_Click");
    view.Finish(form);

    for (std::size_t i = 0; i < paired.size(); ++i) {
        DatabaseReport& db = report.databases[i];
        if (!db.error.empty()) continue;
        json after;
        try {
            after = Describe(db.path);
            CompareStructures(before[i], after, db);
        } catch (const Error& e) {
            db.error = ErrorText(e);
            continue;
        }
        // Whether the run reached its aim: the old database now has what its model has.
        try {
            db.differencesFromModel = RemainingDifferences(db, Describe(db.model), after);
        } catch (const Error&) {
        }
    }

    for (const std::string& name : form.List8.Items()) {
        // A real Access model arrives imported, so its copy is not byte for byte the model.
        const std::string model = ModelPath(plan.programFolder, name);
        const bool jetModel = IsJetModel(model);
        const bool copied =
            !existedBefore[name] && (jetModel ? ExistsAt(OldPath(dataFolder, name))
                                              : SameContents(model, OldPath(dataFolder, name)));
        report.copiedIn.push_back({name, copied});
    }

    std::vector<Failure> failures;
    for (const auto& s : form.Skipped())
        failures.push_back({s.command, s.database, s.file, s.number, s.description});
    for (std::size_t i = errorsBefore; i < form.Errors().size(); ++i) {
        const auto& e = form.Errors()[i];
        failures.push_back({e.command, "", "", e.number, e.description});
    }
    for (const Failure& f : failures) {
        report.failures.push_back(f);
        // Each failure names the file its step worked on (a refused copy of a new database names
        // the file it would have written), so it belongs to the paired database of that path.
        DatabaseReport* owner = nullptr;
        for (DatabaseReport& db : report.databases)
            if (db.path == f.database) owner = &db;
        if (owner)
            owner->failures.push_back(f);
        else
            report.otherFailures.push_back(f);
    }
    return outcome;
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
    Plan plan;
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
    std::vector<std::string> leftovers;
    if (!options.dryRun) leftovers = RemoveLeftovers(plan.dataFolder);

    ProgressView view(err, terminal);
    Outcome outcome;
    try {
        if (options.dryRun) {
            // Copies of everything the run opens, at the same Windows paths: the catalogs, the
            // models, and the old databases that will change. The others are only listed, so an
            // empty file of the same name stands in for them.
            Sandbox sandbox;
            sandbox.Folder(plan.dataFolder);
            sandbox.Folder(plan.modelsFolder);
            for (const std::string& catalog : catalogs::CatalogPaths()) sandbox.CopyFile(catalog);
            for (const std::string& name : plan.models)
                sandbox.CopyFile(ModelPath(plan.programFolder, name));
            for (const std::string& name : plan.olds) {
                if (Has(plan.paired, name))
                    sandbox.CopyFile(OldPath(plan.dataFolder, name));
                else
                    sandbox.Placeholder(OldPath(plan.dataFolder, name));
            }
            ScopedPrefix inSandbox(sandbox.Root());
            outcome = Execute(plan, /*dryRun=*/true, /*backup=*/false, view);
        } else {
            outcome = Execute(plan, /*dryRun=*/false, /*backup=*/!options.noBackup, view);
        }
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
        "Salida: 0 todo bien (o nada que hacer), 1 algún paso falló (el informe los lista), "
        "3 no se pudo empezar (faltan catálogos o carpetas).");
    auto options = std::make_shared<TransformOptions>();
    transform->add_option("--data-dir", options->dataDir,
                          "Carpeta de las bases viejas (ruta Windows o del sistema); por omisión "
                          "la de la ventana");
    transform->add_option("--program-dir", options->programDir,
                          "Carpeta del programa, la que contiene \"modelos\" (ruta Windows o del "
                          "sistema); por omisión la del programa en marcha");
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
