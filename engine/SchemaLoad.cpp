// Reading every definition of the file into a database's collections, one system table at a
// time: each is read with one statement, in the order of its key, and joined to its owners by Id.

#include <algorithm>
#include <numeric>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/FieldRules.h"
#include "engine/Schema.h"
#include "platform/NameFold.h"

namespace actualiz::engine::detail {

namespace {

using KeptRows = std::shared_ptr<const SharedFile::StoredRows>;

// One kept row, read like a statement's current row.
struct RowView {
    const SharedFile::StoredRows& rows;
    std::size_t row;
    long long Int(int i) const { return rows.numbers[Cell(i)]; }
    std::string Text(int i) const { return rows.texts[Cell(i)]; }
    std::size_t Cell(int i) const { return row * rows.columns + static_cast<std::size_t>(i); }
};

// One query of the system tables, answered from the rows the connection read for it last time
// when the file cannot have changed since (see SharedFile::definitionRows), stepped like a
// statement. A connection whose definitions were read only once reads them straight from the
// file: most files of a one-off command are opened once, and keeping their rows would only cost.
class SystemRows {
  public:
    SystemRows(Connection& c, const std::string& sql) {
        SharedFile::DefinitionRows& known = c.File()->definitionRows;
        if (!known.keep) {
            live_.emplace(c, sql);
            return;
        }
        for (const auto& [query, rows] : known.byQuery)
            if (query == sql) rows_ = rows;
        if (rows_) return;
        auto rows = std::make_shared<SharedFile::StoredRows>();
        Statement s(c, sql);
        rows->columns = static_cast<std::size_t>(s.ColumnCount());
        while (s.Step()) {
            for (int i = 0; i < s.ColumnCount(); ++i) {
                rows->numbers.push_back(s.Int(i));
                rows->texts.push_back(s.Text(i));
            }
        }
        rows->numbers.shrink_to_fit();  // kept for a while: no room left over
        rows->texts.shrink_to_fit();
        rows_ = rows;
        known.byQuery.emplace_back(sql, rows_);
    }
    // The rows themselves when the connection keeps them; null when read from the file.
    const KeptRows& Kept() const { return rows_; }
    bool Step() { return live_ ? live_->Step() : ++at_ < rows_->Count(); }
    long long Int(int i) const { return live_ ? live_->Int(i) : RowView{*rows_, at_}.Int(i); }
    std::string Text(int i) const { return live_ ? live_->Text(i) : RowView{*rows_, at_}.Text(i); }

  private:
    std::optional<Statement> live_;
    KeptRows rows_;
    std::size_t at_ = static_cast<std::size_t>(-1);
};

// Forgets the rows read before unless the file is as it was then (version: its data_version now);
// from the second reading of its definitions on, a connection keeps the rows it reads.
void KeepRowsIfUnchanged(Connection& c, long long version) {
    const long long changes = sqlite3_total_changes64(c.db());
    SharedFile::DefinitionRows& known = c.File()->definitionRows;
    if (known.keep && version >= 0 && known.dataVersion == version && known.changes == changes)
        return;
    known.byQuery.clear();
    known.dataVersion = version;
    known.changes = changes;
    known.keep = known.loads++ > 0;
}

struct LoadedQuery {
    long long id = 0;
    std::string name;
    std::string sql;
};

// The objects of MSysObjects, in Id order, so that the other system tables find their owner by Id.
struct LoadedObjects {
    std::vector<std::pair<long long, std::shared_ptr<TableDef>>> tables;
    std::vector<LoadedQuery> queries;

