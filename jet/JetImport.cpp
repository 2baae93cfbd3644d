#include <filesystem>
#include <map>
#include <optional>
#include <type_traits>

#include <sqlite3.h>

#include "engine/EngineError.h"
#include "engine/FieldRules.h"
#include "engine/Names.h"
#include "engine/RecordsetValues.h"
#include "engine/SchemaJson.h"
#include "engine/Sqlite.h"
#include "jet/JetReader.h"
#include "jet/JetText.h"

namespace actualiz::engine {

using jet::NameList;
using jet::Quoted;
using nlohmann::json;

namespace {

// The classic engine lets a rule be set without checking the rows already there. The rows win:
// the rules go, and are reported.
void DropValidationRules(json& tables, std::vector<std::string>& notes) {
    for (auto& t : tables) {
        std::vector<std::string> ruled;
        if (t.contains("validationRule")) ruled.push_back(t.at("name").get<std::string>());
        t.erase("validationRule");
        t.erase("validationText");
        for (auto& f : t.at("fields")) {
            if (f.contains("validationRule")) ruled.push_back(f.at("name").get<std::string>());
            f.erase("validationRule");
            f.erase("validationText");
        }
        if (!ruled.empty())
            notes.push_back("Tabla " + Quoted(t.at("name").get<std::string>()) +
                            ": hay filas que no cumplen las reglas de validación del archivo; "
                            "las reglas de " +
                            NameList(ruled) + " no se trasladan");
    }
}

// The columns of a stored table as its rows are written: one prepared statement, and each value
// converted and checked as a record set's Update converts and checks it (the rules the engine
// keeps for a field: Required, AllowZeroLength, size, type); the file's own constraints and
// triggers do the rest. A row is not read back: nothing shows it. A value that already has the
// form the conversion would give it (a number of the field's kind within its range, a text within
// the field's size) is bound as it is, without a copy.
class RowInserter {
  public:
    RowInserter(Database& db, const std::string& name) : name_(name) {
        std::string names, marks;
        for (const auto& f : db.TableDefs()[name]->Fields()) {
            columns_.push_back({f->Name(), f->Type(), f->Size(), f->Required(),
                                f->AllowZeroLength(), (f->Attributes() & dbAutoIncrField) != 0});
            names += (names.empty() ? "" : ", ") + QuoteIdentifier(f->Name());
            marks += marks.empty() ? "?" : ", ?";
        }
        converted_.resize(columns_.size());
        held_.resize(columns_.size());
        insert_.emplace(
            db.Conn(),
            "INSERT INTO " + QuoteIdentifier(name) + " (" + names + ") VALUES (" + marks + ")",
            name);
    }

    template <typename Values, typename ValueOf>
    void Insert(const Values& row, ValueOf valueOf) {
        if (row.size() != columns_.size()) throw MakeError(err::kValueTypeMismatch, name_);
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            const Column& c = columns_[i];
            const Value* given = nullptr;
            if constexpr (std::is_lvalue_reference_v<decltype(valueOf(row[i]))>) {
                given = &valueOf(row[i]);
            } else {
                held_[i] = valueOf(row[i]);
                given = &held_[i];
            }
            const Value* v = given;
            if (!AlreadyStored(*given, c)) {
                converted_[i] = detail::ConvertForField(*given, c.type, c.size, c.name);
                v = &converted_[i];
            }
            if (IsNull(*v)) {
                if (c.required && !c.counter) throw MakeError(err::kFieldRequired, c.name);
            } else if (auto* t = std::get_if<std::string>(v)) {
                if (t->empty() && !c.allowZeroLength && (c.type == dbText || c.type == dbMemo))
                    throw MakeError(err::kZeroLength, c.name);
            }
            Bind(static_cast<int>(i) + 1, *v);
        }
        insert_->Run();
        sqlite3_reset(insert_->get());
    }

  private:
    struct Column {
        std::string name;
        short type;
        long size;
        bool required, allowZeroLength, counter;
    };

