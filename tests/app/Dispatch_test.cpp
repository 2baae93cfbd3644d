#include <gtest/gtest.h>

#include <stdexcept>

#include "FormFixture.h"
#include "app/ErrorModes.h"

namespace actualiz::testing {
namespace {

class Loading : public FormTest {};

TEST_F(Loading, MissingCatalogsAreRecordedAndTheFormStillOpens) {
    // The prefix has no C:\ActMirto: each catalog data control fails to open.
    ASSERT_EQ(form->Errors().size(), 3u);
    const char* files[] = {"indices.mdb", "relacion.mdb", "consulta.mdb"};
    for (size_t i = 0; i < 3; ++i) {
        const auto& e = form->Errors()[i];
        EXPECT_EQ(e.command, "Form_Load");
        // The engine's own "cannot open" numbers: a missing file or a missing folder.
        EXPECT_TRUE(e.number == 3024 || e.number == 3044) << e.number << " " << e.description;
        EXPECT_NE(e.description.find(files[i]), std::string::npos) << e.description;
    }
    EXPECT_EQ(host.ShownErrors().size(), 3u);
    EXPECT_FALSE(form->Data3.IsOpen());
    EXPECT_FALSE(form->Ended());
    try {
        form->Data3.Recordset();
        FAIL() << "a data control that never opened handed out a record set";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 91);
    }
}

class Dispatching : public FormTest {};

TEST_F(Dispatching, AHiddenButtonCannotBeClicked) {
    form->Errors().clear();
    form->Click("Command13");
    ASSERT_EQ(form->Errors().size(), 1u);
    EXPECT_EQ(form->Errors()[0].command, "Command13_Click");
    EXPECT_NE(form->Errors()[0].description.find("oculto"), std::string::npos);
    EXPECT_FALSE(form->IsShown(form->Command13));
    EXPECT_TRUE(form->IsShown(form->Command27));
    EXPECT_TRUE(form->IsShown(form->Command1)) << "SEL sits in a visible frame";
}

TEST_F(Dispatching, SalirEndsTheProgramAndNothingRunsAfterwards) {
    prefix.writeFile("uno/a.mdb", "d");
    form->Click("Command14");
    EXPECT_TRUE(form->Ended());
    EXPECT_TRUE(host.Ended());
    form->Dir1.InitPath("c:\\uno");
    form->Run("Dir1_Change");
    EXPECT_EQ(form->List6.ListCount(), 0) << "a command ran after the program ended";
}

TEST_F(Dispatching, EndStopsTheRunningCommandAtOnce) {
    bool after = false;
    form->Dir1.SetChangeHandler([&] {
        form->End();
        after = true;
    });
    prefix.makeDir("uno");
    try {
        form->Dir1.SetPath("c:\\uno");
        FAIL() << "End returned to its caller";
    } catch (const app::ApplicationEnded&) {
    }
    EXPECT_FALSE(after);
    EXPECT_TRUE(host.Ended());
}

TEST_F(Dispatching, AFailureReachingACommandIsRecordedAndShown) {
    form->Errors().clear();
    // A folder on a drive the prefix does not map: the search fails inside the command.
    form->Dir1.InitPath("q:\\datos");
    form->Run("Dir1_Change");
    ASSERT_EQ(form->Errors().size(), 1u);
    EXPECT_EQ(form->Errors()[0].command, "Dir1_Change");
    EXPECT_EQ(form->Errors()[0].number, 68);
    ASSERT_FALSE(host.ShownErrors().empty());
    EXPECT_EQ(host.ShownErrors().back().command, "Dir1_Change");
    EXPECT_FALSE(form->Ended());
}

TEST_F(Dispatching, UnknownCommandsAreRecordedNotRun) {
    form->Errors().clear();
    form->Run("Command99_Click");
    form->Click("List6");
    ASSERT_EQ(form->Errors().size(), 2u);
    EXPECT_EQ(form->Errors()[0].command, "Command99_Click");
    EXPECT_FALSE(app::Actualiz::HasHandler("Command99_Click"));
    EXPECT_TRUE(app::Actualiz::HasHandler("Form_Activate"));
}

TEST_F(Dispatching, MousePointerAndFrameRepaintsReachTheHost) {
    form->SetMousePointer(11);
    form->SetMousePointer(0);
    EXPECT_EQ(host.PointerChanges(), (std::vector<int>{11, 0}));
    EXPECT_EQ(form->MousePointer(), 0);
    form->Frame13.Refresh();
    EXPECT_EQ(host.FrameRefreshes().at("Frame13"), 1);
    EXPECT_EQ(form->Frame13.Refreshes(), 1);
}

TEST_F(Dispatching, MessagesCarryTextIconAndTitle) {
    form->host().MsgBox("Terminado", app::MsgIcon::Information, app::Actualiz::Title());
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "Terminado");
    EXPECT_EQ(host.Messages()[0].title, "Actualiz");
    EXPECT_STREQ(app::IconName(host.Messages()[0].icon), "information");
}

