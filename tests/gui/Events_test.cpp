// What the user does and what the window answers: the buttons, the folder lists, the message
// boxes, the hourglass, the end of the program.
#include <filesystem>
#include <map>

#include <QAccessible>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

#include "app/ErrorModes.h"
#include "cli/CliTestSupport.h"
#include "gui/DirList.h"
#include "gui/WindowFixture.h"
#include "jet/JetReader.h"
#include "platform/FileSystem.h"
#include "support/RunProgram.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;

QStringList ListItems(QWidget* widget) {
    auto* list = static_cast<QListWidget*>(widget);
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

void DoubleClick(gui::DirList* dirs, const QString& path) {
    QTreeWidgetItem* item = dirs->ItemFor(path);
    ASSERT_NE(item, nullptr) << "the folder list does not show " << path.toStdString();
    QRect rect = dirs->visualItemRect(item);
    ASSERT_TRUE(rect.isValid()) << path.toStdString() << " is scrolled out of sight";
    // A double-click starts with the press of a first click, as a user's does.
    QTest::mouseClick(dirs->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(dirs->viewport(), Qt::LeftButton, {}, rect.center());
}

// ---- Ending the program ----

TEST_F(WindowTest, SalirEndsTheProgramAndClosesTheWindow) {
    BuildCatalogs();
    Open();
    QTest::mouseClick(W("Command14"), Qt::LeftButton);
    EXPECT_TRUE(window->form().Ended());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, ClosingTheWindowEndsTheProgramLikeSalir) {
    BuildCatalogs();
    Open();
    ASSERT_TRUE(window->form().Data3.IsOpen());
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(window->form().Ended());
    // The catalogs the form held open are released, as "Salir" releases them.
    EXPECT_FALSE(window->form().Data3.IsOpen());
    EXPECT_FALSE(window->isVisible());
}

// ---- Start-up ----

TEST_F(WindowTest, ActivationListsModelsAndOldDatabasesAndShowsTheDataFolder) {
    BuildCatalogs();
    prefix.writeFile("prog/modelos/clientes.mdb", "");
    prefix.writeFile("prog/modelos/almacen.mdb", "");
    prefix.writeFile(std::string(kDataFolder) + "/clientes.mdb", "");
    Open();
    EXPECT_EQ(ListItems(W("List7")), (QStringList{"almacen.mdb", "clientes.mdb"}));
    EXPECT_EQ(ListItems(W("List6")), (QStringList{"clientes.mdb"}));
    auto* dirs = static_cast<gui::DirList*>(W("Dir1"));
    ASSERT_NE(dirs->currentItem(), nullptr);
    EXPECT_EQ(gui::DirList::PathOf(dirs->currentItem()).toStdString(), kDataPath);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, LoadingFailuresAreShownOnceAfterTheWindowAppears) {
    BuildCatalogs(true, false, true);  // no relation catalog
    prefix.writeFile("prog/modelos/clientes.mdb", "");
    Create();
    // Nothing is shown while the window is being built and not yet on the screen.
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(window->form().Errors().size(), 1u);
    EXPECT_EQ(window->form().Errors()[0].command, "Form_Load");

    window->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return window->Activated(); }));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages[0].title.toStdString(), app::Actualiz::Title());
    // It names the missing file, where the prefix puts it, and how to make it.
    const QString text = messages[0].text;
    EXPECT_TRUE(text.contains("C:\\ActMirto\\relacion.mdb")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(prefix.driveCPath("ActMirto").string())))
        << text.toStdString();
    EXPECT_FALSE(text.contains("indices.mdb")) << "a catalog that opened is not missing";
    EXPECT_TRUE(text.contains("WINEPREFIX")) << text.toStdString();
    EXPECT_TRUE(text.contains("actualiz-cli catalogs init")) << text.toStdString();

    // Showing the window again does not repeat it, nor the activation.
    window->hide();
    window->show();
    QTest::qWait(20);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(window->form().List7.ListCount(), 1);
}

