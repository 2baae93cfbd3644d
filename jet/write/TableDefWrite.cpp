#include "jet/write/TableDefWrite.h"

#include <algorithm>
#include <optional>

#include "engine/EngineError.h"
#include "jet/format/DataPage.h"
#include "jet/format/Text.h"
#include "jet/format/TextKey.h"
#include "jet/mdb/Bytes.h"
#include "jet/write/PageAllocation.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr std::size_t kContinuationHeader = 8;
constexpr std::size_t kContinuationRoom = kPageSize - kContinuationHeader;
constexpr std::size_t kMaxNameLength = 64;
constexpr int kMaxTextLength = 255;
constexpr int kMaxBinaryLength = 510;  // the binary columns of MSysObjects and MSysACEs
constexpr int kMaxDecimalPrecision = 28;
constexpr std::uint16_t kGeneralSortOrder = 0x0409;
constexpr std::uint8_t kColumnUpdatable = 0x02;  // set on every column of the samples' tables
constexpr std::size_t kDataPageHeader = 14;
constexpr std::size_t kNewMapSize = 1 + 4 + 64;
constexpr std::uint16_t kMaxRowsOnPage = 255;

// The bytes of a definition of `length` bytes that its page number `i` holds, its continuation
// header included.
std::size_t Extent(std::size_t length, std::size_t i) {
    if (i == 0) return std::min(length, kPageSize);
    std::size_t before = kPageSize + (i - 1) * kContinuationRoom;
    if (length <= before) return 0;
    return kContinuationHeader + std::min(length - before, kContinuationRoom);
}

std::size_t PagesFor(std::size_t length) {
    if (length <= kPageSize) return 1;
    return 1 + (length - kPageSize + kContinuationRoom - 1) / kContinuationRoom;
}

EngineError Refused(const std::string& where, const std::string& why, int number) {
    return EngineError(number, "No se escribe " + where + ": " + why + ".");
}

}  // namespace

void RequireJet4(const PageFile& file) {
    if (!file.IsJet4())
        throw EngineError(err::kReadOnly,
                          "No se cambia " + file.File().string() +
                              ": solo se escriben archivos de Jet 4 (Access 2000-2003); los de "
                              "otras versiones solo se leen.");
}

void WriteTableDef(PageFile& file, TableDef& def) {
    RequireJet4(file);
    std::vector<unsigned char> bytes = EncodeTableDef(def);
    std::vector<std::uint32_t> old =
        def.pages.empty() ? std::vector<std::uint32_t>{def.firstPage} : def.pages;
    std::size_t oldLength = def.pages.empty() ? 0 : def.length;
    std::size_t count = PagesFor(bytes.size());
    std::vector<std::uint32_t> pages(old.begin(), old.begin() + std::min(count, old.size()));
    while (pages.size() < count) pages.push_back(AllocatePage(file));
    for (std::size_t i = count; i < old.size(); ++i) FreePage(file, old[i]);
    for (std::size_t i = 0; i < count; ++i) {
        std::span<unsigned char> page = file.MutablePage(pages[i]);
        std::size_t extent = Extent(bytes.size(), i);
        if (i == 0) {
            std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(extent),
                      page.begin());
        } else {
            auto from = bytes.begin() +
                        static_cast<std::ptrdiff_t>(kPageSize + (i - 1) * kContinuationRoom);
            std::copy(from, from + static_cast<std::ptrdiff_t>(extent - kContinuationHeader),
                      page.begin() + kContinuationHeader);
        }
        page[0] = kDefinitionPage;
        page[1] = 0x01;
        PutU16(page.data() + 2,
               extent + 8 <= kPageSize ? static_cast<std::uint32_t>(kPageSize - 8 - extent) : 0);
        PutU32(page.data() + 4, i + 1 < count ? pages[i + 1] : 0);
        std::size_t oldExtent = i < old.size() ? Extent(oldLength, i) : 0;
        if (oldExtent > extent)
            std::fill(page.begin() + static_cast<std::ptrdiff_t>(extent),
                      page.begin() + static_cast<std::ptrdiff_t>(oldExtent), 0);
    }
    def.pages = pages;
    def.length = static_cast<std::uint32_t>(bytes.size());
}

std::uint16_t FixedLength(std::uint8_t type) {
    switch (type) {
        case kBoolean:
        case kByte:
            return 1;
        case kInteger:
            return 2;
        case kLong:
        case kSingle:
            return 4;
        case kCurrency:
        case kDouble:
        case kDateTime:
            return 8;
        case kGuid:
            return 16;
        case kNumeric:
            return 17;
        default:
            return 0;
    }
}