    std::shared_ptr<TableDef> TableById(long long id) const {
        auto it = std::lower_bound(tables.begin(), tables.end(), id,
                                   [](const auto& p, long long v) { return p.first < v; });
        return it != tables.end() && it->first == id ? it->second : nullptr;
    }
};

// A file of the first format opened read-only lacks the later columns: their defaults then.
std::string ObjectsQuery(bool current) {
    return std::string("SELECT \"Id\", \"Name\", \"Type\", ") +
           (current ? "\"ValidationRule\", \"ValidationText\"" : "'', ''") +
           " FROM \"MSysObjects\" ORDER BY \"Id\"";
}

// A stored table from its row of MSysObjects (as ObjectsQuery reads it), without its fields and
// indexes.
template <class Row>
std::shared_ptr<TableDef> StoredTable(const Row& s, const std::weak_ptr<Database>& database) {
    auto t = std::make_shared<TableDef>(s.Text(1));
    t->SetValidationRule(s.Text(3));
    t->SetValidationText(s.Text(4));
    t->MarkStored(database);
    return t;
}

LoadedObjects ReadObjects(SystemRows& s, const std::weak_ptr<Database>& database) {
    LoadedObjects objects;
    while (s.Step()) {
        if (s.Int(2) == kObjectTable)
            objects.tables.emplace_back(s.Int(0), StoredTable(s, database));
        else if (s.Int(2) == kObjectQuery)
            objects.queries.push_back({s.Int(0), s.Text(1), std::string()});
    }
    return objects;
}

// The positions of the tables in name order, the order of the database's collection. Inserted in
// that order each one goes at the end of the collection, instead of being placed among those
// before it.
std::vector<std::size_t> NameOrder(const LoadedObjects& objects) {
    std::vector<std::size_t> order(objects.tables.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    // Stable: tables that cannot be told apart stay in the order of their Id.
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return NameLess(objects.tables[a].second->Name(), objects.tables[b].second->Name());
    });
    return order;
}

std::string FieldsQuery(bool current) {
    return std::string(
               "SELECT \"ObjectId\", \"Name\", \"Type\", \"Size\", "
               "\"AllowZeroLength\", \"Required\", \"Position\", ") +
           (current ? "\"Attributes\", \"DefaultValue\", \"ValidationRule\", \"ValidationText\""
                    : "0, '', '', ''") +
           " FROM \"MSysColumns\" ORDER BY \"ObjectId\", \"Position\"";
}

std::string IndexesQuery(bool current) {
    return std::string(
               "SELECT \"Id\", \"ObjectId\", \"Name\", \"SqlName\", \"IsUnique\", "
               "\"IsPrimary\", \"IgnoreNulls\", ") +
           (current ? "\"IsRequired\"" : "0") + " FROM \"MSysIndexes\" ORDER BY \"Id\"";
}

constexpr const char* kIndexColumnsQuery =
    "SELECT \"IndexId\", \"Name\", \"Descending\" FROM \"MSysIndexColumns\" "
    "ORDER BY \"IndexId\", \"Position\"";

// A field of a table from its row of MSysColumns (as FieldsQuery reads it), attached to t.
template <class Row>
void AddTableField(TableDef& t, const Row& s) {
    const auto type = static_cast<short>(s.Int(2));
    auto f = std::make_shared<Field>(
        FieldDefinition{
            .name = s.Text(1),
            .type = type,
            .size = static_cast<long>(s.Int(3)),
            .allowZeroLength = s.Int(4) != 0,
            .required = s.Int(5) != 0,
            .attributes = NormalizedFieldAttributes(static_cast<long>(s.Int(7)), type),
            .defaultValue = s.Text(8),
            .validationRule = s.Text(9),
            .validationText = s.Text(10),
            .ordinalPosition = static_cast<short>(s.Int(6) - 1),
        },
        Field::Role::TableField);
    f->AttachToTable(t.shared_from_this());
    t.Fields().Insert(std::move(f));
}

// An index from its row of MSysIndexes (as IndexesQuery reads it), added to t.
template <class Row>
std::shared_ptr<Index> AddIndex(TableDef& t, const Row& s) {
    auto ix = std::make_shared<Index>(s.Text(2));
    ix->SetUnique(s.Int(4) != 0);
    ix->SetPrimary(s.Int(5) != 0);
    ix->SetIgnoreNulls(s.Int(6) != 0);
    ix->SetRequired(s.Int(7) != 0);
    ix->MarkStored();
    t.Indexes().Insert(ix);
    return ix;
}

// A field of an index from its row of MSysIndexColumns.
template <class Row>
void AddIndexField(Index& index, const Row& cols) {
    auto f = std::make_shared<Field>(
        FieldDefinition{.name = cols.Text(1),
                        .attributes = cols.Int(2) != 0 ? static_cast<long>(dbDescending) : 0L},
        Field::Role::IndexField);
    f->Freeze();
    index.Fields().Insert(std::move(f));
}

// Every table's fields and indexes from rows read from the file just now.
void FillDetails(SystemRows& fields, SystemRows& indexes, SystemRows& indexColumns,
                 const LoadedObjects& objects) {
    long long tableId = 0;
    std::shared_ptr<TableDef> t;
    while (fields.Step()) {
        if (!t || tableId != fields.Int(0)) {
            tableId = fields.Int(0);
            t = objects.TableById(tableId);
        }
        if (t) AddTableField(*t, fields);
    }
    std::vector<std::pair<long long, std::shared_ptr<Index>>> added;
    while (indexes.Step())
        if (auto owner = objects.TableById(indexes.Int(1)))
            added.emplace_back(indexes.Int(0), AddIndex(*owner, indexes));
    std::size_t at = 0;
    while (indexColumns.Step()) {
        const long long id = indexColumns.Int(0);
        while (at < added.size() && added[at].first < id) ++at;
        if (at < added.size() && added[at].first == id)
            AddIndexField(*added[at].second, indexColumns);
    }
}

// The kept rows' first column holds the key they are ordered by: the rows of that key.
std::pair<std::size_t, std::size_t> RowsOf(const SharedFile::StoredRows& rows, long long key) {
    const auto keyOf = [&](std::size_t row) { return RowView{rows, row}.Int(0); };
    std::size_t first = 0, count = rows.Count();
    while (count > 0) {  // the first row whose key is not below key
        const std::size_t half = count / 2;
        if (keyOf(first + half) < key) {
            first += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    std::size_t last = first;
    while (last < rows.Count() && keyOf(last) == key) ++last;
    return {first, last};
}

// The kept rows of MSysIndexes (in Id order) by the table they belong to, each table's in Id
// order: worked out once, so that a table finds its indexes without going through every row.
const std::vector<std::size_t>& IndexRowsByTable(const SharedFile::StoredRows& indexes) {
    if (indexes.order.size() != indexes.Count()) {
        std::vector<std::size_t> order(indexes.Count());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return RowView{indexes, a}.Int(1) < RowView{indexes, b}.Int(1);
        });
        indexes.order = std::move(order);
    }
    return indexes.order;
}

// One table's fields and indexes from the rows its connection keeps.
struct KeptDetails {
    KeptRows fields, indexes, indexColumns;

