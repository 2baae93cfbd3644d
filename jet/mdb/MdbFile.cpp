#include "jet/mdb/MdbFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "jet/JetText.h"
#include "jet/mdb/Bytes.h"
#include "jet/mdb/RowWalker.h"

namespace actualiz::engine::jet {

namespace fs = std::filesystem;

JetFile::JetFile(const fs::path& file) : file_(file) {
    std::error_code ec;
    size_ = fs::file_size(file, ec);
    if (ec) throw Unreadable(file, "no se puede leer");
    mdb_ = mdb_open(file.c_str(), MDB_NOFLAGS);
    if (!mdb_) throw Unreadable(file, "libmdb no puede abrirlo");
    pageCount_ =
        static_cast<unsigned long>(size_ / static_cast<std::uintmax_t>(mdb_->fmt->pg_size));
    try {
        CheckObjectProperties();
    } catch (...) {
        mdb_close(mdb_);
        throw;
    }
    if (!mdb_read_catalog(mdb_, MDB_ANY)) {
        mdb_close(mdb_);
        throw Unreadable(file, "no se puede leer su catálogo");
    }
}

namespace {

// Whether libmdb can go through an object's property blocks without running away: it steps
// from record to record by each record's stated length and never checks that length, so a
// length of zero loops for ever and one beyond the end reads outside the value. A block
// libmdb does not recognise it skips on its own.
bool SoundProperties(const std::vector<unsigned char>& bytes) {
    const std::size_t size = bytes.size();
    if (size < 4 ||
        (std::memcmp(bytes.data(), "KKD", 4) != 0 && std::memcmp(bytes.data(), "MR2", 4) != 0))
        return true;
    const unsigned char* b = bytes.data();
    std::size_t names = 0;
    bool haveNames = false;
    for (std::size_t pos = 4; pos < size;) {
        if (size - pos < 6) return false;
        const std::size_t length = U32(b + pos);
        if (length < 6 || length > size - pos) return false;
        const unsigned type = U16(b + pos + 4);
        const unsigned char* chunk = b + pos + 6;
        const std::size_t n = length - 6;
        if (type == 0x80) {
            names = 0;
            haveNames = true;
            for (std::size_t p = 0; p < n; ++names) {
                if (n - p < 2) return false;
                const std::size_t l = U16(chunk + p);
                p += 2;
                if (l > n - p) return false;
                p += l;
            }
        } else if (type <= 0x02 && haveNames) {
            if (n < 6) return false;
            std::size_t p = 6 + U16(chunk + 4);
            if (p > n) return false;
            while (p < n) {
                if (n - p < 8) return false;
                const std::size_t record = U16(chunk + p);
                // libmdb stops reading the block at a property it has no name for or whose
                // value goes beyond the block.
                if (U16(chunk + p + 4) >= names || 8 + U16(chunk + p + 6) > n - p) break;
                if (record == 0) return false;
                p += record;
            }
        }
        pos += length;
    }
    return true;
}

}  // namespace

// libmdb reads the properties of every object (MSysObjects.LvProp) while it reads the catalog,
// following each value's chain of long-value rows to its end and then stepping through the
// property records by their lengths: a chain that loops back or leaves the file, or a record
// length of zero, makes it loop and grow until memory runs out. Those values are read first
// here, where such damage fails at once.
void JetFile::CheckObjectProperties() {
    MdbCatalogEntry objects;
    std::memset(&objects, 0, sizeof objects);
    objects.mdb = mdb_;
    objects.object_type = MDB_TABLE;
    objects.table_pg = 2;
    std::snprintf(objects.object_name, sizeof objects.object_name, "%s", "MSysObjects");
    OpenTable table(*this, &objects);
    const int properties = table.ColumnIndex("LvProp");
    if (properties < 0) return;
    RowWalker walker(*this, table);
    while (walker.Next())
        if (!SoundProperties(walker.WholeLongValue(static_cast<unsigned>(properties))))
            throw Unreadable(file_, "propiedades de objetos dañadas");
}

JetFile::~JetFile() {
    mdb_close(mdb_);
}

std::string JetFile::Text(const unsigned char* bytes, std::size_t size) const {
    if (size == 0) return {};
    std::vector<char> out(size * 3 + 16);
    int length = mdb_unicode2ascii(mdb_, reinterpret_cast<const char*>(bytes), size, out.data(),
                                   out.size() - 1);
    if (length < 0) length = 0;
    return std::string(out.data(),
                       std::min<std::size_t>(static_cast<std::size_t>(length), out.size() - 1));
}

std::vector<unsigned char> JetFile::Definition(unsigned long page) const {
    std::vector<unsigned char> out;
    std::set<unsigned long> seen;
    std::size_t size = static_cast<std::size_t>(mdb_->fmt->pg_size);
    while (page != 0) {
        if (!seen.insert(page).second || seen.size() > 4096)
            throw Unreadable(file_, "definición de tabla en bucle");
        if (page >= pageCount_) throw Unreadable(file_, "definición de tabla fuera del archivo");
        if (mdb_read_alt_pg(mdb_, page) != mdb_->fmt->pg_size)
            throw Unreadable(file_, "definición de tabla ilegible");
        const unsigned char* buffer = mdb_->alt_pg_buf;
        if (buffer[0] != MDB_PAGE_TABLE) throw Unreadable(file_, "definición de tabla dañada");
        out.insert(out.end(), buffer + (out.empty() ? 0 : 8), buffer + size);
        page = U32(buffer + 4);
    }
    return out;
}

OpenTable::OpenTable(const JetFile& file, MdbCatalogEntry* entry) {
    const std::string name = entry->object_name;
    table_ = mdb_read_table(entry);
    if (!table_) throw Unreadable(file.file(), "no se puede leer la tabla " + name);
    if (!mdb_read_columns(table_)) {
        mdb_free_tabledef(table_);
        throw Unreadable(file.file(), "no se pueden leer las columnas de " + name);
    }
}

OpenTable::~OpenTable() {
    mdb_free_tabledef(table_);
}

int OpenTable::ColumnIndex(const std::string& name) const {
    for (unsigned i = 0; i < ColumnCount(); ++i)
        if (name == Column(i)->name) return static_cast<int>(i);
    return -1;
}

}  // namespace actualiz::engine::jet
