#include "gui/Look.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>

// Resources compiled into a static library are registered by hand, from outside any namespace.
static void RegisterIcons() {
    Q_INIT_RESOURCE(actualiz);
}

namespace actualiz::gui {

namespace {

bool Fits(const QPushButton& button, const QString& text) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = text;
    QRect room = button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    QSize needed = button.fontMetrics().size(0, text);
    return needed.width() <= room.width() && needed.height() <= room.height();
}

// The caption as the button shows it: on one line, or split at the space that makes the longer
// line shortest. Returns false when neither fits.
bool Wrap(QPushButton& button, const QString& caption) {
    button.setText(caption);
    if (Fits(button, caption)) return true;
    QString best;
    int bestWidth = 0;
    for (qsizetype at = caption.indexOf(QLatin1Char(' ')); at > 0;
         at = caption.indexOf(QLatin1Char(' '), at + 1)) {
        QString first = caption.left(at);
        QString second = caption.mid(at + 1);
        int width = std::max(button.fontMetrics().horizontalAdvance(first),
                             button.fontMetrics().horizontalAdvance(second));
        if (best.isEmpty() || width < bestWidth) {
            best = first + QLatin1Char('\n') + second;
            bestWidth = width;
        }
    }
    if (best.isEmpty() || !Fits(button, best)) return false;
    button.setText(best);
    return true;
}

}  // namespace

QFont DesignFont() {
    QFont font;
    font.setFamilies(
        {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8);
    return font;
}

void FitCaptions(const std::vector<QPushButton*>& buttons, const QFont& font) {
    std::vector<QString> captions;
    for (const QPushButton* button : buttons)
        captions.push_back(button->text().replace(QLatin1Char('\n'), QLatin1Char(' ')));
    QFont shared = font;
    for (;;) {
        bool all = true;
        for (size_t i = 0; i < buttons.size(); ++i) {
            buttons[i]->setFont(shared);
            all = Wrap(*buttons[i], captions[i]) && all;
        }
        if (all || shared.pointSizeF() <= 6) return;
        shared.setPointSizeF(shared.pointSizeF() - 0.5);
    }
}

QIcon AppIcon() {
    RegisterIcons();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/actualiz-%1.png").arg(size), QSize(size, size));
    return icon;
}

bool CaptionFits(const QPushButton& button) {
    return Fits(button, button.text());
}

int ClassicLook::pixelMetric(PixelMetric metric, const QStyleOption* option,
                             const QWidget* widget) const {
    if (metric == PM_DefaultFrameWidth && qobject_cast<const QPushButton*>(widget)) return 1;
    // Entries of a list stand two pixels from its edges, as in the classic list box, so that a
    // name such as "almacen.mdb" fits the narrow database lists whole.
    if (metric == PM_FocusFrameHMargin && qobject_cast<const QAbstractItemView*>(widget)) return 1;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

void ClassicLook::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                QPainter* painter, const QWidget* widget) const {
    if (element == PE_Frame && (option->state & State_HasFocus) &&
        qobject_cast<const QAbstractItemView*>(widget)) {
        // A list marks its focus on its current entry, and an empty list has none: the frame
        // around it is drawn dotted instead, so that the focus shows on every list.
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(*option);
        drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
        return;
    }
    if (element != PE_FrameFocusRect) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    painter->save();
    painter->setPen(QPen(option->palette.color(QPalette::WindowText), 1, Qt::DotLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    painter->restore();
}

void ClassicLook::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                     QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    // The drive list marks its focus around the drive it shows.
    if (control != CC_ComboBox || !(option->state & State_HasFocus)) return;
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(*option);
    focus.rect =
        subControlRect(CC_ComboBox, option, SC_ComboBoxEditField, widget).adjusted(1, 1, -1, -1);
    drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
}

void ClassicLook::Install() {
    if (dynamic_cast<ClassicLook*>(QApplication::style())) return;
    QApplication::setStyle(new ClassicLook);
}

}  // namespace actualiz::gui