TEST_F(WindowTest, WithoutDriveCOneMessageSaysWhatIsMissingAndTheWindowStillOpens) {
    std::filesystem::remove_all(prefix.driveC());
    Open();
    // Three catalogs that do not open and an activation that reaches no folder: one message.
    ASSERT_EQ(messages.size(), 1u);
    const QString text = messages[0].text;
    for (const char* name : {"indices.mdb", "relacion.mdb", "consulta.mdb"})
        EXPECT_TRUE(text.contains(name)) << name << " in:\n" << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(prefix.driveC().string())))
        << text.toStdString();
    EXPECT_TRUE(text.contains("actualiz-cli catalogs init")) << text.toStdString();
    // What failed is still recorded, the activation's failure included.
    int activation = 0;
    for (const auto& error : window->form().Errors())
        activation += error.command == "Form_Activate";
    EXPECT_EQ(activation, 1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->form().Ended());
}

// ---- Folder navigation ----

TEST_F(WindowTest, OpeningAFolderInDir1RefillsList6) {
    BuildCatalogs();
    prefix.writeFile(std::string(kDataFolder) + "/clientes.mdb", "");
    prefix.writeFile(std::string(kDataFolder) + "/antiguas/viejo.mdb", "");
    prefix.writeFile("archivos de programa/Mirto 2000/copia.mdb", "");
    Open();
    auto* dirs = static_cast<gui::DirList*>(W("Dir1"));
    const QString data = QString::fromUtf8(kDataPath);
    EXPECT_EQ(ListItems(W("List6")), (QStringList{"clientes.mdb"}));

    // A subfolder, by double-click.
    DoubleClick(dirs, data + "\\antiguas");
    EXPECT_EQ(window->form().Dir1.Path(), std::string(kDataPath) + "\\antiguas");
    EXPECT_EQ(ListItems(W("List6")), (QStringList{"viejo.mdb"}));
    EXPECT_EQ(gui::DirList::PathOf(dirs->currentItem()), data + "\\antiguas");

    // A folder of the path above, by Enter on the highlighted entry.
    const QString parent = "c:\\archivos de programa\\Mirto 2000";
    ASSERT_NE(dirs->ItemFor(parent), nullptr);
    dirs->setCurrentItem(dirs->ItemFor(parent));
    QTest::keyClick(dirs, Qt::Key_Return);
    EXPECT_EQ(window->form().Dir1.Path(), parent.toStdString());
    EXPECT_EQ(ListItems(W("List6")), (QStringList{"copia.mdb"}));
    // Its subfolder "bases" is now listed below it, closed.
    EXPECT_NE(dirs->ItemFor(data), nullptr);
    EXPECT_TRUE(window->form().Errors().empty());
}

TEST_F(WindowTest, ChoosingADrivePointsDir1AtItsRoot) {
    BuildCatalogs();
    prefix.writeFile("raiz.mdb", "");
    prefix.writeFile(std::string(kDataFolder) + "/clientes.mdb", "");
    Open();
    auto* combo = static_cast<QComboBox*>(W("Drive1"));
    QStringList drives;
    for (int i = 0; i < combo->count(); ++i) drives << combo->itemText(i);
    QStringList expected;
    for (const std::string& d : platform::Drives()) expected << QString::fromStdString(d);
    EXPECT_EQ(drives, expected);
    EXPECT_EQ(combo->currentText().toStdString(), window->form().Drive1.Drive());

    // The list starts on the data folder's drive; the user moves to another drive and back to
    // c: with the keyboard, as with the classic list.
    int target = combo->findText("c:");
    ASSERT_GE(target, 0);
    ASSERT_EQ(combo->currentIndex(), target);
    ASSERT_GT(combo->count(), 1);
    QTest::keyClick(combo, target + 1 < combo->count() ? Qt::Key_Down : Qt::Key_Up);
    ASSERT_NE(combo->currentIndex(), target);
    EXPECT_EQ(window->form().Drive1.Drive(), combo->currentText().toStdString());
    while (combo->currentIndex() != target)
        QTest::keyClick(combo, combo->currentIndex() > target ? Qt::Key_Up : Qt::Key_Down);

    EXPECT_EQ(window->form().Drive1.Drive(), "c:");
    EXPECT_EQ(window->form().Dir1.Path(), "c:\\");
    EXPECT_EQ(ListItems(W("List6")), (QStringList{"raiz.mdb"}));
    EXPECT_EQ(gui::DirList::PathOf(static_cast<gui::DirList*>(W("Dir1"))->currentItem()), "c:\\");
}

