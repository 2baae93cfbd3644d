#include "cli/DiffCommand.h"
#include "cli/Errors.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <sstream>

#include "engine/Engine.h"
#include "engine/SchemaModelJson.h"
#include "platform/Error.h"

namespace actualiz::cli {

using nlohmann::json;
using Kind = Difference::Kind;
using Change = Difference::Change;

namespace {

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
        case Kind::FieldOrder:
            return "fieldOrder";
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
std::string RuleText(const std::string& defaultValue, const std::string& rule,
                     const std::string& ruleText) {
    std::string text;
    if (!defaultValue.empty()) text += " predeterminado " + defaultValue;
    if (!rule.empty()) text += " regla " + rule;
    if (!ruleText.empty()) text += " («" + ruleText + "»)";
    return text;
}

std::string FieldText(const engine::FieldSchema& f) {
    std::string text = engine::TypeName(f.type);
    if (f.type == engine::dbText || f.type == engine::dbBinary)
        text += " " + std::to_string(f.size);
    const bool ownAttributes = engine::HasOwnAttributes(f);
    const bool counter = ownAttributes && (f.attributes & engine::dbAutoIncrField);
    if (counter) text += " contador";
    if (f.required) text += " requerido";
    if (f.allowZeroLength) text += " admite-cadena-vacía";
    if (ownAttributes && !counter) text += " atributos " + std::to_string(f.attributes);
    return f.name + ": " + text + RuleText(f.defaultValue, f.validationRule, f.validationText);
}

std::string IndexText(const engine::IndexSchema& i) {
    std::string text = i.name + " (";
    bool first = true;
    for (const engine::IndexFieldSchema& f : i.fields) {
        if (!first) text += ", ";
        first = false;
        text += f.name + (f.descending ? " DESC" : "");
    }
    text += ")";
    if (i.primary) text += " primaria";
    if (i.unique) text += " única";
    if (i.ignoreNulls) text += " ignora-nulos";
    if (i.required) text += " requerido";
    return text;
}

std::string RelationText(const engine::RelationSchema& r) {
    std::string text = r.name + ": " + r.table + " -> " + r.foreignTable + " [";
    bool first = true;
    for (const engine::RelationFieldSchema& f : r.fields) {
        if (!first) text += ", ";
        first = false;
        text += f.name + "=" + f.foreignName;
    }
    return text + "] atributos " + std::to_string(r.attributes);
}

// The object one side of a difference has, in one line.
std::string ObjectText(const Difference::Object& object) {
    struct Visitor {
        std::string operator()(std::monostate) const { return ""; }
        std::string operator()(const engine::TableSchema& t) const {
            return t.name + RuleText("", t.validationRule, t.validationText);
        }
        std::string operator()(const engine::FieldSchema& f) const { return FieldText(f); }
        std::string operator()(const engine::IndexSchema& i) const { return IndexText(i); }
        std::string operator()(const engine::RelationSchema& r) const { return RelationText(r); }
        std::string operator()(const engine::QuerySchema& q) const { return q.name + ": " + q.sql; }
    };
    return std::visit(Visitor{}, object);
}

json ObjectJson(const Difference::Object& object) {
    return std::visit(
        [](const auto& o) -> json {
            if constexpr (std::is_same_v<std::decay_t<decltype(o)>, std::monostate>)
                return nullptr;
            else
                return engine::ToJson(o);
        },
        object);
}

// The fields of one side's table, in its order: "a, b, c".
std::vector<std::string> FieldNames(const Difference::Object& object) {
    std::vector<std::string> names;
    if (const auto* table = std::get_if<engine::TableSchema>(&object))
        for (const engine::FieldSchema& f : table->fields) names.push_back(f.name);
    return names;
}

std::string FieldOrderText(const Difference::Object& object) {
    std::string text;
    for (const std::string& name : FieldNames(object)) text += (text.empty() ? "" : ", ") + name;
    return text;
}

bool Has(const Difference::Object& object) {
    return !std::holds_alternative<std::monostate>(object);
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
        case Kind::FieldOrder:
            return "Orden de los campos de";
    }
    return "";
}

}  // namespace

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
        // A whole table is named, not repeated field by field; an order, by its fields' names.
        if (d.kind == Kind::FieldOrder) {
            entry["model"] = FieldNames(d.model);
            entry["old"] = FieldNames(d.old);
        } else if (d.kind == Kind::Table && d.change != Change::Different) {
            entry["model"] = Has(d.model) ? json(true) : json(nullptr);
            entry["old"] = Has(d.old) ? json(true) : json(nullptr);
        } else {
            entry["model"] = ObjectJson(d.model);
            entry["old"] = ObjectJson(d.old);
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
                if (d.kind != Kind::Table) out << "   " << ObjectText(d.model);
                break;
            case Change::OnlyInOld:
                if (d.kind != Kind::Table) out << "   " << ObjectText(d.old);
                break;
            case Change::Different:
                if (d.kind == Kind::FieldOrder)
                    out << "\n    modelo: " << FieldOrderText(d.model)
                        << "\n    vieja:  " << FieldOrderText(d.old);
                else
                    out << "\n    modelo: " << ObjectText(d.model)
                        << "\n    vieja:  " << ObjectText(d.old);
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
    engine::DatabaseSchema modelSchema, oldSchema;
    try {
        modelSchema = engine::ReadSchemaAt(model);
        oldSchema = engine::ReadSchemaAt(old);
    } catch (const Error& e) {
        err << ErrorText(e) << "\n";
        return 1;
    }
    const std::vector<Difference> differences = engine::CompareSchemas(modelSchema, oldSchema);
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
