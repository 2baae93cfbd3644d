// Stored queries: their text checked, and their rows in MSysObjects and MSysQueries.

#include <cctype>

#include "engine/Names.h"
#include "engine/Schema.h"
#include "engine/SchemaRows.h"
#include "engine/StoredDefinitions.h"

namespace actualiz::engine::detail {

void Schema::CheckQueryText(std::string_view sql) {
    std::size_t i = 0;
    while (i < sql.size() && (std::isspace(static_cast<unsigned char>(sql[i])) || sql[i] == '('))
        ++i;
    bool parenthesised = false;
    for (std::size_t k = 0; k < i; ++k)
        if (sql[k] == '(') parenthesised = true;
    std::string verb;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
        verb += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    static const char* const verbs[] = {"SELECT", "TRANSFORM", "PARAMETERS", "INSERT", "UPDATE",
                                        "DELETE", "CREATE",    "ALTER",      "DROP",   "PROCEDURE"};
    bool ok = false;
    for (const char* v : verbs)
        if (verb == v) ok = true;
    if (parenthesised && verb != "SELECT") ok = false;
    if (!ok) throw MakeError(err::kInvalidSql);
}

void Schema::StoreQuery(Database& database, QueryDef& query) {
    Connection& c = database.Conn();
    c.CheckWritable(query.Name());
    CheckName(query.Name(), "consulta");
    CheckQueryText(query.SQL());
    if (query.Stored() || database.TableDefs().Contains(query.Name()) ||
        database.QueryDefs().Contains(query.Name()))
        throw MakeError(err::kObjectExists, query.Name());
    DefinitionChange tx(c, query.Name());
    if (StoredObjectExists(c, query.Name())) throw MakeError(err::kObjectExists, query.Name());
    long long id = InsertObject(c, query.Name(), kObjectQuery);
    Statement s(c, "INSERT INTO \"MSysQueries\" (\"ObjectId\", \"SQL\") VALUES (?, ?)",
                query.Name());
    s.Bind(1, id).Bind(2, query.SQL()).Run();
    tx.Commit();
    query.MarkStored();
}

void Schema::DeleteQuery(Database& database, const std::shared_ptr<QueryDef>& query) {
    Connection& c = database.Conn();
    c.CheckWritable(query->Name());
    DefinitionChange tx(c, query->Name());
    {
        Statement s(c,
                    "DELETE FROM \"MSysQueries\" WHERE \"ObjectId\" IN (SELECT \"Id\" FROM "
                    "\"MSysObjects\" WHERE \"Name\" = ? AND \"Type\" = ?)",
                    query->Name());
        s.Bind(1, query->Name()).Bind(2, static_cast<long long>(kObjectQuery)).Run();
    }
    {
        Statement s(c, "DELETE FROM \"MSysObjects\" WHERE \"Name\" = ? AND \"Type\" = ?",
                    query->Name());
        s.Bind(1, query->Name()).Bind(2, static_cast<long long>(kObjectQuery)).Run();
    }
    tx.Commit();
    query->MarkUnstored();
}

}  // namespace actualiz::engine::detail