TEST_F(WindowTest, AFolderThatVanishedIsReportedAndTheProgramGoesOn) {
    BuildCatalogs();
    prefix.writeFile(std::string(kDataFolder) + "/clientes.mdb", "");
    prefix.makeDir(std::string(kDataFolder) + "/borrada");
    Open();
    std::filesystem::remove(prefix.driveCPath(std::string(kDataFolder) + "/borrada"));
    DoubleClick(static_cast<gui::DirList*>(W("Dir1")), QString::fromUtf8(kDataPath) + "\\borrada");

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(messages[0].text.contains("76")) << messages[0].text.toStdString();
    ASSERT_EQ(window->form().Errors().size(), 1u);
    EXPECT_EQ(window->form().Errors()[0].number, 76);
    // Dir1 stays where it was and the window stays open and usable.
    EXPECT_EQ(window->form().Dir1.Path(), kDataPath);
    EXPECT_EQ(ListItems(W("List6")), (QStringList{"clientes.mdb"}));
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->form().Ended());
}

// ---- Buttons ----

TEST_F(WindowTest, AFailingTransformarShowsTheEngineNumberAndTextAndTheProgramGoesOn) {
    BuildCatalogs();
    Open();  // no almacen.mdb in the data folder
    QTest::mouseClick(W("Command27"), Qt::LeftButton);

    ASSERT_EQ(window->form().Errors().size(), 1u);
    const auto failure = window->form().Errors()[0];
    EXPECT_EQ(failure.command, "Command27_Click");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages[0].title.toStdString(), app::Actualiz::Title());
    EXPECT_TRUE(messages[0].text.contains(QString::number(failure.number)));
    EXPECT_TRUE(messages[0].text.contains(QString::fromStdString(failure.description)));
    EXPECT_FALSE(window->form().Ended());
    EXPECT_TRUE(window->isVisible());
    // The text box the command wrote before failing shows what the form holds.
    EXPECT_EQ(static_cast<QLineEdit*>(W("Text4"))->text().toStdString(),
              std::string(kDataPath) + "\\almacen.mdb");

    // And the window still answers: "Salir" ends it.
    QTest::mouseClick(W("Command14"), Qt::LeftButton);
    EXPECT_TRUE(window->form().Ended());
}

TEST_F(WindowTest, ASuccessfulTransformarSaysTerminadoAndEnds) {
    BuildCatalogs();
    json proveedores{{"name", "proveedores"},
                     {"fields", {{{"name", "codigoproveedor"}, {"type", engine::dbLong}}}}};
    engine::BuildDatabase(std::string(kDataPath) + "\\almacen.mdb",
                          json{{"tables", json::array({proveedores})}})
        ->Close();
    Open();
    QTest::mouseClick(W("Command27"), Qt::LeftButton);

    std::string shown;
    for (const ShownMessage& m : messages) shown += m.text.toStdString() + "\n";
    ASSERT_EQ(messages.size(), 1u) << "the window showed:\n" << shown;
    EXPECT_EQ(messages[0].icon, QMessageBox::Information);
    EXPECT_EQ(messages[0].text, "Terminado");
    EXPECT_EQ(messages[0].title.toStdString(), app::Actualiz::Title());
    EXPECT_TRUE(window->form().Errors().empty());
    EXPECT_TRUE(window->form().Ended());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, ASecondTransformarSaysWhatTheCompanionSays) {
    BuildCatalogs();
    json proveedores{{"name", "proveedores"},
                     {"fields", {{{"name", "codigoproveedor"}, {"type", engine::dbLong}}}}};
    engine::BuildDatabase(std::string(kDataPath) + "\\almacen.mdb",
                          json{{"tables", json::array({proveedores})}})
        ->Close();
    // The first run adds the table; the companion, run again, says there is nothing to do.
    ASSERT_EQ(RunCli({"migrate", "gastosgen"}).status, 0);
    const CliResult again = RunCli({"migrate", "gastosgen"});
    ASSERT_FALSE(again.err.empty()) << "the companion said nothing";

    Open();
    QTest::mouseClick(W("Command27"), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u) << "a second Transformar is silent";
    EXPECT_EQ(messages[0].text.toStdString() + "\n", again.err);
    EXPECT_EQ(messages[0].icon, QMessageBox::Information);
    EXPECT_EQ(messages[0].title.toStdString(), app::Actualiz::Title());
    EXPECT_TRUE(window->form().Errors().empty());
    // Nothing was done, so the program goes on.
    EXPECT_FALSE(window->form().Ended());
    EXPECT_TRUE(window->isVisible());
}

