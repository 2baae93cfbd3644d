#pragma once

#include <vector>

#include <QRect>
#include <QRegion>

class QWidget;

namespace actualiz::gui {

// Keyboard focus follows what the user sees. A control takes focus only while at least half of
// it can be seen: not hidden, not outside the window's client area as it is now, not outside
// the frame that holds it, not under controls that lie above it. Tab never reaches any other, so
// no key can press a button nobody can see. The ones in view are reached in reading order, a
// frame's controls together: see ReadingOrder. At the design size that is the drive list, the
// folder list, "Transformar" and "Salir".
class FocusChain {
  public:
    // Remembers how each control takes focus when it is in view.
    void Add(QWidget* widget);
    // Applies the rule to the window as it is now (after it is built, and at every resize).
    void Update(QWidget* window);

    // The part of widget a user can see on window, in window coordinates: its area cut to the
    // window, to each widget it lies in, and without what lies above it.
    static QRegion VisibleRegion(const QWidget* widget, const QWidget* window);
    // The order in which areas are read: indexes into areas. Rows from the top, each read column
    // by column from the left, each column again in rows, and so on (a cut between two rows or
    // two columns is a line that crosses no area). Where areas are so entangled that no line
    // parts them, the line that crosses the fewest parts them, each crossed area going to the
    // side of its centre; between a row and a column that cross as few, the row is read first.
    // Areas that overlap by no more than slack pixels at an edge are taken as apart: a frame
    // drawn a few pixels into the row of buttons under it still makes a row of its own.
    static std::vector<size_t> ReadingOrder(const std::vector<QRect>& areas, int slack = 0);

  private:
    struct Entry {
        QWidget* widget;
        int policy;  // Qt::FocusPolicy when in view
    };
    std::vector<Entry> entries_;
};

}  // namespace actualiz::gui
