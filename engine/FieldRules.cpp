#include "engine/FieldRules.h"

#include <cctype>

#include "engine/ClassicDates.h"
#include "engine/EngineError.h"
#include "engine/Field.h"
#include "engine/Names.h"
#include "engine/Sqlite.h"
#include "engine/TableDef.h"

namespace actualiz::engine::detail {

long DefaultFieldAttributes(short type) {
    switch (type) {
        case dbText:
        case dbMemo:
        case dbBinary:
        case dbLongBinary:
            return dbVariableField;
        default:
            return dbFixedField;
    }
}

long NormalizedFieldAttributes(long attributes, short type) {
    if ((attributes & (dbFixedField | dbVariableField)) == 0)
        attributes |= DefaultFieldAttributes(type);
    return attributes;
}

bool IsCounter(const Field& field) {
    return (field.Attributes() & dbAutoIncrField) != 0;
}

void CheckCounterField(const TableDef& table, const Field& field) {
    if (!IsCounter(field)) return;
    if (field.Type() != dbLong) throw MakeError(err::kInvalidType, field.Name());
    for (const auto& other : table.Fields())
        if (other.get() != &field && IsCounter(*other))
            throw MakeError(err::kInvalidOperation, field.Name());
}

void CheckCounters(const TableDef& table) {
    for (const auto& f : table.Fields()) CheckCounterField(table, *f);
}

namespace {

enum class Tok { Word, Name, String, Number, Date, Op, Open, Close, Comma };

struct Token {
    Tok kind;
    std::string text;  // words upper-cased; strings and names without their quotes
};

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The classic expression split into tokens; nullopt for what it cannot read.
std::optional<std::vector<Token>> Tokenize(std::string_view text) {
    std::vector<Token> out;
    std::size_t i = 0;
    auto at = [&](std::size_t k) { return k < text.size() ? text[k] : '\0'; };
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (c == '"' || c == '\'') {
            std::string value;
            std::size_t k = i + 1;
            for (;; ++k) {
                if (k >= text.size()) return std::nullopt;
                if (text[k] == static_cast<char>(c)) {
                    if (at(k + 1) == static_cast<char>(c)) {
                        value += text[k++];
                        continue;
                    }
                    break;
                }
                value += text[k];
            }
            out.push_back({Tok::String, value});
            i = k + 1;
        } else if (c == '[' || c == '#') {
            const char close = c == '[' ? ']' : '#';
            std::size_t end = text.find(close, i + 1);
            if (end == std::string_view::npos) return std::nullopt;
            out.push_back(
                {c == '[' ? Tok::Name : Tok::Date, std::string(text.substr(i + 1, end - i - 1))});
            i = end + 1;
        } else if (std::isdigit(c) ||
                   (c == '.' && std::isdigit(static_cast<unsigned char>(at(i + 1))))) {
            std::size_t k = i;
            while (k < text.size() &&
                   (std::isdigit(static_cast<unsigned char>(text[k])) || text[k] == '.'))
                ++k;
            out.push_back({Tok::Number, std::string(text.substr(i, k - i))});
            i = k;
        } else if (std::isalpha(c) || c == '_' || c >= 0x80) {
            std::size_t k = i;
            while (k < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[k])) || text[k] == '_' ||
                    static_cast<unsigned char>(text[k]) >= 0x80))
                ++k;
            out.push_back({Tok::Word, std::string(text.substr(i, k - i))});
            i = k;
        } else if (c == '(' || c == ')' || c == ',') {
            out.push_back({c == '(' ? Tok::Open : c == ')' ? Tok::Close : Tok::Comma, ""});
            ++i;
        } else if (c == '<' || c == '>') {
            std::string op(1, static_cast<char>(c));
            if (at(i + 1) == '=' || (c == '<' && at(i + 1) == '>')) op += text[i + 1];
            out.push_back({Tok::Op, op});
            i += op.size();
        } else if (c == '=' || c == '+' || c == '-' || c == '*' || c == '/' || c == '&') {
            out.push_back({Tok::Op, std::string(1, static_cast<char>(c))});
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// #m/d/yyyy#, #yyyy-mm-dd#, a time with either or alone, as the text the engine stores for dates
// (the same reading as a date literal of a record source).
std::optional<std::string> DateLiteral(const std::string& text) {
    auto date = ParseClassicDate(text, /*monthFirst=*/true);
    if (!date) return std::nullopt;
    return QuoteLiteral(StoredDateText(*date));
}

// Date(), Now() and Time() in the local time, as the classic engine gives them, in the stored form
// of dates (today at midnight; a time alone on 30 December 1899), so that they compare with stored
// dates as the classic values do. SQLite's own date functions: any SQLite program evaluates them.
std::optional<std::string> DateFunction(const std::string& upperWord) {
    if (upperWord == "DATE") return "datetime('now','localtime','start of day')";
    if (upperWord == "NOW") return "datetime('now','localtime')";
    if (upperWord == "TIME") return "'1899-12-30 ' || time('now','localtime')";
    return std::nullopt;
}

std::optional<std::string> Literal(const Token& t) {
    switch (t.kind) {
        case Tok::String:
            return QuoteLiteral(t.text);
        case Tok::Number:
            return t.text;
        case Tok::Date:
            return DateLiteral(t.text);
        case Tok::Word: {
            const std::string w = Upper(t.text);
            if (w == "TRUE" || w == "YES" || w == "ON") return "-1";
            if (w == "FALSE" || w == "NO" || w == "OFF") return "0";
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

// Translates a whole rule, inserting the field before each comparison that has no left side.
class RuleTranslator {
  public:
    RuleTranslator(std::string_view column, const std::vector<std::string>& fields,
                   std::string_view row)
        : column_(column), fields_(fields), row_(row) {}

    std::optional<RuleCondition> Run(const std::vector<Token>& tokens) {
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            const Token& t = tokens[i];
            const std::string w = t.kind == Tok::Word ? Upper(t.text) : "";
            const bool start = AtOperandStart();
            if (!column_.empty() && start && StartsComparison(t, w, tokens, i)) Emit(Quoted());
            if (!column_.empty() && start && !listDepth_ && IsValue(t, w)) Emit(Quoted() + " =");
            if (!Translate(t, w, tokens, i)) return std::nullopt;
            i += skip_;
            skip_ = 0;
        }
        if (out_.empty() || parens_ != 0) return std::nullopt;
        return RuleCondition{out_, readsClock_};
    }

  private:
    bool AtOperandStart() const {
        return last_.empty() || last_ == "AND" || last_ == "OR" || last_ == "NOT" || last_ == "(";
    }
    static bool StartsComparison(const Token& t, const std::string& w,
                                 const std::vector<Token>& tokens, std::size_t i) {
        if (t.kind == Tok::Op) return t.text != "+" && t.text != "-" && t.text != "&";
        if (w == "BETWEEN" || w == "IN" || w == "LIKE" || w == "IS") return true;
        if (w == "NOT" && i + 1 < tokens.size() && tokens[i + 1].kind == Tok::Word) {
            const std::string next = Upper(tokens[i + 1].text);
            return next == "BETWEEN" || next == "IN" || next == "LIKE";
        }
        return false;
    }
    static bool IsValue(const Token& t, const std::string& w) {
        if (t.kind == Tok::String || t.kind == Tok::Number || t.kind == Tok::Date) return true;
        return w == "TRUE" || w == "FALSE" || w == "YES" || w == "NO";
    }
    std::string Quoted() const { return row_ + QuoteIdentifier(column_); }
    void Emit(const std::string& text, const std::string& last = "x") {
        if (!out_.empty()) out_ += ' ';
        out_ += text;
        last_ = last;
    }
    std::optional<std::string> FieldName(const std::string& name) const {
        if (!column_.empty()) return std::nullopt;  // a field's rule names no field
        for (const auto& f : fields_)
            if (SameName(f, name)) return row_ + QuoteIdentifier(f);
        return std::nullopt;
    }

    bool Translate(const Token& t, const std::string& w, const std::vector<Token>& tokens,
                   std::size_t i) {
        switch (t.kind) {
            case Tok::Open:
                ++parens_;
                if (last_ == "IN") listDepth_ = parens_;
                Emit("(", "(");
                return true;
            case Tok::Close:
                if (parens_ == 0) return false;
                if (listDepth_ == parens_) listDepth_ = 0;
                --parens_;
                Emit(")");
                return true;
            case Tok::Comma:
                Emit(",", ",");
                return true;
            case Tok::Op:
                Emit(t.text == "&" ? "||" : t.text, "op");
                return true;
            case Tok::Name: {
                auto name = FieldName(t.text);
                if (!name) return false;
                Emit(*name);
                return true;
            }
            case Tok::String:
                if (likePattern_) {
                    std::string pattern = t.text;
                    for (char& c : pattern) c = c == '*' ? '%' : c == '?' ? '_' : c;
                    likePattern_ = false;
                    Emit(QuoteLiteral(pattern));
                    return true;
                }
                [[fallthrough]];
            case Tok::Number:
            case Tok::Date: {
                auto literal = Literal(t);
                if (!literal) return false;
                Emit(*literal);
                return true;
            }
            case Tok::Word:
                return TranslateWord(t, w, tokens, i);
        }
        return false;
    }

    bool TranslateWord(const Token& t, const std::string& w, const std::vector<Token>& tokens,
                       std::size_t i) {
        if (w == "AND" && between_) {
            between_ = false;
            Emit("AND", "op");
            return true;
        }
        if (w == "NOT" && i + 1 < tokens.size() && tokens[i + 1].kind == Tok::Word) {
            // "Not Like", "Not In", "Not Between": the field stands before the Not.
            const std::string next = Upper(tokens[i + 1].text);
            if (next == "BETWEEN" || next == "IN" || next == "LIKE") {
                Emit(w, "op");
                return true;
            }
        }
        if (w == "AND" || w == "OR" || w == "NOT" || w == "IN" || w == "IS") {
            Emit(w, w);
            return true;
        }
        if (w == "BETWEEN") {
            between_ = true;
            Emit(w, "op");
            return true;
        }
        if (w == "LIKE") {
            likePattern_ = true;
            Emit(w, "op");
            return true;
        }
        if (w == "NULL" || w == "MOD") {
            Emit(w == "MOD" ? "%" : w, w == "MOD" ? "op" : "x");
            return true;
        }
        if (auto literal = Literal(t)) {
            Emit(*literal);
            return true;
        }
        if (auto function = DateFunction(w); function && i + 2 < tokens.size() &&
                                             tokens[i + 1].kind == Tok::Open &&
                                             tokens[i + 2].kind == Tok::Close) {
            skip_ = 2;
            readsClock_ = true;
            Emit("(" + *function + ")");
            return true;
        }
        auto name = FieldName(t.text);
        if (!name) return false;
        Emit(*name);
        return true;
    }

    std::string column_;
    const std::vector<std::string>& fields_;
    std::string row_;  // before each field the condition reads ("NEW." in a trigger)
    std::string out_;
    std::string last_;
    int parens_ = 0;
    int listDepth_ = 0;
    bool between_ = false;
    bool likePattern_ = false;
    bool readsClock_ = false;
    std::size_t skip_ = 0;  // tokens a translation consumed beyond its own
};

std::string Trimmed(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return std::string(text.substr(b, e - b));
}

// The error a row that breaks a rule raises: "NUMBER|text", as the relation triggers raise it.
std::string RuleError(const std::string& message) {
    return std::to_string(err::kValidationRule) + "|" + message;
}

std::string CheckClause(const std::string& condition, const std::string& message) {
    // The constraint's name carries the error SQLite reports when a row breaks the rule.
    return "CONSTRAINT " + QuoteIdentifier(RuleError(message)) + " CHECK (" + condition + ")";
}

std::string RuleMessage(const std::string& validationText, const std::string& object) {
    return validationText.empty() ? MakeError(err::kValidationRule, object).description()
                                  : validationText;
}

std::string CounterTriggerName(const std::string& table, const std::string& field) {
    // Names hold no dot, so this cannot be any relation's trigger ("<relation>.insert").
    return table + "." + field + ".counter";
}

// "<table>.<field>.rule.insert" for a field's rule, "<table>.rule.insert" for the table's: no
// other trigger of the engine has such a name.
std::string RuleTriggerName(const std::string& table, const std::string& field, const char* event) {
    return table + (field.empty() ? "" : "." + field) + ".rule." + event;
}

std::vector<std::string> FieldNames(const TableDef& table) {
    std::vector<std::string> fields;
    for (const auto& f : table.Fields()) fields.push_back(f->Name());
    return fields;
}

std::optional<RuleCondition> FieldRule(const Field& field, std::string_view row = {}) {
    if (field.ValidationRule().empty()) return std::nullopt;
    return TranslateRule(field.ValidationRule(), field.Name(), {}, row);
}

std::optional<RuleCondition> TableRule(const TableDef& table, std::string_view row = {}) {
    if (table.ValidationRule().empty()) return std::nullopt;
    return TranslateRule(table.ValidationRule(), "", FieldNames(table), row);
}

// A rule SQLite cannot hold in a CHECK, enforced before a row is inserted and before the field (a
// table's rule: any field) is updated. Like a CHECK, a condition that is Null lets the row pass.
void CreateRuleTriggerPair(Connection& c, const std::string& table, const std::string& field,
                           const std::string& condition, const std::string& message) {
    const std::string body = " ON " + QuoteIdentifier(table) + " FOR EACH ROW WHEN NOT COALESCE((" +
                             condition + "), 1) BEGIN SELECT RAISE(ABORT, " +
                             QuoteLiteral(RuleError(message)) + "); END";
    c.Exec("CREATE TRIGGER " + QuoteIdentifier(RuleTriggerName(table, field, "insert")) +
               " BEFORE INSERT" + body,
           table);
    const std::string of = field.empty() ? "" : " OF " + QuoteIdentifier(field);
    c.Exec("CREATE TRIGGER " + QuoteIdentifier(RuleTriggerName(table, field, "update")) +
               " BEFORE UPDATE" + of + body,
           table);
}

void DropRuleTriggerPair(Connection& c, const std::string& table, const std::string& field) {
    for (const char* event : {"insert", "update"})
        c.Exec("DROP TRIGGER IF EXISTS " + QuoteIdentifier(RuleTriggerName(table, field, event)),
               table);
}

// The SQLite expression of a default that reads the clock (Date(), Now(), Time()), else nothing.
std::optional<std::string> ClockDefault(std::string_view expression) {
    std::string text = Trimmed(expression);
    if (!text.empty() && text.front() == '=') text = Trimmed(text.substr(1));
    auto tokens = Tokenize(text);
    if (!tokens || tokens->size() != 3 || (*tokens)[0].kind != Tok::Word ||
        (*tokens)[1].kind != Tok::Open || (*tokens)[2].kind != Tok::Close)
        return std::nullopt;
    return DateFunction(Upper((*tokens)[0].text));
}

std::string DefaultTriggerName(const std::string& table, const std::string& field) {
    return table + "." + field + ".default";
}

}  // namespace

std::optional<std::string> SqliteDefault(std::string_view expression) {
    std::string text = Trimmed(expression);
    if (!text.empty() && text.front() == '=') text = Trimmed(text.substr(1));
    auto tokens = Tokenize(text);
    if (!tokens || tokens->empty()) return std::nullopt;
    std::string sign;
    std::size_t i = 0;
    if ((*tokens)[0].kind == Tok::Op && ((*tokens)[0].text == "-" || (*tokens)[0].text == "+")) {
        sign = (*tokens)[0].text == "-" ? "-" : "";
        i = 1;
    }
    if (i + 1 == tokens->size()) {
        const Token& t = (*tokens)[i];
        if (!sign.empty() && t.kind != Tok::Number) return std::nullopt;
        if (auto literal = Literal(t)) return sign + *literal;
        return std::nullopt;
    }
    if (sign.empty() && tokens->size() == 3 && (*tokens)[0].kind == Tok::Word &&
        (*tokens)[1].kind == Tok::Open && (*tokens)[2].kind == Tok::Close)
        if (auto function = DateFunction(Upper((*tokens)[0].text))) return "(" + *function + ")";
    return std::nullopt;
}

std::optional<RuleCondition> TranslateRule(std::string_view rule, std::string_view column,
                                           const std::vector<std::string>& fields,
                                           std::string_view row) {
    auto tokens = Tokenize(rule);
    if (!tokens || tokens->empty()) return std::nullopt;
    RuleTranslator translator(column, fields, row);
    return translator.Run(*tokens);
}

std::optional<std::string> SqliteCondition(std::string_view rule, std::string_view column,
                                           const std::vector<std::string>& fields) {
    auto condition = TranslateRule(rule, column, fields);
    if (!condition) return std::nullopt;
    return condition->sql;
}

std::string FieldConstraints(const Field& field, bool appended) {
    std::string out;
    if (!field.DefaultValue().empty())
        if (auto value = SqliteDefault(field.DefaultValue());
            value && !(appended && ClockDefault(field.DefaultValue())))
            out += " DEFAULT " + *value;
    if (auto rule = FieldRule(field); rule && !rule->readsClock)
        out += " " + CheckClause(rule->sql, RuleMessage(field.ValidationText(), field.Name()));
    return out;
}

std::string TableConstraints(const TableDef& table) {
    auto rule = TableRule(table);
    if (!rule || rule->readsClock) return "";
    return ", " + CheckClause(rule->sql, RuleMessage(table.ValidationText(), table.Name()));
}

void CreateFieldRuleTriggers(Connection& c, const std::string& table, const Field& field) {
    if (auto rule = FieldRule(field, "NEW."); rule && rule->readsClock)
        CreateRuleTriggerPair(c, table, field.Name(), rule->sql,
                              RuleMessage(field.ValidationText(), field.Name()));
}

void DropFieldRuleTriggers(Connection& c, const std::string& table, const std::string& field) {
    DropRuleTriggerPair(c, table, field);
}

void CreateRuleTriggers(Connection& c, const TableDef& table) {
    for (const auto& f : table.Fields()) CreateFieldRuleTriggers(c, table.Name(), *f);
    if (auto rule = TableRule(table, "NEW."); rule && rule->readsClock)
        CreateRuleTriggerPair(c, table.Name(), "", rule->sql,
                              RuleMessage(table.ValidationText(), table.Name()));
}

void DropRuleTriggers(Connection& c, const TableDef& table) {
    for (const auto& f : table.Fields())
        if (auto rule = FieldRule(*f); rule && rule->readsClock)
            DropRuleTriggerPair(c, table.Name(), f->Name());
    if (auto rule = TableRule(table); rule && rule->readsClock)
        DropRuleTriggerPair(c, table.Name(), "");
}

bool TableRuleNeedsField(const TableDef& table, const std::string& field) {
    if (!TableRule(table)) return false;
    std::vector<std::string> others = FieldNames(table);
    std::erase_if(others, [&](const std::string& name) { return SameName(name, field); });
    return !TranslateRule(table.ValidationRule(), "", others);
}

void DefaultAppendedField(Connection& c, const std::string& table, const Field& field) {
    auto value = ClockDefault(field.DefaultValue());
    if (!value) return;
    const std::string qt = QuoteIdentifier(table);
    const std::string qf = QuoteIdentifier(field.Name());
    c.Exec("CREATE TRIGGER " + QuoteIdentifier(DefaultTriggerName(table, field.Name())) +
               " AFTER INSERT ON " + qt + " FOR EACH ROW WHEN NEW." + qf +
               " IS NULL BEGIN UPDATE " + qt + " SET " + qf + " = (" + *value +
               ") WHERE _rowid_ = NEW._rowid_; END",
           table);
}

void NumberAppendedCounter(Connection& c, const std::string& table, const std::string& field) {
    const std::string qt = QuoteIdentifier(table);
    const std::string qf = QuoteIdentifier(field);
    c.Exec("UPDATE " + qt + " SET " + qf + " = _rowid_", table);
    c.Exec("CREATE TRIGGER " + QuoteIdentifier(CounterTriggerName(table, field)) +
               " AFTER INSERT ON " + qt + " FOR EACH ROW WHEN NEW." + qf +
               " IS NULL BEGIN UPDATE " + qt + " SET " + qf + " = (SELECT COALESCE(MAX(" + qf +
               "), 0) + 1 FROM " + qt + ") WHERE _rowid_ = NEW._rowid_; END",
           table);
}

void KeepOldRowsNull(Connection& c, const std::string& table, const std::string& field) {
    c.Exec("UPDATE " + QuoteIdentifier(table) + " SET " + QuoteIdentifier(field) + " = NULL",
           table);
}

void DropCounterTrigger(Connection& c, const std::string& table, const std::string& field) {
    c.Exec("DROP TRIGGER IF EXISTS " + QuoteIdentifier(CounterTriggerName(table, field)), table);
    c.Exec("DROP TRIGGER IF EXISTS " + QuoteIdentifier(DefaultTriggerName(table, field)), table);
}

}  // namespace actualiz::engine::detail
