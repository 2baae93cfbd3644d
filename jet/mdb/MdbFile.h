#pragma once

// A Jet file and its tables as libmdb (mdbtools) opens them, each freed with its object.

#include <filesystem>
#include <string>
#include <vector>

// mdbtools.h includes glib inside its extern "C" block, and glib has C++ templates: glib must be
// seen first, outside that block, so that its include guards make the inner include a no-op.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

namespace actualiz::engine::jet {

// The open file. 3343 when libmdb cannot open it or read its catalog.
class JetFile {
  public:
    explicit JetFile(const std::filesystem::path& file);
    ~JetFile();
    JetFile(const JetFile&) = delete;
    JetFile& operator=(const JetFile&) = delete;

    MdbHandle* mdb() const { return mdb_; }
    const std::filesystem::path& file() const { return file_; }
    bool Jet3() const { return mdb_->f->jet_version == MDB_VER_JET3; }

    // The file's size in bytes and in pages: no page number, count or length read from a sound
    // file goes beyond them.
    std::uintmax_t Size() const { return size_; }
    unsigned long PageCount() const { return pageCount_; }

    // Text of the file's character data (UCS-2 or compressed Unicode for Jet 4, the code page for
    // Jet 3) as UTF-8.
    std::string Text(const unsigned char* bytes, std::size_t size) const;

    // The whole definition of a table: its first page and the pages chained from it, each after
    // its 8-byte header.
    std::vector<unsigned char> Definition(unsigned long page) const;

  private:
    void CheckObjectProperties();

    std::filesystem::path file_;
    MdbHandle* mdb_ = nullptr;
    std::uintmax_t size_ = 0;
    unsigned long pageCount_ = 0;
};

// A table opened for reading its rows.
class OpenTable {
  public:
    OpenTable(const JetFile& file, MdbCatalogEntry* entry);
    ~OpenTable();
    OpenTable(const OpenTable&) = delete;
    OpenTable& operator=(const OpenTable&) = delete;

    MdbTableDef* get() const { return table_; }
    unsigned ColumnCount() const { return table_->num_cols; }
    MdbColumn* Column(unsigned i) const {
        return static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, i));
    }
    // -1 when the table has no such column.
    int ColumnIndex(const std::string& name) const;

  private:
    MdbTableDef* table_ = nullptr;
};

}  // namespace actualiz::engine::jet
