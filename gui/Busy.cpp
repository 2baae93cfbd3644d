#include "gui/Busy.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QObject>

namespace actualiz::gui {

namespace {

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
    }
}

class InputSink : public QObject {
  protected:
    bool eventFilter(QObject*, QEvent* event) override { return IsUserInput(event->type()); }
};

}  // namespace

void DiscardPendingInput() {
    if (!QApplication::instance()) return;
    InputSink sink;
    QApplication::instance()->installEventFilter(&sink);
    // A round trip to the window system brings in every event it sent before now; the events
    // are then delivered, and the sink swallows the input among them. Paints and the like pass.
    QGuiApplication::sync();
    QApplication::instance()->removeEventFilter(&sink);
}

BusyScope::BusyScope() {
    ++depth_;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyScope::~BusyScope() {
    DiscardPendingInput();
    QApplication::restoreOverrideCursor();
    --depth_;
}

bool BusyScope::Active() {
    return depth_ > 0;
}

ArrowWhileAsking::ArrowWhileAsking() {
    if (!BusyScope::Active()) return;
    // The clicks and keys given while the command ran before the box came up are not an answer.
    DiscardPendingInput();
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    pushed_ = true;
}

ArrowWhileAsking::~ArrowWhileAsking() {
    if (pushed_) QApplication::restoreOverrideCursor();
}

}  // namespace actualiz::gui
