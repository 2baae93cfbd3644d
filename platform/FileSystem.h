#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DriveMap.h"
#include "platform/Error.h"

namespace actualiz::platform {

// Every function here takes the Windows paths the program builds ("c:\\ActMirto\\indices.mdb") and
// reads the drive mapping afresh from the environment (DriveMap::FromEnvironment).

std::filesystem::path ToHostPath(std::string_view windowsPath);  // throws like DriveMap::ToHost
std::optional<std::string> ToWindowsPath(const std::filesystem::path& host);
// "c:\\x", "C:": a path that starts with a drive letter is a Windows path; anything else is a host
// path. The one place that tells the two kinds apart.
bool HasDriveLetter(std::string_view path);
// Paths given by people on a command line or by tests may also be host paths: a path with a drive
// letter goes through ToHostPath, anything else (absolute or relative) is taken as it is.
std::filesystem::path ResolvePath(std::string_view windowsOrHostPath);

// Plain questions: a path that cannot be mapped (unknown drive, no drive) does not exist.
bool DirectoryExists(std::string_view windowsPath);
bool FileExists(std::string_view windowsPath);

// Folder search by wildcard ("*" and "?"), case-insensitive like Windows, files and folders alike.
// Yields bare names exactly as stored, "." and ".." included when the pattern matches them (callers
// skip them; a drive root has neither, as on Windows). "." and ".." come first, then the entries in
// case-insensitive name order. A folder that does not exist yields an empty list; a folder that
// cannot be mapped to the host throws like ToHostPath.
std::vector<std::string> FindEntries(std::string_view windowsPattern);

// Copies so the destination is never half-written (a temporary file in the destination folder,
// then a rename); never replaces an existing file unless replaceExisting. Throws actualiz::Error:
// 53 file not found, 58 file already exists, 61 disk full, 75 path/file access error, 76 path not
// found (also 68 for an unmapped drive).
void CopyFile(std::string_view sourceWindows, std::string_view destinationWindows,
              bool replaceExisting);

// The same from a file given by its host path (sourceWindows names it in errors).
void CopyHostFile(const std::filesystem::path& source, std::string_view sourceWindows,
                  std::string_view destinationWindows, bool replaceExisting);

// Temporary files beside a destination, named ".NAME.<16 hex digits>.tmp": every copy here and
// the engine's own copies and new databases are written under such a name and then given theirs,
// so a killed run can leave only files of this shape behind. CreateTemporaryBeside creates one
// exclusively and returns its descriptor (-1 and errno on failure); CommitTemporary gives it its
// name, never replacing an existing file unless asked (-1 and errno); IsTemporaryCopyName tells
// such a leftover by its name.
int CreateTemporaryBeside(const std::filesystem::path& destination,
                          std::filesystem::path& temporary);
int CommitTemporary(const std::filesystem::path& temporary,
                    const std::filesystem::path& destination, bool replaceExisting);
bool IsTemporaryCopyName(std::string_view fileName);

// Owns such a temporary file: removes it when it goes out of scope unless it was committed, so a
// failed copy leaves the destination folder as it was.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::filesystem::path& path() const { return path_; }
    void Committed() { committed_ = true; }

  private:
    std::filesystem::path path_;
    bool committed_ = false;
};

// A new, empty folder of our own under the system's temporary folder ("<prefix>XXXXXX"), made
// with mkdtemp: nobody else can read it (mode 0700) and its name cannot be taken in between.
// Throws 75 when it cannot be made. Callers remove it when they are done.
std::filesystem::path CreateTemporaryFolder(std::string_view prefix);
// The system's temporary folder those are made in ($TMPDIR, else /tmp).
std::filesystem::path TemporaryFolderBase();

// Whether two Windows paths name one and the same file or folder on this system (a link, a case
// variant on a file system that ignores case, the same folder reached twice): the same device
// and inode. False when either does not exist or cannot be mapped.
bool SameFile(std::string_view windowsA, std::string_view windowsB);

// Whether two host files hold the same bytes; false when either cannot be read.
bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b);

std::vector<std::string> Drives();  // FromEnvironment().Drives: "c:", "z:" ...

// The running program's folder as a Windows path: no trailing backslash except at a drive root
// ("C:\\"). Throws 76 when no drive maps it.
std::string ProgramFolder();
// The same rule applied to any host folder.
std::string ProgramFolderFor(const std::filesystem::path& hostFolder);
// A program folder given by a person (--program-dir of both front ends): a Windows path is taken
// as it is (without a trailing backslash, except at a drive root), a host path is turned into the
// Windows path of that folder; empty means the one ACTUALIZ_PROGRAM_DIR names, else the default
// of platform/ProgramFolder.h. Throws 76 when the folder cannot be reached through a drive.
std::string ResolveProgramFolder(const std::string& argument);

// The classic file errors with their Spanish texts, naming the path concerned, for callers that
// raise them themselves (a directory list given a missing folder raises PathNotFound).
Error FileNotFound(std::string_view windowsPath);         // 53
Error FileAlreadyExists(std::string_view windowsPath);    // 58
Error DiskFull(std::string_view windowsPath);             // 61
Error DeviceUnavailable(std::string_view windowsPath);    // 68
Error PathFileAccessError(std::string_view windowsPath);  // 75
Error PathNotFound(std::string_view windowsPath);         // 76
// 75, saying that the two paths are one file: a database is never upgraded against itself.
Error SameFileTwice(std::string_view windowsA, std::string_view windowsB);

}  // namespace actualiz::platform
