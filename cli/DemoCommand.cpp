#include "cli/DemoCommand.h"
#include "cli/Errors.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "catalogs/CatalogFiles.h"
#include "cli/DemoData.h"
#include "cli/Report.h"
#include "cli/ScopedPrefix.h"
#include "engine/Engine.h"
#include "engine/SchemaJson.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

namespace fs = std::filesystem;

namespace {

void Build(const std::string& folder, const DemoDatabase& database) {
    engine::BuildDatabase(folder + "\\" + database.name, database.document)->Close();
}

// Copies a program file and keeps it runnable.
void InstallProgram(const fs::path& source, const fs::path& folder, const std::string& name) {
    const fs::path target = folder / name;
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    fs::permissions(target,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::replace);
}

std::string Names(const std::vector<DemoDatabase>& databases) {
    std::string names;
    for (const DemoDatabase& d : databases) names += (names.empty() ? "" : ", ") + d.name;
    return names;
}

}  // namespace

int DemoCommand(const fs::path& dir, const fs::path& program, std::ostream& out,
                std::ostream& err) {
    std::error_code ec;
    const fs::path prefix = fs::absolute(dir, ec).lexically_normal();
    const fs::path driveC = prefix / "drive_c";
    if (fs::exists(driveC, ec) && !fs::is_empty(driveC, ec)) {
        err << "actualiz-cli demo: " << driveC.string()
            << " ya existe y no está vacía; bórrela o elija otra carpeta\n";
        return 1;
    }

    std::vector<std::string> programs;
    try {
        fs::create_directories(driveC);
        ScopedPrefix demoPrefix(prefix);

        catalogs::CreateCatalogs(/*replaceExisting=*/false);

        // The program, installed: this very program and, when it was built beside it, the
        // window.
        const std::string modelsFolder = std::string(kDemoProgramFolder) + "\\modelos";
        const fs::path programHost = platform::ToHostPath(kDemoProgramFolder);
        fs::create_directories(platform::ToHostPath(modelsFolder));
        InstallProgram(program, programHost, "actualiz-cli");
        programs.push_back("actualiz-cli");
        const fs::path window = program.parent_path() / "actualiz";
        if (fs::is_regular_file(window, ec)) {
            InstallProgram(window, programHost, "actualiz");
            programs.push_back("actualiz");
        }
        for (const DemoDatabase& model : DemoModels()) Build(modelsFolder, model);

        const std::string dataFolder = app::Actualiz::kDefaultDataFolder;
        fs::create_directories(platform::ToHostPath(dataFolder));
        for (const DemoDatabase& old : DemoOldDatabases()) Build(dataFolder, old);

        Build("C:", DemoNeptuno());
    } catch (...) {
        return ReportFailure(err);
    }

    const fs::path programHost = driveC / "archivos de programa" / "Mirto 2000" / "actualiz";
    std::string programList;
    for (const std::string& p : programs) programList += (programList.empty() ? "" : ", ") + p;
    out << "Demostración creada en " << prefix.string() << " (la unidad C: es " << driveC.string()
        << ")\n"
        << "  C:\\ActMirto: indices.mdb, relacion.mdb, consulta.mdb (catálogos vacíos)\n"
        << "  " << kDemoProgramFolder << ": " << programList << "\n"
        << "  " << kDemoProgramFolder << "\\modelos: " << Names(DemoModels()) << "\n"
        << "  " << app::Actualiz::kDefaultDataFolder << ": " << Names(DemoOldDatabases()) << "\n"
        << "  C:\\Neptuno.mdb (tabla Empleados)\n\n"
        << "Pruebe ahora:\n";
    const std::string env = "WINEPREFIX=" + ShellQuote(prefix.string()) + " ";
    if (fs::exists(programHost / "actualiz", ec))
        out << "  la ventana:  " << env << ShellQuote((programHost / "actualiz").string()) << "\n";
    else
        out << "  la ventana:  " << env << "actualiz --program-dir "
            << ShellQuote(kDemoProgramFolder)
            << "   (no se instaló: compílela con -DACTUALIZ_GUI=ON)\n";
    out << "  transformar: " << env << ShellQuote((programHost / "actualiz-cli").string())
        << " transform\n"
        << "  (con --dry-run antes, para ver qué cambiaría sin cambiar nada)\n";
    return 0;
}

void AddDemoCommand(CLI::App& app) {
    auto* demo = app.add_subcommand(
        "demo",
        "Crea en CARPETA un prefijo de demostración: catálogos, el programa instalado con sus "
        "modelos, la carpeta de datos con bases antiguas y C:\\Neptuno.mdb.\n"
        "Salida: 0 hecho, 1 si CARPETA/drive_c ya tiene algo o algo falló.");
    auto dir = std::make_shared<std::string>();
    demo->add_option("CARPETA", *dir, "Carpeta del prefijo (se crea si no existe)")->required();
    demo->callback([dir] {
        std::error_code ec;
        const fs::path self = fs::read_symlink("/proc/self/exe", ec);
        if (ec) {
            std::cerr << "actualiz-cli demo: no se encuentra el programa en marcha\n";
            throw CLI::RuntimeError(1);
        }
        int status = DemoCommand(*dir, self, std::cout, std::cerr);
        if (status != 0) throw CLI::RuntimeError(status);
    });
}

}  // namespace actualiz::cli
