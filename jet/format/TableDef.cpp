#include "jet/format/TableDef.h"

#include <algorithm>
#include <set>

#include "engine/EngineError.h"
#include "jet/JetText.h"
#include "jet/format/Text.h"
#include "jet/mdb/Bytes.h"

namespace actualiz::engine::jet::format {

namespace {

constexpr std::size_t kContinuationHeader = 8;
constexpr std::size_t kHeaderEnd = 63;  // the list of physical indexes follows
constexpr std::size_t kRealIndexCountSize = 12;
constexpr std::size_t kColumnSize = 25;
constexpr std::size_t kLongValueMapsSize = 10;
constexpr std::uint32_t kCountLimit = 4096;
constexpr std::size_t kMaxNameLength = 64;
// The word every definition and column entry of the samples holds at header offset 12 and entry
// offset 1, where the notes see nothing known.
constexpr std::uint32_t kDefinitionWord = 0x0659;

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
    def.header.assign(h, h + kHeaderEnd);
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
    for (RealIndexDef& real : def.realIndexes) {
        const unsigned char* p = r.Take(kRealIndexCountSize);
        real.rowCountField = U32(p + 4);
        real.rawCount.assign(p, p + kRealIndexCountSize);
    }

    def.columns.resize(columnCount);
    for (ColumnDef& column : def.columns) {
        const unsigned char* p = r.Take(kColumnSize);
        column.type = p[0];
        column.number = static_cast<std::uint16_t>(U16(p + 5));
        column.varIndex = static_cast<std::uint16_t>(U16(p + 7));
        column.order = static_cast<std::uint16_t>(U16(p + 9));
        column.misc = static_cast<std::uint16_t>(U16(p + 11));
        column.miscExtra = static_cast<std::uint16_t>(U16(p + 13));
        column.flags = p[15];
        column.textFlags = p[16];
        column.fixedOffset = static_cast<std::uint16_t>(U16(p + 21));
        column.length = static_cast<std::uint16_t>(U16(p + 23));
        column.raw.assign(p, p + kColumnSize);
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
        real.raw.assign(p, p + kRealIndexSize);
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
        logical.raw.assign(p, p + kLogicalIndexSize);
    }
    for (LogicalIndexDef& logical : def.logicalIndexes) logical.name = r.Name();

