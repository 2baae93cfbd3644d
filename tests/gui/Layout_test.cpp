// What the user sees: the design client area with exactly four usable controls, the hidden
// buttons, and the working controls that an enlarged window brings into view.
#include <map>

#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

#include "gui/DirList.h"
#include "gui/FocusChain.h"
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
    // The program's icon, from a title bar's size to a large one.
    const QList<QSize> sizes = window->windowIcon().availableSizes();
    for (int size : {16, 32, 48, 256})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << "no " << size << " pixel icon";
}

// The names of the controls that hold the focus after each of `count` presses of Tab.
std::vector<std::string> TabWalk(gui::MainWindow& window, int count) {
    std::vector<std::string> walk;
    for (int i = 0; i < count; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focused = QApplication::focusWidget();
        walk.push_back(focused ? focused->objectName().toStdString() : "(none)");
    }
    (void)window;
    return walk;
}

TEST_F(WindowTest, TheKeyboardReachesOnlyWhatIsInViewInReadingOrder) {
    BuildCatalogs();
    Open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "Drive1");

    // Tab goes round the four controls in view, and a Space then lands on one of them: no
    // hidden or outlying button runs.
    EXPECT_EQ(TabWalk(*window, 5),
              (std::vector<std::string>{"Dir1", "Command27", "Command14", "Drive1", "Dir1"}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(window->form().Errors().empty());
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(window->form().Ended());

    // Enlarged, the working controls come within reach of the keyboard too...
    window->resize(window->ToPixels(0, 0, 16000, 9500).size());
    QTest::qWait(0);
    std::set<std::string> reached;
    for (const std::string& name : TabWalk(*window, 80)) reached.insert(name);
    for (const char* name : {"Command2", "Command24", "Text3", "List6", "List11(3)"})
        EXPECT_TRUE(reached.count(name)) << name << " is never reached";
    for (const char* name : {"Command12", "Command13", "Command25", "Command26"})
        EXPECT_FALSE(reached.count(name)) << name << " is hidden yet reached";

    // ...and leave it when the window is made small again, the focus included.
    window->resize(window->DesignClientSize());
    QTest::qWait(0);
    std::set<std::string> atDesign;
    for (const std::string& name : TabWalk(*window, 8)) atDesign.insert(name);
    EXPECT_EQ(atDesign, (std::set<std::string>{"Drive1", "Dir1", "Command27", "Command14"}));
}

// One round of Tab from the drive list: every stop until the drive list has the focus again.
std::vector<std::string> TabRound(gui::MainWindow& window) {
    window.WidgetFor("Drive1")->setFocus(Qt::TabFocusReason);
    std::vector<std::string> round{"Drive1"};
    for (int i = 0; i < 200; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focused = QApplication::focusWidget();
        const std::string name = focused ? focused->objectName().toStdString() : "(none)";
        if (name == "Drive1") return round;
        round.push_back(name);
    }
    ADD_FAILURE() << "Tab never comes back to the drive list";
    return round;
}

TEST_F(WindowTest, EnlargedTabStopsOnlyOnWhatCanBeSeenInReadingOrderEachShowingItsMark) {
    BuildCatalogs();
    prefix.writeFile(std::string(kDataFolder) + "/almacen.mdb", "");
    Open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->resize(window->ToPixels(0, 0, 16000, 9500).size());
    QTest::qWait(0);

    const std::vector<std::string> round = TabRound(*window);
    std::string roundText;
    for (const std::string& name : round) roundText += name + " ";
    SCOPED_TRACE("Tab goes " + roundText);
    std::map<std::string, size_t> at;
    for (size_t i = 0; i < round.size(); ++i) {
        EXPECT_TRUE(at.emplace(round[i], i).second) << round[i] << " is reached twice in a round";
    }
    // "SELECCIONAR" lies outside its frame, under "Llenar DBGRID" and "Crear Tabla".
    EXPECT_FALSE(at.count("Command7")) << "Tab stops on a button nobody can see";

    // Each stop can be seen: at least half of its points are its own to the pointer.
    for (const std::string& name : round) {
        QWidget* widget = W(name.c_str());
        const QRect area = Area(name.c_str());
        int own = 0;
        int points = 0;
        for (int y = area.top(); y <= area.bottom(); y += 2)
            for (int x = area.left(); x <= area.right(); x += 2) {
                ++points;
                QWidget* hit = window->childAt(QPoint(x, y));
                own += hit && (hit == widget || widget->isAncestorOf(hit));
            }
        EXPECT_GE(2 * own, points) << name << " is reached but mostly out of sight";
    }

    // Reading order: the folder controls and the design's buttons first, a frame's controls
    // together, rows of buttons from the left, columns of them from the top.
    ASSERT_GE(round.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(round.begin(), round.begin() + 4),
              (std::vector<std::string>{"Drive1", "Dir1", "Command27", "Command14"}));
    auto before = [&](std::vector<const char*> names) {
        for (size_t i = 1; i < names.size(); ++i) {
            ASSERT_TRUE(at.count(names[i - 1]) && at.count(names[i])) << names[i];
            EXPECT_EQ(at[names[i - 1]] + 1, at[names[i]])
                << names[i] << " does not follow " << names[i - 1];
        }
    };
    before({"Command6", "Command8", "Command2"});
    before({"Command17", "Command18", "Command19", "Command16"});
    before({"List1(0)", "List1(1)", "List1(2)"});
    before({"Text1(0)", "Text1(1)", "Text1(2)", "Text1(3)"});
    before({"Command3", "Command9", "Command4", "Command5"});
    for (const char* frame : {"Frame2(3)", "Frame2(2)", "Frame1(0)", "Frame2(0)", "Frame3"}) {
        std::vector<size_t> places;
        for (const std::string& name : round)
            if (W(frame)->isAncestorOf(W(name.c_str()))) places.push_back(at[name]);
        ASSERT_FALSE(places.empty()) << frame;
        EXPECT_EQ(places.back() - places.front() + 1, places.size())
            << "the controls of " << frame << " are not read together";
    }

    // The control that has the focus shows it: its pixels change when the focus leaves it.
    for (size_t i = 0; i < round.size(); ++i) {
        const std::string& name = round[i];
        W(name.c_str())->setFocus(Qt::TabFocusReason);
        const QImage focused = window->grab().toImage();
        W(round[(i + 1) % round.size()].c_str())->setFocus(Qt::TabFocusReason);
        const QImage unfocused = window->grab().toImage();
        const QRect area = Area(name.c_str());
        const double ratio = focused.devicePixelRatio();
        int changed = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QPoint p(static_cast<int>(x * ratio), static_cast<int>(y * ratio));
                if (window->childAt(QPoint(x, y)) == W(name.c_str()) ||
                    W(name.c_str())->isAncestorOf(window->childAt(QPoint(x, y))))
                    changed += focused.pixel(p) != unfocused.pixel(p);
            }
        EXPECT_GT(changed, 0) << name << " shows no focus mark";
    }
}

