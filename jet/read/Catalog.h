#pragma once

// MSysObjects, the catalog: one row per object of the database (tables, queries, relations,
// forms ...). Its definition is always on page 2. A local table's row has type 1 and its
// definition's page in the low three bytes of its Id.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::format {

inline constexpr std::uint32_t kCatalogPage = 2;
inline constexpr int kCatalogLocalTable = 1;

struct CatalogObject {
    PageRow where;
    std::int32_t id = 0;
    std::int32_t parentId = 0;
    int type = 0;
    std::string name;  // UTF-8

    bool LocalTable() const { return type == kCatalogLocalTable; }
    std::uint32_t DefinitionPage() const { return static_cast<std::uint32_t>(id) & 0x00FFFFFFu; }
};

// Every row of MSysObjects. 3343 when its definition or a row cannot be read.
std::vector<CatalogObject> ReadCatalog(const PageFile& file);

// The definition page of the local table `name` (as stored, case and all) in a catalog; nullopt
// when it has none.
std::optional<std::uint32_t> LocalTablePage(const std::vector<CatalogObject>& catalog,
                                            std::string_view name);

}  // namespace actualiz::engine::jet::format
