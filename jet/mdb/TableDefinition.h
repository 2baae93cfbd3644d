#pragma once

// The definition of a Jet table, read from its pages: columns with their numbers and flags, the
// physical indexes with their key columns, and the logical indexes (the ones the classic engine's
// Indexes show) with the physical index each uses. libmdb's own index reading pairs logical and
// physical indexes by position, which goes wrong as soon as a relation's index shares a physical
// one.

#include <string>
#include <utility>
#include <vector>

#include "jet/mdb/MdbFile.h"

namespace actualiz::engine::jet {

struct ColumnDef {
    int type = 0;
    int number = 0;  // counts deleted columns too: the order of the fields
    int flags = 0;
    int length = 0;
    int precision = 0;
    int scale = 0;
    std::string name;
};

struct RealIndexDef {
    std::vector<std::pair<int, bool>> keys;  // column number, descending
    int flags = 0;
};

struct LogicalIndexDef {
    long number = 0;
    long realNumber = 0;
    int type = 0;  // 1 primary key, 2 index of a relation
    std::string name;
};

struct TableDefinition {
    std::vector<ColumnDef> columns;
    std::vector<RealIndexDef> realIndexes;
    std::vector<LogicalIndexDef> logicalIndexes;  // in the order of their numbers
};

// The definition that starts at the given page. 3343 when it is damaged.
TableDefinition ReadDefinition(const JetFile& file, unsigned long page);

}  // namespace actualiz::engine::jet
