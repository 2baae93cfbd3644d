#include <sys/stat.h>

#include <iostream>
#include <map>
#include <mutex>

#include "engine/EngineError.h"
#include "engine/ForeignFiles.h"
#include "jet/JetReader.h"
#include "jet/JetWriteBack.h"
#include "platform/FileSystem.h"

namespace actualiz::engine {

namespace fs = std::filesystem;

namespace {

std::mutex& SinkMutex() {
    static std::mutex m;
    return m;
}

std::function<void(const std::string&)>& Sink() {
    static std::function<void(const std::string&)> sink = [](const std::string& note) {
        std::cerr << note << "\n";
    };
    return sink;
}

// The imports made for read-only opening, one per file version, in a private folder that goes
// when the process ends.
class ReadingCopies {
  public:
    ~ReadingCopies() {
        if (folder_.empty()) return;
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    fs::path For(const fs::path& jetFile) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::error_code ec;
        fs::path canonical = fs::weakly_canonical(jetFile, ec);
        if (ec) canonical = fs::absolute(jetFile);
        struct stat st {};
        if (::stat(canonical.c_str(), &st) != 0)
            throw MakeError(err::kFileNotFound, jetFile.string());
        std::string key = canonical.string() + "|" + std::to_string(st.st_size) + "|" +
                          std::to_string(st.st_mtim.tv_sec) + "." +
                          std::to_string(st.st_mtim.tv_nsec);
        auto it = copies_.find(key);
        if (it != copies_.end() && fs::exists(it->second, ec)) return it->second;

        fs::path copy = Folder() / (std::to_string(++counter_) + ".mdb");
        std::vector<std::string> notes;
        JetReadOptions options;
        options.includeHiddenQueries = true;  // the classic engine's QueryDefs show them too
        auto db = ImportJetFile(canonical, copy.string(), options, &notes);
        db->Close();
        // No write permission: the engine then opens it read-only, as it would a read-only file.
        ::chmod(copy.c_str(), S_IRUSR | S_IRGRP | S_IROTH);
        copies_[key] = copy;
        {
            std::lock_guard<std::mutex> sinkLock(SinkMutex());
            if (Sink())
                for (const auto& n : notes) Sink()(jetFile.string() + ": " + n);
        }
        return copy;
    }

  private:
    // Made again when something (a cleaner of temporary files) removed it meanwhile.
    fs::path Folder() {
        std::error_code ec;
        if (!folder_.empty() && fs::is_directory(folder_, ec)) return folder_;
        try {
            folder_ = platform::CreateTemporaryFolder("actualiz-jet-");
        } catch (const Error&) {
            throw MakeError(err::kDiskIo, fs::temp_directory_path().string());
        }
        return folder_;
    }

    std::mutex mutex_;
    fs::path folder_;
    std::map<std::string, fs::path> copies_;
    int counter_ = 0;
};

ReadingCopies& Copies() {
    static ReadingCopies copies;
    return copies;
}

fs::path HostPathOf(std::string_view path) {
    try {
        return platform::ResolvePath(path);
    } catch (const Error&) {
        throw MakeError(err::kInvalidPath, path);
    }
}

}  // namespace

fs::path JetReadingCopy(const fs::path& jetFile) {
    return Copies().For(jetFile);
}

void InstallJetOpening() {
    SetForeignFileReader([](const fs::path& host) -> std::optional<fs::path> {
        if (!IsJetFile(host)) return std::nullopt;
        return JetReadingCopy(host);
    });
    // Opened for writing (ForeignFileWriting), a Jet file stands as a writable import of its own,
    // and what changed in it is written back when the writing ends.
    ForeignFileWriter writer;
    writer.open = [](const fs::path& host) -> std::optional<fs::path> {
        if (!IsJetFile(host)) return std::nullopt;
        return JetWritableCopy(host);
    };
    writer.writeBack = [](const fs::path& host, const fs::path& standIn) {
        WriteBackJetFile(host, standIn);
    };
    writer.discard = [](const fs::path& standIn) { DiscardJetWritableCopy(standIn); };
    SetForeignFileWriter(std::move(writer));
}

std::shared_ptr<Database> OpenJetDatabase(std::string_view path) {
    fs::path host = HostPathOf(path);
    std::error_code ec;
    if (!fs::exists(host, ec)) throw MakeError(err::kFileNotFound, path);
    if (!IsJetFile(host)) throw MakeError(err::kUnrecognizedFormat, path);
    // OpenDatabase recognises a Jet file through the opening installed here and opens its
    // reading copy under the given name.
    InstallJetOpening();
    return OpenDatabase(path);
}

void SetJetNoteSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> lock(SinkMutex());
    Sink() = std::move(sink);
}

}  // namespace actualiz::engine
