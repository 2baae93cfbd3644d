#pragma once

// Files of another database engine given to OpenDatabase. The engine reads only its own files; a
// layer above it that reads another kind (jet/: real Jet files) installs here how to turn such a
// file into an engine database that stands for it, and OpenDatabase opens that one instead. Each
// program installs it once at start (the Jet layer's InstallJetOpening); without it such a file
// is of unrecognized format (3343).

#include <filesystem>
#include <functional>
#include <optional>

namespace actualiz::engine {

// Given the host path of an existing file: the engine database that stands for it, or nothing
// when the file is not of the kind it reads. Its errors reach the caller of OpenDatabase.
using ForeignFileReader =
    std::function<std::optional<std::filesystem::path>(const std::filesystem::path& host)>;

void SetForeignFileReader(ForeignFileReader reader);

// What OpenDatabase opens in place of host: nothing when no reader is installed or the file is
// none of its kind.
std::optional<std::filesystem::path> ForeignFileStandIn(const std::filesystem::path& host);

}  // namespace actualiz::engine
