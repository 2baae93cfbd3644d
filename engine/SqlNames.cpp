#include "engine/SqlNames.h"

#include <memory>
#include <optional>

#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/Names.h"

namespace actualiz::engine::detail::sql {

namespace {

// Where a token stands: the clause of its parenthesis level, and within FROM whether it names a
// source (after FROM, JOIN, a comma or an opening parenthesis) or an alias.
enum class Clause { Other, Select, From, On };

struct Place {
    Clause clause = Clause::Other;
    bool source = false;
    bool alias = false;
};

Clause NextClause(const Token& t, Clause c) {
    if (t.kind != Kind::Word) return c;
    const std::string u = Upper(t.text);
    if (u == "SELECT") return Clause::Select;
    if (u == "FROM") return Clause::From;
    if (u == "WHERE" || u == "GROUP" || u == "HAVING" || u == "ORDER" || u == "UNION")
        return Clause::Other;
    if (u == "ON" && c == Clause::From) return Clause::On;
    if ((u == "JOIN" || u == "INNER" || u == "LEFT" || u == "RIGHT") && c == Clause::On)
        return Clause::From;
    return c;
}

bool OpensSource(const Token& prev) {
    return IsWord(prev, "FROM") || IsWord(prev, "JOIN") || IsSymbol(prev, ",") ||
           IsSymbol(prev, "(");
}

std::vector<Place> Places(const std::vector<Token>& tokens) {
    std::vector<Place> places(tokens.size());
    std::vector<Clause> levels{Clause::Other};
    bool sourceEnded = false;  // the previous token ended a source in FROM
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        const Token* prev = i > 0 ? &tokens[i - 1] : nullptr;
        Place& p = places[i];
        p.clause = levels.back();
        bool endsSource = false;
        if (IsSymbol(t, "(")) {
            bool nested = p.clause == Clause::From && prev && OpensSource(*prev);
            levels.push_back(nested ? Clause::From : Clause::Other);
        } else if (IsSymbol(t, ")")) {
            if (levels.size() > 1) levels.pop_back();
            endsSource = levels.back() == Clause::From;
        } else if (IsName(t) && p.clause == Clause::From && prev) {
            p.source = OpensSource(*prev);
            p.alias = !p.source && (IsWord(*prev, "AS") || sourceEnded);
            endsSource = p.source;
        } else if (IsName(t) && p.clause == Clause::Select && prev && IsWord(*prev, "AS")) {
            p.alias = true;
        } else {
            levels.back() = NextClause(t, levels.back());
        }
        sourceEnded = endsSource;
    }
    return places;
}

struct Source {
    std::string name;   // as stored
    std::string alias;  // as written, or empty
    std::shared_ptr<TableDef> table;
};

bool Member(const std::vector<Token>& tokens, std::size_t i) {
    return i > 0 && (IsSymbol(tokens[i - 1], ".") || IsSymbol(tokens[i - 1], "!"));
}
bool Qualifier(const std::vector<Token>& tokens, std::size_t i) {
    return i + 1 < tokens.size() && (IsSymbol(tokens[i + 1], ".") || IsSymbol(tokens[i + 1], "!"));
}
bool Function(const std::vector<Token>& tokens, std::size_t i) {
    return tokens[i].kind == Kind::Word && i + 1 < tokens.size() && IsSymbol(tokens[i + 1], "(");
}

class NameResolver {
  public:
    NameResolver(std::vector<Token>& tokens, Context& cx) : tokens_(tokens), cx_(cx) {}

    void Run() {
        const std::vector<Place> places = Places(tokens_);
        for (std::size_t i = 0; i < tokens_.size(); ++i) {
            if (places[i].source) ResolveSource(i);
            if (places[i].alias && !sources_.empty() && places[i].clause == Clause::From)
                sources_.back().alias = tokens_[i].text;
        }
        for (std::size_t i = 0; i < tokens_.size(); ++i) {
            Token& t = tokens_[i];
            if (t.dropped || !t.out.empty() || !IsNameOrConstant(t) || Function(tokens_, i))
                continue;
            if (places[i].alias) {
                t.out = QuoteIdentifier(t.text);
            } else if (!Member(tokens_, i) && Qualifier(tokens_, i) && ChainParameter(i)) {
                continue;
            } else if (Member(tokens_, i)) {
                t.out = QuoteIdentifier(MemberField(i));
            } else if (Qualifier(tokens_, i)) {
                t.out = QuoteIdentifier(QualifierName(t.text));
            } else {
                t.out = BareName(t, places[i].clause);
            }
        }
    }

