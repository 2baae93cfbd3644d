#pragma once

#include <cmath>

#include <QRect>
#include <QSize>

#include "app/Inventory.h"

namespace actualiz::gui {

// The window is designed in twips, 1/1440 of an inch. Converting through the screen's logical
// DPI keeps the design's proportions to the text the toolkit draws: at 96 DPI 15 twips make one
// pixel.
inline constexpr int kTwipsPerInch = 1440;

inline int TwipsToPixels(int twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

// A rectangle in twips as pixels. The edges are converted, not the sizes, so that controls that
// touch in the design still touch on the screen and an edge at the border of the design client
// area lands exactly on the border of the window.
inline QRect TwipsToPixels(int left, int top, int width, int height, double dpiX, double dpiY) {
    int x0 = TwipsToPixels(left, dpiX);
    int y0 = TwipsToPixels(top, dpiY);
    int x1 = TwipsToPixels(left + width, dpiX);
    int y1 = TwipsToPixels(top + height, dpiY);
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

inline QRect TwipsToPixels(const app::ControlDesign& design, double dpiX, double dpiY) {
    return TwipsToPixels(design.left, design.top, design.width, design.height, dpiX, dpiY);
}

// The design client area (4245 x 3375 twips) in pixels.
inline QSize DesignClientSize(double dpiX, double dpiY) {
    return QSize(TwipsToPixels(app::kClientWidth, dpiX), TwipsToPixels(app::kClientHeight, dpiY));
}

}  // namespace actualiz::gui
