#include "jet/format/PageFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "jet/JetText.h"
#include "platform/FileSystem.h"

namespace actualiz::engine::jet::format {

namespace {

// Pages a file opened has room for before its bytes move.
constexpr std::size_t kOpenRoom = 64;

// The first bytes of every Jet file: a database page holding "Standard Jet DB".
constexpr unsigned char kMagic[] = {0x00, 0x01, 0x00, 0x00, 'S', 't', 'a', 'n', 'd', 'a',
                                    'r',  'd',  ' ',  'J',  'e', 't', ' ', 'D', 'B'};

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

PageFile::PageFile(std::filesystem::path file, std::vector<unsigned char> bytes)
    : file_(std::move(file)), bytes_(std::move(bytes)) {
    if (bytes_.size() < kPageSize ||
        !std::equal(std::begin(kMagic), std::end(kMagic), bytes_.begin()))
        throw Unreadable(file_, "no es una base Jet");
    if (IsJet4() && bytes_.size() % kPageSize != 0)
        throw Unreadable(file_, "el tamaño no es un número entero de páginas");
}

std::span<const unsigned char> PageFile::Page(std::uint32_t number) const {
    if (number >= PageCount())
        throw Unreadable(file_, "página " + std::to_string(number) + " fuera del archivo");
    return {bytes_.data() + static_cast<std::size_t>(number) * kPageSize, kPageSize};
}

std::span<unsigned char> PageFile::MutablePage(std::uint32_t number) {
    if (number >= PageCount())
        throw Unreadable(file_, "página " + std::to_string(number) + " fuera del archivo");
    Changing(number);
    return {bytes_.data() + static_cast<std::size_t>(number) * kPageSize, kPageSize};
}

std::span<unsigned char> PageFile::Mutable(std::span<const unsigned char> part) {
    const unsigned char* begin = bytes_.data();
    if (part.data() < begin || part.data() + part.size() > begin + bytes_.size())
        throw EngineError(err::kInternal, "bytes ajenos al archivo " + file_.string());
    const std::size_t offset = static_cast<std::size_t>(part.data() - begin);
    if (!part.empty())
        for (std::size_t page = offset / kPageSize; page <= (offset + part.size() - 1) / kPageSize;
             ++page)
            Changing(static_cast<std::uint32_t>(page));
    return {bytes_.data() + (part.data() - begin), part.size()};
}

std::uint32_t PageFile::AppendPage() {
    std::uint32_t number = PageCount();
    // Growing by an eighth rather than doubling: a file of megabytes is not held twice over.
    if (bytes_.capacity() < bytes_.size() + kPageSize)
        bytes_.reserve(bytes_.size() + std::max(bytes_.size() / 8, 16 * kPageSize));
    bytes_.resize(bytes_.size() + kPageSize, 0);
    return number;
}

void PageFile::Changing(std::uint32_t page) {
    if (changes_.empty()) return;
    Undo& undo = changes_.back();
    if (page >= undo.pageCount || undo.pages.count(page)) return;
    const auto at = bytes_.begin() + static_cast<std::ptrdiff_t>(page) * kPageSize;
    undo.pages.emplace(page, std::vector<unsigned char>(at, at + kPageSize));
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
        std::copy(bytes.begin(), bytes.end(),
                  bytes_.begin() + static_cast<std::ptrdiff_t>(page) * kPageSize);
    bytes_.resize(static_cast<std::size_t>(undo.pageCount) * kPageSize);
    changes_.pop_back();
}

void PageFile::Save(const std::filesystem::path& to) const {
    const std::string name = to.string();
    std::filesystem::path temporaryPath;
    int fd = platform::CreateTemporaryBeside(to, temporaryPath);
    if (fd < 0) throw platform::PathFileAccessError(name);
    platform::TemporaryFile temporary(temporaryPath);
    std::size_t written = 0;
    while (written < bytes_.size()) {
        ssize_t n = ::write(fd, bytes_.data() + written, bytes_.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int error = errno;
            ::close(fd);
            throw error == ENOSPC ? platform::DiskFull(name) : platform::PathFileAccessError(name);
        }
        written += static_cast<std::size_t>(n);
    }
    bool synced = ::fsync(fd) == 0;
    if (::close(fd) != 0 || !synced) throw platform::PathFileAccessError(name);
    if (platform::CommitTemporary(temporary.path(), to, true) != 0)
        throw platform::PathFileAccessError(name);
    temporary.Committed();
}

bool FileHolds(const std::filesystem::path& file, std::span<const unsigned char> bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::vector<char> block(1 << 16);
    std::size_t at = 0;
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
        const auto n = static_cast<std::size_t>(in.gcount());
        if (n > bytes.size() - at || std::memcmp(block.data(), bytes.data() + at, n) != 0)
            return false;
        at += n;
    }
    return !in.bad() && at == bytes.size();
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

}  // namespace actualiz::engine::jet::format