TEST(FocusChainOrder, ColumnsFromTheLeftEachFromTheTop) {
    // The design's four: the drive list over the folder list, the two buttons to their right.
    const std::vector<QRect> areas{QRect(214, 7, 65, 26), QRect(4, 7, 202, 21),
                                   QRect(214, 194, 67, 25), QRect(4, 31, 200, 186)};
    EXPECT_EQ(gui::FocusChain::ReadingOrder(areas), (std::vector<size_t>{1, 3, 0, 2}));
    // Side by side at one height, but overlapping across: one column, read from the top.
    const std::vector<QRect> stacked{QRect(0, 50, 100, 20), QRect(50, 0, 100, 20)};
    EXPECT_EQ(gui::FocusChain::ReadingOrder(stacked), (std::vector<size_t>{1, 0}));
    // Two rows of two: each row from the left, the upper row first.
    const std::vector<QRect> grid{QRect(0, 40, 30, 20), QRect(40, 40, 30, 20), QRect(40, 0, 30, 20),
                                  QRect(0, 0, 30, 20)};
    EXPECT_EQ(gui::FocusChain::ReadingOrder(grid), (std::vector<size_t>{3, 2, 0, 1}));
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
    // The design's dialog font, 8 points, the same on every button.
    EXPECT_EQ(QFontInfo(window->font()).family(), "Liberation Sans");
    EXPECT_EQ(window->font().pointSizeF(), 8);
    const QString buttonFont = static_cast<QPushButton*>(W("Command27"))->font().toString();
    EXPECT_GE(static_cast<QPushButton*>(W("Command27"))->font().pointSizeF(), 7.5);
    for (app::Control* control : window->form().Controls()) {
        auto* button = qobject_cast<QPushButton*>(window->WidgetFor(control->FullName()));
        if (!button) continue;
        SCOPED_TRACE(control->FullName());
        // One font for all of them: the window's, or the one size smaller that fits them all.
        EXPECT_EQ(button->font().toString(), buttonFont) << "a button in a font of its own";
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

TEST_F(WindowTest, FrameCaptionsListEntriesAndPathBoxesShowWhole) {
    BuildCatalogs();
    for (const char* name : {"almacen.mdb", "clientes.mdb", "nominas.mdb"})
        prefix.writeFile(std::string(kDataFolder) + "/" + name, "");
    Open();
    window->resize(window->ToPixels(0, 0, 16000, 9500).size());
    QTest::qWait(0);

    // A frame's caption fits between its corners.
    for (app::Control* control : window->form().Controls()) {
        auto* frame = qobject_cast<QGroupBox*>(window->WidgetFor(control->FullName()));
        if (!frame || frame->title().isEmpty()) continue;
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        QRect label = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                     QStyle::SC_GroupBoxLabel, frame);
        EXPECT_LE(label.right(), frame->width() - 1) << control->FullName() << " caption is cut";
        EXPECT_LE(frame->fontMetrics().horizontalAdvance(frame->title()), label.width())
            << control->FullName() << " caption is cut";
    }

    // The old databases' names fit their list, which scrolls only up and down.
    auto* list6 = static_cast<QListWidget*>(W("List6"));
    ASSERT_EQ(list6->count(), 3);
    EXPECT_EQ(list6->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    // The widest entry with the margins its list draws it with.
    EXPECT_LE(list6->sizeHintForColumn(0), list6->viewport()->width()) << "an entry is cut";

    // A path longer than its box shows where it starts.
    window->form().Text4.SetText(
        "c:\\archivos de programa\\Mirto 2000\\bases\\contabilidad\\ejercicios\\almacen.mdb");
    window->Render();
    EXPECT_EQ(static_cast<QLineEdit*>(W("Text4"))->cursorPosition(), 0);
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