    void Fill(TableDef& t, long long tableId) const {
        const auto [first, last] = RowsOf(*fields, tableId);
        for (std::size_t row = first; row < last; ++row) AddTableField(t, RowView{*fields, row});
        const std::vector<std::size_t>& byTable = IndexRowsByTable(*indexes);
        auto it = std::lower_bound(byTable.begin(), byTable.end(), tableId,
                                   [&](std::size_t row, long long id) {
                                       return RowView{*indexes, row}.Int(1) < id;
                                   });
        for (; it != byTable.end() && RowView{*indexes, *it}.Int(1) == tableId; ++it) {
            const RowView index{*indexes, *it};
            std::shared_ptr<Index> ix = AddIndex(t, index);
            const auto [from, to] = RowsOf(*indexColumns, index.Int(0));
            for (std::size_t col = from; col < to; ++col)
                AddIndexField(*ix, RowView{*indexColumns, col});
        }
    }
};

}  // namespace

// The tables among kept rows of MSysObjects: the row of each in name order, and the first
// position of each name as the engine compares names (letter case ignored), so that a name is
// found without going through the others. Worked out once for the rows: a run opens the same file
// for every table it looks at.
struct KeptTableNames {
    std::vector<std::size_t> rows;
    std::unordered_map<std::u32string, int> positions;
    std::vector<std::size_t> queryRows;

    static std::u32string Key(std::string_view name) {
        const std::vector<char32_t> folded = platform::FoldedCodePoints(name);
        return std::u32string(folded.begin(), folded.end());
    }
    int Find(std::string_view name) const {
        auto it = positions.find(Key(name));
        return it == positions.end() ? -1 : it->second;
    }
};

