#include <gtest/gtest.h>

#include "app/Controls.h"
#include "app/Inventory.h"

namespace actualiz::app {
namespace {

class ListBoxTest : public ::testing::Test {
  protected:
    ListBox list{*FindDesign("List6")};
};

TEST_F(ListBoxTest, EntriesKeepTheOrderTheyWereAddedIn) {
    list.AddItem("zeta.mdb");
    list.AddItem("alfa.mdb");
    list.AddItem("Beta.mdb");
    list.AddItem("alfa.mdb");
    EXPECT_EQ(list.Items(),
              (std::vector<std::string>{"zeta.mdb", "alfa.mdb", "Beta.mdb", "alfa.mdb"}));
    EXPECT_EQ(list.ListCount(), 4);
}

TEST_F(ListBoxTest, NothingSelectedGivesIndexMinusOneAndEmptyText) {
    list.AddItem("clientes.mdb");
    EXPECT_EQ(list.ListIndex(), -1);
    EXPECT_EQ(list.Text(), "");
}

TEST_F(ListBoxTest, TextIsTheSelectedEntry) {
    list.AddItem("clientes.mdb");
    list.AddItem("almacen.mdb");
    list.SetListIndex(1);
    EXPECT_EQ(list.Text(), "almacen.mdb");
    list.SetListIndex(0);
    EXPECT_EQ(list.Text(), "clientes.mdb");
    list.SetListIndex(-1);
    EXPECT_EQ(list.Text(), "");
}

TEST_F(ListBoxTest, SelectingOutsideTheListRaisesInvalidPropertyValue) {
    list.AddItem("a");
    list.SetListIndex(0);
    for (int bad : {1, 5, -2}) {
        try {
            list.SetListIndex(bad);
            FAIL() << "ListIndex " << bad << " was accepted on a list of one entry";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 380);
            EXPECT_EQ(e.description(), "El valor de la propiedad no es válido");
        }
    }
    EXPECT_EQ(list.ListIndex(), 0) << "a refused selection must leave the old one";
}

TEST_F(ListBoxTest, SelectingInAnEmptyListFails) {
    EXPECT_THROW(list.SetListIndex(0), Error);
    EXPECT_NO_THROW(list.SetListIndex(-1));
}

TEST_F(ListBoxTest, ClearEmptiesAndDeselects) {
    list.AddItem("a");
    list.AddItem("b");
    list.SetListIndex(1);
    list.Clear();
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.ListIndex(), -1);
    EXPECT_EQ(list.Text(), "");
}

TEST_F(ListBoxTest, RemoveItemKeepsTheSelectionOnItsEntry) {
    for (const char* s : {"a", "b", "c", "d"}) list.AddItem(s);
    list.SetListIndex(2);  // "c"
    list.RemoveItem(0);
    EXPECT_EQ(list.ListIndex(), 1);
    EXPECT_EQ(list.Text(), "c");
    list.RemoveItem(2);  // "d", after the selection
    EXPECT_EQ(list.Text(), "c");
    list.RemoveItem(1);  // the selected entry itself
    EXPECT_EQ(list.ListIndex(), -1);
    EXPECT_EQ(list.Items(), std::vector<std::string>{"b"});
}

TEST_F(ListBoxTest, RemoveItemOutsideTheListFails) {
    list.AddItem("a");
    try {
        list.RemoveItem(1);
        FAIL() << "removing a missing entry was accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 5);
    }
    EXPECT_EQ(list.ListCount(), 1);
}

TEST_F(ListBoxTest, CountStopsAtTheLargestSixteenBitNumber) {
    for (int i = 0; i < ListBox::kMaxCount; ++i) list.AddItem("t" + std::to_string(i));
    EXPECT_EQ(list.ListCount(), 32767);
    try {
        list.AddItem("one too many");
        FAIL() << "the list grew past what its count can hold";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 6);
    }
    EXPECT_EQ(list.ListCount(), 32767);
    list.SetListIndex(32766);
    EXPECT_EQ(list.Text(), "t32766");
}

TEST(ProgressBarTest, StartsAtZeroOfZeroToHundredAndAcceptsMaxZero) {
    ProgressBar bar{*FindDesign("Bar1")};
    EXPECT_EQ(bar.Min(), 0.0f);
    EXPECT_EQ(bar.Max(), 100.0f);
    EXPECT_EQ(bar.Value(), 0.0f);
    bar.SetMax(0.0f);
    bar.SetValue(0.0f);
    EXPECT_EQ(bar.Max(), 0.0f);
    bar.SetMax(3.0f);
    bar.SetValue(bar.Value() + 1);
    bar.SetValue(bar.Value() + 1);
    EXPECT_EQ(bar.Value(), 2.0f);
    EXPECT_EQ(bar.Min(), 0.0f);
}

TEST(TextBoxTest, StartsWithItsDesignTextAndTracksChanges) {
    TextBox text3{*FindDesign("Text3")};
    EXPECT_EQ(text3.Text(), "c:\\Quenda\\modelos\\zuri.mdb");
    EXPECT_FALSE(text3.DataChanged());
    text3.SetText("c:\\prog\\modelos\\clientes.mdb");
    EXPECT_EQ(text3.Text(), "c:\\prog\\modelos\\clientes.mdb");
    EXPECT_TRUE(text3.DataChanged());
    text3.ShowValue("x");
    EXPECT_FALSE(text3.DataChanged());
}

TEST(LabelTest, CaptionCanBeWritten) {
    Label label4{*FindDesign("Label4")};
    EXPECT_EQ(label4.Caption(), "");
    label4.SetCaption("Procesando clientes.mdb");
    EXPECT_EQ(label4.Caption(), "Procesando clientes.mdb");
    EXPECT_EQ(label4.Align(), Alignment::Center);
}

TEST(FrameTest, RefreshCountsAndAsksTheView) {
    Frame frame13{*FindDesign("Frame13")};
    std::vector<std::string> painted;
    frame13.SetRefreshHandler([&](const Frame& f) { painted.push_back(f.FullName()); });
    frame13.Refresh();
    frame13.Refresh();
    EXPECT_EQ(frame13.Refreshes(), 2);
    EXPECT_EQ(painted, (std::vector<std::string>{"Frame13", "Frame13"}));
}

}  // namespace
}  // namespace actualiz::app
