#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/SchemaCompare.h"

namespace CLI {
class App;
}

namespace actualiz::cli {

// One structural difference between a model and an old database (engine::CompareSchemas).
using Difference = engine::SchemaDifference;

nlohmann::json DifferencesJson(const std::vector<Difference>& differences);
// One difference named without its objects: {"kind", "change", "name"} and "table" for a field or
// an index.
nlohmann::json DifferenceKey(const Difference& difference);
// One line: "Índice clientes.nombre: distinto", "Tabla visitas: solo en el modelo",
// "Orden de los campos de clientes: distinto".
std::string DifferenceHeadline(const Difference& difference);
std::string DifferencesText(const std::vector<Difference>& differences);

// `actualiz-cli diff MODEL OLD [--json]`. Exit status 0 when the structures are equal, 1 when
// they differ, and 1 as well when either database cannot be read ("Error N: text" on err).
int DiffCommand(const std::string& model, const std::string& old, bool asJson, std::ostream& out,
                std::ostream& err);

// Registers "diff".
void AddDiffCommand(CLI::App& app);

}  // namespace actualiz::cli
