#include "cli/QueryCommand.h"

#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/Errors.h"
#include "engine/Engine.h"

namespace actualiz::cli {

namespace {

using ordered_json = nlohmann::ordered_json;

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

ordered_json JsonValue(const engine::Value& value) {
    if (auto* i = std::get_if<long long>(&value)) return *i;
    if (auto* d = std::get_if<double>(&value)) return *d;
    if (auto* s = std::get_if<std::string>(&value)) return *s;
    if (std::holds_alternative<std::monostate>(value)) return nullptr;
    return engine::ValueToText(value);
}

void PrintCsv(engine::Recordset& rs, std::ostream& out) {
    auto& fields = rs.Fields();
    for (int i = 0; i < fields.Count(); ++i) out << (i ? "," : "") << CsvField(fields[i]->Name());
    out << "\n";
    if (rs.BOF() && rs.Eof()) return;
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
        for (int i = 0; i < fields.Count(); ++i)
            out << (i ? "," : "") << CsvField(engine::ValueToText(fields[i]->GetValue()));
        out << "\n";
    }
}

void PrintJson(engine::Recordset& rs, std::ostream& out) {
    ordered_json rows = ordered_json::array();
    auto& fields = rs.Fields();
    if (!(rs.BOF() && rs.Eof())) {
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
            ordered_json row = ordered_json::object();
            for (int i = 0; i < fields.Count(); ++i)
                row[fields[i]->Name()] = JsonValue(fields[i]->GetValue());
            rows.push_back(std::move(row));
        }
    }
    out << rows.dump(2) << "\n";
}

std::vector<std::pair<std::string, engine::Value>> Values(const QueryOptions& options) {
    std::vector<std::pair<std::string, engine::Value>> values;
    for (const auto& [name, text] : options.parameters) values.emplace_back(name, text);
    return values;
}

}  // namespace

int QueryCommand(const std::string& file, const std::string& source, const QueryOptions& options,
                 std::ostream& out, std::ostream& err) {
    try {
        auto db = engine::OpenDatabase(file);
        auto rs = db->OpenRecordset(source, Values(options));
        options.json ? PrintJson(*rs, out) : PrintCsv(*rs, out);
        rs->Close();
        db->Close();
    } catch (...) {
        return ReportFailure(err);
    }
    return 0;
}

int QueryAllCommand(const std::string& file, const QueryOptions& options, std::ostream& out) {
    std::shared_ptr<engine::Database> db;
    try {
        db = engine::OpenDatabase(file);
    } catch (...) {
        return ReportFailure(out);
    }
    int status = 0;
    for (const auto& q : db->QueryDefs()) {
        out << q->Name() << ": ";
        try {
            auto rs = db->OpenRecordset(q->Name(), Values(options));
            if (!(rs->BOF() && rs->Eof())) rs->MoveLast();
            out << rs->RecordCount() << " filas\n";
        } catch (...) {
            status = ReportFailure(out);
        }
    }
    db->Close();
    return status;
}

void AddQueryCommand(CLI::App& app) {
    auto* query = app.add_subcommand(
        "query",
        "Abre una consulta guardada, una tabla o una instrucción SELECT y muestra las filas");
    auto file = std::make_shared<std::string>();
    auto source = std::make_shared<std::string>();
    auto params = std::make_shared<std::vector<std::string>>();
    auto options = std::make_shared<QueryOptions>();
    auto all = std::make_shared<bool>(false);
    query->add_option("FILE", *file, "Base de datos")->required();
    query->add_option("SOURCE", *source, "Nombre de la consulta o tabla, o instrucción SELECT");
    query->add_option("--param", *params, "Valor de un parámetro: NOMBRE=VALOR (repetible)");
    query->add_flag("--json", options->json, "Filas en JSON en lugar de CSV");
    query->add_flag("--all", *all, "Abre todas las consultas guardadas y resume cada una");
    query->callback([file, source, params, options, all] {
        for (const auto& p : *params) {
            const auto eq = p.find('=');
            if (eq == std::string::npos || eq == 0)
                throw CLI::ValidationError("--param", "se espera NOMBRE=VALOR: " + p);
            options->parameters.emplace_back(p.substr(0, eq), p.substr(eq + 1));
        }
        if (!*all && source->empty())
            throw CLI::ValidationError("SOURCE", "falta la consulta, tabla o instrucción");
        int status = *all ? QueryAllCommand(*file, *options, std::cout)
                          : QueryCommand(*file, *source, *options, std::cout, std::cerr);
        if (status != 0) throw CLI::RuntimeError(status);
    });
}

}  // namespace actualiz::cli
