// A test-only driver of the Jet writer and our own reader, for scripts/jet_random.py and the
// comparison of readers (tests/oracle/compare_readers.py):
//
//   jet_driver dump FILE                   every table our reader sees, as canonical JSON
//   jet_driver apply FILE OPS [--out COPY] applies the operations of OPS (one JSON document a
//                                          line, "-" for standard input) to the file in memory,
//                                          one result line each, then saves it (to COPY if given)
//   jet_driver op FILE JSON [--out COPY]   the same for one operation given on the command line
//
// An operation the writer refuses (an EngineError) is a result, not a failure: its line says
// {"ok":false,...} and the driver checks that the bytes are what they were before it. Exit status
// 0 when every operation ran or was refused cleanly, 1 when a refusal left the bytes changed or
// an operation failed otherwise (a fault to report), 2 for wrong arguments or an unreadable file.
//
// Each operation is one entry of Operations() below: a new writer call is one new line there.
#include <unicode/unistr.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "jet/format/DataPage.h"
#include "jet/format/IndexPage.h"
#include "jet/format/PageFile.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/UsageMap.h"
#include "jet/mdb/Bytes.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"
#include "jet/write/Columns.h"
#include "jet/write/Indexes.h"
#include "jet/write/NewTable.h"
#include "jet/write/PageAllocation.h"
#include "jet/write/Properties.h"
#include "jet/write/Queries.h"
#include "jet/write/Relations.h"
#include "jet/write/Rows.h"

namespace {

using namespace actualiz::engine::jet::format;
namespace write = actualiz::engine::jet::write;
using actualiz::engine::EngineError;
using nlohmann::json;

struct Fault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::u16string Utf16(const std::string& text) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
    return std::u16string(u.getBuffer(), u.getBuffer() + u.length());
}

