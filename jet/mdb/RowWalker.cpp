#include "jet/mdb/RowWalker.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_set>

#include "engine/ClassicDates.h"
#include "jet/JetText.h"
#include "jet/mdb/Bytes.h"

namespace actualiz::engine::jet {

namespace {

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

}  // namespace

RowWalker::RowWalker(const JetFile& file, const OpenTable& table)
    : file_(file), table_(table), fields_(table.ColumnCount()) {
    for (unsigned i = 0; i < table.ColumnCount(); ++i) {
        table.Column(i)->bind_ptr = nullptr;
        table.Column(i)->len_ptr = nullptr;
    }
    mdb_rewind_table(table.get());
}

bool RowWalker::Next() {
    MdbTableDef* t = table_.get();
    if (!mdb_fetch_row(t)) return false;
    int start = 0;
    std::size_t size = 0;
    if (mdb_find_row(file_.mdb(), static_cast<int>(t->cur_row) - 1, &start, &size) != 0)
        throw Unreadable(file_.file(), "fila ilegible en " + std::string(t->name));
    start &= 0x1fff;  // the high bits are the row's flags
    if (mdb_crack_row(t, start, size, fields_.data()) < 0)
        throw Damaged("fila dañada en " + std::string(t->name));
    // The row's own count of columns (deleted ones included); a field appended after the row was
    // written is numbered at or past it.
    const auto* row = static_cast<const unsigned char*>(file_.mdb()->pg_buf) + start;
    rowColumns_ = file_.Jet3() ? row[0] : U16(row);
    return true;
}

EngineError RowWalker::Damaged(const std::string& what) const {
    return Unreadable(file_.file(), what);
}

Value RowWalker::Get(unsigned i) const {
    const MdbColumn* column = table_.Column(i);
    // libmdb fills the fields in column order.
    if (i >= fields_.size() || fields_[i].colnum != static_cast<int>(i))
        throw Damaged("fila dañada en " + std::string(table_.get()->name));
    const MdbField* field = &fields_[i];
    // A field the row does not have (appended after it was written) is Null, a Boolean False, as
    // Access reads it. libmdb would take it from the bytes after the row's fixed part and its
    // null mask when the table has deleted fixed fields: it counts a row's fixed fields as its
    // columns less its variable ones, deleted ones included.
    if (static_cast<unsigned>(column->col_num) >= rowColumns_) {
        if (column->col_type == MDB_BOOL) return 0LL;
        return std::monostate{};
    }
    // A Boolean is kept in the null mask: set is True.
    if (column->col_type == MDB_BOOL) return field->is_null ? 0LL : -1LL;
    if (field->is_null || !field->value) return std::monostate{};
    const auto* p = static_cast<const unsigned char*>(field->value);
    std::size_t size = field->siz > 0 ? static_cast<std::size_t>(field->siz) : 0;
    auto need = [&](std::size_t n) {
        if (size < n)
            throw Damaged("valor dañado en " + std::string(table_.get()->name) + "." +
                          column->name);
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

std::vector<unsigned char> RowWalker::WholeLongValue(unsigned i) const {
    if (i >= fields_.size() || fields_[i].colnum != static_cast<int>(i))
        throw Damaged("fila dañada en " + std::string(table_.get()->name));
    const MdbField& field = fields_[i];
    if (static_cast<unsigned>(table_.Column(i)->col_num) >= rowColumns_)
        return {};  // appended after the row
    if (field.is_null || !field.value || field.siz <= 0) return {};
    return LongValue(static_cast<const unsigned char*>(field.value),
                     static_cast<std::size_t>(field.siz), table_.Column(i)->name, true);
}

// Stored in the row when short, else in long-value pages: one row, or a chain of rows each
// starting with the pointer to the next.
std::vector<unsigned char> RowWalker::LongValue(const unsigned char* header, std::size_t size,
                                                const char* column, bool whole) const {
    std::vector<unsigned char> out;
    if (size < 12) return out;
    std::uint32_t word = U32(header);
    std::size_t length = word & 0x3FFFFFFF;
    if (word & 0x80000000) {
        out.assign(header + 12, header + size);
        return out;
    }
    auto fail = [&]() {
        return Damaged("valor largo ilegible en " + std::string(table_.get()->name) + "." + column);
    };
    // No value is longer than the file, and every row of a chain is on a page of the file and
    // met once: a damaged chain stops here instead of growing until memory runs out. The chain is
    // followed to its end, as libmdb follows it, so that a loop after the value's length is seen
    // too.
    if (length > file_.Size()) throw fail();
    auto onAPage = [&](std::uint32_t pgRow) { return (pgRow >> 8) < file_.PageCount(); };
    std::uint32_t pgRow = U32(header + 4);
    void* buffer = nullptr;
    int offset = 0;
    std::size_t rowSize = 0;
    if (word & 0x40000000) {
        if (!onAPage(pgRow) ||
            mdb_find_pg_row(file_.mdb(), static_cast<int>(pgRow), &buffer, &offset, &rowSize) != 0)
            throw fail();
        const auto* b = static_cast<const unsigned char*>(buffer) + offset;
        out.assign(b, b + (whole ? rowSize : std::min(rowSize, length)));
        return out;
    }
    std::unordered_set<std::uint32_t> seen;
    while (pgRow != 0) {
        if (!onAPage(pgRow) || !seen.insert(pgRow).second) throw fail();
        if (mdb_find_pg_row(file_.mdb(), static_cast<int>(pgRow), &buffer, &offset, &rowSize) !=
                0 ||
            rowSize < 4)
            throw fail();
        const auto* b = static_cast<const unsigned char*>(buffer) + offset;
        std::uint32_t next = U32(b);
        if (whole)
            out.insert(out.end(), b + 4, b + rowSize);
        else if (out.size() < length)
            out.insert(out.end(), b + 4, b + std::min(rowSize, 4 + length - out.size()));
        pgRow = next;
    }
    return out;
}

std::vector<SystemRow> SystemRows(const JetFile& file, const char* name) {
    std::vector<SystemRow> rows;
    MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(file.mdb(), name);
    if (!entry) return rows;
    OpenTable table(file, entry);
    RowWalker walker(file, table);
    while (walker.Next()) {
        SystemRow row;
        for (unsigned i = 0; i < table.ColumnCount(); ++i)
            row[table.Column(i)->name] = walker.Get(i);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string TextOf(const SystemRow& row, const std::string& column) {
    auto it = row.find(column);
    if (it == row.end()) return {};
    if (auto* s = std::get_if<std::string>(&it->second)) return *s;
    return {};
}

std::optional<long long> NumberOf(const SystemRow& row, const std::string& column) {
    auto it = row.find(column);
    if (it == row.end()) return std::nullopt;
    if (auto* i = std::get_if<long long>(&it->second)) return *i;
    if (auto* d = std::get_if<double>(&it->second)) return static_cast<long long>(*d);
    return std::nullopt;
}

}  // namespace actualiz::engine::jet
