// The window program as a user starts it: --self-test, --screenshot, --program-dir and wrong
// arguments.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "gui/Twips.h"
#include "gui/WindowFixture.h"
#include "gui/WindowSystem.h"

namespace actualiz::testing {
namespace {

struct Outcome {
    int status;
    QString out;
    QString err;
};

class ProgramTest : public WindowTest {
  protected:
    // withDisplay false: started where no window system can be reached, but for the variables
    // of with.
    Outcome Start(const QStringList& arguments, bool withDisplay = true,
                  const std::vector<std::pair<QString, QString>>& with = {}) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("WINEPREFIX", QString::fromStdString(prefix.root().string()));
        environment.remove("ACTUALIZ_PROGRAM_DIR");
        if (withDisplay) {
            environment.insert("QT_QPA_PLATFORM", "offscreen");
        } else {
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY",
                                     "WAYLAND_SOCKET", "XDG_SESSION_TYPE", "XDG_RUNTIME_DIR"})
                environment.remove(name);
        }
        for (const auto& [name, value] : with) environment.insert(name, value);
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
    EXPECT_TRUE(help.out.contains("Uso: actualiz [opciones]")) << help.out.toStdString();
    EXPECT_FALSE(help.out.contains("<executable_name>")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("--help-all"));

    // The full help adds the toolkit's options, and quits like --help.
    Outcome all = Start({"--help-all"});
    EXPECT_EQ(all.status, 0);
    EXPECT_TRUE(all.out.contains("Uso: actualiz [opciones]")) << all.out.toStdString();
    // Spanish throughout: none of the words the toolkit's parser writes by itself.
    for (const Outcome& outcome : {help, all})
        for (const char* english : {"Usage", "Options", "options]", "Arguments", "Displays",
                                    "help on", "Qt-specific", "executable_name"})
            EXPECT_FALSE(outcome.out.contains(english)) << english << " in:\n"
                                                        << outcome.out.toStdString();
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

TEST_F(ProgramTest, AWindowSystemThatIsNotThereIsToldInOneLineNotByTheToolkit) {
    BuildCatalogs();
    const QString runtime = QString::fromStdString(prefix.root().string());
    // An X display whose socket is not there.
    QString x = ":97";
    for (int n = 97; QFileInfo::exists(QString("/tmp/.X11-unix/X%1").arg(n)); ++n)
        x = QString(":%1").arg(n + 1);
    struct Row {
        const char* what;
        std::vector<std::pair<QString, QString>> with;
        QStringList arguments = {};
    };
    const Row rows[] = {
        {"WAYLAND_DISPLAY naming a socket that is not there",
         {{"WAYLAND_DISPLAY", "wayland-9"}, {"XDG_RUNTIME_DIR", runtime}}},
        {"WAYLAND_DISPLAY as a path that is no socket",
         {{"WAYLAND_DISPLAY", runtime + "/wayland-0"}}},
        {"a Wayland session without its compositor",
         {{"XDG_SESSION_TYPE", "wayland"}, {"XDG_RUNTIME_DIR", runtime}}},
        {"QT_QPA_PLATFORM=wayland without a compositor",
         {{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "wayland-9"}}},
        {"QT_QPA_PLATFORM=xcb without an X server", {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", x}}},
        {"-platform xcb without an X server", {{"DISPLAY", x}}, {"-platform", "xcb"}},
        {"both named, neither there",
         {{"DISPLAY", x}, {"WAYLAND_DISPLAY", "wayland-9"}, {"XDG_RUNTIME_DIR", runtime}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Outcome outcome =
            Start(QStringList{"--program-dir", "C:\\prog"} + row.arguments, false, row.with);
        EXPECT_EQ(outcome.status, 1) << outcome.err.toStdString();
        EXPECT_EQ(outcome.err.trimmed().count(QLatin1Char('\n')), 0) << outcome.err.toStdString();
        EXPECT_TRUE(outcome.err.contains("actualiz-cli")) << outcome.err.toStdString();
        EXPECT_TRUE(outcome.out.isEmpty());
    }
    // The self-test needs no screen: where none can be reached it checks the window offscreen.
    Outcome selfTest = Start({"--program-dir", "C:\\prog", "--self-test"}, false,
                             {{"WAYLAND_DISPLAY", "wayland-9"}, {"XDG_RUNTIME_DIR", runtime}});
    EXPECT_EQ(selfTest.status, 0) << selfTest.err.toStdString();
    // A window system that needs no server still starts, whatever else is named.
    Outcome offscreen = Start({"--program-dir", "C:\\prog", "--self-test"}, false,
                              {{"QT_QPA_PLATFORM", "offscreen"}, {"WAYLAND_DISPLAY", "wayland-9"}});
    EXPECT_EQ(offscreen.status, 0) << offscreen.err.toStdString();
}

TEST(WindowSystem, SocketsAndDisplaysAreFoundWhereTheyLie) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const QString socketPath = runtime.filePath("wayland-1");
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(socketPath);
    ASSERT_LT(static_cast<size_t>(encoded.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    QFile plain(runtime.filePath("wayland-2"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    EXPECT_TRUE(gui::WaylandSocketThere("wayland-1", runtime.path()));
    EXPECT_TRUE(gui::WaylandSocketThere(socketPath, ""));
    EXPECT_FALSE(gui::WaylandSocketThere("wayland-1", ""));  // no runtime folder to look in
    EXPECT_FALSE(gui::WaylandSocketThere("wayland-2", runtime.path()));  // a file, no socket
    EXPECT_FALSE(gui::WaylandSocketThere("wayland-3", runtime.path()));
    EXPECT_FALSE(gui::WaylandSocketThere("", runtime.path()));  // wayland-0 is not there
    ::close(fd);

    EXPECT_FALSE(gui::XDisplayReachable(""));
    EXPECT_TRUE(gui::XDisplayReachable("servidor:0"));  // left to the toolkit to try
    EXPECT_EQ(gui::XDisplayReachable(":0.0"), QFileInfo::exists("/tmp/.X11-unix/X0"));
    EXPECT_TRUE(gui::PlatformPluginInstalled("offscreen"));
    EXPECT_FALSE(gui::PlatformPluginInstalled("sinplataforma"));
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

// Each wrong argument is told in Spanish, naming it.
TEST_F(ProgramTest, WrongArgumentsAreToldInSpanish) {
    const std::vector<std::pair<QStringList, QString>> rows{
        {{"--no-such-option"}, "Opción desconocida: no-such-option"},
        {{"--uno", "--dos"}, "Opciones desconocidas: uno, dos"},
        {{"sobrante"}, "Sobra este argumento: sobrante"},
        {{"--program-dir"}, "Falta el valor de --program-dir"},
        {{"--self-test=sí"}, "--self-test no lleva valor"}};
    for (const auto& [arguments, said] : rows) {
        const Outcome outcome = Start(arguments);
        EXPECT_EQ(outcome.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(outcome.err.contains(said)) << outcome.err.toStdString();
        for (const char* english : {"Unknown", "Missing", "Unexpected", "unexpected"})
            EXPECT_FALSE(outcome.err.contains(english)) << outcome.err.toStdString();
    }
}

// Installed, the program has no models beside it: the first-run message names the models folder
// it looked for and how to name the program folder; the window opens all the same.
TEST_F(ProgramTest, AMissingModelsFolderIsNamedWithHowToChooseTheProgramFolder) {
    BuildCatalogs();
    Outcome given = Start({"--program-dir", "C:\\sin modelos", "--self-test"});
    EXPECT_EQ(given.status, 0) << given.err.toStdString();
    EXPECT_TRUE(given.err.contains("C:\\sin modelos\\modelos")) << given.err.toStdString();
    EXPECT_TRUE(given.err.contains(
        QString::fromStdString(prefix.driveCPath("sin modelos/modelos").string())))
        << given.err.toStdString();
    EXPECT_TRUE(given.err.contains("Bases Modelo")) << given.err.toStdString();
    EXPECT_TRUE(given.err.contains("--program-dir")) << given.err.toStdString();
    EXPECT_TRUE(given.err.contains("ACTUALIZ_PROGRAM_DIR")) << given.err.toStdString();

    // Without option nor variable, the folder looked in is the user's, named in the message.
    const std::filesystem::path dataHome = prefix.root() / "usuario";
    Outcome byDefault = Start({"--self-test"}, true,
                              {{"XDG_DATA_HOME", QString::fromStdString(dataHome.string())}});
    EXPECT_EQ(byDefault.status, 0) << byDefault.err.toStdString();
    EXPECT_TRUE(byDefault.err.contains(
        QString::fromStdString((dataHome / "actualiz" / "modelos").string())))
        << byDefault.err.toStdString();

    // The variable names a program folder with models: nothing to say.
    Outcome byVariable = Start({"--self-test"}, true, {{"ACTUALIZ_PROGRAM_DIR", "C:\\prog"}});
    EXPECT_EQ(byVariable.status, 0);
    EXPECT_FALSE(byVariable.err.contains("modelos")) << byVariable.err.toStdString();
}

}  // namespace
}  // namespace actualiz::testing
