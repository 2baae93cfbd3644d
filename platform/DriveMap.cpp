#include "platform/DriveMap.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/NameFold.h"

namespace actualiz::platform {

namespace fs = std::filesystem;

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
int DriveIndex(char letter) {
    return (letter | 0x20) - 'a';
}

// "/tmp/x/" -> "/tmp/x", "a/../b" -> "b"; "/" stays "/".
fs::path Normalized(const fs::path& p) {
    fs::path n = p.lexically_normal();
    if (!n.has_filename() && n.has_relative_path()) n = n.parent_path();
    return n;
}

// Number of components of `root` when it is a leading part of `path` (component by component,
// so /data is not a leading part of /database); nullopt otherwise.
std::optional<size_t> LeadingDepth(const fs::path& root, const fs::path& path) {
    auto r = root.begin();
    auto p = path.begin();
    size_t depth = 0;
    for (; r != root.end(); ++r, ++p, ++depth) {
        if (p == path.end() || *r != *p) return std::nullopt;
    }
    return depth;
}

// The entry of `folder` whose name equals `name` without regard to case. Should several differ only
// in case (possible on the host, never on Windows), the first in byte order is taken so the choice
// does not depend on the order the host lists them in.
std::optional<std::string> FindIgnoringCase(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return std::nullopt;
    std::optional<std::string> best;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::string candidate = it->path().filename().string();
        if (EqualsIgnoringCase(candidate, name) && (!best || candidate < *best)) best = candidate;
    }
    return best;
}

}  // namespace

DriveMap DriveMap::FromEnvironment() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return DriveMap(prefix);
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = getpwuid(getuid());
        home = pw && pw->pw_dir ? pw->pw_dir : "/";
    }
    return DriveMap(fs::path(home) / ".wine");
}

DriveMap::DriveMap(fs::path prefix) {
    std::error_code ec;
    fs::path absolute = fs::absolute(prefix, ec);
    prefix_ = Normalized(ec ? prefix : absolute);

    const fs::path dosdevices = prefix_ / "dosdevices";
    if (!fs::is_directory(dosdevices, ec)) {
        roots_[DriveIndex('c')] = prefix_ / "drive_c";
        roots_[DriveIndex('z')] = "/";
        return;
    }
    fs::directory_iterator it(dosdevices, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // "c:" names a drive; "c::" and the like are raw devices, not folders.
        if (name.size() != 2 || name[1] != ':' || !IsAsciiLetter(name[0])) continue;
        // A link that leads nowhere is a drive without its medium: it stays unmapped, so a path on
        // it fails with "device unavailable" rather than reading some other folder.
        std::error_code linkError;
        fs::path target = fs::canonical(it->path(), linkError);
        if (linkError || !fs::is_directory(target, linkError)) continue;
        fs::path& slot = roots_[DriveIndex(name[0])];
        // Should both "c:" and "C:" exist, the lower-case one is the drive, as for the prefix's
        // own tools.
        if (slot.empty() || (name[0] >= 'a' && name[0] <= 'z')) slot = target;
    }
}

std::optional<fs::path> DriveMap::DriveRoot(char letter) const {
    if (!IsAsciiLetter(letter)) return std::nullopt;
    const fs::path& root = roots_[DriveIndex(letter)];
    if (root.empty()) return std::nullopt;
    return root;
}

std::vector<std::string> DriveMap::Drives() const {
    std::vector<std::string> drives;
    for (int i = 0; i < 26; ++i) {
        if (!roots_[i].empty()) drives.push_back(std::string{static_cast<char>('a' + i), ':'});
    }
    return drives;
}

fs::path DriveMap::ToHost(std::string_view windowsPath) const {
    std::string text(windowsPath);
    std::replace(text.begin(), text.end(), '/', '\\');
    // "\\server\share" and "\\?\c:\..." name no drive of the prefix; a path without a drive letter
    // would depend on a current folder the program never sets. Neither may quietly land somewhere.
    if (text.size() < 2 || text[1] != ':' || !IsAsciiLetter(text[0]))
        throw PathNotFound(windowsPath);
    const std::optional<fs::path> root = DriveRoot(text[0]);
    if (!root) throw DeviceUnavailable(windowsPath);

    // Doubled separators collapse ("c:\\clientes.mdb" is c:\clientes.mdb), "." stays, ".." goes up
    // but never above the drive root: Windows resolves all three by text before touching a disk.
    std::vector<std::string> parts;
    size_t start = 2;
    while (start <= text.size()) {
        size_t end = text.find('\\', start);
        if (end == std::string::npos) end = text.size();
        std::string part = text.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }

    fs::path host = *root;
    bool parentExists = true;
    for (const std::string& part : parts) {
        if (parentExists) {
            std::error_code ec;
            // The name as written wins; only when it is absent do we look for it in another case,
            // as the Windows file system would have found it.
            if (fs::symlink_status(host / part, ec).type() != fs::file_type::not_found) {
                host /= part;
                continue;
            }
            if (std::optional<std::string> stored = FindIgnoringCase(host, part)) {
                host /= *stored;
                continue;
            }
            parentExists = false;
        }
        // Not there (yet): a file or folder about to be created keeps the name it was given.
        host /= part;
    }
    return host;
}

std::optional<std::string> DriveMap::ToWindows(const fs::path& host) const {
    std::error_code ec;
    fs::path absolute = fs::absolute(host, ec);
    if (ec) return std::nullopt;
    const fs::path lexical = Normalized(absolute);
    fs::path resolved = fs::weakly_canonical(lexical, ec);
    resolved = ec ? lexical : Normalized(resolved);

    // The nearest drive wins: /usr/local/bin is Z:\usr\local\bin unless some drive maps
    // /usr/local itself. The path is compared as written and with its links resolved (drives from
    // dosdevices are stored resolved); as written wins a tie, so a folder reached through a link
    // keeps the name the user knows it by.
    int bestDrive = -1;
    size_t bestDepth = 0;
    fs::path bestRest;
    for (int i = 0; i < 26; ++i) {
        if (roots_[i].empty()) continue;
        fs::path resolvedRoot = fs::weakly_canonical(roots_[i], ec);
        if (ec) resolvedRoot = roots_[i];
        const std::pair<const fs::path*, const fs::path*> forms[] = {{&roots_[i], &lexical},
                                                                     {&resolvedRoot, &resolved}};
        for (const auto& [root, path] : forms) {
            const fs::path normalRoot = Normalized(*root);
            std::optional<size_t> depth = LeadingDepth(normalRoot, *path);
            if (depth && (bestDrive < 0 || *depth > bestDepth)) {
                bestDrive = i;
                bestDepth = *depth;
                bestRest = path->lexically_relative(normalRoot);
            }
        }
    }
    if (bestDrive < 0) return std::nullopt;

    std::string windows{static_cast<char>('A' + bestDrive), ':', '\\'};
    bool first = true;
    for (const fs::path& part : bestRest) {
        const std::string name = part.string();
        if (name.empty() || name == ".") continue;
        if (!first) windows += '\\';
        windows += name;
        first = false;
    }
    return windows;
}

}  // namespace actualiz::platform
