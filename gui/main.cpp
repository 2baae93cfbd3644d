// actualiz: the window. Options:
//   --program-dir PATH   folder standing in for the program's folder (Windows or host path); the
//                        models are read from its "modelos" subfolder
//   --self-test          opens the window, lets the form activate, checks what the user sees and
//                        quits (status 0 when the window came up as designed)
//   --screenshot FILE    opens the window, lets the form activate, saves an image of it, quits
#include <cstdio>
#include <iostream>
#include <optional>

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QRegularExpression>
#include <QTimer>

#include "gui/MainWindow.h"
#include "gui/WindowSystem.h"
#include "jet/JetReader.h"
#include "platform/FileSystem.h"

namespace {

// Without a user to answer them, message boxes are written on standard error.
void PrintMessage(QMessageBox::Icon, const QString& title, const QString& text) {
    std::cerr << title.toStdString() << ": " << text.toStdString() << '\n';
}

// The toolkit's own options, which it takes before ours (--help-all lists them).
constexpr const char* kToolkitOptions =
    "\nOptions of the Qt toolkit:\n"
    "  -platform NAME[:OPTIONS]   window system plugin (xcb, wayland, offscreen)\n"
    "  -display DISPLAY           X display to open (default: $DISPLAY)\n"
    "  -style NAME                widget style (Fusion, Windows)\n"
    "  -reverse                   right-to-left layout\n"
    "  -qwindowgeometry GEOMETRY  window size and place, as WIDTHxHEIGHT+X+Y\n";

// The toolkit's options are taken out before our arguments are read: the toolkit reads them
// itself when it starts.
QStringList WithoutToolkitOptions(const QStringList& arguments) {
    static const QStringList withValue{"-platform", "-display", "-style", "-qwindowgeometry"};
    QStringList out;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("-reverse")) continue;
        if (withValue.contains(argument)) {
            ++i;
            continue;
        }
        bool joined = false;
        for (const QString& option : withValue)
            joined = joined || argument.startsWith(option + QLatin1Char('='));
        if (!joined) out << argument;
    }
    return out;
}

// The help as the parser writes it, with the program's own name where it puts a placeholder
// (it takes the name from the toolkit, which is not started yet for --help).
std::string HelpText(const QCommandLineParser& parser, const char* argv0, bool all) {
    QString text = parser.helpText();
    text.replace(QStringLiteral("<executable_name>"),
                 QFileInfo(QString::fromLocal8Bit(argv0)).fileName());
    std::string out = text.toStdString();
    if (all) out += kToolkitOptions;
    return out;
}

// --self-test: once the form is activated, checks that exactly the four design controls show,
// and quits (status 1 when not).
void SelfTestOnActivation(actualiz::gui::MainWindow& window, int& status) {
    QObject::connect(&window, &actualiz::gui::MainWindow::activated, &window, [&window, &status] {
        QStringList wanted{"Drive1", "Dir1", "Command14", "Command27"};
        wanted.sort();
        QStringList shown = window.ShownControls();
        shown.sort();
        if (shown != wanted) {
            std::cerr << "self-test: the window shows " << shown.join(", ").toStdString()
                      << " instead of " << wanted.join(", ").toStdString() << '\n';
            status = 1;
        } else {
            std::cout << "self-test: window \"" << window.windowTitle().toStdString() << "\" shows "
                      << shown.join(", ").toStdString() << '\n';
        }
        window.close();
    });
}

// --screenshot FILE: once the form is activated, saves an image of the window and quits.
void ScreenshotOnActivation(actualiz::gui::MainWindow& window, const QString& file, int& status) {
    QObject::connect(&window, &actualiz::gui::MainWindow::activated, &window,
                     [&window, file, &status] {
                         if (!window.grab().save(file)) {
                             std::cerr << "cannot write " << file.toStdString() << '\n';
                             status = 1;
                         }
                         window.close();
                     });
}

}  // namespace

int main(int argc, char** argv) {
    actualiz::engine::InstallJetOpening();  // real Jet files open read-only

    // The arguments are read before the toolkit starts, so that a wrong one is reported (status
    // 2) even where no display is available.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Actualiz: upgrades the structure of an application's databases");
    parser.addHelpOption();
    QCommandLineOption programDir("program-dir",
                                  "Folder standing in for the program's folder (Windows or host "
                                  "path).",
                                  "PATH");
    QCommandLineOption selfTest("self-test",
                                "Open the window, check it and quit (without a display, on the "
                                "offscreen platform).");
    QCommandLineOption screenshot("screenshot", "Save an image of the window to FILE and quit.",
                                  "FILE");
    parser.addOption(programDir);
    parser.addOption(selfTest);
    parser.addOption(screenshot);
    if (!parser.parse(WithoutToolkitOptions(arguments))) {
        std::cerr << parser.errorText().toStdString() << '\n';
        return 2;
    }
    if (parser.isSet("help") || parser.isSet("help-all")) {
        std::cout << HelpText(parser, argv[0], parser.isSet("help-all"));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::cerr << "unexpected argument: " << parser.positionalArguments().first().toStdString()
                  << '\n';
        return 2;
    }

    // Which window system can start is found out here: the toolkit would abort with its own
    // message when the one it tries is not there.
    std::optional<QByteArray> platforms = actualiz::gui::ReachablePlatforms(arguments);
    // The self-test checks that the program starts; it needs no screen for that, unless the
    // user chose a window system.
    if (!platforms && parser.isSet(selfTest) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        arguments.filter(QRegularExpression(QStringLiteral("^-platform(=|$)"))).isEmpty())
        platforms = QByteArray("offscreen");
    if (platforms && !platforms->isEmpty()) qputenv("QT_QPA_PLATFORM", *platforms);
    if (!platforms) {
        std::cerr << "actualiz necesita una pantalla gráfica y no la encuentra (DISPLAY o "
                     "WAYLAND_DISPLAY); sin pantalla use actualiz-cli, por ejemplo: "
                     "actualiz-cli transform\n";
        return 1;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(actualiz::app::Actualiz::Title()));

    std::string folder;
    try {
        folder = actualiz::platform::ResolveProgramFolder(parser.value(programDir).toStdString());
    } catch (const actualiz::Error& e) {
        std::cerr << "--program-dir: " << e.description() << '\n';
        return 2;
    }

    actualiz::gui::MainWindow window(folder);
    bool unattended = parser.isSet(selfTest) || parser.isSet(screenshot);
    if (unattended) window.host().SetPresenter(PrintMessage);

    int status = 0;
    if (parser.isSet(selfTest))
        SelfTestOnActivation(window, status);
    else if (parser.isSet(screenshot))
        ScreenshotOnActivation(window, parser.value(screenshot), status);

    window.show();
    // The one window of the program takes the keyboard, so the focus mark shows where Enter and
    // Space act from the start (a window manager may decide otherwise).
    window.activateWindow();
    int result = QApplication::exec();
    return status != 0 ? status : result;
}