    for (;;) {
        std::uint32_t column = U16(r.Take(2));
        if (column == 0xFFFF) break;
        const unsigned char* p = r.Take(kLongValueMapsSize - 2);
        def.longValueMaps.push_back({static_cast<std::uint16_t>(column), U32(p), U32(p + 4)});
    }
    def.parsedLength = static_cast<std::uint32_t>(r.Pos());
    if (def.length > def.parsedLength && def.length <= bytes.size())
        def.trailer.assign(bytes.begin() + def.parsedLength, bytes.begin() + def.length);
    return def;
}

namespace {

// The entry as read, or zeros for a new one.
std::vector<unsigned char> Entry(const std::vector<unsigned char>& raw, std::size_t size) {
    return raw.size() == size ? raw : std::vector<unsigned char>(size, 0);
}

// A flag byte: the one read when it still says the same, else 1 or 0.
unsigned char FlagByte(const std::vector<unsigned char>& raw, std::size_t at, bool value) {
    if (at < raw.size() && (raw[at] != 0) == value) return raw[at];
    return value ? 1 : 0;
}

void PutName(std::vector<unsigned char>& out, const std::string& name) {
    std::u16string text = Utf16(name);
    if (text.size() > kMaxNameLength)
        throw EngineError(err::kInvalidOperation,
                          "El nombre «" + name + "» es más largo que 64 caracteres.");
    std::size_t at = out.size();
    out.resize(at + 2 + 2 * text.size());
    PutU16(out.data() + at, static_cast<std::uint32_t>(2 * text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) PutU16(out.data() + at + 2 + 2 * i, text[i]);
}

}  // namespace

std::vector<unsigned char> EncodeTableDef(const TableDef& def) {
    std::vector<unsigned char> out = Entry(def.header, kHeaderEnd);
    if (def.header.size() != kHeaderEnd) {
        // What every definition of the samples holds where the notes see nothing known.
        out[0] = kDefinitionPage;
        out[1] = 0x01;
        PutU32(out.data() + 12, kDefinitionWord);
        PutU32(out.data() + 24, 1);
    }
    PutU32(out.data() + 16, def.rowCount);
    PutU32(out.data() + 20, def.nextAutoNumber);
    out[40] = def.tableType;
    PutU16(out.data() + 41, def.maxColumns);
    PutU16(out.data() + 43, def.varColumns);
    PutU16(out.data() + 45, static_cast<std::uint32_t>(def.columns.size()));
    PutU32(out.data() + 47, static_cast<std::uint32_t>(def.logicalIndexes.size()));
    PutU32(out.data() + 51, static_cast<std::uint32_t>(def.realIndexes.size()));
    PutU32(out.data() + 55, def.usageMap);
    PutU32(out.data() + 59, def.freeMap);

    auto append = [&](const std::vector<unsigned char>& entry) {
        out.insert(out.end(), entry.begin(), entry.end());
    };
    for (const RealIndexDef& real : def.realIndexes) {
        std::vector<unsigned char> entry = Entry(real.rawCount, kRealIndexCountSize);
        PutU32(entry.data() + 4, real.rowCountField);
        append(entry);
    }
    for (const ColumnDef& column : def.columns) {
        std::vector<unsigned char> entry = Entry(column.raw, kColumnSize);
        if (column.raw.size() != kColumnSize) PutU32(entry.data() + 1, kDefinitionWord);
        entry[0] = column.type;
        PutU16(entry.data() + 5, column.number);
        PutU16(entry.data() + 7, column.varIndex);
        PutU16(entry.data() + 9, column.order);
        PutU16(entry.data() + 11, column.misc);
        PutU16(entry.data() + 13, column.miscExtra);
        entry[15] = column.flags;
        entry[16] = column.textFlags;
        PutU16(entry.data() + 21, column.fixedOffset);
        PutU16(entry.data() + 23, column.length);
        append(entry);
    }
    for (const ColumnDef& column : def.columns) PutName(out, column.name);

    for (const RealIndexDef& real : def.realIndexes) {
        if (real.keys.size() > kMaxIndexKeys)
            throw EngineError(err::kInvalidOperation,
                              "Un índice tiene más de 10 campos en la definición de la página " +
                                  std::to_string(def.firstPage) + ".");
        std::vector<unsigned char> entry = Entry(real.raw, kRealIndexSize);
        for (std::size_t k = 0; k < kMaxIndexKeys; ++k) {
            unsigned char* slot = entry.data() + 4 + 3 * k;
            if (k < real.keys.size()) {
                PutU16(slot, real.keys[k].column);
                // 0x01 ascending; the descending key of compIndexTestV2000.mdb holds 0x00.
                bool keptOrder = real.raw.size() == kRealIndexSize &&
                                 (slot[2] == 0x01) == real.keys[k].ascending;
                if (!keptOrder) slot[2] = real.keys[k].ascending ? 0x01 : 0x00;
            } else {
                PutU16(slot, 0xFFFF);
                if (real.raw.size() != kRealIndexSize) slot[2] = 0;
            }
        }
        PutU32(entry.data() + 34, real.usageMap);
        PutU32(entry.data() + 38, real.rootPage);
        entry[46] = real.flags;
        append(entry);
    }
    for (const LogicalIndexDef& logical : def.logicalIndexes) {
        std::vector<unsigned char> entry = Entry(logical.raw, kLogicalIndexSize);
        PutU32(entry.data() + 4, logical.number);
        PutU32(entry.data() + 8, logical.realNumber);
        entry[12] = logical.relatedTableType;
        PutU32(entry.data() + 13, logical.relatedIndex);
        PutU32(entry.data() + 17, logical.relatedTablePage);
        entry[21] = FlagByte(logical.raw, 21, logical.cascadeUpdates);
        entry[22] = FlagByte(logical.raw, 22, logical.cascadeDeletes);
        entry[23] = logical.type;
        append(entry);
    }
    for (const LogicalIndexDef& logical : def.logicalIndexes) PutName(out, logical.name);

    for (const LongValueMaps& maps : def.longValueMaps) {
        std::size_t at = out.size();
        out.resize(at + kLongValueMapsSize);
        PutU16(out.data() + at, maps.column);
        PutU32(out.data() + at + 2, maps.usageMap);
        PutU32(out.data() + at + 6, maps.freeMap);
    }
    out.push_back(0xFF);
    out.push_back(0xFF);
    append(def.trailer);
    PutU32(out.data() + 8, static_cast<std::uint32_t>(out.size()));
    return out;
}

}  // namespace actualiz::engine::jet::format
