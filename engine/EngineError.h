#pragma once

#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/ErrorNumbers.h"

namespace actualiz::engine {

// Every failure of the database engine. The number is the classic engine's error number, which is
// what callers test; the text is Spanish and names the object concerned.
class EngineError : public actualiz::Error {
  public:
    using Error::Error;
};

// The classic numbers this engine raises are the program's (platform/ErrorNumbers.h); within the
// engine and for its callers they read as engine::err::kTableExists and so on.
namespace err = actualiz::err;

// The error of that number with the engine's Spanish text, naming object (a table, field, index,
// relation, query or file) where the text has a place for it.
EngineError MakeError(int number, std::string_view object = {});

}  // namespace actualiz::engine
