#pragma once

// How the Jet reader words what it says: the error for a file it cannot read, and the names its
// notes quote.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/EngineError.h"

namespace actualiz::engine::jet {

// 3343, naming the file and why it cannot be read.
EngineError Unreadable(const std::filesystem::path& file, const std::string& why);

// «name»
std::string Quoted(std::string_view name);

// «a», «b», «c»
std::string NameList(const std::vector<std::string>& names);

}  // namespace actualiz::engine::jet
