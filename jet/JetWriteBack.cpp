#include "jet/JetWriteBack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>

#include "engine/EngineError.h"
#include "engine/SchemaCompare.h"
#include "engine/SchemaModel.h"
#include "jet/JetQueryRows.h"
#include "jet/JetReader.h"
#include "jet/check/FileCheck.h"
#include "jet/format/PageFile.h"
#include "jet/read/Catalog.h"
#include "jet/write/Changes.h"
#include "platform/FileInUse.h"
#include "platform/FileSystem.h"
#include "platform/FolderLock.h"

namespace actualiz::engine {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// The differences between two structures, leaving out queries whose texts differ only in blanks:
// the query catalog keeps every text on one line, and the file keeps each clause on its own.
std::vector<SchemaDifference> StructureDifferences(const DatabaseSchema& a,
                                                   const DatabaseSchema& b) {
    std::vector<SchemaDifference> differences = CompareSchemas(a, b);
    std::erase_if(differences, [](const SchemaDifference& d) {
        if (d.kind != SchemaDifference::Kind::Query ||
            d.change != SchemaDifference::Change::Different)
            return false;
        const auto* model = std::get_if<QuerySchema>(&d.model);
        const auto* old = std::get_if<QuerySchema>(&d.old);
        return model && old && model->name == old->name &&
               jet::SameSqlUpToLayout(model->sql, old->sql);
    });
    return differences;
}

// What a stand-in was made from: the file's bytes (kept on disk, in the stand-in's folder), the
// structure its import had and its rows.
struct Reading {
    fs::path read;
    DatabaseSchema schema;
    std::shared_ptr<const JetRowDigests> rows;
    std::shared_ptr<platform::RunFolder> folder;  // the stand-in's, held while it is in use
};

// A value's part of its row's digest: FNV-1a over the field's name, the value's kind and its
// bytes (a text's characters, a number's eight bytes, a binary value's bytes), then mixed (the
// finaliser of splitmix64) so that the sum over a row's fields keeps every bit of each.
std::uint64_t Mixed(std::uint64_t h) {
    h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ULL;
    h = (h ^ (h >> 27)) * 0x94d049bb133111ebULL;
    return h ^ (h >> 31);
}

constexpr std::uint64_t kFnvStart = 0xcbf29ce484222325ULL;

std::uint64_t Fnv(std::uint64_t h, std::string_view bytes) {
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return h;
}

// Where a field's values start: the hash of its name (and a NUL).
std::uint64_t FieldStart(const std::string& field) {
    return Fnv(Fnv(kFnvStart, field), std::string_view("\0", 1));
}

// start: the field's FieldStart.
std::uint64_t ValueDigest(std::uint64_t start, const Value& value) {
    if (IsNull(value)) return 0;
    std::uint64_t h = start;
    auto addNumber = [&h](char kind, const auto& number) {
        char bytes[1 + sizeof number];
        bytes[0] = kind;
        std::memcpy(bytes + 1, &number, sizeof number);
        h = Fnv(h, std::string_view(bytes, sizeof bytes));
    };
    if (const auto* text = std::get_if<std::string>(&value)) {
        h = Fnv(Fnv(h, "s"), *text);
    } else if (const auto* integer = std::get_if<long long>(&value)) {
        addNumber('i', static_cast<std::int64_t>(*integer));
    } else if (const auto* real = std::get_if<double>(&value)) {
        addNumber('f', *real);
    } else if (const auto* binary = std::get_if<std::vector<unsigned char>>(&value)) {
        h = Fnv(Fnv(h, "b"),
                std::string_view(reinterpret_cast<const char*>(binary->data()), binary->size()));
    }
    return Mixed(h);
}

std::mutex& ReadingsMutex() {
    static std::mutex m;
    return m;
}

std::map<fs::path, Reading>& Readings() {
    static std::map<fs::path, Reading> readings;
    return readings;
}

// A private folder of our own that goes with the object, whatever happens; a killed run's is
// removed by a later run (platform::RunFolder).
std::unique_ptr<platform::RunFolder> JetRunFolder() {
    try {
        return std::make_unique<platform::RunFolder>("actualiz-jet-");
    } catch (const Error&) {
        throw MakeError(err::kDiskIo, fs::temp_directory_path().string());
    }
}

class PrivateFolder {
  public:
    PrivateFolder() : folder_(JetRunFolder()) {}
    const fs::path& path() const { return folder_->path(); }

