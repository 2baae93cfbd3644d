#include "cli/SchemaCommands.h"
#include "cli/Errors.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include <CLI/CLI.hpp>

#include "engine/Engine.h"
#include "engine/SchemaJson.h"
#include "engine/SchemaModelJson.h"
#include "platform/Error.h"

namespace actualiz::cli {

using nlohmann::json;

namespace {

int ReportError(const Error& e, std::ostream& err) {
    err << ErrorText(e) << "\n";
    return 1;
}

}  // namespace

namespace {

// Appended to one text rather than streamed piece by piece: a structure of hundreds of tables is
// thousands of pieces.
void AppendTable(const engine::TableSchema& t, std::string& out) {
    out.append("Tabla ").append(t.name).append("\n");
    for (const engine::FieldSchema& f : t.fields) {
        out.append("  ").append(f.name).append("  ").append(engine::TypeName(f.type));
        out.append(" (").append(std::to_string(f.type)).append(")");
        if (f.type == engine::dbText || f.type == engine::dbBinary)
            out.append(" ").append(std::to_string(f.size));
        if (f.required) out.append(" requerido");
        if (f.allowZeroLength) out.append(" admite-cadena-vacia");
        out.append("\n");
    }
    for (const engine::IndexSchema& i : t.indexes) {
        out.append("  indice ").append(i.name).append(" (");
        bool first = true;
        for (const engine::IndexFieldSchema& f : i.fields) {
            if (!first) out.append(", ");
            first = false;
            out.append(f.name);
            if (f.descending) out.append(" DESC");
        }
        out.append(")");
        if (i.primary) out.append(" primaria");
        if (i.unique) out.append(" unico");
        out.append("\n");
    }
}

}  // namespace

std::string SchemaText(const engine::DatabaseSchema& schema) {
    std::string out;
    for (const engine::TableSchema& t : schema.tables) AppendTable(t, out);
    for (const engine::RelationSchema& r : schema.relations) {
        out += "Relacion " + r.name + ": " + r.table + " -> " + r.foreignTable + " atributos " +
               std::to_string(r.attributes) + "\n";
        for (const engine::RelationFieldSchema& f : r.fields)
            out += "  " + f.name + " = " + f.foreignName + "\n";
    }
    for (const engine::QuerySchema& q : schema.queries)
        out += "Consulta " + q.name + ": " + q.sql + "\n";
    return out;
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
        const engine::DatabaseSchema schema = engine::ReadSchema(*db, includeSystem);
        db->Close();
        if (asJson)
            out << engine::ToJson(schema).dump(2) << "\n";
        else
            out << SchemaText(schema);
    } catch (const Error& e) {
        return ReportError(e, err);
    }
    return 0;
}

void AddSchemaCommands(CLI::App& app) {
    auto* create = app.add_subcommand("create", "Crea una base de datos a partir de un JSON");
    auto file = std::make_shared<std::string>();
    auto from = std::make_shared<std::string>();
    create->add_option("ARCHIVO", *file, "Base de datos nueva (ruta Windows o del sistema)")
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
    schema->add_option("ARCHIVO", *schemaFile, "Base de datos")->required();
    schema->add_flag("--json", *asJson, "Imprime el documento JSON");
    schema->add_flag("--system", *system, "Incluye las tablas del sistema (MSys)");
    schema->callback([schemaFile, asJson, system] {
        int status = SchemaCommand(*schemaFile, *asJson, *system, std::cout, std::cerr);
        if (status != 0) throw CLI::RuntimeError(status);
    });
}

}  // namespace actualiz::cli
