// What the user sees: the design client area with exactly four usable controls, the hidden
// buttons, and the working controls that an enlarged window brings into view.
#include <QImage>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include "gui/DirList.h"
#include "gui/Twips.h"
#include "gui/WindowFixture.h"

namespace actualiz::testing {
namespace {

TEST(Twips, ConvertThroughTheLogicalDpi) {
    // 1440 twips are one inch, whatever the screen.
    EXPECT_EQ(gui::TwipsToPixels(1440, 96), 96);
    EXPECT_EQ(gui::TwipsToPixels(1440, 120), 120);
    EXPECT_EQ(gui::TwipsToPixels(4245, 96), 283);
    EXPECT_EQ(gui::TwipsToPixels(3375, 96), 225);
    EXPECT_EQ(gui::DesignClientSize(96, 96), QSize(283, 225));
    EXPECT_EQ(gui::DesignClientSize(144, 144), QSize(425, 338));
}

TEST(Twips, RectanglesThatTouchInTheDesignTouchOnScreen) {
    // Edges are converted, not sizes: two rectangles that touch in twips touch in pixels at any
    // DPI, although 405 twips make no whole number of pixels at 96 DPI.
    for (double dpi : {96.0, 120.0, 144.0}) {
        QRect upper = gui::TwipsToPixels(3210, 585, 975, 405, dpi, dpi);
        QRect lower = gui::TwipsToPixels(3210, 990, 975, 390, dpi, dpi);
        EXPECT_EQ(upper.bottom() + 1, lower.top()) << "at " << dpi << " DPI";
    }
    // A control whose left edge lies on the border of the client area starts just outside it.
    EXPECT_EQ(gui::TwipsToPixels(4245, 3690, 1275, 400, 96, 96).left(),
              gui::DesignClientSize(96, 96).width());
}

TEST_F(WindowTest, StartsWithTheDesignClientAreaAndTheProductTitle) {
    BuildCatalogs();
    Open();
    EXPECT_EQ(window->size(), window->DesignClientSize());
    EXPECT_EQ(window->size(), gui::DesignClientSize(window->logicalDpiX(), window->logicalDpiY()));
    EXPECT_EQ(window->windowTitle().toStdString(), app::Actualiz::Title());
}

TEST_F(WindowTest, AtTheDesignSizeOnlyTheFolderListsTransformarAndSalirAreSeen) {
    BuildCatalogs();
    Open();
    EXPECT_EQ(VisibleControls(),
              (std::set<std::string>{"Drive1", "Dir1", "Command27", "Command14"}));
    EXPECT_EQ(window->ShownControls().size(), 4);

    // Each of the four is usable: it is what lies under the pointer at its centre, and enabled.
    for (const char* name : {"Drive1", "Dir1", "Command27", "Command14"}) {
        QWidget* widget = W(name);
        EXPECT_TRUE(window->rect().contains(Area(name))) << name << " is cut off";
        QWidget* hit = window->childAt(Area(name).center());
        ASSERT_NE(hit, nullptr) << "nothing under the centre of " << name;
        EXPECT_TRUE(hit == widget || widget->isAncestorOf(hit)) << name << " is covered";
        EXPECT_TRUE(widget->isEnabled()) << name;
    }
    EXPECT_EQ(static_cast<QPushButton*>(W("Command27"))->text(), "Transformar");
    EXPECT_EQ(static_cast<QPushButton*>(W("Command14"))->text(), "Salir");
}

TEST_F(WindowTest, ControlsArePlacedAtTheirTwipsInsideTheirContainer) {
    BuildCatalogs();
    Open();
    // A top-level control is placed on the client area, one inside a frame on the frame.
    EXPECT_EQ(W("Dir1")->geometry(), window->ToPixels(60, 465, 3000, 2790));
    EXPECT_EQ(W("Command1")->parentWidget(), W("Frame1(0)"));
    EXPECT_EQ(W("Command1")->geometry(), window->ToPixels(6420, 285, 585, 240));
    EXPECT_EQ(W("Bar6")->parentWidget(), W("Frame13"));
    EXPECT_EQ(W("Frame13")->parentWidget(), W("Frame9"));
    EXPECT_EQ(Area("List6"), window->ToPixels(75, 180, 1095, 1035)
                                 .translated(window->ToPixels(8760, 30, 1245, 1305).topLeft()));
}

TEST_F(WindowTest, TheHiddenTransformarButtonsAreNeitherDrawnNorClickable) {
    BuildCatalogs();
    Open();
    const QImage image = window->grab().toImage();
    const QColor background = window->palette().color(QPalette::Window);
    for (const char* name : {"Command26", "Command25", "Command13"}) {
        SCOPED_TRACE(name);
        const app::Control* control = window->form().FindControl(name);
        QRect area =
            window->ToPixels(control->Left(), control->Top(), control->Width(), control->Height());
        // It lies inside the client area, yet nothing is there to see or to hit.
        ASSERT_TRUE(window->rect().contains(area));
        EXPECT_FALSE(W(name)->isVisible());
        EXPECT_EQ(window->childAt(area.center()), nullptr);
        int drawn = 0;
        const double ratio = image.devicePixelRatio();
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (image.pixelColor(static_cast<int>(x * ratio), static_cast<int>(y * ratio)) !=
                    background)
                    ++drawn;
        EXPECT_EQ(drawn, 0) << "pixels of a hidden button were drawn";

        // A click there runs nothing: no command, no failure, the program goes on.
        QTest::mouseClick(window.get(), Qt::LeftButton, {}, area.center());
        EXPECT_TRUE(window->form().Errors().empty());
        EXPECT_FALSE(window->form().Ended());
        EXPECT_TRUE(messages.empty());
    }
}

TEST_F(WindowTest, EnlargingBringsTheWorkingControlsIntoViewButHiddenOnesStayHidden) {
    BuildCatalogs();
    Open();
    window->resize(window->ToPixels(0, 0, 16000, 9500).size());
    QTest::qWait(0);

    std::set<std::string> visible = VisibleControls();
    for (const char* name : {"List6", "List7", "List8", "Text3", "Text4", "Command2", "Command24",
                             "Command1", "List11(3)", "campocon(0)", "Data5", "Frame2(3)"})
        EXPECT_TRUE(visible.count(name)) << name << " does not come into view";
    // Everything the form shows is now in view, and nothing it hides.
    for (app::Control* control : window->form().Controls()) {
        std::string name = control->FullName();
        EXPECT_EQ(visible.count(name) == 1, window->form().IsShown(*control)) << name;
    }
    for (const char* name : {"Command12", "Command13", "Command25", "Command26", "Frame9",
                             "Frame13", "Bar1", "Label4", "Label5", "Data1", "Data4"})
        EXPECT_FALSE(visible.count(name)) << name << " must stay hidden";

    // Back at the design size the outer controls leave the view again.
    window->resize(window->DesignClientSize());
    QTest::qWait(0);
    EXPECT_EQ(VisibleControls(),
              (std::set<std::string>{"Drive1", "Dir1", "Command27", "Command14"}));
}

TEST_F(WindowTest, EveryButtonCaptionFitsItsButton) {
    BuildCatalogs();
    Open();
    for (app::Control* control : window->form().Controls()) {
        auto* button = qobject_cast<QPushButton*>(window->WidgetFor(control->FullName()));
        if (!button) continue;
        SCOPED_TRACE(control->FullName());
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        QRect room =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        QSize needed = button->fontMetrics().size(0, button->text());
        EXPECT_LE(needed.width(), room.width()) << "the caption is cut off";
        EXPECT_LE(needed.height(), room.height()) << "the caption is cut off";
        // Wrapped or not, the words are the design's.
        EXPECT_EQ(button->text().replace(QLatin1Char('\n'), QLatin1Char(' ')).toStdString(),
                  static_cast<app::CommandButton*>(control)->Caption());
    }
}

TEST(DirListEntries, ThePathFromTheRootDownThenTheSubfolders) {
    auto entries = gui::DirList::Entries("c:\\datos\\bases", {"antiguas", "nuevas"});
    ASSERT_EQ(entries.size(), 5u);
    const char* names[] = {"c:\\", "datos", "bases", "antiguas", "nuevas"};
    const char* paths[] = {"c:\\", "c:\\datos", "c:\\datos\\bases", "c:\\datos\\bases\\antiguas",
                           "c:\\datos\\bases\\nuevas"};
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].name.toStdString(), names[i]);
        EXPECT_EQ(entries[i].path.toStdString(), paths[i]);
        EXPECT_EQ(entries[i].ancestor, i < 3);
    }
    // At a drive root the subfolders hang from the root without a doubled backslash.
    auto root = gui::DirList::Entries("c:\\", {"datos"});
    ASSERT_EQ(root.size(), 2u);
    EXPECT_EQ(root[1].path.toStdString(), "c:\\datos");
}

}  // namespace
}  // namespace actualiz::testing
