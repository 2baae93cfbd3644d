#pragma once

// Files of another database engine given to OpenDatabase. The engine reads only its own files; a
// layer above it that reads another kind (jet/: real Jet files) installs here how to turn such a
// file into an engine database that stands for it, and OpenDatabase opens that one instead. Each
// program installs it once at start (the Jet layer's InstallJetOpening); without it such a file
// is of unrecognized format (3343).
//
// Such a file may also be opened for writing, for a while (ForeignFileWriting): then it stands
// as a writable engine database of its own, the commands change that one as they would any
// database, and at the end the layer that reads the file writes what changed back into it.

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

namespace actualiz::engine {

// Given the host path of an existing file: the engine database that stands for it, or nothing
// when the file is not of the kind it reads. Its errors reach the caller of OpenDatabase.
using ForeignFileReader =
    std::function<std::optional<std::filesystem::path>(const std::filesystem::path& host)>;

void SetForeignFileReader(ForeignFileReader reader);

// What OpenDatabase opens in place of host: nothing when no reader is installed or the file is
// none of its kind. While host is open for writing, its writable stand-in.
std::optional<std::filesystem::path> ForeignFileStandIn(const std::filesystem::path& host);

// How a layer writes its kind of file:
//  open       a new writable engine database standing for host, made now; nothing when host is
//             not of its kind; its errors (the file in use, say) refuse the writing
//  writeBack  writes into host what changed in the stand-in since open, or nothing when nothing
//             did; a failure leaves host as it was
//  discard    the stand-in is no longer used (after writeBack, or without it)
struct ForeignFileWriter {
    std::function<std::optional<std::filesystem::path>(const std::filesystem::path& host)> open;
    std::function<void(const std::filesystem::path& host, const std::filesystem::path& standIn)>
        writeBack;
    std::function<void(const std::filesystem::path& standIn)> discard;
};

void SetForeignFileWriter(ForeignFileWriter writer);

// A file of another engine opened for writing from construction to Finish: meanwhile every
// OpenDatabase of it (in this process) opens its writable stand-in. Uses nest: an inner one on a
// file already open for writing shares the stand-in and its Finish writes nothing; the outermost
// Finish writes the changes back. Gone without Finish (a failure on the way), the outermost gives
// the stand-in up and the file stays as it was. For an engine database of our own, or with no
// writer installed, it does nothing.
class ForeignFileWriting {
  public:
    // path: a Windows or host path (one that leads to no file writes nothing). The writer's
    // refusal (the file in use, ...) propagates.
    explicit ForeignFileWriting(std::string_view path);
    ~ForeignFileWriting();
    ForeignFileWriting(const ForeignFileWriting&) = delete;
    ForeignFileWriting& operator=(const ForeignFileWriting&) = delete;

    // Whether the file is written through a stand-in.
    bool Active() const { return !key_.empty(); }
    // The outermost one writes the stand-in's changes into the file; the stand-in is given up
    // either way. Its failure propagates, the file as it was.
    void Finish();

  private:
    std::filesystem::path key_;
    bool finished_ = false;
};

}  // namespace actualiz::engine
