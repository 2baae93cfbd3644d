// actualiz: the window. Options:
//   --program-dir PATH   the program's folder (Windows or host path); the models are read from
//                        its "modelos" subfolder. Without it, see platform/ProgramFolder.h
//   --self-test          opens the window, lets the form activate, checks what the user sees and
//                        quits (status 0 when the window came up as designed)
//   --screenshot FILE    opens the window, lets the form activate, saves an image of it, quits
#include <algorithm>
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
#include "platform/ProgramFolder.h"

namespace {

// Without a user to answer them, message boxes are written on standard error.
void PrintMessage(QMessageBox::Icon, const QString& title, const QString& text) {
    std::cerr << title.toStdString() << ": " << text.toStdString() << '\n';
}

constexpr const char* kDescription =
    "Actualiz: actualiza la estructura de las bases de datos de la aplicación.";

// The toolkit's own options, which it takes before ours (--help-all lists them).
constexpr const char* kToolkitOptions =
    "\nOpciones de la biblioteca gráfica (Qt):\n"
    "  -platform NOMBRE[:OPCIONES]  sistema de ventanas (xcb, wayland, offscreen)\n"
    "  -display PANTALLA            pantalla X que se abre (por omisión, $DISPLAY)\n"
    "  -style NOMBRE                estilo de los controles (Fusion, Windows)\n"
    "  -reverse                     disposición de derecha a izquierda\n"
    "  -qwindowgeometry GEOMETRÍA   tamaño y lugar de la ventana: ANCHOxALTO+X+Y\n";

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

// The help, written here rather than by the parser, whose headings and own options are English:
// the usage line, what the program does, and each option with its value and description.
std::string HelpText(const QList<QCommandLineOption>& options, const char* argv0, bool all) {
    QStringList names;
    qsizetype width = 0;
    for (const QCommandLineOption& option : options) {
        QStringList spelled;
        for (const QString& name : option.names())
            spelled << (name.size() == 1 ? "-" : "--") + name;
        QString line = spelled.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty()) line += " " + option.valueName();
        names << line;
        width = std::max(width, line.size());
    }
    QString text = QStringLiteral("Uso: %1 [opciones]\n%2\n\nOpciones:\n")
                       .arg(QFileInfo(QString::fromLocal8Bit(argv0)).fileName(),
                            QString::fromUtf8(kDescription));
    // Descriptions wrap at 80 columns, under their own column.
    const qsizetype indent = width + 4;
    for (qsizetype i = 0; i < options.size(); ++i) {
        QString line = "  " + names[i].leftJustified(width + 2);
        for (const QString& word : options[i].description().split(QLatin1Char(' '))) {
            if (line.size() > indent && line.size() + 1 + word.size() > 80) {
                text += line + "\n";
                line = QString(indent, QLatin1Char(' '));
            }
            line += (line.size() > indent ? " " : "") + word;
        }
        text += line + "\n";
    }
    std::string out = text.toStdString();
    if (all) out += kToolkitOptions;
    return out;
}

// The parser's complaint about the arguments, in Spanish. It writes its texts in English and
// cannot be given a translation before the toolkit starts, so the three it has are recognised.
std::string ArgumentError(const QCommandLineParser& parser) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty())
        return (unknown.size() == 1 ? "Opción desconocida: " : "Opciones desconocidas: ") +
               unknown.join(QStringLiteral(", ")).toStdString();
    const QString error = parser.errorText();
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
    static const QRegularExpression unexpected(
        QStringLiteral("^Unexpected value after '(.*)'\\.$"));
    if (const QRegularExpressionMatch match = missing.match(error); match.hasMatch())
        return "Falta el valor de " + match.captured(1).toStdString();
    if (const QRegularExpressionMatch match = unexpected.match(error); match.hasMatch())
        return match.captured(1).toStdString() + " no lleva valor";
    return error.toStdString();
}

constexpr const char* kHelpHint = "Más información con --help.";

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
    const QCommandLineOption help({"h", "help"}, "Muestra esta ayuda y termina.");
    const QCommandLineOption helpAll("help-all",
                                     "Muestra esta ayuda y las opciones de Qt, y termina.");
    const QCommandLineOption programDir(
        "program-dir",
        "Carpeta del programa, la que contiene \"modelos\" (ruta Windows o del sistema). Sin "
        "ella, la de la variable ACTUALIZ_PROGRAM_DIR; sin esta, la primera que tenga "
        "\"modelos\" de: la carpeta del ejecutable, $XDG_DATA_HOME/actualiz "
        "(~/.local/share/actualiz), <prefijo>/share/actualiz.",
        "RUTA");
    const QCommandLineOption selfTest(
        "self-test",
        "Abre la ventana, la comprueba y termina (sin pantalla, en la plataforma offscreen).");
    const QCommandLineOption screenshot(
        "screenshot", "Guarda una imagen de la ventana en ARCHIVO y termina.", "ARCHIVO");
    const QList<QCommandLineOption> options{help, helpAll, programDir, selfTest, screenshot};
    parser.addOptions(options);
    if (!parser.parse(WithoutToolkitOptions(arguments))) {
        std::cerr << ArgumentError(parser) << "\n" << kHelpHint << '\n';
        return 2;
    }
    if (parser.isSet(help) || parser.isSet(helpAll)) {
        std::cout << HelpText(options, argv[0], parser.isSet(helpAll));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::cerr << "Sobra este argumento: " << parser.positionalArguments().first().toStdString()
                  << "\n"
                  << kHelpHint << '\n';
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
        // Not given, it came from the variable or the default: say how it was chosen.
        if (parser.isSet(programDir))
            std::cerr << "--program-dir: " << e.description() << '\n';
        else
            std::cerr << "La carpeta del programa no está en ninguna unidad: " << e.description()
                      << "\n"
                      << actualiz::platform::ProgramFolderRule() << '\n';
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
