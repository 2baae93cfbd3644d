// Every text actualiz-cli prints about its own arguments is Spanish: the help of the program and
// of each subcommand, the parser's headings, and its complaints about wrong arguments.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "cli/SpanishHelp.h"
#include "support/RunProgram.h"
#include "support/TempPrefix.h"

namespace actualiz::testing {
namespace {

// What the command-line parser writes in English when left alone: headings, labels, value
// types and the words of its error messages.
const std::vector<std::string> kEnglishWords{
    "Usage",  "Options",    "OPTIONS",  "Subcommands", "SUBCOMMAND",   "Positionals", "REQUIRED",
    "TEXT",   "Print this", "Run with", "is required", "not expected", "Could not",   "Expected",
    "FAILED", "Requires",   "excludes", "Check",       "help message", "and exit",    "not in"};

// The first of those words in the text, as a word of its own ("TEXT" is not in "TEXTO").
std::string EnglishIn(const std::string& text) {
    for (const std::string& word : kEnglishWords)
        if (std::regex_search(text, std::regex("(^|[^A-Za-z])" + word + "($|[^A-Za-z])")))
            return word;
    return {};
}

TEST(CliHelp, TheProgramAndEverySubcommandAnswerInSpanish) {
    TempPrefix prefix;
    const std::vector<std::vector<std::string>> helps{
        {"--help"},           {"transform", "--help"}, {"migrate", "--help"},
        {"diff", "--help"},   {"catalogs", "--help"},  {"catalogs", "init", "--help"},
        {"demo", "--help"},   {"create", "--help"},    {"schema", "--help"},
        {"import", "--help"}, {"query", "--help"},     {"check", "--help"},
        {"form", "--help"}};
    for (const auto& args : helps) {
        const CliResult r = RunCli(args);
        const std::string shown = args.size() > 1 ? args[0] : "actualiz-cli";
        EXPECT_EQ(r.status, 0) << shown;
        EXPECT_NE(r.out.find("Uso:"), std::string::npos) << shown << ":\n" << r.out;
        EXPECT_EQ(EnglishIn(r.out), "") << shown << ":\n" << r.out;
    }
    // The list of subcommands, each with what it does.
    const CliResult top = RunCli({"--help"});
    EXPECT_NE(top.out.find("Órdenes:"), std::string::npos) << top.out;
    EXPECT_NE(top.out.find("Opciones:"), std::string::npos) << top.out;
}

TEST(CliHelp, WrongArgumentsAreToldInSpanish) {
    TempPrefix prefix;
    const std::vector<std::vector<std::string>> wrong{{},
                                                      {"transform", "--no-such-option"},
                                                      {"transform", "--data-dir"},
                                                      {"migrate"},
                                                      {"migrate", "nada"},
                                                      {"diff", "uno"},
                                                      {"catalogs"},
                                                      {"catalogs", "init", "sobra"},
                                                      {"create", "x.mdb"},
                                                      {"form"},
                                                      {"form", "bailar"}};
    for (const auto& args : wrong) {
        const CliResult r = RunCli(args);
        std::string shown;
        for (const std::string& arg : args) shown += arg + " ";
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_FALSE(r.err.empty()) << shown;
        EXPECT_EQ(EnglishIn(r.err), "") << shown << ":\n" << r.err;
    }
}

// Each of the parser's messages as it writes it in English, and what the user reads.
TEST(CliHelp, TheParsersMessagesHaveTheirSpanishText) {
    const std::vector<std::pair<std::string, std::string>> rows{
        {"The following argument was not expected: --x", "Sobra este argumento: --x"},
        {"The following arguments were not expected: a b", "Sobran estos argumentos: a b"},
        {"A subcommand is required", "Falta la orden (las órdenes están en --help)"},
        {"MODELO is required", "Falta MODELO"},
        {"--data-dir: 1 required TEXT missing", "Falta el valor de --data-dir"},
        {"MIGRACION: nada not in {gastosgen,histoprod,auxcli}",
         "MIGRACION: \"nada\" no es ninguno de {gastosgen,histoprod,auxcli}"},
        {"--json: At Most 1 required but received 2",
         "--json admite como mucho 1 valores y ha recibido 2"},
        {"--a requires --b", "--a necesita --b"},
        {"--a excludes --b", "--a no puede ir con --b"},
        {"Could not convert: --n = x", "--n no admite el valor x"},
        // Our own texts pass unchanged.
        {"form: form necesita al menos un paso", "form: form necesita al menos un paso"}};
    for (const auto& [english, spanish] : rows) EXPECT_EQ(cli::SpanishParseError(english), spanish);
}

}  // namespace
}  // namespace actualiz::testing
