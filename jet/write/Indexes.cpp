#include "jet/write/Indexes.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "engine/EngineError.h"
#include "jet/format/IndexKey.h"
#include "jet/format/IndexPage.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/TextKey.h"
#include "jet/format/UsageMap.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"
#include "jet/write/IndexTree.h"
#include "jet/write/PageAllocation.h"
#include "jet/write/Rows.h"
#include "jet/write/TableDefWrite.h"
#include "jet/write/WholeChange.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr std::size_t kMaxNameLength = 64;
constexpr std::size_t kRowsNamed = 10;

EngineError Refused(const std::string& what, const std::string& table, const std::string& why,
                    int number = err::kInvalidOperation) {
    return EngineError(number, "No se " + what + " de la tabla «" + table + "»: " + why + ".");
}

// The column of that name, letter case aside (as the engine matches names).
const ColumnDef* ColumnNamed(const TableDef& def, const std::u16string& name) {
    std::vector<unsigned char> key = TextKey(name);
    for (const ColumnDef& column : def.columns)
        if (TextKey(Utf16(column.name)) == key) return &column;
    return nullptr;
}

const LogicalIndexDef* LogicalNamed(const TableDef& def, const std::u16string& name) {
    std::vector<unsigned char> key = TextKey(name);
    for (const LogicalIndexDef& logical : def.logicalIndexes)
        if (TextKey(Utf16(logical.name)) == key) return &logical;
    return nullptr;
}

// Refuses the index when the table's rows break it: a Null in a field of a primary key or a
// Required index, the same key twice in a unique one (a key all of Nulls is no repetition, as
// the row writer counts it).
void CheckRows(const PageFile& file, const TableDef& def, const RealIndexDef& real,
               const std::string& indexName, const std::string& tableName) {
    UsageMap pages = ReadUsageMap(file, PageRow::From(def.usageMap));
    std::map<std::vector<unsigned char>, std::vector<std::size_t>> keys;
    std::vector<std::size_t> nulls;
    std::size_t place = 0;
    const std::string what = "crea el índice «" + indexName + "»";
    for (const StoredRow& row : TableRows(file, def, pages)) {
        RowValues values(file, def, row.bytes);
        std::vector<std::optional<std::span<const unsigned char>>> keyValues;
        bool anyValue = false, anyNull = false;
        for (const IndexKeyColumn& key : real.keys) {
            keyValues.push_back(values.Value(*def.ColumnByNumber(key.column)));
            anyValue = anyValue || keyValues.back().has_value();
            anyNull = anyNull || !keyValues.back().has_value();
        }
        if (anyNull && (real.flags & kIndexRequired)) nulls.push_back(place);
        if (anyValue && (real.flags & kIndexUnique)) {
            std::optional<std::vector<unsigned char>> key = EntryKey(def, real, keyValues);
            if (!key)
                throw Refused(what, tableName, "no se sabe escribir la clave de uno de sus campos");
            keys[*key].push_back(place);
        }
        ++place;
    }
    if (!nulls.empty())
        throw Refused(what, tableName,
                      "un índice o clave principal no puede contener un valor Null, y lo tiene " +
                          entries::RowsText(nulls),
                      err::kNullInIndex);
    for (const auto& [key, rows] : keys)
        if (rows.size() > 1)
            throw Refused(what, tableName,
                          "crearía valores duplicados en un índice o clave principal: " +
                              entries::RowsText(rows) + " tienen la misma clave",
                          err::kDuplicateInIndex);
}

// Points the relation entries of other tables that name the table's logical index `from` at
// `to`. The table's own entries (a relation of the table with itself) are changed in `def`.
void MoveLogicalNumber(PageFile& file, TableDef& def, std::uint32_t from, std::uint32_t to) {
    auto follow = [&](TableDef& other) {
        bool changed = false;
        for (LogicalIndexDef& logical : other.logicalIndexes)
            if (logical.type == kForeignKeyIndex && logical.relatedTablePage == def.firstPage &&
                logical.relatedIndex == from) {
                logical.relatedIndex = to;
                changed = true;
            }
        return changed;
    };
    follow(def);
    std::set<std::uint32_t> seen{def.firstPage};
    for (const CatalogObject& object : ReadCatalog(file)) {
        if (!object.LocalTable() || !seen.insert(object.DefinitionPage()).second) continue;
        TableDef other = ReadTableDef(file, object.DefinitionPage());
        if (follow(other)) WriteTableDef(file, other);
    }
}

