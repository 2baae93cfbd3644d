#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace actualiz {

// One failure type for the whole program. It carries the classic error number (76 "Path not
// found", 380 "Invalid property value", 3024 "file not found" ...) and a Spanish text, because
// both are what a command's caller tests and what the user is shown.
class Error : public std::runtime_error {
  public:
    Error(int number, std::string description)
        : std::runtime_error(description), number_(number), description_(std::move(description)) {}

    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }

    // The file the failure concerns, when whoever raised it knew (a database that could not be
    // opened, a catalog that cannot hold a row); empty otherwise.
    const std::string& file() const noexcept { return file_; }
    Error& SetFile(std::string file) {
        file_ = std::move(file);
        return *this;
    }

  private:
    int number_;
    std::string description_;
    std::string file_;
};

}  // namespace actualiz
