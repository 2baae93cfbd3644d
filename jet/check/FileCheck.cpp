#include "jet/check/FileCheck.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <unordered_map>

#include "engine/EngineError.h"
#include "jet/JetText.h"
#include "jet/format/DataPage.h"
#include "jet/format/IndexKey.h"
#include "jet/format/IndexPage.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/UsageMap.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"

namespace actualiz::engine::jet::check {

namespace {

using namespace format;

std::string PageName(std::uint32_t page) {
    return "página " + std::to_string(page);
}

std::string Hex(std::span<const unsigned char> bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

struct CatalogTable {
    std::string name;
    std::uint32_t page = 0;
};

// Where a table's live rows are, one bit a slot of its data pages: an index entry is checked
// against the row it names, which is read again from its page, never held.
struct TableRowSet {
    struct Page {
        std::uint32_t number = 0;
        std::size_t first = 0;  // its first slot's place among all the slots
        std::size_t slots = 0;
    };
    std::vector<Page> pages;  // in the order the rows are read
    std::unordered_map<std::uint32_t, std::size_t> pageAt;
    std::vector<bool> live;  // by slot, the pages' one after the other
    std::size_t count = 0;

    void AddPage(std::uint32_t number, std::size_t slots) {
        pageAt.emplace(number, pages.size());
        pages.push_back({number, live.size(), slots});
        live.resize(live.size() + slots, false);
    }
    void Live(PageRow where) {
        live[pages.back().first + where.row] = true;
        ++count;
    }
    // The place of a live row's slot; nullopt when no live row of the table is there.
    std::optional<std::size_t> Find(PageRow where) const {
        auto it = pageAt.find(where.page);
        if (it == pageAt.end() || where.row >= pages[it->second].slots) return std::nullopt;
        std::size_t slot = pages[it->second].first + where.row;
        if (!live[slot]) return std::nullopt;
        return slot;
    }
};

class Checker {
  public:
    explicit Checker(const PageFile& file)
        : file_(file), owners_(file.PageCount()), structural_(file.PageCount(), false) {
        result_.pages = file.PageCount();
    }

    CheckResult Run() {
        Structural(0);
        if (file_.Page(0)[0] != kDatabasePage)
            Problem(PageName(0), "no es la página de la base de datos");
        try {
            UsageMap freeMap = ReadUsageMap(file_, kFreePagesMap);
            MapStructural(freeMap, "mapa de páginas libres");
            free_.insert(freeMap.pages.begin(), freeMap.pages.end());
        } catch (const EngineError& e) {
            Problem("mapa de páginas libres", e.what());
        }
        for (const CatalogTable& table : Catalog()) CheckTable(table);
        CheckPages();
        return std::move(result_);
    }

  private:
    void Problem(const std::string& where, const std::string& text) {
        result_.problems.push_back({where, text});
    }

    void Structural(std::uint32_t page) {
        if (page < structural_.size()) structural_[page] = true;
    }

    // The row's page and, for a type 1 map, its 0x05 pages, each of one map alone.
    void MapStructural(const UsageMap& map, const std::string& who) {
        Structural(map.where.page);
        for (std::uint32_t page : map.bitmapPages) {
            if (page == 0) continue;
            Structural(page);
            auto [it, added] = bitmapOf_.emplace(page, who);
            if (!added)
                Problem(PageName(page), "es página de mapa de " + it->second +
                                            (it->second == who ? " dos veces" : " y de " + who));
        }
    }

    // Marks the pages of a usage map as owned by `who`; nullopt when the map cannot be read.
    std::optional<UsageMap> Own(std::uint32_t packed, const std::string& who) {
        try {
            UsageMap map = ReadUsageMap(file_, PageRow::From(packed));
            MapStructural(map, who);
            for (std::uint32_t page : map.pages) {
                if (page < owners_.size())
                    owners_[page].push_back(who);
                else
                    beyond_.emplace_back(page, who);
            }
            return map;
        } catch (const EngineError& e) {
            Problem(who, std::string("mapa de uso ilegible: ") + e.what());
            return std::nullopt;
        }
    }

    std::vector<CatalogTable> Catalog() {
        std::vector<CatalogTable> tables;
        try {
            std::map<std::uint32_t, std::string> byPage;
            for (const CatalogObject& object : ReadCatalog(file_)) {
                if (!object.LocalTable()) continue;
                CatalogTable table{object.name, object.DefinitionPage()};
                auto [it, added] = byPage.emplace(table.page, table.name);
                if (!added) {
                    Problem("MSysObjects", "las tablas " + Quoted(it->second) + " y " +
                                               Quoted(table.name) + " dicen la misma " +
                                               PageName(table.page));
                    continue;
                }
                tables.push_back(table);
            }
            if (!byPage.count(kCatalogPage))
                tables.insert(tables.begin(), CatalogTable{"MSysObjects", kCatalogPage});
        } catch (const EngineError& e) {
            Problem("MSysObjects", e.what());
        }
        return tables;
    }

    void CheckTable(const CatalogTable& table) {
        std::string where = "tabla " + Quoted(table.name);
        if (table.page >= file_.PageCount()) {
            Problem(where,
                    "su definición estaría en la " + PageName(table.page) + ", fuera del archivo");
            return;
        }
        if (table.page < kCatalogPage) {
            Problem(where, "la " + PageName(table.page) + " no es de definición");
            return;
        }
        TableDef def;
        try {
            def = ReadTableDef(file_, table.page);
        } catch (const EngineError& e) {
            Problem(where, e.what());
            return;
        }
        ++result_.tables;
        for (std::uint32_t page : def.pages) {
            auto [it, added] = definitionOf_.emplace(page, table.name);
            if (!added && it->second != table.name)
                Problem(PageName(page),
                        "es definición de " + Quoted(it->second) + " y de " + Quoted(table.name));
            Structural(page);
        }
        if (def.parsedLength != def.length)
            Problem(where, "la definición ocupa " + std::to_string(def.parsedLength) +
                               " bytes, su cabecera dice " + std::to_string(def.length));
        // Access keeps some tables of its own (MSysAccessObjects, MSysNavPane...) as user tables;
        // a system table is always one of its own.
        bool systemName = table.name.rfind("MSys", 0) == 0;
        if ((def.tableType != kSystemTable && def.tableType != kUserTable) ||
            (def.tableType == kSystemTable && !systemName))
            Problem(where, "tipo de tabla " + std::to_string(def.tableType) +
                               " que no corresponde a su nombre");
        liveTables_[def.firstPage] = table.name;

        std::optional<UsageMap> map = Own(def.usageMap, where);
        if (std::optional<UsageMap> freeMap = ReadMapOnly(def.freeMap, where)) {
            for (std::uint32_t page : freeMap->pages)
                if (map && !map->Contains(page))
                    Problem(where, "su mapa de páginas con sitio marca la " + PageName(page) +
                                       ", que no es suya");
        }
        std::map<std::uint16_t, std::optional<UsageMap>> longValueMaps;
        for (const LongValueMaps& maps : def.longValueMaps) {
            const ColumnDef* column = def.ColumnByNumber(maps.column);
            std::string who = where + ", valores largos de " +
                              Quoted(column ? column->name : std::to_string(maps.column));
            longValueMaps[maps.column] = Own(maps.usageMap, who);
            if (const auto& lvMap = longValueMaps[maps.column])
                for (std::uint32_t page : lvMap->pages) {
                    if (page >= file_.PageCount()) continue;
                    std::span<const unsigned char> bytes = file_.Page(page);
                    if (bytes[0] != kDataPage || ReadDataPageHeader(bytes).owner != kLongValueOwner)
                        Problem(who, "su mapa de uso marca la " + PageName(page) +
                                         ", que no es una página de valores largos");
                }
            ReadMapOnly(maps.freeMap, who);
        }
        if (!map) return;
        for (std::uint32_t page : map->pages) {
            if (page >= file_.PageCount()) continue;
            std::span<const unsigned char> bytes = file_.Page(page);
            std::uint32_t owner = ReadDataPageHeader(bytes).owner;
            if (bytes[0] != kDataPage || (owner != def.firstPage && owner != kLongValueOwner))
                Problem(where, "su mapa de uso marca la " + PageName(page) +
                                   ", que no es una página de datos suya");
        }

        // The rows are read twice, one at a time: first where they are (a table whose rows cannot
        // all be read is said to be so, and no more), then each decoded and its long values
        // followed. The index checks find them again through their entries.
        TableRowSet rows;
        try {
            ForEachTableRow(
                file_, def, *map, [&](const StoredRow& row) { rows.Live(row.where); },
                [&](std::uint32_t page, std::size_t slots) { rows.AddPage(page, slots); });
        } catch (const EngineError& e) {
            Problem(where, e.what());
            return;
        }
        result_.rows += static_cast<long>(rows.count);
        // Access does not keep the count of its own system tables exact (MSysACEs, MSysQueries
        // of files it wrote count fewer rows than they hold); a user table's count is exact.
        if (rows.count != def.rowCount) {
            std::string text = "tiene " + std::to_string(rows.count) +
                               " filas, su definición dice " + std::to_string(def.rowCount);
            if (def.tableType == kSystemTable)
                result_.notes.push_back(where + ": " + text);
            else
                Problem(where, text);
        }

        auto decodeRow = [&](const StoredRow& row) {
            std::optional<RowValues> values;
            try {
                values.emplace(file_, def, row.bytes);
            } catch (const EngineError& e) {
                Problem(where + ", fila en la " + PageName(row.where.page) + " (" +
                            std::to_string(row.where.row) + ")",
                        e.what());
                return;
            }
            for (const ColumnDef& column : def.columns) {
                if (column.type != kMemo && column.type != kLongBinary) continue;
                auto value = values->Value(column);
                if (!value) continue;
                std::string rowWhere = where + ", columna " + Quoted(column.name) +
                                       ", fila en la " + PageName(row.where.page) + " (" +
                                       std::to_string(row.where.row) + ")";
                try {
                    LongValue longValue = ReadLongValue(file_, *value);
                    const auto found = longValueMaps.find(column.number);
                    for (std::uint32_t page : longValue.pages) {
                        bool owned = found != longValueMaps.end()
                                         ? found->second && found->second->Contains(page)
                                         : map->Contains(page);
                        if (!owned)
                            Problem(rowWhere, "su valor largo está en la " + PageName(page) +
                                                  ", que no es de la tabla");
                    }
                } catch (const EngineError& e) {
                    Problem(rowWhere, e.what());
                }
            }
        };
        try {
            ForEachTableRow(file_, def, *map, decodeRow);
        } catch (const EngineError& e) {
            Problem(where, e.what());  // read once already: only should the bytes change
            return;
        }

        for (std::size_t i = 0; i < def.realIndexes.size(); ++i)
            CheckIndex(table.name, def, i, rows);
    }

    std::optional<UsageMap> ReadMapOnly(std::uint32_t packed, const std::string& who) {
        if (packed == 0) return std::nullopt;
        try {
            UsageMap map = ReadUsageMap(file_, PageRow::From(packed));
            MapStructural(map, who + " (páginas con sitio)");
            return map;
        } catch (const EngineError& e) {
            Problem(who, std::string("mapa de páginas con sitio ilegible: ") + e.what());
            return std::nullopt;
        }
    }

    void CheckIndex(const std::string& tableName, const TableDef& def, std::size_t number,
                    const TableRowSet& rows) {
        const RealIndexDef& index = def.realIndexes[number];
        std::vector<std::string> names;
        for (const LogicalIndexDef& logical : def.logicalIndexes)
            if (logical.realNumber == number) names.push_back(logical.name);
        std::string where = "tabla " + Quoted(tableName) + ", índice " +
                            (names.empty() ? "nº " + std::to_string(number) : NameList(names));
        ++result_.indexes;
        std::optional<UsageMap> map = Own(index.usageMap, where);

        // The tree, from the root down: every intermediate entry equals the last leaf entry
        // under its child (then the child's page), the tail (the last child of a page with
        // several) follows them; every leaf lies as deep as the others. The leaves in the
        // tree's order are the chain of leaves, from the first.
        std::set<std::uint32_t> visited;
        std::vector<std::uint32_t> treeLeaves;
        std::optional<std::size_t> leafDepth;
        // A page of the index, its own fields checked once (when the tree reaches it).
        auto indexPage = [&](std::uint32_t page, bool check) -> std::optional<IndexPage> {
            if (page == 0 || page >= file_.PageCount()) {
                Problem(where, "el árbol apunta a la " + PageName(page) + ", fuera del archivo");
                return std::nullopt;
            }
            try {
                IndexPage read = ReadIndexPage(file_, page);
                if (!check) return read;
                if (read.table != def.firstPage)
                    Problem(where, "la " + PageName(page) + " dice ser de otra tabla");
                if (map && !map->Contains(page))
                    Problem(where, "la " + PageName(page) + " no está en su mapa de uso");
                if (read.freeSpace != kPageSize - kIndexEntriesStart - read.used)
                    Problem(where, "la " + PageName(page) + " dice tener " +
                                       std::to_string(read.freeSpace) + " bytes libres, tiene " +
                                       std::to_string(kPageSize - kIndexEntriesStart - read.used));
                return read;
            } catch (const EngineError& e) {
                Problem(where, e.what());
                return std::nullopt;
            }
        };
        // The last leaf entry under `page` (empty for an empty leaf); nullopt when broken.
        std::function<std::optional<std::vector<unsigned char>>(std::uint32_t, std::size_t)>
            subtree = [&](std::uint32_t page,
                          std::size_t depth) -> std::optional<std::vector<unsigned char>> {
            if (!visited.insert(page).second) {
                Problem(where, "el árbol vuelve sobre sí: la " + PageName(page) +
                                   " cuelga dos veces de él");
                return std::nullopt;
            }
            std::optional<IndexPage> read = indexPage(page, true);
            if (!read) return std::nullopt;
            if (!read->Intermediate()) {
                if (leafDepth && *leafDepth != depth)
                    Problem(where, "la hoja " + std::to_string(page) +
                                       " no está a la altura de las otras");
                leafDepth = depth;
                treeLeaves.push_back(page);
                if (read->entries.empty()) return std::vector<unsigned char>{};
                return read->entries.back().bytes;
            }
            if (read->entries.empty() && read->tail == 0) {
                Problem(where, "la " + PageName(page) + " es intermedia y no tiene hijos");
                return std::nullopt;
            }
            std::optional<std::vector<unsigned char>> last;
            for (const IndexEntry& entry : read->entries) {
                last = subtree(entry.child, depth + 1);
                if (!last) return std::nullopt;
                std::span<const unsigned char> stored =
                    std::span<const unsigned char>(entry.bytes).first(entry.bytes.size() - 4);
                if (!std::equal(stored.begin(), stored.end(), last->begin(), last->end()))
                    Problem(where, "la entrada de la " + PageName(page) +
                                       " no es la última que cuelga de la " +
                                       PageName(entry.child));
            }
            if (read->tail != 0) last = subtree(read->tail, depth + 1);
            return last;
        };
        if (!subtree(index.rootPage, 0)) return;
        if (map)
            for (std::uint32_t page : map->pages)
                if (page < file_.PageCount() && !visited.count(page))
                    Problem(where, "su mapa de uso marca la " + PageName(page) +
                                       ", que no es de su árbol");
        std::uint32_t firstLeaf = treeLeaves.empty() ? 0 : treeLeaves.front();

        // The leaves along their chain, one at a time, each entry checked as it comes: its order
        // after the one before, its row (read again from its page) and that row's key. What the
        // entries show is said after what the chain shows, as when they were all gathered first.
        std::vector<CheckProblem> entryProblems;
        std::optional<std::string> outOfOrder, repeated;
        std::vector<unsigned char> previousEntry;
        std::vector<bool> seen(rows.live.size(), false);
        std::map<std::size_t, int> moreEntries;  // rows with entries beyond their first
        std::set<std::size_t> nullsWithEntry;
        long entries = 0;
        long keysCompared = 0;
        std::string unknownKeys;
        bool reportedKey = false;
        auto checkEntry = [&](const IndexEntry& entry) {
            if (entries++ > 0) {
                const auto& a = previousEntry;
                const auto& b = entry.bytes;
                if (!outOfOrder &&
                    !std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end()))
                    outOfOrder = "entradas fuera de orden: " + Hex(a) + " antes de " + Hex(b);
                std::span<const unsigned char> aKey = std::span(a).first(a.size() - 4);
                std::span<const unsigned char> bKey = entry.Key(false);
                if ((index.flags & kIndexUnique) && !repeated &&
                    std::equal(aKey.begin(), aKey.end(), bKey.begin(), bKey.end()) &&
                    !AllNull(index, aKey))
                    repeated = "índice único con la clave repetida " + Hex(aKey);
            }
            previousEntry = entry.bytes;
            std::optional<std::size_t> slot = rows.Find(entry.row);
            if (!slot) {
                entryProblems.push_back(
                    {where, "una entrada apunta a la " + PageName(entry.row.page) + " (" +
                                std::to_string(entry.row.row) + "), donde no hay fila"});
                return;
            }
            const bool first = !seen[*slot];
            if (first)
                seen[*slot] = true;
            else
                ++moreEntries[*slot];
            const std::optional<RowValues> values = Decoded(def, entry.row);
            if (!values) return;
            if (first && IgnoredNulls(def, index, values)) nullsWithEntry.insert(*slot);
            std::vector<std::optional<std::span<const unsigned char>>> keyValues;
            for (const IndexKeyColumn& key : index.keys) {
                const ColumnDef* column = def.ColumnByNumber(key.column);
                keyValues.push_back(column ? values->Value(*column) : std::nullopt);
            }
            std::optional<std::vector<unsigned char>> key;
            try {
                key = EntryKey(def, index, keyValues);
            } catch (const EngineError& e) {
                if (unknownKeys.empty()) unknownKeys = e.what();
                return;
            }
            if (!key) {
                if (unknownKeys.empty()) unknownKeys = "claves de un tipo de columna sin comprobar";
                return;
            }
            ++keysCompared;
            std::span<const unsigned char> stored = entry.Key(false);
            if (!reportedKey &&
                !std::equal(key->begin(), key->end(), stored.begin(), stored.end())) {
                entryProblems.push_back({where, "la fila de la " + PageName(entry.row.page) + " (" +
                                                    std::to_string(entry.row.row) +
                                                    ") tiene la clave " + Hex(stored) +
                                                    ", sus valores dan " + Hex(*key)});
                reportedKey = true;
            }
        };

        std::size_t leaves = 0;
        std::uint32_t previous = 0;
        for (std::uint32_t page = firstLeaf; page != 0;) {
            if (leaves > file_.PageCount()) {
                Problem(where, "la cadena de hojas vuelve sobre sí");
                return;
            }
            std::optional<IndexPage> read = indexPage(page, !visited.count(page));
            if (!read) return;
            if (read->Intermediate()) {
                Problem(where, "la cadena de hojas pasa por la " + PageName(page) +
                                   ", que no es una hoja");
                return;
            }
            if (read->previous != previous)
                Problem(where, "la hoja " + std::to_string(page) + " dice que la anterior es la " +
                                   std::to_string(read->previous) + ", no la " +
                                   std::to_string(previous));
            if (leaves >= treeLeaves.size() || treeLeaves[leaves] != page)
                Problem(where,
                        "la hoja " + std::to_string(page) + " no es la que sigue en el árbol");
            ++leaves;
            previous = page;
            page = read->next;
            for (const IndexEntry& entry : read->entries) checkEntry(entry);
        }
        if (leaves < treeLeaves.size())
            Problem(where, "la hoja " + std::to_string(treeLeaves[leaves]) +
                               " del árbol no está en la cadena");
        result_.entries += entries;
        if (outOfOrder) Problem(where, *outOfOrder);
        for (CheckProblem& problem : entryProblems) result_.problems.push_back(std::move(problem));
        result_.keysCompared += keysCompared;
        if (!unknownKeys.empty()) result_.notes.push_back(where + ": " + unknownKeys);

        // Each row and its entries, in the rows' order.
        for (const TableRowSet::Page& page : rows.pages)
            for (std::size_t row = 0; row < page.slots; ++row) {
                const std::size_t slot = page.first + row;
                if (!rows.live[slot]) continue;
                const PageRow at{page.number, static_cast<std::uint32_t>(row)};
                const std::string rowName =
                    "la fila de la " + PageName(at.page) + " (" + std::to_string(at.row) + ")";
                if (auto more = moreEntries.find(slot); more != moreEntries.end())
                    Problem(where,
                            rowName + " tiene " + std::to_string(1 + more->second) + " entradas");
                if (nullsWithEntry.count(slot))
                    Problem(where, rowName +
                                       " es toda Null y tiene entrada en un índice que ignora "
                                       "los Null");
                if (!seen[slot] && !IgnoredNulls(def, index, Decoded(def, at)))
                    Problem(where, rowName + " no tiene entrada");
            }
        if (repeated) Problem(where, *repeated);
    }

    // A row of the table decoded from its slot; nullopt when it cannot be (its problem is said
    // when the rows are read).
    std::optional<RowValues> Decoded(const TableDef& def, PageRow where) const {
        try {
            if (std::optional<StoredRow> row = TableRowAt(file_, where))
                return RowValues(file_, def, row->bytes);
        } catch (const EngineError&) {
        }
        return std::nullopt;
    }

    // An index that ignores Nulls leaves out the rows whose key columns are all Null.
    static bool IgnoredNulls(const TableDef& def, const RealIndexDef& index,
                             const std::optional<RowValues>& values) {
        if (!(index.flags & kIndexIgnoreNulls) || !values) return false;
        for (const IndexKeyColumn& key : index.keys) {
            const ColumnDef* column = def.ColumnByNumber(key.column);
            if (column && values->Value(*column)) return false;
        }
        return true;
    }

    // A key made only of Null flags.
    static bool AllNull(const RealIndexDef& index, std::span<const unsigned char> key) {
        if (key.size() != index.keys.size()) return false;
        return std::all_of(key.begin(), key.end(),
                           [](unsigned char b) { return b == 0x00 || b == 0xFF; });
    }

    void CheckPages() {
        for (const auto& [page, who] : beyond_)
            if (!free_.count(page))
                Problem(who, "su mapa de uso marca la " + PageName(page) + ", fuera del archivo");
        for (std::uint32_t page = 0; page < file_.PageCount(); ++page) {
            const std::vector<std::string>& owners = owners_[page];
            bool isFree = free_.count(page) != 0;
            if (owners.size() > 1) {
                Problem(PageName(page), "tiene varios dueños: " + Join(owners));
            } else if (owners.size() == 1 && isFree) {
                Problem(PageName(page), "es de " + owners[0] + " y figura como libre");
            } else if (owners.size() == 1 && structural_[page]) {
                Problem(PageName(page), "es de " + owners[0] + " y también de la estructura");
            } else if (owners.empty() && structural_[page] && isFree) {
                Problem(PageName(page), "es de la estructura y figura como libre");
            } else if (owners.empty() && !structural_[page] && !isFree) {
                LostPage(page);
            }
        }
        if (lostPages_ > 0)
            result_.notes.push_back(std::to_string(lostPages_) +
                                    " páginas en uso que no son de nadie (espacio que Access deja "
                                    "hasta compactar la base)");
    }

    // A page no map owns and the free map does not free is lost space, which Access leaves behind
    // (pages of dropped tables stay so until the file is compacted); but rows of a live table on
    // it are rows the table has lost.
    void LostPage(std::uint32_t page) {
        std::span<const unsigned char> bytes = file_.Page(page);
        if (bytes[0] == kDataPage) {
            auto table = liveTables_.find(ReadDataPageHeader(bytes).owner);
            if (table != liveTables_.end()) {
                try {
                    for (const RowSlot& slot : ReadRowSlots(file_, page))
                        if (!slot.deleted) {
                            Problem(PageName(page), "tiene filas de la tabla " +
                                                        Quoted(table->second) +
                                                        " pero no está en su mapa de uso");
                            return;
                        }
                } catch (const EngineError&) {
                }
            }
        }
        ++lostPages_;
    }

    static std::string Join(const std::vector<std::string>& parts) {
        std::string out;
        for (const std::string& part : parts) out += (out.empty() ? "" : "; ") + part;
        return out;
    }

    const PageFile& file_;
    CheckResult result_;
    std::vector<std::vector<std::string>> owners_;
    std::vector<bool> structural_;
    std::vector<std::pair<std::uint32_t, std::string>> beyond_;
    std::set<std::uint32_t> free_;
    std::map<std::uint32_t, std::string> bitmapOf_;  // 0x05 pages by the map that lists them
    std::map<std::uint32_t, std::string> definitionOf_;
    std::map<std::uint32_t, std::string> liveTables_;  // by definition page
    int lostPages_ = 0;
};

}  // namespace

CheckResult CheckFile(const PageFile& file) {
    return Checker(file).Run();
}

nlohmann::json CheckJson(const CheckResult& result) {
    nlohmann::json problems = nlohmann::json::array();
    for (const CheckProblem& problem : result.problems)
        problems.push_back({{"where", problem.where}, {"problem", problem.text}});
    return {{"sound", result.Sound()},
            {"pages", result.pages},
            {"tables", result.tables},
            {"indexes", result.indexes},
            {"rows", result.rows},
            {"entries", result.entries},
            {"keysCompared", result.keysCompared},
            {"problems", problems},
            {"notes", result.notes}};
}

std::string CheckText(const CheckResult& result) {
    std::ostringstream out;
    for (const CheckProblem& problem : result.problems)
        out << problem.where << ": " << problem.text << "\n";
    for (const std::string& note : result.notes) out << "Sin comprobar: " << note << "\n";
    out << result.pages << " páginas, " << result.tables << " tablas, " << result.rows << " filas, "
        << result.indexes << " índices, " << result.entries << " entradas (" << result.keysCompared
        << " claves comparadas): "
        << (result.Sound() ? "sin problemas"
                           : std::to_string(result.problems.size()) + " problemas")
        << "\n";
    return out.str();
}

}  // namespace actualiz::engine::jet::check
