#pragma once

// The rows of a table, read from its data pages: which slots hold live rows (a moved row is read
// where its slot points), and each row cut into its columns by the table's definition.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jet/format/PageFile.h"
#include "jet/format/TableDef.h"
#include "jet/format/UsageMap.h"

namespace actualiz::engine::jet::format {

struct StoredRow {
    PageRow where;                         // the slot an index entry points at
    std::span<const unsigned char> bytes;  // where the row really is
};

// Every live row on the table's data pages (the pages its usage map marks whose header names the
// table), in page and slot order. 3343 when a page or a moved row cannot be read.
std::vector<StoredRow> TableRows(const PageFile& file, const TableDef& def, const UsageMap& pages);
// The same over the pages the table's own usage map marks.
std::vector<StoredRow> TableRows(const PageFile& file, const TableDef& def);
// The same rows one by one, none held: `row` is called for each in that order, `page` (when
// given) for each data page of the table before its rows, with the number of its slots.
void ForEachTableRow(const PageFile& file, const TableDef& def, const UsageMap& pages,
                     const std::function<void(const StoredRow&)>& row,
                     const std::function<void(std::uint32_t page, std::size_t slots)>& page = {});
// The live row in a slot of one of the table's data pages, where TableRows finds it; nullopt when
// the slot is deleted. 3343 when it cannot be read; only that slot of the page is checked.
std::optional<StoredRow> TableRowAt(const PageFile& file, PageRow where);

// One column's value in a row: nullopt when Null. A boolean's value is its bit in the null mask:
// a one-byte span holding 0 or 1.
class RowValues {
  public:
    // 3343 when the row's counts run past its bytes.
    RowValues(const PageFile& file, const TableDef& def, std::span<const unsigned char> row);
    std::optional<std::span<const unsigned char>> Value(const ColumnDef& column) const;

  private:
    std::span<const unsigned char> row_;
    std::uint16_t columnCount_ = 0;
    std::span<const unsigned char> nullMask_;
    std::vector<std::uint16_t> varStarts_;  // variable-length offsets, then the end of the data
    static constexpr unsigned char kFalse = 0, kTrue = 1;
};

// A long value (memo, long binary) as its 12-byte field in the row describes it.
struct LongValueRef {
    std::uint32_t length = 0;
    std::uint8_t kind = 0;  // kLongValueInline, kLongValueSingle or kLongValueChain
    PageRow first;
};
inline constexpr std::uint8_t kLongValueInline = 0x80;
inline constexpr std::uint8_t kLongValueSingle = 0x40;
inline constexpr std::uint8_t kLongValueChain = 0x00;

LongValueRef ReadLongValueRef(std::span<const unsigned char> field);

// The pages a long value's rows are on, and its bytes. 3343 when the chain loops, leaves long-value
// pages, or its length disagrees with the reference.
struct LongValue {
    std::vector<std::uint32_t> pages;
    std::vector<unsigned char> bytes;
};
LongValue ReadLongValue(const PageFile& file, std::span<const unsigned char> field);

}  // namespace actualiz::engine::jet::format
