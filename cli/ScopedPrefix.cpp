#include "cli/ScopedPrefix.h"

#include <cstdlib>

namespace actualiz::cli {

ScopedPrefix::ScopedPrefix(const std::filesystem::path& prefix) {
    if (const char* old = std::getenv("WINEPREFIX")) {
        hadPrefix_ = true;
        savedPrefix_ = old;
    }
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
}

ScopedPrefix::~ScopedPrefix() {
    if (hadPrefix_)
        ::setenv("WINEPREFIX", savedPrefix_.c_str(), 1);
    else
        ::unsetenv("WINEPREFIX");
}

}  // namespace actualiz::cli