    // Whether ConvertForField would give the value back unchanged for the column (its checks
    // passed); false where it would convert it or refuse it.
    static bool AlreadyStored(const Value& v, const Column& c) {
        if (IsNull(v)) return true;
        if (const auto* i = std::get_if<long long>(&v)) {
            switch (c.type) {
                case dbBoolean:
                    return *i == 0 || *i == -1;
                case dbByte:
                    return *i >= 0 && *i <= 255;
                case dbInteger:
                    return *i >= -32768 && *i <= 32767;
                case dbLong:
                    return *i >= -2147483648LL && *i <= 2147483647LL;
                default:
                    return false;
            }
        }
        if (const auto* d = std::get_if<double>(&v)) {
            if (c.type == dbSingle) return static_cast<double>(static_cast<float>(*d)) == *d;
            return c.type == dbDouble || c.type == dbCurrency || c.type == dbDecimal;
        }
        if (const auto* t = std::get_if<std::string>(&v)) {
            // No more characters than bytes: a text within the size in bytes is within it.
            if (c.type == dbText) return c.size <= 0 || static_cast<long>(t->size()) <= c.size;
            return c.type == dbMemo || c.type == dbGUID;
        }
        if (const auto* b = std::get_if<std::vector<unsigned char>>(&v)) {
            if (c.type == dbBinary) return c.size <= 0 || static_cast<long>(b->size()) <= c.size;
            return c.type == dbLongBinary;
        }
        return false;
    }

    // The value stays where it is until the row is written: SQLite need not copy it.
    void Bind(int index, const Value& value) {
        sqlite3_stmt* st = insert_->get();
        int rc = SQLITE_OK;
        if (const auto* i = std::get_if<long long>(&value))
            rc = sqlite3_bind_int64(st, index, *i);
        else if (const auto* d = std::get_if<double>(&value))
            rc = sqlite3_bind_double(st, index, *d);
        else if (const auto* t = std::get_if<std::string>(&value))
            rc = sqlite3_bind_text64(st, index, t->data(), t->size(), SQLITE_STATIC, SQLITE_UTF8);
        else if (const auto* b = std::get_if<std::vector<unsigned char>>(&value))
            rc = sqlite3_bind_blob64(st, index, b->data(), b->size(), SQLITE_STATIC);
        else
            rc = sqlite3_bind_null(st, index);
        if (rc != SQLITE_OK) detail::ThrowSqlite(sqlite3_db_handle(st), rc, name_);
    }

    std::string name_;
    std::vector<Column> columns_;
    // The current row's values made here (converted, or given as new values), bound where they
    // are until the row is written.
    std::vector<Value> converted_;
    std::vector<Value> held_;
    std::optional<detail::Statement> insert_;
};

// One table's rows from its document.
void WriteTableRows(Database& db, const std::string& name, const json& rows) {
    RowInserter inserter(db, name);
    for (const auto& row : rows)
        inserter.Insert(row, [](const json& v) { return ValueFromJson(v); });
}

// Tables, their rows, then their indexes (one index build over all rows is cheaper than keeping
// it up to date row by row), all in one transaction: all or nothing. A failure removes the new
// file, however the path was written.
std::shared_ptr<Database> BuildTables(std::string_view outPath, const json& tables) {
    auto db = CreateDatabase(outPath);
    try {
        WriteGroup build(*db);
        for (const auto& t : tables) AppendTable(*db, t);
        // The rows are the file's own: a rule that reads the clock (its triggers) is checked only
        // on rows written after the import, as the classic engine checks it.
        for (const auto& table : db->TableDefs()) detail::DropRuleTriggers(db->Conn(), *table);
        for (const auto& t : tables)
            if (t.contains("rows"))
                WriteTableRows(*db, t.at("name").get<std::string>(), t.at("rows"));
        for (const auto& table : db->TableDefs()) detail::CreateRuleTriggers(db->Conn(), *table);
        for (const auto& t : tables) AppendIndexes(*db, t);
        build.Commit();
    } catch (...) {
        DiscardHalfBuilt(*db);
        throw;
    }
    return db;
}

// Relations and queries one by one (each a savepoint of one transaction), since the engine may
// refuse one the classic engine accepted (a relation whose text keys only match without letter
// case, a pass-through query's text) and the rest still counts.
void AppendLinks(Database& db, const json& document, std::vector<std::string>& notes) {
    auto appendEach = [&](const char* key, const std::string& kind,
                          void (*append)(Database&, const json&)) {
        for (const auto& item : document.at(key)) {
            std::string name = item.at("name").get<std::string>();
            try {
                append(db, item);
            } catch (const Error& e) {
                notes.push_back(kind + " " + Quoted(name) + ": el motor no la admite (Error " +
                                std::to_string(e.number()) + ": " + e.description() +
                                ") y no se traslada");
            }
        }
    };
    WriteGroup links(db);
    appendEach("relations", "Relación", AppendRelation);
    appendEach("queries", "Consulta", AppendQuery);
    links.Commit();
}

// The rows of a file that break its own settings (Required, AllowZeroLength, a size, a rule) or
// that the engine refuses otherwise: the import starts over from the whole document, which
// settles them as the import always has.
struct StartOver {};

// The tables of an import as the reading gives them: each stored when its fields come, with no
// rule triggers, and its rows written as they are read, none of them held.
class TableWriter : public JetRowSink {
  public:
    TableWriter(Database& db, JetRowSink* also) : db_(db), also_(also) {}

