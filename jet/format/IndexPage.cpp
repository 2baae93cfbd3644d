#include "jet/format/IndexPage.h"

#include <string>

#include "jet/JetText.h"
#include "jet/mdb/Bytes.h"

namespace actualiz::engine::jet::format {

namespace {

std::uint32_t BigEndian(const unsigned char* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | p[i];
    return value;
}

}  // namespace

IndexPage ReadIndexPage(const PageFile& file, std::uint32_t number) {
    std::span<const unsigned char> p = file.Page(number);
    auto damaged = [&](const std::string& why) {
        return Unreadable(file.File(), "página de índice " + std::to_string(number) + ": " + why);
    };
    IndexPage page;
    page.number = number;
    page.type = p[0];
    if (page.type != kLeafIndexPage && page.type != kIntermediateIndexPage)
        throw damaged("no es una página de índice");
    page.freeSpace = static_cast<std::uint16_t>(U16(p.data() + 2));
    page.table = U32(p.data() + 4);
    page.previous = U32(p.data() + 12);
    page.next = U32(p.data() + 16);
    page.tail = U32(p.data() + 20);
    page.prefixLength = static_cast<std::uint16_t>(U16(p.data() + 24));

    // Bit i of the bitmap stands for offset kIndexEntriesStart + i; the first entry's start is
    // implicit, the last bit set is where the last entry ends.
    std::vector<std::size_t> bounds{kIndexEntriesStart};
    for (std::size_t bit = 1; bit < (kIndexEntriesStart - kIndexBitmapStart) * 8; ++bit)
        if (p[kIndexBitmapStart + bit / 8] & (1u << (bit % 8)))
            bounds.push_back(kIndexEntriesStart + bit);
    if (bounds.back() > kPageSize) throw damaged("las entradas salen de la página");
    page.used = bounds.back() - kIndexEntriesStart;
    std::size_t pointers = page.Intermediate() ? 8 : 4;
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
        IndexEntry entry;
        entry.start = static_cast<std::uint16_t>(bounds[i]);
        if (i > 0) {
            const std::vector<unsigned char>& first = page.entries.front().bytes;
            if (page.prefixLength > first.size()) throw damaged("prefijo más largo que la entrada");
            entry.bytes.assign(first.begin(), first.begin() + page.prefixLength);
        }
        entry.bytes.insert(entry.bytes.end(), p.begin() + static_cast<long>(bounds[i]),
                           p.begin() + static_cast<long>(bounds[i + 1]));
        if (entry.bytes.size() < pointers + 1)
            throw damaged("entrada " + std::to_string(i) + " demasiado corta");
        const unsigned char* tail = entry.bytes.data() + entry.bytes.size() - pointers;
        entry.row = {BigEndian(tail, 3), tail[3]};
        if (page.Intermediate()) entry.child = BigEndian(tail + 4, 4);
        page.entries.push_back(std::move(entry));
    }
    return page;
}

}  // namespace actualiz::engine::jet::format
