#include "cli/Report.h"
#include "cli/DiffCommand.h"
#include "cli/Errors.h"

#include <sstream>

#include "engine/EngineError.h"
#include "engine/Names.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

using nlohmann::json;

namespace {

using Kind = engine::SchemaDifference::Kind;
using Change = engine::SchemaDifference::Change;

// Every index of a structure, as "table.index", in collection order; `keep` picks them.
template <typename Keep>
std::vector<std::string> IndexNames(const engine::DatabaseSchema& schema, Keep keep) {
    std::vector<std::string> names;
    for (const engine::TableSchema& table : schema.tables)
        for (const engine::IndexSchema& index : table.indexes)
            if (keep(table.name, index.name)) names.push_back(table.name + "." + index.name);
    return names;
}

// Whether the differences put the index table.index on one side only (`change`): by itself, or
// with its whole table.
bool OnlyOnOneSide(const std::vector<engine::SchemaDifference>& differences, Change change,
                   const std::string& table, const std::string& index) {
    for (const engine::SchemaDifference& d : differences) {
        if (d.change != change) continue;
        if (d.kind == Kind::Table && engine::SameName(d.name, table)) return true;
        if (d.kind == Kind::Index && engine::SameName(d.table, table) &&
            engine::SameName(d.name, index))
            return true;
    }
    return false;
}

// The counts of one kind of object before and after, with what the differences (after against
// before) say came and went.
ObjectChanges Changes(std::size_t before, std::size_t after,
                      const std::vector<engine::SchemaDifference>& differences, Kind kind) {
    ObjectChanges changes;
    changes.before = static_cast<int>(before);
    changes.after = static_cast<int>(after);
    for (const engine::SchemaDifference& d : differences) {
        if (d.kind != kind) continue;
        if (d.change == Change::OnlyInModel) changes.added.push_back(d.name);
        if (d.change == Change::OnlyInOld) changes.removed.push_back(d.name);
    }
    return changes;
}

json ChangesJson(const ObjectChanges& c) {
    return {{"before", c.before}, {"after", c.after}, {"added", c.added}, {"removed", c.removed}};
}

json FailureJson(const Failure& f, bool withDatabase) {
    json j = {{"command", f.command}, {"number", f.number}, {"description", f.description}};
    if (withDatabase) j["database"] = f.database;
    if (!f.file.empty() && f.file != f.database) j["file"] = f.file;
    return j;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += ", ";
        out += item;
    }
    return out;
}

std::string ChangesText(const ObjectChanges& c, const char* addedWord, const char* removedWord) {
    std::string text = std::to_string(c.before) + " -> " + std::to_string(c.after);
    std::string detail;
    if (!c.added.empty()) detail += std::string(addedWord) + ": " + Joined(c.added);
    if (!c.removed.empty()) {
        if (!detail.empty()) detail += "; ";
        detail += std::string(removedWord) + ": " + Joined(c.removed);
    }
    if (!detail.empty()) text += " (" + detail + ")";
    return text;
}

std::string FailureText(const Failure& f) {
    // A failure of another file than the old database (its model, a catalog) says which.
    const std::string at = f.file.empty() || f.file == f.database ? "" : " [" + f.file + "]";
    return f.command + at + ": " + ErrorText(f.number, f.description);
}

// The engine could not recognise the old database itself: not one of this program's databases.
bool UnrecognizedFormat(const DatabaseReport& db) {
    // A damaged file of ours is no file to import.
    for (const Failure& f : db.failures)
        if (f.number == engine::err::kDatabaseDamaged) return false;
    for (const Failure& f : db.failures)
        if (f.number == engine::err::kUnrecognizedFormat && (f.file.empty() || f.file == db.path))
            return true;
    return false;
}

// Each remaining difference as DifferenceKey names it, with its headline as "text" and its
// reason, when there is one, as "reason" and "planned".
json RemainingJson(const std::optional<std::vector<RemainingDifference>>& remaining) {
    if (!remaining) return nullptr;
    json list = json::array();
    for (const RemainingDifference& r : *remaining) {
        json entry = DifferenceKey(r.difference);
        entry["text"] = DifferenceHeadline(r.difference);
        if (r.reason) {
            entry["reason"] = r.reason->text;
            entry["planned"] = r.reason->planned;
        }
        list.push_back(std::move(entry));
    }
    return list;
}