void ValidateColumn(const NewColumn& column, const std::string& where) {
    std::string field = "el campo «" + Utf8(column.name) + "»";
    if (column.name.empty() || column.name.size() > kMaxNameLength)
        throw Refused(where, "un nombre de campo debe tener de 1 a 64 caracteres",
                      err::kInvalidOperation);
    TextKey(column.name);  // refuses a name whose sort key is not known (3001)
    switch (column.type) {
        case kText:
            if (column.textLength < 1 || column.textLength > kMaxTextLength)
                throw Refused(where, "el tamaño de " + field + " debe ir de 1 a 255",
                              err::kInvalidOperation);
            break;
        case kBinary:
            if (column.textLength < 1 || column.textLength > kMaxBinaryLength)
                throw Refused(where, "el tamaño de " + field + " debe ir de 1 a 510 bytes",
                              err::kInvalidOperation);
            break;
        case kNumeric:
            if (column.precision < 1 || column.precision > kMaxDecimalPrecision ||
                column.scale < 0 || column.scale > column.precision)
                throw Refused(where,
                              "la precisión de " + field +
                                  " debe ir de 1 a 28 y su escala de 0 a la precisión",
                              err::kInvalidOperation);
            break;
        case kMemo:
        case kLongBinary:
            break;
        default:
            if (FixedLength(column.type) == 0)
                throw Refused(where,
                              field + " es de un tipo (" + std::to_string(column.type) +
                                  ") que no se escribe",
                              err::kInvalidType);
    }
    if (column.autoNumber && column.type != kLong && column.type != kGuid)
        throw Refused(where, field + " solo puede ser autonumérico si es Long o GUID",
                      err::kInvalidOperation);
}

ColumnDef NewColumnDef(const NewColumn& column, std::uint16_t number, std::uint16_t varIndex,
                       std::uint16_t fixedOffset) {
    ColumnDef def;
    def.type = column.type;
    def.number = number;
    def.varIndex = varIndex;
    def.order = number;
    def.misc = kGeneralSortOrder;
    def.name = Utf8(column.name);
    std::uint16_t fixed = FixedLength(column.type);
    if (fixed == 0) {
        def.flags = kColumnUpdatable;
        def.length = column.type == kText     ? static_cast<std::uint16_t>(2 * column.textLength)
                     : column.type == kBinary ? static_cast<std::uint16_t>(column.textLength)
                                              : 0;
        return def;
    }
    def.flags = kColumnUpdatable | kColumnFixed;
    if (column.autoNumber) def.flags |= column.type == kGuid ? kColumnAutoGuid : kColumnAutoLong;
    def.length = fixed;
    // A Boolean lives in the null mask: offset 0, length 1, as in the samples.
    def.fixedOffset = column.type == kBoolean ? 0 : fixedOffset;
    if (column.type == kNumeric)
        def.misc = static_cast<std::uint16_t>(column.precision | (column.scale << 8));
    return def;
}

PageRow AddUsageMapRow(PageFile& file, std::uint32_t near, std::uint32_t firstPage) {
    auto addTo = [&](std::uint32_t number) -> std::optional<PageRow> {
        if (number < 2 || number >= file.PageCount()) return std::nullopt;
        std::span<unsigned char> page = file.MutablePage(number);
        if (page[0] != kDataPage || U32(page.data() + 4) != 0) return std::nullopt;
        std::uint16_t rows = static_cast<std::uint16_t>(U16(page.data() + 12));
        std::size_t free = U16(page.data() + 2);
        std::size_t lowest =
            rows == 0 ? kPageSize : (U16(page.data() + 12 + 2 * rows) & kRowOffsetMask);
        std::size_t slotsEnd = kDataPageHeader + 2 * (rows + 1u);
        if (rows >= kMaxRowsOnPage || free < kNewMapSize + 2 || lowest < slotsEnd + kNewMapSize)
            return std::nullopt;
        std::size_t start = lowest - kNewMapSize;
        std::fill(page.begin() + static_cast<std::ptrdiff_t>(start),
                  page.begin() + static_cast<std::ptrdiff_t>(lowest), 0);
        PutU32(page.data() + start + 1, firstPage);
        PutU16(page.data() + kDataPageHeader + 2 * rows, static_cast<std::uint32_t>(start));
        PutU16(page.data() + 12, rows + 1u);
        PutU16(page.data() + 2, static_cast<std::uint32_t>(free - kNewMapSize - 2));
        return PageRow{number, rows};
    };
    if (auto where = addTo(near)) return *where;
    std::uint32_t page = AllocatePage(file);
    InitDataPage(file, page, 0);
    return *addTo(page);
}

}  // namespace actualiz::engine::jet::write
