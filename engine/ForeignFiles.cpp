#include "engine/ForeignFiles.h"

#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/FileSystem.h"

namespace actualiz::engine {

namespace fs = std::filesystem;

namespace {

std::mutex& ReaderMutex() {
    static std::mutex m;
    return m;
}

ForeignFileReader& Reader() {
    static ForeignFileReader reader;
    return reader;
}

ForeignFileWriter& Writer() {
    static ForeignFileWriter writer;
    return writer;
}

// The files open for writing, by their canonical host path: the stand-in and how many
// ForeignFileWriting hold it.
struct Writing {
    fs::path standIn;
    int users = 0;
};

std::map<fs::path, Writing>& Writings() {
    static std::map<fs::path, Writing> writings;
    return writings;
}

fs::path Canonical(const fs::path& host) {
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(host, ec);
    return ec ? fs::absolute(host).lexically_normal() : canonical;
}

}  // namespace

void SetForeignFileReader(ForeignFileReader reader) {
    std::lock_guard<std::mutex> lock(ReaderMutex());
    Reader() = std::move(reader);
}

void SetForeignFileWriter(ForeignFileWriter writer) {
    std::lock_guard<std::mutex> lock(ReaderMutex());
    Writer() = std::move(writer);
}

std::optional<fs::path> ForeignFileStandIn(const fs::path& host) {
    ForeignFileReader reader;
    {
        std::lock_guard<std::mutex> lock(ReaderMutex());
        if (!Writings().empty()) {
            auto it = Writings().find(Canonical(host));
            if (it != Writings().end()) return it->second.standIn;
        }
        reader = Reader();
    }
    if (!reader) return std::nullopt;
    return reader(host);
}

ForeignFileWriting::ForeignFileWriting(std::string_view path) {
    // A path that leads nowhere writes nothing: opening it says what is wrong with it.
    if (path.empty()) return;
    fs::path host;
    try {
        host = platform::ResolvePath(path);
    } catch (const Error&) {
        return;
    }
    const fs::path key = Canonical(host);
    ForeignFileWriter writer;
    {
        std::lock_guard<std::mutex> lock(ReaderMutex());
        auto it = Writings().find(key);
        if (it != Writings().end()) {
            ++it->second.users;
            key_ = key;
            return;
        }
        writer = Writer();
    }
    if (!writer.open) return;
    std::error_code ec;
    if (!fs::is_regular_file(host, ec)) return;  // OpenDatabase says what is wrong with it
    std::optional<fs::path> standIn = writer.open(host);
    if (!standIn) return;
    std::lock_guard<std::mutex> lock(ReaderMutex());
    Writings()[key] = Writing{*standIn, 1};
    key_ = key;
}

namespace {

// One user of the writing of `key` is done. The last one takes the writing out (whatever comes
// next, later openings read the file itself) and gets its stand-in and the installed writer.
std::optional<std::pair<fs::path, ForeignFileWriter>> LeaveWriting(const fs::path& key) {
    std::lock_guard<std::mutex> lock(ReaderMutex());
    auto it = Writings().find(key);
    if (it == Writings().end() || --it->second.users > 0) return std::nullopt;
    fs::path standIn = it->second.standIn;
    Writings().erase(it);
    return std::make_pair(std::move(standIn), Writer());
}

}  // namespace

ForeignFileWriting::~ForeignFileWriting() {
    if (key_.empty() || finished_) return;
    auto last = LeaveWriting(key_);
    if (last && last->second.discard) last->second.discard(last->first);
}

void ForeignFileWriting::Finish() {
    if (key_.empty() || finished_) return;
    finished_ = true;
    auto last = LeaveWriting(key_);
    if (!last) return;
    const fs::path& standIn = last->first;
    ForeignFileWriter& writer = last->second;
    struct Discard {
        ForeignFileWriter& writer;
        const fs::path& standIn;
        ~Discard() {
            if (writer.discard) writer.discard(standIn);
        }
    } discard{writer, standIn};
    if (writer.writeBack) writer.writeBack(key_, standIn);
}

}  // namespace actualiz::engine
