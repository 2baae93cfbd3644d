#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <system_error>

#include "platform/ErrorNumbers.h"
#include "platform/NameFold.h"
#include "platform/ProgramFolder.h"

namespace actualiz::platform {

namespace fs = std::filesystem;

namespace {

Error Described(int number, const char* text, std::string_view path) {
    return Error(number, std::string(text) + ": \"" + std::string(path) + "\"");
}

// Maps an errno from writing or committing a copy to the classic error the caller can act on.
Error CopyFailure(int err, std::string_view path) {
    if (err == ENOSPC || err == EDQUOT) return DiskFull(path);
    return PathFileAccessError(path);
}

// Closes a descriptor on every way out.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now and reports the result: on some file systems a failed write shows only here.
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

int CreateTemporaryBeside(const fs::path& destination, fs::path& path) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%016llx.tmp",
                      static_cast<unsigned long long>(random()));
        path = destination.parent_path() / ("." + destination.filename().string() + suffix);
        // 0666 lets the user's umask decide, as for any file the user's programs create.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

TemporaryFile::~TemporaryFile() {
    if (!committed_) ::unlink(path_.c_str());
}

std::filesystem::path TemporaryFolderBase() {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    return ec ? fs::path("/tmp") : base;
}

std::filesystem::path CreateTemporaryFolder(std::string_view prefix) {
    const fs::path base = TemporaryFolderBase();
    std::string pattern = (base / (std::string(prefix) + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw PathFileAccessError(base.string());
    return fs::path(pattern);
}

bool IsTemporaryCopyName(std::string_view name) {
    // "." + at least one character + "." + 16 hex digits + ".tmp"
    constexpr std::size_t kTail = 1 + 16 + 4;
    if (name.size() < 2 + kTail || name.front() != '.') return false;
    const std::string_view tail = name.substr(name.size() - kTail);
    if (tail.front() != '.' || tail.substr(17) != ".tmp") return false;
    for (char c : tail.substr(1, 16))
        if (!std::isxdigit(static_cast<unsigned char>(c)) ||
            std::isupper(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// Moves the finished temporary file to its name. Without replaceExisting the move must not replace
// a file that appeared meanwhile, so it is done as one atomic "rename unless present" where the
// file system offers it, else as a hard link (which also refuses an existing name).
int CommitTemporary(const fs::path& temporary, const fs::path& destination, bool replaceExisting) {
    if (replaceExisting) return ::rename(temporary.c_str(), destination.c_str());
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) ==
        0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (::link(temporary.c_str(), destination.c_str()) == 0) {
        ::unlink(temporary.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP) return -1;
    // A file system with neither: check, then rename. Only a racing writer could slip in between.
    std::error_code ec;
    if (fs::symlink_status(destination, ec).type() != fs::file_type::not_found) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(temporary.c_str(), destination.c_str());
}

Error FileNotFound(std::string_view path) {
    return Described(err::kFileMissing, "No se encontró el archivo", path);
}
Error FileAlreadyExists(std::string_view path) {
    return Described(err::kFileAlreadyExists, "El archivo ya existe", path);
}
Error DiskFull(std::string_view path) {
    return Described(err::kDiskFull, "Disco lleno", path);
}
Error DeviceUnavailable(std::string_view path) {
    return Described(err::kDeviceUnavailable, "Dispositivo no disponible", path);
}
Error PathFileAccessError(std::string_view path) {
    return Described(err::kPathFileAccess, "Error de acceso a ruta o archivo", path);
}
Error PathNotFound(std::string_view path) {
    return Described(err::kPathNotFound, "No se encontró la ruta de acceso", path);
}

Error SameFileTwice(std::string_view a, std::string_view b) {
    const Error access = PathFileAccessError(a);
    return Error(access.number(),
                 access.description() + " y \"" + std::string(b) + "\" son el mismo archivo");
}

bool SameFile(std::string_view windowsA, std::string_view windowsB) {
    try {
        const DriveMap drives = DriveMap::FromEnvironment();
        struct stat a {};
        struct stat b {};
        if (::stat(drives.ToHost(windowsA).c_str(), &a) != 0) return false;
        if (::stat(drives.ToHost(windowsB).c_str(), &b) != 0) return false;
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    } catch (const Error&) {
        return false;
    }
}

bool SameBytes(const fs::path& a, const fs::path& b) {
    std::ifstream inA(a, std::ios::binary);
    std::ifstream inB(b, std::ios::binary);
    if (!inA || !inB) return false;
    std::vector<char> bufferA(1 << 16), bufferB(1 << 16);
    while (true) {
        inA.read(bufferA.data(), static_cast<std::streamsize>(bufferA.size()));
        inB.read(bufferB.data(), static_cast<std::streamsize>(bufferB.size()));
        if (inA.gcount() != inB.gcount()) return false;
        if (!std::equal(bufferA.begin(), bufferA.begin() + inA.gcount(), bufferB.begin()))
            return false;
        if (inA.gcount() == 0 || !inA || !inB) return inA.eof() && inB.eof() && !inA.bad();
    }
}

fs::path ToHostPath(std::string_view windowsPath) {
    return DriveMap::FromEnvironment().ToHost(windowsPath);
}

bool HasDriveLetter(std::string_view path) {
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

std::filesystem::path ResolvePath(std::string_view windowsOrHostPath) {
    if (HasDriveLetter(windowsOrHostPath)) return ToHostPath(windowsOrHostPath);
    return std::filesystem::path(windowsOrHostPath).lexically_normal();
}

std::optional<std::string> ToWindowsPath(const fs::path& host) {
    return DriveMap::FromEnvironment().ToWindows(host);
}

bool DirectoryExists(std::string_view windowsPath) {
    try {
        std::error_code ec;
        return fs::is_directory(ToHostPath(windowsPath), ec);
    } catch (const Error&) {
        return false;
    }
}

bool FileExists(std::string_view windowsPath) {
    try {
        std::error_code ec;
        return fs::is_regular_file(ToHostPath(windowsPath), ec);
    } catch (const Error&) {
        return false;
    }
}

std::vector<std::string> FindEntries(std::string_view windowsPattern) {
    // The last component is the pattern, the rest the folder: "c:\bases\*.mdb", "c:*.mdb".
    const size_t cut = windowsPattern.find_last_of("\\/");
    std::string_view folder, mask;
    if (cut != std::string_view::npos) {
        folder = windowsPattern.substr(0, cut + 1);
        mask = windowsPattern.substr(cut + 1);
    } else if (windowsPattern.size() >= 2 && windowsPattern[1] == ':') {
        folder = windowsPattern.substr(0, 2);
        mask = windowsPattern.substr(2);
    } else {
        folder = windowsPattern;  // no drive: ToHost refuses it below
    }

    const DriveMap drives = DriveMap::FromEnvironment();
    const fs::path hostFolder = drives.ToHost(folder);
    std::vector<std::string> found;
    std::error_code ec;
    if (mask.empty() || !fs::is_directory(hostFolder, ec)) return found;

    fs::directory_iterator it(hostFolder, ec);
    if (ec) throw PathFileAccessError(windowsPattern);
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) throw PathFileAccessError(windowsPattern);
        std::string name = it->path().filename().string();
        if (WildcardMatch(mask, name)) found.push_back(std::move(name));
    }
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        return CompareIgnoringCase(a, b) < 0;
    });

    // Every folder but a drive root lists itself and its parent first, as Windows does.
    if (hostFolder != drives.DriveRoot(folder[0])) {
        std::vector<std::string> dots;
        for (const char* dot : {".", ".."}) {
            if (WildcardMatch(mask, dot)) dots.emplace_back(dot);
        }
        found.insert(found.begin(), dots.begin(), dots.end());
    }
    return found;
}

void CopyFile(std::string_view sourceWindows, std::string_view destinationWindows,
              bool replaceExisting) {
    const fs::path source = DriveMap::FromEnvironment().ToHost(sourceWindows);
    CopyHostFile(source, sourceWindows, destinationWindows, replaceExisting);
}

void CopyHostFile(const fs::path& source, std::string_view sourceWindows,
                  std::string_view destinationWindows, bool replaceExisting) {
    const fs::path destination = DriveMap::FromEnvironment().ToHost(destinationWindows);

    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw FileNotFound(sourceWindows);
        throw PathFileAccessError(sourceWindows);
    }
    struct stat sourceInfo {};
    if (::fstat(in.get(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode))
        throw PathFileAccessError(sourceWindows);

    std::error_code ec;
    if (!fs::is_directory(destination.parent_path(), ec)) throw PathNotFound(destinationWindows);
    const fs::file_status existing = fs::status(destination, ec);
    if (fs::is_directory(existing)) throw PathFileAccessError(destinationWindows);
    if (fs::exists(existing) && !replaceExisting) throw FileAlreadyExists(destinationWindows);

    fs::path temporaryPath;
    FileDescriptor out(CreateTemporaryBeside(destination, temporaryPath));
    if (out.get() < 0) throw CopyFailure(errno, destinationWindows);
    TemporaryFile temporary(temporaryPath);

    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            throw PathFileAccessError(sourceWindows);
        }
        if (got == 0) break;
        if (!WriteAll(out.get(), buffer.data(), static_cast<size_t>(got)))
            throw CopyFailure(errno, destinationWindows);
    }
    // On disk before it gets its name: after a crash the destination is the old file or the
    // whole new one, never a torn mix.
    if (::fsync(out.get()) != 0 || out.close() != 0) throw CopyFailure(errno, destinationWindows);

    if (CommitTemporary(temporary.path(), destination, replaceExisting) != 0) {
        if (errno == EEXIST) throw FileAlreadyExists(destinationWindows);
        throw CopyFailure(errno, destinationWindows);
    }
    temporary.Committed();
}

std::vector<std::string> Drives() {
    return DriveMap::FromEnvironment().Drives();
}

std::string ProgramFolder() {
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec) throw PathNotFound("/proc/self/exe");
    return ProgramFolderFor(executable.parent_path());
}

