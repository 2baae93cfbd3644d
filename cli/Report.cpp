#include "cli/Report.h"
#include "cli/Errors.h"

#include <sstream>

#include "engine/EngineError.h"
#include "engine/Names.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

using nlohmann::json;

namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& candidate : names)
        if (engine::SameName(candidate, name)) return true;
    return false;
}

const json* FindTable(const json& document, const std::string& name) {
    for (const json& table : document.at("tables"))
        if (engine::SameName(table.at("name").get<std::string>(), name)) return &table;
    return nullptr;
}

std::vector<std::string> IndexNames(const json& document) {
    std::vector<std::string> names;
    for (const json& table : document.at("tables"))
        for (const json& index : table.at("indexes"))
            names.push_back(table.at("name").get<std::string>() + "." +
                            index.at("name").get<std::string>());
    return names;
}

std::vector<std::string> Names(const json& list) {
    std::vector<std::string> names;
    for (const json& item : list) names.push_back(item.at("name").get<std::string>());
    return names;
}

ObjectChanges Changes(const std::vector<std::string>& before,
                      const std::vector<std::string>& after) {
    ObjectChanges changes;
    changes.before = static_cast<int>(before.size());
    changes.after = static_cast<int>(after.size());
    for (const std::string& name : after)
        if (!Contains(before, name)) changes.added.push_back(name);
    for (const std::string& name : before)
        if (!Contains(after, name)) changes.removed.push_back(name);
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

}  // namespace

void CompareStructures(const json& before, const json& after, DatabaseReport& report) {
    for (const json& table : after.at("tables")) {
        const std::string name = table.at("name").get<std::string>();
        const json* old = FindTable(before, name);
        if (!old) {
            report.tablesCreated.push_back(name);
            continue;
        }
        const std::vector<std::string> oldFields = Names(old->at("fields"));
        for (const json& field : table.at("fields")) {
            const std::string fieldName = field.at("name").get<std::string>();
            if (!Contains(oldFields, fieldName)) report.fieldsAppended.push_back({name, fieldName});
        }
    }
    report.indexes = Changes(IndexNames(before), IndexNames(after));
    report.relations = Changes(Names(before.at("relations")), Names(after.at("relations")));
    report.queries = Changes(Names(before.at("queries")), Names(after.at("queries")));
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
                      {"differencesFromModel",
                       db.differencesFromModel ? json(*db.differencesFromModel) : json(nullptr)},
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
            {"databases", databases},
            {"withoutModel", report.withoutModel},
            {"copiedIn", copied},
            {"failures", failures},
            {"otherFailures", other},
            {"leftoversRemoved", report.leftoversRemoved},
            {"failureCount", report.failures.size()},
            {"exitCode", report.ExitCode()}};
}

std::string ReportText(const TransformReport& report) {
    std::ostringstream out;
    if (report.dryRun)
        out << "Simulación (--dry-run): esto es lo que haría la actualización; no se ha cambiado "
               "ningún archivo.\n";
    out << "Carpeta de datos: " << report.dataFolder << "\n";
    out << "Modelos: " << report.modelsFolder << "\n";
    if (report.backup) {
        out << "Respaldo: " << report.backup->folder << " (" << report.backup->files.size()
            << (report.backup->files.size() == 1 ? " base" : " bases") << ")\n";
        out << "  Para deshacer la actualización:\n    " << RestoreCommand(report) << "\n";
    } else if (report.noBackup) {
        out << "Respaldo: ninguno (--no-backup)\n";
    } else if (!report.dryRun) {
        out << "Respaldo: ninguno (ninguna base vieja tiene modelo: no se cambia ninguna)\n";
    }

    for (const DatabaseReport& db : report.databases) {
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
        if (db.differencesFromModel) {
            out << "  Diferencias con el modelo al terminar (" << db.differencesFromModel->size()
                << ")";
            std::vector<std::string> lines;
            for (const json& d : *db.differencesFromModel) {
                std::string line = d.at("text");
                if (d.contains("reason"))
                    line += std::string(" (") + (d.value("planned", false) ? "previsto: " : "") +
                            d.at("reason").get<std::string>() + ")";
                lines.push_back(line);
            }
            if (!lines.empty()) out << ": " << Joined(lines);
            out << "\n";
        }
        if (db.failures.empty()) {
            out << "  Fallos: ninguno\n";
        } else {
            out << "  Fallos pasados por alto (" << db.failures.size() << "):\n";
            for (const Failure& f : db.failures) out << "    " << FailureText(f) << "\n";
        }
        if (UnrecognizedFormat(db)) out << "  " << UnrecognizedHint(db.path) << "\n";
    }

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

    out << "\n";
    if (report.failures.empty())
        out << "Resultado: todos los pasos terminaron bien.\n";
    else
        out << "Resultado: " << report.failures.size()
            << (report.failures.size() == 1 ? " paso falló y se pasó"
                                            : " pasos fallaron y se pasaron")
            << " por alto (ver arriba).\n";
    return out.str();
}

}  // namespace actualiz::cli
