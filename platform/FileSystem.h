#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"

namespace actualiz::platform {

// The drive mapping of a Windows-compatibility prefix. The prefix is $WINEPREFIX, else ~/.wine.
// Its dosdevices/ folder holds entries "c:", "d:" ... that link to host folders; a prefix without
// dosdevices/ has c: = <prefix>/drive_c and z: = /. Reading it is cheap, so every free function
// below reads it afresh from the environment (tests point WINEPREFIX at a temporary prefix).
class DriveMap {
  public:
    static DriveMap FromEnvironment();
    explicit DriveMap(std::filesystem::path prefix);

    const std::filesystem::path& prefix() const { return prefix_; }

    // Windows path ("c:\\ActMirto\\indices.mdb", "C:/x", "d:\\") -> host path. Drive letter in any
    // case, "\" and "/" both separate, doubled separators collapse, "." and ".." are resolved.
    // Each existing component is matched exactly first, then case-insensitively; components that
    // do not exist yet are kept as written. Throws actualiz::Error (68 unknown drive, 76 path that
    // cannot be mapped: relative, UNC, no drive).
    std::filesystem::path ToHost(std::string_view windowsPath) const;
    // Host path -> Windows path through the closest (longest) mapped drive root: "C:\\x\\y".
    // Empty when no drive maps it.
    std::optional<std::string> ToWindows(const std::filesystem::path& host) const;
    // Mapped drives, lower case with colon, sorted: "c:", "d:", "z:".
    std::vector<std::string> Drives() const;

    // Host folder a drive ("c:" / 'c') links to; empty optional when unmapped.
    std::optional<std::filesystem::path> DriveRoot(char letter) const;

  private:
    std::filesystem::path prefix_;
    // Index 0..25 for a..z; empty path means "not mapped".
    std::vector<std::filesystem::path> roots_;
};

std::filesystem::path ToHostPath(std::string_view windowsPath);  // FromEnvironment().ToHost
std::optional<std::string> ToWindowsPath(const std::filesystem::path& host);
bool DirectoryExists(std::string_view windowsPath);
bool FileExists(std::string_view windowsPath);

// Folder search by wildcard ("*" and "?"), case-insensitive like Windows, files and folders alike.
// Yields bare names exactly as stored, "." and ".." included (callers skip them), ordered
// case-insensitively by name. A folder that does not exist yields an empty list.
std::vector<std::string> FindEntries(std::string_view windowsPattern);

// Copies so the destination is never half-written (a temporary file in the destination folder,
// then a rename); never replaces an existing file unless replaceExisting. Throws actualiz::Error:
// 53 file not found, 58 file already exists, 75 path/file access error, 76 path not found.
void CopyFile(std::string_view sourceWindows, std::string_view destinationWindows,
              bool replaceExisting);

std::vector<std::string> Drives();  // FromEnvironment().Drives

// The running program's folder as a Windows path: no trailing backslash except at a drive root
// ("C:\\").
std::string ProgramFolder();
// The same rule applied to any host folder (used for --program-dir).
std::string ProgramFolderFor(const std::filesystem::path& hostFolder);

}  // namespace actualiz::platform
