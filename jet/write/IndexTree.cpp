#include "jet/write/IndexTree.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/EngineError.h"
#include "jet/format/IndexPage.h"
#include "jet/format/UsageMap.h"
#include "jet/mdb/Bytes.h"
#include "jet/write/PageAllocation.h"
#include "jet/write/TableDefWrite.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;
using Bytes = std::vector<unsigned char>;

constexpr std::size_t kRoom = kPageSize - kIndexEntriesStart;
constexpr std::size_t kRowPointer = 4;
constexpr std::size_t kChildPointer = 4;
constexpr std::size_t kTreeHeaderFlag = 26;

std::size_t Shared(const Bytes& a, const Bytes& b, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

struct Packed {
    std::size_t count = 0;
    std::uint16_t prefix = 0;
    std::size_t used = 0;
};

// As many entries from `from` as fit one page, with the key bytes they all share with the
// first left out after it when `compress`. `pointers`: the bytes after the key.
Packed Pack(const std::vector<Bytes>& entries, std::size_t from, std::size_t pointers,
            bool compress) {
    const Bytes& first = entries[from];
    if (first.size() > kRoom)
        throw EngineError(err::kInvalidOperation, "Una entrada de índice de " +
                                                      std::to_string(first.size()) +
                                                      " bytes no cabe en una página de índice.");
    std::size_t firstKey = first.size() - pointers;
    std::size_t prefix = compress ? firstKey : 0;
    std::size_t raw = first.size();
    std::size_t count = 1;
    for (std::size_t i = from + 1; i < entries.size(); ++i) {
        std::size_t shared =
            compress ? std::min(prefix, Shared(first, entries[i],
                                               std::min(firstKey, entries[i].size() - pointers)))
                     : 0;
        std::size_t total = raw + entries[i].size();
        if (total - count * shared > kRoom) break;
        prefix = shared;
        raw = total;
        ++count;
    }
    if (count == 1) prefix = 0;
    return {count, static_cast<std::uint16_t>(prefix), raw - (count - 1) * prefix};
}

// The prefix and bytes of exactly `count` entries from `from` on one page.
Packed Measure(const std::vector<Bytes>& entries, std::size_t from, std::size_t count,
               std::size_t pointers) {
    const Bytes& first = entries[from];
    std::size_t prefix = first.size() - pointers;
    std::size_t raw = first.size();
    for (std::size_t i = from + 1; i < from + count; ++i) {
        prefix = std::min(
            prefix, Shared(first, entries[i], std::min(prefix, entries[i].size() - pointers)));
        raw += entries[i].size();
    }
    if (count == 1) prefix = 0;
    return {count, static_cast<std::uint16_t>(prefix), raw - (count - 1) * prefix};
}

Bytes NodeEntry(const Bytes& lastLeafEntry, std::uint32_t child) {
    Bytes entry = lastLeafEntry;
    for (int shift = 24; shift >= 0; shift -= 8)
        entry.push_back(static_cast<unsigned char>(child >> shift));
    return entry;
}

void WritePage(PageFile& file, std::uint32_t table, const TreePage& tree) {
    std::span<unsigned char> page = file.MutablePage(tree.number);
    std::fill(page.begin(), page.end(), 0);
    page[0] = tree.leaf ? kLeafIndexPage : kIntermediateIndexPage;
    page[1] = 0x01;
    PutU16(page.data() + 2, static_cast<std::uint32_t>(kRoom - tree.used));
    PutU32(page.data() + 4, table);
    PutU32(page.data() + 12, tree.previous);
    PutU32(page.data() + 16, tree.next);
    PutU32(page.data() + 20, tree.tail);
    PutU16(page.data() + 24, tree.prefix);
    if (!tree.leaf) page[kTreeHeaderFlag] = 0x01;
    std::size_t at = 0;
    for (std::size_t i = 0; i < tree.entries.size(); ++i) {
        const Bytes& entry = tree.entries[i];
        std::size_t skip = i == 0 ? 0 : tree.prefix;
        std::memcpy(page.data() + kIndexEntriesStart + at, entry.data() + skip,
                    entry.size() - skip);
        at += entry.size() - skip;
        page[kIndexBitmapStart + at / 8] |= static_cast<unsigned char>(1u << (at % 8));
    }
}

}  // namespace

