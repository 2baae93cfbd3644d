#include "jet/mdb/DocumentBuilder.h"

#include <algorithm>

#include "engine/Names.h"
#include "jet/JetQuerySql.h"
#include "jet/JetText.h"

namespace actualiz::engine::jet {

using nlohmann::json;

namespace {

// A relation as MSysRelationships holds it: one row per pair of fields.
struct StoredRelation {
    struct Pair {
        long long position;
        std::string name, foreignName;
    };
    std::string name, table, foreignTable;
    long long attributes = 0;
    std::vector<Pair> pairs;  // in the order of their positions
};

std::vector<StoredRelation> StoredRelations(const JetFile& file) {
    std::vector<StoredRelation> relations;
    for (const auto& row : SystemRows(file, "MSysRelationships")) {
        std::string name = TextOf(row, "szRelationship");
        auto it = std::find_if(relations.begin(), relations.end(),
                               [&](const StoredRelation& r) { return r.name == name; });
        if (it == relations.end()) {
            StoredRelation r;
            r.name = name;
            r.table = TextOf(row, "szReferencedObject");
            r.foreignTable = TextOf(row, "szObject");
            r.attributes = NumberOf(row, "grbit").value_or(0);
            relations.push_back(std::move(r));
            it = relations.end() - 1;
        }
        it->pairs.push_back({NumberOf(row, "icolumn").value_or(0),
                             TextOf(row, "szReferencedColumn"), TextOf(row, "szColumn")});
    }
    for (auto& r : relations)
        std::stable_sort(r.pairs.begin(), r.pairs.end(),
                         [](const auto& a, const auto& b) { return a.position < b.position; });
    return relations;
}

// The MSysQueries rows of every query, by the query's object id. Each row's Order is its place
// among the query's rows of its kind (a big-endian sequence number); the storage order is only
// the order the rows were written in.
std::map<long long, std::vector<QueryRow>> StoredQueryRows(const JetFile& file) {
    std::map<long long, std::vector<std::pair<std::vector<unsigned char>, QueryRow>>> ordered;
    for (const auto& row : SystemRows(file, "MSysQueries")) {
        auto id = NumberOf(row, "ObjectId");
        if (!id) continue;
        std::vector<unsigned char> order;
        if (auto it = row.find("Order"); it != row.end())
            if (auto* b = std::get_if<std::vector<unsigned char>>(&it->second)) order = *b;
        QueryRow q;
        q.attribute = static_cast<int>(NumberOf(row, "Attribute").value_or(-1));
        q.name1 = TextOf(row, "Name1");
        q.name2 = TextOf(row, "Name2");
        // Texts kept in long-value pages end with a terminating NUL and leftovers after it.
        q.expression = TextOf(row, "Expression");
        if (auto nul = q.expression.find('\0'); nul != std::string::npos) q.expression.erase(nul);
        if (auto flag = NumberOf(row, "Flag")) q.flag = static_cast<long>(*flag);
        ordered[*id].emplace_back(std::move(order), std::move(q));
    }
    std::map<long long, std::vector<QueryRow>> rowsById;
    for (auto& [id, rows] : ordered) {
        std::stable_sort(rows.begin(), rows.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& r : rows) rowsById[id].push_back(std::move(r.second));
    }
    return rowsById;
}

}  // namespace

JetContents DocumentBuilder::Build() {
    JetContents contents;
    contents.jetVersion = file_.Jet3() ? 3 : 4;
    json& doc = contents.document;
    doc["tables"] = json::array();
    doc["relations"] = json::array();
    doc["queries"] = json::array();

    objects_ = SystemRows(file_, "MSysObjects");
    NoteLinkedTables();

    GPtrArray* catalog = file_.mdb()->catalog;
    for (unsigned i = 0; catalog && i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry)) continue;
        if (IsSystemName(entry->object_name)) continue;
        json table = ReadTable(entry);
        if (!table.is_null()) doc["tables"].push_back(std::move(table));
    }
    doc["relations"] = ReadRelations();
    doc["queries"] = ReadQueries();
    contents.notCarried = std::move(notes_);
    return contents;
}

void DocumentBuilder::NoteLinkedTables() {
    for (const auto& row : objects_) {
        auto type = NumberOf(row, "Type");
        if (!type || (*type != 4 && *type != 6)) continue;
        std::string name = TextOf(row, "Name");
        std::string source = TextOf(row, "Database");
        if (source.empty()) source = TextOf(row, "Connect");
        Note("Tabla vinculada " + Quoted(name) + (source.empty() ? "" : " (" + source + ")") +
             ": no se traslada; solo se leen las tablas propias del archivo");
    }
}

