#include "jet/format/TableDef.h"

#include <algorithm>
#include <set>

#include "jet/JetText.h"
#include "jet/format/Text.h"
#include "jet/mdb/Bytes.h"

namespace actualiz::engine::jet::format {

namespace {

constexpr std::size_t kContinuationHeader = 8;
constexpr std::size_t kHeaderEnd = 63;  // the list of physical indexes follows
constexpr std::size_t kRealIndexCountSize = 12;
constexpr std::size_t kColumnSize = 25;
constexpr std::size_t kRealIndexSize = 52;
constexpr std::size_t kLogicalIndexSize = 28;
constexpr std::size_t kLongValueMapsSize = 10;
constexpr std::uint32_t kCountLimit = 4096;

class Reader {
  public:
    Reader(const std::vector<unsigned char>& bytes, const PageFile& file, std::uint32_t page)
        : bytes_(bytes), file_(file), page_(page) {}
    const unsigned char* Take(std::size_t n) {
        if (pos_ + n > bytes_.size()) throw Damaged("corta");
        const unsigned char* p = bytes_.data() + pos_;
        pos_ += n;
        return p;
    }
    std::size_t Pos() const { return pos_; }
    std::string Name() {
        std::size_t length = U16(Take(2));
        return Utf8(Ucs2Text({Take(length), length}));
    }
    EngineError Damaged(const std::string& why) const {
        return Unreadable(file_.File(),
                          "definición de tabla en la página " + std::to_string(page_) + ": " + why);
    }

  private:
    const std::vector<unsigned char>& bytes_;
    const PageFile& file_;
    std::uint32_t page_;
    std::size_t pos_ = 0;
};

}  // namespace

const ColumnDef* TableDef::ColumnByNumber(std::uint16_t number) const {
    for (const ColumnDef& column : columns)
        if (column.number == number) return &column;
    return nullptr;
}

TableDef ReadTableDef(const PageFile& file, std::uint32_t firstPage) {
    TableDef def;
    def.firstPage = firstPage;
    std::vector<unsigned char> bytes;
    std::set<std::uint32_t> seen;
    for (std::uint32_t page = firstPage; page != 0;) {
        if (!seen.insert(page).second || page >= file.PageCount())
            throw Reader(bytes, file, firstPage).Damaged("cadena de páginas rota");
        std::span<const unsigned char> bytesOfPage = file.Page(page);
        if (bytesOfPage[0] != kDefinitionPage)
            throw Reader(bytes, file, firstPage)
                .Damaged("la página " + std::to_string(page) + " no es de definición");
        def.pages.push_back(page);
        bytes.insert(bytes.end(), bytesOfPage.begin() + (bytes.empty() ? 0 : kContinuationHeader),
                     bytesOfPage.end());
        page = U32(bytesOfPage.data() + 4);
    }
    Reader r(bytes, file, firstPage);
    const unsigned char* h = r.Take(kHeaderEnd);
    def.length = U32(h + 8);
    def.rowCount = U32(h + 16);
    def.nextAutoNumber = U32(h + 20);
    def.tableType = h[40];
    def.maxColumns = static_cast<std::uint16_t>(U16(h + 41));
    def.varColumns = static_cast<std::uint16_t>(U16(h + 43));
    std::uint32_t columnCount = U16(h + 45);
    std::uint32_t logicalCount = U32(h + 47);
    std::uint32_t realCount = U32(h + 51);
    def.usageMap = U32(h + 55);
    def.freeMap = U32(h + 59);
    if (logicalCount > kCountLimit || realCount > kCountLimit)
        throw r.Damaged("cuentas de índices imposibles");

    def.realIndexes.resize(realCount);
    for (RealIndexDef& real : def.realIndexes)
        real.rowCountField = U32(r.Take(kRealIndexCountSize) + 4);

    def.columns.resize(columnCount);
    for (ColumnDef& column : def.columns) {
        const unsigned char* p = r.Take(kColumnSize);
        column.type = p[0];
        column.number = static_cast<std::uint16_t>(U16(p + 5));
        column.varIndex = static_cast<std::uint16_t>(U16(p + 7));
        column.misc = static_cast<std::uint16_t>(U16(p + 11));
        column.miscExtra = static_cast<std::uint16_t>(U16(p + 13));
        column.flags = p[15];
        column.textFlags = p[16];
        column.fixedOffset = static_cast<std::uint16_t>(U16(p + 21));
        column.length = static_cast<std::uint16_t>(U16(p + 23));
    }
    for (ColumnDef& column : def.columns) column.name = r.Name();

    for (RealIndexDef& real : def.realIndexes) {
        const unsigned char* p = r.Take(kRealIndexSize);
        for (int k = 0; k < 10; ++k) {
            std::uint32_t column = U16(p + 4 + 3 * k);
            if (column == 0xFFFF) continue;
            real.keys.push_back({static_cast<std::uint16_t>(column), p[6 + 3 * k] == 0x01});
        }
        real.usageMap = U32(p + 34);
        real.rootPage = U32(p + 38);
        real.flags = p[46];  // after four bytes not known
    }
    def.logicalIndexes.resize(logicalCount);
    for (LogicalIndexDef& logical : def.logicalIndexes) {
        const unsigned char* p = r.Take(kLogicalIndexSize);
        logical.number = U32(p + 4);
        logical.realNumber = U32(p + 8);
        logical.relatedTableType = p[12];
        logical.relatedIndex = U32(p + 13);
        logical.relatedTablePage = U32(p + 17);
        logical.cascadeUpdates = p[21] != 0;
        logical.cascadeDeletes = p[22] != 0;
        logical.type = p[23];
    }
    for (LogicalIndexDef& logical : def.logicalIndexes) logical.name = r.Name();

    for (;;) {
        std::uint32_t column = U16(r.Take(2));
        if (column == 0xFFFF) break;
        const unsigned char* p = r.Take(kLongValueMapsSize - 2);
        def.longValueMaps.push_back({static_cast<std::uint16_t>(column), U32(p), U32(p + 4)});
    }
    def.parsedLength = static_cast<std::uint32_t>(r.Pos());
    return def;
}

}  // namespace actualiz::engine::jet::format
