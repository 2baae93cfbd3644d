#pragma once

#include <iosfwd>
#include <string>

#include "platform/Error.h"

namespace actualiz::cli {

// The exit status of every command that could not start its work (a folder, a database or a
// catalog it needs is missing or unusable), told apart from a step that failed once started (1)
// and wrong arguments (2).
inline constexpr int kExitCannotStart = 3;

// "Error N: text": the one way the companion writes a failure, so that scripts can read it.
std::string ErrorText(int number, const std::string& description);
std::string ErrorText(const Error& e);

// For a catch block: writes the failure being handled on err (an exception that is no
// actualiz::Error counts as an internal error) and returns exit status 1. Anything that is not
// an exception of the standard kind goes on up.
int ReportFailure(std::ostream& err);

}  // namespace actualiz::cli
