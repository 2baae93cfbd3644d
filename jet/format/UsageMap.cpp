#include "jet/format/UsageMap.h"

#include <algorithm>
#include <string>

#include "jet/JetText.h"
#include "jet/format/DataPage.h"
#include "jet/mdb/Bytes.h"

namespace actualiz::engine::jet::format {

namespace {

void AddMarked(std::span<const unsigned char> bitmap, std::uint32_t first,
               std::vector<std::uint32_t>& pages) {
    for (std::size_t i = 0; i < bitmap.size(); ++i)
        for (unsigned bit = 0; bit < 8; ++bit)
            if (bitmap[i] & (1u << bit))
                pages.push_back(first + static_cast<std::uint32_t>(i * 8 + bit));
}

}  // namespace

bool UsageMap::Contains(std::uint32_t page) const {
    return std::binary_search(pages.begin(), pages.end(), page);
}

UsageMap ReadUsageMap(const PageFile& file, PageRow where) {
    std::span<const unsigned char> row = RowBytes(file, where);
    auto damaged = [&](const std::string& why) {
        return Unreadable(file.File(), "mapa de uso en la página " + std::to_string(where.page) +
                                           ", fila " + std::to_string(where.row) + ": " + why);
    };
    UsageMap map;
    map.where = where;
    if (row.empty()) throw damaged("vacío");
    map.type = row[0];
    if (map.type == 0) {
        if (row.size() < 5) throw damaged("corto");
        map.firstPage = U32(row.data() + 1);
        AddMarked(row.subspan(5), map.firstPage, map.pages);
    } else if (map.type == 1) {
        for (std::size_t at = 1; at + 4 <= row.size(); at += 4) {
            std::uint32_t bitmapPage = U32(row.data() + at);
            map.bitmapPages.push_back(bitmapPage);
            if (bitmapPage == 0) continue;
            std::span<const unsigned char> page = file.Page(bitmapPage);
            if (page[0] != kUsageBitmapPage)
                throw damaged("la página " + std::to_string(bitmapPage) + " no es de mapa");
            auto stretch = static_cast<std::uint32_t>(map.bitmapPages.size() - 1);
            AddMarked(page.subspan(4), stretch * UsageMap::kPagesPerBitmapPage, map.pages);
        }
    } else {
        throw damaged("tipo " + std::to_string(map.type) + " desconocido");
    }
    return map;
}

}  // namespace actualiz::engine::jet::format