void SortByName(std::vector<LogicalIndexDef>& logical) {
    std::stable_sort(logical.begin(), logical.end(),
                     [](const LogicalIndexDef& a, const LogicalIndexDef& b) {
                         return TextKey(Utf16(a.name)) < TextKey(Utf16(b.name));
                     });
}

}  // namespace

namespace entries {

std::uint32_t AddPhysicalIndex(PageFile& file, TableDef& def,
                               const std::vector<IndexKeyColumn>& keys, std::uint8_t flags) {
    RealIndexDef real;
    real.raw.assign(kRealIndexSize, 0);
    real.raw[0] = 0x83;  // in every physical index entry of the samples
    real.raw[1] = 0x07;
    real.keys = keys;
    real.flags = flags;
    // Its count as the table's rows, its root an empty leaf that the rebuild fills, its usage map
    // beside the table's own maps.
    real.rowCountField = def.rowCount;
    AddEmptyRoot(file, def, PageRow::From(def.usageMap).page, real);
    def.realIndexes.push_back(real);
    return static_cast<std::uint32_t>(def.realIndexes.size() - 1);
}

std::uint32_t NextLogicalNumber(const TableDef& def) {
    std::uint32_t next = static_cast<std::uint32_t>(def.realIndexes.size());
    for (const LogicalIndexDef& logical : def.logicalIndexes)
        next = std::max(next, logical.number + 1);
    return next;
}

void ClaimLogicalNumber(PageFile& file, TableDef& def, std::uint32_t number) {
    const std::uint32_t next = NextLogicalNumber(def);
    for (LogicalIndexDef& logical : def.logicalIndexes)
        if (logical.number == number) {
            logical.number = next;
            MoveLogicalNumber(file, def, number, next);
        }
}

void RemoveLogicalEntry(PageFile& file, TableDef& def, std::uint32_t number) {
    auto at = std::find_if(def.logicalIndexes.begin(), def.logicalIndexes.end(),
                           [&](const LogicalIndexDef& l) { return l.number == number; });
    if (at == def.logicalIndexes.end()) return;
    const LogicalIndexDef gone = *at;
    def.logicalIndexes.erase(at);
    const bool shared =
        std::any_of(def.logicalIndexes.begin(), def.logicalIndexes.end(),
                    [&](const LogicalIndexDef& l) { return l.realNumber == gone.realNumber; });
    if (!shared && gone.realNumber < def.realIndexes.size()) {
        // Its pages go back, its map row with them.
        const RealIndexDef real = def.realIndexes[gone.realNumber];
        PageRow map = PageRow::From(real.usageMap);
        const std::vector<std::uint32_t> pages = ReadUsageMap(file, map).pages;
        for (std::uint32_t page : pages) {
            if (page >= file.PageCount()) continue;
            SetMapped(file, map, page, false);
            FreePage(file, page);
        }
        if (real.rootPage >= 2 && real.rootPage < file.PageCount() &&
            std::find(pages.begin(), pages.end(), real.rootPage) == pages.end())
            FreePage(file, real.rootPage);
        ReleaseMapPages(file, map);
        DropRow(file, map);
        def.realIndexes.erase(def.realIndexes.begin() + gone.realNumber);
        for (LogicalIndexDef& logical : def.logicalIndexes)
            if (logical.realNumber > gone.realNumber) --logical.realNumber;
    }
    std::vector<std::uint32_t> numbers;
    for (const LogicalIndexDef& logical : def.logicalIndexes)
        if (logical.number > gone.number) numbers.push_back(logical.number);
    std::sort(numbers.begin(), numbers.end());
    for (std::uint32_t n : numbers) {
        for (LogicalIndexDef& logical : def.logicalIndexes)
            if (logical.number == n) logical.number = n - 1;
        MoveLogicalNumber(file, def, n, n - 1);
    }
}

std::string TableNameOf(const PageFile& file, std::uint32_t table) {
    for (const CatalogObject& object : ReadCatalog(file))
        if (object.LocalTable() && object.DefinitionPage() == table) return object.name;
    return "de la página " + std::to_string(table);
}

std::string RowsText(const std::vector<std::size_t>& rows) {
    std::string text = rows.size() == 1 ? "la fila " : "las filas ";
    for (std::size_t i = 0; i < rows.size() && i < kRowsNamed; ++i) {
        if (i > 0) text += i + 1 == rows.size() ? " y " : ", ";
        text += std::to_string(rows[i] + 1);
    }
    if (rows.size() > kRowsNamed)
        text += " (y " + std::to_string(rows.size() - kRowsNamed) + " más)";
    return text;
}

}  // namespace entries

