#pragma once

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

namespace actualiz::cli {

struct QueryOptions {
    std::vector<std::pair<std::string, std::string>> parameters;  // NAME=VALUE, in order given
    bool json = false;
    bool hex = false;  // binary values of the CSV in hex rather than "<binario, N bytes>"
};

// `actualiz-cli query FILE NAME|SQL [--param NAME=VALUE]... [--json]`: opens a stored query, a
// table or one SELECT statement as a record set and prints its rows, as CSV with a header line or
// as a JSON array of objects. A binary value is base64 text in JSON and "<binario, N bytes>" (its
// hex with --hex) in CSV; the CSV holds no control bytes. Returns 0, or 1 with "Error N: text" on
// err.
int QueryCommand(const std::string& file, const std::string& source, const QueryOptions& options,
                 std::ostream& out, std::ostream& err);

// `actualiz-cli query FILE --all`: opens every stored query and prints one line each: its name and
// the number of rows, or the error it gives. Returns 0 when every query opened, else 1.
int QueryAllCommand(const std::string& file, const QueryOptions& options, std::ostream& out);

// Registers "query".
void AddQueryCommand(CLI::App& app);

}  // namespace actualiz::cli
