#include "jet/format/PageFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

#include "jet/JetText.h"
#include "platform/FileSystem.h"

namespace actualiz::engine::jet::format {

namespace {

// Pages a file opened has room for before its bytes move.
constexpr std::size_t kOpenRoom = 64;
// The most bytes a Jet 4 file holds.
constexpr std::size_t kMostBytes = std::size_t{1} << 31;
// Pages read from a mapped file before the unchanged ones are let go (a megabyte).
constexpr std::size_t kReadsBeforeRelease = 256;

// The first bytes of every Jet file: a database page holding "Standard Jet DB".
constexpr unsigned char kMagic[] = {0x00, 0x01, 0x00, 0x00, 'S', 't', 'a', 'n', 'd', 'a',
                                    'r',  'd',  ' ',  'J',  'e', 't', ' ', 'D', 'B'};

// The digest of bytes that come in parts: the same whatever the parts. Taken 8 bytes at a time,
// each word mixed into the state, the last few bytes and the count at the end.
class Digester {
  public:
    void Add(std::span<const unsigned char> bytes) {
        size_ += bytes.size();
        std::size_t at = 0;
        while (held_ != 0 && at < bytes.size()) Hold(bytes[at++]);
        for (; at + 8 <= bytes.size(); at += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + at, 8);
            Mix(word);
        }
        while (at < bytes.size()) Hold(bytes[at++]);
    }
    BytesDigest Value() const {
        std::uint64_t tail = 0;
        std::memcpy(&tail, pending_, held_);
        std::uint64_t h = state_ ^ (tail * 0x9E3779B97F4A7C15ull) ^ size_;
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ull;
        h ^= h >> 33;
        return {size_, h};
    }

  private:
    void Hold(unsigned char b) {
        pending_[held_++] = b;
        if (held_ == 8) {
            std::uint64_t word;
            std::memcpy(&word, pending_, 8);
            Mix(word);
            held_ = 0;
        }
    }
    void Mix(std::uint64_t word) {
        state_ = (state_ ^ (word * 0x87C37B91114253D5ull)) * 0x4CF5AD432745937Full;
        state_ = (state_ << 31) | (state_ >> 33);
    }

    std::uint64_t state_ = 0x6A09E667F3BCC908ull;
    std::uint64_t size_ = 0;
    unsigned char pending_[8] = {};
    std::size_t held_ = 0;
};

}  // namespace

PageFile PageFile::Open(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Unreadable(file, "no se puede abrir");
    // In blocks rather than character by character: files of many rows run to megabytes.
    std::vector<unsigned char> bytes;
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    // With room for the pages a change of definitions adds (a few), so that the file is not
    // moved, and held twice while it is, for the first of them.
    if (!ec) bytes.reserve(static_cast<std::size_t>(size) + kOpenRoom * kPageSize);
    char block[1 << 16];
    while (in.read(block, sizeof block) || in.gcount() > 0)
        bytes.insert(bytes.end(), block, block + in.gcount());
    if (in.bad()) throw Unreadable(file, "error de lectura");
    return PageFile(file, std::move(bytes));
}

PageFile PageFile::OpenPrivate(const std::filesystem::path& file,
                               const std::filesystem::path& shownAs) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Unreadable(shownAs, "no se puede abrir");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Unreadable(shownAs, "no se puede abrir");
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    PageFile pages;
    pages.file_ = shownAs;
    // Address space for the file grown to the most a Jet 4 file holds, taken but not used: pages
    // added go after the file's without anything moving.
    const std::size_t reserve = std::max(size, kMostBytes) + kOpenRoom * kPageSize;
    void* base = size < kPageSize ? MAP_FAILED
                                  : ::mmap(nullptr, reserve, PROT_READ | PROT_WRITE,
                                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base != MAP_FAILED &&
        ::mmap(base, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, fd, 0) == MAP_FAILED) {
        ::munmap(base, reserve);
        base = MAP_FAILED;
    }
    ::close(fd);
    if (base == MAP_FAILED) {
        // Too short to be a Jet file, or no address space to spare: read whole, as Open does.
        PageFile read = Open(file);
        read.file_ = shownAs;
        return read;
    }
    pages.data_ = static_cast<unsigned char*>(base);
    pages.size_ = size;
    pages.mapped_ = reserve;
    pages.fileMapped_ = size;
    pages.changed_.assign(size / kPageSize, false);
    pages.Validate();
    return pages;
}

PageFile::PageFile(std::filesystem::path file, std::vector<unsigned char> bytes)
    : file_(std::move(file)), held_(std::move(bytes)), data_(held_.data()), size_(held_.size()) {
    Validate();
}

PageFile::PageFile(const PageFile& other)
    : PageFile(other.file_,
               std::vector<unsigned char>(other.Bytes().begin(), other.Bytes().end())) {
    changes_ = other.changes_;
}

