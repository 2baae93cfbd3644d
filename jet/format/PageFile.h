#pragma once

// A Jet 4 file as its pages, and the few facts of its first page. Every other structure
// (jet/format/*) is read from these bytes by our own code, so that the checker and the writer see
// exactly what is on disk.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace actualiz::engine::jet::format {

inline constexpr std::size_t kPageSize = 4096;

enum PageType : std::uint8_t {
    kDatabasePage = 0x00,
    kDataPage = 0x01,
    kDefinitionPage = 0x02,
    kIntermediateIndexPage = 0x03,
    kLeafIndexPage = 0x04,
    kUsageBitmapPage = 0x05,
};

// Where a row is: its page in the upper three bytes, its number on that page in the lowest.
struct PageRow {
    std::uint32_t page = 0;
    std::uint32_t row = 0;
    static PageRow From(std::uint32_t packed) { return {packed >> 8, packed & 0xFFu}; }
    std::uint32_t Packed() const { return (page << 8) | row; }
};

class PageFile {
  public:
    // The file's bytes, read whole; 3343 when it cannot be read, is no Jet file, or is cut short.
    // A Jet 3 file (2048-byte pages) is read but IsJet4() says so: callers refuse it.
    static PageFile Open(const std::filesystem::path& file);
    // The same for a file of our own that nobody else writes (a private copy), mapped rather than
    // read: only the pages in use are in memory, and the unchanged ones are let go now and then
    // and read again from the file when next used. Messages name the file as `shownAs`.
    static PageFile OpenPrivate(const std::filesystem::path& file,
                                const std::filesystem::path& shownAs);
    // Bytes already in memory (a copy being written, a test's altered file).
    PageFile(std::filesystem::path file, std::vector<unsigned char> bytes);
    PageFile(PageFile&& other) noexcept;
    PageFile& operator=(PageFile&& other) noexcept;
    // A copy holds its bytes in memory, whichever way the original has them.
    PageFile(const PageFile& other);
    PageFile& operator=(const PageFile& other);
    ~PageFile();

    const std::filesystem::path& File() const { return file_; }
    // 0 Jet 3, 1 Jet 4, 2 and above the later formats.
    int Version() const { return data_[0x14]; }
    bool IsJet4() const { return Version() == 1; }
    std::uint32_t PageCount() const { return static_cast<std::uint32_t>(size_ / kPageSize); }
    // One whole page; 3343 beyond the end of the file.
    std::span<const unsigned char> Page(std::uint32_t number) const;
    std::span<unsigned char> MutablePage(std::uint32_t number);
    // All the bytes. Going through them all brings the whole file into memory: ForEachBlock
    // does not.
    std::span<const unsigned char> Bytes() const { return {data_, size_}; }
    // The bytes in blocks of a megabyte or so, in order, letting the unchanged pages go after
    // each; stops when `block` says false, and says whether it went to the end.
    bool ForEachBlock(const std::function<bool(std::span<const unsigned char>)>& block) const;
    // The same bytes as a part read from this file, for changing them.
    std::span<unsigned char> Mutable(std::span<const unsigned char> part);
    // A new page of zeros at the end of the file; its number. Spans read before no longer hold
    // when the pages are in memory (a mapped file's do not move).
    std::uint32_t AppendPage();
    // A change that may have to be undone: until it is kept or undone, the file remembers each
    // page as it was before the change first made it writable (through MutablePage or Mutable),
    // and how many pages there were. Changes nest: one kept inside another is undone with it.
    void BeginChange();
    void KeepChange();
    // The pages as they were when the change began; spans read since no longer hold.
    void UndoChange() noexcept;
    // Writes the bytes to a file: into a temporary file beside it, flushed to disk, then renamed
    // over it, so that the file is the old one or the whole new one. 75 or 61 when it cannot.
    void Save(const std::filesystem::path& to) const;
    // Writes the bytes into an open file, from its start; the error number of a failed write.
    int WriteTo(int fd) const;

  private:
    PageFile() = default;
    void Validate() const;
    void Changing(std::uint32_t page);
    void Release() const;

    struct Undo {
        std::uint32_t pageCount = 0;
        std::unordered_map<std::uint32_t, std::vector<unsigned char>> pages;  // as they were
    };

    std::filesystem::path file_;
    // The bytes: either held in `held_`, or mapped (`mapped_` bytes of address space reserved, of
    // which the file's first `fileMapped_` bytes map the file, privately: changes stay here).
    std::vector<unsigned char> held_;
    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;
    std::size_t fileMapped_ = 0;
    std::vector<bool> changed_;      // pages made writable or added, never let go: mapped only
    mutable std::size_t reads_ = 0;  // pages read since the unchanged ones were last let go
    std::vector<Undo> changes_;      // the innermost last
};

// Whether the file holds exactly the pages' bytes, no more: both gone through in blocks
// (PageFile::ForEachBlock) and compared as they come. False when it cannot be read.
bool FileHolds(const std::filesystem::path& file, const PageFile& pages);

// Whether two files hold the same bytes, compared likewise. False when either cannot be read.
bool SameFiles(const std::filesystem::path& a, const std::filesystem::path& b);

// How many bytes and a 64-bit digest of them: enough to know a version of a file again without
// holding it (not a proof against someone forging a file to match).
struct BytesDigest {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const BytesDigest&) const = default;
};
BytesDigest DigestOf(const PageFile& pages);
// The same digest of a file's bytes, read in blocks; nothing when it cannot be read.
std::optional<BytesDigest> DigestOfFile(const std::filesystem::path& file);

}  // namespace actualiz::engine::jet::format
