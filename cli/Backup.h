#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "cli/Report.h"

namespace actualiz::cli {

// "respaldo-YYYYMMDD-HHMMSS" for that moment, in local time.
std::string BackupFolderName(std::time_t now);

// Copies the named databases of the data folder (a Windows path, as the directory list holds it)
// into a new folder respaldo-YYYYMMDD-HHMMSS inside it before anything changes them, each byte for
// byte as it is. A folder of
// that name that already exists is never reused: "-2", "-3" ... is appended. Each copy is made
// through the engine (engine::CopyDatabase: a journal left by a killed run is rolled back first,
// and the copy must pass SQLite's quick_check). Throws actualiz::Error; a half-made backup folder
// is removed again.
BackupInfo MakeBackup(const std::string& dataFolder, const std::vector<std::string>& names,
                      std::time_t now);

// After the run: removes the report's backup folder when the run changed nothing, so that it holds
// nothing to restore (every database in it is still, byte for byte, the one in the data folder, and
// no new database was copied in). The report then names the removed folder instead.
void DropBackupIfNothingChanged(TransformReport& report);

}  // namespace actualiz::cli
