#include "cli/TransformRun.h"
#include "cli/Errors.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>

#include "app/Actualiz.h"
#include "catalogs/CatalogFiles.h"
#include "cli/Backup.h"
#include "cli/DiffCommand.h"
#include "cli/DifferenceReasons.h"
#include "engine/Engine.h"
#include "engine/SchemaModel.h"
#include "jet/JetReader.h"
#include "jet/JetWriteBack.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

namespace fs = std::filesystem;

bool HasName(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string WithHost(const std::string& windowsPath) {
    try {
        return windowsPath + " (" + platform::ToHostPath(windowsPath).string() + ")";
    } catch (const Error&) {
        return windowsPath;
    }
}

std::string ModelPath(const std::string& programFolder, const std::string& name) {
    return programFolder + "\\modelos\\" + name;
}
std::string OldPath(const std::string& dataFolder, const std::string& name) {
    return dataFolder + "\\" + name;
}

namespace {

using Plan = TransformPlan;
using Outcome = TransformOutcome;

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

// Whether the file is a real Access (Jet) file rather than one of ours.
bool IsJetModel(const std::string& windowsPath) {
    try {
        return engine::IsJetFile(platform::ToHostPath(windowsPath));
    } catch (const Error&) {
        return false;
    }
}

// What the old database still lacks of its model, each with the reason when there is one: a
// choice the upgrade makes on purpose, or the rows that stand in the way.
std::vector<RemainingDifference> RemainingDifferences(const DatabaseReport& db,
                                                      const engine::DatabaseSchema& model,
                                                      const engine::DatabaseSchema& after) {
    std::vector<RemainingDifference> remaining;
    // Opened only when there is something to explain: a real Access file just written back would
    // be read again for it.
    std::shared_ptr<engine::Database> old;
    for (Difference& d : engine::CompareSchemas(model, after)) {
        if (d.change == Difference::Change::OnlyInOld) continue;
        if (!old) old = engine::OpenDatabase(db.path);
        std::optional<DifferenceReason> reason = ExplainDifference(d, *old, db);
        remaining.push_back({std::move(d), std::move(reason)});
    }
    if (old) old->Close();
    return remaining;
}

// The window's start-up, then the data folder chosen in the directory list. False, with the
// problems in outcome, when the form cannot run.
bool StartForm(app::Actualiz& form, const Plan& plan, Outcome& outcome) {
    if (!form.Errors().empty()) {
        for (const auto& e : form.Errors())
            outcome.problems.push_back("No se puede abrir un catálogo: " +
                                       ErrorText(e.number, e.description));
        outcome.problems.push_back(
            "Vuelva a crear los catálogos, vacíos, con: actualiz-cli catalogs init --force");
        return false;
    }
    form.Run("Form_Activate");
    try {
        form.Dir1.SetPath(plan.dataFolder);
    } catch (const Error& e) {
        outcome.problems.push_back("No se puede abrir la carpeta de datos " + plan.dataFolder +
                                   ": " + ErrorText(e));
        return false;
    }
    if (!form.Errors().empty()) {
        for (const auto& e : form.Errors())
            outcome.problems.push_back(e.command + ": " + ErrorText(e.number, e.description));
        return false;
    }
    return true;
}

// The databases as the form lists them: old ones with a model are paired, the others are only
// reported.
struct Listing {
    std::string dataFolder;
    std::vector<std::string> olds;
    std::vector<std::string> models;
    std::vector<std::string> paired;
};

Listing ListDatabases(app::Actualiz& form, TransformReport& report) {
    Listing listing{form.Dir1.Path(), form.List6.Items(), form.List7.Items(), {}};
    report.dataFolder = listing.dataFolder;
    for (const std::string& name : listing.olds) {
        if (HasName(listing.models, name))
            listing.paired.push_back(name);
        else
            report.withoutModel.push_back(name);
    }
    return listing;
}

// Copies the databases about to change into a backup folder. False, with the problem in outcome,
// when it cannot: then nothing is changed.
bool BackUp(const Listing& listing, Outcome& outcome) {
    std::string problem;
    try {
        outcome.report.backup = MakeBackup(listing.dataFolder, listing.paired, std::time(nullptr));
        return true;
    } catch (const Error& e) {
        problem = ErrorText(e);
    } catch (const std::exception& e) {
        problem = e.what();
    }
    outcome.problems.push_back("No se pudo hacer el respaldo en " + WithHost(listing.dataFolder) +
                               ": " + problem + ". No se ha cambiado nada.");
    return false;
}

// One report per paired database, with its structure before the run (or why it cannot be read).
std::vector<engine::DatabaseSchema> ReadBefore(const Plan& plan, const Listing& listing,
                                               TransformReport& report) {
    std::vector<engine::DatabaseSchema> before(listing.paired.size());
    for (std::size_t i = 0; i < listing.paired.size(); ++i) {
        DatabaseReport db;
        db.name = listing.paired[i];
        db.path = OldPath(listing.dataFolder, listing.paired[i]);
        db.model = ModelPath(plan.programFolder, listing.paired[i]);
        try {
            before[i] = engine::ReadSchemaAt(db.path);
        } catch (const Error& e) {
            db.error = ErrorText(e);
        }
        report.databases.push_back(std::move(db));
    }
    return before;
}

// The structure of an old database after the run. A real Access file the run wrote back was read
// by the write-back's own verification, which kept the structure it read: it is not read again.
engine::DatabaseSchema StructureAfter(const std::string& path) {
    try {
        if (std::optional<engine::DatabaseSchema> written =
                engine::WrittenJetStructure(platform::ResolvePath(path)))
            return *written;
    } catch (const Error&) {
    }
    return engine::ReadSchemaAt(path);
}

// What the run changed in each paired database, and whether it now has what its model has.
void ReadAfter(const std::vector<engine::DatabaseSchema>& before, TransformReport& report) {
    for (std::size_t i = 0; i < report.databases.size(); ++i) {
        DatabaseReport& db = report.databases[i];
        if (!db.error.empty()) continue;
        engine::DatabaseSchema after;
        try {
            after = StructureAfter(db.path);
            CompareStructures(before[i], after, db);
        } catch (const Error& e) {
            db.error = ErrorText(e);
            continue;
        }
        try {
            db.differencesFromModel =
                RemainingDifferences(db, engine::ReadSchemaAt(db.model), after);
        } catch (const Error&) {
        }
    }
}

// Whether each new database of the models folder arrived in the data folder.
void ListCopies(app::Actualiz& form, const Plan& plan, const Listing& listing,
                const std::map<std::string, bool>& existedBefore, TransformReport& report) {
    for (const std::string& name : form.List8.Items()) {
        // A real Access model arrives imported, so its copy is not byte for byte the model.
        const std::string model = ModelPath(plan.programFolder, name);
        const std::string copy = OldPath(listing.dataFolder, name);
        const auto existed = existedBefore.find(name);
        const bool copied = !(existed != existedBefore.end() && existed->second) &&
                            (IsJetModel(model) ? ExistsAt(copy) : SameContents(model, copy));
        report.copiedIn.push_back({name, copied});
    }
}

// Every failure of the run, in order, each also under the paired database it worked on.
void CollectFailures(const app::Actualiz& form, std::size_t errorsBefore, TransformReport& report) {
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
}

}  // namespace

Outcome RunTransform(const Plan& plan, bool dryRun, bool backup, ProgressView& view) {
    Outcome outcome;
    TransformReport& report = outcome.report;
    report.dryRun = dryRun;
    report.programFolder = plan.programFolder;
    report.modelsFolder = plan.modelsFolder;

    ProgressHost host(&view);
    app::Actualiz form(host, plan.programFolder);
    host.Attach(&form);
    if (!StartForm(form, plan, outcome)) return outcome;
    const Listing listing = ListDatabases(form, report);
    if (backup && !listing.paired.empty() && !BackUp(listing, outcome)) return outcome;

    const std::vector<engine::DatabaseSchema> before = ReadBefore(plan, listing, report);
    std::map<std::string, bool> existedBefore;
    for (const std::string& name : listing.models)
        if (!HasName(listing.olds, name))
            existedBefore[name] = ExistsAt(OldPath(listing.dataFolder, name));

    const std::size_t errorsBefore = form.Errors().size();
    form.Run("Command13_Click");
    view.Finish(form);

    ReadAfter(before, report);
    ListCopies(form, plan, listing, existedBefore, report);
    CollectFailures(form, errorsBefore, report);
    DropBackupIfNothingChanged(report);
    return outcome;
}

std::vector<std::string> CheckBeforeChange(const TransformPlan& plan) {
    std::vector<std::string> problems;
    bool remake = false;
    for (const Error& e : catalogs::CatalogProblems()) {
        // The engine's own failures may not name the file; the checks' own always do.
        const bool named = e.description().find(e.file()) != std::string::npos;
        problems.push_back((named ? "" : "No se puede usar el catálogo " + e.file() + ": ") +
                           ErrorText(e));
        remake = remake || e.number() != err::kReadOnly;
    }
    if (remake)
        problems.push_back(
            "Vuelva a crear los catálogos, vacíos, con: actualiz-cli catalogs init --force");
    // Every paired database is upgraded from its model: one that cannot be read would leave its
    // database half done.
    for (const std::string& name : plan.paired) {
        const std::string model = ModelPath(plan.programFolder, name);
        try {
            engine::ReadSchemaAt(model);
        } catch (const Error& e) {
            problems.push_back("No se puede leer el modelo " + WithHost(model) + ": " +
                               ErrorText(e) + ". Ponga en su lugar el modelo correcto.");
        }
    }
    return problems;
}

}  // namespace actualiz::cli
