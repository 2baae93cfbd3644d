#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace actualiz::cli {

// The command-line parser's own words in Spanish: the headings and labels of every help text
// ("Uso", "Opciones", "Órdenes", "OBLIGATORIO") and the types of the values.
class SpanishFormatter : public CLI::Formatter {
  public:
    SpanishFormatter();
    std::string make_description(const CLI::App* app) const override;
    std::string make_option_opts(const CLI::Option* option) const override;
};

// Gives the program and every subcommand under it the Spanish formatter, help flag and group
// names, and makes its argument errors Spanish. Called once every subcommand is added.
void SpeakSpanish(CLI::App& app);

// An argument error of the parser as the user reads it, in Spanish; a text the parser does not
// write (one of our own) is returned as it is.
std::string SpanishParseError(const std::string& english);

}  // namespace actualiz::cli