  private:
    std::unique_ptr<platform::RunFolder> folder_;
};

EngineError NotChanged(const fs::path& file, const std::string& why) {
    return EngineError(err::kInvalidOperation, "No se ha cambiado " + file.string() + ": " + why);
}

// When some field of a table the file had is not in the copy (deleted on purpose): for each
// such table, the fields it kept. Nothing when every field is still there.
std::optional<JetRowDigester::Fields> FieldsKept(const JetRowDigests& before,
                                                 const JetRowDigests& after) {
    JetRowDigester::Fields kept;
    for (const auto& [name, table] : before) {
        const auto now = after.find(name);
        if (now == after.end()) continue;
        const std::vector<std::string>& fields = now->second.fields;
        for (const std::string& field : table.fields)
            if (std::find(fields.begin(), fields.end(), field) == fields.end()) {
                std::vector<std::string>& still = kept[name];
                for (const std::string& f : table.fields)
                    if (std::find(fields.begin(), fields.end(), f) != fields.end())
                        still.push_back(f);
                break;
            }
    }
    if (kept.empty()) return std::nullopt;
    return kept;
}

// Each row's digest in one table of a file, in the order read; of the fields `only` names.
std::vector<std::uint64_t> RowDigestsOf(const fs::path& file, const std::string& table,
                                        const JetRowDigester::Fields& only) {
    JetReadOptions options;
    options.includeHiddenQueries = true;
    JetRowDigester digester(only, table);
    ReadJetFileRows(file, options, digester);
    return digester.Listed();
}

// Every row of every table the file had (`before`) is in the copy (`after`), in the same order,
// with the same values; the fields the copy has besides hold Null (a Null adds nothing to a row's
// digest). The first difference, or "": when the digests of a table disagree, both files are read
// again for that table's rows one by one, to name the first that differs.
std::string RowsDiffer(const JetRowDigests& before, const JetRowDigests& after,
                       const fs::path& file, const fs::path& copy,
                       const JetRowDigester::Fields& only) {
    for (const auto& [name, table] : before) {
        const auto now = after.find(name);
        if (now == after.end()) return "falta la tabla «" + name + "»";
        if (table.rows != now->second.rows)
            return "la tabla «" + name + "» tiene " + std::to_string(now->second.rows) +
                   " filas en lugar de " + std::to_string(table.rows);
        if (table.sequence == now->second.sequence) continue;
        const std::vector<std::uint64_t> was = RowDigestsOf(file, name, only);
        const std::vector<std::uint64_t> is = RowDigestsOf(copy, name, {});
        std::size_t r = 0;
        while (r < was.size() && r < is.size() && was[r] == is[r]) ++r;
        return "la fila " + std::to_string(r + 1) + " de la tabla «" + name +
               "» no se lee igual o tiene un valor en un campo nuevo";
    }
    return "";
}

std::string Listed(const std::vector<SchemaDifference>& differences) {
    std::string out;
    for (const SchemaDifference& d : differences)
        out += (out.empty() ? "" : ", ") + (d.table.empty() ? "" : d.table + ".") + d.name;
    return out;
}

// What the verification read of the saved copy: the structure of its import, the digests of its
// rows and what the import could not carry; `withRows` when the import holds the rows too (it
// can then stand as the file's reading copy).
struct Verified {
    fs::path import;
    bool withRows = false;
    DatabaseSchema schema;
    std::shared_ptr<const JetRowDigests> rows;
    std::vector<std::string> notes;
};

// Whether a table or a field of the document has a validation rule.
bool HasRules(const json& document) {
    for (const json& t : document.at("tables")) {
        if (t.contains("validationRule")) return true;
        for (const json& f : t.at("fields"))
            if (f.contains("validationRule")) return true;
    }
    return false;
}

// The saved copy, read from the disk again as anyone would read it: it holds the bytes written
// (on which our checker passed before they were saved), our catalog reads, its import has the
// stand-in's structure, every row the file had reads back the same. The copy is read once, its
// rows going into the digests as they are read, and its structure into an import without rows:
// the rows are in the stand-in already, and the digests prove them the file's. Only where the
// file has validation rules are the rows imported too, since rows that break a rule leave the
// rules out of any import of the file (the structure then depends on the rows). The file's own
// rows are those read when the stand-in was made (the file has not changed since: its bytes were
// compared before writing).
Verified Verify(const fs::path& jetFile, const fs::path& copy, const jet::format::PageFile& written,
                const DatabaseSchema& standIn, const JetRowDigests& rowsBefore,
                const fs::path& folder) {
    // Compared as it is read, not held: its catalog is then that of the bytes written.
    if (!jet::format::FileHolds(copy, written))
        throw NotChanged(jetFile, "la copia escrita no se lee como se escribió.");
    jet::format::ReadCatalog(written);
    JetReadOptions options;
    options.includeHiddenQueries = true;  // as the stand-in and the reading copies have them
    Verified verified;
    verified.import = folder / "copia.mdb";
    JetRowDigester digester;
    JetContents contents = ReadJetFileRows(copy, options, digester);
    verified.rows = std::make_shared<const JetRowDigests>(digester.Digests());
    if (HasRules(contents.document)) {
        verified.withRows = true;
        ImportJetFile(copy, verified.import.string(), options, &verified.notes)->Close();
    } else {
        ImportJetContents(std::move(contents), verified.import.string(), &verified.notes)->Close();
    }
    // A deleted field's values go with it, and a row's digest with them: the file (unchanged
    // since the stand-in was made) is read again for the digests of the fields its tables kept.
    std::string moved;
    if (const std::optional<JetRowDigester::Fields> kept = FieldsKept(rowsBefore, *verified.rows)) {
        JetRowDigester without(*kept);
        ReadJetFileRows(jetFile, options, without);
        moved = RowsDiffer(without.Digests(), *verified.rows, jetFile, copy, *kept);
    } else {
        moved = RowsDiffer(rowsBefore, *verified.rows, jetFile, copy, {});
    }
    verified.schema = ReadSchemaAt(verified.import.string());
    const std::vector<SchemaDifference> differences =
        StructureDifferences(standIn, verified.schema);
    if (!differences.empty())
        throw NotChanged(jetFile,
                         "la copia escrita no se lee como debe (" + Listed(differences) + ").");
    if (!moved.empty()) throw NotChanged(jetFile, "en la copia escrita " + moved + ".");
    return verified;
}

// The bytes into the new file fd (beside the original under a private name), flushed to disk and
// closed. 61 when the disk is full, 75 otherwise.
void SaveBeside(const jet::format::PageFile& pages, const fs::path& jetFile, int fd) {
    const int failed = pages.WriteTo(fd);
    const int synced = failed == 0 ? ::fsync(fd) : -1;
    const int error = failed != 0 ? failed : errno;
    if (::close(fd) != 0 || synced != 0)
        throw error == ENOSPC ? platform::DiskFull(jetFile.string())
                              : platform::PathFileAccessError(jetFile.string());
}

// A rename is durable once the folder holding it is flushed.
void SyncFolder(const fs::path& file) {
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

JetRowDigester::JetRowDigester(Fields only, std::string listed)
    : only_(std::move(only)), listedTable_(std::move(listed)) {}

void JetRowDigester::Table(const json& table) {
    const std::string name = table.at("name").get<std::string>();
    table_ = &digests_[name];
    *table_ = JetTableDigests{};
    for (const json& f : table.at("fields"))
        table_->fields.push_back(f.at("name").get<std::string>());
    const auto only = only_.find(name);
    starts_.clear();
    for (const std::string& field : table_->fields) {
        const bool counts =
            only == only_.end() ||
            std::find(only->second.begin(), only->second.end(), field) != only->second.end();
        starts_.push_back(counts ? std::optional<std::uint64_t>(FieldStart(field)) : std::nullopt);
    }
    listing_ = name == listedTable_;
    if (listing_) listed_.clear();
}

void JetRowDigester::Row(const std::vector<Value>& values) {
    if (!table_) return;
    std::uint64_t digest = 0;
    for (std::size_t i = 0; i < starts_.size() && i < values.size(); ++i)
        if (starts_[i]) digest += ValueDigest(*starts_[i], values[i]);
    ++table_->rows;
    table_->sequence = Mixed(table_->sequence ^ digest);
    if (listing_) listed_.push_back(digest);
}

json JetRowDigester::Summary() const {
    json tables = json::array();
    for (const auto& [name, table] : digests_)
        tables.push_back({name, table.fields, table.rows, table.sequence});
    return {{"tables", std::move(tables)}, {"listed", listed_}};
}

void JetRowDigester::TakeSummary(const json& summary) {
    digests_.clear();
    for (const json& t : summary.at("tables"))
        digests_[t.at(0).get<std::string>()] =
            JetTableDigests{t.at(1).get<std::vector<std::string>>(), t.at(2).get<std::uint64_t>(),
                            t.at(3).get<std::uint64_t>()};
    listed_ = summary.at("listed").get<std::vector<std::uint64_t>>();
    table_ = nullptr;
}

bool IsJet4File(const fs::path& file) {
    if (!IsJetFile(file)) return false;
    std::ifstream in(file, std::ios::binary);
    char header[0x15] = {};
    in.read(header, sizeof header);
    return in.gcount() == sizeof header && header[0x14] == 1;
}

void RefuseJetFileInUse(const fs::path& jetFile) {
    if (platform::DatabaseInUse(jetFile)) throw MakeError(err::kFileInUse, jetFile.string());
}

fs::path JetWritableCopy(const fs::path& jetFile) {
    RefuseJetFileInUse(jetFile);
    Reading reading;
    // Its own folder: it goes with the stand-in, and nobody else can read it.
    reading.folder = JetRunFolder();
    const fs::path standIn = reading.folder->path() / jetFile.filename();
    // The bytes read wait beside it, not in memory, while the stand-in is in use.
    reading.read = reading.folder->path() / (jetFile.filename().string() + ".leido");
    if (!std::ifstream(jetFile, std::ios::binary))
        throw MakeError(err::kCannotOpenFile, jetFile.string());
    std::error_code ec;
    fs::copy_file(jetFile, reading.read, ec);
    if (ec)
        throw MakeError(ec == std::errc::no_space_on_device ? err::kDiskFull : err::kDiskIo,
                        reading.read.string());
    const std::optional<jet::format::BytesDigest> read = jet::format::DigestOfFile(reading.read);
    if (!read) throw MakeError(err::kDiskIo, reading.read.string());
    // On a failure the folder goes with `reading`.
    std::optional<JetKnownReading> known = KnownJetReading(jetFile, *read);
    if (known) {
        // The reading copy of these very bytes is the import the stand-in would be.
        fs::copy_file(known->copy, standIn);
        fs::permissions(standIn, fs::perms::owner_read | fs::perms::owner_write);
        reading.rows = known->rows;
    } else {
        JetReadOptions options;
        options.includeHiddenQueries = true;  // as the reading copies have them
        JetRowDigester digester;
        ImportJetFile(jetFile, standIn.string(), options, nullptr, &digester)->Close();
        reading.rows = std::make_shared<const JetRowDigests>(digester.Digests());
    }
    reading.schema = ReadSchemaAt(standIn.string());
    // The file read is the file kept: someone writing it meanwhile would have torn the import.
    if (!jet::format::SameFiles(jetFile, reading.read))
        throw MakeError(err::kFileInUse, jetFile.string());
    std::lock_guard<std::mutex> lock(ReadingsMutex());
    Readings()[standIn] = std::move(reading);
    return standIn;
}

void DiscardJetWritableCopy(const fs::path& standIn) {
    {
        std::lock_guard<std::mutex> lock(ReadingsMutex());
        Readings().erase(standIn);  // its folder with it
    }
    std::error_code ec;
    fs::remove_all(standIn.parent_path(), ec);
}

void WriteBackJetFile(const fs::path& jetFile, const fs::path& standIn) {
    const Reading* reading = nullptr;
    {
        std::lock_guard<std::mutex> lock(ReadingsMutex());
        auto it = Readings().find(standIn);
        if (it == Readings().end()) throw MakeError(err::kObjectClosed, standIn.string());
        reading = &it->second;
    }
    const DatabaseSchema now = ReadSchemaAt(standIn.string());
    const std::vector<SchemaDifference> differences = StructureDifferences(now, reading->schema);
    if (differences.empty()) return;

    RefuseJetFileInUse(jetFile);
    // The file changes only if it still holds the bytes read when the stand-in was made; those,
    // waiting in the private folder, are what the writer changes.
    if (!jet::format::SameFiles(jetFile, reading->read))
        throw NotChanged(jetFile, "otro programa lo cambió mientras se actualizaba.");
    jet::format::PageFile pages = jet::format::PageFile::OpenPrivate(reading->read, jetFile);
    if (!pages.IsJet4())
        throw NotChanged(jetFile, std::string("es un archivo de ") +
                                      (pages.Version() == 0 ? "Jet 3 (Access 97)"
                                                            : "Access 2007 o posterior (ACE)") +
                                      ", que este programa solo lee; solo se cambian archivos "
                                      "de Jet 4 (Access 2000-2003).");

    const std::vector<jet::write::Change> changes = jet::write::ChangesFor(differences);
    const std::vector<const jet::write::Change*> refused = jet::write::WhatCannotBeWritten(changes);
    if (!refused.empty()) {
        std::string what;
        for (const jet::write::Change* c : refused) what += (what.empty() ? "" : "; ") + c->what;
        throw NotChanged(jetFile,
                         "aún no se puede escribir en un archivo de Access (Jet): " + what + ".");
    }
    for (const jet::write::Change& change : changes) {
        try {
            jet::write::Apply(pages, change);
        } catch (const Error& e) {
            throw NotChanged(jetFile, "al " + change.what + ": " + e.description());
        }
    }
    const jet::check::CheckResult check = jet::check::CheckFile(pages);
    if (!check.Sound()) {
        // Said apart: a file that fails the check before any change is not the writer's doing.
        const jet::check::CheckResult before =
            jet::check::CheckFile(jet::format::PageFile::OpenPrivate(reading->read, jetFile));
        const jet::check::CheckResult& shown = before.Sound() ? check : before;
        throw NotChanged(
            jetFile, std::string(before.Sound() ? "lo escrito no pasa la comprobación"
                                                : "el archivo no pasa la comprobación "
                                                  "(actualiz-cli check) ya antes de cambiarlo") +
                         " (" + shown.problems.front().where + ": " + shown.problems.front().text +
                         ").");
    }

    fs::path temporaryPath;
    const int fd = platform::CreateTemporaryBeside(jetFile, temporaryPath);
    if (fd < 0) throw platform::PathFileAccessError(jetFile.string());
    // Whatever fails from here on, the copy goes.
    platform::TemporaryFile temporary(temporaryPath);
    SaveBeside(pages, jetFile, fd);
    PrivateFolder folder;
    Verified verified = Verify(jetFile, temporaryPath, pages, now, *reading->rows, folder.path());
    // The last look before the file is replaced: the application may have opened it meanwhile.
    RefuseJetFileInUse(jetFile);
    if (!jet::format::SameFiles(jetFile, reading->read))
        throw NotChanged(jetFile, "otro programa lo cambió mientras se actualizaba.");
    struct stat st {};
    if (::stat(jetFile.c_str(), &st) == 0) ::chmod(temporaryPath.c_str(), st.st_mode & 07777);
    if (platform::CommitTemporary(temporaryPath, jetFile, /*replaceExisting=*/true) != 0)
        throw platform::PathFileAccessError(jetFile.string());
    temporary.Committed();
    SyncFolder(jetFile);
    if (verified.withRows)
        AdoptJetReadingCopy(jetFile, verified.import, jet::format::DigestOf(pages),
                            std::move(verified.rows), verified.notes);
    RememberWrittenJetStructure(jetFile, std::move(verified.schema));
}

}  // namespace actualiz::engine