// almacen.mdb a real Jet 4 file (with the suppliers table): Transformar writes gastosgen into the
// file itself and says Terminado, or, while the relation cannot be written there, shows that
// refusal with the file as it was and the program goes on.
TEST_F(WindowTest, TransformarOnARealJetFileWritesItOrShowsTheRefusal) {
    if (!engine::CanReadJetFiles()) GTEST_SKIP() << "built without libmdb";
    BuildCatalogs();
    const std::filesystem::path file = prefix.driveCPath(std::string(kDataFolder) + "/almacen.mdb");
    MakeJetWarehouse(file);
    const std::string before = ReadWhole(file);
    Open();
    QTest::mouseClick(W("Command27"), Qt::LeftButton);

    std::string shown;
    for (const ShownMessage& m : messages) shown += m.text.toStdString() + "\n";
    ASSERT_EQ(messages.size(), 1u) << "the window showed:\n" << shown;
    EXPECT_TRUE(engine::IsJetFile(file));
    EXPECT_EQ(messages[0].text, "Terminado");
    EXPECT_TRUE(window->form().Ended());
    EXPECT_NE(RunProgram("mdb-tables", {"-1", file.string()}).out.find("gastosgen"),
              std::string::npos);
}

TEST_F(WindowTest, TheDriveListShowsTheDriveOfTheDataFolderAtStart) {
    BuildCatalogs();
    // The test runs outside drive C: the process starts on another drive.
    Create();
    const std::string startDrive = window->form().Drive1.Drive();
    ASSERT_NE(startDrive, "c:") << "the test needs a working folder outside drive C";
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return window->Activated(); }));

    EXPECT_EQ(window->form().Dir1.Path(), kDataPath);
    auto* combo = static_cast<QComboBox*>(W("Drive1"));
    EXPECT_EQ(combo->currentText(), "c:") << "the drive list shows another drive than the folders";
    EXPECT_EQ(window->form().Drive1.Drive(), "c:");
    // Agreeing moved nothing: the folder list stays on the data folder, with its databases.
    EXPECT_EQ(
        gui::DirList::PathOf(static_cast<gui::DirList*>(W("Dir1"))->currentItem()).toStdString(),
        kDataPath);
    EXPECT_TRUE(window->form().Errors().empty());
}

TEST_F(WindowTest, EveryControlHasAnAccessibleNameOfItsOwn) {
    BuildCatalogs();
    Open();
    // Enlarged, so that the working controls are within reach too.
    window->resize(window->ToPixels(0, 0, 16000, 9500).size());
    QTest::qWait(0);
    std::map<QString, std::string> seen;
    for (app::Control* control : window->form().Controls()) {
        const std::string name = control->FullName();
        QWidget* widget = W(name.c_str());
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(accessible, nullptr) << name;
        const QString said = accessible->text(QAccessible::Name);
        EXPECT_FALSE(said.isEmpty()) << name << " has no name a screen reader can say";
        EXPECT_FALSE(said.contains(QString::fromStdString(control->Name())))
            << name << " is named by its identifier: " << said.toStdString();
        // Two controls a user can reach never share a name.
        if (window->form().IsShown(*control) && widget->focusPolicy() != Qt::NoFocus) {
            auto [it, fresh] = seen.emplace(said, name);
            EXPECT_TRUE(fresh) << name << " and " << it->second << " are both \""
                               << said.toStdString() << "\"";
        }
    }
    EXPECT_EQ(W("Drive1")->accessibleName(), "Unidad");
    EXPECT_EQ(W("Dir1")->accessibleName(), "Carpeta de datos");
    EXPECT_EQ(W("List6")->accessibleName(), "Bases Viejas");
    EXPECT_EQ(W("List1(1)")->accessibleName(), "Campos Base Origen: tipos");
}

