#pragma once

#include <span>
#include <string>
#include <string_view>

namespace actualiz::app {

// The kinds of control the window holds.
enum class ControlKind {
    DriveListBox,
    DirListBox,
    CommandButton,
    ListBox,
    TextBox,
    Label,
    Frame,
    ProgressBar,
    DataControl,
};

enum class Alignment { Left, Right, Center };

// The design client area of the window, in twips. Everything whose left edge lies at or beyond
// the width, or whose top edge lies at or beyond the height, is outside it at the design size.
inline constexpr int kClientWidth = 4245;
inline constexpr int kClientHeight = 3375;

// One control of the window as designed. The whole window is one table of these (Inventory()),
// read by the form, the Qt window, the headless runner and the tests, so that the layout is
// written down once.
struct ControlDesign {
    std::string_view name;  // "List1", "Command13"
    int index;              // element of a control array, -1 when the control is no array
    ControlKind kind;
    std::string_view text;       // caption (buttons, labels, frames, data controls) or initial text
    std::string_view container;  // full name of the enclosing frame ("Frame1(0)"), "" = window
    int left, top, width, height;           // twips, relative to the container's outer corner
    bool visible;                           // the control's own visible flag
    Alignment alignment = Alignment::Left;  // labels only
    bool autoSize = false;                  // labels only: the size follows the caption
    std::string_view databaseName = {};     // data controls: database opened at load
    std::string_view recordSource = {};     // data controls: record source opened at load
    std::string_view dataSource = {};       // bound text boxes: the data control's name
    std::string_view dataField = {};        // bound text boxes: the field shown

    // "List1(3)" for an array element, "List6" otherwise.
    std::string FullName() const;
    bool IsArrayElement() const { return index >= 0; }
};

// Every control of the window, containers before what they contain, in a stable order.
std::span<const ControlDesign> Inventory();

// The design entry of one control, or nullptr. index -1 looks for a control that is no array.
const ControlDesign* FindDesign(std::string_view name, int index = -1);

// Splits "List1(3)" into ("List1", 3) and "List6" into ("List6", -1). Returns false for text that
// is not a control name of that shape.
bool ParseFullName(std::string_view fullName, std::string& name, int& index);

// Text name of a kind, as the runner's dump writes it ("listBox", "commandButton" ...).
std::string_view KindName(ControlKind kind);

}  // namespace actualiz::app