PageFile& PageFile::operator=(const PageFile& other) {
    if (this != &other) *this = PageFile(other);
    return *this;
}

PageFile::PageFile(PageFile&& other) noexcept {
    *this = std::move(other);
}

PageFile& PageFile::operator=(PageFile&& other) noexcept {
    if (this == &other) return *this;
    if (mapped_ != 0) ::munmap(data_, mapped_);
    file_ = std::move(other.file_);
    held_ = std::move(other.held_);  // a moved vector keeps its bytes where they are
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
    fileMapped_ = std::exchange(other.fileMapped_, 0);
    changed_ = std::move(other.changed_);
    reads_ = std::exchange(other.reads_, 0);
    changes_ = std::move(other.changes_);
    return *this;
}

PageFile::~PageFile() {
    if (mapped_ != 0) ::munmap(data_, mapped_);
}

void PageFile::Validate() const {
    if (size_ < kPageSize || !std::equal(std::begin(kMagic), std::end(kMagic), data_))
        throw Unreadable(file_, "no es una base Jet");
    if (IsJet4() && size_ % kPageSize != 0)
        throw Unreadable(file_, "el tamaño no es un número entero de páginas");
}

std::span<const unsigned char> PageFile::Page(std::uint32_t number) const {
    if (number >= PageCount())
        throw Unreadable(file_, "página " + std::to_string(number) + " fuera del archivo");
    if (mapped_ != 0 && ++reads_ >= kReadsBeforeRelease) Release();
    return {data_ + static_cast<std::size_t>(number) * kPageSize, kPageSize};
}

std::span<unsigned char> PageFile::MutablePage(std::uint32_t number) {
    if (number >= PageCount())
        throw Unreadable(file_, "página " + std::to_string(number) + " fuera del archivo");
    Changing(number);
    return {data_ + static_cast<std::size_t>(number) * kPageSize, kPageSize};
}

std::span<unsigned char> PageFile::Mutable(std::span<const unsigned char> part) {
    if (part.data() < data_ || part.data() + part.size() > data_ + size_)
        throw EngineError(err::kInternal, "bytes ajenos al archivo " + file_.string());
    const std::size_t offset = static_cast<std::size_t>(part.data() - data_);
    if (!part.empty())
        for (std::size_t page = offset / kPageSize; page <= (offset + part.size() - 1) / kPageSize;
             ++page)
            Changing(static_cast<std::uint32_t>(page));
    return {data_ + offset, part.size()};
}

std::uint32_t PageFile::AppendPage() {
    const std::uint32_t number = PageCount();
    if (mapped_ == 0) {
        // Growing by an eighth rather than doubling: a file of megabytes is not held twice over.
        if (held_.capacity() < held_.size() + kPageSize)
            held_.reserve(held_.size() + std::max(held_.size() / 8, 16 * kPageSize));
        held_.resize(held_.size() + kPageSize, 0);
        data_ = held_.data();
    } else {
        if (size_ + kPageSize > mapped_)
            throw EngineError(err::kInvalidOperation, "el archivo " + file_.string() +
                                                          " pasaría del tamaño más grande "
                                                          "que admite Jet 4 (2 GB)");
        changed_.push_back(true);
        // A page given back by an undone change may still hold its bytes.
        std::fill_n(data_ + size_, kPageSize, 0);
    }
    size_ += kPageSize;
    return number;
}

void PageFile::Changing(std::uint32_t page) {
    if (mapped_ != 0) changed_[page] = true;
    if (changes_.empty()) return;
    Undo& undo = changes_.back();
    if (page >= undo.pageCount || undo.pages.count(page)) return;
    const unsigned char* at = data_ + static_cast<std::size_t>(page) * kPageSize;
    undo.pages.emplace(page, std::vector<unsigned char>(at, at + kPageSize));
}

// The unchanged pages of the file leave memory (the mapping reads them again when they are next
// used, from the file, which nobody else writes): a file read through is not held whole.
void PageFile::Release() const {
    reads_ = 0;
    const std::size_t system = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    // Whole pages of the system, each of them unchanged and within the file's mapping.
    std::size_t from = 0;
    auto letGo = [&](std::size_t to) {
        const std::size_t start = (from + system - 1) / system * system;
        const std::size_t end = to / system * system;
        if (end > start) ::madvise(data_ + start, end - start, MADV_DONTNEED);
    };
    const std::size_t pages = std::min(changed_.size(), fileMapped_ / kPageSize);
    for (std::size_t page = 0; page < pages; ++page) {
        if (!changed_[page]) continue;
        letGo(page * kPageSize);
        from = (page + 1) * kPageSize;
    }
    letGo(pages * kPageSize);
}

bool PageFile::ForEachBlock(
    const std::function<bool(std::span<const unsigned char>)>& block) const {
    constexpr std::size_t kBlock = 256 * kPageSize;
    for (std::size_t at = 0; at < size_; at += kBlock) {
        if (!block({data_ + at, std::min(kBlock, size_ - at)})) return false;
        if (mapped_ != 0) Release();
    }
    return true;
}