  private:
    // [Forms]![Pedidos]![Fecha]: a chain whose first name is no source, table or query is one
    // parameter when it is declared or given; its first token becomes the placeholder.
    bool ChainParameter(std::size_t i) {
        Database& db = cx_.database;
        const std::string& first = tokens_[i].text;
        if (FindSource(first) || db.TableDefs().Find(first) >= 0 || db.QueryDefs().Find(first) >= 0)
            return false;
        std::string chain = first;
        std::size_t end = i + 1;
        while (end + 1 < tokens_.size() && Qualifier(tokens_, end - 1) &&
               IsName(tokens_[end + 1])) {
            chain += tokens_[end].text + tokens_[end + 1].text;
            end += 2;
        }
        std::string placeholder;
        for (const auto& d : cx_.declared)
            if (SameName(d.name, chain)) placeholder = Placeholder(d.name, d.type);
        for (const auto& g : cx_.given)
            if (placeholder.empty() && SameName(g.first, chain))
                placeholder = Placeholder(g.first, {});
        if (placeholder.empty()) return false;
        tokens_[i].out = placeholder;
        for (std::size_t k = i + 1; k < end; ++k) tokens_[k].dropped = true;
        return true;
    }

    static bool IsNameOrConstant(const Token& t) { return IsName(t) || IsWord(t, "ON"); }

    void ResolveSource(std::size_t i) {
        Token& t = tokens_[i];
        Database& db = cx_.database;
        if (int ti = db.TableDefs().Find(t.text); ti >= 0) {
            auto table = db.TableDefs()[ti];
            t.out = QuoteIdentifier(table->Name());
            sources_.push_back({table->Name(), {}, table});
        } else if (int qi = db.QueryDefs().Find(t.text); qi >= 0) {
            if (cx_.depth > 16) throw MakeError(err::kSyntaxError, t.text);
            auto q = db.QueryDefs()[qi];
            t.out = "(" + TranslateStoredQuery(q->SQL(), cx_) + ")";
            // Without an alias of its own the subquery answers to the query's name.
            const bool aliased =
                i + 1 < tokens_.size() && (IsWord(tokens_[i + 1], "AS") || IsName(tokens_[i + 1]));
            if (!aliased) t.out += " AS " + QuoteIdentifier(q->Name());
            sources_.push_back({q->Name(), {}, nullptr});
        } else {
            t.out = QuoteIdentifier(t.text);  // SQLite reports the unknown table (3078)
        }
    }

    const Source* FindSource(const std::string& qualifier) const {
        for (const auto& s : sources_)
            if (!s.alias.empty() && SameName(s.alias, qualifier)) return &s;
        for (const auto& s : sources_)
            if (SameName(s.name, qualifier)) return &s;
        return nullptr;
    }

    std::string QualifierName(const std::string& written) const {
        const Source* s = FindSource(written);
        if (s && !s->alias.empty() && SameName(s->alias, written)) return s->alias;
        if (s) return s->name;
        Database& db = cx_.database;
        if (int ti = db.TableDefs().Find(written); ti >= 0) return db.TableDefs()[ti]->Name();
        return written;
    }

    std::string MemberField(std::size_t i) const {
        const std::string& field = tokens_[i].text;
        if (i < 2) return field;
        const Source* s = FindSource(tokens_[i - 2].text);
        std::shared_ptr<TableDef> table = s ? s->table : nullptr;
        if (!s) {
            Database& db = cx_.database;
            if (int ti = db.TableDefs().Find(tokens_[i - 2].text); ti >= 0)
                table = db.TableDefs()[ti];
        }
        if (table) {
            int fi = table->Fields().Find(field);
            if (fi >= 0) return table->Fields()[fi]->Name();
        }
        return field;
    }

    std::optional<std::string> FieldOfSources(const std::string& written) const {
        for (const auto& s : sources_) {
            if (!s.table) continue;
            int fi = s.table->Fields().Find(written);
            if (fi >= 0) return s.table->Fields()[fi]->Name();
        }
        return std::nullopt;
    }

    std::string Placeholder(const std::string& name, const std::string& type) {
        for (std::size_t k = 0; k < cx_.bound.size(); ++k)
            if (SameName(cx_.bound[k].name, name)) return "?" + std::to_string(k + 1);
        cx_.bound.push_back({name, type});
        return "?" + std::to_string(cx_.bound.size());
    }

    std::string BareName(const Token& t, Clause clause) {
        if (auto field = FieldOfSources(t.text)) return QuoteIdentifier(*field);
        if (t.kind == Kind::Word) {
            const std::string u = Upper(t.text);
            if (u == "TRUE" || u == "YES" || (u == "ON" && clause != Clause::From)) return "-1";
            if (u == "FALSE" || u == "NO" || u == "OFF") return "0";
            if (u == "ON") return t.text;
        }
        for (const auto& d : cx_.declared)
            if (SameName(d.name, t.text)) return Placeholder(d.name, d.type);
        for (const auto& g : cx_.given)
            if (SameName(g.first, t.text)) return Placeholder(g.first, {});
        // Unknown here: SQLite matches it against the columns of stored queries and output
        // aliases, or reports it (3061).
        return QuoteIdentifier(t.text);
    }

    std::vector<Token>& tokens_;
    Context& cx_;
    std::vector<Source> sources_;
};

}  // namespace

void ResolveNames(std::vector<Token>& tokens, Context& cx) {
    NameResolver(tokens, cx).Run();
}

}  // namespace actualiz::engine::detail::sql
