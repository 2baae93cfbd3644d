#include "engine/SchemaJson.h"

#include <filesystem>
#include <string>

#include <sqlite3.h>

#include "engine/EngineError.h"
#include "engine/FieldRules.h"
#include "engine/SchemaModelJson.h"
#include "engine/Sqlite.h"

namespace actualiz::engine {

using nlohmann::json;

namespace {

std::string Hex(const std::vector<unsigned char>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

std::vector<unsigned char> FromHex(const std::string& text) {
    auto nibble = [&text](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        throw EngineError(err::kValueTypeMismatch,
                          "Dato binario no válido en el documento JSON: \"" + text + "\"");
    };
    if (text.size() % 2 != 0)
        throw EngineError(err::kValueTypeMismatch,
                          "Dato binario no válido en el documento JSON: \"" + text + "\"");
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i < text.size(); i += 2)
        out.push_back(static_cast<unsigned char>(nibble(text[i]) * 16 + nibble(text[i + 1])));
    return out;
}

// A table's rows, in field order.
json TableRows(Database& db, const std::string& table) {
    json rows = json::array();
    auto rs = db.OpenRecordset(table);
    if (!(rs->BOF() && rs->Eof())) {
        rs->MoveFirst();
        while (!rs->Eof()) {
            json row = json::array();
            for (const auto& f : rs->Fields()) row.push_back(ValueToJson(f->GetValue()));
            rows.push_back(row);
            rs->MoveNext();
        }
    }
    rs->Close();
    return rows;
}

}  // namespace

void SetFieldProperties(Field& field, const json& f) {
    if (f.value("required", false)) field.SetRequired(true);
    if (f.value("allowZeroLength", false)) field.SetAllowZeroLength(true);
    if (f.contains("attributes")) field.SetAttributes(f.at("attributes").get<long>());
    field.SetDefaultValue(f.value("defaultValue", std::string()));
    field.SetValidationRule(f.value("validationRule", std::string()));
    field.SetValidationText(f.value("validationText", std::string()));
}

void AppendTable(Database& db, const json& t) {
    auto table = db.CreateTableDef(t.at("name").get<std::string>());
    for (const auto& f : t.at("fields")) {
        std::optional<long> size;
        if (f.contains("size")) size = f.at("size").get<long>();
        auto field =
            table->CreateField(f.at("name").get<std::string>(), f.at("type").get<short>(), size);
        SetFieldProperties(*field, f);
        table->Fields().Append(field);
    }
    table->SetValidationRule(t.value("validationRule", std::string()));
    table->SetValidationText(t.value("validationText", std::string()));
    db.TableDefs().Append(table);
}

void AppendIndexes(Database& db, const json& t) {
    if (!t.contains("indexes")) return;
    auto table = db.TableDefs()[t.at("name").get<std::string>()];
    for (const auto& i : t.at("indexes")) {
        auto index = table->CreateIndex(i.at("name").get<std::string>());
        for (const auto& f : i.at("fields")) {
            std::shared_ptr<Field> field;
            if (f.is_string()) {
                field = index->CreateField(f.get<std::string>());
            } else {
                field = index->CreateField(f.at("name").get<std::string>());
                if (f.value("descending", false)) field->SetAttributes(dbDescending);
            }
            index->Fields().Append(field);
        }
        index->SetPrimary(i.value("primary", false));
        index->SetUnique(i.value("unique", false));
        index->SetIgnoreNulls(i.value("ignoreNulls", false));
        index->SetRequired(i.value("required", false));
        table->Indexes().Append(index);
    }
}

json ValueToJson(const Value& value) {
    return std::visit(
        [](const auto& v) -> json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return nullptr;
            else if constexpr (std::is_same_v<T, std::vector<unsigned char>>)
                return json{{"binary", Hex(v)}};
            else
                return v;
        },
        value);
}

