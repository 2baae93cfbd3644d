#include "gui/AccessibleNames.h"

#include <string_view>

namespace actualiz::gui {

namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Controls whose purpose no caption on the window tells: the folder controls, the path boxes,
// the status line and the bars of the progress panel (each named like the label beside it).
struct Named {
    std::string_view fullName;
    const char* name;
};
constexpr Named kNames[] = {
    {"Drive1", "Unidad"},
    {"Dir1", "Carpeta de datos"},
    {"Text2", "Tablas de la base"},
    {"Text3", "Ruta de la base modelo"},
    {"Text4", "Ruta de la base vieja"},
    {"Text5", "Ruta de la base modelo abierta"},
    {"Label4", "Estado"},
    {"Frame13", "Progreso"},
    {"Bar1", "Progreso: bases"},
    {"Bar2", "Progreso: tablas"},
    {"Bar3", "Progreso: campos"},
    {"Bar4", "Progreso: índices"},
    {"Bar5", "Progreso: relaciones"},
    {"Bar6", "Progreso: consultas"},
    // Two frames say "Tablas Origen": the one of the index commands lists the tables whose
    // indexes were read.
    {"Frame12", "Tablas Origen (índices)"},
    {"List10", "Tablas Origen (índices)"},
    // The list under "Bases Añadir" is filled by the button of that caption.
    {"List8", "Bases para añadir"},
    {"Data1", "Datos 1"},
    {"Data2", "Datos 2"},
};

// The field lists come in threes inside one frame: names, types and sizes of the fields.
const char* const kFieldColumns[] = {"nombres", "tipos", "tamaños"};

QString ContainerCaption(const app::ControlDesign& design) {
    for (const app::ControlDesign& other : app::Inventory())
        if (other.FullName() == design.container) return Q(other.text);
    return {};
}

}  // namespace

QString AccessibleName(const app::ControlDesign& design) {
    const std::string fullName = design.FullName();
    for (const Named& named : kNames)
        if (named.fullName == fullName) return QString::fromUtf8(named.name);

    switch (design.kind) {
        case app::ControlKind::CommandButton:
        case app::ControlKind::Frame:
        case app::ControlKind::Label:
            return Q(design.text);
        case app::ControlKind::DataControl:
            return QStringLiteral("Catálogo %1").arg(Q(design.recordSource));
        case app::ControlKind::TextBox:
            // A box bound to a catalog shows one field of it.
            if (!design.dataField.empty()) {
                const QString caption = ContainerCaption(design);
                return (caption.isEmpty() ? QStringLiteral("Consulta") : caption) +
                       QStringLiteral(": ") + Q(design.dataField);
            }
            break;
        case app::ControlKind::ListBox:
            if (design.name == "List1" || design.name == "List5")
                return ContainerCaption(design) + QStringLiteral(": ") +
                       QString::fromUtf8(kFieldColumns[design.index % 3]);
            return ContainerCaption(design);
        case app::ControlKind::DriveListBox:
        case app::ControlKind::DirListBox:
        case app::ControlKind::ProgressBar:
            break;
    }
    return Q(design.name);
}

}  // namespace actualiz::gui
