#include "jet/write/Queries.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "engine/EngineError.h"
#include "jet/JetQueryRows.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/TextKey.h"
#include "jet/format/UsageMap.h"
#include "jet/mdb/Bytes.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"
#include "jet/write/Permissions.h"
#include "jet/write/Rows.h"
#include "jet/write/TableDefWrite.h"
#include "jet/write/WholeChange.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr std::int16_t kCatalogQueryType = 5;
constexpr int kCatalogContainerType = 3;
constexpr int kCatalogDatabaseType = 2;
constexpr std::size_t kMaxNameLength = 64;
constexpr std::uint32_t kDocumentIds = 0x80000000u;  // documents and queries are numbered from it
constexpr int kFirstRow = 0, kLastRow = 255;

bool SharesNames(int type) {
    return type == 1 || type == 4 || type == 5 || type == 6;  // tables, linked ones, queries
}

// MSysObjects.Flags of a query of each kind, as the samples show them.
std::int32_t CatalogFlags(int type) {
    switch (type) {
        case kCrosstabQuery:
            return 16;
        case kDeleteQuery:
            return 32;
        case kUpdateQuery:
            return 48;
        case kAppendQuery:
            return 64;
        case kMakeTableQuery:
            return 80;
        case kDataDefinitionQuery:
            return 96;
        case kPassThroughQuery:
            return 112;
        case kUnionQuery:
            return 128;
        default:
            return 0;
    }
}

EngineError Refused(const std::string& name, const std::string& why) {
    return EngineError(err::kInvalidOperation,
                       "No se crea la consulta «" + name + "»: " + why + ".");
}

const ColumnDef& ColumnOf(const TableDef& def, const char* name, const std::string& table) {
    for (const ColumnDef& c : def.columns)
        if (c.name == name) return c;
    throw EngineError(err::kInvalidOperation, table + " no tiene la columna " + name);
}

std::uint32_t SystemTable(const std::vector<CatalogObject>& catalog, const char* name) {
    if (auto page = LocalTablePage(catalog, name)) return *page;
    throw EngineError(err::kInvalidOperation, std::string("El archivo no tiene ") + name + ".");
}

std::vector<unsigned char> OrderBytes(std::uint32_t place) {
    return {static_cast<unsigned char>(place >> 24), static_cast<unsigned char>(place >> 16),
            static_cast<unsigned char>(place >> 8), static_cast<unsigned char>(place)};
}

StoredValues QueryRowValues(std::int32_t id, const QueryRow& row, std::uint32_t place) {
    StoredValues values{{"ObjectId", LongBytes(id)},
                        {"Attribute", {static_cast<unsigned char>(row.attribute)}},
                        {"Order", OrderBytes(place)}};
    if (!row.name1.empty()) values["Name1"] = TextBytes(Utf16(row.name1));
    if (!row.name2.empty()) values["Name2"] = TextBytes(Utf16(row.name2));
    if (!row.expression.empty()) values["Expression"] = TextBytes(Utf16(row.expression));
    if (row.flag) values["Flag"] = IntegerBytes(static_cast<std::int16_t>(*row.flag));
    return values;
}

// The rows of MSysQueries that belong to the query.
std::vector<PageRow> QueryRowsOf(const PageFile& file, std::uint32_t queries, std::int32_t id) {
    TableDef def = ReadTableDef(file, queries);
    const ColumnDef& objectId = ColumnOf(def, "ObjectId", "MSysQueries");
    std::vector<PageRow> rows;
    for (const StoredRow& row : TableRows(file, def)) {
        auto value = RowValues(file, def, row.bytes).Value(objectId);
        if (value && value->size() == 4 && static_cast<std::int32_t>(U32(value->data())) == id)
            rows.push_back(row.where);
    }
    return rows;
}

}  // namespace

std::uint32_t NextObjectId(const PageFile& file) {
    // The tables and columns that name objects by Id.
    static const std::map<std::string, std::vector<std::string>> naming = {
        {"MSysObjects", {"Id"}},
        {"MSysQueries", {"ObjectId"}},
        {"MSysACEs", {"ObjectId"}},
        {"MSysNavPaneObjectIDs", {"Id"}},
        {"MSysNavPaneGroupToObjects", {"ObjectID"}}};
    std::uint32_t last = kDocumentIds;
    for (const CatalogObject& object : ReadCatalog(file)) {
        auto columns = naming.find(object.name);
        if (!object.LocalTable() || columns == naming.end()) continue;
        TableDef def = ReadTableDef(file, object.DefinitionPage());
        std::vector<const ColumnDef*> named;
        for (const ColumnDef& column : def.columns)
            if (std::find(columns->second.begin(), columns->second.end(), column.name) !=
                    columns->second.end() &&
                column.type == kLong)
                named.push_back(&column);
        if (named.empty()) continue;
        for (const StoredRow& row : TableRows(file, def)) {
            RowValues values(file, def, row.bytes);
            for (const ColumnDef* column : named)
                if (auto value = values.Value(*column); value && value->size() == 4) {
                    const std::uint32_t id = U32(value->data());
                    if (id >= kDocumentIds) last = std::max(last, id);
                }
        }
    }
    if (last == 0xFFFFFFFFu)
        throw EngineError(err::kInvalidOperation, "El archivo no tiene más números de objeto.");
    return last + 1;
}

