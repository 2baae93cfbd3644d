#include "engine/SqlOutput.h"

#include <set>
#include <string>

#include "engine/Index.h"
#include "engine/Names.h"
#include "engine/TableDef.h"

namespace actualiz::engine::detail::sql {

namespace {

// For each token, the number of subqueries "(SELECT ..." around it.
std::vector<int> QueryLevels(const std::vector<Token>& tokens) {
    std::vector<int> levels(tokens.size(), 0);
    std::vector<bool> open;  // per parenthesis: does it open a subquery
    int level = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (IsSymbol(t, "(")) {
            levels[i] = level;
            const bool subquery = i + 1 < tokens.size() && IsWord(tokens[i + 1], "SELECT");
            open.push_back(subquery);
            if (subquery) ++level;
        } else if (IsSymbol(t, ")")) {
            if (!open.empty()) {
                if (open.back()) --level;
                open.pop_back();
            }
            levels[i] = level;
        } else {
            levels[i] = level;
        }
    }
    return levels;
}

// One output column as the statement writes it.
struct Item {
    std::size_t first = 0, last = 0;  // its tokens (written ones at both ends)
    bool aliased = false;
    bool star = false;      // "*" or "q.*"
    std::string qualifier;  // of "q.*" or "q.field", as written
    bool field = false;     // a field, bare or qualified
    std::string name;       // the field's name
    int source = -1;        // the field's source
};

bool IsAggregate(const Token& t) {
    static const std::set<std::string> names = {"COUNT", "SUM",   "AVG",    "MIN", "MAX", "FIRST",
                                                "LAST",  "STDEV", "STDEVP", "VAR", "VARP"};
    return t.kind == Kind::Word && names.count(Upper(t.text)) > 0;
}

class OutputShaper {
  public:
    OutputShaper(std::vector<Token>& tokens, const Context& cx)
        : tokens_(tokens), cx_(cx), levels_(QueryLevels(tokens)) {}

    // The statement itself, and every subquery: one in FROM is read by its columns' names,
    // and DISTINCTROW counts there as anywhere.
    void Run(bool statement) {
        if (statement) Query(0, tokens_.size(), 0);
        for (std::size_t i = 0; i + 1 < tokens_.size(); ++i) {
            if (!IsSymbol(tokens_[i], "(") || !IsWord(tokens_[i + 1], "SELECT")) continue;
            std::size_t close = i + 1;
            while (close < tokens_.size() &&
                   !(IsSymbol(tokens_[close], ")") && tokens_[close].depth == tokens_[i].depth))
                ++close;
            Query(i + 1, close, levels_[i] + 1);
        }
    }

  private:
    bool Written(std::size_t i) const { return !tokens_[i].dropped; }
    bool AtLevel(std::size_t i, int depth) const {
        return levels_[i] == level_ && tokens_[i].depth == depth;
    }

    // One query, from begin to end, its subqueries being at a deeper level: each part of a union
    // on its own.
    void Query(std::size_t begin, std::size_t end, int level) {
        level_ = level;
        std::size_t start = begin;
        for (std::size_t i = begin; i <= end; ++i) {
            if (i < end && !(levels_[i] == level && IsWord(tokens_[i], "UNION"))) continue;
            Part(start, i);
            start = i + 1;
        }
    }

    // A part of a query from begin to end.
    void Part(std::size_t begin, std::size_t end) {
        std::size_t select = begin;
        while (select < end && !(levels_[select] == level_ && IsWord(tokens_[select], "SELECT")))
            ++select;
        if (select >= end) return;
        const int depth = tokens_[select].depth;
        bool distinctRow = false, grouped = false;
        std::size_t listEnd = end, order = end;
        for (std::size_t i = select + 1; i < end; ++i) {
            if (!AtLevel(i, depth)) continue;
            const Token& t = tokens_[i];
            if (IsWord(t, "DISTINCTROW")) distinctRow = true;
            if (IsWord(t, "GROUP") || IsWord(t, "HAVING")) grouped = true;
            if (listEnd == end && (IsWord(t, "FROM") || IsWord(t, "WHERE") || IsWord(t, "GROUP") ||
                                   IsWord(t, "HAVING") || IsWord(t, "ORDER")))
                listEnd = i;
            if (IsWord(t, "ORDER") && order == end) order = i;
        }
        std::vector<Item> items = Items(select + 1, listEnd, depth);
        std::vector<std::size_t> sources;
        for (std::size_t s = 0; s < cx_.sources.size(); ++s) {
            const std::size_t at = cx_.sources[s].token;
            if (at > select && at < end && levels_[at] == level_) sources.push_back(s);
        }
        Name(items, sources);
        if (distinctRow && !grouped) DistinctRows(items, sources, select + 1, listEnd, order, end);
    }

