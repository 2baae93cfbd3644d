#include "cli/ImportCommand.h"
#include "cli/Errors.h"

#include <cctype>
#include <filesystem>
#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>

#include "engine/Engine.h"
#include "jet/JetReader.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

int ImportCommand(const std::string& jetFile, const std::string& outFile,
                  const ImportOptions& options, std::ostream& out, std::ostream& err) {
    try {
        engine::JetReadOptions read;
        read.includeRows = !options.schemaOnly;
        read.includeHiddenQueries = options.allQueries;
        std::vector<std::string> notCarried;
        // Command lines take host paths as they are, relative ones included; "C:\\..." goes
        // through the drive mapping.
        std::filesystem::path source = platform::ResolvePath(jetFile);
        auto db = engine::ImportJetFile(source, outFile, read, &notCarried);

        long tables = 0, indexes = 0, rows = 0;
        for (const auto& t : db->TableDefs()) {
            if (engine::IsSystemName(t->Name())) continue;
            ++tables;
            indexes += static_cast<long>(t->Indexes().Count());
            if (!options.schemaOnly) {
                auto rs = db->OpenRecordset(t->Name());
                rows += rs->RecordCount();
                rs->Close();
            }
        }
        long relations = static_cast<long>(db->Relations().Count());
        long queries = static_cast<long>(db->QueryDefs().Count());
        db->Close();

        for (const auto& note : notCarried) err << "Aviso: " << note << "\n";
        out << "Importada " << jetFile << " en " << outFile << ": " << tables << " tablas, "
            << indexes << " índices, " << relations << " relaciones, " << queries << " consultas";
        if (!options.schemaOnly) out << ", " << rows << " filas";
        out << "\n";
        if (!notCarried.empty())
            out << notCarried.size()
                << " avisos de lo que no se traslada (en la salida de errores)\n";
    } catch (const Error& e) {
        err << ErrorText(e) << "\n";
        return 1;
    }
    return 0;
}

void AddImportCommand(CLI::App& app) {
    auto* import = app.add_subcommand(
        "import", "Crea una base de datos del motor con lo que contiene un archivo Jet (.mdb)");
    auto jetFile = std::make_shared<std::string>();
    auto outFile = std::make_shared<std::string>();
    auto options = std::make_shared<ImportOptions>();
    import->add_option("ARCHIVO_JET", *jetFile, "Archivo Jet que se lee (no se modifica)")
        ->required();
    import->add_option("ARCHIVO_NUEVO", *outFile, "Base de datos nueva (no debe existir)")
        ->required();
    import->add_flag("--schema-only", options->schemaOnly, "Solo la estructura, sin las filas");
    import->add_flag("--all-queries", options->allQueries,
                     "Incluye las consultas ocultas (nombres que empiezan por ~)");
    import->callback([jetFile, outFile, options] {
        int status = ImportCommand(*jetFile, *outFile, *options, std::cout, std::cerr);
    if (status != 0) throw CLI::RuntimeError(status);
});
}  // namespace actualiz::cli

}  // namespace actualiz::cli
