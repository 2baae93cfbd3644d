#include "support/TempPrefix.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

namespace actualiz::testing {

namespace fs = std::filesystem;

TempPrefix::TempPrefix() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate =
            fs::temp_directory_path() / ("actualiz-test-" + std::to_string(rd()) + std::to_string(attempt));
        if (fs::create_directory(candidate)) {
            root_ = candidate;
            break;
        }
    }
    if (root_.empty()) throw std::runtime_error("cannot create a temporary prefix");
    fs::create_directories(driveC());
    if (const char* old = std::getenv("WINEPREFIX")) {
        hadPrefix_ = true;
        savedPrefix_ = old;
    }
    setenv("WINEPREFIX", root_.c_str(), 1);
}

TempPrefix::~TempPrefix() {
    if (hadPrefix_)
        setenv("WINEPREFIX", savedPrefix_.c_str(), 1);
    else
        unsetenv("WINEPREFIX");
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
}

fs::path TempPrefix::driveCPath(const std::string& relative) const { return driveC() / relative; }

fs::path TempPrefix::makeDir(const std::string& relative) const {
    fs::path p = driveCPath(relative);
    fs::create_directories(p);
    return p;
}

fs::path TempPrefix::writeFile(const std::string& relative, const std::string& content) const {
    fs::path p = driveCPath(relative);
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
    return p;
}

}  // namespace actualiz::testing
