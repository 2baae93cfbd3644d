#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "FormFixture.h"
#include "app/Inventory.h"

namespace actualiz::testing {
namespace {

using app::ControlKind;

bool InsideClientArea(const app::Control& c) {
    return c.Container().empty() && c.Left() < app::kClientWidth && c.Top() < app::kClientHeight;
}

TEST(InventoryTable, EveryControlOnceWithItsContainerBeforeIt) {
    std::set<std::string> seen;
    for (const app::ControlDesign& design : app::Inventory()) {
        std::string full = design.FullName();
        EXPECT_TRUE(seen.insert(full).second) << full << " is listed twice";
        if (!design.container.empty()) {
            EXPECT_TRUE(seen.count(std::string(design.container)))
                << full << " comes before its container " << design.container;
            const app::ControlDesign* frame = nullptr;
            std::string name;
            int index = -1;
            ASSERT_TRUE(app::ParseFullName(design.container, name, index));
            frame = app::FindDesign(name, index);
            ASSERT_NE(frame, nullptr) << full << " sits in a missing frame";
            EXPECT_EQ(frame->kind, ControlKind::Frame);
        }
    }
    // 2 folder controls, 27 buttons, 21 list boxes, 16 text boxes, 8 labels, 6 bars,
    // 21 frames, 5 data controls.
    EXPECT_EQ(seen.size(), 106u);
}

TEST(InventoryTable, CountsPerKind) {
    std::map<ControlKind, int> count;
    for (const app::ControlDesign& design : app::Inventory()) ++count[design.kind];
    EXPECT_EQ(count[ControlKind::CommandButton], 27);
    EXPECT_EQ(count[ControlKind::ListBox], 21);
    EXPECT_EQ(count[ControlKind::TextBox], 16);
    EXPECT_EQ(count[ControlKind::Label], 8);
    EXPECT_EQ(count[ControlKind::ProgressBar], 6);
    EXPECT_EQ(count[ControlKind::Frame], 21);
    EXPECT_EQ(count[ControlKind::DataControl], 5);
    EXPECT_EQ(count[ControlKind::DriveListBox], 1);
    EXPECT_EQ(count[ControlKind::DirListBox], 1);
}

TEST(InventoryTable, FullNamesParseBack) {
    std::string name;
    int index = 0;
    ASSERT_TRUE(app::ParseFullName("List1(3)", name, index));
    EXPECT_EQ(name, "List1");
    EXPECT_EQ(index, 3);
    ASSERT_TRUE(app::ParseFullName("List6", name, index));
    EXPECT_EQ(index, -1);
    for (const char* bad : {"", "List1(", "List1()", "List1(x)", "(3)", "List1(-1)", "List1)"})
        EXPECT_FALSE(app::ParseFullName(bad, name, index)) << bad;
}

class WindowDesign : public FormTest {};

TEST_F(WindowDesign, TheUserSeesExactlyFourControlsInTheClientArea) {
    std::vector<std::string> inside, shown;
    for (app::Control* c : form->Controls()) {
        if (!InsideClientArea(*c)) continue;
        inside.push_back(c->FullName());
        if (form->IsShown(*c)) shown.push_back(c->FullName());
    }
    std::sort(inside.begin(), inside.end());
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(inside, (std::vector<std::string>{"Command13", "Command14", "Command25", "Command26",
                                                "Command27", "Dir1", "Drive1"}));
    EXPECT_EQ(shown, (std::vector<std::string>{"Command14", "Command27", "Dir1", "Drive1"}));
}

TEST_F(WindowDesign, HiddenFlagsAsDesigned) {
    std::set<std::string> hidden;
    for (app::Control* c : form->Controls())
        if (!c->Visible()) hidden.insert(c->FullName());
    EXPECT_EQ(hidden,
              (std::set<std::string>{"Command12", "Command13", "Command25", "Command26", "Frame9",
                                     "Label5", "Data1", "Data2", "Data3", "Data4"}));
}

TEST_F(WindowDesign, TheProgressPanelHidesEverythingInIt) {
    for (app::ProgressBar* bar :
         {&form->Bar1, &form->Bar2, &form->Bar3, &form->Bar4, &form->Bar5, &form->Bar6}) {
        EXPECT_TRUE(bar->Visible());
        EXPECT_FALSE(form->IsShown(*bar)) << bar->Name() << " shows through the hidden panel";
        EXPECT_EQ(bar->Container(), "Frame13");
        EXPECT_EQ(bar->Width(), 1800);
    }
    EXPECT_EQ(form->Frame13.Container(), "Frame9");
    EXPECT_EQ(form->Label4.Container(), "Frame9");
    EXPECT_FALSE(form->IsShown(form->Label4));
    EXPECT_TRUE(form->IsShown(form->Data5)) << "Data5 is the one data control left visible";
}

// The status line is centred over the bars and grows with its text; the six bar captions are
// right-aligned so that they all end at the same edge, just left of Frame13; the bars stand in
// one column, each starting at 0 of 0 to 100.
TEST_F(WindowDesign, TheProgressPanelIsLaidOutAsOneColumnOfCaptionedBars) {
    EXPECT_EQ(form->Label4.Caption(), "");
    EXPECT_EQ(form->Label4.Align(), app::Alignment::Center);
    EXPECT_TRUE(form->Label4.Design().autoSize);
    EXPECT_EQ(form->Label4.Left(), 1335);
    EXPECT_EQ(form->Label4.Top(), 255);
    EXPECT_LT(form->Label4.Top() + form->Label4.Height(), form->Frame13.Top())
        << "the status line lies outside Frame13, so its repaints do not cover it";

    app::ProgressBar* bars[] = {&form->Bar1, &form->Bar2, &form->Bar3,
                                &form->Bar4, &form->Bar5, &form->Bar6};
    app::Label* captions[] = {&form->Label1, &form->Label2, &form->Label3,
                              &form->Label6, &form->Label7, &form->Label8};
    const int tops[] = {45, 285, 525, 780, 1020, 1260};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(bars[i]->Name());
        EXPECT_EQ(bars[i]->Left(), 60);
        EXPECT_EQ(bars[i]->Top(), tops[i]);
        EXPECT_EQ(bars[i]->Height(), 195);
        EXPECT_EQ(bars[i]->Min(), 0.0f);
        EXPECT_EQ(bars[i]->Max(), 100.0f);
        EXPECT_EQ(bars[i]->Value(), 0.0f);
        EXPECT_EQ(captions[i]->Container(), "Frame9");
        EXPECT_EQ(captions[i]->Align(), app::Alignment::Right);
        EXPECT_EQ(captions[i]->Left() + captions[i]->Width(), 690);
        EXPECT_LT(captions[i]->Left() + captions[i]->Width(), form->Frame13.Left());
        if (i > 0) {
            EXPECT_GT(captions[i]->Top(), captions[i - 1]->Top());
        }
    }
}

TEST_F(WindowDesign, NamedMembersAreTheInventoryControls) {
    EXPECT_EQ(form->Command13.Caption(), "Transformar");
    EXPECT_EQ(form->Command14.Caption(), "Salir");
    EXPECT_EQ(form->Command1.Container(), "Frame1(0)");
    EXPECT_EQ(form->Command7.Container(), "Frame1(1)");
    EXPECT_EQ(form->Text3.Container(), "Frame1(0)");
    EXPECT_EQ(form->Text4.Text(), "c:\\Quenda\\viejas\\zuri.mdb");
    EXPECT_EQ(form->Text2.Text(), "");
    EXPECT_EQ(form->Frame9.Caption(), "Estado Transformación");
    EXPECT_EQ(form->Frame11(1).Caption(), "Relaciones Destno");
    EXPECT_EQ(form->List1(4).Container(), "Frame2(1)");
    EXPECT_EQ(form->List11(3).Container(), "Frame11(3)");
    EXPECT_EQ(form->Label1.Caption(), "Bases:");
    EXPECT_EQ(form->Label1.Align(), app::Alignment::Right);
    EXPECT_EQ(form->Label5.Caption(),
              "En el label4 hay que meter el estado de lo que se esta haciendo");
    EXPECT_EQ(&form->List6, form->FindControl("List6"));
    EXPECT_EQ(&form->Text6(5), form->FindControl("Text6(5)"));
    EXPECT_EQ(form->FindControl("List11(2)"), nullptr);
    EXPECT_EQ(form->FindControl("Nada"), nullptr);
}

TEST_F(WindowDesign, CatalogDataControlsAndTheirBoundBoxes) {
    EXPECT_EQ(form->Data3.DatabaseName(), "C:\\ActMirto\\indices.mdb");
    EXPECT_EQ(form->Data3.RecordSource(), "indices");
    EXPECT_EQ(form->Data4.DatabaseName(), "C:\\ActMirto\\relacion.mdb");
    EXPECT_EQ(form->Data5.RecordSource(), "consulta");
    EXPECT_EQ(form->Data2.RecordSource(), "Empleados");
    EXPECT_EQ(form->Data1.DatabaseName(), "");
    EXPECT_EQ(form->Data3.Caption(), "Data1");

    auto fields = [](const app::DataControl& data) {
        std::vector<std::string> out;
        for (const auto& b : data.Bindings()) out.push_back(b.box->FullName() + "=" + b.field);
        return out;
    };
    EXPECT_EQ(fields(form->Data3), (std::vector<std::string>{"Text1(0)=nombreind", "Text1(1)=tabla",
                                                             "Text1(2)=campo", "Text1(3)=unico"}));
    EXPECT_EQ(
        fields(form->Data4),
        (std::vector<std::string>{"Text6(0)=nombrerel", "Text6(1)=tabla", "Text6(2)=tablafor",
                                  "Text6(3)=atributos", "Text6(4)=campo", "Text6(5)=campofor"}));
    EXPECT_EQ(fields(form->Data5),
              (std::vector<std::string>{"campocon(0)=nombrecon", "campocon(1)=consulta"}));
    EXPECT_TRUE(fields(form->Data1).empty());
}

class ControlArrays : public FormTest {};

TEST_F(ControlArrays, QueryListsHaveNoElementTwo) {
    EXPECT_EQ(form->List11.Indices(), (std::vector<int>{0, 1, 3}));
    EXPECT_FALSE(form->List11.Exists(2));
    try {
        form->List11(2).AddItem("x");
        FAIL() << "List11(2) was found";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 340);
        EXPECT_EQ(e.description(), "El elemento de la matriz de controles no existe");
    }
    form->List11(3).AddItem("SELECT 1");
    EXPECT_EQ(form->List11(3).Text(), "");
    EXPECT_EQ(form->List11(3).ListCount(), 1);
}

TEST_F(ControlArrays, ElementsAndBounds) {
    EXPECT_EQ(form->List1.Count(), 6);
    EXPECT_EQ(form->List1.UBound(), 5);
    EXPECT_EQ(form->List5.Count(), 3);
    EXPECT_EQ(form->List9.Count(), 2);
    EXPECT_EQ(form->Text1.Count(), 4);
    EXPECT_EQ(form->Text6.Count(), 6);
    EXPECT_EQ(form->campocon.Count(), 2);
    EXPECT_EQ(form->Frame1.Count(), 2);
    EXPECT_EQ(form->Frame2.Count(), 4);
    EXPECT_EQ(form->Frame11.Count(), 5);
    EXPECT_THROW(form->List1(6), Error);
    EXPECT_THROW(form->Frame1(-1), Error);
    // Elements are the form's own controls, not copies.
    form->List1(2).AddItem("10");
    EXPECT_EQ(dynamic_cast<app::ListBox*>(form->FindControl("List1(2)"))->Items(),
              std::vector<std::string>{"10"});
}

}  // namespace
}  // namespace actualiz::testing
