#pragma once

// Reading a real Jet file is bounded: the reader (libmdb) runs in a child process under limits of
// memory and processor time, so a damaged file that would make it loop or grow without end ends
// with a clear error instead, and whatever the reader writes on standard error becomes a few
// notes of the result rather than a flood on the terminal. The child sends each row as it reads
// it, so that neither process holds all of them. ReadJetFile and ReadJetFileRows
// (jet/JetReader.h) go through here; ReadJetFileHere is the reading itself, in this process (with
// a sink, the rows go there instead of into the document).

#include <filesystem>

#include "jet/JetReader.h"

namespace actualiz::engine {

JetContents ReadJetFileHere(const std::filesystem::path& file, const JetReadOptions& options,
                            JetRowSink* sink = nullptr);

}  // namespace actualiz::engine
