#include "cli/SpanishHelp.h"

#include <memory>
#include <regex>
#include <sstream>
#include <utility>
#include <vector>

namespace actualiz::cli {

namespace {

// The parser's default names for the groups of options and of subcommands.
constexpr const char* kOptionsGroup = "Options";
constexpr const char* kSubcommandsGroup = "Subcommands";

// The names the parser gives the kinds of values, as they show after an option.
std::string SpanishTypeName(const std::string& type) {
    static const std::vector<std::pair<std::string, std::string>> kTypes{
        {"TEXT", "TEXTO"},   {"INT", "ENTERO"},    {"UINT", "NATURAL"},
        {"FLOAT", "NÚMERO"}, {"BOOLEAN", "SÍ/NO"}, {"ENUM", "VALOR"}};
    // "TEXT:{a,b,c}": the type, then what a check accepts.
    const std::string::size_type colon = type.find(':');
    const std::string head = type.substr(0, colon);
    for (const auto& [english, spanish] : kTypes)
        if (head == english)
            return colon == std::string::npos ? spanish : spanish + type.substr(colon);
    return type;
}

// Each of the parser's argument errors, as a pattern over its English text and the Spanish one.
// The first that matches the whole text is used.
struct Translation {
    std::regex english;
    const char* spanish;
};

const std::vector<Translation>& Translations() {
    static const std::vector<Translation> kTranslations = [] {
        const std::vector<std::pair<const char*, const char*>> rows{
            {"The following arguments were not expected: (.*)", "Sobran estos argumentos: $1"},
            {"The following argument was not expected: (.*)", "Sobra este argumento: $1"},
            {"A subcommand is required", "Falta la orden (las órdenes están en --help)"},
            {"Requires at least (\\d+) subcommands", "Faltan órdenes: se necesitan al menos $1"},
            {"Requires at most (\\d+) subcommands", "Sobran órdenes: se admiten como mucho $1"},
            {"(.*): (\\d+) required (.*) missing", "Falta el valor de $1"},
            {"(.*): At least (\\d+) required but received (\\d+)",
             "$1 necesita al menos $2 valores y ha recibido $3"},
            {"(.*): At Most (\\d+) required but received (\\d+)",
             "$1 admite como mucho $2 valores y ha recibido $3"},
            {"Expected exactly (\\d+) arguments to (.*), got (\\d+)",
             "$2 necesita exactamente $1 valores y ha recibido $3"},
            {"Expected at least (\\d+) arguments to (.*), got (\\d+)",
             "$2 necesita al menos $1 valores y ha recibido $3"},
            {"(.*) was given a disallowed flag override", "$1 no admite valor"},
            {"Could not convert: (.*) = (.*)", "$1 no admite el valor $2"},
            {"The value (.*) is not an allowed value for (.*)", "$2 no admite el valor $1"},
            {"(.*): (.*) not in (\\{.*\\})", "$1: \"$2\" no es ninguno de $3"},
            {"(.*): Check (.*) value in (.*) FAILED", "$1: \"$2\" no es ninguno de $3"},
            {"(.*): Value (.*) not in range (.*) to (.*)", "$1: $2 no está entre $3 y $4"},
            {"(.*): File does not exist: (.*)", "$1: no existe el archivo $2"},
            {"(.*): Directory does not exist: (.*)", "$1: no existe la carpeta $2"},
            {"(.*) requires (.*)", "$1 necesita $2"},
            {"(.*) excludes (.*)", "$1 no puede ir con $2"},
            {"(.*) is required", "Falta $1"},
        };
        std::vector<Translation> out;
        for (const auto& [english, spanish] : rows) out.push_back({std::regex(english), spanish});
        return out;
    }();
    return kTranslations;
}

std::string SpanishFailure(const CLI::App* app, const CLI::Error& error) {
    std::string text = SpanishParseError(error.what()) + "\n";
    if (app->get_help_ptr() != nullptr)
        text += "Más información con " + app->get_help_ptr()->get_name() + ".\n";
    return text;
}

// The formatter, help flag and group names of a program or subcommand and of all below it.
void SpanishTree(CLI::App& app, const std::shared_ptr<SpanishFormatter>& formatter) {
    app.formatter(formatter);
    app.set_help_flag("-h,--help", "Muestra esta ayuda y termina");
    for (CLI::Option* option : app.get_options())
        if (option->get_group() == kOptionsGroup) option->group("Opciones");
    for (CLI::App* sub : app.get_subcommands({})) {
        if (sub->get_group() == kSubcommandsGroup) sub->group("Órdenes");
        SpanishTree(*sub, formatter);
    }
}

}  // namespace

SpanishFormatter::SpanishFormatter() {
    label("Usage", "Uso");
    label("OPTIONS", "OPCIONES");
    label("SUBCOMMAND", "ORDEN");
    label("SUBCOMMANDS", "ÓRDENES");
    label("Positionals", "Argumentos");
    label("REQUIRED", "OBLIGATORIO");
    label("Env", "Variable");
    label("Needs", "Necesita");
    label("Excludes", "Excluye");
}

std::string SpanishFormatter::make_description(const CLI::App* app) const {
    std::string description = app->get_description();
    const std::size_t least = app->get_require_option_min();
    const std::size_t most = app->get_require_option_max();
    if (app->get_required()) description += " OBLIGATORIO ";
    if (least > 0 && most == least)
        description += " \n[Exactamente " + std::to_string(least) + " de estas opciones]";
    else if (most > 0 && least > 0)
        description += " \n[Entre " + std::to_string(least) + " y " + std::to_string(most) +
                       " de estas opciones]";
    else if (most > 0)
        description += " \n[Como mucho " + std::to_string(most) + " de estas opciones]";
    else if (least > 0)
        description += " \n[Al menos " + std::to_string(least) + " de estas opciones]";
    return description.empty() ? std::string() : description + "\n";
}

// As the parser writes it, with the value's type and the labels in Spanish.
std::string SpanishFormatter::make_option_opts(const CLI::Option* option) const {
    if (!option->get_option_text().empty()) return " " + option->get_option_text();
    std::ostringstream out;
    if (option->get_type_size() != 0) {
        if (!option->get_type_name().empty())
            out << " " << SpanishTypeName(option->get_type_name());
        if (!option->get_default_str().empty()) out << "=" << option->get_default_str();
        if (option->get_expected_max() == CLI::detail::expected_max_vector_size)
            out << " ...";
        else if (option->get_expected_min() > 1)
            out << " x " << option->get_expected();
        if (option->get_required()) out << " " << get_label("REQUIRED");
    }
    if (!option->get_envname().empty())
        out << " (" << get_label("Env") << ":" << option->get_envname() << ")";
    if (!option->get_needs().empty()) {
        out << " " << get_label("Needs") << ":";
        for (const CLI::Option* other : option->get_needs()) out << " " << other->get_name();
    }
    if (!option->get_excludes().empty()) {
        out << " " << get_label("Excludes") << ":";
        for (const CLI::Option* other : option->get_excludes()) out << " " << other->get_name();
    }
    return out.str();
}

std::string SpanishParseError(const std::string& english) {
    for (const Translation& translation : Translations())
        if (std::regex_match(english, translation.english))
            return std::regex_replace(english, translation.english, translation.spanish);
    return english;
}

void SpeakSpanish(CLI::App& app) {
    SpanishTree(app, std::make_shared<SpanishFormatter>());
    app.failure_message(SpanishFailure);
}

}  // namespace actualiz::cli
