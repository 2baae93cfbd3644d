#pragma once

#include <vector>

#include <QFont>
#include <QIcon>
#include <QProxyStyle>

class QPushButton;

namespace actualiz::gui {

// The window was drawn for an 8-point sans serif dialog font at 96 dpi. Liberation Sans (Debian's
// fonts-liberation2) has the metrics of the sans serif that layouts of that kind were measured
// in, so the captions fit their frames and buttons as drawn; when it is missing, the closest sans
// serif the system has stands in and the buttons' captions are fitted (FitCaptions).
QFont DesignFont();

// Every button gets one and the same font. A caption too wide for one line wraps at a space when
// its button is tall enough for two, like the classic button; only if some caption still does
// not fit is the one font made a little smaller for all of them.
void FitCaptions(const std::vector<QPushButton*>& buttons, const QFont& font);

// The program's icon at every size it ships in (packaging/icons), for the title bar and the task
// switcher.
QIcon AppIcon();

// Whether the button shows its caption whole.
bool CaptionFits(const QPushButton& button);

// The toolkit's style with two traits of the classic dialog the window was drawn for. A button's
// bevel is one pixel wide, so that captions measured for that button have its room. The control
// that has the keyboard focus always shows it, with a dotted rectangle, not only once the keyboard
// has been used: the user must see where Enter and Space will act.
class ClassicLook : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override;

    // Makes it the application's style (once; the program has one window).
    static void Install();
};

}  // namespace actualiz::gui
