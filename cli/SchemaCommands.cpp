#include "cli/SchemaCommands.h"
#include "cli/Errors.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include <CLI/CLI.hpp>

#include "engine/Engine.h"
#include "engine/SchemaJson.h"
#include "platform/Error.h"

namespace actualiz::cli {

using nlohmann::json;

namespace {

int ReportError(const Error& e, std::ostream& err) {
    err << ErrorText(e) << "\n";
    return 1;
}

}  // namespace

std::string SchemaText(const json& doc) {
    std::ostringstream out;
    for (const auto& t : doc.at("tables")) {
        out << "Tabla " << t.at("name").get<std::string>() << "\n";
        for (const auto& f : t.at("fields")) {
            int type = f.at("type").get<int>();
            out << "  " << f.at("name").get<std::string>() << "  "
                << engine::TypeName(static_cast<short>(type)) << " (" << type << ")";
            if (type == 10 || type == 9) out << " " << f.at("size").get<long>();
            if (f.value("required", false)) out << " requerido";
            if (f.value("allowZeroLength", false)) out << " admite-cadena-vacia";
            out << "\n";
        }
        for (const auto& i : t.at("indexes")) {
            out << "  indice " << i.at("name").get<std::string>() << " (";
            bool first = true;
            for (const auto& f : i.at("fields")) {
                if (!first) out << ", ";
                first = false;
                if (f.is_string())
                    out << f.get<std::string>();
                else
                    out << f.at("name").get<std::string>()
                        << (f.value("descending", false) ? " DESC" : "");
            }
            out << ")";
            if (i.value("primary", false)) out << " primaria";
            if (i.value("unique", false)) out << " unico";
            out << "\n";
        }
    }
    for (const auto& r : doc.at("relations")) {
        out << "Relacion " << r.at("name").get<std::string>() << ": "
            << r.at("table").get<std::string>() << " -> " << r.at("foreignTable").get<std::string>()
            << " atributos " << r.at("attributes").get<long>() << "\n";
        for (const auto& f : r.at("fields"))
            out << "  " << f.at("name").get<std::string>() << " = "
                << f.at("foreignName").get<std::string>() << "\n";
    }
    for (const auto& q : doc.at("queries"))
        out << "Consulta " << q.at("name").get<std::string>() << ": "
            << q.at("sql").get<std::string>() << "\n";
    return out.str();
}

int CreateCommand(const std::string& file, const std::string& schemaFile, std::ostream& out,
                  std::ostream& err) {
    json doc;
    try {
        std::ifstream in(schemaFile);
        if (!in) {
            err << "No se puede leer " << schemaFile << "\n";
            return 1;
        }
        doc = json::parse(in);
    } catch (const json::exception& e) {
        err << "JSON no válido en " << schemaFile << ": " << e.what() << "\n";
        return 1;
    }
    try {
        auto db = engine::BuildDatabase(file, doc);
        db->Close();
    } catch (const Error& e) {
        return ReportError(e, err);
    } catch (const json::exception& e) {
        err << "Documento de estructura no válido: " << e.what() << "\n";
        return 1;
    }
    out << "Creada " << file << "\n";
    return 0;
}

int SchemaCommand(const std::string& file, bool asJson, bool includeSystem, std::ostream& out,
                  std::ostream& err) {
    try {
        auto db = engine::OpenDatabase(file);
        json doc = engine::DescribeDatabase(*db, {.includeSystem = includeSystem});
        db->Close();
        if (asJson)
            out << doc.dump(2) << "\n";
        else
            out << SchemaText(doc);
    } catch (const Error& e) {
        return ReportError(e, err);
    }
    return 0;
}

void AddSchemaCommands(CLI::App& app) {
    auto* create = app.add_subcommand("create", "Crea una base de datos a partir de un JSON");
    auto file = std::make_shared<std::string>();
    auto from = std::make_shared<std::string>();
    create->add_option("FILE", *file, "Base de datos nueva (ruta Windows o del sistema)")
        ->required();
    create->add_option("--from", *from, "Documento JSON de estructura (como el de schema --json)")
        ->required();
    create->callback([file, from] {
        int status = CreateCommand(*file, *from, std::cout, std::cerr);
        if (status != 0) throw CLI::RuntimeError(status);
    });

    auto* schema = app.add_subcommand("schema", "Muestra la estructura de una base de datos");
    auto schemaFile = std::make_shared<std::string>();
    auto asJson = std::make_shared<bool>(false);
    auto system = std::make_shared<bool>(false);
    schema->add_option("FILE", *schemaFile, "Base de datos")->required();
    schema->add_flag("--json", *asJson, "Imprime el documento JSON");
    schema->add_flag("--system", *system, "Incluye las tablas del sistema (MSys)");
    schema->callback([schemaFile, asJson, system] {
        int status = SchemaCommand(*schemaFile, *asJson, *system, std::cout, std::cerr);
        if (status != 0) throw CLI::RuntimeError(status);
    });
}

}  // namespace actualiz::cli
