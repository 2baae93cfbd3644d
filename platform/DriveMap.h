#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace actualiz::platform {

// The drive mapping of a Windows-compatibility prefix. The prefix is $WINEPREFIX, else ~/.wine.
// Its dosdevices/ folder holds entries "c:", "d:" ... that link to host folders; a prefix without
// dosdevices/ has c: = <prefix>/drive_c and z: = /. This is the only place the host tells us where
// drive C lies: the program keeps no configuration of its own. Reading the mapping is cheap, so the
// free functions of FileSystem.h read it afresh every time (tests point WINEPREFIX elsewhere).
class DriveMap {
  public:
    static DriveMap FromEnvironment();
    explicit DriveMap(std::filesystem::path prefix);

    const std::filesystem::path& prefix() const { return prefix_; }

    // Windows path ("c:\\ActMirto\\indices.mdb", "C:/x", "d:\\") -> host path. Drive letter in any
    // case, "\" and "/" both separate, doubled separators collapse, "." and ".." are resolved.
    // Each existing component is matched exactly first, then case-insensitively; components that
    // do not exist yet (a file about to be created) are kept as written. "c:" alone and "c:x" are
    // taken from the drive's root, which is every drive's current folder in this program.
    // Throws actualiz::Error: 68 for a drive that is not mapped, 76 for a path that cannot be
    // mapped at all (relative, UNC, no drive).
    std::filesystem::path ToHost(std::string_view windowsPath) const;

    // Host path -> Windows path through the closest (longest) mapped drive root, drive letter upper
    // case and backslashes: "C:\\ActMirto", "Z:\\usr\\local\\bin", "C:\\" for a drive root. Empty
    // when no drive maps the path.
    std::optional<std::string> ToWindows(const std::filesystem::path& host) const;

    // Mapped drives, lower case with a colon, sorted: "c:", "d:", "z:".
    std::vector<std::string> Drives() const;

    // Host folder a drive letter (either case) links to; empty when that drive is not mapped.
    std::optional<std::filesystem::path> DriveRoot(char letter) const;

  private:
    std::filesystem::path prefix_;
    // Index 0..25 for a..z; an empty path means the drive is not mapped.
    std::array<std::filesystem::path, 26> roots_;
};

}  // namespace actualiz::platform
