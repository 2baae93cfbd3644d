#include "jet/mdb/MdbFile.h"

#include <algorithm>
#include <set>

#include "jet/JetText.h"
#include "jet/mdb/Bytes.h"

namespace actualiz::engine::jet {

namespace fs = std::filesystem;

JetFile::JetFile(const fs::path& file) : file_(file) {
    mdb_ = mdb_open(file.c_str(), MDB_NOFLAGS);
    if (!mdb_) throw Unreadable(file, "libmdb no puede abrirlo");
    if (!mdb_read_catalog(mdb_, MDB_ANY)) {
        mdb_close(mdb_);
        throw Unreadable(file, "no se puede leer su catálogo");
    }
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
