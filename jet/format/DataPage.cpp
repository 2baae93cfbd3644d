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

std::vector<RowSlot> ReadRowSlots(const PageFile& file, std::uint32_t pageNumber) {
    std::span<const unsigned char> page = file.Page(pageNumber);
    auto damaged = [&](const std::string& why) {
        return Unreadable(file.File(),
                          "página de datos " + std::to_string(pageNumber) + ": " + why);
    };
    if (page[0] != kDataPage) throw damaged("no es una página de datos");
    DataPageHeader header = ReadDataPageHeader(page);
    std::size_t tableEnd = kFirstRowOffset + 2u * header.rowCount;
    if (tableEnd > kPageSize) throw damaged("demasiadas filas");
    std::vector<RowSlot> slots;
    slots.reserve(header.rowCount);
    std::uint32_t previous = kPageSize;
    for (std::uint16_t i = 0; i < header.rowCount; ++i) {
        std::uint32_t raw = U16(page.data() + kFirstRowOffset + 2u * i);
        RowSlot slot;
        slot.start = static_cast<std::uint16_t>(raw & kRowOffsetMask);
        slot.end = static_cast<std::uint16_t>(previous);
        slot.deleted = (raw & kRowDeleted) != 0;
        slot.overflow = (raw & kRowOverflow) != 0;
        if (slot.start < tableEnd || slot.start > slot.end)
            throw damaged("la fila " + std::to_string(i) + " sale de su lugar");
        previous = slot.start;
        slots.push_back(slot);
    }
    return slots;
}

RowSlot ReadRowSlot(const PageFile& file, PageRow where) {
    std::span<const unsigned char> page = file.Page(where.page);
    auto damaged = [&](const std::string& why) {
        return Unreadable(file.File(),
                          "página de datos " + std::to_string(where.page) + ": " + why);
    };
    if (page[0] != kDataPage) throw damaged("no es una página de datos");
    DataPageHeader header = ReadDataPageHeader(page);
    std::size_t tableEnd = kFirstRowOffset + 2u * header.rowCount;
    if (tableEnd > kPageSize) throw damaged("demasiadas filas");
    if (where.row >= header.rowCount)
        throw Unreadable(file.File(), "la página " + std::to_string(where.page) +
                                          " no tiene fila " + std::to_string(where.row));
    auto offset = [&](std::uint32_t i) { return U16(page.data() + kFirstRowOffset + 2u * i); };
    std::uint32_t raw = offset(where.row);
    RowSlot slot;
    slot.start = static_cast<std::uint16_t>(raw & kRowOffsetMask);
    slot.end = static_cast<std::uint16_t>(where.row == 0 ? kPageSize
                                                         : offset(where.row - 1) & kRowOffsetMask);
    slot.deleted = (raw & kRowDeleted) != 0;
    slot.overflow = (raw & kRowOverflow) != 0;
    if (slot.start < tableEnd || slot.start > slot.end)
        throw damaged("la fila " + std::to_string(where.row) + " sale de su lugar");
    return slot;
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
