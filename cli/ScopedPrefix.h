#pragma once

#include <filesystem>
#include <string>

namespace actualiz::cli {

// Points WINEPREFIX at another prefix while it lives and puts the previous value back after. The
// file layer reads the drive mapping afresh on every call, so everything the form and the engine
// do meanwhile happens inside that prefix.
class ScopedPrefix {
  public:
    explicit ScopedPrefix(const std::filesystem::path& prefix);
    ~ScopedPrefix();
    ScopedPrefix(const ScopedPrefix&) = delete;
    ScopedPrefix& operator=(const ScopedPrefix&) = delete;

  private:
    bool hadPrefix_ = false;
    std::string savedPrefix_;
};

}  // namespace actualiz::cli
