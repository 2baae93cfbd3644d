#include <filesystem>

#include <sqlite3.h>

#include "engine/EngineError.h"
#include "engine/FieldRules.h"
#include "engine/Names.h"
#include "engine/RecordsetValues.h"
#include "engine/SchemaJson.h"
#include "engine/Sqlite.h"
#include "jet/JetReader.h"
#include "jet/JetText.h"

namespace actualiz::engine {

using jet::NameList;
using jet::Quoted;
using nlohmann::json;

namespace {

// The classic engine lets a rule be set without checking the rows already there. The rows win:
// the rules go, and are reported.
void DropValidationRules(json& tables, std::vector<std::string>& notes) {
    for (auto& t : tables) {
        std::vector<std::string> ruled;
        if (t.contains("validationRule")) ruled.push_back(t.at("name").get<std::string>());
        t.erase("validationRule");
        t.erase("validationText");
        for (auto& f : t.at("fields")) {
            if (f.contains("validationRule")) ruled.push_back(f.at("name").get<std::string>());
            f.erase("validationRule");
            f.erase("validationText");
        }
        if (!ruled.empty())
            notes.push_back("Tabla " + Quoted(t.at("name").get<std::string>()) +
                            ": hay filas que no cumplen las reglas de validación del archivo; "
                            "las reglas de " +
                            NameList(ruled) + " no se trasladan");
    }
}

// One table's rows through one prepared statement. Each value is converted and checked as a
// record set's Update converts and checks it (the rules the engine keeps for a field: Required,
// AllowZeroLength, size, type); the file's own constraints and triggers do the rest. A row is
// not read back: nothing shows it.
void WriteTableRows(Database& db, const std::string& name, const json& rows) {
    struct Column {
        std::string name;
        short type;
        long size;
        bool required, allowZeroLength, counter;
    };
    std::vector<Column> columns;
    std::string names, marks;
    for (const auto& f : db.TableDefs()[name]->Fields()) {
        columns.push_back({f->Name(), f->Type(), f->Size(), f->Required(), f->AllowZeroLength(),
                           (f->Attributes() & dbAutoIncrField) != 0});
        names += (names.empty() ? "" : ", ") + QuoteIdentifier(f->Name());
        marks += marks.empty() ? "?" : ", ?";
    }
    detail::Statement insert(
        db.Conn(),
        "INSERT INTO " + QuoteIdentifier(name) + " (" + names + ") VALUES (" + marks + ")", name);
    for (const auto& row : rows) {
        if (row.size() != columns.size()) throw MakeError(err::kValueTypeMismatch, name);
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const Column& c = columns[i];
            Value v = detail::ConvertForField(ValueFromJson(row[i]), c.type, c.size, c.name);
            if (IsNull(v)) {
                if (c.required && !c.counter) throw MakeError(err::kFieldRequired, c.name);
            } else if (auto* t = std::get_if<std::string>(&v)) {
                if (t->empty() && !c.allowZeroLength && (c.type == dbText || c.type == dbMemo))
                    throw MakeError(err::kZeroLength, c.name);
            }
            insert.Bind(static_cast<int>(i) + 1, v);
        }
        insert.Run();
        sqlite3_reset(insert.get());
    }
}

// Tables, their rows, then their indexes (one index build over all rows is cheaper than keeping
// it up to date row by row), all in one transaction: all or nothing. A failure removes the new
// file, however the path was written.
std::shared_ptr<Database> BuildTables(std::string_view outPath, const json& tables) {
    auto db = CreateDatabase(outPath);
    try {
        WriteGroup build(*db);
        for (const auto& t : tables) AppendTable(*db, t);
        // The rows are the file's own: a rule that reads the clock (its triggers) is checked only
        // on rows written after the import, as the classic engine checks it.
        for (const auto& table : db->TableDefs()) detail::DropRuleTriggers(db->Conn(), *table);
        for (const auto& t : tables)
            if (t.contains("rows"))
                WriteTableRows(*db, t.at("name").get<std::string>(), t.at("rows"));
        for (const auto& table : db->TableDefs()) detail::CreateRuleTriggers(db->Conn(), *table);
        for (const auto& t : tables) AppendIndexes(*db, t);
        build.Commit();
    } catch (...) {
        DiscardHalfBuilt(*db);
        throw;
    }
    return db;
}

// Relations and queries one by one (each a savepoint of one transaction), since the engine may
// refuse one the classic engine accepted (a relation whose text keys only match without letter
// case, a pass-through query's text) and the rest still counts.
void AppendLinks(Database& db, const json& document, std::vector<std::string>& notes) {
    auto appendEach = [&](const char* key, const std::string& kind,
                          void (*append)(Database&, const json&)) {
        for (const auto& item : document.at(key)) {
            std::string name = item.at("name").get<std::string>();
            try {
                append(db, item);
            } catch (const Error& e) {
                notes.push_back(kind + " " + Quoted(name) + ": el motor no la admite (Error " +
                                std::to_string(e.number()) + ": " + e.description() +
                                ") y no se traslada");
            }
        }
    };
    WriteGroup links(db);
    appendEach("relations", "Relación", AppendRelation);
    appendEach("queries", "Consulta", AppendQuery);
    links.Commit();
}

}  // namespace

std::shared_ptr<Database> ImportJetFile(const std::filesystem::path& jetFile,
                                        std::string_view outPath, const JetReadOptions& options,
                                        std::vector<std::string>* notCarried) {
    return ImportJetContents(ReadJetFile(jetFile, options), outPath, notCarried);
}

std::shared_ptr<Database> ImportJetContents(JetContents contents, std::string_view outPath,
                                            std::vector<std::string>* notCarried) {
    std::vector<std::string> notes = std::move(contents.notCarried);

    // Tables with their rows and indexes, all or nothing, in one transaction.
    json& tables = contents.document.at("tables");
    std::shared_ptr<Database> db;
    try {
        db = BuildTables(outPath, tables);
    } catch (const EngineError& e) {
        if (e.number() != err::kValidationRule) throw;
        DropValidationRules(tables, notes);
        db = BuildTables(outPath, tables);
    }
    AppendLinks(*db, contents.document, notes);
    if (notCarried) *notCarried = std::move(notes);
    return db;
}

}  // namespace actualiz::engine
