#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace actualiz::testing {

// What a program run by a test printed and how it ended.
struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ShellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

inline std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs a program with the given arguments the way a script would (WINEPREFIX as the test has set
// it, no input); standard output and standard error are kept apart.
inline CliResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
    const std::filesystem::path errFile =
        std::filesystem::temp_directory_path() /
        ("actualiz-test-err-" + std::to_string(::getpid()) + ".txt");
    std::string command = ShellQuoted(program);
    for (const auto& a : args) command += " " + ShellQuoted(a);
    command += " 2>" + ShellQuoted(errFile.string()) + " </dev/null";
    CliResult r;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
    int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ReadWhole(errFile);
    std::filesystem::remove(errFile);
    return r;
}

// The built actualiz-cli.
inline CliResult RunCli(const std::vector<std::string>& args) {
    return RunProgram(ACTUALIZ_CLI_PATH, args);
}

}  // namespace actualiz::testing