// A message as long as the one of a data folder another run holds, with a long path in it.
QString LongMessage() {
    const std::string folder =
        "c:\\archivos de programa\\Mirto 2000\\bases\\contabilidad\\ejercicios anteriores";
    const std::string holder =
        "actualiz-cli transform, proceso 123456, usuario "
        "administracion, desde /home/administracion/escritorio/"
        "mirto-2000-copias-de-seguridad-del-ejercicio-anterior";
    return gui::QtHost::ErrorText(app::FolderInUse(folder, holder));
}

// Checks that a message box shows its whole text: inside the box, every line as wide as the
// text's room at most, and all of them within its height.
void ExpectShownWhole(QMessageBox& box, const QString& text) {
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QTest::qWait(0);
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    ASSERT_NE(label, nullptr);
    const QRect area(label->mapTo(&box, QPoint(0, 0)), label->size());
    EXPECT_TRUE(box.rect().contains(area))
        << "the text lies beyond the box's edge: " << area.right() << " > " << box.width();
    const QRect room = label->contentsRect();
    const QFontMetrics metrics(label->font());
    int height = 0;
    for (const QString& line : label->text().split(QLatin1Char('\n'))) {
        // A line the label would wrap again takes its own height; only an unbreakable word
        // wider than the room is lost.
        const QRect needed =
            metrics.boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap, line);
        EXPECT_LE(metrics.horizontalAdvance(line.split(' ').first()), room.width())
            << "cut off: " << line.toStdString();
        EXPECT_LE(needed.width(), room.width()) << "cut off: " << line.toStdString();
        height += std::max(needed.height(), metrics.height());
    }
    EXPECT_LE(height, room.height() + metrics.leading() * 4) << "the end of the text is lost";
    // Nothing of it was dropped on the way.
    QString shown = label->text();
    QString wanted = text;
    shown.remove(QRegularExpression("\\s"));
    wanted.remove(QRegularExpression("\\s"));
    EXPECT_EQ(shown, wanted);
    const QScreen* screen = box.screen();
    ASSERT_NE(screen, nullptr);
    EXPECT_LE(box.width(), screen->availableGeometry().width());
    box.close();
}

TEST_F(WindowTest, LongMessagesWrapInsideTheirBoxInTheWindowsFontWithASpanishButton) {
    BuildCatalogs();
    Open();
    const QString text = LongMessage();
    auto box = gui::QtHost::MakeMessageBox(QMessageBox::Critical, "Actualiz", text, window.get());
    ExpectShownWhole(*box, text);
    // The dialog speaks the window's language and font.
    QAbstractButton* ok = box->button(QMessageBox::Ok);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "Aceptar");
    auto* label = box->findChild<QLabel*>("qt_msgbox_label");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(QFontInfo(label->font()).family(), QFontInfo(window->font()).family());
    EXPECT_EQ(label->font().pointSizeF(), window->font().pointSizeF());
    EXPECT_EQ(QFontInfo(ok->font()).family(), QFontInfo(window->font()).family());

    // A short message stays on its lines as written.
    auto terminado = gui::QtHost::MakeMessageBox(QMessageBox::Information, "Actualiz", "Terminado",
                                                 window.get());
    EXPECT_EQ(terminado->text(), "Terminado");
}

TEST_F(WindowTest, LongMessagesWrapInsideTheirBoxOnDesktopScreens) {
    // The box sizes itself by its screen, so the check runs again on screens of a desktop's
    // sizes, each in a program of its own (one screen a program).
    if (qEnvironmentVariable("QT_QPA_PLATFORM") != "offscreen") GTEST_SKIP();
    for (const char* size : {"1024 768", "1280 1024", "1920 1080", "2560 1440"}) {
        SCOPED_TRACE(size);
        const QStringList wh = QString(size).split(' ');
        const QString config = QString::fromStdString((prefix.root() / "pantalla.json").string());
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral(R"({"screens": [{"name": "pantalla", "x": 0, "y": 0,
            "width": %1, "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                       .arg(wh[0], wh[1])
                       .toUtf8());
        file.close();
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + config);
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationFilePath(),
                      {"--gtest_filter=WindowTest."
                       "LongMessagesWrapInsideTheirBoxInTheWindowsFontWithASpanishButton"});
        ASSERT_TRUE(process.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(process.readAll());
        EXPECT_EQ(process.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
    }
}