    std::vector<Item> Items(std::size_t from, std::size_t to, int depth) const {
        // Past the predicates: DISTINCT, DISTINCTROW, ALL, TOP n [PERCENT].
        while (from < to && (!Written(from) || IsWord(tokens_[from], "DISTINCT") ||
                             IsWord(tokens_[from], "DISTINCTROW") || IsWord(tokens_[from], "ALL")))
            ++from;
        std::vector<Item> items;
        std::size_t start = from;
        for (std::size_t i = from; i <= to; ++i) {
            if (i < to && !(AtLevel(i, depth) && IsSymbol(tokens_[i], ",") && Written(i))) continue;
            std::size_t a = start, b = i;
            while (a < b && !Written(a)) ++a;
            while (b > a && !Written(b - 1)) --b;
            start = i + 1;
            if (a >= b) continue;
            items.push_back(Describe(a, b - 1));
        }
        return items;
    }

    Item Describe(std::size_t a, std::size_t b) const {
        Item item;
        item.first = a;
        item.last = b;
        const Token& last = tokens_[b];
        if (b >= a + 2 && IsWord(tokens_[b - 1], "AS")) {
            item.aliased = true;
            item.name = last.text;
            return item;
        }
        const bool qualified = b == a + 2 && IsName(tokens_[a]) &&
                               (IsSymbol(tokens_[a + 1], ".") || IsSymbol(tokens_[a + 1], "!"));
        if (IsSymbol(last, "*") && (a == b || qualified)) {
            item.star = true;
            if (qualified) item.qualifier = tokens_[a].text;
            return item;
        }
        if (IsName(last) && !last.out.empty() && last.out.front() == '"' && (a == b || qualified)) {
            item.field = true;
            item.name = last.field.empty() ? last.text : last.field;
            item.source = last.source;
            if (qualified) item.qualifier = tokens_[a].text;
        }
        return item;
    }

    const Source* SourceNamed(const std::string& qualifier,
                              const std::vector<std::size_t>& sources) const {
        for (std::size_t s : sources)
            if (!cx_.sources[s].alias.empty() && SameName(cx_.sources[s].alias, qualifier))
                return &cx_.sources[s];
        for (std::size_t s : sources)
            if (cx_.sources[s].alias.empty() && SameName(cx_.sources[s].name, qualifier))
                return &cx_.sources[s];
        return nullptr;
    }

    static std::string QualifierOf(const Source& s) { return s.alias.empty() ? s.name : s.alias; }

    // The sources a "*" or "q.*" stands for; empty when one of them is no table.
    std::vector<const Source*> StarSources(const Item& item,
                                           const std::vector<std::size_t>& sources) const {
        std::vector<const Source*> out;
        if (item.qualifier.empty()) {
            for (std::size_t s : sources) out.push_back(&cx_.sources[s]);
        } else if (const Source* s = SourceNamed(item.qualifier, sources)) {
            out.push_back(s);
        }
        for (const Source* s : out)
            if (!s->table) return {};
        return out;
    }

    struct Column {
        std::string name;
        std::string qualifier;  // for a name two columns share
        bool field = false;
    };

