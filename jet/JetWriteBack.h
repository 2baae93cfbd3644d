#pragma once

// Real Jet 4 files changed in place. A Jet file opened for writing (engine/ForeignFiles.h,
// ForeignFileWriting) stands as a writable engine database: an import of the file into a private
// folder, on which the commands run as on any database. When the writing ends, the structure the
// stand-in now has is compared with the one the file was read as, and exactly that difference is
// written into the file:
//
//  - refused before anything is written: a file of another version than Jet 4 (Jet 3, ACE: they
//    are only read), a file in use by another program (3045: a lock held on its .ldb beside it
//    or on the file), a file changed by someone else since it was read, a change the writer
//    cannot make yet (3219, each named);
//  - written on a copy of the pages in memory, then saved beside the file under a private name
//    and flushed, and verified there: our checker passes, the import of the copy has the
//    stand-in's structure, and every row of every table the file had reads back as it was;
//  - only then renamed over the file (and the folder flushed). Any failure leaves the file as it
//    was and no copy behind. Nothing differs: nothing is written, the file stays byte for byte.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/SchemaModel.h"
#include "jet/JetReader.h"
#include "jet/format/PageFile.h"

namespace actualiz::engine {

// The rows of a Jet file as a reading gave them: per table, its fields' names, how many rows it
// has and one digest of all of them in their order. A row's digest is the sum over its fields of
// a 64-bit hash of the field's name and value; a Null adds nothing, so a row keeps its digest when
// fields holding Null are added to it. The rows' digests are folded one after another by a
// mixing that is a bijection at each step, so two sequences that differ in one row never agree.
struct JetTableDigests {
    std::vector<std::string> fields;
    std::uint64_t rows = 0;
    std::uint64_t sequence = 0;
};
using JetRowDigests = std::map<std::string, JetTableDigests>;

// A reading's sink (JetRowSink) that takes the digests of the rows it is given, and nothing else.
// `only` names, per table, the fields that count (all of a table it does not name); the digest of
// each row of the table `listed` is also kept apart, in order, for finding the first row that
// differs. A table given again (a reading that starts over) starts again.
class JetRowDigester : public JetRowSink {
  public:
    using Fields = std::map<std::string, std::vector<std::string>>;
    explicit JetRowDigester(Fields only = {}, std::string listed = {});
    void Table(const nlohmann::json& table) override;
    void Row(const std::vector<Value>& values) override;
    // Given straight to a reading, it digests the rows in the reading child.
    bool TakesRowsInChild() const override { return true; }
    nlohmann::json Summary() const override;
    void TakeSummary(const nlohmann::json& summary) override;

    const JetRowDigests& Digests() const { return digests_; }
    const std::vector<std::uint64_t>& Listed() const { return listed_; }

  private:
    Fields only_;
    std::string listedTable_;
    JetRowDigests digests_;
    std::vector<std::uint64_t> listed_;
    JetTableDigests* table_ = nullptr;
    bool listing_ = false;
    std::vector<std::optional<std::uint64_t>> starts_;  // of the fields that count
};

// The reading copy (JetReadingCopy) made of the bytes of the file with this digest, if there is
// one, with the digests of the rows it was made from. The stand-in of a file the process has
// already read is a copy of it.
struct JetKnownReading {
    std::filesystem::path copy;
    std::shared_ptr<const JetRowDigests> rows;
};
std::optional<JetKnownReading> KnownJetReading(const std::filesystem::path& jetFile,
                                               const jet::format::BytesDigest& bytes);

// After a write-back: `import`, an import of the bytes the file now holds (with its rows, hidden
// queries included, as a reading copy is made), becomes the file's reading copy; the file is not
// read again. `notes` are what that import could not carry. Nothing happens when it cannot be
// moved: the reading copy is then made when the file is next opened.
void AdoptJetReadingCopy(const std::filesystem::path& jetFile, const std::filesystem::path& import,
                         const jet::format::BytesDigest& bytes,
                         std::shared_ptr<const JetRowDigests> rows,
                         const std::vector<std::string>& notes);

// After a write-back: the structure the verification's import of the bytes written has, for as
// long as the file is that version (where it is, its size and the time it was last written). The
// report of a run reads it here instead of reading the file again.
void RememberWrittenJetStructure(const std::filesystem::path& jetFile, DatabaseSchema schema);
std::optional<DatabaseSchema> WrittenJetStructure(const std::filesystem::path& jetFile);

// Whether the file is a Jet 4 file (Access 2000-2003), the kind changed in place: a Jet file whose
// version byte says Jet 4. Reads 21 bytes and never writes.
bool IsJet4File(const std::filesystem::path& file);

// The writable stand-in of a Jet file, made now in a private folder. 3045 when the file is in use.
std::filesystem::path JetWritableCopy(const std::filesystem::path& jetFile);

// Writes into the Jet file what its stand-in changed since JetWritableCopy made it (see above).
void WriteBackJetFile(const std::filesystem::path& jetFile, const std::filesystem::path& standIn);

// The stand-in is no longer used: its file goes.
void DiscardJetWritableCopy(const std::filesystem::path& standIn);

// 3045 (Jet's "in use", naming the file) when another program holds the file: a lock on its
// .ldb beside it or on the file itself. A .ldb nobody holds a lock on is no obstacle.
void RefuseJetFileInUse(const std::filesystem::path& jetFile);

}  // namespace actualiz::engine
