#include "jet/JetText.h"

namespace actualiz::engine::jet {

EngineError Unreadable(const std::filesystem::path& file, const std::string& why) {
    return EngineError(err::kUnrecognizedFormat, "Formato de base de datos no reconocido: " +
                                                     file.string() + " (" + why + ").");
}

std::string Quoted(std::string_view name) {
    return "«" + std::string(name) + "»";
}

std::string NameList(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) out += ", ";
        out += Quoted(names[i]);
    }
    return out;
}

}  // namespace actualiz::engine::jet
