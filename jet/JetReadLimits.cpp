#include "jet/JetReadLimits.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>
#include <system_error>

#include "engine/EngineError.h"

namespace actualiz::engine {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// The reader's notes on standard error: the first few distinct lines are kept, the rest counted.
constexpr std::size_t kNotesKept = 5;
constexpr std::size_t kLineKept = 200;

struct Limits {
    rlim_t cpuSeconds;
    rlim_t memoryBytes;
    std::chrono::seconds wallClock;
};

// Generous for any sound file of that size, small for one that makes the reader run away.
Limits LimitsFor(const fs::path& file) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    const rlim_t megabytes = ec ? 0 : static_cast<rlim_t>(size >> 20);
    const rlim_t cpu = 60 + 2 * megabytes;
    return {cpu, (rlim_t{1} << 30) + 64 * (ec ? 0 : static_cast<rlim_t>(size)),
            std::chrono::seconds(3 * cpu)};
}

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

[[noreturn]] void ReadInChild(const fs::path& file, const JetReadOptions& options, int out,
                              const Limits& limits) {
    const rlimit cpu{limits.cpuSeconds, limits.cpuSeconds};
    ::setrlimit(RLIMIT_CPU, &cpu);
#if !defined(__SANITIZE_ADDRESS__)
    // (An address-sanitised build reserves far more address space than it uses.)
    const rlimit memory{limits.memoryBytes, limits.memoryBytes};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
    json result;
    try {
        JetContents contents = ReadJetFileHere(file, options);
        result = {{"document", std::move(contents.document)},
                  {"notCarried", contents.notCarried},
                  {"jetVersion", contents.jetVersion}};
    } catch (const actualiz::Error& e) {
        result = {{"error", e.number()}, {"description", e.description()}};
    } catch (const std::exception& e) {
        result = {{"error", err::kUnrecognizedFormat},
                  {"description", MakeError(err::kUnrecognizedFormat, file.string()).description() +
                                      " (" + e.what() + ")"}};
    }
    WriteAll(out, result.dump(-1, ' ', false, json::error_handler_t::replace));
    ::_exit(0);
}

// What the child wrote: its result, and its standard error cut down to a few notes.
struct Collected {
    std::string result;
    std::vector<std::string> notes;
    std::size_t lines = 0;
    bool timedOut = false;
};

void TakeLines(std::string& pending, Collected& collected, std::set<std::string>& seen) {
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, std::min(end, kLineKept));
        pending.erase(0, end + 1);
        if (line.empty()) continue;
        ++collected.lines;
        if (collected.notes.size() < kNotesKept && seen.insert(line).second)
            collected.notes.push_back(line);
    }
    if (pending.size() > 4 * kLineKept) pending.erase(kLineKept);  // a line without end
}

Collected Collect(pid_t child, int resultFd, int errorFd, std::chrono::seconds wallClock) {
    Collected collected;
    std::set<std::string> seen;
    std::string pending;
    const auto deadline = std::chrono::steady_clock::now() + wallClock;
    pollfd fds[2] = {{resultFd, POLLIN, 0}, {errorFd, POLLIN, 0}};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            collected.timedOut = true;
            ::kill(child, SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 1000))) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (pollfd& p : fds) {
            if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = ::read(p.fd, buffer, sizeof buffer);
            if (n <= 0) {
                p.fd = -1;
                --open;
            } else if (p.fd == resultFd) {
                collected.result.append(buffer, static_cast<std::size_t>(n));
            } else {
                pending.append(buffer, static_cast<std::size_t>(n));
                TakeLines(pending, collected, seen);
            }
        }
    }
    return collected;
}

EngineError Stopped(const fs::path& file, const std::string& why) {
    return EngineError(err::kUnrecognizedFormat,
                       MakeError(err::kUnrecognizedFormat, file.string()).description() + " (" +
                           why + ": el archivo parece dañado)");
}

}  // namespace

JetContents ReadJetFile(const fs::path& file, const JetReadOptions& options) {
    std::error_code ec;
    if (!fs::exists(file, ec)) throw MakeError(err::kFileNotFound, file.string());
    if (fs::is_directory(file, ec)) throw MakeError(err::kCannotOpenFile, file.string());
    const Limits limits = LimitsFor(file);

    int result[2], errors[2];
    if (::pipe2(result, O_CLOEXEC) != 0) throw MakeError(err::kReserved, "pipe");
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        ::close(result[0]);
        ::close(result[1]);
        throw MakeError(err::kReserved, "pipe");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(result[0]);
        ::close(errors[0]);
        ::dup2(errors[1], STDERR_FILENO);
        ReadInChild(file, options, result[1], limits);
    }
    ::close(result[1]);
    ::close(errors[1]);
    if (child < 0) {
        ::close(result[0]);
        ::close(errors[0]);
        throw MakeError(err::kReserved, "fork");
    }
    Collected collected = Collect(child, result[0], errors[0], limits.wallClock);
    ::close(result[0]);
    ::close(errors[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    if (collected.timedOut) throw Stopped(file, "la lectura no terminó a tiempo");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || collected.result.empty())
        throw Stopped(file, "la lectura se detuvo al agotar la memoria o el tiempo");
    const json answer = json::parse(collected.result, nullptr, false);
    if (answer.is_discarded()) throw Stopped(file, "la lectura no dio un resultado legible");
    if (answer.contains("error"))
        throw EngineError(answer.at("error").get<int>(),
                          answer.at("description").get<std::string>());

    JetContents contents;
    contents.document = answer.at("document");
    contents.notCarried = answer.at("notCarried").get<std::vector<std::string>>();
    contents.jetVersion = answer.at("jetVersion").get<int>();
    if (collected.lines > 0) {
        std::string note = "El lector de archivos Access avisó " + std::to_string(collected.lines) +
                           (collected.lines == 1 ? " vez" : " veces") +
                           " (el archivo puede estar dañado):";
        for (const std::string& line : collected.notes) note += " «" + line + "»";
        contents.notCarried.push_back(std::move(note));
    }
    return contents;
}

}  // namespace actualiz::engine
