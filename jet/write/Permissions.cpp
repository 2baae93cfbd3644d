#include "jet/write/Permissions.h"

#include <optional>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "jet/JetText.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/UsageMap.h"
#include "jet/mdb/Bytes.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"
#include "jet/write/Rows.h"
#include "jet/write/WholeChange.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr int kCatalogContainer = 3;
constexpr std::uint32_t kNotInherited = 0x000F00FE;

// An object by its MSysObjects Id (a table's is its definition page).
EngineError Refused(std::int64_t object, const std::string& why) {
    return EngineError(err::kInvalidOperation, "No se escriben los permisos del objeto " +
                                                   std::to_string(object) +
                                                   " de MSysObjects: " + why + ".");
}

struct Entry {
    std::int32_t object = 0;
    std::vector<unsigned char> sid;
    std::uint32_t rights = 0;
    bool inheritable = false;
};

const ColumnDef& ColumnNamed(const PageFile& file, const TableDef& def, const char* name) {
    for (const ColumnDef& c : def.columns)
        if (c.name == name) return c;
    throw Unreadable(file.File(), std::string("MSysACEs sin la columna ") + name);
}

}  // namespace

int AddTablePermissions(PageFile& file, std::uint32_t tablePage) {
    std::optional<std::int32_t> table;
    for (const CatalogObject& object : ReadCatalog(file))
        if (object.LocalTable() && object.DefinitionPage() == tablePage) table = object.id;
    if (!table) throw Refused(tablePage, "no es una tabla de MSysObjects");
    return AddObjectPermissions(file, *table);
}

int AddObjectPermissions(PageFile& file, std::int32_t objectId) {
    const std::int32_t* table = &objectId;
    const std::int64_t tablePage = objectId;
    std::optional<std::int32_t> container;
    std::optional<std::uint32_t> aces;
    for (const CatalogObject& object : ReadCatalog(file)) {
        if (object.LocalTable() && object.name == "MSysACEs") aces = object.DefinitionPage();
        if (object.type == kCatalogContainer && object.name == "Tables") container = object.id;
    }
    if (!container) throw Refused(tablePage, "MSysObjects no tiene el contenedor «Tables»");
    if (!aces) throw Refused(tablePage, "el archivo no tiene MSysACEs");

    TableDef def = ReadTableDef(file, *aces);
    const ColumnDef& objectColumn = ColumnNamed(file, def, "ObjectId");
    const ColumnDef& sidColumn = ColumnNamed(file, def, "SID");
    const ColumnDef& rightsColumn = ColumnNamed(file, def, "ACM");
    const ColumnDef& inheritColumn = ColumnNamed(file, def, "FInheritable");
    std::vector<Entry> inherited;
    for (const StoredRow& row : TableRows(file, def)) {
        RowValues values(file, def, row.bytes);
        auto object = values.Value(objectColumn);
        auto sid = values.Value(sidColumn);
        auto rights = values.Value(rightsColumn);
        auto inheritable = values.Value(inheritColumn);
        if (!object || object->size() != 4 || !sid || !rights || rights->size() != 4) continue;
        Entry entry{static_cast<std::int32_t>(U32(object->data())),
                    std::vector<unsigned char>(sid->begin(), sid->end()), U32(rights->data()),
                    inheritable && (*inheritable)[0] != 0};
        if (entry.object == *table) throw Refused(tablePage, "ya tiene permisos");
        if (entry.object == *container && entry.inheritable && entry.rights != kNotInherited)
            inherited.push_back(std::move(entry));
    }
    if (inherited.empty())
        throw Refused(tablePage, "el contenedor «Tables» no tiene permisos que heredar");

    Whole(file, [&] {
        for (const Entry& entry : inherited)
            InsertRow(file, *aces,
                      {{"ObjectId", LongBytes(*table)},
                       {"SID", entry.sid},
                       {"ACM", LongBytes(static_cast<std::int32_t>(entry.rights))},
                       {"FInheritable", {0}}});
    });
    return static_cast<int>(inherited.size());
}

int RemoveObjectPermissions(PageFile& file, std::int32_t objectId) {
    const std::optional<std::uint32_t> aces = LocalTablePage(ReadCatalog(file), "MSysACEs");
    if (!aces) return 0;
    TableDef def = ReadTableDef(file, *aces);
    const ColumnDef& objectColumn = ColumnNamed(file, def, "ObjectId");
    std::vector<PageRow> rows;
    for (const StoredRow& row : TableRows(file, def)) {
        auto object = RowValues(file, def, row.bytes).Value(objectColumn);
        if (object && object->size() == 4 &&
            static_cast<std::int32_t>(U32(object->data())) == objectId)
            rows.push_back(row.where);
    }
    Whole(file, [&] {
        for (const PageRow& where : rows) DeleteRow(file, *aces, where);
    });
    return static_cast<int>(rows.size());
}

}  // namespace actualiz::engine::jet::write
