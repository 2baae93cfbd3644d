#include "cli/DiffCommand.h"
#include "cli/Errors.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <sstream>

#include "engine/Engine.h"
#include "engine/SchemaJson.h"
#include "platform/Error.h"

namespace actualiz::cli {

using nlohmann::json;
using Kind = Difference::Kind;
using Change = Difference::Change;

namespace {

const json* FindNamed(const json& list, const std::string& name) {
    for (const json& item : list)
        if (engine::SameName(item.at("name").get<std::string>(), name)) return &item;
    return nullptr;
}

// One list of named objects against another: the model's order first, then what only the old
// database has.
void DiffList(Kind kind, const std::string& table, const json& model, const json& old,
              std::vector<Difference>& out) {
    for (const json& item : model) {
        const std::string name = item.at("name").get<std::string>();
        const json* other = FindNamed(old, name);
        if (!other) out.push_back({kind, Change::OnlyInModel, table, name, item, nullptr});
        // Equal means equal in every property and spelt the same way, letter case included:
        // the engine matches either spelling, but people see the difference.
        else if (item != *other)
            out.push_back({kind, Change::Different, table, name, item, *other});
    }
    for (const json& item : old) {
        const std::string name = item.at("name").get<std::string>();
        if (!FindNamed(model, name))
            out.push_back({kind, Change::OnlyInOld, table, name, nullptr, item});
    }
}

const char* KindKey(Kind kind) {
    switch (kind) {
        case Kind::Table:
            return "table";
        case Kind::Field:
            return "field";
        case Kind::Index:
            return "index";
        case Kind::Relation:
            return "relation";
        case Kind::Query:
            return "query";
    }
    return "";
}

const char* ChangeKey(Change change) {
    switch (change) {
        case Change::OnlyInModel:
            return "onlyInModel";
        case Change::OnlyInOld:
            return "onlyInOld";
        case Change::Different:
            return "different";
    }
    return "";
}

// A field's or a table's default value and rule, as " predeterminado ... regla ...".
std::string RuleText(const json& object) {
    std::string text;
    if (object.contains("defaultValue"))
        text += " predeterminado " + object.at("defaultValue").get<std::string>();
    if (object.contains("validationRule"))
        text += " regla " + object.at("validationRule").get<std::string>();
    if (object.contains("validationText"))
        text += " («" + object.at("validationText").get<std::string>() + "»)";
    return text;
}

std::string FieldText(const json& f) {
    std::string text = engine::TypeName(f.at("type").get<short>());
    const int type = f.at("type").get<int>();
    if (type == engine::dbText || type == engine::dbBinary)
        text += " " + std::to_string(f.at("size").get<long>());
    if (f.value("attributes", 0L) & engine::dbAutoIncrField) text += " contador";
    if (f.value("required", false)) text += " requerido";
    if (f.value("allowZeroLength", false)) text += " admite-cadena-vacía";
    if (f.contains("attributes") && !(f.at("attributes").get<long>() & engine::dbAutoIncrField))
        text += " atributos " + std::to_string(f.at("attributes").get<long>());
    return f.at("name").get<std::string>() + ": " + text + RuleText(f);
}

std::string IndexText(const json& i) {
    std::string text = i.at("name").get<std::string>() + " (";
    bool first = true;
    for (const json& f : i.at("fields")) {
        if (!first) text += ", ";
        first = false;
        if (f.is_string())
            text += f.get<std::string>();
        else
            text += f.at("name").get<std::string>() + (f.value("descending", false) ? " DESC" : "");
    }
    text += ")";
    if (i.value("primary", false)) text += " primaria";
    if (i.value("unique", false)) text += " única";
    if (i.value("ignoreNulls", false)) text += " ignora-nulos";
    if (i.value("required", false)) text += " requerido";
    return text;
}

std::string RelationText(const json& r) {
    std::string text = r.at("name").get<std::string>() + ": " + r.at("table").get<std::string>() +
                       " -> " + r.at("foreignTable").get<std::string>() + " [";
    bool first = true;
    for (const json& f : r.at("fields")) {
        if (!first) text += ", ";
        first = false;
        text += f.at("name").get<std::string>() + "=" + f.at("foreignName").get<std::string>();
    }
    return text + "] atributos " + std::to_string(r.at("attributes").get<long>());
}

std::string ObjectText(Kind kind, const json& object) {
    switch (kind) {
        case Kind::Table:
            return object.at("name").get<std::string>() + RuleText(object);
        case Kind::Field:
            return FieldText(object);
        case Kind::Index:
            return IndexText(object);
        case Kind::Relation:
            return RelationText(object);
        case Kind::Query:
            return object.at("name").get<std::string>() + ": " +
                   object.at("sql").get<std::string>();
    }
    return "";
}

const char* KindWord(Kind kind) {
    switch (kind) {
        case Kind::Table:
            return "Tabla";
        case Kind::Field:
            return "Campo";
        case Kind::Index:
            return "Índice";
        case Kind::Relation:
            return "Relación";
        case Kind::Query:
            return "Consulta";
    }
    return "";
}

json Describe(const std::string& path) {
    auto db = engine::OpenDatabase(path);
    json document = engine::DescribeDatabase(*db);
    db->Close();
    return document;
}

}  // namespace

std::vector<Difference> DiffStructures(const json& model, const json& old) {
    std::vector<Difference> out;
    // Tables: one line for a table only one side has; for a table both have, its fields and
    // indexes one by one.
    for (const json& table : model.at("tables")) {
        const std::string name = table.at("name").get<std::string>();
        const json* other = FindNamed(old.at("tables"), name);
        if (!other) {
            out.push_back({Kind::Table, Change::OnlyInModel, "", name, table, nullptr});
            continue;
        }
        // The table itself: its name as spelt and its rule.
        auto rule = [](const json& t) {
            return std::make_pair(t.value("validationRule", std::string()),
                                  t.value("validationText", std::string()));
        };
        if (other->at("name").get<std::string>() != name || rule(table) != rule(*other))
            out.push_back({Kind::Table, Change::Different, "", name, table, *other});
        DiffList(Kind::Field, name, table.at("fields"), other->at("fields"), out);
        DiffList(Kind::Index, name, table.at("indexes"), other->at("indexes"), out);
    }
    for (const json& table : old.at("tables")) {
        const std::string name = table.at("name").get<std::string>();
        if (!FindNamed(model.at("tables"), name))
            out.push_back({Kind::Table, Change::OnlyInOld, "", name, nullptr, table});
    }
    DiffList(Kind::Relation, "", model.at("relations"), old.at("relations"), out);
    DiffList(Kind::Query, "", model.at("queries"), old.at("queries"), out);
    return out;
}

json DifferenceKey(const Difference& d) {
    json key = {{"kind", KindKey(d.kind)}, {"change", ChangeKey(d.change)}, {"name", d.name}};
    if (!d.table.empty()) key["table"] = d.table;
    return key;
}

std::string DifferenceHeadline(const Difference& d) {
    std::string line = std::string(KindWord(d.kind)) + " ";
    if (!d.table.empty()) line += d.table + ".";
    line += d.name + ": ";
    switch (d.change) {
        case Change::OnlyInModel:
            return line + "solo en el modelo";
        case Change::OnlyInOld:
            return line + "solo en la vieja";
        case Change::Different:
            return line + "distinto";
    }
    return line;
}

json DifferencesJson(const std::vector<Difference>& differences) {
    json list = json::array();
    for (const Difference& d : differences) {
        json entry = DifferenceKey(d);
        // A whole table is named, not repeated field by field.
        if (d.kind == Kind::Table && d.change != Change::Different) {
            entry["model"] = d.model.is_null() ? json(nullptr) : json(true);
            entry["old"] = d.old.is_null() ? json(nullptr) : json(true);
        } else {
            entry["model"] = d.model;
            entry["old"] = d.old;
        }
        list.push_back(std::move(entry));
    }
    return {{"equal", differences.empty()}, {"differences", list}};
}

std::string DifferencesText(const std::vector<Difference>& differences) {
    if (differences.empty()) return "Las dos bases tienen la misma estructura.\n";
    std::ostringstream out;
    for (const Difference& d : differences) {
        out << DifferenceHeadline(d);
        switch (d.change) {
            case Change::OnlyInModel:
                if (d.kind != Kind::Table) out << "   " << ObjectText(d.kind, d.model);
                break;
            case Change::OnlyInOld:
                if (d.kind != Kind::Table) out << "   " << ObjectText(d.kind, d.old);
                break;
            case Change::Different:
                out << "\n    modelo: " << ObjectText(d.kind, d.model)
                    << "\n    vieja:  " << ObjectText(d.kind, d.old);
                break;
        }
        out << "\n";
    }
    out << differences.size() << (differences.size() == 1 ? " diferencia" : " diferencias")
        << ".\n";
    return out.str();
}

int DiffCommand(const std::string& model, const std::string& old, bool asJson, std::ostream& out,
                std::ostream& err) {
    json modelDoc, oldDoc;
    try {
        modelDoc = Describe(model);
        oldDoc = Describe(old);
    } catch (const Error& e) {
        err << ErrorText(e) << "\n";
        return 1;
    }
    std::vector<Difference> differences = DiffStructures(modelDoc, oldDoc);
    if (asJson)
        out << DifferencesJson(differences).dump(2) << "\n";
    else
        out << DifferencesText(differences);
    return differences.empty() ? 0 : 1;
}

void AddDiffCommand(CLI::App& app) {
    auto* diff = app.add_subcommand(
        "diff",
        "Diferencias de estructura entre un modelo y una base vieja: tablas, campos, índices, "
        "relaciones y consultas.\n"
        "Salida: 0 iguales, 1 distintas (también 1, con \"Error N: texto\", si no se puede leer "
        "una de ellas).");
    auto model = std::make_shared<std::string>();
    auto old = std::make_shared<std::string>();
    auto asJson = std::make_shared<bool>(false);
    diff->add_option("MODELO", *model, "Base modelo (ruta Windows o del sistema)")->required();
    diff->add_option("VIEJA", *old, "Base vieja (ruta Windows o del sistema)")->required();
    diff->add_flag("--json", *asJson, "Imprime las diferencias como un documento JSON");
    diff->callback([model, old, asJson] {
        int status = DiffCommand(*model, *old, *asJson, std::cout, std::cerr);
        if (status != 0) throw CLI::RuntimeError(status);
    });
}

}  // namespace actualiz::cli
