#include "gui/QtHost.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>

#include <algorithm>

#include "app/Actualiz.h"

namespace actualiz::gui {

QtHost::QtHost() = default;

QtHost::~QtHost() {
    // Never leave the whole application showing the hourglass after the window is gone.
    if (hourglass_) QApplication::restoreOverrideCursor();
}

QMessageBox::Icon QtHost::IconFor(app::MsgIcon icon) {
    switch (icon) {
        case app::MsgIcon::Critical:
            return QMessageBox::Critical;
        case app::MsgIcon::Information:
            return QMessageBox::Information;
        case app::MsgIcon::None:
            return QMessageBox::NoIcon;
    }
    return QMessageBox::NoIcon;
}

QString QtHost::ErrorText(const Error& error) {
    return QStringLiteral("Error '%1' en tiempo de ejecución:\n\n%2")
        .arg(error.number())
        .arg(QString::fromStdString(error.description()));
}

void QtHost::Present(QMessageBox::Icon icon, const QString& title, const QString& text) {
    if (presenter_) {
        presenter_(icon, title, text);
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent_);
    // The box wraps its text at a width of its own; a line naming a host path is let through
    // whole, up to two thirds of the screen.
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, box.fontMetrics().horizontalAdvance(line));
    if (QScreen* screen = box.screen())
        widest = std::min(widest, screen->availableSize().width() * 2 / 3);
    box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { min-width: %1px; }").arg(widest));
    box.exec();
}

void QtHost::MsgBox(const std::string& text, app::MsgIcon icon, const std::string& title) {
    Present(IconFor(icon), QString::fromStdString(title), QString::fromStdString(text));
}

void QtHost::EndApplication() {
    if (onEnd_) onEnd_();
}

void QtHost::SetMousePointer(int pointer) {
    // Every value but the hourglass is the default pointer. The override cursor covers the whole
    // application, which is what a busy form means.
    bool wantHourglass = pointer == app::kHourglassPointer;
    if (wantHourglass == hourglass_) return;
    if (wantHourglass)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    hourglass_ = wantHourglass;
}

void QtHost::RefreshFrame(const app::Frame& frame) {
    if (onRefresh_) onRefresh_(frame);
}

void QtHost::ShowError(const std::string& command, const Error& error) {
    (void)command;  // the user knows a failure by its number and text, not by the handler's name
    if (holdErrors_) return;
    Present(QMessageBox::Critical, QString::fromStdString(app::Actualiz::Title()),
            ErrorText(error));
}

}  // namespace actualiz::gui