void CreateIndex(PageFile& file, std::uint32_t table, const NewIndex& index) {
    RequireJet4(file);
    Whole(file, [&] {
        TableDef def = ReadTableDef(file, table);
        const std::string tableName = entries::TableNameOf(file, table);
        const std::string indexName = Utf8(index.name);
        const std::string what = "crea el índice «" + indexName + "»";
        if (index.name.empty() || index.name.size() > kMaxNameLength)
            throw Refused(what, tableName, "el nombre debe tener de 1 a 64 caracteres");
        if (LogicalNamed(def, index.name)) throw MakeError(err::kIndexExists, indexName);
        if (index.primary &&
            std::any_of(def.logicalIndexes.begin(), def.logicalIndexes.end(),
                        [](const LogicalIndexDef& l) { return l.type == kPrimaryKeyIndex; }))
            throw MakeError(err::kPrimaryKeyExists, tableName);
        if (index.fields.empty() || index.fields.size() > kMaxIndexKeys)
            throw Refused(what, tableName, "un índice tiene de 1 a 10 campos");

        RealIndexDef real;
        for (const NewIndexField& field : index.fields) {
            const ColumnDef* column = ColumnNamed(def, field.name);
            if (!column) throw MakeError(err::kItemNotFound, Utf8(field.name));
            if (column->type == kMemo || column->type == kLongBinary)
                throw Refused(what, tableName,
                              "no puede incluir el campo Memo u OLE «" + column->name + "»");
            if (std::any_of(real.keys.begin(), real.keys.end(),
                            [&](const IndexKeyColumn& k) { return k.column == column->number; }))
                throw Refused(what, tableName, "nombra dos veces el campo «" + column->name + "»");
            real.keys.push_back({column->number, !field.descending});
        }
        const bool unique = index.unique || index.primary;
        const bool required = index.required || index.primary;
        real.flags = static_cast<std::uint8_t>(kIndexWritten | (unique ? kIndexUnique : 0) |
                                               (index.ignoreNulls ? kIndexIgnoreNulls : 0) |
                                               (required ? kIndexRequired : 0));
        for (const RealIndexDef& other : def.realIndexes) {
            bool sameKeys =
                other.keys.size() == real.keys.size() &&
                std::equal(other.keys.begin(), other.keys.end(), real.keys.begin(),
                           [](const IndexKeyColumn& a, const IndexKeyColumn& b) {
                               return a.column == b.column && a.ascending == b.ascending;
                           });
            if (sameKeys && other.flags == real.flags)
                throw Refused(what, tableName,
                              "otro índice tiene los mismos campos y propiedades (compartirían "
                              "un índice físico, que no se escribe)");
        }
        CheckRows(file, def, real, indexName, tableName);

        const std::uint32_t number = entries::AddPhysicalIndex(file, def, real.keys, real.flags);
        entries::ClaimLogicalNumber(file, def, number);

        LogicalIndexDef entry;
        entry.number = number;
        entry.realNumber = number;
        entry.type = index.primary ? kPrimaryKeyIndex : 0;
        entry.name = indexName;
        // 0x0659, no related table, and the bytes 0x04 0x04 at 21 and 22 that every index of the
        // samples without a relation holds.
        entry.raw.assign(kLogicalIndexSize, 0);
        entry.raw[0] = 0x59;
        entry.raw[1] = 0x06;
        entry.raw[21] = entry.raw[22] = 0x04;
        entry.cascadeUpdates = entry.cascadeDeletes = true;
        def.logicalIndexes.push_back(entry);
        SortByName(def.logicalIndexes);
        WriteTableDef(file, def);
        RebuildIndexes(file, table);
    });
}

void DeleteIndex(PageFile& file, std::uint32_t table, const std::u16string& name) {
    RequireJet4(file);
    Whole(file, [&] {
        TableDef def = ReadTableDef(file, table);
        const LogicalIndexDef* found = LogicalNamed(def, name);
        if (!found || found->type == kForeignKeyIndex)
            throw MakeError(err::kItemNotFound, Utf8(name));
        const LogicalIndexDef gone = *found;
        if (gone.realNumber >= def.realIndexes.size())
            throw Refused("quita el índice «" + gone.name + "»", entries::TableNameOf(file, table),
                          "nombra un índice físico que la tabla no tiene");
        const bool relation = std::any_of(
            def.logicalIndexes.begin(), def.logicalIndexes.end(), [&](const LogicalIndexDef& l) {
                return l.type == kForeignKeyIndex && l.realNumber == gone.realNumber;
            });
        if (relation) throw MakeError(err::kInRelationship, gone.name);

        entries::RemoveLogicalEntry(file, def, gone.number);
        WriteTableDef(file, def);
    });
}

}  // namespace actualiz::engine::jet::write