std::vector<std::vector<TreePage>> LayOutIndexTree(const std::vector<Bytes>& entries,
                                                   std::uint32_t root,
                                                   const std::function<std::uint32_t()>& newPage) {
    std::vector<std::vector<TreePage>> levels;
    // The leaves. An index that fits one page keeps every byte.
    std::vector<TreePage> leaves;
    std::size_t whole = 0;
    for (const Bytes& entry : entries) whole += entry.size();
    if (whole <= kRoom) {
        TreePage only;
        only.entries = entries;
        only.used = whole;
        leaves.push_back(std::move(only));
    } else {
        for (std::size_t from = 0; from < entries.size();) {
            Packed packed = Pack(entries, from, kRowPointer, true);
            TreePage leaf;
            leaf.entries.assign(entries.begin() + static_cast<long>(from),
                                entries.begin() + static_cast<long>(from + packed.count));
            leaf.prefix = packed.prefix;
            leaf.used = packed.used;
            leaves.push_back(std::move(leaf));
            from += packed.count;
        }
    }
    levels.push_back(std::move(leaves));

    std::vector<Bytes> lasts;  // the last leaf entry under each page of the level
    for (const TreePage& leaf : levels.back())
        lasts.push_back(leaf.entries.empty() ? Bytes{} : leaf.entries.back());
    while (levels.back().size() > 1) {
        std::vector<TreePage>& level = levels.back();
        for (TreePage& page : level) page.number = newPage();
        for (std::size_t i = 0; i < level.size(); ++i) {
            level[i].previous = i > 0 ? level[i - 1].number : 0;
            level[i].next = i + 1 < level.size() ? level[i + 1].number : 0;
        }
        std::vector<Bytes> nodeEntries;
        for (std::size_t i = 0; i < level.size(); ++i)
            nodeEntries.push_back(NodeEntry(lasts[i], level[i].number));
        constexpr std::size_t pointers = kRowPointer + kChildPointer;
        std::vector<TreePage> above;
        std::vector<Bytes> aboveLasts;
        for (std::size_t from = 0; from < nodeEntries.size();) {
            std::size_t stored = Pack(nodeEntries, from, pointers, true).count;
            std::size_t tail = 0;  // the tail child's place + 1
            if (from + stored < nodeEntries.size())
                tail = from + stored + 1;
            else if (stored >= 2)
                tail = from + stored--;
            Packed packed = Measure(nodeEntries, from, stored, pointers);
            TreePage node;
            node.leaf = false;
            node.entries.assign(nodeEntries.begin() + static_cast<long>(from),
                                nodeEntries.begin() + static_cast<long>(from + stored));
            node.prefix = packed.prefix;
            node.used = packed.used;
            std::size_t lastChild = tail ? tail - 1 : from + stored - 1;
            if (tail) node.tail = level[lastChild].number;
            aboveLasts.push_back(lasts[lastChild]);
            above.push_back(std::move(node));
            from = lastChild + 1;
        }
        levels.push_back(std::move(above));
        lasts = std::move(aboveLasts);
    }
    levels.back().front().number = root;
    return levels;
}

void AddEmptyRoot(PageFile& file, const TableDef& def, std::uint32_t mapsPage, RealIndexDef& real) {
    real.rootPage = AllocatePage(file);
    std::uint32_t mapStart = 0;
    if (real.rootPage >= kNewUsageMapPages)
        mapStart =
            real.rootPage >= def.firstPage && real.rootPage - def.firstPage < kNewUsageMapPages
                ? def.firstPage
                : real.rootPage - real.rootPage % 8;
    PageRow map = AddUsageMapRow(file, mapsPage, mapStart);
    real.usageMap = map.Packed();
    std::span<unsigned char> leaf = file.MutablePage(real.rootPage);
    leaf[0] = kLeafIndexPage;
    leaf[1] = 0x01;
    leaf[2] = static_cast<unsigned char>(kEmptyLeafFree);
    leaf[3] = static_cast<unsigned char>(kEmptyLeafFree >> 8);
    PutU32(&leaf[4], def.firstPage);
    SetMapped(file, map, real.rootPage, true);
}

void WriteIndexTree(PageFile& file, const TableDef& def, const RealIndexDef& index,
                    const std::vector<Bytes>& entries) {
    // Every page of the index but its root is given back, then taken again as needed.
    PageRow indexMap = PageRow::From(index.usageMap);
    for (std::uint32_t page : ReadUsageMap(file, indexMap).pages) {
        if (page == index.rootPage || page >= file.PageCount()) continue;
        SetMapped(file, indexMap, page, false);
        FreePage(file, page);
    }
    std::vector<std::vector<TreePage>> levels = LayOutIndexTree(entries, index.rootPage, [&] {
        std::uint32_t page = AllocatePage(file);
        SetMapped(file, indexMap, page, true);
        return page;
    });
    for (const std::vector<TreePage>& level : levels)
        for (const TreePage& page : level) WritePage(file, def.firstPage, page);
}

}  // namespace actualiz::engine::jet::write
