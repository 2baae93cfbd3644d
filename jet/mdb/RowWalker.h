#pragma once

// The rows of a Jet table, value by value.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "engine/Types.h"
#include "jet/mdb/MdbFile.h"

namespace actualiz::engine::jet {

// Walks the rows of a table. libmdb finds each live row; the row is then split again here so
// that Null is told apart from an empty text and every value is read from its stored bytes
// (libmdb's own text forms round numbers and cut long memos).
class RowWalker {
  public:
    RowWalker(const JetFile& file, const OpenTable& table);

    // Moves to the next row; false after the last.
    bool Next();

    // The value of column i (libmdb's order) in the current row.
    Value Get(unsigned i) const;

    // The bytes of the memo or OLE column i in the current row as libmdb's own reading gives
    // them: every byte of every row of its long-value chain, whatever length the value states.
    // 3343 for a chain that loops or leaves the file. Empty for Null.
    std::vector<unsigned char> WholeLongValue(unsigned i) const;

  private:
    // A memo or OLE value: stored in the row when short, else in long-value pages. Cut to the
    // length the value states unless whole.
    std::vector<unsigned char> LongValue(const unsigned char* header, std::size_t size,
                                         const char* column, bool whole = false) const;
    EngineError Damaged(const std::string& what) const;
    bool CrackShortRow(int start, std::size_t size);

    const JetFile& file_;
    const OpenTable& table_;
    std::vector<MdbField> fields_;
    unsigned rowColumns_ = 0;     // the current row's count of columns
    unsigned columnsNeeded_ = 0;  // a row with every field of the table has at least these
};

// A row of one of the file's small system tables, by column name.
using SystemRow = std::map<std::string, Value>;

// Every row of a system table ("MSysObjects", "MSysRelationships" ...); none when the file has
// no such table.
std::vector<SystemRow> SystemRows(const JetFile& file, const char* name);

// A text column of a system row; empty when absent or no text.
std::string TextOf(const SystemRow& row, const std::string& column);

// A number column of a system row; nothing when absent or no number.
std::optional<long long> NumberOf(const SystemRow& row, const std::string& column);

}  // namespace actualiz::engine::jet
