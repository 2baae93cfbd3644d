#include "engine/JetReader.h"
#include "engine/JetReadLimits.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <set>

#include <sqlite3.h>

#include "engine/ClassicDates.h"
#include "engine/EngineError.h"
#include "engine/FieldRules.h"
#include "engine/JetQuerySql.h"
#include "engine/Names.h"
#include "engine/SchemaJson.h"
#include "platform/FileSystem.h"

#ifdef ACTUALIZ_HAVE_LIBMDB
// mdbtools.h includes glib inside its extern "C" block, and glib has C++ templates: glib must be
// seen first, outside that block, so that its include guards make the inner include a no-op.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>
#endif

namespace actualiz::engine {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

EngineError Unreadable(const fs::path& file, const std::string& why) {
    return EngineError(err::kUnrecognizedFormat, "Formato de base de datos no reconocido: " +
                                                     file.string() + " (" + why + ").");
}

std::string Quoted(std::string_view name) {
    return "«" + std::string(name) + "»";
}

}  // namespace

bool IsJetFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    char header[32] = {};
    in.read(header, sizeof header);
    if (in.gcount() < 20) return false;
    static const char start[4] = {0, 1, 0, 0};
    if (std::memcmp(header, start, 4) != 0) return false;
    return std::memcmp(header + 4, "Standard Jet DB", 15) == 0 ||
           std::memcmp(header + 4, "Standard ACE DB", 15) == 0;
}

#ifdef ACTUALIZ_HAVE_LIBMDB

bool CanReadJetFiles() {
    return true;
}

