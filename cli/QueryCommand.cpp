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

using Bytes = std::vector<unsigned char>;

std::string Base64(const Bytes& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        unsigned long group = static_cast<unsigned long>(bytes[i]) << 16;
        if (left > 1) group |= static_cast<unsigned long>(bytes[i + 1]) << 8;
        if (left > 2) group |= bytes[i + 2];
        out += digits[(group >> 18) & 63];
        out += digits[(group >> 12) & 63];
        out += left > 1 ? digits[(group >> 6) & 63] : '=';
        out += left > 2 ? digits[group & 63] : '=';
    }
    return out;
}

std::string Hex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// Text for a terminal or a file read line by line: a control byte (a memo's line breaks, a NUL
// some old program left) is shown by its visible symbol, U+2400 plus its code (U+240A for a line
// feed, U+2421 for DEL), so one row stays one line and nothing reaches the terminal as a command.
std::string Printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f) {
            out += c;
            continue;
        }
        const unsigned char low = u == 0x7f ? 0xa1 : static_cast<unsigned char>(0x80 + u);
        out += "\xe2\x90";
        out += static_cast<char>(low);
    }
    return out;
}

// A value as the text output shows it: a binary value by its size, or in hex when asked.
std::string TextValue(const engine::Value& value, bool hex) {
    if (auto* b = std::get_if<Bytes>(&value))
        return hex ? Hex(*b) : "<binario, " + std::to_string(b->size()) + " bytes>";
    return Printable(engine::ValueToText(value));
}

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
    if (auto* b = std::get_if<Bytes>(&value)) return Base64(*b);
    if (std::holds_alternative<std::monostate>(value)) return nullptr;
    return engine::ValueToText(value);
}

void PrintCsv(engine::Recordset& rs, bool hex, std::ostream& out) {
    auto& fields = rs.Fields();
    for (int i = 0; i < fields.Count(); ++i)
        out << (i ? "," : "") << CsvField(Printable(fields[i]->Name()));
    out << "\n";
    if (rs.BOF() && rs.Eof()) return;
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
        for (int i = 0; i < fields.Count(); ++i)
            out << (i ? "," : "") << CsvField(TextValue(fields[i]->GetValue(), hex));
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
    // Text that is no valid UTF-8 (a file written in another code page) shows U+FFFD where it
    // breaks, rather than ending the output.
    out << rows.dump(2, ' ', false, ordered_json::error_handler_t::replace) << "\n";
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
        options.json ? PrintJson(*rs, out) : PrintCsv(*rs, options.hex, out);
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
    query->add_option("ARCHIVO", *file, "Base de datos")->required();
    query->add_option("ORIGEN", *source, "Nombre de la consulta o tabla, o instrucción SELECT");
    query->add_option("--param", *params, "Valor de un parámetro: NOMBRE=VALOR (repetible)");
    query->add_flag("--json", options->json,
                    "Filas en JSON en lugar de CSV (los valores binarios, en base64)");
    query->add_flag("--hex", options->hex,
                    "Valores binarios en hexadecimal en el CSV, en lugar de <binario, N bytes>");
    query->add_flag("--all", *all, "Abre todas las consultas guardadas y resume cada una");
    query->callback([file, source, params, options, all] {
        for (const auto& p : *params) {
            const auto eq = p.find('=');
            if (eq == std::string::npos || eq == 0)
                throw CLI::ValidationError("--param", "se espera NOMBRE=VALOR: " + p);
            options->parameters.emplace_back(p.substr(0, eq), p.substr(eq + 1));
        }
        if (!*all && source->empty())
            throw CLI::ValidationError("ORIGEN", "falta la consulta, tabla o instrucción");
        int status = *all ? QueryAllCommand(*file, *options, std::cout)
                          : QueryCommand(*file, *source, *options, std::cout, std::cerr);
        if (status != 0) throw CLI::RuntimeError(status);
    });
}

}  // namespace actualiz::cli