// Whether the database ended as its model is, but for what the upgrade leaves so on purpose.
bool LikeItsModel(const DatabaseReport& db) {
    if (!db.error.empty() || !db.differencesFromModel) return false;
    for (const RemainingDifference& r : *db.differencesFromModel)
        if (!r.reason || !r.reason->planned) return false;
    return true;
}

}  // namespace

std::vector<std::string> TransformReport::UnlikeTheirModel() const {
    std::vector<std::string> names;
    for (const DatabaseReport& db : databases)
        if (!LikeItsModel(db)) names.push_back(db.name);
    return names;
}

void CompareStructures(const engine::DatabaseSchema& before, const engine::DatabaseSchema& after,
                       DatabaseReport& report) {
    // After the run against before: what only "the model" has is what the run brought.
    const std::vector<engine::SchemaDifference> differences = engine::CompareSchemas(after, before);
    for (const engine::SchemaDifference& d : differences) {
        if (d.change != Change::OnlyInModel) continue;
        if (d.kind == Kind::Table) report.tablesCreated.push_back(d.name);
        if (d.kind == Kind::Field) report.fieldsAppended.push_back({d.table, d.name});
    }
    auto indexCount = [](const engine::DatabaseSchema& schema) {
        std::size_t n = 0;
        for (const engine::TableSchema& table : schema.tables) n += table.indexes.size();
        return n;
    };
    report.indexes.before = static_cast<int>(indexCount(before));
    report.indexes.after = static_cast<int>(indexCount(after));
    report.indexes.added = IndexNames(after, [&](const std::string& t, const std::string& i) {
        return OnlyOnOneSide(differences, Change::OnlyInModel, t, i);
    });
    report.indexes.removed = IndexNames(before, [&](const std::string& t, const std::string& i) {
        return OnlyOnOneSide(differences, Change::OnlyInOld, t, i);
    });
    report.relations =
        Changes(before.relations.size(), after.relations.size(), differences, Kind::Relation);
    report.queries = Changes(before.queries.size(), after.queries.size(), differences, Kind::Query);
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string ImportHint(const std::string& path) {
    std::string hint = path +
                       " es una base de datos de Access (Jet), no del formato de este programa: "
                       "impórtela primero con actualiz-cli import";
    // The import writes a new file, so the Jet file steps aside first.
    try {
        const std::string host = platform::ToHostPath(path).string();
        hint += ", por ejemplo: mv " + ShellQuote(host) + " " + ShellQuote(host + ".jet") +
                " && actualiz-cli import " + ShellQuote(host + ".jet") + " " + ShellQuote(host);
    } catch (const Error&) {
    }
    return hint;
}

std::string UnrecognizedHint(const std::string& path) {
    return path +
           " no es una base de datos de este programa; si es una base de Access (Jet), "
           "impórtela primero con actualiz-cli import";
}

std::string RestoreCommand(const TransformReport& report) {
    if (!report.backup) return {};
    const BackupInfo& backup = *report.backup;
    std::string command = "cp -p";
    for (const std::string& file : backup.files)
        command += " " + ShellQuote(backup.hostFolder + "/" + file);
    command += " " + ShellQuote(backup.dataHostFolder + "/");
    std::string removals;
    for (const CopiedDatabase& copy : report.copiedIn)
        if (copy.copied) removals += " " + ShellQuote(backup.dataHostFolder + "/" + copy.name);
    if (!removals.empty()) command += " && rm -f" + removals;
    return command;
}

json ReportJson(const TransformReport& report) {
    json databases = json::array();
    for (const DatabaseReport& db : report.databases) {
        json fields = json::array();
        for (const FieldName& f : db.fieldsAppended)
            fields.push_back({{"table", f.table}, {"field", f.field}});
        json failures = json::array();
        for (const Failure& f : db.failures) failures.push_back(FailureJson(f, false));
        json entry = {{"name", db.name},
                      {"path", db.path},
                      {"model", db.model},
                      {"tablesCreated", db.tablesCreated},
                      {"fieldsAppended", fields},
                      {"indexes", ChangesJson(db.indexes)},
                      {"relations", ChangesJson(db.relations)},
                      {"queries", ChangesJson(db.queries)},
                      {"failures", failures},
                      {"differencesFromModel", RemainingJson(db.differencesFromModel)},
                      {"error", db.error.empty() ? json(nullptr) : json(db.error)}};
        if (UnrecognizedFormat(db)) entry["hint"] = UnrecognizedHint(db.path);
        databases.push_back(std::move(entry));
    }
    json copied = json::array();
    for (const CopiedDatabase& c : report.copiedIn)
        copied.push_back({{"name", c.name}, {"copied", c.copied}});
    json failures = json::array();
    for (const Failure& f : report.failures) failures.push_back(FailureJson(f, true));
    json other = json::array();
    for (const Failure& f : report.otherFailures) other.push_back(FailureJson(f, true));

    json backup = nullptr;
    if (report.backup)
        backup = {{"folder", report.backup->folder},
                  {"hostFolder", report.backup->hostFolder},
                  {"files", report.backup->files},
                  {"restore", RestoreCommand(report)}};

    return {{"dryRun", report.dryRun},
            {"programFolder", report.programFolder},
            {"modelsFolder", report.modelsFolder},
            {"dataFolder", report.dataFolder},
            {"backup", backup},
            {"backupRemoved",
             report.backupRemoved.empty() ? json(nullptr) : json(report.backupRemoved)},
            {"databases", databases},
            {"withoutModel", report.withoutModel},
            {"copiedIn", copied},
            {"failures", failures},
            {"otherFailures", other},
            {"leftoversRemoved", report.leftoversRemoved},
            {"failureCount", report.failures.size()},
            {"unlikeTheirModel", report.UnlikeTheirModel()},
            {"exitCode", report.ExitCode()}};
}

namespace {

// What kind of run it was, on which folders, and how to undo it.
void WriteHeading(const TransformReport& report, std::ostream& out) {
    if (report.dryRun)
        out << "Simulación (--dry-run): esto es lo que haría la actualización; no se ha cambiado "
               "ningún archivo.\n";
    out << "Carpeta de datos: " << report.dataFolder << "\n";
    out << "Modelos: " << report.modelsFolder << "\n";
    if (report.backup) {
        out << "Respaldo: " << report.backup->folder << " (" << report.backup->files.size()
            << (report.backup->files.size() == 1 ? " base" : " bases") << ")\n";
        out << "  Para deshacer la actualización:\n    " << RestoreCommand(report) << "\n";
    } else if (!report.backupRemoved.empty()) {
        out << "Respaldo: ninguno (la actualización no cambió ninguna base; se borró el respaldo "
            << report.backupRemoved << ")\n";
    } else if (report.noBackup) {
        out << "Respaldo: ninguno (--no-backup)\n";
    } else if (!report.dryRun) {
        out << "Respaldo: ninguno (ninguna base vieja tiene modelo: no se cambia ninguna)\n";
    }
}

// "  Diferencias con el modelo al terminar (N): ..." with the reason of each, when it has one.
void WriteRemaining(const std::vector<RemainingDifference>& remaining, std::ostream& out) {
    out << "  Diferencias con el modelo al terminar (" << remaining.size() << ")";
    std::vector<std::string> lines;
    for (const RemainingDifference& r : remaining) {
        std::string line = DifferenceHeadline(r.difference);
        if (r.reason)
            line +=
                std::string(" (") + (r.reason->planned ? "previsto: " : "") + r.reason->text + ")";
        lines.push_back(line);
    }
    if (!lines.empty()) out << ": " << Joined(lines);
    out << "\n";
}

// One old database: what the run made of it and what failed on it.
void WriteDatabase(const DatabaseReport& db, std::ostream& out) {
    out << "\n" << db.name << "\n";
    if (!db.error.empty()) out << "  No se pudo leer su estructura: " << db.error << "\n";
    out << "  Tablas creadas (" << db.tablesCreated.size() << ")";
    if (!db.tablesCreated.empty()) out << ": " << Joined(db.tablesCreated);
    out << "\n";
    std::vector<std::string> fields;
    for (const FieldName& f : db.fieldsAppended) fields.push_back(f.table + "." + f.field);
    out << "  Campos añadidos (" << fields.size() << ")";
    if (!fields.empty()) out << ": " << Joined(fields);
    out << "\n";
    out << "  Índices: " << ChangesText(db.indexes, "nuevos", "quitados") << "\n";
    out << "  Relaciones: " << ChangesText(db.relations, "nuevas", "quitadas") << "\n";
    out << "  Consultas: " << ChangesText(db.queries, "nuevas", "quitadas") << "\n";
    if (db.differencesFromModel) WriteRemaining(*db.differencesFromModel, out);
    if (db.failures.empty()) {
        out << "  Fallos: ninguno\n";
    } else {
        out << "  Fallos pasados por alto (" << db.failures.size() << "):\n";
        for (const Failure& f : db.failures) out << "    " << FailureText(f) << "\n";
    }
    if (UnrecognizedFormat(db)) out << "  " << UnrecognizedHint(db.path) << "\n";
}

// The databases the run did not upgrade, what it cleaned up, and the failures of no database.
void WriteOthers(const TransformReport& report, std::ostream& out) {
    if (!report.withoutModel.empty())
        out << "\nSin modelo (no se tocan): " << Joined(report.withoutModel) << "\n";
    std::vector<std::string> copied, notCopied;
    for (const CopiedDatabase& c : report.copiedIn)
        (c.copied ? copied : notCopied).push_back(c.name);
    out << "\nBases nuevas copiadas (" << copied.size() << ")";
    if (!copied.empty()) out << ": " << Joined(copied);
    out << "\n";
    if (!notCopied.empty()) out << "Bases nuevas sin copiar: " << Joined(notCopied) << "\n";
    if (!report.leftoversRemoved.empty())
        out << "Restos de una ejecución interrumpida, borrados: " << Joined(report.leftoversRemoved)
            << "\n";
    if (!report.otherFailures.empty()) {
        out << "Otros fallos (" << report.otherFailures.size() << "):\n";
        for (const Failure& f : report.otherFailures) out << "  " << FailureText(f) << "\n";
    }
}

// The closing line follows the whole report: a run whose steps all succeeded but that left a
// database other than its model did not go well either.
void WriteResult(const TransformReport& report, std::ostream& out) {
    out << "\n";
    const std::vector<std::string> unlike = report.UnlikeTheirModel();
    std::string unlikeText;
    if (!unlike.empty())
        unlikeText = (unlike.size() == 1 ? std::string("1 base no quedó")
                                         : std::to_string(unlike.size()) + " bases no quedaron") +
                     " como su modelo (" + Joined(unlike) +
                     "; ver \"Diferencias con el modelo al terminar\")";
    if (report.failures.empty() && unlike.empty()) {
        out << "Resultado: todos los pasos terminaron bien.\n";
    } else if (report.failures.empty()) {
        out << "Resultado: mal; ningún paso falló, pero " << unlikeText << ".\n";
    } else {
        out << "Resultado: " << report.failures.size()
            << (report.failures.size() == 1 ? " paso falló y se pasó"
                                            : " pasos fallaron y se pasaron")
            << " por alto (ver arriba)";
        if (!unlike.empty()) out << "; " << unlikeText;
        out << ".\n";
    }
}

}  // namespace

std::string ReportText(const TransformReport& report) {
    std::ostringstream out;
    WriteHeading(report, out);
    for (const DatabaseReport& db : report.databases) WriteDatabase(db, out);
    WriteOthers(report, out);
    WriteResult(report, out);
    return out.str();
}

}  // namespace actualiz::cli
