#include "engine/ForeignFiles.h"

#include <mutex>

namespace actualiz::engine {

namespace {

std::mutex& ReaderMutex() {
    static std::mutex m;
    return m;
}

ForeignFileReader& Reader() {
    static ForeignFileReader reader;
    return reader;
}

}  // namespace

void SetForeignFileReader(ForeignFileReader reader) {
    std::lock_guard<std::mutex> lock(ReaderMutex());
    Reader() = std::move(reader);
}

std::optional<std::filesystem::path> ForeignFileStandIn(const std::filesystem::path& host) {
    ForeignFileReader reader;
    {
        std::lock_guard<std::mutex> lock(ReaderMutex());
        reader = Reader();
    }
    if (!reader) return std::nullopt;
    return reader(host);
}

}  // namespace actualiz::engine