std::int32_t CreateQuery(PageFile& file, const std::string& name, const std::string& sql,
                         double created) {
    RequireJet4(file);
    const std::u16string name16 = Utf16(name);
    if (name16.empty() || name16.size() > kMaxNameLength)
        throw Refused(name, "el nombre debe tener de 1 a 64 caracteres");
    const std::vector<unsigned char> key = TextKey(name16);
    QueryRowsResult stored = QueryRowsFor(sql);
    if (!stored.problem.empty()) throw Refused(name, "su SQL " + stored.problem);

    std::vector<CatalogObject> catalog = ReadCatalog(file);
    std::optional<std::int32_t> container;
    for (const CatalogObject& object : catalog) {
        if (SharesNames(object.type) && TextKey(Utf16(object.name)) == key)
            throw Refused(name, "ya hay una tabla o consulta con ese nombre");
        if (object.type == kCatalogContainerType && object.name == "Tables") container = object.id;
    }
    if (!container) throw Refused(name, "MSysObjects no tiene el contenedor «Tables»");
    std::uint32_t nextId = 0;
    try {
        nextId = NextObjectId(file);
    } catch (const EngineError&) {
        throw Refused(name, "no quedan números de objeto");
    }

    // The owner of the database's own row, as every query of the samples has.
    TableDef objects = ReadTableDef(file, kCatalogPage);
    std::optional<std::vector<unsigned char>> owner;
    for (const CatalogObject& object : catalog)
        if (object.type == kCatalogDatabaseType && object.name == "MSysDb") {
            for (const StoredRow& row : TableRows(file, objects))
                if (row.where.Packed() == object.where.Packed())
                    if (auto value = RowValues(file, objects, row.bytes)
                                         .Value(ColumnOf(objects, "Owner", "MSysObjects")))
                        owner.emplace(value->begin(), value->end());
        }
    if (!owner) throw Refused(name, "MSysObjects no dice el dueño de la base (MSysDb)");
    const std::uint32_t queries = SystemTable(catalog, "MSysQueries");
    const auto id = static_cast<std::int32_t>(nextId);

    Whole(file, [&] {
        InsertRow(file, kCatalogPage,
                  {{"Id", LongBytes(id)},
                   {"ParentId", LongBytes(*container)},
                   {"Name", TextBytes(name16)},
                   {"Type", IntegerBytes(kCatalogQueryType)},
                   {"DateCreate", DoubleBytes(created)},
                   {"DateUpdate", DoubleBytes(created)},
                   {"Owner", *owner},
                   {"Flags", LongBytes(CatalogFlags(stored.type))}});
        QueryRow first, last;
        first.attribute = kFirstRow;
        first.flag = 0;
        last.attribute = kLastRow;
        InsertRow(file, queries, QueryRowValues(id, first, 1));
        std::map<int, std::uint32_t> places;
        for (const QueryRow& row : stored.rows)
            InsertRow(file, queries, QueryRowValues(id, row, ++places[row.attribute]));
        InsertRow(file, queries, QueryRowValues(id, last, 1));
        AddObjectPermissions(file, id);
    });
    return id;
}

void DeleteQuery(PageFile& file, const std::string& name) {
    RequireJet4(file);
    const std::vector<unsigned char> key = TextKey(Utf16(name));
    std::vector<CatalogObject> catalog = ReadCatalog(file);
    auto query = std::find_if(catalog.begin(), catalog.end(), [&](const CatalogObject& o) {
        return o.type == kCatalogQueryType && TextKey(Utf16(o.name)) == key;
    });
    if (query == catalog.end()) throw MakeError(err::kItemNotFound, name);
    const std::uint32_t queries = SystemTable(catalog, "MSysQueries");
    Whole(file, [&] {
        for (const PageRow& where : QueryRowsOf(file, queries, query->id))
            DeleteRow(file, queries, where);
        RemoveObjectPermissions(file, query->id);
        DeleteRow(file, kCatalogPage, query->where);
    });
}

}  // namespace actualiz::engine::jet::write
