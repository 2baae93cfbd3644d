// `actualiz-cli check`: its exit status tells a sound Jet 4 file (0) from one with problems (1)
// and from a file it cannot check (2), on the real program.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "support/RunProgram.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {
namespace {

std::string Sample(const std::string& name) {
    return (std::filesystem::path(ACTUALIZ_SOURCE_DIR) / "tests" / "data" / "jet" / name).string();
}

// A copy of a sample whose definition of Table1 (page 15) counts one row too many.
std::string WrongRowCount(const TempPrefix& prefix) {
    std::ifstream in(Sample("compIndexTestV2000.mdb"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.at(15 * 4096 + 16) = static_cast<char>(bytes.at(15 * 4096 + 16) + 1);
    std::filesystem::path copy = prefix.root() / "dañada.mdb";
    std::ofstream(copy, std::ios::binary) << bytes;
    return copy.string();
}

struct CheckCase {
    const char* name;
    std::string file;
    bool json;
    int status;
    const char* said;  // on standard output, or on standard error when the status is 2
};

TEST(CheckCommand, ExitStatusSaysWhatWasFound) {
    TempPrefix prefix;
    const CheckCase cases[] = {
        {"sound", Sample("indexTestV2003.mdb"), false, 0, "sin problemas"},
        {"sound, as JSON", Sample("overflowTestV2000.mdb"), true, 0, "\"sound\": true"},
        {"damaged", WrongRowCount(prefix), false, 1, "tiene 512 filas, su definición dice 513"},
        {"damaged, as JSON", WrongRowCount(prefix), true, 1, "\"sound\": false"},
        {"Jet 3", Sample("testV1997.mdb"), false, 2, "Jet 3"},
        {"missing", (prefix.root() / "no.mdb").string(), false, 2, "Error 3343"},
    };
    for (const CheckCase& c : cases) {
        std::vector<std::string> args{"check", c.file};
        if (c.json) args.push_back("--json");
        CliResult r = RunCli(args);
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.out << r.err;
        const std::string& text = c.status == 2 ? r.err : r.out;
        EXPECT_NE(text.find(c.said), std::string::npos) << c.name << "\n" << r.out << r.err;
        if (c.json) {
            EXPECT_TRUE(nlohmann::json::accept(r.out)) << c.name << "\n" << r.out;
        }
    }
}

}  // namespace
}  // namespace actualiz::testing
