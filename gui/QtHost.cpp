#include "gui/QtHost.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QPushButton>
#include <QScreen>
#include <QTextLayout>

#include <algorithm>

#include "app/Actualiz.h"
#include "gui/Look.h"

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
    ++messagesShown_;
    if (presenter_) {
        presenter_(icon, title, text);
        return;
    }
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(icon, title, text, parent_);
    box->exec();
}

QString QtHost::WrapText(const QString& text, const QFont& font, int width) {
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        bool any = false;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
            any = true;
        }
        layout.endLayout();
        if (!any) lines << QString();
    }
    return lines.join(QLatin1Char('\n'));
}

std::unique_ptr<QMessageBox> QtHost::MakeMessageBox(QMessageBox::Icon icon, const QString& title,
                                                    const QString& text, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(icon, title, QString(), QMessageBox::Ok, parent);
    // A dialog is a window of its own and takes the application's font, not the one of the
    // window it belongs to; it is given that one, as its button is given a Spanish caption.
    box->setFont(parent ? parent->font() : DesignFont());
    box->button(QMessageBox::Ok)->setText(QStringLiteral("Aceptar"));

    // The box chooses its width itself and, once the text would make it wider than half the
    // screen (500 pixels at most), wraps it again at spaces, cutting off a word that is still too
    // long. The text is therefore broken here, narrower than that: a line up to some seventy
    // characters stays whole (a host path, for one), a longer one is broken at its spaces or,
    // a path without any, where it reaches the width.
    const QFontMetrics metrics(box->font());
    int half = 500;
    if (QScreen* screen = box->screen())
        half = std::min(half, screen->availableGeometry().width() / 2);
    // Room the icon and the margins take beside the text.
    const int besides = 100;
    const int room = std::max(metrics.averageCharWidth() * 20,
                              std::min(metrics.averageCharWidth() * 70, half - besides));
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    box->setText(widest <= room ? text : WrapText(text, box->font(), room));
    return box;
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