class SkipOnErrorMode : public FormTest {};

TEST_F(SkipOnErrorMode, AFailingStepIsRecordedAndTheNextStepRuns) {
    form->Text4.SetText("c:\\datos\\clientes.mdb");
    app::SkipOnError step(*form, "Command13_Click");
    std::vector<int> ran;
    step([&] { ran.push_back(1); });
    step([&] { throw Error(3265, "Elemento no encontrado en esta colección"); });
    step([&] { ran.push_back(3); });
    step([&] { throw std::runtime_error("boom"); });
    step([&] { ran.push_back(5); });
    EXPECT_EQ(ran, (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(step.Failures(), 2);
    ASSERT_EQ(form->Skipped().size(), 2u);
    EXPECT_EQ(form->Skipped()[0].command, "Command13_Click");
    EXPECT_EQ(form->Skipped()[0].database, "c:\\datos\\clientes.mdb");
    EXPECT_EQ(form->Skipped()[0].number, 3265);
    EXPECT_EQ(form->Skipped()[1].number, 51);
    EXPECT_NE(form->Skipped()[1].description.find("boom"), std::string::npos);
}

TEST_F(SkipOnErrorMode, ACalledCommandIsAbandonedAtItsFailingStep) {
    bool restOfCallee = false, callerGoesOn = false;
    app::SkipOnError step(*form, "Command13_Click");
    step([&] {
        form->List6.SetListIndex(5);  // fails: the list is empty
        restOfCallee = true;
    });
    step([&] { callerGoesOn = true; });
    EXPECT_FALSE(restOfCallee);
    EXPECT_TRUE(callerGoesOn);
    EXPECT_EQ(form->Skipped().at(0).number, 380);
}

TEST_F(SkipOnErrorMode, EndingTheProgramIsNoFailure) {
    app::SkipOnError step(*form, "Command27_Click");
    EXPECT_THROW(step([&] { form->End(); }), app::ApplicationEnded);
    EXPECT_TRUE(form->Skipped().empty());
}

TEST_F(SkipOnErrorMode, AnObjectWhoseCreationFailedFailsEveryUse) {
    std::shared_ptr<int> never;
    app::SkipOnError step(*form, "Command27_Click");
    int uses = 0;
    step([&] { uses += app::Require(never); });
    step([&] { uses += app::Require(never); });
    EXPECT_EQ(uses, 0);
    ASSERT_EQ(form->Skipped().size(), 2u);
    EXPECT_EQ(form->Skipped()[0].number, 91);
    EXPECT_EQ(form->Skipped()[0].description, "Variable de objeto o de bloque With no establecida");
    auto some = std::make_shared<int>(4);
    EXPECT_EQ(app::Require(some), 4);
}

}  // namespace
}  // namespace actualiz::testing
