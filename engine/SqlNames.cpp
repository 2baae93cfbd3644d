#include "engine/SqlNames.h"

#include <memory>
#include <optional>
#include <set>

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
                MemberField(i);
            } else if (Qualifier(tokens_, i)) {
                t.out = QuoteIdentifier(QualifierName(t.text));
            } else {
                t.out = BareName(t, places[i].clause);
            }
        }
        TypeUndeclaredParameters();
        cx_.sources = std::move(sources_);
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
            sources_.push_back({table->Name(), {}, table, i});
        } else if (int qi = db.QueryDefs().Find(t.text); qi >= 0) {
            if (cx_.depth > 16) throw MakeError(err::kSyntaxError, t.text);
            auto q = db.QueryDefs()[qi];
            t.out = "(" + TranslateStoredQuery(q->SQL(), cx_) + ")";
            // Without an alias of its own the subquery answers to the query's name.
            const bool aliased =
                i + 1 < tokens_.size() && (IsWord(tokens_[i + 1], "AS") || IsName(tokens_[i + 1]));
            if (!aliased) t.out += " AS " + QuoteIdentifier(q->Name());
            sources_.push_back({q->Name(), {}, nullptr, i});
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

    // A token that names a field of a source: its SQLite text and what the later phases learn.
    void SetField(Token& t, const std::string& field, const Source* s) {
        t.out = QuoteIdentifier(field);
        t.field = field;
        t.source = s ? static_cast<int>(s - sources_.data()) : -1;
    }

    std::string QualifierName(const std::string& written) const {
        const Source* s = FindSource(written);
        if (s && !s->alias.empty() && SameName(s->alias, written)) return s->alias;
        if (s) return s->name;
        Database& db = cx_.database;
        if (int ti = db.TableDefs().Find(written); ti >= 0) return db.TableDefs()[ti]->Name();
        return written;
    }

    // "q.field": the field as its table spells it. A field of a stored query or of a table the
    // statement does not read stays as written.
    void MemberField(std::size_t i) {
        Token& t = tokens_[i];
        const Source* s = i >= 2 ? FindSource(tokens_[i - 2].text) : nullptr;
        std::shared_ptr<TableDef> table = s ? s->table : nullptr;
        if (!s && i >= 2) {
            Database& db = cx_.database;
            if (int ti = db.TableDefs().Find(tokens_[i - 2].text); ti >= 0)
                table = db.TableDefs()[ti];
        }
        int fi = table ? table->Fields().Find(t.text) : -1;
        SetField(t, fi >= 0 ? table->Fields()[fi]->Name() : t.text, s);
    }

    // The field of a table the statement reads, and that table's source.
    std::optional<std::pair<std::string, const Source*>> FieldOfSources(
        const std::string& written) const {
        for (const auto& s : sources_) {
            if (!s.table) continue;
            int fi = s.table->Fields().Find(written);
            if (fi >= 0) return std::make_pair(s.table->Fields()[fi]->Name(), &s);
        }
        return std::nullopt;
    }

    // ---------------------------------------------------------------------------------------
    // A value given for an undeclared parameter is text; compared with a date or a number field
    // the classic engine reads it as a date or a number ("Fecha Between [Forms]![F]![Desde]
    // And [Forms]![F]![Hasta]"), so it is bound with that type, as if it had been declared.

    std::ptrdiff_t Prev(std::ptrdiff_t i) const {
        do --i;
        while (i >= 0 && tokens_[static_cast<std::size_t>(i)].dropped);
        return i;
    }
    std::ptrdiff_t Next(std::ptrdiff_t i) const {
        const auto n = static_cast<std::ptrdiff_t>(tokens_.size());
        if (i < 0) return -1;
        do ++i;
        while (i < n && tokens_[static_cast<std::size_t>(i)].dropped);
        return i < n ? i : -1;
    }
    const Token* At(std::ptrdiff_t i) const {
        return i >= 0 && i < static_cast<std::ptrdiff_t>(tokens_.size())
                   ? &tokens_[static_cast<std::size_t>(i)]
                   : nullptr;
    }
    bool SymbolAt(std::ptrdiff_t i, std::string_view symbol) const {
        return At(i) && IsSymbol(*At(i), symbol);
    }
    bool WordAt(std::ptrdiff_t i, std::string_view upper) const {
        return At(i) && IsWord(*At(i), upper);
    }
    static bool Comparison(const Token* t) {
        static const std::set<std::string> ops = {"=", "<>", "<", ">", "<=", ">=", "!="};
        return t && t->kind == Kind::Symbol && ops.count(t->text) > 0;
    }
    // A function's name before its argument list (not AND, NOT, IN ... before a parenthesis).
    bool CallAt(std::ptrdiff_t i) const {
        static const std::set<std::string> calls = {"COUNT", "SUM", "AVG", "MIN", "MAX", "CAST"};
        const Token* t = At(i);
        return t && t->kind == Kind::Word && SymbolAt(Next(i), "(") &&
               (IsName(*t) || calls.count(Upper(t->text)) > 0);
    }
    // The parenthesis that closes or opens the one at i (same depth), searching in step's way.
    std::ptrdiff_t Matching(std::ptrdiff_t i, int step) const {
        const int depth = tokens_[static_cast<std::size_t>(i)].depth;
        const char* other = step > 0 ? ")" : "(";
        for (std::ptrdiff_t k = i + step; At(k); k += step)
            if (SymbolAt(k, other) && At(k)->depth == depth) return k;
        return -1;
    }
    // The first token of the operand that ends at end: a parenthesised expression (with the
    // function it is the argument list of), a qualified name or one token.
    std::ptrdiff_t OperandStart(std::ptrdiff_t end) const {
        if (SymbolAt(end, ")")) {
            std::ptrdiff_t open = Matching(end, -1);
            return open >= 0 && CallAt(Prev(open)) ? Prev(open) : open;
        }
        std::ptrdiff_t dot = Prev(end);
        if (SymbolAt(dot, ".") || SymbolAt(dot, "!")) return Prev(dot);
        return end;
    }
    std::ptrdiff_t OperandEnd(std::ptrdiff_t start) const {
        if (SymbolAt(start, "(")) return Matching(start, 1);
        if (CallAt(start)) return Matching(Next(start), 1);
        std::ptrdiff_t dot = Next(start);
        if (SymbolAt(dot, ".") || SymbolAt(dot, "!")) return Next(dot);
        return start;
    }
    // The type of the table field that the operand from a to b is, in parentheses or not; -1
    // for anything else.
    short FieldType(std::ptrdiff_t a, std::ptrdiff_t b) const {
        if (a < 0 || b < a) return -1;
        while (SymbolAt(a, "(") && Matching(a, 1) == b) a = Next(a), b = Prev(b);
        const Token* last = At(b);
        if (!last || last->source < 0 || (a != b && a != Prev(Prev(b)))) return -1;
        const Source& s = sources_[static_cast<std::size_t>(last->source)];
        int fi = s.table ? s.table->Fields().Find(last->field) : -1;
        return fi >= 0 ? s.table->Fields()[fi]->Type() : -1;
    }
    // The type of the field that the placeholder at i is compared with: "field op ?",
    // "? op field", "field [NOT] BETWEEN ? AND ?"; -1 when there is none.
    short ComparedFieldType(std::ptrdiff_t i) const {
        std::ptrdiff_t a = i, b = i;
        // (((?))): widened through parentheses that are no function's argument list.
        while (SymbolAt(Prev(a), "(") && SymbolAt(Next(b), ")") &&
               Matching(Prev(a), 1) == Next(b) && !CallAt(Prev(Prev(a))))
            a = Prev(a), b = Next(b);
        std::ptrdiff_t left = Prev(a);
        auto beforeBetween = [&](std::ptrdiff_t between) {
            std::ptrdiff_t end = Prev(between);
            if (WordAt(end, "NOT")) end = Prev(end);
            return FieldType(OperandStart(end), end);
        };
        if (Comparison(At(left))) return FieldType(OperandStart(Prev(left)), Prev(left));
        if (WordAt(left, "BETWEEN")) return beforeBetween(left);
        if (WordAt(left, "AND")) {
            std::ptrdiff_t low = OperandStart(Prev(left));
            if (WordAt(Prev(low), "BETWEEN")) return beforeBetween(Prev(low));
        }
        std::ptrdiff_t right = Next(b);
        if (Comparison(At(right))) {
            std::ptrdiff_t start = Next(right);
            return FieldType(start, OperandEnd(start));
        }
        return -1;
    }

    void TypeUndeclaredParameters() {
        for (std::size_t i = 0; i < tokens_.size(); ++i) {
            const Token& t = tokens_[i];
            if (t.dropped || t.out.size() < 2 || t.out.front() != '?' || t.kind == Kind::String)
                continue;
            const std::size_t k = std::stoul(t.out.substr(1)) - 1;
            if (k >= cx_.bound.size() || !cx_.bound[k].type.empty()) continue;
            switch (ComparedFieldType(static_cast<std::ptrdiff_t>(i))) {
                case dbDate:
                    cx_.bound[k].type = "DateTime";
                    break;
                case dbByte:
                case dbInteger:
                case dbLong:
                case dbCurrency:
                case dbSingle:
                case dbDouble:
                case dbDecimal:
                    cx_.bound[k].type = "IEEEDouble";
                    break;
                default:
                    break;
            }
        }
    }

    std::string Placeholder(const std::string& name, const std::string& type) {
        for (std::size_t k = 0; k < cx_.bound.size(); ++k)
            if (SameName(cx_.bound[k].name, name)) return "?" + std::to_string(k + 1);
        cx_.bound.push_back({name, type});
        return "?" + std::to_string(cx_.bound.size());
    }

    std::string BareName(Token& t, Clause clause) {
        if (auto field = FieldOfSources(t.text)) {
            SetField(t, field->first, field->second);
            return t.out;
        }
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
