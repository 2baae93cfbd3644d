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

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr int kCatalogContainer = 3;
constexpr std::uint32_t kNotInherited = 0x000F00FE;

EngineError Refused(std::uint32_t tablePage, const std::string& why) {
    return EngineError(err::kInvalidOperation,
                       "No se escriben los permisos de la tabla de la página " +
                           std::to_string(tablePage) + ": " + why + ".");
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
    std::optional<std::int32_t> table, container;
    std::optional<std::uint32_t> aces;
    for (const CatalogObject& object : ReadCatalog(file)) {
        if (object.LocalTable() && object.DefinitionPage() == tablePage) table = object.id;
        if (object.LocalTable() && object.name == "MSysACEs") aces = object.DefinitionPage();
        if (object.type == kCatalogContainer && object.name == "Tables") container = object.id;
    }
    if (!table) throw Refused(tablePage, "no es una tabla de MSysObjects");
    if (!container) throw Refused(tablePage, "MSysObjects no tiene el contenedor «Tables»");
    if (!aces) throw Refused(tablePage, "el archivo no tiene MSysACEs");

    TableDef def = ReadTableDef(file, *aces);
    const ColumnDef& objectColumn = ColumnNamed(file, def, "ObjectId");
    const ColumnDef& sidColumn = ColumnNamed(file, def, "SID");
    const ColumnDef& rightsColumn = ColumnNamed(file, def, "ACM");
    const ColumnDef& inheritColumn = ColumnNamed(file, def, "FInheritable");
    std::vector<Entry> inherited;
    for (const StoredRow& row :
         TableRows(file, def, ReadUsageMap(file, PageRow::From(def.usageMap)))) {
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

    PageFile before = file;
    try {
        for (const Entry& entry : inherited)
            InsertRow(file, *aces,
                      {{"ObjectId", LongBytes(*table)},
                       {"SID", entry.sid},
                       {"ACM", LongBytes(static_cast<std::int32_t>(entry.rights))},
                       {"FInheritable", {0}}});
    } catch (...) {
        file = std::move(before);
        throw;
    }
    return static_cast<int>(inherited.size());
}

}  // namespace actualiz::engine::jet::write
