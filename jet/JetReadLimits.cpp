#include "jet/JetReadLimits.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

#include "engine/EngineError.h"
#include "engine/SchemaJson.h"

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

void WriteAll(int fd, std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// What the child sends, one record after another: a kind, the length of what follows (four
// bytes, as this machine holds numbers: the reader is this same program) and that many bytes. A
// table's record (its document as JSON text) comes before its rows; a row's record holds its
// values, each a tag and its bytes; the result's record (the document without rows, or the error,
// as JSON text) comes last.
constexpr char kTableRecord = 'T';
constexpr char kRowRecord = 'R';
constexpr char kResultRecord = 'D';
enum ValueTag : unsigned char { kNullValue, kIntegerValue, kRealValue, kTextValue, kBinaryValue };
constexpr std::size_t kRecordHead = 5;
constexpr std::size_t kFlushAt = 1 << 16;

std::uint32_t Get32(const char* p) {
    std::uint32_t n;
    std::memcpy(&n, p, sizeof n);
    return n;
}

std::string JsonText(const json& document) {
    return document.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The child's side: records gathered and written in blocks.
class RecordWriter : public JetRowSink {
  public:
    explicit RecordWriter(int fd) : fd_(fd) {}

    void Table(const json& table) override { Record(kTableRecord, JsonText(table)); }

    // Straight into the buffer: the record's head first, its length filled in at the end.
    void Row(const std::vector<Value>& values) override {
        const std::size_t start = buffer_.size();
        buffer_.append(kRecordHead, '\0');
        buffer_[start] = kRowRecord;
        for (const Value& v : values) {
            if (const auto* i = std::get_if<long long>(&v)) {
                Put(kIntegerValue, *i);
            } else if (const auto* d = std::get_if<double>(&v)) {
                Put(kRealValue, *d);
            } else if (const auto* t = std::get_if<std::string>(&v)) {
                Put(kTextValue, static_cast<std::uint32_t>(t->size()));
                buffer_.append(t->data(), t->size());
            } else if (const auto* b = std::get_if<std::vector<unsigned char>>(&v)) {
                Put(kBinaryValue, static_cast<std::uint32_t>(b->size()));
                buffer_.append(reinterpret_cast<const char*>(b->data()), b->size());
            } else {
                buffer_ += static_cast<char>(kNullValue);
            }
        }
        const auto length = static_cast<std::uint32_t>(buffer_.size() - start - kRecordHead);
        std::memcpy(buffer_.data() + start + 1, &length, sizeof length);
        if (buffer_.size() >= kFlushAt) Flush();
    }

    void Result(const json& result) {
        Record(kResultRecord, JsonText(result));
        Flush();
    }

  private:
    // A tag and a number's bytes as this machine holds them: the reader is this same program.
    template <typename Number>
    void Put(ValueTag tag, Number number) {
        char bytes[1 + sizeof number];
        bytes[0] = static_cast<char>(tag);
        std::memcpy(bytes + 1, &number, sizeof number);
        buffer_.append(bytes, sizeof bytes);
    }
    void Record(char kind, std::string_view bytes) {
        char head[kRecordHead] = {kind};
        const auto length = static_cast<std::uint32_t>(bytes.size());
        std::memcpy(head + 1, &length, sizeof length);
        buffer_.append(head, sizeof head);
        buffer_ += bytes;
        if (buffer_.size() >= kFlushAt) Flush();
    }
    void Flush() {
        WriteAll(fd_, buffer_);
        buffer_.clear();
    }

    int fd_;
    std::string buffer_;
};

// The parent's side: records taken from the bytes as they arrive, tables and rows handed to the
// sink at once, the result kept. Throws what the sink throws; Malformed on bytes that are no
// record.
class RecordReader {
  public:
    struct Malformed {};

    explicit RecordReader(JetRowSink& sink) : sink_(sink) {}

    void Take(const char* data, std::size_t size) {
        pending_.append(data, size);
        while (pending_.size() - at_ >= kRecordHead) {
            const char* head = pending_.data() + at_;
            const std::size_t length = Get32(head + 1);
            if (pending_.size() - at_ - kRecordHead < length) break;
            Handle(head[0], std::string_view(head + kRecordHead, length));
            at_ += kRecordHead + length;
        }
        // What was handled goes once it is the larger part, so that keeping the rest is cheap.
        if (at_ > 0 && at_ >= pending_.size() - at_) {
            pending_.erase(0, at_);
            at_ = 0;
        }
    }

    // The result's record, once it came whole.
    const std::optional<std::string>& Result() const { return result_; }

  private:
    void Handle(char kind, std::string_view bytes) {
        if (result_) throw Malformed{};
        if (kind == kResultRecord) {
            result_ = std::string(bytes);
        } else if (kind == kTableRecord) {
            json table = json::parse(bytes, nullptr, false);
            if (table.is_discarded()) throw Malformed{};
            sink_.Table(table);
        } else if (kind == kRowRecord) {
            DecodeRow(bytes);
            sink_.Row(values_);
        } else {
            throw Malformed{};
        }
    }

    // The values into the slots of the last row, so that a row of the same shape allocates
    // nothing.
    void DecodeRow(std::string_view bytes) {
        std::size_t at = 0, count = 0;
        auto need = [&](std::size_t n) {
            if (bytes.size() - at < n) throw Malformed{};
        };
        auto number = [&](auto n) {
            need(sizeof n);
            std::memcpy(&n, bytes.data() + at, sizeof n);
            at += sizeof n;
            return n;
        };
        auto slot = [&]() -> Value& {
            if (count == values_.size()) values_.emplace_back();
            return values_[count++];
        };
        while (at < bytes.size()) {
            const auto tag = static_cast<unsigned char>(bytes[at++]);
            switch (tag) {
                case kNullValue:
                    slot() = std::monostate{};
                    break;
                case kIntegerValue:
                    slot() = number(0LL);
                    break;
                case kRealValue:
                    slot() = number(0.0);
                    break;
                case kTextValue: {
                    const std::uint32_t n = number(std::uint32_t{0});
                    need(n);
                    Value& v = slot();
                    if (auto* text = std::get_if<std::string>(&v))
                        text->assign(bytes.data() + at, n);
                    else
                        v = std::string(bytes.substr(at, n));
                    at += n;
                    break;
                }
                case kBinaryValue: {
                    const std::uint32_t n = number(std::uint32_t{0});
                    need(n);
                    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
                    slot() = std::vector<unsigned char>(p, p + n);
                    at += n;
                    break;
                }
                default:
                    throw Malformed{};
            }
        }
        values_.resize(count);
    }

    JetRowSink& sink_;
    std::string pending_;
    std::size_t at_ = 0;
    std::vector<Value> values_;
    std::optional<std::string> result_;
};

#if !defined(__SANITIZE_ADDRESS__)
// The address space this process has (what a child starts with from its parent), from
// /proc/self/statm; 0 when it cannot be read.
rlim_t AddressSpaceInUse() {
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[64] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    rlim_t pages = 0;
    for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
        pages = pages * 10 + static_cast<rlim_t>(text[i] - '0');
    return pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
}
#endif

[[noreturn]] void ReadInChild(const fs::path& file, const JetReadOptions& options, JetRowSink& sink,
                              int out, const Limits& limits) {
    const rlimit cpu{limits.cpuSeconds, limits.cpuSeconds};
    ::setrlimit(RLIMIT_CPU, &cpu);
#if !defined(__SANITIZE_ADDRESS__)
    // (An address-sanitised build reserves far more address space than it uses.) Over what the
    // parent had: address space it reserved without using (a Jet file being written keeps room
    // to grow) is not the reader's doing.
    const rlim_t allowed = AddressSpaceInUse() + limits.memoryBytes;
    const rlimit memory{allowed, allowed};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
    RecordWriter writer(out);
    json result;
    try {
        // A sink that takes the rows here (the parent's, as this process has it) sends only
        // what it made of them.
        const bool here = sink.TakesRowsInChild();
        JetContents contents = ReadJetFileHere(file, options, here ? &sink : &writer);
        result = {{"document", std::move(contents.document)},
                  {"notCarried", contents.notCarried},
                  {"jetVersion", contents.jetVersion}};
        if (here) result["summary"] = sink.Summary();
    } catch (const actualiz::Error& e) {
        result = {{"error", e.number()}, {"description", e.description()}};
    } catch (const std::exception& e) {
        result = {{"error", err::kUnrecognizedFormat},
                  {"description", MakeError(err::kUnrecognizedFormat, file.string()).description() +
                                      " (" + e.what() + ")"}};
    }
    writer.Result(result);
    ::_exit(0);
}

// What the child wrote on its standard error, cut down to a few notes.
struct Collected {
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

// Reads both pipes until the child closes them, handing its records to `records` as they come.
// The time `records` takes (writing the rows somewhere) does not count against the child.
Collected Collect(pid_t child, int resultFd, int errorFd, std::chrono::seconds wallClock,
                  RecordReader& records) {
    Collected collected;
    std::set<std::string> seen;
    std::string pending;
    auto deadline = std::chrono::steady_clock::now() + wallClock;
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
                const auto start = std::chrono::steady_clock::now();
                records.Take(buffer, static_cast<std::size_t>(n));
                deadline += std::chrono::steady_clock::now() - start;
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

// The rows of every table into the document, as the reading in one piece gives them.
class DocumentRows : public JetRowSink {
  public:
    void Table(const json& table) override {
        rows_ = &tables_[table.at("name").get<std::string>()];
        *rows_ = json::array();
    }
    void Row(const std::vector<Value>& values) override {
        if (!rows_) return;
        json row = json::array();
        for (const Value& v : values) row.push_back(ValueToJson(v));
        rows_->push_back(std::move(row));
    }
    void Into(json& document) {
        for (json& table : document.at("tables")) {
            auto it = tables_.find(table.at("name").get<std::string>());
            if (it != tables_.end()) table["rows"] = std::move(it->second);
        }
    }

  private:
    std::map<std::string, json> tables_;
    json* rows_ = nullptr;
};

}  // namespace

JetContents ReadJetFileRows(const fs::path& file, const JetReadOptions& options, JetRowSink& sink) {
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
        ReadInChild(file, options, sink, result[1], limits);
    }
    ::close(result[1]);
    ::close(errors[1]);
    if (child < 0) {
        ::close(result[0]);
        ::close(errors[0]);
        throw MakeError(err::kReserved, "fork");
    }
    auto reap = [child] {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        return status;
    };
    RecordReader records(sink);
    Collected collected;
    bool malformed = false;
    try {
        collected = Collect(child, result[0], errors[0], limits.wallClock, records);
    } catch (const RecordReader::Malformed&) {
        malformed = true;
    } catch (...) {
        // The sink refused a table or a row: the reading ends here.
        ::kill(child, SIGKILL);
        ::close(result[0]);
        ::close(errors[0]);
        reap();
        throw;
    }
    if (malformed) ::kill(child, SIGKILL);
    ::close(result[0]);
    ::close(errors[0]);
    const int status = reap();

    if (malformed) throw Stopped(file, "la lectura no dio un resultado legible");
    if (collected.timedOut) throw Stopped(file, "la lectura no terminó a tiempo");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !records.Result())
        throw Stopped(file, "la lectura se detuvo al agotar la memoria o el tiempo");
    json answer = json::parse(*records.Result(), nullptr, false);
    if (answer.is_discarded()) throw Stopped(file, "la lectura no dio un resultado legible");
    if (answer.contains("error"))
        throw EngineError(answer.at("error").get<int>(),
                          answer.at("description").get<std::string>());

    if (sink.TakesRowsInChild()) {
        if (!answer.contains("summary"))
            throw Stopped(file, "la lectura no dio un resultado legible");
        try {
            sink.TakeSummary(answer.at("summary"));
        } catch (const json::exception&) {
            throw Stopped(file, "la lectura no dio un resultado legible");
        }
    }
    JetContents contents;
    contents.document = std::move(answer.at("document"));
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

JetContents ReadJetFile(const fs::path& file, const JetReadOptions& options) {
    DocumentRows rows;
    JetContents contents = ReadJetFileRows(file, options, rows);
    if (options.includeRows) rows.Into(contents.document);
    return contents;
}

}  // namespace actualiz::engine
