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
    for (unsigned i = 0; i < table.ColumnCount(); ++i)
        columnsNeeded_ =
            std::max(columnsNeeded_, static_cast<unsigned>(table.Column(i)->col_num) + 1u);
    mdb_rewind_table(table.get());
}

// libmdb's own walk (mdb_fetch_row) passes over a row it cannot split, and so would lose the
// rows written before a fixed field was appended to a table with deleted fixed fields (see
// CrackShortRow): the walk is done here, row by row of each data page as libmdb finds them.
bool RowWalker::Next() {
    MdbTableDef* t = table_.get();
    MdbHandle* mdb = file_.mdb();
    if (!t->cur_pg_num) {
        t->cur_pg_num = 1;
        t->cur_row = 0;
        if (!mdb_read_next_dpg(t)) return false;
    }
    for (;;) {
        const unsigned rows = U16(mdb->pg_buf + mdb->fmt->row_count_offset);
        if (t->cur_row >= rows) {
            t->cur_row = 0;
            if (!mdb_read_next_dpg(t)) return false;
            continue;
        }
        const int number = static_cast<int>(t->cur_row++);
        int start = 0;
        std::size_t size = 0;
        if (mdb_find_row(mdb, number, &start, &size) != 0 || size == 0) continue;
        if (start & 0x4000) continue;  // a deleted row (a moved one's old place)
        start &= 0x1fff;               // the high bits are the row's flags
        const unsigned char* row = mdb->pg_buf + start;
        // The row's own count of columns (deleted ones included); a field appended after the
        // row was written is numbered at or past it.
        rowColumns_ = file_.Jet3() ? row[0] : U16(row);
        // A row without some of the fields (Jet 4) is split here, as Access reads it, without
        // libmdb's warning on the way; any other by libmdb.
        const bool split = rowColumns_ < columnsNeeded_ && CrackShortRow(start, size);
        if (!split && mdb_crack_row(t, start, size, fields_.data()) < 0)
            throw Damaged("fila dañada en " + std::string(t->name));
        return true;
    }
}

// libmdb counts a row's fixed fields as its columns less its variable ones, deleted ones
// included, so on a table with deleted fixed fields it takes a fixed field appended after the row
// was written for one of the row's: it reads its value from the bytes past the row's fixed part,
// or refuses the row when the field's place lies past the row's bytes. Such a row (Jet 4) is split
// here as Access reads it: a field numbered at or past the row's count of columns is not in it.
// False for a row whose counts or offsets run past its bytes.
bool RowWalker::CrackShortRow(int start, std::size_t size) {
    if (file_.Jet3() || size < 3) return false;
    const unsigned char* row = file_.mdb()->pg_buf + start;
    const std::size_t maskSize = (rowColumns_ + 7u) / 8u;
    if (maskSize + 2 > size) return false;
    const unsigned char* mask = row + size - maskSize;
    std::vector<std::size_t> offsets;  // the variable fields' starts, then the end of the data
    if (table_.get()->num_var_cols > 0) {
        if (maskSize + 4 > size) return false;
        const std::size_t countAt = size - maskSize - 2;
        const std::size_t count = U16(row + countAt);
        if (2 * (count + 1) > countAt) return false;
        for (std::size_t i = 0; i <= count; ++i) {
            const std::size_t offset = U16(row + countAt - 2 * (i + 1));
            if (offset > countAt) return false;
            offsets.push_back(offset);
        }
    }
    for (unsigned i = 0; i < table_.ColumnCount(); ++i) {
        const MdbColumn* column = table_.Column(i);
        MdbField& field = fields_[i];
        field = MdbField{};
        field.colnum = static_cast<int>(i);
        field.is_fixed = column->is_fixed;
        field.is_null = 1;
        const auto number = static_cast<unsigned>(column->col_num);
        if (number >= rowColumns_) continue;
        field.is_null = (mask[number / 8] & (1u << (number % 8))) ? 0 : 1;
        std::size_t from = 0, length = 0;
        if (column->is_fixed) {
            from = 2 + static_cast<std::size_t>(column->fixed_offset);
            length = static_cast<std::size_t>(column->col_size);
        } else if (column->var_col_num + 1u < offsets.size()) {
            from = offsets[column->var_col_num];
            const std::size_t to = offsets[column->var_col_num + 1u];
            if (to < from) return false;
            length = to - from;
        } else {
            field.is_null = 1;
            continue;
        }
        if (from + length > size) return false;
        field.start = start + static_cast<int>(from);
        field.value = file_.mdb()->pg_buf + field.start;
        field.siz = static_cast<int>(length);
    }
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
