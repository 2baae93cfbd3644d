#include "app/StartupReport.h"

#include <filesystem>
#include <system_error>

#include "app/Actualiz.h"
#include "platform/DriveMap.h"
#include "platform/ProgramFolder.h"

namespace actualiz::app {

StartupReport CheckStartup(const Actualiz& form) {
    StartupReport report;
    const platform::DriveMap drives = platform::DriveMap::FromEnvironment();
    report.prefix = drives.prefix().string();
    if (auto root = drives.DriveRoot('c')) report.driveCRoot = root->string();
    std::error_code ec;
    report.driveCMissing =
        report.driveCRoot.empty() || !std::filesystem::is_directory(report.driveCRoot, ec);

    // Loading records one failure per catalog that would not open, in the order the data
    // controls are opened.
    std::vector<const Actualiz::CommandError*> failures;
    for (const Actualiz::CommandError& error : form.Errors())
        if (error.command == "Form_Load") failures.push_back(&error);
    size_t next = 0;
    for (const DataControl* data : {&form.Data3, &form.Data4, &form.Data5}) {
        if (data->IsOpen()) continue;
        StartupReport::Catalog catalog;
        catalog.windowsPath = data->DatabaseName();
        try {
            catalog.hostPath = drives.ToHost(catalog.windowsPath).string();
            catalog.missing = !std::filesystem::exists(catalog.hostPath, ec);
        } catch (const Error&) {
            // Not on any mapped drive: missing as far as the user can tell.
        }
        if (next < failures.size()) {
            const Actualiz::CommandError& failure = *failures[next++];
            catalog.failure =
                "Error " + std::to_string(failure.number) + ": " + failure.description;
        }
        report.catalogs.push_back(std::move(catalog));
    }

    // The models folder as activation searches it (a program folder at a drive root gives
    // "C:\\modelos", which the file layer reads as "C:\modelos").
    report.modelsFolder = form.ProgramFolder();
    if (report.modelsFolder.empty() || report.modelsFolder.back() != '\\')
        report.modelsFolder += '\\';
    report.modelsFolder += "modelos";
    try {
        report.modelsHost = drives.ToHost(report.modelsFolder).string();
        report.modelsMissing = !std::filesystem::is_directory(report.modelsHost, ec);
    } catch (const Error&) {
        report.modelsMissing = true;
    }
    if (report.modelsMissing) report.programFolderRule = platform::ProgramFolderRule();
    return report;
}

std::string StartupReport::Text() const {
    if (Empty()) return {};
    std::string text;
    bool anyMissing = false;
    for (const Catalog& catalog : catalogs) anyMissing = anyMissing || catalog.missing;

    // Each file with the place this machine gives it, on a line of its own: host paths are long.
    if (anyMissing) text += "Faltan archivos que el programa abre al empezar:\n";
    for (const Catalog& catalog : catalogs) {
        if (!catalog.missing) continue;
        text += "  " + catalog.windowsPath + "\n";
        text += catalog.hostPath.empty() ? "      (en ninguna unidad asignada)\n"
                                         : "      → " + catalog.hostPath + "\n";
    }
    for (const Catalog& catalog : catalogs) {
        if (catalog.missing) continue;
        text += "No se puede abrir " + catalog.windowsPath + "\n      → " + catalog.hostPath + "\n";
        if (!catalog.failure.empty()) text += "      " + catalog.failure + "\n";
    }

    if (modelsMissing) {
        if (!text.empty()) text += "\n";
        text += "No existe la carpeta de modelos " + modelsFolder + "\n";
        text += modelsHost.empty() ? "      (en ninguna unidad asignada)\n"
                                   : "      → " + modelsHost + "\n";
        text += "Sin ella la lista \"Bases Modelo\" queda vacía y no hay nada que actualizar.\n" +
                programFolderRule + "\n";
    }

    text += "\nLas letras de unidad salen del prefijo " + prefix +
            " (variable WINEPREFIX; sin ella, ~/.wine).\n";
    if (driveCRoot.empty())
        text += "La unidad C: no está asignada: falta el enlace " + prefix + "/dosdevices/c:.\n";
    else if (driveCMissing)
        text += "La unidad C: es " + driveCRoot + ", que no existe.\n";
    else
        text += "La unidad C: es " + driveCRoot + ".\n";

    if (anyMissing || driveCMissing)
        text += "\nLos catálogos se crean, vacíos, con:\n  actualiz-cli catalogs init\n";
    else if (!catalogs.empty())
        text +=
            "\nLos catálogos se vuelven a crear, vacíos, con:\n"
            "  actualiz-cli catalogs init --force\n";
    return text;
}

}  // namespace actualiz::app