int PageFile::WriteTo(int fd) const {
    int error = 0;
    std::size_t offset = 0;
    ForEachBlock([&](std::span<const unsigned char> bytes) {
        std::size_t written = 0;
        while (written < bytes.size()) {
            const ssize_t n = ::pwrite(fd, bytes.data() + written, bytes.size() - written,
                                       static_cast<off_t>(offset + written));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = n == 0 ? ENOSPC : errno;
                return false;
            }
            written += static_cast<std::size_t>(n);
        }
        offset += bytes.size();
        return true;
    });
    return error;
}

void PageFile::BeginChange() {
    changes_.push_back({PageCount(), {}});
}

void PageFile::KeepChange() {
    if (changes_.empty()) throw EngineError(err::kInternal, "ningún cambio en curso");
    if (changes_.size() > 1) {
        // The change around it undoes these pages too, as they were before either began. Room
        // first: once pages move, nothing may fail half way.
        Undo& kept = changes_.back();
        Undo& outer = changes_[changes_.size() - 2];
        outer.pages.reserve(outer.pages.size() + kept.pages.size());
        for (auto it = kept.pages.begin(); it != kept.pages.end();) {
            auto next = std::next(it);
            if (it->first < outer.pageCount && !outer.pages.count(it->first))
                outer.pages.insert(kept.pages.extract(it));
            it = next;
        }
    }
    changes_.pop_back();
}

void PageFile::UndoChange() noexcept {
    if (changes_.empty()) return;
    Undo& undo = changes_.back();
    for (const auto& [page, bytes] : undo.pages)
        std::copy(bytes.begin(), bytes.end(), data_ + static_cast<std::size_t>(page) * kPageSize);
    size_ = static_cast<std::size_t>(undo.pageCount) * kPageSize;
    if (mapped_ == 0) {
        held_.resize(size_);
        data_ = held_.data();
    } else {
        changed_.resize(undo.pageCount);
    }
    changes_.pop_back();
}

void PageFile::Save(const std::filesystem::path& to) const {
    const std::string name = to.string();
    std::filesystem::path temporaryPath;
    int fd = platform::CreateTemporaryBeside(to, temporaryPath);
    if (fd < 0) throw platform::PathFileAccessError(name);
    platform::TemporaryFile temporary(temporaryPath);
    if (const int error = WriteTo(fd)) {
        ::close(fd);
        throw error == ENOSPC ? platform::DiskFull(name) : platform::PathFileAccessError(name);
    }
    bool synced = ::fsync(fd) == 0;
    if (::close(fd) != 0 || !synced) throw platform::PathFileAccessError(name);
    if (platform::CommitTemporary(temporary.path(), to, true) != 0)
        throw platform::PathFileAccessError(name);
    temporary.Committed();
}

bool FileHolds(const std::filesystem::path& file, const PageFile& pages) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::vector<char> block(1 << 16);
    const bool same = pages.ForEachBlock([&](std::span<const unsigned char> bytes) {
        for (std::size_t at = 0; at < bytes.size(); at += block.size()) {
            const std::size_t n = std::min(block.size(), bytes.size() - at);
            if (!in.read(block.data(), static_cast<std::streamsize>(n)) ||
                std::memcmp(block.data(), bytes.data() + at, n) != 0)
                return false;
        }
        return true;
    });
    return same && in.peek() == std::ifstream::traits_type::eof() && !in.bad();
}

bool SameFiles(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::ifstream inA(a, std::ios::binary);
    std::ifstream inB(b, std::ios::binary);
    if (!inA || !inB) return false;
    std::vector<char> blockA(1 << 16);
    std::vector<char> blockB(blockA.size());
    for (;;) {
        inA.read(blockA.data(), static_cast<std::streamsize>(blockA.size()));
        inB.read(blockB.data(), static_cast<std::streamsize>(blockB.size()));
        if (inA.bad() || inB.bad() || inA.gcount() != inB.gcount() ||
            std::memcmp(blockA.data(), blockB.data(), static_cast<std::size_t>(inA.gcount())) != 0)
            return false;
        if (inA.gcount() == 0) return true;
    }
}

BytesDigest DigestOf(const PageFile& pages) {
    Digester digester;
    pages.ForEachBlock([&](std::span<const unsigned char> bytes) {
        digester.Add(bytes);
        return true;
    });
    return digester.Value();
}

std::optional<BytesDigest> DigestOfFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    Digester digester;
    std::vector<char> block(1 << 16);
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0)
        digester.Add({reinterpret_cast<const unsigned char*>(block.data()),
                      static_cast<std::size_t>(in.gcount())});
    if (in.bad()) return std::nullopt;
    return digester.Value();
}

}  // namespace actualiz::engine::jet::format
