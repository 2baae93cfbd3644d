// Real Jet 4 files with many rows for the Jet case of scripts/bench.sh:
//
//   jet_rows FILE OUT ROWS [TABLE]
//
// Copies FILE to OUT (which must not exist) with a new table TABLE (default "Filas": Id Long,
// Nombre Text(50), no index) holding ROWS rows, written through the Jet writer: the table made by
// CreateTable, each row encoded by EncodeRow and put on the table's last data page, a new page
// from the allocation joined to the table's maps when that one is full, then the row count. The
// rows go in one pass rather than one InsertRow each (which copies the whole file per row), so a
// file of 100 000 rows takes a second. The result must pass `actualiz-cli check`.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include <unicode/unistr.h>

#include "engine/EngineError.h"
#include "jet/format/DataPage.h"
#include "jet/format/PageFile.h"
#include "jet/format/TableDef.h"
#include "jet/write/NewTable.h"
#include "jet/write/PageAllocation.h"
#include "jet/write/Rows.h"

namespace {

using namespace actualiz::engine::jet;

constexpr std::size_t kDefRowCount = 16;  // the definition's row count, on its first page
constexpr std::uint16_t kMaxSlots = 255;  // a row's number is one byte of its pointer

std::u16string Utf16(const std::string& text) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
    return std::u16string(u.getBuffer(), u.getBuffer() + u.length());
}

// A new data page of the table, on both of its maps.
std::uint32_t NewDataPage(format::PageFile& file, const format::TableDef& def) {
    const std::uint32_t page = write::AllocatePage(file);
    write::InitDataPage(file, page, def.firstPage);
    write::SetMapped(file, format::PageRow::From(def.usageMap), page, true);
    write::SetMapped(file, format::PageRow::From(def.freeMap), page, true);
    return page;
}

void Fill(format::PageFile& file, const std::string& tableName, long rows) {
    write::NewTable table;
    table.name = Utf16(tableName);
    table.created = 45000.5;
    table.columns.push_back({u"Id", format::kLong, 0});
    table.columns.push_back({u"Nombre", format::kText, 50});
    const std::uint32_t tablePage = write::CreateTable(file, table);
    const format::TableDef def = format::ReadTableDef(file, tablePage);

    std::uint32_t page = 0;
    for (long r = 0; r < rows; ++r) {
        // Short values, so that 100 000 rows stay within what a map of type 0 reaches.
        const std::u16string name(1, static_cast<char16_t>(u'a' + r % 26));
        const std::vector<unsigned char> row =
            write::EncodeRow(def, {{"Id", write::LongBytes(static_cast<std::int32_t>(r))},
                                   {"Nombre", write::TextBytes(name)}});
        if (page != 0) {
            const format::DataPageHeader header = format::ReadDataPageHeader(file.Page(page));
            if (header.rowCount >= kMaxSlots || header.freeSpace < row.size() + 2) page = 0;
        }
        if (page == 0) page = NewDataPage(file, def);
        write::AddRowToPage(file, page, row);
    }
    unsigned char* count = file.MutablePage(def.firstPage).data() + kDefRowCount;
    for (int i = 0; i < 4; ++i) count[i] = static_cast<unsigned char>(rows >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::cerr << "uso: jet_rows ARCHIVO SALIDA FILAS [TABLA]\n";
        return 2;
    }
    try {
        if (std::filesystem::exists(argv[2])) {
            std::cerr << argv[2] << " ya existe\n";
            return 2;
        }
        format::PageFile file = format::PageFile::Open(argv[1]);
        Fill(file, argc == 5 ? argv[4] : "Filas", std::stol(argv[3]));
        file.Save(argv[2]);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
