#pragma once

#include <filesystem>
#include <string>

namespace actualiz::testing {

// A fresh Windows-compatibility prefix in a temporary folder for one test: drive C is
// <prefix>/drive_c, drive Z is "/". WINEPREFIX points at it while the object lives, so every
// Windows path the program builds ("c:\\ActMirto\\indices.mdb") lands inside the test's folder.
class TempPrefix {
public:
    TempPrefix();
    ~TempPrefix();
    TempPrefix(const TempPrefix&) = delete;
    TempPrefix& operator=(const TempPrefix&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path driveC() const { return root_ / "drive_c"; }

    // Host path of a path below drive C, written with forward slashes: driveCPath("ActMirto/x.mdb").
    std::filesystem::path driveCPath(const std::string& relative) const;
    // Creates the folder (and its parents) below drive C and returns its host path.
    std::filesystem::path makeDir(const std::string& relative) const;
    // Writes a small file below drive C and returns its host path.
    std::filesystem::path writeFile(const std::string& relative, const std::string& content) const;

private:
    std::filesystem::path root_;
    std::string savedPrefix_;
    bool hadPrefix_ = false;
};

}  // namespace actualiz::testing
