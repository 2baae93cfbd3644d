#include "jet/format/DataPage.h"

#include <string>

#include "jet/JetText.h"
#include "jet/mdb/Bytes.h"

namespace actualiz::engine::jet::format {

namespace {

constexpr std::size_t kRowCountOffset = 12;
constexpr std::size_t kFirstRowOffset = 14;

}  // namespace

DataPageHeader ReadDataPageHeader(std::span<const unsigned char> page) {
    DataPageHeader header;
    header.freeSpace = static_cast<std::uint16_t>(U16(page.data() + 2));
    header.owner = U32(page.data() + 4);
    header.rowCount = static_cast<std::uint16_t>(U16(page.data() + kRowCountOffset));
    return header;
}

namespace {

// A data page's table of row offsets, its page and size checked; each slot is read on demand.
class SlotTable {
  public:
    SlotTable(const PageFile& file, std::uint32_t number)
        : file_(file), number_(number), page_(file.Page(number)) {
        if (page_[0] != kDataPage) throw Damaged("no es una página de datos");
        rowCount_ = ReadDataPageHeader(page_).rowCount;
        tableEnd_ = kFirstRowOffset + 2u * rowCount_;
        if (tableEnd_ > kPageSize) throw Damaged("demasiadas filas");
    }

    std::uint16_t RowCount() const { return rowCount_; }

    // Slot i, which ends where slot i - 1 starts (the first at the page's end).
    RowSlot At(std::uint32_t i) const {
        const std::uint32_t raw = Offset(i);
        RowSlot slot;
        slot.start = static_cast<std::uint16_t>(raw & kRowOffsetMask);
        slot.end = static_cast<std::uint16_t>(i == 0 ? kPageSize : Offset(i - 1) & kRowOffsetMask);
        slot.deleted = (raw & kRowDeleted) != 0;
        slot.overflow = (raw & kRowOverflow) != 0;
        if (slot.start < tableEnd_ || slot.start > slot.end)
            throw Damaged("la fila " + std::to_string(i) + " sale de su lugar");
        return slot;
    }

  private:
    std::uint32_t Offset(std::uint32_t i) const {
        return U16(page_.data() + kFirstRowOffset + 2u * i);
    }
    EngineError Damaged(const std::string& why) const {
        return Unreadable(file_.File(), "página de datos " + std::to_string(number_) + ": " + why);
    }

    const PageFile& file_;
    std::uint32_t number_;
    std::span<const unsigned char> page_;
    std::uint16_t rowCount_ = 0;
    std::size_t tableEnd_ = 0;
};

}  // namespace

std::vector<RowSlot> ReadRowSlots(const PageFile& file, std::uint32_t pageNumber) {
    const SlotTable table(file, pageNumber);
    std::vector<RowSlot> slots;
    slots.reserve(table.RowCount());
    for (std::uint16_t i = 0; i < table.RowCount(); ++i) slots.push_back(table.At(i));
    return slots;
}

RowSlot ReadRowSlot(const PageFile& file, PageRow where) {
    const SlotTable table(file, where.page);
    if (where.row >= table.RowCount())
        throw Unreadable(file.File(), "la página " + std::to_string(where.page) +
                                          " no tiene fila " + std::to_string(where.row));
    return table.At(where.row);
}

std::span<const unsigned char> RowBytes(const PageFile& file, PageRow where) {
    std::vector<RowSlot> slots = ReadRowSlots(file, where.page);
    if (where.row >= slots.size())
        throw Unreadable(file.File(), "la página " + std::to_string(where.page) +
                                          " no tiene fila " + std::to_string(where.row));
    const RowSlot& slot = slots[where.row];
    return file.Page(where.page).subspan(slot.start, slot.end - slot.start);
}

}  // namespace actualiz::engine::jet::format
