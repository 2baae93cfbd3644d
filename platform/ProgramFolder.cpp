#include "platform/ProgramFolder.h"

#include <cstdlib>
#include <system_error>

#include "platform/FileSystem.h"

namespace fs = std::filesystem;

namespace actualiz::platform {

namespace {

fs::path RunningProgramFolder() {
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return executable.parent_path();
}

// $XDG_DATA_HOME/actualiz; the variable, when set, must be absolute to count (the base directory
// rules), else ~/.local/share/actualiz. Empty without either.
fs::path UserProgramFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && fs::path(dataHome).is_absolute())
        return fs::path(dataHome) / "actualiz";
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return fs::path(home) / ".local" / "share" / "actualiz";
    return {};
}

bool HoldsModels(const fs::path& folder) {
    std::error_code ec;
    return !folder.empty() && fs::is_directory(folder / "modelos", ec);
}

}  // namespace

std::vector<fs::path> ProgramFolderCandidates() {
    std::vector<fs::path> candidates;
    const fs::path program = RunningProgramFolder();
    if (!program.empty()) candidates.push_back(program);
    if (fs::path user = UserProgramFolder(); !user.empty()) candidates.push_back(user);
    if (!program.empty()) candidates.push_back(program.parent_path() / "share" / "actualiz");
    return candidates;
}

fs::path DefaultProgramFolder() {
    const std::vector<fs::path> candidates = ProgramFolderCandidates();
    for (const fs::path& candidate : candidates)
        if (HoldsModels(candidate)) return candidate;
    if (fs::path user = UserProgramFolder(); !user.empty()) return user;
    // Without a home nothing better is known than the program's own folder.
    return candidates.empty() ? fs::path("/") : candidates.front();
}

std::string ProgramFolderRule() {
    std::string candidates;
    for (const fs::path& candidate : ProgramFolderCandidates())
        candidates += (candidates.empty() ? "" : ", ") + candidate.string();
    std::string text =
        "La carpeta del programa, la que contiene \"modelos\", se indica con --program-dir RUTA "
        "o con la variable ";
    text += kProgramFolderVariable;
    text += "; sin ellas es la primera de estas que tenga \"modelos\": " + candidates;
    if (fs::path user = UserProgramFolder(); !user.empty())
        text += "; si ninguna la tiene, " + user.string();
    return text + ".";
}

}  // namespace actualiz::platform