namespace {

const KeptTableNames& TableNamesOf(const SharedFile::StoredRows& objects) {
    if (objects.tableNames) return *objects.tableNames;
    auto names = std::make_shared<KeptTableNames>();
    for (std::size_t row = 0; row < objects.Count(); ++row) {
        const long long type = RowView{objects, row}.Int(2);
        if (type == kObjectTable) names->rows.push_back(row);
        if (type == kObjectQuery) names->queryRows.push_back(row);
    }
    const auto nameOf = [&](std::size_t row) {
        return objects.texts[RowView{objects, row}.Cell(1)];
    };
    // Stable: tables that cannot be told apart stay in the order of their Id.
    std::stable_sort(names->rows.begin(), names->rows.end(),
                     [&](std::size_t a, std::size_t b) { return NameLess(nameOf(a), nameOf(b)); });
    for (std::size_t i = 0; i < names->rows.size(); ++i)
        names->positions.emplace(KeptTableNames::Key(nameOf(names->rows[i])), static_cast<int>(i));
    objects.tableNames = names;
    return *names;
}

// The tables of rows the connection keeps go into the collection pending: each is made (and its
// fields and indexes later, when asked for) only when a caller reaches it. Gives the queries.
std::vector<LoadedQuery> PendingTables(Database& database, const KeptRows& objects,
                                       const KeptDetails& details) {
    const KeptTableNames& names = TableNamesOf(*objects);
    std::shared_ptr<const KeptTableNames> shared = objects->tableNames;
    Collection<TableDef>::Pending pending;
    pending.count = static_cast<int>(names.rows.size());
    pending.find = [shared](std::string_view name) { return shared->Find(name); };
    pending.make = [objects, shared, details, owner = database.weak_from_this()](int position) {
        const RowView row{*objects, shared->rows[static_cast<std::size_t>(position)]};
        std::shared_ptr<TableDef> t = StoredTable(row, owner);
        t->DeferDetails([details, id = row.Int(0)](TableDef& table) { details.Fill(table, id); });
        return t;
    };
    database.TableDefs().SetPending(std::move(pending));

    std::vector<LoadedQuery> queries;
    for (std::size_t row : names.queryRows) {
        const RowView q{*objects, row};
        queries.push_back({q.Int(0), q.Text(1), std::string()});
    }
    return queries;
}

// A relation has a row for each pair of fields it joins.
void ReadRelations(Connection& c, Collection<Relation>& relations) {
    SystemRows s(c,
                 "SELECT \"Name\", \"TableName\", \"ForeignTableName\", \"Attributes\", "
                 "\"FieldName\", \"ForeignName\" FROM \"MSysRelationships\" ORDER BY \"Id\"");
    std::shared_ptr<Relation> current;
    while (s.Step()) {
        std::string name = s.Text(0);
        if (!current || current->Name() != name) {
            int existing = relations.Find(name);
            if (existing >= 0) {
                current = relations[existing];
            } else {
                current = std::make_shared<Relation>(std::move(name), s.Text(1), s.Text(2),
                                                     static_cast<long>(s.Int(3)));
                current->MarkStored();
                relations.Insert(current);
            }
        }
        auto f =
            std::make_shared<Field>(FieldDefinition{.name = s.Text(4), .foreignName = s.Text(5)},
                                    Field::Role::RelationField);
        f->Freeze();
        current->Fields().Insert(std::move(f));
    }
}

void ReadQueryTexts(Connection& c, std::vector<LoadedQuery>& queries) {
    SystemRows s(c, "SELECT \"ObjectId\", \"SQL\" FROM \"MSysQueries\"");
    while (s.Step()) {
        auto it = std::lower_bound(queries.begin(), queries.end(), s.Int(0),
                                   [](const LoadedQuery& q, long long id) { return q.id < id; });
        if (it != queries.end() && it->id == s.Int(0)) it->sql = s.Text(1);
    }
}

}  // namespace

void Schema::Load(Database& database, long long dataVersion) {
    Connection& c = database.Conn();
    database.TableDefs().Clear();
    database.Relations().Clear();
    database.QueryDefs().Clear();

    const bool current = ReadFormat(c).current;
    KeepRowsIfUnchanged(c, dataVersion);
    SystemRows objectRows(c, ObjectsQuery(current));
    SystemRows fields(c, FieldsQuery(current));
    SystemRows indexes(c, IndexesQuery(current));
    SystemRows indexColumns(c, kIndexColumnsQuery);
    // The connection keeps all of these rows or none.
    std::vector<LoadedQuery> queries;
    if (objectRows.Kept()) {
        queries = PendingTables(database, objectRows.Kept(),
                                KeptDetails{fields.Kept(), indexes.Kept(), indexColumns.Kept()});
    } else {
        LoadedObjects objects = ReadObjects(objectRows, database.weak_from_this());
        FillDetails(fields, indexes, indexColumns, objects);
        for (std::size_t i : NameOrder(objects))
            database.TableDefs().Insert(std::move(objects.tables[i].second));
        queries = std::move(objects.queries);
    }
    ReadRelations(c, database.Relations());
    ReadQueryTexts(c, queries);

    for (auto& q : queries) {
        auto query = std::make_shared<QueryDef>(std::move(q.name), std::move(q.sql));
        query->MarkStored();
        database.QueryDefs().Insert(std::move(query));
    }
}

}  // namespace actualiz::engine::detail
