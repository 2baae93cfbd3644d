#include "jet/JetReader.h"

#include <cstring>
#include <fstream>

#include "engine/EngineError.h"
#include "jet/JetReadLimits.h"
#include "jet/JetText.h"

#ifdef ACTUALIZ_HAVE_LIBMDB
#include "jet/mdb/DocumentBuilder.h"
#include "jet/mdb/MdbFile.h"
#include "jet/mdb/RowWalker.h"
#endif

namespace actualiz::engine {

namespace fs = std::filesystem;
using jet::Unreadable;

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

JetContents ReadJetFileHere(const fs::path& file, const JetReadOptions& options, JetRowSink* sink) {
    std::error_code ec;
    if (!fs::exists(file, ec)) throw MakeError(err::kFileNotFound, file.string());
    if (fs::is_directory(file, ec)) throw MakeError(err::kCannotOpenFile, file.string());
    if (!IsJetFile(file)) throw Unreadable(file, "no es un archivo Jet");
    jet::JetFile jet(file);
    jet::DocumentBuilder builder(jet, options, sink);
    return builder.Build();
}

JetTableRows ReadJetTable(const fs::path& file, const std::string& table) {
    std::error_code ec;
    if (!fs::exists(file, ec)) throw MakeError(err::kFileNotFound, file.string());
    if (!IsJetFile(file)) throw Unreadable(file, "no es un archivo Jet");
    jet::JetFile jet(file);
    MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(jet.mdb(), table.c_str());
    if (!entry || entry->object_type != MDB_TABLE) throw MakeError(err::kItemNotFound, table);
    jet::OpenTable open(jet, entry);
    JetTableRows out;
    for (unsigned i = 0; i < open.ColumnCount(); ++i) out.columns.push_back(open.Column(i)->name);
    jet::RowWalker walker(jet, open);
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

JetContents ReadJetFileHere(const fs::path& file, const JetReadOptions&, JetRowSink*) {
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

}  // namespace actualiz::engine
