#pragma once

#include <vector>

#include <QRect>

class QWidget;

namespace actualiz::gui {

// Keyboard focus follows what the user sees. A control that is hidden, or that lies wholly
// outside the window's client area as it is now, takes no focus: Tab never reaches it, so no key
// can press a button nobody can see. The ones in view are reached in reading order: column by
// column from the left (controls whose horizontal extents overlap make one column), each column
// from the top. At the design size that is the drive list, the folder list, "Transformar" and
// "Salir".
class FocusChain {
  public:
    // Remembers how each control takes focus when it is in view.
    void Add(QWidget* widget);
    // Applies the rule to the window as it is now (after it is built, and at every resize).
    void Update(QWidget* window);

    // The order in which areas are read: indexes into areas.
    static std::vector<size_t> ReadingOrder(const std::vector<QRect>& areas);

  private:
    struct Entry {
        QWidget* widget;
        int policy;  // Qt::FocusPolicy when in view
    };
    std::vector<Entry> entries_;
};

}  // namespace actualiz::gui
