#pragma once

// Helpers for the tests of Jet files: the sample files in tests/data/jet, and the mdbtools
// programs (mdb-export, mdb-schema, mdb-tables, mdb-prop) as an independent second reading of
// the same files.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/RunProgram.h"

// Skips a test of reading Jet files in a build without libmdb.
#define REQUIRE_JET_READER() \
    if (!CanReadJetFiles()) GTEST_SKIP() << "built without libmdb"

namespace actualiz::engine::testing {

using actualiz::testing::ShellQuoted;

inline std::filesystem::path JetSample(const std::string& name) {
    return std::filesystem::path(ACTUALIZ_SOURCE_DIR) / "tests" / "data" / "jet" / name;
}

inline const std::vector<std::string>& JetSampleNames() {
    static const std::vector<std::string> names = {"testV1997.mdb", "testIndexCodesV1997.mdb",
                                                   "queryTestV2000.mdb", "indexTestV2000.mdb"};
    return names;
}

// Standard output of a shell command; empty when it fails.
inline std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return out;
}

inline bool HaveMdbTools() {
    static const bool have =
        std::system(
            "command -v mdb-export >/dev/null 2>&1 && command -v mdb-schema >/dev/null "
            "2>&1 && command -v mdb-prop >/dev/null 2>&1") == 0;
    return have;
}

inline constexpr const char* kNullMark = "@@NULL@@";

// mdb-export of one table: header, then rows, each field as text; Null as kNullMark, dates as
// "YYYY-MM-DD HH:MM:SS", binary data as hexadecimal digits.
inline std::vector<std::vector<std::string>> ExportTable(const std::filesystem::path& file,
                                                         const std::string& table) {
    std::string csv = Capture("mdb-export -0 " + ShellQuoted(kNullMark) +
                              " -T '%Y-%m-%d %H:%M:%S' -D '%Y-%m-%d %H:%M:%S' -b hex " +
                              ShellQuoted(file.string()) + " " + ShellQuoted(table));
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, inQuotes = false;
    for (std::size_t i = 0; i < csv.size(); ++i) {
        char c = csv[i];
        if (inQuotes) {
            if (c == '"') {
                if (i + 1 < csv.size() && csv[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                field += c;
            }
        } else if (c == '"') {
            inQuotes = quoted = true;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
            quoted = false;
        } else if (c == '\n') {
            row.push_back(field);
            rows.push_back(row);
            row.clear();
            field.clear();
            quoted = false;
        } else {
            field += c;
        }
    }
    (void)quoted;
    if (!row.empty() || !field.empty()) {
        row.push_back(field);
        rows.push_back(row);
    }
    return rows;
}

// The lines of a command's output, without their line feeds.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

// mdb-schema's columns of each table, in order: name and the type as it writes it
// ("Text (50)", "Long Integer" ...).
inline std::map<std::string, std::vector<std::pair<std::string, std::string>>> SchemaColumns(
    const std::filesystem::path& file) {
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> tables;
    std::string text = Capture("mdb-schema " + ShellQuoted(file.string()));
    std::string current;
    for (const std::string& line : Lines(text)) {
        if (line.rfind("CREATE TABLE [", 0) == 0) {
            current = line.substr(14, line.rfind(']') - 14);
            tables[current];
        } else if (!current.empty() && line.rfind("\t[", 0) == 0) {
            std::size_t close = line.find(']');
            std::string name = line.substr(2, close - 2);
            std::string type = line.substr(close + 1);
            while (!type.empty() && (type.front() == '\t' || type.front() == ' '))
                type.erase(type.begin());
            while (!type.empty() && (type.back() == ',' || type.back() == ' ')) type.pop_back();
            if (type.size() > 9 && type.compare(type.size() - 9, 9, " NOT NULL") == 0)
                type.erase(type.size() - 9);
            tables[current].emplace_back(name, type);
        } else if (line.rfind(");", 0) == 0) {
            current.clear();
        }
    }
    return tables;
}

// mdb-prop's properties of each column of a table: column -> property -> value.
inline std::map<std::string, std::map<std::string, std::string>> ColumnProperties(
    const std::filesystem::path& file, const std::string& table) {
    std::map<std::string, std::map<std::string, std::string>> columns;
    std::string text = Capture("mdb-prop " + ShellQuoted(file.string()) + " " + ShellQuoted(table));
    std::string current;
    for (const std::string& line : Lines(text)) {
        if (line.rfind("name: ", 0) == 0) {
            current = line.substr(6);
        } else if (!current.empty() && !line.empty() && line[0] == '\t') {
            std::size_t colon = line.find(": ");
            if (colon != std::string::npos)
                columns[current][line.substr(1, colon - 1)] = line.substr(colon + 2);
        }
    }
    return columns;
}

// Another process holding an fcntl lock on some bytes of a file, as an application that has a
// Jet database open holds them (through a Windows-compatibility layer) on its .ldb, or on the
// database itself when it opens it exclusively: from construction until the object goes.
class FileLockHolder {
  public:
    explicit FileLockHolder(const std::filesystem::path& file, off_t start = 0x10000000,
                            off_t length = 1) {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(release_) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(release_[1]);
            ::close(ready[0]);
            const int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0644);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            lock.l_start = start;
            lock.l_len = length;
            if (fd < 0 || ::fcntl(fd, F_SETLK, &lock) != 0) _exit(1);
            char byte = 1;
            if (::write(ready[1], &byte, 1) != 1) _exit(1);
            if (::read(release_[0], &byte, 1) < 0) _exit(1);  // until the parent closes its end
            _exit(0);
        }
        ::close(ready[1]);
        ::close(release_[0]);
        char byte = 0;
        taken_ = pid_ > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~FileLockHolder() {
        if (pid_ <= 0) return;
        ::close(release_[1]);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    FileLockHolder(const FileLockHolder&) = delete;
    FileLockHolder& operator=(const FileLockHolder&) = delete;
    bool Taken() const { return taken_; }

  private:
    pid_t pid_ = -1;
    int release_[2] = {-1, -1};
    bool taken_ = false;
};

}  // namespace actualiz::engine::testing
