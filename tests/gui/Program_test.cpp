// The window program as a user starts it: --self-test, --screenshot, --program-dir and wrong
// arguments.
#include <filesystem>

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>

#include "gui/Twips.h"
#include "gui/WindowFixture.h"

namespace actualiz::testing {
namespace {

struct Outcome {
    int status;
    QString out;
    QString err;
};

class ProgramTest : public WindowTest {
  protected:
    // withDisplay false: started where no window system can be reached.
    Outcome Start(const QStringList& arguments, bool withDisplay = true) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("WINEPREFIX", QString::fromStdString(prefix.root().string()));
        if (withDisplay) {
            environment.insert("QT_QPA_PLATFORM", "offscreen");
        } else {
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                environment.remove(name);
        }
        process.setProcessEnvironment(environment);
        process.start(ACTUALIZ_GUI_PATH, arguments);
        EXPECT_TRUE(process.waitForFinished(60000)) << "the program did not quit";
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }
};

TEST_F(ProgramTest, SelfTestOpensTheWindowChecksItAndQuits) {
    BuildCatalogs();
    Outcome outcome = Start({"--program-dir", "C:\\prog", "--self-test"});
    EXPECT_EQ(outcome.status, 0) << outcome.err.toStdString();
    for (const char* name : {"Drive1", "Dir1", "Command27", "Command14"})
        EXPECT_TRUE(outcome.out.contains(name)) << outcome.out.toStdString();
    EXPECT_TRUE(outcome.err.isEmpty() || !outcome.err.contains("Error '"))
        << "loading reported a failure: " << outcome.err.toStdString();
}

TEST_F(ProgramTest, WithoutCatalogsTheSelfTestReportsThemAndStillStarts) {
    Outcome outcome = Start({"--program-dir", "C:\\prog", "--self-test"});
    EXPECT_EQ(outcome.status, 0);
    // One message for the three, saying how to make them.
    const QString title = QString::fromStdString(app::Actualiz::Title()) + ": ";
    EXPECT_EQ(outcome.err.count(title), 1) << outcome.err.toStdString();
    for (const char* name : {"indices.mdb", "relacion.mdb", "consulta.mdb"})
        EXPECT_TRUE(outcome.err.contains(name)) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.contains("actualiz-cli catalogs init")) << outcome.err.toStdString();
}

TEST_F(ProgramTest, HelpNamesTheProgramAndNeverOpensTheWindow) {
    Outcome help = Start({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("actualiz [options]")) << help.out.toStdString();
    EXPECT_FALSE(help.out.contains("<executable_name>")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("--help-all"));

    // The full help adds the toolkit's options, and quits like --help.
    Outcome all = Start({"--help-all"});
    EXPECT_EQ(all.status, 0);
    EXPECT_TRUE(all.out.contains("actualiz [options]")) << all.out.toStdString();
    EXPECT_TRUE(all.out.contains("-platform")) << all.out.toStdString();
    // And those options are taken, not refused as unknown.
    EXPECT_EQ(Start({"-platform", "offscreen", "-reverse", "--help"}).status, 0);
}

TEST_F(ProgramTest, WithoutADisplayOneLineSaysSoAndPointsToTheCompanion) {
    BuildCatalogs();
    Outcome outcome = Start({"--program-dir", "C:\\prog"}, false);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err.trimmed().count(QLatin1Char('\n')), 0) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.contains("actualiz-cli")) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.out.isEmpty());
}

TEST_F(ProgramTest, ScreenshotIsTheWindowAtItsDesignSize) {
    BuildCatalogs();
    const std::string file = (prefix.root() / "ventana.png").string();
    // A host path names the program folder as well as a Windows one.
    Outcome outcome = Start({"--program-dir", QString::fromStdString(prefix.driveCPath("prog")),
                             "--screenshot", QString::fromStdString(file)});
    ASSERT_EQ(outcome.status, 0) << outcome.err.toStdString();
    QImage image(QString::fromStdString(file));
    ASSERT_FALSE(image.isNull()) << "no image was written";
    Application();
    QWidget probe;
    EXPECT_EQ(image.size(), gui::DesignClientSize(probe.logicalDpiX(), probe.logicalDpiY()));
}

TEST_F(ProgramTest, WrongArgumentsEndWithStatusTwo) {
    EXPECT_EQ(Start({"--no-such-option"}).status, 2);
    EXPECT_EQ(Start({"sobrante"}).status, 2);
    EXPECT_EQ(Start({"--program-dir"}).status, 2);
}

}  // namespace
}  // namespace actualiz::testing
