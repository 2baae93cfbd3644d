#include "engine/EngineError.h"
#include "engine/SchemaJson.h"
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
    JetContents contents = ReadJetFile(jetFile, options);
    std::vector<std::string> notes = std::move(contents.notCarried);

    // Tables with their rows and indexes, all or nothing, in one transaction.
    auto build = [&]() {
        return BuildDatabase(outPath, json{{"tables", contents.document.at("tables")}});
    };
    std::shared_ptr<Database> db;
    try {
        db = build();
    } catch (const EngineError& e) {
        if (e.number() != err::kValidationRule) throw;
        DropValidationRules(contents.document.at("tables"), notes);
        db = build();
    }
    AppendLinks(*db, contents.document, notes);
    if (notCarried) *notCarried = std::move(notes);
    return db;
}

}  // namespace actualiz::engine
