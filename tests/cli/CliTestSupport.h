#pragma once

// Helpers shared by the actualiz-cli tests: running the built program as a script would, reading
// files whole, and fingerprinting a folder tree.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Engine.h"
#include "engine/SchemaJson.h"

namespace actualiz::testing {

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

// Runs a program with the given arguments (WINEPREFIX as the test has set it); standard output
// and standard error are kept apart.
inline CliResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
    const std::filesystem::path errFile =
        std::filesystem::temp_directory_path() /
        ("actualiz-cli-err-" + std::to_string(::getpid()) + ".txt");
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

inline CliResult RunCli(const std::vector<std::string>& args) {
    return RunProgram(ACTUALIZ_CLI_PATH, args);
}

// Every regular file below root, by relative path, with its whole content.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), root).string()] = ReadWhole(entry.path());
        else if (entry.is_directory())
            files[std::filesystem::relative(entry.path(), root).string() + "/"] = "";
    }
    return files;
}

inline nlohmann::json Structure(const std::string& path) {
    auto db = engine::OpenDatabase(path);
    nlohmann::json document = engine::DescribeDatabase(*db);
    db->Close();
    return document;
}

inline void Build(const std::string& path, const nlohmann::json& document) {
    engine::BuildDatabase(path, document)->Close();
}

}  // namespace actualiz::testing

namespace actualiz::testing {

// Rows of a table, counted by walking them.
inline int RowCount(const std::string& databasePath, const std::string& table) {
    auto db = engine::OpenDatabase(databasePath);
    auto rs = db->OpenRecordset(table);
    int rows = 0;
    if (!(rs->BOF() && rs->Eof())) {
        rs->MoveFirst();
        while (!rs->Eof()) {
            ++rows;
            rs->MoveNext();
        }
    }
    rs->Close();
    db->Close();
    return rows;
}

}  // namespace actualiz::testing
