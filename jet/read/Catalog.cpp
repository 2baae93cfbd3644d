#include "jet/read/Catalog.h"

#include "jet/JetText.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/UsageMap.h"
#include "jet/mdb/Bytes.h"
#include "jet/read/RowReader.h"

namespace actualiz::engine::jet::format {

std::vector<CatalogObject> ReadCatalog(const PageFile& file) {
    TableDef def = ReadTableDef(file, kCatalogPage);
    UsageMap map = ReadUsageMap(file, PageRow::From(def.usageMap));
    auto column = [&](const char* name) -> const ColumnDef& {
        for (const ColumnDef& c : def.columns)
            if (c.name == name) return c;
        throw Unreadable(file.File(), std::string("MSysObjects sin columna ") + name);
    };
    const ColumnDef& id = column("Id");
    const ColumnDef& parentId = column("ParentId");
    const ColumnDef& name = column("Name");
    const ColumnDef& type = column("Type");
    std::vector<CatalogObject> objects;
    for (const StoredRow& row : TableRows(file, def, map)) {
        RowValues values(file, def, row.bytes);
        CatalogObject object;
        object.where = row.where;
        if (auto v = values.Value(id); v && v->size() == 4)
            object.id = static_cast<std::int32_t>(U32(v->data()));
        if (auto v = values.Value(parentId); v && v->size() == 4)
            object.parentId = static_cast<std::int32_t>(U32(v->data()));
        if (auto v = values.Value(type); v && v->size() == 2)
            object.type = static_cast<std::int16_t>(U16(v->data()));
        if (auto v = values.Value(name)) object.name = Utf8(StoredText(*v));
        objects.push_back(std::move(object));
    }
    return objects;
}

std::optional<std::uint32_t> LocalTablePage(const std::vector<CatalogObject>& catalog,
                                            std::string_view name) {
    for (const CatalogObject& object : catalog)
        if (object.LocalTable() && object.name == name) return object.DefinitionPage();
    return std::nullopt;
}

}  // namespace actualiz::engine::jet::format