json DocumentBuilder::ReadIndexes(const std::string& tableName, const TableDefinition& def) {
    json indexes = json::array();
    const ImportedTable& imported = imported_[tableName];
    for (const auto& logical : def.logicalIndexes) {
        // The indexes kept on the primary side of a relation are hidden ones (".rB" ...).
        if (!logical.name.empty() && logical.name.front() == '.') continue;
        std::string what = "Índice " + Quoted(logical.name) + " de " + Quoted(tableName);
        if (logical.realNumber < 0 ||
            static_cast<std::size_t>(logical.realNumber) >= def.realIndexes.size()) {
            Note(what + ": su definición está dañada y no se traslada");
            continue;
        }
        const RealIndexDef& real = def.realIndexes[static_cast<std::size_t>(logical.realNumber)];
        json fields = json::array();
        bool complete = !real.keys.empty();
        for (const auto& [number, descending] : real.keys) {
            auto it = imported.fieldByNumber.find(number);
            if (it == imported.fieldByNumber.end()) {
                complete = false;
                break;
            }
            if (descending)
                fields.push_back({{"name", it->second}, {"descending", true}});
            else
                fields.push_back(it->second);
        }
        if (!complete) {
            Note(what + ": alguno de sus campos no se traslada, y el índice tampoco");
            continue;
        }
        bool primary = logical.type == 1;
        json index = {{"name", logical.name},
                      {"fields", fields},
                      {"unique", primary || (real.flags & 0x01) != 0},
                      {"primary", primary}};
        if (real.flags & 0x02) index["ignoreNulls"] = true;
        if (real.flags & 0x08) index["required"] = true;
        indexes.push_back(std::move(index));
    }
    return indexes;
}

json DocumentBuilder::ReadRelations() {
    json out = json::array();
    for (const auto& r : StoredRelations(file_)) {
        if (IsSystemName(r.name) || IsSystemName(r.table) || IsSystemName(r.foreignTable)) continue;
        std::string what = "Relación " + Quoted(r.name);
        auto table = imported_.find(r.table);
        auto foreign = imported_.find(r.foreignTable);
        if (table == imported_.end() || foreign == imported_.end()) {
            Note(what + ": une tablas que no se trasladan (" + Quoted(r.table) + ", " +
                 Quoted(r.foreignTable) + ") y no se traslada");
            continue;
        }
        json fields = json::array();
        bool complete = !r.pairs.empty();
        for (const auto& p : r.pairs) {
            if (!table->second.typeByName.count(p.name) ||
                !foreign->second.typeByName.count(p.foreignName))
                complete = false;
            fields.push_back({{"name", p.name}, {"foreignName", p.foreignName}});
        }
        if (!complete) {
            Note(what + ": alguno de sus campos no se traslada, y la relación tampoco");
            continue;
        }
        out.push_back({{"name", r.name},
                       {"table", r.table},
                       {"foreignTable", r.foreignTable},
                       {"attributes", r.attributes},
                       {"fields", fields}});
    }
    return out;
}

json DocumentBuilder::ReadQueries() {
    const std::map<long long, std::vector<QueryRow>> rowsById = StoredQueryRows(file_);
    json out = json::array();
    int hidden = 0;
    for (const auto& object : objects_) {
        if (NumberOf(object, "Type").value_or(0) != 5) continue;
        std::string name = TextOf(object, "Name");
        if (IsSystemName(name)) continue;
        if (!name.empty() && name.front() == '~' && !options_.includeHiddenQueries) {
            ++hidden;
            continue;
        }
        auto id = NumberOf(object, "Id");
        auto rows = id ? rowsById.find(*id) : rowsById.end();
        std::string what = "Consulta " + Quoted(name);
        if (rows == rowsById.end()) {
            Note(what + ": no tiene filas en MSysQueries y no se traslada");
            continue;
        }
        RebuiltQuery rebuilt = RebuildQuerySql(rows->second, file_.Jet3());
        for (const auto& n : rebuilt.notCarried) Note(what + ": " + n);
        if (rebuilt.sql.empty()) {
            Note(what + ": no se puede escribir su SQL y no se traslada");
            continue;
        }
        out.push_back({{"name", name}, {"sql", rebuilt.sql}});
    }
    if (hidden > 0)
        Note("Se omiten " + std::to_string(hidden) +
             " consultas ocultas (nombres que empiezan por «~», como las de formularios y "
             "controles)");
    return out;
}

}  // namespace actualiz::engine::jet
