#include "cli/CheckCommand.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/Errors.h"
#include "engine/EngineError.h"
#include "jet/check/FileCheck.h"
#include "jet/format/PageFile.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

namespace {

constexpr int kExitSound = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUnreadable = 2;

}  // namespace

int CheckCommand(const std::string& file, bool asJson, std::ostream& out, std::ostream& err) {
    namespace format = engine::jet::format;
    std::unique_ptr<format::PageFile> pages;
    try {
        pages =
            std::make_unique<format::PageFile>(format::PageFile::Open(platform::ResolvePath(file)));
        if (!pages->IsJet4())
            throw engine::EngineError(err::kUnrecognizedFormat,
                                      "Solo se comprueban bases Jet 4 (Access 2000-2003): " + file +
                                          " es " +
                                          (pages->Version() == 0 ? "una base Jet 3 (Access 97)"
                                                                 : "de un formato posterior") +
                                          ".");
    } catch (const Error& e) {
        err << ErrorText(e) << "\n";
        return kExitUnreadable;
    }
    engine::jet::check::CheckResult result = engine::jet::check::CheckFile(*pages);
    if (asJson)
        out << engine::jet::check::CheckJson(result).dump(2) << "\n";
    else
        out << engine::jet::check::CheckText(result);
    return result.Sound() ? kExitSound : kExitProblems;
}

void AddCheckCommand(CLI::App& app) {
    auto* check = app.add_subcommand(
        "check",
        "Comprueba un archivo Jet 4 página por página: mapas de uso, definiciones de tabla y sus "
        "filas, valores largos, índices (orden y claves) y MSysObjects.\n"
        "Salida: 0 sin problemas, 1 con problemas, 2 ilegible o no es Jet 4.");
    auto file = std::make_shared<std::string>();
    auto asJson = std::make_shared<bool>(false);
    check->add_option("ARCHIVO", *file, "Base Jet 4 (ruta Windows o del sistema)")->required();
    check->add_flag("--json", *asJson, "Imprime el resultado como un documento JSON");
    check->callback([file, asJson] {
        int status = CheckCommand(*file, *asJson, std::cout, std::cerr);
        if (status != 0) throw CLI::RuntimeError(status);
    });
}

}  // namespace actualiz::cli
