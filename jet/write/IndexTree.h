#pragma once

// An index's pages written anew from its entries, laid out as Access lays out a tree:
//   - leaves (0x04) filled in order, as many entries as fit, chained by previous and next;
//   - above them intermediate pages (0x03), one entry per child (the last leaf entry under that
//     child, then the child's page), as many levels as needed, the top one on the index's root
//     page; a page with two children or more names its last child only as its tail (Access's
//     one tree of the samples: the root holds its first leaf's entry and names the second leaf
//     as its tail); the pages of one level are chained as the leaves are;
//   - on every page of a tree of several pages, entries after the first leave out the key bytes
//     they share with the first (its prefix length at 24); an index that fits one leaf keeps
//     every byte, as all the samples' one-page indexes do;
//   - the bitmap of entry starts, the free space (4096 - 0x1E0 - the bytes the entries take), the
//     table's page, 0x01 at byte 1, and 0x01 at byte 26 of an intermediate page (so on the
//     samples' one intermediate page; its meaning is not known).
// The index's other pages go back to the free pages first; new ones are taken through
// PageAllocation and marked in the index's usage map. Pages of a leaf are filled to the brim
// (the one leaf Access split in the samples is filled by its history, not by a rule to follow).

#include <cstdint>
#include <functional>
#include <vector>

#include "jet/format/PageFile.h"
#include "jet/format/TableDef.h"

namespace actualiz::engine::jet::write {

// One page of a laid-out tree.
struct TreePage {
    bool leaf = true;
    std::vector<std::vector<unsigned char>> entries;  // whole, with their pointers
    std::uint32_t number = 0;
    std::uint32_t previous = 0, next = 0, tail = 0;
    std::uint16_t prefix = 0;
    std::size_t used = 0;  // bytes the entries take on the page
};

// The pages of the tree, level by level from the leaves up (the last level is the root alone, on
// `root`): `entries` are keys followed by the row's page (3 bytes) and row (1 byte), sorted.
// `newPage` numbers every other page, leaves first, in order. 3219 for an entry too long for a
// page.
std::vector<std::vector<TreePage>> LayOutIndexTree(
    const std::vector<std::vector<unsigned char>>& entries, std::uint32_t root,
    const std::function<std::uint32_t()>& newPage);

// Gives a new physical index of `def` its root: an empty leaf on a page of its own, marked in a
// usage map of its own added beside the table's maps on `mapsPage` (sets real.rootPage and
// real.usageMap). The map marks pages from page 0 while the root lies within what 64 bytes of
// bitmap reach, as in the samples' small files; past that, from the table's definition page when
// that reaches, as testV2000.mdb's Table3 (pages 736 to 742) shows, else from the root page
// itself (the map grows or changes type when the index's pages spread further).
void AddEmptyRoot(format::PageFile& file, const format::TableDef& def, std::uint32_t mapsPage,
                  format::RealIndexDef& real);

// Writes the index's tree (see above) from its sorted entries.
void WriteIndexTree(format::PageFile& file, const format::TableDef& def,
                    const format::RealIndexDef& index,
                    const std::vector<std::vector<unsigned char>>& entries);

}  // namespace actualiz::engine::jet::write
