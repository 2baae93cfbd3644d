#pragma once

// Whether another program holds a file open for its own use, as the classic engine shows it: an
// application that has a Jet database open keeps a lock file beside it (the database's name with
// ".ldb") and holds byte-range locks on it, and on the database itself when it opens it
// exclusively. A Windows-compatibility layer maps those locks to POSIX (fcntl) record locks, which
// is what is looked for here. A lock file nobody holds a lock on (left behind by a program that
// ended badly) does not count.

#include <filesystem>
#include <optional>

namespace actualiz::platform {

// The lock file the classic engine keeps beside a database: the same name with ".ldb" (".LDB"
// and other spellings found too); nothing when there is none.
std::optional<std::filesystem::path> LockFileBeside(const std::filesystem::path& database);

// Whether another process holds an fcntl lock on any byte of the file. False when the file
// cannot be opened (a missing file is held by nobody).
bool LockedByAnotherProcess(const std::filesystem::path& file);

// Whether the database is in use by another program: a lock held on its lock file beside it or on
// the database itself.
bool DatabaseInUse(const std::filesystem::path& database);

}  // namespace actualiz::platform
