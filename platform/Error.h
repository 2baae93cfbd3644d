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

  private:
    int number_;
    std::string description_;
};

}  // namespace actualiz
