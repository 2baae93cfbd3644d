#pragma once

#include <QString>

#include "app/Inventory.h"

namespace actualiz::gui {

// The name a screen reader says for a control, in Spanish: what the control is for, as the
// user sees it on the window. A button or a frame is named by its caption; a list, a box or a bar
// by the frame or label that tells what it holds, and where several share one frame, by which of
// them it is ("Campos Base Origen: tipos"). No two controls a user can reach share a name.
QString AccessibleName(const app::ControlDesign& design);

}  // namespace actualiz::gui
