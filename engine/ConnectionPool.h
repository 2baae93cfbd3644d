#pragma once

// The connections of one run: a file the process opens again is reached through the connection it
// already has, as long as the file is still the same one.

#include <sys/types.h>

#include <memory>
#include <string>

#include "engine/Sqlite.h"

namespace actualiz::engine::detail {

// What tells one version of a file from another: which file it is, its size and its last change.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at the host path; false when it cannot be read.
bool StampOf(const std::string& path, FileStamp& stamp);

// The shared connection to the file at hostPath, opened when the process has none for it or when
// the file changed since the process last let go of it (replaced, copied over, written by another
// program). The caller has checked that the file is an engine database.
std::shared_ptr<SharedFile> ShareFile(const std::string& hostPath, const std::string& displayName,
                                      bool readOnly);

}  // namespace actualiz::engine::detail
