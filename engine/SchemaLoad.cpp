// Reading every definition of the file into a database's collections, one system table at a
// time: each is read with one statement, in the order of its key, and joined to its owners by Id.

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "engine/FieldRules.h"
#include "engine/Schema.h"

namespace actualiz::engine::detail {

namespace {

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
            if (query == sql) rows_ = &rows;
        if (rows_) return;
        std::vector<SharedFile::StoredRow> rows;
        Statement s(c, sql);
        while (s.Step()) {
            SharedFile::StoredRow& row = rows.emplace_back();
            for (int i = 0; i < s.ColumnCount(); ++i) row.emplace_back(s.Int(i), s.Text(i));
        }
        rows_ = &known.byQuery.emplace_back(sql, std::move(rows)).second;
    }
    bool Step() { return live_ ? live_->Step() : ++at_ < rows_->size(); }
    long long Int(int i) const { return live_ ? live_->Int(i) : Cell(i).first; }
    std::string Text(int i) const { return live_ ? live_->Text(i) : Cell(i).second; }

  private:
    const std::pair<long long, std::string>& Cell(int i) const {
        return (*rows_)[at_][static_cast<std::size_t>(i)];
    }

    std::optional<Statement> live_;
    const std::vector<SharedFile::StoredRow>* rows_ = nullptr;
    std::size_t at_ = static_cast<std::size_t>(-1);
};

// Forgets the rows read before unless the file is as it was then; from the second reading of
// its definitions on, a connection keeps the rows it reads.
void KeepRowsIfUnchanged(Connection& c) {
    Statement s(c, "PRAGMA data_version");
    const long long version = s.Step() ? s.Int(0) : -1;
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
LoadedObjects ReadObjects(Connection& c, bool current, const std::weak_ptr<Database>& database) {
    LoadedObjects objects;
    SystemRows s(c, std::string("SELECT \"Id\", \"Name\", \"Type\", ") +
                        (current ? "\"ValidationRule\", \"ValidationText\"" : "'', ''") +
                        " FROM \"MSysObjects\" ORDER BY \"Id\"");
    while (s.Step()) {
        if (s.Int(2) == kObjectTable) {
            auto t = std::make_shared<TableDef>(s.Text(1));
            t->SetValidationRule(s.Text(3));
            t->SetValidationText(s.Text(4));
            t->MarkStored(database);
            objects.tables.emplace_back(s.Int(0), std::move(t));
        } else if (s.Int(2) == kObjectQuery) {
            objects.queries.push_back({s.Int(0), s.Text(1), std::string()});
        }
    }
    return objects;
}

void ReadFields(Connection& c, bool current, const LoadedObjects& objects) {
    SystemRows s(c, std::string("SELECT \"ObjectId\", \"Name\", \"Type\", \"Size\", "
                                "\"AllowZeroLength\", \"Required\", \"Position\", ") +
                        (current ? "\"Attributes\", \"DefaultValue\", \"ValidationRule\", "
                                   "\"ValidationText\""
                                 : "0, '', '', ''") +
                        " FROM \"MSysColumns\" ORDER BY \"ObjectId\", \"Position\"");
    long long tableId = 0;
    std::shared_ptr<TableDef> t;
    while (s.Step()) {
        if (!t || tableId != s.Int(0)) {
            tableId = s.Int(0);
            t = objects.TableById(tableId);
        }
        if (!t) continue;
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
        f->AttachToTable(t);
        t->Fields().Insert(std::move(f));
    }
}

void ReadIndexes(Connection& c, bool current, const LoadedObjects& objects) {
    std::vector<std::pair<long long, std::shared_ptr<Index>>> indexes;
    SystemRows s(c, std::string("SELECT \"Id\", \"ObjectId\", \"Name\", \"SqlName\", "
                                "\"IsUnique\", \"IsPrimary\", \"IgnoreNulls\", ") +
                        (current ? "\"IsRequired\"" : "0") +
                        " FROM \"MSysIndexes\" ORDER BY \"Id\"");
    while (s.Step()) {
        auto t = objects.TableById(s.Int(1));
        if (!t) continue;
        auto ix = std::make_shared<Index>(s.Text(2));
        ix->SetUnique(s.Int(4) != 0);
        ix->SetPrimary(s.Int(5) != 0);
        ix->SetIgnoreNulls(s.Int(6) != 0);
        ix->SetRequired(s.Int(7) != 0);
        ix->MarkStored();
        t->Indexes().Insert(ix);
        indexes.emplace_back(s.Int(0), std::move(ix));
    }
    SystemRows cols(c,
                    "SELECT \"IndexId\", \"Name\", \"Descending\" FROM \"MSysIndexColumns\" "
                    "ORDER BY \"IndexId\", \"Position\"");
    std::size_t at = 0;
    while (cols.Step()) {
        long long id = cols.Int(0);
        while (at < indexes.size() && indexes[at].first < id) ++at;
        if (at >= indexes.size() || indexes[at].first != id) continue;
        auto f = std::make_shared<Field>(
            FieldDefinition{.name = cols.Text(1),
                            .attributes = cols.Int(2) != 0 ? static_cast<long>(dbDescending) : 0L},
            Field::Role::IndexField);
        f->Freeze();
        indexes[at].second->Fields().Insert(std::move(f));
    }
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

void Schema::Load(Database& database) {
    Connection& c = database.Conn();
    database.TableDefs().Clear();
    database.Relations().Clear();
    database.QueryDefs().Clear();

    const bool current = ReadFormat(c).current;
    KeepRowsIfUnchanged(c);
    LoadedObjects objects = ReadObjects(c, current, database.weak_from_this());
    ReadFields(c, current, objects);
    ReadIndexes(c, current, objects);
    ReadRelations(c, database.Relations());
    ReadQueryTexts(c, objects.queries);

    for (auto& [id, t] : objects.tables) database.TableDefs().Insert(std::move(t));
    for (auto& q : objects.queries) {
        auto query = std::make_shared<QueryDef>(std::move(q.name), std::move(q.sql));
        query->MarkStored();
        database.QueryDefs().Insert(std::move(query));
    }
}

}  // namespace actualiz::engine::detail
