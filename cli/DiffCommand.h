#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace CLI {
class App;
}

namespace actualiz::cli {

// One structural difference between a model and an old database.
struct Difference {
    enum class Kind { Table, Field, Index, Relation, Query };
    enum class Change { OnlyInModel, OnlyInOld, Different };
    Kind kind;
    Change change;
    std::string table;  // the table of a field or an index, "" otherwise
    std::string name;
    nlohmann::json model;  // the object as the model has it (null when it lacks it)
    nlohmann::json old;    // the object as the old database has it (null when it lacks it)
};

// The differences between two structure documents of engine::DescribeDatabase: tables, their
// fields (type, size and properties) and indexes (fields, unique, primary, ignore nulls),
// relations (tables, attributes, field pairs) and queries (SQL). Objects are matched by name as
// the engine matches names; the order of fields within a table does not count (the upgrade appends
// missing fields at the end), the order of fields within an index or a relation does.
std::vector<Difference> DiffStructures(const nlohmann::json& model, const nlohmann::json& old);

nlohmann::json DifferencesJson(const std::vector<Difference>& differences);
// One difference named without its objects: {"kind", "change", "name"} and "table" for a field or
// an index.
nlohmann::json DifferenceKey(const Difference& difference);
// One line: "Índice clientes.nombre: distinto", "Tabla visitas: solo en el modelo".
std::string DifferenceHeadline(const Difference& difference);
std::string DifferencesText(const std::vector<Difference>& differences);

// `actualiz-cli diff MODEL OLD [--json]`. Exit status 0 when the structures are equal, 1 when
// they differ, and 1 as well when either database cannot be read ("Error N: text" on err).
int DiffCommand(const std::string& model, const std::string& old, bool asJson, std::ostream& out,
                std::ostream& err);

// Registers "diff".
void AddDiffCommand(CLI::App& app);

}  // namespace actualiz::cli
