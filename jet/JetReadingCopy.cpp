#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>

#include "engine/EngineError.h"
#include "engine/ForeignFiles.h"
#include "jet/JetReader.h"
#include "jet/JetWriteBack.h"
#include "jet/format/PageFile.h"
#include "platform/FileSystem.h"
#include "platform/FolderLock.h"

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
// when the process ends. Each remembers the digest of the bytes it was made from (when the file
// held the same bytes before and after the import) and the digests of their rows, so that the
// write-back's stand-in of the same bytes is a copy of it rather than another import.
class ReadingCopies {
  public:
    fs::path For(const fs::path& jetFile) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string key = Key(jetFile);
        std::error_code ec;
        auto it = copies_.find(key);
        if (it != copies_.end() && fs::exists(it->second.path, ec)) return it->second.path;

        const fs::path canonical = Canonical(jetFile);
        const std::optional<jet::format::BytesDigest> before = jet::format::DigestOfFile(canonical);
        fs::path copy = Folder() / (std::to_string(++counter_) + ".mdb");
        std::vector<std::string> notes;
        JetReadOptions options;
        options.includeHiddenQueries = true;  // the classic engine's QueryDefs show them too
        JetRowDigester digester;
        ImportJetFile(canonical, copy.string(), options, &notes, &digester)->Close();
        auto rows = std::make_shared<const JetRowDigests>(digester.Digests());
        // No write permission: the engine then opens it read-only, as it would a read-only file.
        ::chmod(copy.c_str(), S_IRUSR | S_IRGRP | S_IROTH);
        Copy made{copy, std::nullopt, std::move(rows)};
        if (before && jet::format::DigestOfFile(canonical) == before) made.bytes = before;
        copies_[key] = std::move(made);
        Tell(jetFile, notes);
        return copy;
    }

    std::optional<JetKnownReading> Known(const fs::path& jetFile,
                                         const jet::format::BytesDigest& bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::error_code ec;
        auto it = copies_.find(Key(jetFile));
        if (it == copies_.end() || it->second.bytes != bytes || !fs::exists(it->second.path, ec))
            return std::nullopt;
        return JetKnownReading{it->second.path, it->second.rows};
    }

    void Adopt(const fs::path& jetFile, const fs::path& import,
               const jet::format::BytesDigest& bytes, std::shared_ptr<const JetRowDigests> rows,
               const std::vector<std::string>& notes) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::error_code ec;
        fs::path copy;
        std::string key;
        try {
            key = Key(jetFile);
            copy = Folder() / (std::to_string(++counter_) + ".mdb");
        } catch (const Error&) {
            return;
        }
        fs::rename(import, copy, ec);
        if (ec) return;
        ::chmod(copy.c_str(), S_IRUSR | S_IRGRP | S_IROTH);
        copies_[key] = Copy{copy, bytes, std::move(rows)};
        Tell(jetFile, notes);
    }

    void RememberStructure(const fs::path& jetFile, DatabaseSchema schema) {
        std::lock_guard<std::mutex> lock(mutex_);
        try {
            structures_[Canonical(jetFile)] = {Key(jetFile), std::move(schema)};
        } catch (const Error&) {
        }
    }

    std::optional<DatabaseSchema> Structure(const fs::path& jetFile) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = structures_.find(Canonical(jetFile));
        if (it == structures_.end()) return std::nullopt;
        try {
            if (Key(jetFile) == it->second.first) return it->second.second;
        } catch (const Error&) {
        }
        return std::nullopt;
    }

  private:
    struct Copy {
        fs::path path;
        std::optional<jet::format::BytesDigest> bytes;  // none when it changed while it was read
        std::shared_ptr<const JetRowDigests> rows;
    };

    static fs::path Canonical(const fs::path& jetFile) {
        std::error_code ec;
        fs::path canonical = fs::weakly_canonical(jetFile, ec);
        return ec ? fs::absolute(jetFile) : canonical;
    }

    // The file's version: where it is, its size and the time it was last written.
    static std::string Key(const fs::path& jetFile) {
        const fs::path canonical = Canonical(jetFile);
        struct stat st {};
        if (::stat(canonical.c_str(), &st) != 0)
            throw MakeError(err::kFileNotFound, jetFile.string());
        return canonical.string() + "|" + std::to_string(st.st_size) + "|" +
               std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    }

    static void Tell(const fs::path& jetFile, const std::vector<std::string>& notes) {
        std::lock_guard<std::mutex> sinkLock(SinkMutex());
        if (Sink())
            for (const auto& n : notes) Sink()(jetFile.string() + ": " + n);
    }

    // Made again when something (a cleaner of temporary files) removed it meanwhile.
    fs::path Folder() {
        std::error_code ec;
        if (folder_ && fs::is_directory(folder_->path(), ec)) return folder_->path();
        try {
            // Held while the process lives; a killed run's is removed by a later one.
            folder_ = std::make_unique<platform::RunFolder>("actualiz-jet-");
        } catch (const Error&) {
            throw MakeError(err::kDiskIo, fs::temp_directory_path().string());
        }
        return folder_->path();
    }

    std::mutex mutex_;
    std::unique_ptr<platform::RunFolder> folder_;  // removed when the process ends
    std::map<std::string, Copy> copies_;
    // Per file, the structure a write-back verified and the file's version it was written as.
    std::map<fs::path, std::pair<std::string, DatabaseSchema>> structures_;
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

std::optional<JetKnownReading> KnownJetReading(const fs::path& jetFile,
                                               const jet::format::BytesDigest& bytes) {
    return Copies().Known(jetFile, bytes);
}

void AdoptJetReadingCopy(const fs::path& jetFile, const fs::path& import,
                         const jet::format::BytesDigest& bytes,
                         std::shared_ptr<const JetRowDigests> rows,
                         const std::vector<std::string>& notes) {
    Copies().Adopt(jetFile, import, bytes, std::move(rows), notes);
}

void RememberWrittenJetStructure(const fs::path& jetFile, DatabaseSchema schema) {
    Copies().RememberStructure(jetFile, std::move(schema));
}

std::optional<DatabaseSchema> WrittenJetStructure(const fs::path& jetFile) {
    return Copies().Structure(jetFile);
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