std::string Hex(std::span<const unsigned char> bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::vector<unsigned char> FromHex(const std::string& hex) {
    if (hex.size() % 2) throw Fault("hexadecimal de largo impar: " + hex);
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

template <typename T>
T Little(std::span<const unsigned char> bytes) {
    T value{};
    std::memcpy(&value, bytes.data(), std::min(sizeof value, bytes.size()));
    return value;
}

const char* TypeName(std::uint8_t type) {
    switch (type) {
        case kBoolean:
            return "boolean";
        case kByte:
            return "byte";
        case kInteger:
            return "integer";
        case kLong:
            return "long";
        case kCurrency:
            return "currency";
        case kSingle:
            return "float";
        case kDouble:
            return "double";
        case kDateTime:
            return "datetime";
        case kBinary:
            return "binary";
        case kText:
            return "text";
        case kLongBinary:
            return "ole";
        case kMemo:
            return "memo";
        case kGuid:
            return "repid";
        case kNumeric:
            return "numeric";
        default:
            return "unknown";
    }
}

std::uint8_t TypeCode(const std::string& name) {
    for (std::uint8_t code : {kBoolean, kByte, kInteger, kLong, kCurrency, kSingle, kDouble,
                              kDateTime, kBinary, kText, kLongBinary, kMemo, kGuid, kNumeric})
        if (name == TypeName(code)) return code;
    throw Fault("tipo desconocido: " + name);
}

// Days since 1899-12-30 as UTC ISO text with milliseconds, as the other reader prints dates.
std::string DateText(double days) {
    if (!std::isfinite(days) || std::fabs(days) > 3e6) return "invalid";
    auto ms = static_cast<long long>(std::llround(days * 86400000.0));
    long long dayNumber = ms >= 0 ? ms / 86400000 : -((-ms + 86400000 - 1) / 86400000);
    long long inDay = ms - dayNumber * 86400000;
    // Civil date from days since 1970-01-01 (1899-12-30 is 25569 days before it).
    long long z = dayNumber - 25569 + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long d = doy - (153 * mp + 2) / 5 + 1;
    long long m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", y, m, d,
                  inDay / 3600000, inDay / 60000 % 60, inDay / 1000 % 60, inDay % 1000);
    return text;
}

std::string GuidText(std::span<const unsigned char> b) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  Little<std::uint32_t>(b.subspan(0, 4)), Little<std::uint16_t>(b.subspan(4, 2)),
                  Little<std::uint16_t>(b.subspan(6, 2)), b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

std::string CurrencyText(std::int64_t scaled) {
    bool negative = scaled < 0;
    unsigned long long magnitude = negative ? 0ull - static_cast<unsigned long long>(scaled)
                                            : static_cast<unsigned long long>(scaled);
    char text[40];
    std::snprintf(text, sizeof text, "%s%llu.%04llu", negative ? "-" : "", magnitude / 10000,
                  magnitude % 10000);
    return text;
}

json Value(const PageFile& file, const ColumnDef& column,
           std::optional<std::span<const unsigned char>> value) {
    if (!value) return nullptr;
    std::span<const unsigned char> v = *value;
    switch (column.type) {
        case kBoolean:
            return !v.empty() && v[0] != 0;
        case kByte:
            return v.empty() ? 0 : v[0];
        case kInteger:
            return Little<std::int16_t>(v);
        case kLong:
            return Little<std::int32_t>(v);
        case kCurrency:
            return CurrencyText(Little<std::int64_t>(v));
        case kSingle:
            return static_cast<double>(Little<float>(v));
        case kDouble:
            return Little<double>(v);
        case kDateTime:
            return DateText(Little<double>(v));
        case kText:
            return Utf8(StoredText(v));
        case kGuid:
            return v.size() == 16 ? json(GuidText(v)) : json(Hex(v));
        case kMemo:
            return Utf8(StoredText(ReadLongValue(file, v).bytes));
        case kLongBinary:
            return Hex(ReadLongValue(file, v).bytes);
        default:
            return Hex(v);
    }
}

// Columns in the order of their numbers (the order a row holds them), as readers list them.
std::vector<const ColumnDef*> ByNumber(const TableDef& def) {
    std::vector<const ColumnDef*> columns;
    for (const ColumnDef& column : def.columns) columns.push_back(&column);
    std::sort(columns.begin(), columns.end(),
              [](const ColumnDef* a, const ColumnDef* b) { return a->number < b->number; });
    return columns;
}

json RowJson(const PageFile& file, const TableDef& def, std::span<const unsigned char> bytes) {
    RowValues values(file, def, bytes);
    json row = json::array();
    for (const ColumnDef* column : ByNumber(def))
        row.push_back(Value(file, *column, values.Value(*column)));
    return row;
}

std::optional<CatalogObject> FindTable(const PageFile& file, const std::string& name) {
    for (const CatalogObject& object : ReadCatalog(file))
        if (object.LocalTable() && object.name == name) return object;
    return std::nullopt;
}

// A system object as MSysObjects flags it (0x80000000 or 0x2 of its Flags), as both other
// readers list them.
bool SystemObject(const PageFile& file, const TableDef& catalog, const CatalogObject& object) {
    for (const ColumnDef& column : catalog.columns) {
        if (column.name != "Flags") continue;
        RowValues values(file, catalog, RowBytes(file, object.where));
        auto flags = values.Value(column);
        return flags && (Little<std::uint32_t>(*flags) & 0x80000002u) != 0;
    }
    return false;
}

json Dump(const PageFile& file) {
    json tables = json::array();
    TableDef catalog = ReadTableDef(file, kCatalogPage);
    for (const CatalogObject& object : ReadCatalog(file)) {
        if (!object.LocalTable()) continue;
        json table = {{"name", object.name}, {"system", SystemObject(file, catalog, object)}};
        try {
            TableDef def = ReadTableDef(file, object.DefinitionPage());
            json columns = json::array();
            for (const ColumnDef* column : ByNumber(def))
                columns.push_back({{"name", column->name},
                                   {"type", TypeName(column->type)},
                                   {"typeCode", column->type},
                                   {"size", column->length},
                                   {"fixedLength", column->Fixed()},
                                   {"nullable", (column->flags & 0x02) != 0},
                                   {"autoLong", (column->flags & kColumnAutoLong) != 0},
                                   {"autoUUID", (column->flags & 0x40) != 0}});
            json rows = json::array();
            // Rows written before some fields were appended: [row, [the fields' places]].
            json absent = json::array();
            const std::vector<const ColumnDef*> ordered = ByNumber(def);
            for (const StoredRow& row : TableRows(file, def)) {
                const std::size_t count =
                    row.bytes.size() >= 2 ? actualiz::engine::jet::U16(row.bytes.data()) : 0;
                json places = json::array();
                for (std::size_t i = 0; i < ordered.size(); ++i)
                    if (ordered[i]->number >= count) places.push_back(i);
                if (!places.empty()) absent.push_back({rows.size(), places});
                rows.push_back(RowJson(file, def, row.bytes));
            }
            table["columns"] = columns;
            table["rows"] = rows;
            if (!absent.empty()) table["absent"] = absent;
            table["rowCount"] = def.rowCount;
        } catch (const std::exception& e) {
            table["error"] = e.what();
        }
        tables.push_back(table);
    }
    return {{"reader", "actualiz"}, {"tables", tables}};
}

// A value of the operation's JSON as the stored bytes of its column.
std::vector<unsigned char> Stored(const ColumnDef& column, const json& value) {
    auto bytes = [](const auto& v) {
        std::vector<unsigned char> out(sizeof v);
        std::memcpy(out.data(), &v, sizeof v);
        return out;
    };
    switch (column.type) {
        case kBoolean:
            return {static_cast<unsigned char>(value.get<bool>() ? 1 : 0)};
        case kByte:
            return {value.get<std::uint8_t>()};
        case kInteger:
            return bytes(value.get<std::int16_t>());
        case kLong:
            return bytes(value.get<std::int32_t>());
        case kCurrency: {  // given as text with up to four decimals
            std::string text = value.get<std::string>();
            bool negative = !text.empty() && text[0] == '-';
            std::string digits = negative ? text.substr(1) : text;
            auto dot = digits.find('.');
            std::string whole = dot == std::string::npos ? digits : digits.substr(0, dot);
            std::string fraction = dot == std::string::npos ? "" : digits.substr(dot + 1);
            fraction.resize(4, '0');
            std::int64_t scaled = std::stoll(whole) * 10000 + std::stoll(fraction);
            return bytes(negative ? -scaled : scaled);
        }
        case kSingle:
            return bytes(value.get<float>());
        case kDouble:
            return bytes(value.get<double>());
        case kDateTime:
            return bytes(value.get<double>());  // days since 1899-12-30
        case kText:
        case kMemo:
            return write::TextBytes(Utf16(value.get<std::string>()));
        default:
            return FromHex(value.get<std::string>());
    }
}

struct Table {
    std::uint32_t page;
    TableDef def;
};

Table NamedTable(const PageFile& file, const json& op) {
    std::string name = op.at("table").get<std::string>();
    std::optional<CatalogObject> object = FindTable(file, name);
    if (!object) throw Fault("no hay tabla «" + name + "»");
    return {object->DefinitionPage(), ReadTableDef(file, object->DefinitionPage())};
}

// The levels of the deepest index tree of the table (0 without indexes).
int DeepestTree(const PageFile& file, std::uint32_t table) {
    int deepest = 0;
    for (const RealIndexDef& index : ReadTableDef(file, table).realIndexes) {
        int levels = 1;
        for (IndexPage page = ReadIndexPage(file, index.rootPage); page.Intermediate(); ++levels)
            page =
                ReadIndexPage(file, page.entries.empty() ? page.tail : page.entries.front().child);
        deepest = std::max(deepest, levels);
    }
    return deepest;
}

using Operation = std::function<json(PageFile&, const json&)>;

const std::map<std::string, Operation>& Operations() {
    static const std::map<std::string, Operation> operations = {
        // {"op":"create_table","name":N,"columns":[{"name":C,"type":"long"|"text"...,"size":n}]}
        {"create_table",
         [](PageFile& file, const json& op) -> json {
             write::NewTable table;
             table.name = Utf16(op.at("name").get<std::string>());
             table.created = op.value("created", 45000.5);
             for (const json& c : op.at("columns"))
                 table.columns.push_back({Utf16(c.at("name").get<std::string>()),
                                          TypeCode(c.at("type").get<std::string>()),
                                          c.value("size", 0)});
             // "indexes":[{"name":I,"fields":[C...],"primary":b,"unique":b,"descending":b}]
             for (const json& i : op.value("indexes", json::array())) {
                 write::NewIndex index;
                 index.name = Utf16(i.at("name").get<std::string>());
                 for (const json& f : i.at("fields"))
                     index.fields.push_back(
                         {Utf16(f.get<std::string>()), i.value("descending", false)});
                 index.primary = i.value("primary", false);
                 index.unique = i.value("unique", false);
                 table.indexes.push_back(std::move(index));
             }
             return {{"page", write::CreateTable(file, table)}};
         }},
        // {"op":"insert","table":T,"values":{C:value}}: values typed by their columns
        {"insert",
         [](PageFile& file, const json& op) -> json {
             Table table = NamedTable(file, op);
             write::StoredValues values;
             for (const auto& [name, value] : op.at("values").items()) {
                 const ColumnDef* column = nullptr;
                 for (const ColumnDef& c : table.def.columns)
                     if (c.name == name) column = &c;
                 if (!column) throw Fault("no hay columna «" + name + "»");
                 if (!value.is_null()) values[name] = Stored(*column, value);
             }
             PageRow where = write::InsertRow(file, table.page, values);
             return {{"page", where.page}, {"row", where.row}};
         }},
        // {"op":"delete","table":T,"nth":k}: the k-th live row in page order (modulo their number)
        {"delete",
         [](PageFile& file, const json& op) -> json {
             Table table = NamedTable(file, op);
             std::vector<StoredRow> rows = TableRows(file, table.def);
             if (rows.empty()) return {{"skipped", "sin filas"}};
             const StoredRow& row = rows[op.at("nth").get<std::size_t>() % rows.size()];
             json values = RowJson(file, table.def, row.bytes);
             write::DeleteRow(file, table.page, row.where);
             return {{"deleted", values}, {"page", row.where.page}, {"row", row.where.row}};
         }},
        // {"op":"grow","table":T,"rows":[{C:value}...]}: the rows inserted one by one, all or
        // none (the table's indexes grow into trees of several levels)
        {"grow",
         [](PageFile& file, const json& op) -> json {
             PageFile before = file;
             try {
                 Table table = NamedTable(file, op);
                 for (const json& row : op.at("rows")) {
                     write::StoredValues values;
                     for (const auto& [name, value] : row.items()) {
                         const ColumnDef* column = nullptr;
                         for (const ColumnDef& c : table.def.columns)
                             if (c.name == name) column = &c;
                         if (!column) throw Fault("no hay columna «" + name + "»");
                         if (!value.is_null()) values[name] = Stored(*column, value);
                     }
                     write::InsertRow(file, table.page, values);
                 }
             } catch (...) {
                 file = std::move(before);
                 throw;
             }
             return {{"inserted", op.at("rows").size()},
                     {"levels", DeepestTree(file, NamedTable(file, op).page)}};
         }},
        // {"op":"reference_maps","table":T}: the table's map of pages and its map of pages with
        // room become type 1 maps (the writer makes them so when a type 0 map cannot grow)
        {"reference_maps",
         [](PageFile& file, const json& op) -> json {
             PageFile before = file;
             try {
                 Table table = NamedTable(file, op);
                 write::MakeReferenceMap(file, PageRow::From(table.def.usageMap));
                 write::MakeReferenceMap(file, PageRow::From(table.def.freeMap));
             } catch (...) {
                 file = std::move(before);
                 throw;
             }
             return {{"pages", ReadUsageMap(file, PageRow::From(NamedTable(file, op).def.usageMap))
                                   .pages.size()}};
         }},
        // {"op":"thin","table":T,"keep":k}: every live row deleted but each k-th in page order,
        // all or none (the trees shrink back)
        {"thin",
         [](PageFile& file, const json& op) -> json {
             PageFile before = file;
             json deleted = json::array();
             try {
                 Table table = NamedTable(file, op);
                 std::vector<StoredRow> rows = TableRows(file, table.def);
                 std::vector<std::pair<PageRow, json>> doomed;
                 std::size_t keep = std::max<std::size_t>(1, op.at("keep").get<std::size_t>());
                 for (std::size_t i = 0; i < rows.size(); ++i)
                     if (i % keep != 0)
                         doomed.emplace_back(rows[i].where,
                                             RowJson(file, table.def, rows[i].bytes));
                 for (const auto& [where, values] : doomed) {
                     write::DeleteRow(file, table.page, where);
                     deleted.push_back(values);
                 }
             } catch (...) {
                 file = std::move(before);
                 throw;
             }
             return {{"deletedRows", deleted},
                     {"levels", DeepestTree(file, NamedTable(file, op).page)}};
         }},
        // {"op":"append_column","table":T,"column":{"name":C,"type":"long"|"text"...,"size":n}}
        {"append_column",
         [](PageFile& file, const json& op) -> json {
             Table table = NamedTable(file, op);
             const json& c = op.at("column");
             write::NewColumn column;
             column.name = Utf16(c.at("name").get<std::string>());
             column.type = TypeCode(c.at("type").get<std::string>());
             column.textLength = c.value("size", 0);
             write::AppendColumn(file, table.page, column);
             return json::object();
         }},
        // {"op":"delete_column","table":T,"column":C}
        {"delete_column",
         [](PageFile& file, const json& op) -> json {
             Table table = NamedTable(file, op);
             write::DeleteColumn(file, table.page, Utf16(op.at("column").get<std::string>()));
             return json::object();
         }},
        // {"op":"set_property","table":T,"column":C or "","name":P,"text":V or "yes":b}
        {"set_property",
         [](PageFile& file, const json& op) -> json {
             const std::u16string table = Utf16(op.at("table").get<std::string>());
             const std::u16string column = Utf16(op.value("column", std::string()));
             const std::u16string name = Utf16(op.at("name").get<std::string>());
             if (op.contains("yes"))
                 write::SetProperty(file, table, column, name,
                                    write::PropertyValue::Boolean(op.at("yes").get<bool>()));
             else
                 write::SetProperty(
                     file, table, column, name,
                     write::PropertyValue::Text(Utf16(op.at("text").get<std::string>())));
             return json::object();
         }},
        // {"op":"create_query","name":N,"sql":S}
        {"create_query",
         [](PageFile& file, const json& op) -> json {
             return {{"id", write::CreateQuery(file, op.at("name").get<std::string>(),
                                               op.at("sql").get<std::string>(),
                                               op.value("created", 45000.5))}};
         }},
        // {"op":"delete_query","name":N}
        {"delete_query",
         [](PageFile& file, const json& op) -> json {
             write::DeleteQuery(file, op.at("name").get<std::string>());
             return json::object();
         }},
        // {"op":"create_index","table":T,"name":I,"fields":[C... or {"name":C,"descending":b}],
        //  "primary":b,"unique":b,"ignore_nulls":b,"required":b}
        {"create_index",
         [](PageFile& file, const json& op) -> json {
             Table table = NamedTable(file, op);
             write::NewIndex index;
             index.name = Utf16(op.at("name").get<std::string>());
             for (const json& f : op.at("fields"))
                 index.fields.push_back(
                     f.is_string() ? write::NewIndexField{Utf16(f.get<std::string>()), false}
                                   : write::NewIndexField{Utf16(f.at("name").get<std::string>()),
                                                          f.value("descending", false)});
             index.primary = op.value("primary", false);
             index.unique = op.value("unique", false);
             index.ignoreNulls = op.value("ignore_nulls", false);
             index.required = op.value("required", false);
             write::CreateIndex(file, table.page, index);
             return json::object();
         }},
        // {"op":"delete_index","table":T,"name":I}
        {"delete_index",
         [](PageFile& file, const json& op) -> json {
             Table table = NamedTable(file, op);
             write::DeleteIndex(file, table.page, Utf16(op.at("name").get<std::string>()));
             return json::object();
         }},
        // {"op":"create_relation","name":R,"table":T,"foreign_table":F,"attributes":n,
        //  "fields":[[C of T, C of F]...]}
        {"create_relation",
         [](PageFile& file, const json& op) -> json {
             write::NewRelation relation;
             relation.name = Utf16(op.at("name").get<std::string>());
             relation.table = Utf16(op.at("table").get<std::string>());
             relation.foreignTable = Utf16(op.at("foreign_table").get<std::string>());
             relation.attributes = op.value("attributes", 0);
             relation.created = op.value("created", 45000.5);
             for (const json& pair : op.at("fields"))
                 relation.fields.emplace_back(Utf16(pair.at(0).get<std::string>()),
                                              Utf16(pair.at(1).get<std::string>()));
             write::CreateRelation(file, relation);
             return json::object();
         }},
        // {"op":"delete_relation","name":R}
        {"delete_relation",
         [](PageFile& file, const json& op) -> json {
             write::DeleteRelation(file, Utf16(op.at("name").get<std::string>()));
             return json::object();
         }},
        // {"op":"pages","count":n,"free":[i...]}: n pages handed out, then the listed ones (their
        // order in the list) given back and the others too, in reverse
        {"pages",
         [](PageFile& file, const json& op) -> json {
             std::vector<std::uint32_t> pages;
             for (int i = 0; i < op.at("count").get<int>(); ++i)
                 pages.push_back(write::AllocatePage(file));
             std::vector<bool> freed(pages.size(), false);
             for (const json& i : op.value("free", json::array())) {
                 std::size_t at = i.get<std::size_t>() % std::max<std::size_t>(pages.size(), 1);
                 if (at < pages.size() && !freed[at]) {
                     write::FreePage(file, pages[at]);
                     freed[at] = true;
                 }
             }
             for (std::size_t i = pages.size(); i-- > 0;)
                 if (!freed[i]) write::FreePage(file, pages[i]);
             return {{"pages", pages}};
         }},
    };
    return operations;
}

// Runs one operation; a refusal must leave the bytes as they were.
json Apply(PageFile& file, const json& op) {
    const std::string name = op.at("op").get<std::string>();
    auto found = Operations().find(name);
    if (found == Operations().end()) throw Fault("operación desconocida: " + name);
    std::vector<unsigned char> before(file.Bytes().begin(), file.Bytes().end());
    try {
        json result = found->second(file, op);
        result["ok"] = true;
        return result;
    } catch (const EngineError& e) {
        if (!std::ranges::equal(file.Bytes(), before))
            throw Fault("la operación rehusada (" + std::to_string(e.number()) +
                        ") dejó los bytes cambiados: " + e.what());
        return {{"ok", false}, {"error", e.number()}, {"text", e.what()}};
    }
}

int Usage() {
    std::cerr << "uso: jet_driver dump ARCHIVO | apply ARCHIVO OPS [--out COPIA] | op ARCHIVO JSON "
                 "[--out COPIA]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2) return Usage();
    PageFile file = [&] {
        try {
            // The copy the campaign made: mapped, as the write-back opens the bytes it read.
            return PageFile::OpenPrivate(args[1], args[1]);
        } catch (const std::exception& e) {
            std::cerr << e.what() << "\n";
            std::exit(2);
        }
    }();
    if (args[0] == "dump") {
        std::cout << Dump(file).dump() << "\n";
        return 0;
    }
    if ((args[0] != "apply" && args[0] != "op") || args.size() < 3) return Usage();
    std::filesystem::path out = args[1];
    if (args.size() == 5 && args[3] == "--out")
        out = args[4];
    else if (args.size() != 3)
        return Usage();
    std::vector<std::string> lines;
    if (args[0] == "op") {
        lines.push_back(args[2]);
    } else {
        std::ifstream in;
        if (args[2] != "-") in.open(args[2]);
        std::istream& source = args[2] == "-" ? std::cin : in;
        for (std::string line; std::getline(source, line);)
            if (!line.empty()) lines.push_back(line);
    }
    int status = 0;
    for (const std::string& line : lines) {
        try {
            std::cout << Apply(file, json::parse(line)).dump() << "\n";
        } catch (const std::exception& e) {
            std::cout << json{{"ok", false}, {"fault", e.what()}}.dump() << "\n";
            status = 1;
            break;
        }
    }
    std::cout.flush();
    if (status == 0) file.Save(out);
    return status;
}