namespace {

// ---------------------------------------------------------------------------------------------
// Little-endian numbers in a byte buffer.

std::uint32_t U16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8));
}
std::uint32_t U32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t U64(const unsigned char* p) {
    return static_cast<std::uint64_t>(U32(p)) | (static_cast<std::uint64_t>(U32(p + 4)) << 32);
}
double F64(const unsigned char* p) {
    std::uint64_t bits = U64(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
float F32(const unsigned char* p) {
    std::uint32_t bits = U32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// A date of the classic engine: days since 30 December 1899, the fraction the time of day (for
// dates before 1899 the fraction still counts forward from midnight). Written as ISO text.
std::string DateText(double value) {
    return detail::StoredDateText(detail::FromSerial(value));
}

std::string GuidText(const unsigned char* p) {
    char text[40];
    std::snprintf(text, sizeof text,
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", p[3],
                  p[2], p[1], p[0], p[5], p[4], p[7], p[6], p[8], p[9], p[10], p[11], p[12], p[13],
                  p[14], p[15]);
    return text;
}

// ---------------------------------------------------------------------------------------------
// The open file.

class JetFile {
  public:
    explicit JetFile(const fs::path& file) : file_(file) {
        mdb_ = mdb_open(file.c_str(), MDB_NOFLAGS);
        if (!mdb_) throw Unreadable(file, "libmdb no puede abrirlo");
        if (!mdb_read_catalog(mdb_, MDB_ANY)) {
            mdb_close(mdb_);
            throw Unreadable(file, "no se puede leer su catálogo");
        }
    }
    ~JetFile() { mdb_close(mdb_); }
    JetFile(const JetFile&) = delete;
    JetFile& operator=(const JetFile&) = delete;

    MdbHandle* mdb() const { return mdb_; }
    const fs::path& file() const { return file_; }
    bool Jet3() const { return mdb_->f->jet_version == MDB_VER_JET3; }

    // Text of the file's character data (UCS-2 or compressed Unicode for Jet 4, the code page for
    // Jet 3) as UTF-8.
    std::string Text(const unsigned char* bytes, std::size_t size) const {
        if (size == 0) return {};
        std::vector<char> out(size * 3 + 16);
        int length = mdb_unicode2ascii(mdb_, reinterpret_cast<const char*>(bytes), size, out.data(),
                                       out.size() - 1);
        if (length < 0) length = 0;
        return std::string(out.data(),
                           std::min<std::size_t>(static_cast<std::size_t>(length), out.size() - 1));
    }

    // The whole definition of a table: its first page and the pages chained from it, each after
    // its 8-byte header.
    std::vector<unsigned char> Definition(unsigned long page) const {
        std::vector<unsigned char> out;
        std::set<unsigned long> seen;
        std::size_t size = static_cast<std::size_t>(mdb_->fmt->pg_size);
        while (page != 0) {
            if (!seen.insert(page).second || seen.size() > 4096)
                throw Unreadable(file_, "definición de tabla en bucle");
            if (mdb_read_alt_pg(mdb_, page) != mdb_->fmt->pg_size)
                throw Unreadable(file_, "definición de tabla ilegible");
            const unsigned char* buffer = mdb_->alt_pg_buf;
            if (buffer[0] != MDB_PAGE_TABLE) throw Unreadable(file_, "definición de tabla dañada");
            out.insert(out.end(), buffer + (out.empty() ? 0 : 8), buffer + size);
            page = U32(buffer + 4);
        }
        return out;
    }

  private:
    fs::path file_;
    MdbHandle* mdb_ = nullptr;
};

// A table opened by libmdb for reading its rows; freed with the object.
class OpenTable {
  public:
    OpenTable(const JetFile& file, MdbCatalogEntry* entry) {
        table_ = mdb_read_table(entry);
        if (!table_) throw Unreadable(file.file(), "no se puede leer la tabla " + Name(entry));
        if (!mdb_read_columns(table_)) {
            mdb_free_tabledef(table_);
            throw Unreadable(file.file(), "no se pueden leer las columnas de " + Name(entry));
        }
    }
    ~OpenTable() { mdb_free_tabledef(table_); }
    OpenTable(const OpenTable&) = delete;
    OpenTable& operator=(const OpenTable&) = delete;

    MdbTableDef* get() const { return table_; }
    unsigned ColumnCount() const { return table_->num_cols; }
    MdbColumn* Column(unsigned i) const {
        return static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, i));
    }
    int ColumnIndex(const std::string& name) const {
        for (unsigned i = 0; i < ColumnCount(); ++i)
            if (name == Column(i)->name) return static_cast<int>(i);
        return -1;
    }

    static std::string Name(MdbCatalogEntry* entry) { return entry->object_name; }

  private:
    MdbTableDef* table_ = nullptr;
};

// Walks the rows of a table. libmdb finds each live row; the row is then split again here so
// that Null is told apart from an empty text and every value is read from its stored bytes
// (libmdb's own text forms round numbers and cut long memos).
class RowWalker {
  public:
    RowWalker(const JetFile& file, const OpenTable& table)
        : file_(file), table_(table), fields_(table.ColumnCount()) {
        for (unsigned i = 0; i < table.ColumnCount(); ++i) {
            table.Column(i)->bind_ptr = nullptr;
            table.Column(i)->len_ptr = nullptr;
        }
        mdb_rewind_table(table.get());
    }

    bool Next() {
        MdbTableDef* t = table_.get();
        if (!mdb_fetch_row(t)) return false;
        int start = 0;
        std::size_t size = 0;
        if (mdb_find_row(file_.mdb(), static_cast<int>(t->cur_row) - 1, &start, &size) != 0)
            throw Unreadable(file_.file(), "fila ilegible en " + std::string(t->name));
        start &= 0x1fff;  // the high bits are the row's flags
        if (mdb_crack_row(t, start, size, fields_.data()) < 0)
            throw Unreadable(file_.file(), "fila dañada en " + std::string(t->name));
        return true;
    }

    // The value of column i (libmdb's order) in the current row.
    Value Get(unsigned i) const {
        const MdbColumn* column = table_.Column(i);
        // libmdb fills the fields in column order.
        if (i >= fields_.size() || fields_[i].colnum != static_cast<int>(i))
            throw Unreadable(file_.file(), "fila dañada en " + std::string(table_.get()->name));
        const MdbField* field = &fields_[i];
        // A Boolean is kept in the null mask: set is True.
        if (column->col_type == MDB_BOOL) return field->is_null ? 0LL : -1LL;
        if (field->is_null || !field->value) return std::monostate{};
        const auto* p = static_cast<const unsigned char*>(field->value);
        std::size_t size = field->siz > 0 ? static_cast<std::size_t>(field->siz) : 0;
        auto need = [&](std::size_t n) {
            if (size < n)
                throw Unreadable(
                    file_.file(),
                    "valor dañado en " + std::string(table_.get()->name) + "." + column->name);
        };
        switch (column->col_type) {
            case MDB_BYTE:
                need(1);
                return static_cast<long long>(p[0]);
            case MDB_INT:
                need(2);
                return static_cast<long long>(static_cast<std::int16_t>(U16(p)));
            case MDB_LONGINT:
                need(4);
                return static_cast<long long>(static_cast<std::int32_t>(U32(p)));
            case MDB_MONEY:
                need(8);
                return static_cast<double>(static_cast<std::int64_t>(U64(p))) / 10000.0;
            case MDB_FLOAT:
                need(4);
                return static_cast<double>(F32(p));
            case MDB_DOUBLE:
                need(8);
                return F64(p);
            case MDB_DATETIME:
                need(8);
                return DateText(F64(p));
            case MDB_BINARY:
                return std::vector<unsigned char>(p, p + size);
            case MDB_TEXT:
                return file_.Text(p, size);
            case MDB_MEMO: {
                auto bytes = LongValue(p, size, column->name);
                return file_.Text(bytes.data(), bytes.size());
            }
            case MDB_OLE:
                return LongValue(p, size, column->name);
            case MDB_REPID:
                need(16);
                return GuidText(p);
            case MDB_NUMERIC: {
                need(17);
                char* text = mdb_numeric_to_string(file_.mdb(), field->start, column->col_scale,
                                                   column->col_prec);
                std::string digits = text ? text : "";
                g_free(text);
                double d = 0;
                auto r = std::from_chars(digits.data(), digits.data() + digits.size(), d);
                if (r.ec != std::errc()) return std::monostate{};
                return d;
            }
            default:
                return std::monostate{};
        }
    }

  private:
    // A memo or OLE value: stored in the row when short, else in long-value pages (one row, or a
    // chain of rows each starting with the pointer to the next).
    std::vector<unsigned char> LongValue(const unsigned char* header, std::size_t size,
                                         const char* column) const {
        std::vector<unsigned char> out;
        if (size < 12) return out;
        std::uint32_t word = U32(header);
        std::size_t length = word & 0x3FFFFFFF;
        if (word & 0x80000000) {
            out.assign(header + 12, header + size);
            return out;
        }
        auto fail = [&]() {
            return Unreadable(file_.file(), "valor largo ilegible en " +
                                                std::string(table_.get()->name) + "." + column);
        };
        int pgRow = static_cast<int>(U32(header + 4));
        void* buffer = nullptr;
        int offset = 0;
        std::size_t rowSize = 0;
        if (word & 0x40000000) {
            if (mdb_find_pg_row(file_.mdb(), pgRow, &buffer, &offset, &rowSize) != 0) throw fail();
            const auto* b = static_cast<const unsigned char*>(buffer) + offset;
            out.assign(b, b + std::min(rowSize, length));
            return out;
        }
        std::size_t guard = 0;
        while (pgRow != 0 && out.size() < length) {
            if (++guard > 1000000) throw fail();
            if (mdb_find_pg_row(file_.mdb(), pgRow, &buffer, &offset, &rowSize) != 0 || rowSize < 4)
                throw fail();
            const auto* b = static_cast<const unsigned char*>(buffer) + offset;
            int next = static_cast<int>(U32(b));
            out.insert(out.end(), b + 4, b + rowSize);
            pgRow = next;
        }
        if (out.size() > length) out.resize(length);
        return out;
    }

    const JetFile& file_;
    const OpenTable& table_;
    std::vector<MdbField> fields_;
};

// Reads every row of a table into maps by column name (for the small system tables).
std::vector<std::map<std::string, Value>> SystemRows(const JetFile& file, const char* name) {
    std::vector<std::map<std::string, Value>> rows;
    MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(file.mdb(), name);
    if (!entry) return rows;
    OpenTable table(file, entry);
    RowWalker walker(file, table);
    while (walker.Next()) {
        std::map<std::string, Value> row;
        for (unsigned i = 0; i < table.ColumnCount(); ++i)
            row[table.Column(i)->name] = walker.Get(i);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string TextOf(const std::map<std::string, Value>& row, const std::string& column) {
    auto it = row.find(column);
    if (it == row.end()) return {};
    if (auto* s = std::get_if<std::string>(&it->second)) return *s;
    return {};
}

std::optional<long long> NumberOf(const std::map<std::string, Value>& row,
                                  const std::string& column) {
    auto it = row.find(column);
    if (it == row.end()) return std::nullopt;
    if (auto* i = std::get_if<long long>(&it->second)) return *i;
    if (auto* d = std::get_if<double>(&it->second)) return static_cast<long long>(*d);
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// The table definition, read from its pages: columns with their numbers and flags, the physical
// indexes with their key columns, and the logical indexes (the ones the engine's Indexes show)
// with the physical index each uses. libmdb's own index reading pairs logical and physical
// indexes by position, which goes wrong as soon as a relation's index shares a physical one.

struct ColumnDef {
    int type = 0;
    int number = 0;  // counts deleted columns too: the order of the fields
    int flags = 0;
    int length = 0;
    int precision = 0;
    int scale = 0;
    std::string name;
};

struct RealIndexDef {
    std::vector<std::pair<int, bool>> keys;  // column number, descending
    int flags = 0;
};

struct LogicalIndexDef {
    long number = 0;
    long realNumber = 0;
    int type = 0;  // 1 primary key, 2 index of a relation
    std::string name;
};

struct TableDefinition {
    std::vector<ColumnDef> columns;
    std::vector<RealIndexDef> realIndexes;
    std::vector<LogicalIndexDef> logicalIndexes;
};

class Cursor {
  public:
    Cursor(const std::vector<unsigned char>& bytes, const JetFile& file)
        : bytes_(bytes), file_(file) {}
    const unsigned char* Take(std::size_t n) {
        if (pos_ + n > bytes_.size()) throw Unreadable(file_.file(), "definición de tabla corta");
        const unsigned char* p = bytes_.data() + pos_;
        pos_ += n;
        return p;
    }
    void Seek(std::size_t pos) {
        if (pos > bytes_.size()) throw Unreadable(file_.file(), "definición de tabla corta");
        pos_ = pos;
    }
    std::size_t Pos() const { return pos_; }
    unsigned U8() { return *Take(1); }
    std::uint32_t Word() { return U16(Take(2)); }
    std::uint32_t Long() { return U32(Take(4)); }

  private:
    const std::vector<unsigned char>& bytes_;
    const JetFile& file_;
    std::size_t pos_ = 0;
};

TableDefinition ReadDefinition(const JetFile& file, unsigned long page) {
    std::vector<unsigned char> bytes = file.Definition(page);
    Cursor c(bytes, file);
    bool jet3 = file.Jet3();
    TableDefinition def;

    c.Seek(jet3 ? 21 : 41);  // just after the table type
    c.Word();                // columns a row may hold, deleted ones included
    c.Word();                // variable-length columns
    unsigned columnCount = c.Word();
    std::uint32_t logicalCount = c.Long();
    std::uint32_t realCount = c.Long();
    if (columnCount > 4096 || logicalCount > 4096 || realCount > 4096)
        throw Unreadable(file.file(), "definición de tabla dañada");
    c.Long();  // page usage
    c.Long();  // free pages
    c.Take(static_cast<std::size_t>(realCount) * (jet3 ? 8 : 12));

    for (unsigned i = 0; i < columnCount; ++i) {
        const unsigned char* p = c.Take(jet3 ? 18 : 25);
        ColumnDef col;
        col.type = p[0];
        col.number = static_cast<int>(U16(p + (jet3 ? 1 : 5)));
        col.precision = p[jet3 ? 9 : 11];
        col.scale = p[jet3 ? 10 : 12];
        col.flags = p[jet3 ? 13 : 15];
        col.length = static_cast<int>(U16(p + (jet3 ? 16 : 23)));
        def.columns.push_back(col);
    }
    for (auto& col : def.columns) {
        std::size_t length = jet3 ? c.U8() : c.Word();
        col.name = file.Text(c.Take(length), length);
    }
    for (std::uint32_t i = 0; i < realCount; ++i) {
        const unsigned char* p = c.Take(jet3 ? 39 : 52);
        const unsigned char* keys = p + (jet3 ? 0 : 4);
        RealIndexDef real;
        for (int k = 0; k < 10; ++k) {
            std::uint32_t column = U16(keys + k * 3);
            if (column == 0xFFFF) continue;
            real.keys.emplace_back(static_cast<int>(column), keys[k * 3 + 2] != 0x01);
        }
        real.flags = p[jet3 ? 38 : 46];
        def.realIndexes.push_back(real);
    }
    for (std::uint32_t i = 0; i < logicalCount; ++i) {
        const unsigned char* p = c.Take(jet3 ? 20 : 28) + (jet3 ? 0 : 4);
        LogicalIndexDef logical;
        logical.number = static_cast<std::int32_t>(U32(p));
        logical.realNumber = static_cast<std::int32_t>(U32(p + 4));
        logical.type = p[19];
        def.logicalIndexes.push_back(logical);
    }
    for (auto& logical : def.logicalIndexes) {
        std::size_t length = jet3 ? c.U8() : c.Word();
        logical.name = file.Text(c.Take(length), length);
    }
    std::stable_sort(def.logicalIndexes.begin(), def.logicalIndexes.end(),
                     [](const auto& a, const auto& b) { return a.number < b.number; });
    return def;
}

// ---------------------------------------------------------------------------------------------
// From the file's objects to the structure document.

// The engine's type code for a column type of the file, 0 when the engine has none.
short EngineType(int columnType) {
    switch (columnType) {
        case MDB_BOOL:
        case MDB_BYTE:
        case MDB_INT:
        case MDB_LONGINT:
        case MDB_MONEY:
        case MDB_FLOAT:
        case MDB_DOUBLE:
        case MDB_DATETIME:
        case MDB_BINARY:
        case MDB_TEXT:
        case MDB_OLE:
        case MDB_MEMO:
        case MDB_REPID:
            return static_cast<short>(columnType);  // the same codes
        case MDB_NUMERIC:
            return dbDecimal;
        default:
            return 0;
    }
}

std::string TableProperty(const OpenTable& table, const char* property) {
    const char* value = mdb_table_get_prop(table.get(), property);
    return value ? value : "";
}

bool PropertyYes(const MdbColumn* column, const char* property) {
    const char* value = column ? mdb_col_get_prop(column, property) : nullptr;
    return value && (std::strcmp(value, "yes") == 0 || std::strcmp(value, "1") == 0 ||
                     std::strcmp(value, "-1") == 0);
}

std::string Property(const MdbColumn* column, const char* property) {
    const char* value = column ? mdb_col_get_prop(column, property) : nullptr;
    return value ? value : "";
}

// A column's default value and validation rule, carried as the classic text. Those the file
// cannot apply (a default that is no constant, a rule SQLite cannot evaluate) are named in
// `defaults` and `validations` to be reported.
void CarryRules(json& field, const MdbColumn* column, std::vector<std::string>& defaults,
                std::vector<std::string>& validations) {
    const std::string name = field.at("name").get<std::string>();
    if (std::string value = Property(column, "DefaultValue"); !value.empty()) {
        field["defaultValue"] = value;
        if (!detail::SqliteDefault(value)) defaults.push_back(name);
    }
    if (std::string rule = Property(column, "ValidationRule"); !rule.empty()) {
        field["validationRule"] = rule;
        std::string text = Property(column, "ValidationText");
        if (!text.empty()) field["validationText"] = text;
        if (!detail::SqliteCondition(rule, name, {})) validations.push_back(name);
    }
}

std::string NameList(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) out += ", ";
        out += Quoted(names[i]);
    }
    return out;
}

class DocumentBuilder {
  public:
    DocumentBuilder(const JetFile& file, const JetReadOptions& options)
        : file_(file), options_(options) {}

    JetContents Build() {
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

  private:
    struct ImportedTable {
        std::map<int, std::string> fieldByNumber;  // column number -> field name, carried only
        std::map<std::string, short> typeByName;
    };

    void Note(std::string text) { notes_.push_back(std::move(text)); }

    void NoteLinkedTables() {
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

    json ReadTable(MdbCatalogEntry* entry) {
        const std::string tableName = entry->object_name;
        TableDefinition def = ReadDefinition(file_, entry->table_pg);
        OpenTable table(file_, entry);

        std::vector<ColumnDef> columns = def.columns;
        std::stable_sort(columns.begin(), columns.end(),
                         [](const auto& a, const auto& b) { return a.number < b.number; });

        struct Carried {
            ColumnDef def;
            int mdbIndex;
            short type;
            json field;
        };
        std::vector<Carried> carried;
        std::vector<std::string> guids, defaults, validations;
        ImportedTable& imported = imported_[tableName];
        for (const auto& col : columns) {
            int mdbIndex = table.ColumnIndex(col.name);
            const MdbColumn* mdbColumn = mdbIndex >= 0 ? table.Column(mdbIndex) : nullptr;
            short type = EngineType(col.type);
            if (type == 0 || mdbIndex < 0) {
                if (col.type == MDB_COMPLEX)
                    Note("Tabla " + Quoted(tableName) + ": la columna " + Quoted(col.name) +
                         " es de datos adjuntos o de varios valores y no se traslada");
                else
                    Note("Tabla " + Quoted(tableName) + ": la columna " + Quoted(col.name) +
                         " es de un tipo que el motor no tiene (código " +
                         std::to_string(col.type) + ") y no se traslada");
                continue;
            }
            long size = 0;
            if (type == dbText) {
                size = file_.Jet3() ? col.length : col.length / 2;
            } else if (type == dbBinary) {
                size = col.length;
                if (size > 255) {
                    Note("Tabla " + Quoted(tableName) + ": la columna binaria " + Quoted(col.name) +
                         " de " + std::to_string(size) +
                         " bytes pasa a binario largo (el motor admite binarios de hasta 255)");
                    type = dbLongBinary;
                    size = 0;
                }
            } else {
                size = FixedSize(type).value_or(0);
            }
            json field = {{"name", col.name},
                          {"type", type},
                          {"size", size},
                          {"allowZeroLength", (type == dbText || type == dbMemo) &&
                                                  PropertyYes(mdbColumn, "AllowZeroLength")},
                          {"required", PropertyYes(mdbColumn, "Required")}};
            // Only a Long can number itself (bit 4) and only a GUID be generated (bit 0x40): in
            // other columns, Jet 3 files use those bits for other things.
            if (type == dbLong && (col.flags & 0x04))
                field["attributes"] = dbFixedField | dbAutoIncrField;
            if (type == dbGUID && (col.flags & 0x40)) guids.push_back(col.name);
            CarryRules(field, mdbColumn, defaults, validations);
            if (type == dbDecimal)
                Note("Tabla " + Quoted(tableName) + ": la precisión (" +
                     std::to_string(col.precision) + ") y la escala (" + std::to_string(col.scale) +
                     ") de la columna decimal " + Quoted(col.name) +
                     " no se trasladan; sus valores pasan como números de doble precisión");
            carried.push_back({col, mdbIndex, type, std::move(field)});
            imported.fieldByNumber[col.number] = col.name;
            imported.typeByName[col.name] = type;
        }
        if (carried.empty()) {
            Note("Tabla " + Quoted(tableName) +
                 ": no tiene ninguna columna que se pueda trasladar");
            imported_.erase(tableName);
            return nullptr;
        }
        if (!guids.empty())
            Note("Tabla " + Quoted(tableName) + ": la generación automática del GUID de " +
                 NameList(guids) + " no se traslada (sí sus valores)");
        if (!defaults.empty())
            Note("Tabla " + Quoted(tableName) + ": los valores predeterminados de " +
                 NameList(defaults) +
                 " se trasladan como texto, pero el archivo no los aplica (no son constantes)");
        if (!validations.empty())
            Note("Tabla " + Quoted(tableName) + ": las reglas de validación de " +
                 NameList(validations) +
                 " se trasladan como texto, pero el archivo no las comprueba");

        json rows = json::array();
        if (options_.includeRows) {
            std::vector<bool> hasNull(carried.size(), false), hasEmpty(carried.size(), false);
            std::vector<std::size_t> longest(carried.size(), 0);
            RowWalker walker(file_, table);
            while (walker.Next()) {
                json row = json::array();
                for (std::size_t i = 0; i < carried.size(); ++i) {
                    Value v = walker.Get(static_cast<unsigned>(carried[i].mdbIndex));
                    if (IsNull(v)) hasNull[i] = true;
                    if (auto* s = std::get_if<std::string>(&v)) {
                        if (s->empty()) hasEmpty[i] = true;
                        std::size_t characters = 0;
                        for (unsigned char ch : *s)
                            if ((ch & 0xC0) != 0x80) ++characters;
                        longest[i] = std::max(longest[i], characters);
                    }
                    row.push_back(ValueToJson(v));
                }
                rows.push_back(std::move(row));
            }
            // The classic engine lets people set Required or clear AllowZeroLength without
            // checking the rows already there; such rows could not be written back. The data
            // wins, and the property is reported instead of carried.
            for (std::size_t i = 0; i < carried.size(); ++i) {
                json& field = carried[i].field;
                const std::string& name = carried[i].def.name;
                if (field["required"].get<bool>() && hasNull[i]) {
                    field["required"] = false;
                    Note("Tabla " + Quoted(tableName) + ": el campo " + Quoted(name) +
                         " es obligatorio (Required) pero tiene filas nulas; se traslada sin "
                         "esa propiedad");
                }
                if ((carried[i].type == dbText || carried[i].type == dbMemo) &&
                    !field["allowZeroLength"].get<bool>() && hasEmpty[i]) {
                    field["allowZeroLength"] = true;
                    Note("Tabla " + Quoted(tableName) + ": el campo " + Quoted(name) +
                         " no admite cadenas vacías pero tiene filas con ellas; se traslada "
                         "admitiéndolas");
                }
                if (carried[i].type == dbText &&
                    static_cast<long>(longest[i]) > field["size"].get<long>()) {
                    // Only possible in a damaged file; keep every character.
                    field["size"] = std::min<long>(255, static_cast<long>(longest[i]));
                    Note("Tabla " + Quoted(tableName) + ": el campo " + Quoted(name) +
                         " tiene textos más largos que su tamaño; se amplía");
                }
            }
        }

        json t;
        t["name"] = tableName;
        if (std::string rule = TableProperty(table, "ValidationRule"); !rule.empty()) {
            t["validationRule"] = rule;
            std::string text = TableProperty(table, "ValidationText");
            if (!text.empty()) t["validationText"] = text;
        }
        t["fields"] = json::array();
        for (auto& c : carried) t["fields"].push_back(std::move(c.field));
        t["indexes"] = ReadIndexes(tableName, def);
        if (options_.includeRows) t["rows"] = std::move(rows);
        return t;
    }

    json ReadIndexes(const std::string& tableName, const TableDefinition& def) {
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
            const RealIndexDef& real =
                def.realIndexes[static_cast<std::size_t>(logical.realNumber)];
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
            if ((real.flags & 0x08) && !primary) index["required"] = true;
            indexes.push_back(std::move(index));
        }
        return indexes;
    }

    json ReadRelations() {
        struct Pair {
            long long position;
            std::string name, foreignName;
        };
        struct Rel {
            std::string name, table, foreignTable;
            long long attributes = 0;
            std::vector<Pair> pairs;
        };
        std::vector<Rel> relations;
        for (const auto& row : SystemRows(file_, "MSysRelationships")) {
            std::string name = TextOf(row, "szRelationship");
            auto it = std::find_if(relations.begin(), relations.end(),
                                   [&](const Rel& r) { return r.name == name; });
            if (it == relations.end()) {
                Rel r;
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
        json out = json::array();
        for (auto& r : relations) {
            if (IsSystemName(r.name) || IsSystemName(r.table) || IsSystemName(r.foreignTable))
                continue;
            std::string what = "Relación " + Quoted(r.name);
            auto table = imported_.find(r.table);
            auto foreign = imported_.find(r.foreignTable);
            if (table == imported_.end() || foreign == imported_.end()) {
                Note(what + ": une tablas que no se trasladan (" + Quoted(r.table) + ", " +
                     Quoted(r.foreignTable) + ") y no se traslada");
                continue;
            }
            std::stable_sort(r.pairs.begin(), r.pairs.end(),
                             [](const Pair& a, const Pair& b) { return a.position < b.position; });
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

    json ReadQueries() {
        // Each row's Order is its place among the query's rows of its kind (a big-endian
        // sequence number); the storage order is only the order the rows were written in.
        std::map<long long, std::vector<std::pair<std::vector<unsigned char>, jet::QueryRow>>>
            ordered;
        for (const auto& row : SystemRows(file_, "MSysQueries")) {
            auto id = NumberOf(row, "ObjectId");
            if (!id) continue;
            std::vector<unsigned char> order;
            if (auto it = row.find("Order"); it != row.end())
                if (auto* b = std::get_if<std::vector<unsigned char>>(&it->second)) order = *b;
            jet::QueryRow q;
            q.attribute = static_cast<int>(NumberOf(row, "Attribute").value_or(-1));
            q.name1 = TextOf(row, "Name1");
            q.name2 = TextOf(row, "Name2");
            // Texts kept in long-value pages end with a terminating NUL and leftovers after it.
            q.expression = TextOf(row, "Expression");
            if (auto nul = q.expression.find('\0'); nul != std::string::npos)
                q.expression.erase(nul);
            if (auto flag = NumberOf(row, "Flag")) q.flag = static_cast<long>(*flag);
            ordered[*id].emplace_back(std::move(order), std::move(q));
        }
        std::map<long long, std::vector<jet::QueryRow>> rowsById;
        for (auto& [id, rows] : ordered) {
            std::stable_sort(rows.begin(), rows.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            for (auto& r : rows) rowsById[id].push_back(std::move(r.second));
        }
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
            jet::RebuiltQuery rebuilt = jet::RebuildQuerySql(rows->second, file_.Jet3());
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

    const JetFile& file_;
    const JetReadOptions& options_;
    std::vector<std::map<std::string, Value>> objects_;
    std::map<std::string, ImportedTable> imported_;
    std::vector<std::string> notes_;
};

}  // namespace

JetContents ReadJetFileHere(const fs::path& file, const JetReadOptions& options) {
    std::error_code ec;
    if (!fs::exists(file, ec)) throw MakeError(err::kFileNotFound, file.string());
    if (fs::is_directory(file, ec)) throw MakeError(err::kCannotOpenFile, file.string());
    if (!IsJetFile(file)) throw Unreadable(file, "no es un archivo Jet");
    JetFile jet(file);
    DocumentBuilder builder(jet, options);
    return builder.Build();
}

JetTableRows ReadJetTable(const fs::path& file, const std::string& table) {
    std::error_code ec;
    if (!fs::exists(file, ec)) throw MakeError(err::kFileNotFound, file.string());
    if (!IsJetFile(file)) throw Unreadable(file, "no es un archivo Jet");
    JetFile jet(file);
    MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(jet.mdb(), table.c_str());
    if (!entry || entry->object_type != MDB_TABLE) throw MakeError(err::kItemNotFound, table);
    OpenTable open(jet, entry);
    JetTableRows out;
    for (unsigned i = 0; i < open.ColumnCount(); ++i) out.columns.push_back(open.Column(i)->name);
    RowWalker walker(jet, open);
    while (walker.Next()) {
        std::vector<Value> row;
        for (unsigned i = 0; i < open.ColumnCount(); ++i) row.push_back(walker.Get(i));
        out.rows.push_back(std::move(row));
    }
    return out;
}

#else  // no libmdb: Jet files are recognised, not read

bool CanReadJetFiles() {
    return false;
}

JetContents ReadJetFileHere(const fs::path& file, const JetReadOptions&) {
    std::error_code ec;
    if (!fs::exists(file, ec)) throw MakeError(err::kFileNotFound, file.string());
    throw Unreadable(
        file,
        "este programa se compiló sin la biblioteca libmdb de mdbtools y no puede leer "
        "archivos Jet");
}

JetTableRows ReadJetTable(const fs::path& file, const std::string&) {
    ReadJetFile(file, {});
    return {};
}

#endif  // ACTUALIZ_HAVE_LIBMDB

std::shared_ptr<Database> ImportJetFile(const fs::path& jetFile, std::string_view outPath,
                                        const JetReadOptions& options,
                                        std::vector<std::string>* notCarried) {
    JetContents contents = ReadJetFile(jetFile, options);
    std::vector<std::string> notes = std::move(contents.notCarried);

    // Tables with their rows and indexes, all or nothing, in one transaction; then relations and
    // queries one by one (each a savepoint of a second transaction), since the engine may refuse
    // one the classic engine accepted (a relation whose text keys only match without letter case,
    // a pass-through query's text) and the rest still counts.
    auto build = [&]() {
        return BuildDatabase(outPath, json{{"tables", contents.document.at("tables")}});
    };
    std::shared_ptr<Database> db;
    try {
        db = build();
    } catch (const EngineError& e) {
        // The classic engine lets a rule be set without checking the rows already there. The
        // rows win: the rules go, and are reported.
        if (e.number() != err::kValidationRule) throw;
        for (auto& t : contents.document.at("tables")) {
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
        db = build();
    }
    WriteGroup links(*db);
    for (const auto& r : contents.document.at("relations")) {
        std::string name = r.at("name").get<std::string>();
        try {
            AppendRelation(*db, r);
        } catch (const Error& e) {
            notes.push_back("Relación " + Quoted(name) + ": el motor no la admite (Error " +
                            std::to_string(e.number()) + ": " + e.description() +
                            ") y no se traslada");
        }
    }
    for (const auto& q : contents.document.at("queries")) {
        std::string name = q.at("name").get<std::string>();
        try {
            AppendQuery(*db, q);
        } catch (const Error& e) {
            notes.push_back("Consulta " + Quoted(name) + ": el motor no la admite (Error " +
                            std::to_string(e.number()) + ": " + e.description() +
                            ") y no se traslada");
        }
    }
    links.Commit();
    if (notCarried) *notCarried = std::move(notes);
    return db;
}

// ---------------------------------------------------------------------------------------------
// Read-only opening.

namespace {

std::mutex& SinkMutex() {
    static std::mutex m;
    return m;
}

std::function<void(const std::string&)>& Sink() {
    static std::function<void(const std::string&)> sink = [](const std::string& note) {
        std::cerr << note << "\n";
    };
    return sink;
}

// The imports made for read-only opening, one per file version, in a private folder that goes
// when the process ends.
class ReadingCopies {
  public:
    ~ReadingCopies() {
        if (folder_.empty()) return;
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    fs::path For(const fs::path& jetFile) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::error_code ec;
        fs::path canonical = fs::weakly_canonical(jetFile, ec);
        if (ec) canonical = fs::absolute(jetFile);
        struct stat st {};
        if (::stat(canonical.c_str(), &st) != 0)
            throw MakeError(err::kFileNotFound, jetFile.string());
        std::string key = canonical.string() + "|" + std::to_string(st.st_size) + "|" +
                          std::to_string(st.st_mtim.tv_sec) + "." +
                          std::to_string(st.st_mtim.tv_nsec);
        auto it = copies_.find(key);
        if (it != copies_.end() && fs::exists(it->second, ec)) return it->second;

        fs::path copy = Folder() / (std::to_string(++counter_) + ".mdb");
        std::vector<std::string> notes;
        JetReadOptions options;
        options.includeHiddenQueries = true;  // the classic engine's QueryDefs show them too
        auto db = ImportJetFile(canonical, copy.string(), options, &notes);
        db->Close();
        // No write permission: the engine then opens it read-only, as it would a read-only file.
        ::chmod(copy.c_str(), S_IRUSR | S_IRGRP | S_IROTH);
        copies_[key] = copy;
        {
            std::lock_guard<std::mutex> sinkLock(SinkMutex());
            if (Sink())
                for (const auto& n : notes) Sink()(jetFile.string() + ": " + n);
        }
        return copy;
    }

  private:
    fs::path Folder() {
        if (!folder_.empty()) return folder_;
        try {
            folder_ = platform::CreateTemporaryFolder("actualiz-jet-");
        } catch (const Error&) {
            throw MakeError(err::kDiskIo, fs::temp_directory_path().string());
        }
        return folder_;
    }

    std::mutex mutex_;
    fs::path folder_;
    std::map<std::string, fs::path> copies_;
    int counter_ = 0;
};

ReadingCopies& Copies() {
    static ReadingCopies copies;
    return copies;
}

fs::path HostPathOf(std::string_view path) {
    try {
        return platform::ResolvePath(path);
    } catch (const Error&) {
        throw MakeError(err::kInvalidPath, path);
    }
}

}  // namespace

fs::path JetReadingCopy(const fs::path& jetFile) {
    return Copies().For(jetFile);
}

std::shared_ptr<Database> OpenJetDatabase(std::string_view path) {
    fs::path host = HostPathOf(path);
    std::error_code ec;
    if (!fs::exists(host, ec)) throw MakeError(err::kFileNotFound, path);
    if (!IsJetFile(host)) throw MakeError(err::kUnrecognizedFormat, path);
    // OpenDatabase itself recognises a Jet file and opens its reading copy under the given name.
    return OpenDatabase(path);
}

void SetJetNoteSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> lock(SinkMutex());
    Sink() = std::move(sink);
}

}  // namespace actualiz::engine