std::string ProgramFolderFor(const fs::path& hostFolder) {
    std::optional<std::string> windows = DriveMap::FromEnvironment().ToWindows(hostFolder);
    if (!windows) throw PathNotFound(hostFolder.string());
    // "C:\" keeps its backslash; any other folder is given without one, so callers that append
    // "\modelos" get a doubled backslash only at a drive root, as the program always has.
    if (windows->size() > 3 && windows->back() == '\\') windows->pop_back();
    return *windows;
}

std::string ResolveProgramFolder(const std::string& given) {
    std::string argument = given;
    if (argument.empty()) {
        const char* variable = std::getenv(kProgramFolderVariable);
        if (variable != nullptr) argument = variable;
    }
    if (argument.empty()) return ProgramFolderFor(DefaultProgramFolder());
    if (HasDriveLetter(argument)) {
        // Already a Windows path: as the system would report it, without a trailing backslash
        // except at a drive root.
        std::string folder = argument;
        while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/'))
            folder.pop_back();
        if (folder.size() == 2) folder += '\\';
        return folder;
    }
    std::error_code ec;
    fs::path host = fs::absolute(argument, ec).lexically_normal();
    if (ec) throw PathNotFound(argument);
    if (host.has_relative_path() && !host.has_filename()) host = host.parent_path();
    return ProgramFolderFor(host);
}

}  // namespace actualiz::platform
