// The window shows what the form holds, after each command and, while a command runs, at each
// frame Refresh: at once, without the event loop.
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>

#include "gui/WindowFixture.h"

namespace actualiz::testing {
namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

TEST_F(WindowTest, Frame13RepaintsFollowEveryRefreshWithTheBarsOfThatMoment) {
    BuildCatalogs();
    Open();
    app::Actualiz& form = window->form();
    // Three model tables without old namesakes: the field walk only counts them on Bar2.
    for (const char* table : {"clientes", "pedidos", "zonas"}) form.List2.AddItem(table);

    auto* bar2 = static_cast<QProgressBar*>(W("Bar2"));
    std::vector<double> seen;
    QObject::connect(bar2, &QProgressBar::valueChanged, [&](int value) {
        seen.push_back(static_cast<double>(value - bar2->minimum()) /
                       (bar2->maximum() - bar2->minimum()));
    });

    const int before = form.Frame13.Refreshes();
    form.Run("Command12_Click");  // hidden: run as the driver runs it
    ASSERT_TRUE(form.Errors().empty()) << form.Errors()[0].description;

    EXPECT_EQ(form.Frame13.Refreshes() - before, 3);
    EXPECT_EQ(window->FrameRepaints("Frame13"), form.Frame13.Refreshes());
    // Each refresh showed the bar as it stood then: a third, two thirds, full.
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_NEAR(seen[0], 1.0 / 3, 0.002);
    EXPECT_NEAR(seen[1], 2.0 / 3, 0.002);
    EXPECT_NEAR(seen[2], 1.0, 0.002);
    // The panel stays hidden all the same.
    EXPECT_FALSE(W("Frame9")->isVisible());
    EXPECT_FALSE(bar2->isVisible());
}

TEST_F(WindowTest, AFrameRefreshPaintsAtOnceWithoutTheEventLoop) {
    BuildCatalogs();
    Open();
    window->resize(window->ToPixels(0, 0, 16000, 9500).size());
    ASSERT_TRUE(QTest::qWaitFor([this] { return W("List6")->isVisible(); }));
    QTest::qWait(20);

    PaintCounter frame(W("Frame7"));
    PaintCounter list(static_cast<QListWidget*>(W("List6"))->viewport());
    window->form().List6.AddItem("nueva.mdb");
    window->form().Frame7.Refresh();
    // No event was processed in between: the paint happened inside Refresh.
    EXPECT_GE(frame.count, 1);
    EXPECT_GE(list.count, 1);
    EXPECT_EQ(static_cast<QListWidget*>(W("List6"))->count(), 1);
    EXPECT_EQ(window->FrameRepaints("Frame7"), 1);
}

TEST_F(WindowTest, AProgressBarWithMaximumZeroIsEmpty) {
    BuildCatalogs();
    Open();
    app::Actualiz& form = window->form();
    auto* bar = static_cast<QProgressBar*>(W("Bar4"));

    form.Bar4.SetMax(4);
    form.Bar4.SetValue(2);
    window->Render();
    EXPECT_EQ(bar->value() * 2, bar->minimum() + bar->maximum());

    // An empty list counted: Max 0, Value 0.
    form.Bar4.SetMax(0);
    form.Bar4.SetValue(0);
    window->Render();
    EXPECT_EQ(bar->value(), bar->minimum());

    // A value past the maximum draws a full bar, not an overflow.
    form.Bar4.SetMax(3);
    form.Bar4.SetValue(5);
    window->Render();
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(WindowTest, RenderingShowsListsSelectionTextsAndCaptionsAsTheFormHoldsThem) {
    BuildCatalogs();
    Open();
    app::Actualiz& form = window->form();
    form.List1(3).AddItem("nombre");
    form.List1(3).AddItem("fecha");
    form.List1(3).SetListIndex(1);
    form.Text2.SetText("3 tablas");
    form.Label4.SetCaption("Procesando clientes.mdb");
    window->Render();

    auto* list = static_cast<QListWidget*>(W("List1(3)"));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "nombre");
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_TRUE(list->item(1)->isSelected());
    EXPECT_EQ(static_cast<QLineEdit*>(W("Text2"))->text(), "3 tablas");
    auto* status = static_cast<QLabel*>(W("Label4"));
    EXPECT_EQ(status->text(), "Procesando clientes.mdb");
    // The status line sizes itself to its text.
    EXPECT_GE(status->width(), status->fontMetrics().horizontalAdvance(status->text()));

    // A cleared list shows nothing and no selection.
    form.List1(3).Clear();
    window->Render();
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(list->currentRow(), -1);
    // Rendering is the form's, not the user's: it never changed the form back.
    EXPECT_EQ(form.List1(3).ListIndex(), -1);
    EXPECT_TRUE(form.Errors().empty());
}

TEST_F(WindowTest, DataControlsAreLabelledBoxesAndOnlyTheVisibleOneIsDrawn) {
    BuildCatalogs();
    Open();
    auto* data5 = static_cast<QLabel*>(W("Data5"));
    EXPECT_TRUE(data5->text().contains("Data1"));  // Data5 bears the caption "Data1"
    for (const char* hidden : {"Data1", "Data2", "Data3", "Data4"})
        EXPECT_TRUE(W(hidden)->isHidden()) << hidden;
    EXPECT_FALSE(data5->isHidden());
}

}  // namespace
}  // namespace actualiz::testing
