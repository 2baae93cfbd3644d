#pragma once

// Table definition pages (type 0x02): a table's columns, its physical indexes (the B-trees), its
// logical indexes (what the classic engine shows: each names the physical index it uses, several
// may share one), and the usage maps of its rows and of each long-value column. A definition too
// long for one page continues on the page its header names; each continuation page repeats the
// 8-byte header and carries on where the previous one stopped.
//
// Every entry keeps the bytes it was read from (`raw`), so that bytes whose meaning is not known
// go back unchanged when the definition is written again; a new entry has none and gets zeros
// there.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/format/PageFile.h"

namespace actualiz::engine::jet::format {

enum ColumnType : std::uint8_t {
    kBoolean = 0x01,
    kByte = 0x02,
    kInteger = 0x03,
    kLong = 0x04,
    kCurrency = 0x05,
    kSingle = 0x06,
    kDouble = 0x07,
    kDateTime = 0x08,
    kBinary = 0x09,
    kText = 0x0A,
    kLongBinary = 0x0B,
    kMemo = 0x0C,
    kGuid = 0x0F,
    kNumeric = 0x10,
};

inline constexpr std::uint8_t kColumnFixed = 0x01;
inline constexpr std::uint8_t kColumnAutoLong = 0x04;
inline constexpr std::uint8_t kColumnAutoGuid = 0x40;  // a GUID column whose default is GenGUID()
inline constexpr std::uint8_t kTextCompressed = 0x01;  // of the column's second flag byte

// Index flags; Access sets 0x80 on every index it writes.
inline constexpr std::uint8_t kIndexUnique = 0x01;
inline constexpr std::uint8_t kIndexIgnoreNulls = 0x02;
inline constexpr std::uint8_t kIndexRequired = 0x08;
inline constexpr std::uint8_t kIndexWritten = 0x80;

// A logical index's kind: a plain index is 0.
inline constexpr std::uint8_t kPrimaryKeyIndex = 1;
inline constexpr std::uint8_t kForeignKeyIndex = 2;

// A definition's entries for one physical and one logical index, and the most columns an index
// has (Jet 4).
inline constexpr std::size_t kRealIndexSize = 52;
inline constexpr std::size_t kLogicalIndexSize = 28;
inline constexpr std::size_t kMaxIndexKeys = 10;

inline constexpr std::uint8_t kSystemTable = 0x53;
inline constexpr std::uint8_t kUserTable = 0x4E;

struct ColumnDef {
    std::uint8_t type = 0;
    std::uint16_t number = 0;        // counts deleted columns too: the bit in a row's null mask
    std::uint16_t varIndex = 0;      // place in a row's table of variable-length offsets
    std::uint16_t order = 0;         // the word after it: the number, or the number plus one
    std::uint16_t misc = 0;          // precision and scale, or a text column's sort order
    std::uint16_t miscExtra = 0;     // a text column's sort order version in its upper byte
    std::uint8_t flags = 0;          // kColumnFixed ...
    std::uint8_t textFlags = 0;      // kTextCompressed
    std::uint16_t fixedOffset = 0;   // within a row's fixed part
    std::uint16_t length = 0;        // 0 for memo and long binary
    std::string name;                // UTF-8
    std::vector<unsigned char> raw;  // the entry's 25 bytes as read

    bool Fixed() const { return (flags & kColumnFixed) != 0; }
};

struct IndexKeyColumn {
    std::uint16_t column = 0;  // a ColumnDef::number
    bool ascending = true;
};

struct RealIndexDef {
    std::uint32_t rowCountField = 0;  // the second word of its entry in the header's list
    std::vector<IndexKeyColumn> keys;
    std::uint32_t usageMap = 0;  // packed PageRow
    std::uint32_t rootPage = 0;
    std::uint8_t flags = 0;               // kIndexUnique ...
    std::vector<unsigned char> rawCount;  // its 12 bytes in the header's list, as read
    std::vector<unsigned char> raw;       // its 52-byte entry, as read
};

struct LogicalIndexDef {
    std::uint32_t number = 0;
    std::uint32_t realNumber = 0;  // which RealIndexDef
    std::uint8_t relatedTableType = 0;
    std::uint32_t relatedIndex = 0xFFFFFFFF;
    std::uint32_t relatedTablePage = 0;
    bool cascadeUpdates = false;
    bool cascadeDeletes = false;
    std::uint8_t type = 0;  // 1 primary key, 2 foreign key
    std::string name;
    std::vector<unsigned char> raw;  // its 28-byte entry, as read
};

struct LongValueMaps {
    std::uint16_t column = 0;
    std::uint32_t usageMap = 0;  // packed PageRow
    std::uint32_t freeMap = 0;
};

struct TableDef {
    std::uint32_t firstPage = 0;
    std::vector<std::uint32_t> pages;  // the first and every continuation page
    std::uint32_t length = 0;          // of the definition's data, as its header says
    std::uint32_t rowCount = 0;
    std::uint32_t nextAutoNumber = 0;
    std::uint8_t tableType = 0;
    std::uint16_t maxColumns = 0;  // a row's columns, deleted ones included
    std::uint16_t varColumns = 0;
    std::uint32_t usageMap = 0;      // packed PageRow of the map of the table's data pages
    std::uint32_t freeMap = 0;       // ... of those with room left
    std::vector<ColumnDef> columns;  // in the order stored (by name), not by number
    std::vector<RealIndexDef> realIndexes;
    std::vector<LogicalIndexDef> logicalIndexes;
    std::vector<LongValueMaps> longValueMaps;
    std::uint32_t parsedLength = 0;      // where the read stopped, its closing 0xFFFF included
    std::vector<unsigned char> header;   // the first 63 bytes, as read
    std::vector<unsigned char> trailer;  // bytes after the closing 0xFFFF within the length

    const ColumnDef* ColumnByNumber(std::uint16_t number) const;
};

// The definition that starts at the page. 3343 (naming the page) when it is no definition page,
// when its chain of pages loops or leaves the file, or when its counts run past its data.
TableDef ReadTableDef(const PageFile& file, std::uint32_t firstPage);

// The definition's bytes as one run, from the first page's header to the closing 0xFFFF (and the
// trailer): the reverse of ReadTableDef. The counts and the length are the ones the structures
// give; the first eight bytes (page type, free space, next page) are the ones the page had, which
// the writer sets when it lays the run over pages. 3219 when a name is longer than 64 characters
// or an index has more than ten key columns.
std::vector<unsigned char> EncodeTableDef(const TableDef& def);

}  // namespace actualiz::engine::jet::format
