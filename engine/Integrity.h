#pragma once

// Checking a database file and copying one soundly. Both go through SQLite itself: opening the
// file rolls back what a killed writer left in its journal, so neither ever sees a half-made
// change, and the copy is written page by page from a consistent read.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace actualiz::engine {

// Opens the engine database at path (a Windows or host path) and runs SQLite's quick_check on it.
// Raises 3049 naming the file when the check finds damage; opening failures as OpenDatabase.
void CheckUndamaged(std::string_view path);

// The same check limited to what a change of definitions reads: the file's schema, the engine's
// system tables, and each of tables (names the file lacks are passed over) with its indexes.
// Damage elsewhere is not looked for, so the cost follows the tables named, not the whole file.
void CheckUndamaged(std::string_view path, const std::vector<std::string>& tables);

// Copies the engine database at source (a Windows or host path) to the host file destination,
// which must not exist: the source is opened (its journal rolled back if a killed run left one)
// and never written; its bytes are copied as they are, under a read lock that keeps writers out,
// into a temporary file beside the destination; the copy is checked (quick_check) and synced, and
// only then given its name. Raises 3049 when the copy does
// not pass the check, 3204 when the destination exists, 3043 on a failing write; a failed copy
// leaves nothing behind. A file that is no engine database is refused as OpenDatabase refuses it.
void CopyDatabase(std::string_view source, const std::filesystem::path& destination);

}  // namespace actualiz::engine