Value ValueFromJson(const json& value) {
    if (value.is_null()) return std::monostate{};
    if (value.is_boolean()) return static_cast<long long>(value.get<bool>() ? -1 : 0);
    if (value.is_number_integer()) return value.get<long long>();
    if (value.is_number()) return value.get<double>();
    if (value.is_string()) return value.get<std::string>();
    if (value.is_object() && value.contains("binary"))
        return FromHex(value.at("binary").get<std::string>());
    throw EngineError(err::kValueTypeMismatch,
                      "Valor no admitido en el documento JSON: " + value.dump());
}

json DescribeDatabase(Database& db, DescribeOptions options) {
    json doc = ToJson(ReadSchema(db, options.includeSystem));
    if (options.includeRows)
        for (json& table : doc.at("tables"))
            table["rows"] = TableRows(db, table.at("name").get<std::string>());
    return doc;
}

// Every row of every table in one transaction: the engine checks each row as it would any row
// written through a record set, and the file is written once instead of once per row.
void WriteRows(Database& db, const json& tables) {
    WriteGroup rows(db);
    for (const auto& t : tables) {
        if (!t.contains("rows") || t.at("rows").empty()) continue;
        auto rs = db.OpenRecordset(t.at("name").get<std::string>());
        for (const auto& row : t.at("rows")) {
            rs->AddNew();
            for (std::size_t i = 0; i < row.size(); ++i)
                rs->Fields()[static_cast<int>(i)]->SetValue(ValueFromJson(row[i]));
            rs->Update();
        }
        rs->Close();
    }
    rows.Commit();
}

void AppendRelation(Database& db, const json& r) {
    auto relation =
        db.CreateRelation(r.at("name").get<std::string>(), r.at("table").get<std::string>(),
                          r.at("foreignTable").get<std::string>(), r.value("attributes", 0L));
    for (const auto& f : r.at("fields")) {
        auto field = relation->CreateField(f.at("name").get<std::string>());
        field->SetForeignName(f.value("foreignName", f.at("name").get<std::string>()));
        relation->Fields().Append(field);
    }
    db.Relations().Append(relation);
}

void AppendQuery(Database& db, const json& q) {
    db.CreateQueryDef(q.at("name").get<std::string>(), q.at("sql").get<std::string>());
}

std::shared_ptr<Database> BuildDatabase(std::string_view path, const json& document) {
    auto db = CreateDatabase(path);
    try {
        // The whole build is one transaction: the file is written once, not once per object.
        WriteGroup build(*db);
        // Rows before indexes: one index build over all rows is cheaper than keeping it up to
        // date row by row.
        const json tables = document.value("tables", json::array());
        for (const auto& t : tables) AppendTable(*db, t);
        // The rows are the ones the database already holds, and the classic engine checks a
        // rule that reads the clock only when a row is written: such rules (triggers) are held
        // back until the rows are in, so a row that was valid when it was written is carried.
        for (const auto& table : db->TableDefs()) detail::DropRuleTriggers(db->Conn(), *table);
        WriteRows(*db, tables);
        for (const auto& table : db->TableDefs()) detail::CreateRuleTriggers(db->Conn(), *table);
        for (const auto& t : tables) AppendIndexes(*db, t);
        for (const auto& r : document.value("relations", json::array())) AppendRelation(*db, r);
        for (const auto& q : document.value("queries", json::array())) AppendQuery(*db, q);
        build.Commit();
    } catch (...) {
        // Never leave a half-built database behind: the caller asked for all of it.
        DiscardHalfBuilt(*db);
        throw;
    }
    return db;
}

void DiscardHalfBuilt(Database& db) {
    const char* opened = db.Handle() ? sqlite3_db_filename(db.Handle(), "main") : nullptr;
    const std::filesystem::path file = opened ? opened : "";
    db.Close();
    std::error_code ec;
    if (!file.empty()) std::filesystem::remove(file, ec);
}

}  // namespace actualiz::engine