TEST_F(WindowTest, MessageBoxesKeepTheFormsIconAndTitle) {
    BuildCatalogs();
    Open();
    app::Host& host = window->form().host();
    host.MsgBox("La tabla histoprod ya existe", app::MsgIcon::Critical, "T1");
    host.MsgBox("Terminado", app::MsgIcon::Information, "T2");
    host.MsgBox("No se puede actualizar", app::MsgIcon::None, "T3");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages[1].icon, QMessageBox::Information);
    EXPECT_EQ(messages[2].icon, QMessageBox::NoIcon);
    EXPECT_EQ(messages[0].text, "La tabla histoprod ya existe");
    EXPECT_EQ(messages[2].title, "T3");
}

TEST_F(WindowTest, PointerElevenIsTheHourglassForTheWholeApplication) {
    BuildCatalogs();
    Open();
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    window->form().SetMousePointer(11);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    // Asking twice does not stack two hourglasses.
    window->form().SetMousePointer(11);
    window->form().SetMousePointer(0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A window that goes while the hourglass shows gives the pointer back.
    window->form().SetMousePointer(11);
    window.reset();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, AButtonsCommandShowsTheBusyPointerAndDropsWhatTheUserDidMeanwhile) {
    BuildCatalogs(true, true, false);
    // One stored query in the catalog, so that "Iguala Consultas" moves its bar once.
    json consulta{{"name", "consulta"},
                  {"fields",
                   {{{"name", "nombrecon"}, {"type", engine::dbText}, {"size", 50}},
                    {{"name", "consulta"}, {"type", engine::dbMemo}}}},
                  {"rows", json::array({json::array({"ventas", "SELECT 1"})})}};
    engine::BuildDatabase("C:\\ActMirto\\consulta.mdb", json{{"tables", json::array({consulta})}})
        ->Close();
    Open();
    window->resize(window->ToPixels(0, 0, 16000, 9500).size());
    QTest::qWait(0);
    const std::string text3 = window->form().Text3.Text();

    // While the command runs, the user clicks "Salir" and types into a path box.
    std::vector<bool> busy;
    QObject::connect(static_cast<QProgressBar*>(W("Bar6")), &QProgressBar::valueChanged, [&] {
        const QCursor* cursor = QApplication::overrideCursor();
        busy.push_back(cursor && cursor->shape() == Qt::WaitCursor);
        QWidget* salir = W("Command14");
        const QPoint centre = salir->rect().center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(
                salir,
                new QMouseEvent(type, centre, salir->mapToGlobal(centre), Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                Qt::NoModifier));
        QCoreApplication::postEvent(
            W("Text3"), new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x"));
    });
    QTest::mouseClick(W("Command23"), Qt::LeftButton);
    QTest::qWait(20);

    ASSERT_FALSE(busy.empty()) << "the command never moved its bar";
    EXPECT_EQ(busy, std::vector<bool>(busy.size(), true)) << "no busy pointer while it ran";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy pointer outlived the command";
    EXPECT_FALSE(window->form().Ended()) << "a click given during the run ran afterwards";
    EXPECT_EQ(window->form().Text3.Text(), text3) << "keys given during the run were typed";
    EXPECT_EQ(static_cast<QLineEdit*>(W("Text3"))->text().toStdString(), text3);
}

TEST_F(WindowTest, ClosingTheWindowWhileACommandRunsIsDroppedAndTheWindowStays) {
    BuildCatalogs(true, true, false);
    json consulta{{"name", "consulta"},
                  {"fields",
                   {{{"name", "nombrecon"}, {"type", engine::dbText}, {"size", 50}},
                    {{"name", "consulta"}, {"type", engine::dbMemo}}}},
                  {"rows", json::array({json::array({"ventas", "SELECT 1"})})}};
    engine::BuildDatabase("C:\\ActMirto\\consulta.mdb", json{{"tables", json::array({consulta})}})
        ->Close();
    Open();
    window->resize(window->ToPixels(0, 0, 16000, 9500).size());
    QTest::qWait(0);

    // While the command runs, the user closes the window from its title bar: the window system
    // asks the window to close, as it does for that button.
    int closes = 0;
    QObject::connect(static_cast<QProgressBar*>(W("Bar6")), &QProgressBar::valueChanged, [&] {
        ++closes;
        QCoreApplication::postEvent(window->windowHandle(), new QCloseEvent);
    });
    QTest::mouseClick(W("Command23"), Qt::LeftButton);
    QTest::qWait(50);

    ASSERT_GT(closes, 0) << "the command never moved its bar";
    EXPECT_FALSE(window->form().Ended()) << "the close given during the run was replayed";
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->form().Data5.IsOpen()) << "the catalogs were released";

    // With nothing running, closing ends the program as before.
    QCoreApplication::postEvent(window->windowHandle(), new QCloseEvent);
    QTest::qWait(20);
    EXPECT_TRUE(window->form().Ended());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, EnterPressesTheFocusedButtonAndEscapeIsSalirOnlyWhenNoCommandRuns) {
    BuildCatalogs();
    Open();  // no almacen.mdb: "Transformar" fails with a message
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    W("Command27")->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), W("Command27"));

    // Escape pressed while the command's message box is up does not end the program.
    window->host().SetPresenter(
        [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
            messages.push_back({icon, title, text});
            QTest::keyClick(window.get(), Qt::Key_Escape);
        });
    QTest::keyClick(W("Command27"), Qt::Key_Return);
    ASSERT_EQ(window->form().Errors().size(), 1u);
    EXPECT_EQ(window->form().Errors()[0].command, "Command27_Click");
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_FALSE(window->form().Ended());

    // With nothing running, Escape does what "Salir" does.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(window->form().Ended());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, AButtonsCommandRunsUnderTheDataFolderLockOrNotAtAll) {
    BuildCatalogs();
    Open();
    std::vector<std::string> taken;
    bool refuse = true;
    window->SetDataFolderLock([&](const std::string& folder) -> std::shared_ptr<void> {
        taken.push_back(folder);
        if (refuse) throw platform::PathFileAccessError(folder);
        return std::make_shared<int>(0);
    });
    // Refused: the user is told, and "Salir" does not end the program.
    QTest::mouseClick(W("Command14"), Qt::LeftButton);
    ASSERT_EQ(taken, std::vector<std::string>{kDataPath});
    ASSERT_EQ(messages.size(), 1u);
    const Error refusal = platform::PathFileAccessError(kDataPath);
    EXPECT_TRUE(messages[0].text.contains(QString::number(refusal.number())))
        << messages[0].text.toStdString();
    EXPECT_FALSE(window->form().Ended());

    refuse = false;
    QTest::mouseClick(W("Command14"), Qt::LeftButton);
    EXPECT_EQ(taken.size(), 2u);
    EXPECT_TRUE(window->form().Ended());
}

// ---- Working controls the user edits ----

TEST_F(WindowTest, TypingInATextBoxOrChoosingAnEntryChangesTheForm) {
    BuildCatalogs();
    prefix.writeFile(std::string(kDataFolder) + "/almacen.mdb", "");
    prefix.writeFile(std::string(kDataFolder) + "/clientes.mdb", "");
    Open();
    window->resize(window->ToPixels(0, 0, 16000, 9500).size());
    QTest::qWait(0);

    auto* text3 = static_cast<QLineEdit*>(W("Text3"));
    text3->clear();
    QTest::keyClicks(text3, "c:\\otra\\base.mdb");
    EXPECT_EQ(window->form().Text3.Text(), "c:\\otra\\base.mdb");

    auto* list6 = static_cast<QListWidget*>(W("List6"));
    QRect second = list6->visualItemRect(list6->item(1));
    QTest::mouseClick(list6->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(window->form().List6.ListIndex(), 1);
    EXPECT_EQ(window->form().List6.Text(), "clientes.mdb");
}

}  // namespace
}  // namespace actualiz::testing
