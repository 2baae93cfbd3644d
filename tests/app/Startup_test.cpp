#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "FormFixture.h"

namespace actualiz::testing {
namespace {

const char* kDataFolder = "archivos de programa/Mirto 2000/bases";

// Everything a user could see change on the form, as one text.
std::string Snapshot(const app::Actualiz& form) {
    std::ostringstream out;
    for (const app::Control* c : form.Controls()) {
        out << c->FullName() << ':';
        if (auto* l = dynamic_cast<const app::ListBox*>(c)) {
            for (const auto& item : l->Items()) out << item << '|';
            out << l->ListIndex();
        } else if (auto* t = dynamic_cast<const app::TextBox*>(c)) {
            out << t->Text();
        } else if (auto* lb = dynamic_cast<const app::Label*>(c)) {
            out << lb->Caption();
        } else if (auto* b = dynamic_cast<const app::ProgressBar*>(c)) {
            out << b->Min() << '/' << b->Max() << '/' << b->Value();
        } else if (auto* f = dynamic_cast<const app::Frame*>(c)) {
            out << f->Refreshes();
        } else if (auto* d = dynamic_cast<const app::DirListBox*>(c)) {
            out << d->Path();
        } else if (auto* dr = dynamic_cast<const app::DriveListBox*>(c)) {
            out << dr->Drive();
        } else if (auto* data = dynamic_cast<const app::DataControl*>(c)) {
            out << data->DatabaseName() << '|' << data->RecordSource() << '|' << data->IsOpen();
        }
        out << '\n';
    }
    out << "pointer:" << form.MousePointer() << " ended:" << form.Ended()
        << " errors:" << form.Errors().size();
    return out.str();
}

class StartUp : public FormTest {};

TEST_F(StartUp, ModelsAreListedFromTheProgramFoldersModelos) {
    prefix.writeFile("prog/modelos/clientes.mdb", "m");
    prefix.writeFile("prog/modelos/Almacen.mdb", "m");
    prefix.writeFile("prog/modelos/notas.txt", "m");
    prefix.makeDir("prog/modelos/viejo.mdb");  // a folder named like a database is listed too
    prefix.makeDir(kDataFolder);
    form->Form_Activate();
    EXPECT_EQ(form->List7.Items(),
              (std::vector<std::string>{"Almacen.mdb", "clientes.mdb", "viejo.mdb"}));
    EXPECT_EQ(form->List7.ListIndex(), -1);
}

TEST_F(StartUp, MissingModelsFolderLeavesTheModelListEmptyWithoutAMessage) {
    prefix.makeDir(kDataFolder);
    form->Form_Activate();
    EXPECT_EQ(form->List7.ListCount(), 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(StartUp, OldDatabasesComeFromTheDefaultDataFolderExactlyAsNamed) {
    prefix.writeFile(std::string(kDataFolder) + "/CLIENTES.MDB", "d");
    prefix.writeFile(std::string(kDataFolder) + "/almacen.mdb", "d");
    prefix.writeFile(std::string(kDataFolder) + "/almacen.ldb", "d");
    prefix.makeDir(std::string(kDataFolder) + "/copia.mdb");
    form->Form_Activate();
    EXPECT_EQ(form->Dir1.Path(), "c:\\archivos de programa\\Mirto 2000\\bases");
    EXPECT_EQ(form->List6.Items(),
              (std::vector<std::string>{"almacen.mdb", "CLIENTES.MDB", "copia.mdb"}));
}

TEST_F(StartUp, MissingDefaultDataFolderFallsBackToDriveCRoot) {
    prefix.writeFile("raiz.mdb", "d");
    prefix.writeFile("otra.txt", "d");
    form->Form_Activate();
    EXPECT_EQ(form->Dir1.Path(), "c:\\");
    EXPECT_EQ(form->List6.Items(), std::vector<std::string>{"raiz.mdb"});
    EXPECT_TRUE(host.Messages().empty());
    // The catalogs are missing in this prefix; activation itself adds no failure.
    for (const auto& e : form->Errors()) EXPECT_EQ(e.command, "Form_Load");
}

TEST_F(StartUp, TheDriveListDoesNotFollowTheDirectoryList) {
    prefix.makeDir(kDataFolder);
    std::string before = form->Drive1.Drive();
    ASSERT_FALSE(before.empty());
    form->Form_Activate();
    EXPECT_EQ(form->Drive1.Drive(), before);
    EXPECT_EQ(form->Dir1.Path().substr(0, 2), "c:");
}

TEST_F(StartUp, ActivatingAgainAppendsTheModelsOnceMore) {
    prefix.writeFile("prog/modelos/clientes.mdb", "m");
    prefix.makeDir(kDataFolder);
    form->Form_Activate();
    form->Form_Activate();
    EXPECT_EQ(form->List7.Items(), (std::vector<std::string>{"clientes.mdb", "clientes.mdb"}));
}

TEST_F(StartUp, ProgramAtADriveRootStillFindsItsModels) {
    prefix.writeFile("modelos/clientes.mdb", "m");
    prefix.makeDir(kDataFolder);
    Reload("C:\\");
    EXPECT_EQ(app::Actualiz::ModelPattern(form->ProgramFolder()), "C:\\\\modelos\\*.mdb");
    form->Form_Activate();
    EXPECT_EQ(form->List7.Items(), std::vector<std::string>{"clientes.mdb"});
}

TEST_F(StartUp, BeforeActivationTheListsAreEmptyAndTheBoxesHoldPlaceholders) {
    EXPECT_EQ(form->List6.ListCount(), 0);
    EXPECT_EQ(form->List7.ListCount(), 0);
    EXPECT_EQ(form->Text3.Text(), "c:\\Quenda\\modelos\\zuri.mdb");
    EXPECT_EQ(form->Label4.Caption(), "");
    EXPECT_EQ(form->Bar3.Max(), 100.0f);
    EXPECT_EQ(form->MousePointer(), 0);
    EXPECT_FALSE(form->Dir1.Path().empty());
}

class FolderNavigation : public FormTest {};

TEST_F(FolderNavigation, RootPatternHasNoDoubledBackslash) {
    EXPECT_EQ(app::Actualiz::OldDatabasePattern("c:\\"), "c:\\*.mdb");
    EXPECT_EQ(app::Actualiz::OldDatabasePattern("c:\\datos"), "c:\\datos\\*.mdb");
}

TEST_F(FolderNavigation, EveryChangeOfFolderRefillsTheOldList) {
    prefix.writeFile("uno/a.mdb", "d");
    prefix.writeFile("uno/b.mdb", "d");
    prefix.writeFile("dos/c.mdb", "d");
    form->Dir1.SetPath("c:\\uno");
    EXPECT_EQ(form->List6.Items(), (std::vector<std::string>{"a.mdb", "b.mdb"}));
    form->List6.SetListIndex(1);
    form->Dir1.SetPath("c:\\dos");
    EXPECT_EQ(form->List6.Items(), std::vector<std::string>{"c.mdb"});
    EXPECT_EQ(form->List6.ListIndex(), -1);
}

TEST_F(FolderNavigation, SettingTheSameFolderAgainStillRefills) {
    prefix.writeFile("uno/a.mdb", "d");
    form->Dir1.SetPath("c:\\uno");
    prefix.writeFile("uno/nueva.mdb", "d");
    form->Dir1.SetPath("c:\\uno");
    EXPECT_EQ(form->List6.Items(), (std::vector<std::string>{"a.mdb", "nueva.mdb"}));
}

TEST_F(FolderNavigation, TheListIsFilledBeforeTheSetterReturns) {
    prefix.writeFile("uno/a.mdb", "d");
    std::vector<std::string> seen;
    form->Dir1.SetChangeHandler([&] {
        form->Dir1_Change();
        seen = form->List6.Items();
    });
    form->Dir1.SetPath("c:\\uno");
    EXPECT_EQ(seen, std::vector<std::string>{"a.mdb"});
}

TEST_F(FolderNavigation, AMissingFolderRaisesPathNotFoundAndChangesNothing) {
    prefix.writeFile("uno/a.mdb", "d");
    form->Dir1.SetPath("c:\\uno");
    try {
        form->Dir1.SetPath("c:\\no existe");
        FAIL() << "a missing folder was accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 76);
    }
    EXPECT_EQ(form->Dir1.Path(), "c:\\uno");
    EXPECT_EQ(form->List6.Items(), std::vector<std::string>{"a.mdb"});
}

TEST_F(FolderNavigation, PathsAreShownWithoutTrailingBackslashAndResolveRelativeSteps) {
    prefix.makeDir("uno/sub");
    form->Dir1.SetPath("c:\\uno\\");
    EXPECT_EQ(form->Dir1.Path(), "c:\\uno");
    form->Dir1.SetPath("sub");
    EXPECT_EQ(form->Dir1.Path(), "c:\\uno\\sub");
    form->Dir1.SetPath("..");
    EXPECT_EQ(form->Dir1.Path(), "c:\\uno");
    form->Dir1.SetPath("c:");
    EXPECT_EQ(form->Dir1.Path(), "c:\\");
    EXPECT_EQ(form->Dir1.Subfolders(), (std::vector<std::string>{"prog", "uno"}));
}

TEST_F(FolderNavigation, ChoosingADriveMovesTheDirectoryListToIt) {
    prefix.writeFile("raiz.mdb", "d");
    form->Dir1.InitPath("z:\\");
    form->Drive1.SetDrive("C:");
    EXPECT_EQ(form->Drive1.Drive(), "c:");
    EXPECT_EQ(form->Dir1.Path(), "c:\\");
    EXPECT_EQ(form->List6.Items(), std::vector<std::string>{"raiz.mdb"});
}

TEST_F(FolderNavigation, AnUnknownDriveIsRefused) {
    std::string before = form->Drive1.Drive();
    try {
        form->Drive1.SetDrive("q:");
        FAIL() << "drive q: was accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 68);
    }
    EXPECT_EQ(form->Drive1.Drive(), before);
}

class DoNothingButtons : public FormTest {};

TEST_F(DoNothingButtons, SelAndSeleccionarChangeNothing) {
    prefix.writeFile("prog/modelos/clientes.mdb", "m");
    prefix.writeFile(std::string(kDataFolder) + "/clientes.mdb", "d");
    form->Form_Activate();
    form->List6.SetListIndex(0);
    std::string before = Snapshot(*form);
    form->Click("Command1");
    form->Click("Command7");
    form->Run("Command1_Click");
    form->Run("Command7_Click");
    EXPECT_EQ(Snapshot(*form), before);
    EXPECT_TRUE(host.Messages().empty());
}

}  // namespace
}  // namespace actualiz::testing
