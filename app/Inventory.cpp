#include "app/Inventory.h"

#include <array>
#include <charconv>

namespace actualiz::app {

namespace {

using K = ControlKind;

constexpr std::string_view kWindow = "";

// One row: name, array index (-1: no array), kind, caption or initial text, container, left,
// top, width, height, visible flag.
constexpr ControlDesign C(std::string_view name, int index, K kind, std::string_view text,
                          std::string_view container, int left, int top, int width, int height,
                          bool visible = true) {
    return ControlDesign{name, index, kind, text, container, left, top, width, height, visible};
}

constexpr ControlDesign LabelAt(std::string_view name, std::string_view caption,
                                std::string_view container, int left, int top, int width,
                                int height, Alignment alignment, bool visible = true) {
    ControlDesign design =
        C(name, -1, K::Label, caption, container, left, top, width, height, visible);
    design.alignment = alignment;
    return design;
}

constexpr ControlDesign Data(std::string_view name, std::string_view caption, int left, int top,
                             bool visible, std::string_view database, std::string_view source) {
    ControlDesign design =
        C(name, -1, K::DataControl, caption, kWindow, left, top, 1140, 345, visible);
    design.databaseName = database;
    design.recordSource = source;
    return design;
}

constexpr ControlDesign Bound(std::string_view name, int index, std::string_view container,
                              int left, int top, int width, int height, std::string_view dataSource,
                              std::string_view field) {
    ControlDesign design = C(name, index, K::TextBox, "", container, left, top, width, height);
    design.dataSource = dataSource;
    design.dataField = field;
    return design;
}

constexpr ControlDesign Bar(std::string_view name, int top) {
    return C(name, -1, K::ProgressBar, "", "Frame13", 60, top, 1800, 195);
}

// Frames come before the controls they hold, so that a view can build containers first.
constexpr auto kControls = std::to_array<ControlDesign>({
    // Frames around the working lists and boxes.
    C("Frame1", 0, K::Frame, "Base de Datos Origen", kWindow, 90, 4005, 7095, 660),
    C("Frame1", 1, K::Frame, "Directorio de Datos", kWindow, 90, 3420, 6390, 660),
    C("Frame2", 0, K::Frame, "Campos Base Origen", kWindow, 2700, 5400, 2820, 1185),
    C("Frame2", 1, K::Frame, "Campos Para Añadir", kWindow, 5610, 4470, 2820, 1185),
    C("Frame2", 2, K::Frame, "BBDD Indices", kWindow, 9945, 1425, 1545, 1620),
    C("Frame2", 3, K::Frame, "BBDD Rel", kWindow, 11610, 195, 3390, 1485),
    C("Frame3", -1, K::Frame, "Campos Base Destino", kWindow, 2700, 6645, 2760, 1215),
    C("Frame4", -1, K::Frame, "Tablas Origen", kWindow, 90, 5400, 1260, 1185),
    C("Frame5", -1, K::Frame, "Tablas Destino", kWindow, 105, 6615, 1290, 1260),
    C("Frame6", -1, K::Frame, "Añadir Nueva", kWindow, 1395, 5400, 1215, 1185),
    C("Frame7", -1, K::Frame, "Bases Viejas", kWindow, 8760, 30, 1245, 1305),
    C("Frame8", -1, K::Frame, "Bases Modelo", kWindow, 7440, 15, 1245, 1305),
    C("Frame10", -1, K::Frame, "Bases Añadir", kWindow, 7545, 1320, 1245, 1305),
    C("Frame11", 0, K::Frame, "Relaciones Origen", kWindow, 11535, 2235, 2910, 1200),
    C("Frame11", 1, K::Frame, "Relaciones Destno", kWindow, 11610, 3570, 2580, 1200),
    C("Frame11", 2, K::Frame, "Consultas Destino", kWindow, 8910, 5775, 1380, 1200),
    C("Frame11", 3, K::Frame, "Campos Consulta Modelo", kWindow, 9000, 6945, 2790, 1200),
    C("Frame11", 4, K::Frame, "Consultas Origen", kWindow, 10485, 5805, 1380, 1200),
    C("Frame12", -1, K::Frame, "Tablas Origen", kWindow, 8820, 1380, 1260, 1185),
    // The progress panel: hidden, and with it everything inside.
    C("Frame9", -1, K::Frame, "Estado Transformación", kWindow, 4335, 120, 2850, 2100, false),
    C("Frame13", -1, K::Frame, "", "Frame9", 765, 555, 1950, 1500),

    // Folder selection: the only controls the user works with, with Command27 and Command14.
    C("Drive1", -1, K::DriveListBox, "", kWindow, 60, 105, 3030, 315),
    C("Dir1", -1, K::DirListBox, "", kWindow, 60, 465, 3000, 2790),

    // Buttons. Each runs the window's method named after it with "_Click".
    C("Command1", -1, K::CommandButton, "SEL", "Frame1(0)", 6420, 285, 585, 240),
    C("Command2", -1, K::CommandButton, "Lista de Campos", kWindow, 2880, 4620, 1275, 400),
    C("Command3", -1, K::CommandButton, "Llenar DBGRID", kWindow, 4245, 3690, 1275, 400),
    C("Command4", -1, K::CommandButton, "Añadir Campo", kWindow, 6960, 3690, 1275, 400),
    C("Command5", -1, K::CommandButton, "Borrar Campos", kWindow, 8310, 3690, 1140, 400),
    C("Command6", -1, K::CommandButton, "Lista de Tablas", kWindow, 180, 4620, 1275, 400),
    C("Command7", -1, K::CommandButton, "SELECCIONAR", "Frame1(1)", 6420, 285, 1545, 240),
    C("Command8", -1, K::CommandButton, "Igualar BBDD", kWindow, 1530, 4620, 1275, 400),
    C("Command9", -1, K::CommandButton, "Crear Tabla", kWindow, 5610, 3690, 1275, 400),
    C("Command10", -1, K::CommandButton, "Lista Campos Origen", kWindow, 5715, 6075, 1275, 585),
    C("Command11", -1, K::CommandButton, "Lista Campos Destino", kWindow, 7095, 6060, 1275, 585),
    C("Command12", -1, K::CommandButton, "Recorrer Tablas", kWindow, 1665, 6945, 855, 540, false),
    C("Command13", -1, K::CommandButton, "Transformar", kWindow, 3210, 1320, 1005, 375, false),
    C("Command14", -1, K::CommandButton, "Salir", kWindow, 3210, 2910, 1005, 375),
    C("Command15", -1, K::CommandButton, "Bases Añadir", kWindow, 7485, 2685, 1215, 315),
    C("Command16", -1, K::CommandButton, "Copia los indices", kWindow, 9585, 4755, 1920, 480),
    C("Command17", -1, K::CommandButton, "Lista de Indices Destino", kWindow, 9585, 3165, 1920,
      480),
    C("Command18", -1, K::CommandButton, "Borra los indices", kWindow, 9585, 3705, 1920, 480),
    C("Command19", -1, K::CommandButton, "Lista de Indices Modelo", kWindow, 9585, 4230, 1920, 480),
    C("Command20", -1, K::CommandButton, "Borrar Relacion", kWindow, 12570, 5760, 1785, 345),
    C("Command21", -1, K::CommandButton, "Crea Relacion", kWindow, 12630, 5370, 1650, 330),
    C("Command22", -1, K::CommandButton, "Lista Relaciones", kWindow, 12630, 4980, 1650, 330),
    C("Command23", -1, K::CommandButton, "Iguala Consultas", kWindow, 10965, 8370, 1575, 285),
    C("Command24", -1, K::CommandButton, "Lista de Consultas", kWindow, 8730, 8340, 1680, 300),
    C("Command25", -1, K::CommandButton, "Transformar", kWindow, 3210, 990, 975, 390, false),
    C("Command26", -1, K::CommandButton, "Transformar", kWindow, 3210, 585, 975, 390, false),
    C("Command27", -1, K::CommandButton, "Transformar", kWindow, 3210, 105, 975, 390),

    // Database lists.
    C("List6", -1, K::ListBox, "", "Frame7", 75, 180, 1095, 1035),
    C("List7", -1, K::ListBox, "", "Frame8", 75, 180, 1095, 1035),
    C("List8", -1, K::ListBox, "", "Frame10", 75, 180, 1095, 1035),

    // The current pair of databases: model path and old path. The texts are placeholders.
    C("Text3", -1, K::TextBox, "c:\\Quenda\\modelos\\zuri.mdb", "Frame1(0)", 120, 225, 6135, 285),
    C("Text4", -1, K::TextBox, "c:\\Quenda\\viejas\\zuri.mdb", "Frame1(1)", 180, 240, 6135, 285),

    // Table and field lists.
    C("List2", -1, K::ListBox, "", "Frame4", 90, 270, 1050, 840),
    C("List3", -1, K::ListBox, "", "Frame5", 75, 255, 1095, 840),
    C("List4", -1, K::ListBox, "", "Frame6", 90, 270, 1050, 840),
    C("List1", 0, K::ListBox, "", "Frame2(0)", 135, 270, 825, 840),
    C("List1", 1, K::ListBox, "", "Frame2(0)", 1050, 270, 765, 840),
    C("List1", 2, K::ListBox, "", "Frame2(0)", 1875, 270, 765, 840),
    C("List1", 3, K::ListBox, "", "Frame2(1)", 135, 270, 825, 840),
    C("List1", 4, K::ListBox, "", "Frame2(1)", 1050, 270, 765, 840),
    C("List1", 5, K::ListBox, "", "Frame2(1)", 1875, 270, 765, 840),
    C("List5", 0, K::ListBox, "", "Frame3", 120, 285, 825, 840),
    C("List5", 1, K::ListBox, "", "Frame3", 1005, 285, 825, 840),
    C("List5", 2, K::ListBox, "", "Frame3", 1875, 285, 825, 840),
    C("Text2", -1, K::TextBox, "", kWindow, 90, 5010, 1530, 285),
    C("Text5", -1, K::TextBox, "", kWindow, 7440, 3060, 2175, 285),

    // Index, relation and query lists. List11 has no element 2.
    C("List10", -1, K::ListBox, "", "Frame12", 90, 270, 1050, 840),
    C("List9", 0, K::ListBox, "", "Frame11(0)", 105, 270, 2730, 840),
    C("List9", 1, K::ListBox, "", "Frame11(1)", 105, 270, 2310, 840),
    C("List11", 0, K::ListBox, "", "Frame11(4)", 120, 240, 1110, 840),
    C("List11", 1, K::ListBox, "", "Frame11(2)", 135, 285, 990, 840),
    C("List11", 3, K::ListBox, "", "Frame11(3)", 120, 345, 2505, 645),

    // Data controls and the text boxes bound to them.
    Data("Data1", "Data1", 8475, 75, false, "", ""),
    Data("Data2", "Data2", 8490, 660, false, "", "Empleados"),
    Data("Data3", "Data1", 9225, 4440, false, "C:\\ActMirto\\indices.mdb", "indices"),
    Data("Data4", "Data1", 12000, 1830, false, "C:\\ActMirto\\relacion.mdb", "relacion"),
    Data("Data5", "Data1", 12060, 7155, true, "C:\\ActMirto\\consulta.mdb", "consulta"),
    Bound("Text1", 0, "Frame2(2)", 135, 240, 1275, 285, "Data3", "nombreind"),
    Bound("Text1", 1, "Frame2(2)", 135, 600, 1275, 285, "Data3", "tabla"),
    Bound("Text1", 2, "Frame2(2)", 120, 945, 1275, 285, "Data3", "campo"),
    Bound("Text1", 3, "Frame2(2)", 120, 1275, 1275, 285, "Data3", "unico"),
    Bound("Text6", 0, "Frame2(3)", 315, 300, 1335, 300, "Data4", "nombrerel"),
    Bound("Text6", 1, "Frame2(3)", 285, 630, 1335, 300, "Data4", "tabla"),
    Bound("Text6", 2, "Frame2(3)", 225, 960, 1335, 300, "Data4", "tablafor"),
    Bound("Text6", 3, "Frame2(3)", 1785, 300, 1335, 300, "Data4", "atributos"),
    Bound("Text6", 4, "Frame2(3)", 1785, 645, 1335, 300, "Data4", "campo"),
    Bound("Text6", 5, "Frame2(3)", 1815, 975, 1335, 300, "Data4", "campofor"),
    Bound("campocon", 0, kWindow, 12030, 6345, 1170, 315, "Data5", "nombrecon"),
    Bound("campocon", 1, kWindow, 12045, 6705, 1170, 315, "Data5", "consulta"),

    // Inside the progress panel: the status line, the bar captions and the bars.
    [] {
        // The status line sizes itself to its text; it starts empty.
        ControlDesign design =
            LabelAt("Label4", "", "Frame9", 1335, 255, 0, 195, Alignment::Center);
        design.autoSize = true;
        return design;
    }(),
    LabelAt("Label1", "Bases:", "Frame9", 210, 600, 480, 195, Alignment::Right),
    LabelAt("Label2", "Tablas:", "Frame9", 165, 837, 525, 195, Alignment::Right),
    LabelAt("Label3", "Campos:", "Frame9", 75, 1074, 615, 195, Alignment::Right),
    LabelAt("Label6", "Indices:", "Frame9", 135, 1311, 555, 195, Alignment::Right),
    LabelAt("Label7", "Relac.:", "Frame9", 180, 1548, 510, 195, Alignment::Right),
    LabelAt("Label8", "Consul.:", "Frame9", 120, 1785, 570, 195, Alignment::Right),
    Bar("Bar1", 45),
    Bar("Bar2", 285),
    Bar("Bar3", 525),
    Bar("Bar4", 780),
    Bar("Bar5", 1020),
    Bar("Bar6", 1260),

    // A reminder of the designer's, never shown.
    LabelAt("Label5", "En el label4 hay que meter el estado de lo que se esta haciendo", kWindow,
            2130, 5085, 4530, 195, Alignment::Left, false),
});

}  // namespace

std::string ControlDesign::FullName() const {
    std::string out(name);
    if (index >= 0) out += "(" + std::to_string(index) + ")";
    return out;
}

std::span<const ControlDesign> Inventory() {
    return kControls;
}

const ControlDesign* FindDesign(std::string_view name, int index) {
    for (const ControlDesign& design : kControls)
        if (design.name == name && design.index == index) return &design;
    return nullptr;
}

bool ParseFullName(std::string_view fullName, std::string& name, int& index) {
    if (fullName.empty()) return false;
    auto open = fullName.find('(');
    if (open == std::string_view::npos) {
        if (fullName.find(')') != std::string_view::npos) return false;
        name = std::string(fullName);
        index = -1;
        return true;
    }
    if (open == 0 || fullName.back() != ')') return false;
    std::string_view digits = fullName.substr(open + 1, fullName.size() - open - 2);
    if (digits.empty()) return false;
    int value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc{} || end != digits.data() + digits.size() || value < 0) return false;
    name = std::string(fullName.substr(0, open));
    index = value;
    return true;
}

std::string_view KindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::DriveListBox:
            return "driveListBox";
        case ControlKind::DirListBox:
            return "dirListBox";
        case ControlKind::CommandButton:
            return "commandButton";
        case ControlKind::ListBox:
            return "listBox";
        case ControlKind::TextBox:
            return "textBox";
        case ControlKind::Label:
            return "label";
        case ControlKind::Frame:
            return "frame";
        case ControlKind::ProgressBar:
            return "progressBar";
        case ControlKind::DataControl:
            return "dataControl";
    }
    return "unknown";
}

}  // namespace actualiz::app
