#pragma once

#include <map>
#include <string_view>

namespace actualiz::cli {

// The files under cli/demo, built into the program: text by path ("models/clientes.json").
const std::map<std::string_view, std::string_view>& DemoFiles();

}  // namespace actualiz::cli
