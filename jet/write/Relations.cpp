#include "jet/write/Relations.h"

#include <algorithm>
#include <optional>
#include <set>

#include "engine/EngineError.h"
#include "engine/Types.h"
#include "jet/format/IndexKey.h"
#include "jet/format/TableDef.h"
#include "jet/format/Text.h"
#include "jet/format/TextKey.h"
#include "jet/format/UsageMap.h"
#include "jet/mdb/Bytes.h"
#include "jet/read/Catalog.h"
#include "jet/read/RowReader.h"
#include "jet/write/Indexes.h"
#include "jet/write/Queries.h"
#include "jet/write/Rows.h"
#include "jet/write/TableDefWrite.h"
#include "jet/write/WholeChange.h"

namespace actualiz::engine::jet::write {

namespace {

using namespace format;

constexpr std::size_t kMaxNameLength = 64;
constexpr std::uint8_t kPrimarySide = 1;
constexpr std::uint8_t kForeignSide = 2;
constexpr int kCatalogRelation = 8;
constexpr int kCatalogContainer = 3;
constexpr int kCatalogDatabase = 2;
constexpr std::uint32_t kNotInherited = 0x000F00FE;
constexpr std::int32_t kLeftJoin = 0x01000000;
constexpr std::int32_t kRightJoin = 0x02000000;
constexpr std::int32_t kKnownAttributes = dbRelationUnique | dbRelationDontEnforce |
                                          dbRelationUpdateCascade | dbRelationDeleteCascade |
                                          kLeftJoin | kRightJoin;

EngineError Refused(const std::u16string& relation, const std::string& why,
                    int number = err::kInvalidOperation) {
    return EngineError(number, "No se escribe la relación «" + Utf8(relation) + "»: " + why + ".");
}

bool SameName(const std::u16string& a, const std::u16string& b) {
    return TextKey(a) == TextKey(b);
}

// A system table of the file by name; 3219 when the file has none.
std::uint32_t SystemTable(const std::vector<CatalogObject>& catalog, const char* name,
                          const std::u16string& relation) {
    if (auto page = LocalTablePage(catalog, name)) return *page;
    throw Refused(relation, std::string("el archivo no tiene ") + name);
}

const ColumnDef& Column(const TableDef& def, const char* name, const std::u16string& relation) {
    for (const ColumnDef& c : def.columns)
        if (c.name == name) return c;
    throw Refused(relation, std::string("falta la columna ") + name + " de una tabla del sistema");
}

std::int32_t Long(std::optional<std::span<const unsigned char>> value) {
    if (!value || value->size() != 4) return 0;
    return static_cast<std::int32_t>(U32(value->data()));
}

std::u16string Text(std::optional<std::span<const unsigned char>> value) {
    return value ? StoredText(*value) : std::u16string();
}

struct RelationRow {
    PageRow where;
    std::u16string table, foreignTable;
};

// The rows of MSysRelationships of that relation.
std::vector<RelationRow> RelationRows(const PageFile& file, std::uint32_t page,
                                      const std::u16string& name) {
    TableDef def = ReadTableDef(file, page);
    const ColumnDef& nameColumn = Column(def, "szRelationship", name);
    const ColumnDef& foreign = Column(def, "szObject", name);
    const ColumnDef& primary = Column(def, "szReferencedObject", name);
    std::vector<RelationRow> rows;
    for (const StoredRow& row : TableRows(file, def)) {
        RowValues values(file, def, row.bytes);
        if (SameName(Text(values.Value(nameColumn)), name))
            rows.push_back({row.where, Text(values.Value(primary)), Text(values.Value(foreign))});
    }
    return rows;
}

const ColumnDef& FieldOf(const TableDef& def, const std::u16string& name,
                         const std::u16string& relation) {
    for (const ColumnDef& c : def.columns)
        if (SameName(Utf16(c.name), name)) return c;
    (void)relation;
    throw MakeError(err::kItemNotFound, Utf8(name));
}

// The value of the column as the index functions compare it (text by its sort key), nullopt for
// Null.
std::optional<std::vector<unsigned char>> Comparable(
    const ColumnDef& column, std::optional<std::span<const unsigned char>> value) {
    if (!value) return std::nullopt;
    std::optional<std::vector<unsigned char>> key = ValueKey(column, *value);
    if (key) return key;
    return std::vector<unsigned char>(value->begin(), value->end());
}

// Refuses the relation when a foreign row whose fields are all not Null matches no primary row.
void CheckRows(const PageFile& file, const TableDef& primary, const TableDef& foreign,
               const std::vector<const ColumnDef*>& primaryColumns,
               const std::vector<const ColumnDef*>& foreignColumns, const NewRelation& relation) {
    std::set<std::vector<std::vector<unsigned char>>> keys;
    for (const StoredRow& row : TableRows(file, primary)) {
        RowValues values(file, primary, row.bytes);
        std::vector<std::vector<unsigned char>> key;
        bool complete = true;
        for (const ColumnDef* column : primaryColumns) {
            auto value = Comparable(*column, values.Value(*column));
            if (!value) complete = false;
            key.push_back(value.value_or(std::vector<unsigned char>{}));
        }
        if (complete) keys.insert(std::move(key));
    }
    std::vector<std::size_t> orphans;
    std::size_t place = 0;
    for (const StoredRow& row : TableRows(file, foreign)) {
        RowValues values(file, foreign, row.bytes);
        std::vector<std::vector<unsigned char>> key;
        bool complete = true;
        for (const ColumnDef* column : foreignColumns) {
            auto value = Comparable(*column, values.Value(*column));
            if (!value) complete = false;
            key.push_back(value.value_or(std::vector<unsigned char>{}));
        }
        if (complete && !keys.count(key)) orphans.push_back(place);
        ++place;
    }
    if (!orphans.empty())
        throw EngineError(
            err::kRelatedRecordRequired,
            "Los datos de la tabla «" + Utf8(relation.foreignTable) +
                "» infringen las reglas de integridad referencial: " + entries::RowsText(orphans) +
                (orphans.size() == 1 ? " no tiene" : " no tienen") +
                " su registro relacionado en la tabla «" + Utf8(relation.table) +
                "». No se crea la relación «" + Utf8(relation.name) + "».");
}

LogicalIndexDef RelationEntry(std::string name, std::uint32_t number, std::uint32_t realNumber,
                              std::uint8_t side, std::uint32_t otherPage, std::int32_t attributes) {
    LogicalIndexDef entry;
    entry.number = number;
    entry.realNumber = realNumber;
    entry.relatedTableType = side;
    entry.relatedTablePage = otherPage;
    entry.cascadeUpdates = (attributes & dbRelationUpdateCascade) != 0;
    entry.cascadeDeletes = (attributes & dbRelationDeleteCascade) != 0;
    entry.type = kForeignKeyIndex;
    entry.name = std::move(name);
    entry.raw.assign(kLogicalIndexSize, 0);
    entry.raw[0] = 0x59;
    entry.raw[1] = 0x06;
    return entry;
}

void SortByName(std::vector<LogicalIndexDef>& logical) {
    std::stable_sort(logical.begin(), logical.end(),
                     [](const LogicalIndexDef& a, const LogicalIndexDef& b) {
                         return TextKey(Utf16(a.name)) < TextKey(Utf16(b.name));
                     });
}

// The first of ".rB", ".rC"... ".rZ", ".ra"... the table gives no index.
std::string HiddenName(const TableDef& def) {
    for (char16_t c = u'B'; c <= u'z'; c = c == u'Z' ? u'a' : static_cast<char16_t>(c + 1)) {
        std::u16string name = std::u16string(u".r") + c;
        if (std::none_of(def.logicalIndexes.begin(), def.logicalIndexes.end(),
                         [&](const LogicalIndexDef& l) { return SameName(Utf16(l.name), name); }))
            return Utf8(name);
    }
    throw EngineError(err::kInvalidOperation, "La tabla tiene demasiadas relaciones.");
}

// The enforced relation's entries in both definitions.
void AddEntries(PageFile& file, const NewRelation& relation, std::uint32_t primaryPage,
                std::uint32_t foreignPage) {
    TableDef primary = ReadTableDef(file, primaryPage);
    TableDef foreign = ReadTableDef(file, foreignPage);
    std::vector<const ColumnDef*> primaryColumns, foreignColumns;
    std::set<std::uint16_t> seenPrimary, seenForeign;
    for (const auto& [p, f] : relation.fields) {
        primaryColumns.push_back(&FieldOf(primary, p, relation.name));
        foreignColumns.push_back(&FieldOf(foreign, f, relation.name));
        if (!seenPrimary.insert(primaryColumns.back()->number).second ||
            !seenForeign.insert(foreignColumns.back()->number).second)
            throw Refused(relation.name, "nombra dos veces un campo");
    }
    auto sameColumns = [](const RealIndexDef& real, const std::vector<const ColumnDef*>& columns) {
        if (real.keys.size() != columns.size()) return false;
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (real.keys[i].column != columns[i]->number) return false;
        return true;
    };
    std::optional<std::uint32_t> unique;
    for (std::size_t r = 0; r < primary.realIndexes.size(); ++r)
        if ((primary.realIndexes[r].flags & kIndexUnique) &&
            sameColumns(primary.realIndexes[r], primaryColumns)) {
            unique = static_cast<std::uint32_t>(r);
            break;
        }
    if (!unique)
        throw Refused(relation.name,
                      "la tabla principal «" + Utf8(relation.table) +
                          "» no tiene un índice único sobre sus campos, en su orden");
    CheckRows(file, primary, foreign, primaryColumns, foreignColumns, relation);

    // An index of the foreign table named like the relation is what a file's relation entry
    // reads as: over the foreign fields, ascending, it becomes the entry (a table has one entry
    // of a name); any other is in the way.
    auto named = std::find_if(
        foreign.logicalIndexes.begin(), foreign.logicalIndexes.end(),
        [&](const LogicalIndexDef& l) { return SameName(Utf16(l.name), relation.name); });
    std::optional<LogicalIndexDef> replaced;
    if (named != foreign.logicalIndexes.end()) {
        const bool fits = named->type == 0 && named->realNumber < foreign.realIndexes.size() &&
                          sameColumns(foreign.realIndexes[named->realNumber], foreignColumns) &&
                          std::all_of(foreign.realIndexes[named->realNumber].keys.begin(),
                                      foreign.realIndexes[named->realNumber].keys.end(),
                                      [](const IndexKeyColumn& k) { return k.ascending; });
        if (!fits)
            throw Refused(relation.name, "la tabla «" + Utf8(relation.foreignTable) +
                                             "» ya tiene un índice de ese nombre sobre otros "
                                             "campos o con otras propiedades");
        replaced = *named;
        foreign.logicalIndexes.erase(named);
    }

    // The foreign side: a physical index over its fields, ascending, shared when there is one.
    std::optional<std::uint32_t> shared;
    if (replaced) shared = replaced->realNumber;
    for (std::size_t r = 0; r < foreign.realIndexes.size() && !shared; ++r) {
        const RealIndexDef& real = foreign.realIndexes[r];
        if (sameColumns(real, foreignColumns) &&
            std::all_of(real.keys.begin(), real.keys.end(),
                        [](const IndexKeyColumn& k) { return k.ascending; })) {
            shared = static_cast<std::uint32_t>(r);
            break;
        }
    }
    std::uint32_t foreignReal = 0, foreignNumber = 0;
    if (replaced) {
        foreignReal = replaced->realNumber;
        foreignNumber = replaced->number;
    } else if (shared) {
        foreignReal = *shared;
        foreignNumber = entries::NextLogicalNumber(foreign);
    } else {
        std::vector<IndexKeyColumn> keys;
        for (const ColumnDef* column : foreignColumns) keys.push_back({column->number, true});
        foreignReal = entries::AddPhysicalIndex(file, foreign, keys, kIndexWritten);
        entries::ClaimLogicalNumber(file, foreign, foreignReal);
        foreignNumber = foreignReal;
    }
    // Claiming may have changed the primary table's entries on the disk copy: read it again.
    primary = ReadTableDef(file, primaryPage);
    const std::uint32_t primaryNumber = entries::NextLogicalNumber(primary);
    foreign.logicalIndexes.push_back(RelationEntry(Utf8(relation.name), foreignNumber, foreignReal,
                                                   kForeignSide, primaryPage, relation.attributes));
    foreign.logicalIndexes.back().relatedIndex = primaryNumber;
    SortByName(foreign.logicalIndexes);
    WriteTableDef(file, foreign);
    if (!shared) RebuildIndexes(file, foreignPage);

    primary.logicalIndexes.push_back(RelationEntry(HiddenName(primary), primaryNumber, *unique,
                                                   kPrimarySide, foreignPage, relation.attributes));
    primary.logicalIndexes.back().relatedIndex = foreignNumber;
    SortByName(primary.logicalIndexes);
    WriteTableDef(file, primary);
}

struct CatalogFacts {
    std::int32_t container = 0;
    std::vector<unsigned char> owner;
};

CatalogFacts Facts(const PageFile& file, const std::u16string& relation) {
    TableDef catalog = ReadTableDef(file, kCatalogPage);
    const ColumnDef& id = Column(catalog, "Id", relation);
    const ColumnDef& name = Column(catalog, "Name", relation);
    const ColumnDef& type = Column(catalog, "Type", relation);
    const ColumnDef& owner = Column(catalog, "Owner", relation);
    CatalogFacts facts;
    bool container = false, database = false;
    for (const StoredRow& row : TableRows(file, catalog)) {
        RowValues values(file, catalog, row.bytes);
        auto typeBytes = values.Value(type);
        if (!typeBytes || typeBytes->size() != 2) continue;
        const int kind = static_cast<std::int16_t>(U16(typeBytes->data()));
        const std::u16string text = Text(values.Value(name));
        const auto number = static_cast<std::uint32_t>(Long(values.Value(id)));
        if (kind == kCatalogContainer && text == u"Relationships") {
            facts.container = static_cast<std::int32_t>(number);
            container = true;
        }
        if (kind == kCatalogDatabase && text == u"MSysDb") {
            auto bytes = values.Value(owner);
            if (bytes) facts.owner.assign(bytes->begin(), bytes->end());
            database = bytes.has_value();
        }
        if (kind == kCatalogRelation && SameName(text, relation))
            throw Refused(relation, "ya hay una relación con ese nombre", err::kObjectExists);
    }
    if (!container) throw Refused(relation, "MSysObjects no tiene el contenedor «Relationships»");
    if (!database) throw Refused(relation, "MSysObjects no dice el dueño de la base (MSysDb)");
    return facts;
}

// The relation's permission rows, from the container's.
void AddPermissions(PageFile& file, std::uint32_t aces, std::int32_t container, std::int32_t object,
                    const std::u16string& relation) {
    TableDef def = ReadTableDef(file, aces);
    const ColumnDef& objectColumn = Column(def, "ObjectId", relation);
    const ColumnDef& sid = Column(def, "SID", relation);
    const ColumnDef& rights = Column(def, "ACM", relation);
    const ColumnDef& inheritable = Column(def, "FInheritable", relation);
    std::vector<std::pair<std::vector<unsigned char>, std::uint32_t>> entries;
    for (const StoredRow& row : TableRows(file, def)) {
        RowValues values(file, def, row.bytes);
        if (Long(values.Value(objectColumn)) != container) continue;
        auto who = values.Value(sid);
        auto inherited = values.Value(inheritable);
        if (!who) continue;
        const bool handedDown = inherited && !inherited->empty() && (*inherited)[0] != 0;
        const auto granted = static_cast<std::uint32_t>(Long(values.Value(rights)));
        if (handedDown && granted != kNotInherited)
            entries.emplace_back(std::vector<unsigned char>(who->begin(), who->end()), granted);
        else if (!handedDown)
            entries.emplace_back(std::vector<unsigned char>(who->begin(), who->end()),
                                 kNotInherited);
    }
    for (const auto& [who, granted] : entries)
        InsertRow(file, aces,
                  {{"ObjectId", LongBytes(object)},
                   {"SID", who},
                   {"ACM", LongBytes(static_cast<std::int32_t>(granted))},
                   {"FInheritable", {0}}});
}

// Deletes the rows of a table whose column holds the value.
void DeleteRowsWhere(PageFile& file, std::uint32_t page, const char* column, std::int32_t value,
                     const std::u16string& relation) {
    TableDef def = ReadTableDef(file, page);
    const ColumnDef& c = Column(def, column, relation);
    std::vector<PageRow> rows;
    for (const StoredRow& row : TableRows(file, def)) {
        RowValues values(file, def, row.bytes);
        if (Long(values.Value(c)) == value) rows.push_back(row.where);
    }
    for (PageRow where : rows) DeleteRow(file, page, where);
}

std::uint32_t UserTable(const std::vector<CatalogObject>& catalog, const std::u16string& name) {
    for (const CatalogObject& object : catalog)
        if (object.LocalTable() && SameName(Utf16(object.name), name))
            return object.DefinitionPage();
    throw MakeError(err::kItemNotFound, Utf8(name));
}

}  // namespace

void CreateRelation(PageFile& file, const NewRelation& relation) {
    RequireJet4(file);
    Whole(file, [&] {
        if (relation.name.empty() || relation.name.size() > kMaxNameLength)
            throw Refused(relation.name, "el nombre debe tener de 1 a 64 caracteres");
        if (relation.fields.empty()) throw MakeError(err::kNoRelationFields, Utf8(relation.name));
        if (relation.attributes & ~kKnownAttributes)
            throw Refused(relation.name, "atributos que no se escriben (" +
                                             std::to_string(relation.attributes) + ")");
        const bool enforced = (relation.attributes & dbRelationDontEnforce) == 0;
        if (!enforced &&
            (relation.attributes & (dbRelationUpdateCascade | dbRelationDeleteCascade)))
            throw Refused(relation.name, "una relación sin exigir integridad no tiene cascadas");
        const std::vector<CatalogObject> catalog = ReadCatalog(file);
        const std::uint32_t relations = SystemTable(catalog, "MSysRelationships", relation.name);
        const std::uint32_t aces = SystemTable(catalog, "MSysACEs", relation.name);
        const std::uint32_t primaryPage = UserTable(catalog, relation.table);
        const std::uint32_t foreignPage = UserTable(catalog, relation.foreignTable);
        if (!RelationRows(file, relations, relation.name).empty())
            throw Refused(relation.name, "ya hay una relación con ese nombre", err::kObjectExists);
        const CatalogFacts facts = Facts(file, relation.name);
        {
            TableDef primary = ReadTableDef(file, primaryPage);
            TableDef foreign = ReadTableDef(file, foreignPage);
            for (const auto& [p, f] : relation.fields)
                if (FieldOf(primary, p, relation.name).type !=
                    FieldOf(foreign, f, relation.name).type)
                    throw MakeError(err::kRelationTypeMismatch, Utf8(relation.name));
        }
        if (enforced) {
            if (primaryPage == foreignPage)
                throw Refused(relation.name,
                              "aún no se escribe una relación exigida de una tabla consigo misma");
            AddEntries(file, relation, primaryPage, foreignPage);
        }

        // The names as the tables spell them.
        std::u16string primaryName, foreignName;
        for (const CatalogObject& object : catalog) {
            if (object.LocalTable() && object.DefinitionPage() == primaryPage)
                primaryName = Utf16(object.name);
            if (object.LocalTable() && object.DefinitionPage() == foreignPage)
                foreignName = Utf16(object.name);
        }
        const TableDef primary = ReadTableDef(file, primaryPage);
        const TableDef foreign = ReadTableDef(file, foreignPage);
        const auto count = static_cast<std::int32_t>(relation.fields.size());
        for (std::int32_t i = 0; i < count; ++i) {
            const auto& [p, f] = relation.fields[static_cast<std::size_t>(i)];
            InsertRow(file, relations,
                      {{"szRelationship", TextBytes(relation.name)},
                       {"grbit", LongBytes(relation.attributes)},
                       {"ccolumn", LongBytes(count)},
                       {"icolumn", LongBytes(i)},
                       {"szObject", TextBytes(foreignName)},
                       {"szColumn", TextBytes(Utf16(FieldOf(foreign, f, relation.name).name))},
                       {"szReferencedObject", TextBytes(primaryName)},
                       {"szReferencedColumn",
                        TextBytes(Utf16(FieldOf(primary, p, relation.name).name))}});
        }
        const auto id = static_cast<std::int32_t>(NextObjectId(file));
        InsertRow(file, kCatalogPage,
                  {{"Id", LongBytes(id)},
                   {"ParentId", LongBytes(facts.container)},
                   {"Name", TextBytes(relation.name)},
                   {"Type", IntegerBytes(kCatalogRelation)},
                   {"DateCreate", DoubleBytes(relation.created)},
                   {"DateUpdate", DoubleBytes(relation.created)},
                   {"Owner", facts.owner},
                   {"Flags", LongBytes(0)}});
        AddPermissions(file, aces, facts.container, id, relation.name);
    });
}

void DeleteRelation(PageFile& file, const std::u16string& name) {
    RequireJet4(file);
    Whole(file, [&] {
        const std::vector<CatalogObject> catalog = ReadCatalog(file);
        const std::uint32_t relations = SystemTable(catalog, "MSysRelationships", name);
        const std::uint32_t aces = SystemTable(catalog, "MSysACEs", name);
        const std::vector<RelationRow> rows = RelationRows(file, relations, name);
        if (rows.empty()) throw MakeError(err::kItemNotFound, Utf8(name));
        for (const RelationRow& row : rows) DeleteRow(file, relations, row.where);
        for (const CatalogObject& object : catalog)
            if (object.type == kCatalogRelation && SameName(Utf16(object.name), name)) {
                DeleteRow(file, kCatalogPage, object.where);
                DeleteRowsWhere(file, aces, "ObjectId", object.id, name);
            }

        // The entries of an enforced relation: the foreign side's first, then its partner.
        std::optional<std::uint32_t> primaryPage, foreignPage;
        for (const CatalogObject& object : catalog) {
            if (!object.LocalTable()) continue;
            if (SameName(Utf16(object.name), rows.front().table))
                primaryPage = object.DefinitionPage();
            if (SameName(Utf16(object.name), rows.front().foreignTable))
                foreignPage = object.DefinitionPage();
        }
        if (!primaryPage || !foreignPage) return;
        TableDef foreign = ReadTableDef(file, *foreignPage);
        auto entry = std::find_if(foreign.logicalIndexes.begin(), foreign.logicalIndexes.end(),
                                  [&](const LogicalIndexDef& l) {
                                      return l.type == kForeignKeyIndex &&
                                             l.relatedTablePage == *primaryPage &&
                                             SameName(Utf16(l.name), name);
                                  });
        if (entry == foreign.logicalIndexes.end()) return;
        const std::uint32_t partner = entry->relatedIndex;
        entries::RemoveLogicalEntry(file, foreign, entry->number);
        WriteTableDef(file, foreign);
        TableDef primary = ReadTableDef(file, *primaryPage);
        auto other = std::find_if(primary.logicalIndexes.begin(), primary.logicalIndexes.end(),
                                  [&](const LogicalIndexDef& l) {
                                      return l.type == kForeignKeyIndex && l.number == partner &&
                                             l.relatedTablePage == *foreignPage;
                                  });
        if (other == primary.logicalIndexes.end()) return;
        entries::RemoveLogicalEntry(file, primary, other->number);
        WriteTableDef(file, primary);
    });
}

}  // namespace actualiz::engine::jet::write
