#include "jet/mdb/TableDefinition.h"

#include <algorithm>

#include "jet/JetText.h"
#include "jet/mdb/Bytes.h"

namespace actualiz::engine::jet {

namespace {

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

}  // namespace

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

}  // namespace actualiz::engine::jet