    void Name(const std::vector<Item>& items, const std::vector<std::size_t>& sources) {
        // Every output column in order, with the items they come from.
        std::vector<Column> columns;
        std::vector<std::pair<std::size_t, std::size_t>> spans;  // per item: its columns
        for (const Item& item : items) {
            const std::size_t first = columns.size();
            if (item.aliased) {
                columns.push_back({item.name, {}, false});
            } else if (item.star) {
                for (const Source* s : StarSources(item, sources))
                    for (const auto& f : s->table->Fields())
                        columns.push_back({f->Name(), QualifierOf(*s), true});
                if (columns.size() == first) columns.push_back({{}, {}, false});  // unknown
            } else if (item.field) {
                std::string qualifier = item.qualifier;
                if (item.source >= 0)
                    qualifier = QualifierOf(cx_.sources[static_cast<std::size_t>(item.source)]);
                columns.push_back({item.name, qualifier, true});
            } else {
                columns.push_back({"Expr" + std::to_string(1000 + columns.size()), {}, false});
            }
            spans.emplace_back(first, columns.size());
        }
        // Two fields of one name are told apart by their tables: "Clientes.Nombre".
        std::vector<bool> shared(columns.size(), false);
        for (std::size_t i = 0; i < columns.size(); ++i)
            for (std::size_t j = i + 1; j < columns.size(); ++j)
                if (columns[i].field && columns[j].field &&
                    SameName(columns[i].name, columns[j].name))
                    shared[i] = shared[j] = true;
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (shared[i] && !columns[i].qualifier.empty())
                columns[i].name.insert(0, columns[i].qualifier + ".");
        for (std::size_t k = 0; k < items.size(); ++k) {
            const Item& item = items[k];
            if (item.aliased) continue;
            const auto [first, end] = spans[k];
            if (item.star) {
                if (columns[first].name.empty()) continue;
                std::string list;
                std::size_t c = first;
                for (const Source* s : StarSources(item, sources))
                    for (const auto& f : s->table->Fields())
                        list += (list.empty() ? "" : ", ") + QuoteIdentifier(QualifierOf(*s)) +
                                "." + QuoteIdentifier(f->Name()) + " AS " +
                                QuoteIdentifier(columns[c++].name);
                tokens_[item.first].out = list;
                for (std::size_t i = item.first + 1; i <= item.last; ++i) tokens_[i].dropped = true;
            } else {
                tokens_[item.last].after += " AS " + QuoteIdentifier(columns[first].name);
            }
        }
    }

    void DistinctRows(const std::vector<Item>& items, const std::vector<std::size_t>& sources,
                      std::size_t listBegin, std::size_t listEnd, std::size_t order,
                      std::size_t end) {
        std::set<std::size_t> shown;
        for (const Item& item : items) {
            if (item.star) {
                if (item.qualifier.empty()) return;  // every table's fields
                const Source* s = SourceNamed(item.qualifier, sources);
                if (!s) return;
                shown.insert(static_cast<std::size_t>(s - cx_.sources.data()));
            }
        }
        for (std::size_t i = listBegin; i < listEnd; ++i) {
            if (levels_[i] != level_) continue;
            if (IsAggregate(tokens_[i]) && i + 1 < listEnd && IsSymbol(tokens_[i + 1], "(")) return;
            if (tokens_[i].source >= 0) shown.insert(static_cast<std::size_t>(tokens_[i].source));
        }
        if (shown.empty()) return;
        bool all = true;
        for (std::size_t s : sources) all = all && shown.count(s);
        if (all) return;
        std::string keys;
        for (std::size_t s : shown) {
            const Source& source = cx_.sources[s];
            if (!source.table) return;
            std::vector<std::string> fields;
            for (const auto& ix : source.table->Indexes())
                if (ix->Primary())
                    for (const auto& f : ix->Fields()) fields.push_back(f->Name());
            if (fields.empty())
                for (const auto& f : source.table->Fields()) fields.push_back(f->Name());
            for (const auto& f : fields)
                keys += (keys.empty() ? "" : ", ") + QuoteIdentifier(QualifierOf(source)) + "." +
                        QuoteIdentifier(f);
        }
        const std::string groupBy = "GROUP BY " + keys;
        if (order < end) {
            tokens_[order].before = groupBy + " " + tokens_[order].before;
            return;
        }
        std::size_t last = end;
        while (last > 0 && !Written(last - 1)) --last;
        if (last == 0) return;
        tokens_[last - 1].after += " " + groupBy;
    }

    std::vector<Token>& tokens_;
    const Context& cx_;
    const std::vector<int> levels_;
    int level_ = 0;  // of the query at hand
};

}  // namespace

void ShapeOutput(std::vector<Token>& tokens, const Context& cx, bool statement) {
    OutputShaper(tokens, cx).Run(statement);
}

}  // namespace actualiz::engine::detail::sql