    void Table(const json& table) override {
        inserter_.reset();
        try {
            AppendTable(db_, table);
            const std::string name = table.at("name").get<std::string>();
            detail::DropRuleTriggers(db_.Conn(), *db_.TableDefs()[name]);
            inserter_.emplace(db_, name);
        } catch (const Error&) {
            throw StartOver{};
        }
        fields_[table.at("name").get<std::string>()] = table.at("fields");
        if (also_) also_->Table(table);
    }

    void Row(const std::vector<Value>& values) override {
        if (!inserter_) throw StartOver{};
        try {
            inserter_->Insert(values, [](const Value& v) -> const Value& { return v; });
        } catch (const Error&) {
            throw StartOver{};
        }
        if (also_) also_->Row(values);
    }

    // Whether every table of the document was stored with the fields it has: the file's rows
    // keep its own settings.
    bool Stored(const json& tables) {
        inserter_.reset();
        if (tables.size() != fields_.size()) return false;
        for (const json& t : tables) {
            auto it = fields_.find(t.at("name").get<std::string>());
            if (it == fields_.end() || it->second != t.at("fields")) return false;
        }
        return true;
    }

  private:
    Database& db_;
    JetRowSink* also_;
    std::optional<RowInserter> inserter_;
    std::map<std::string, json> fields_;
};

// The rows of a whole document for a sink, as a reading would give them.
void GiveRows(const json& document, JetRowSink& sink) {
    for (const json& t : document.at("tables")) {
        sink.Table({{"name", t.at("name")}, {"fields", t.at("fields")}});
        std::vector<Value> values;
        for (const json& row : t.value("rows", json::array())) {
            values.clear();
            for (const json& v : row) values.push_back(ValueFromJson(v));
            sink.Row(values);
        }
    }
}

}  // namespace

std::shared_ptr<Database> ImportJetFile(const std::filesystem::path& jetFile,
                                        std::string_view outPath, const JetReadOptions& options,
                                        std::vector<std::string>* notCarried, JetRowSink* rows) {
    // What the reading refuses at once is refused before the new file is made, as it always was.
    std::error_code ec;
    if (!options.includeRows || !CanReadJetFiles() || !std::filesystem::exists(jetFile, ec) ||
        std::filesystem::is_directory(jetFile, ec) || !IsJetFile(jetFile))
        return ImportJetContents(ReadJetFile(jetFile, options), outPath, notCarried);

    // Tables with their rows as they are read, then their indexes, all in one transaction.
    std::shared_ptr<Database> db = CreateDatabase(outPath);
    JetContents contents;
    bool startOver = false;
    try {
        WriteGroup build(*db);
        TableWriter tables(*db, rows);
        contents = ReadJetFileRows(jetFile, options, tables);
        if (!tables.Stored(contents.document.at("tables"))) throw StartOver{};
        for (const auto& table : db->TableDefs()) detail::CreateRuleTriggers(db->Conn(), *table);
        for (const auto& t : contents.document.at("tables")) AppendIndexes(*db, t);
        build.Commit();
    } catch (const StartOver&) {
        startOver = true;
    } catch (...) {
        DiscardHalfBuilt(*db);
        throw;
    }
    if (startOver) {
        DiscardHalfBuilt(*db);
        db.reset();
        JetContents whole = ReadJetFile(jetFile, options);
        if (rows) GiveRows(whole.document, *rows);
        return ImportJetContents(std::move(whole), outPath, notCarried);
    }
    std::vector<std::string> notes = std::move(contents.notCarried);
    AppendLinks(*db, contents.document, notes);
    if (notCarried) *notCarried = std::move(notes);
    return db;
}
std::shared_ptr<Database> ImportJetContents(JetContents contents, std::string_view outPath,
                                            std::vector<std::string>* notCarried) {
    std::vector<std::string> notes = std::move(contents.notCarried);

    // Tables with their rows and indexes, all or nothing, in one transaction.
    json& tables = contents.document.at("tables");
    std::shared_ptr<Database> db;
    try {
        db = BuildTables(outPath, tables);
    } catch (const EngineError& e) {
        if (e.number() != err::kValidationRule) throw;
        DropValidationRules(tables, notes);
        db = BuildTables(outPath, tables);
    }
    AppendLinks(*db, contents.document, notes);
    if (notCarried) *notCarried = std::move(notes);
    return db;
}

}  // namespace actualiz::engine
