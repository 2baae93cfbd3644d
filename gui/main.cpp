// actualiz: the window. Options:
//   --program-dir PATH   folder standing in for the program's folder (Windows or host path); the
//                        models are read from its "modelos" subfolder
//   --self-test          opens the window, lets the form activate, checks what the user sees and
//                        quits (status 0 when the window came up as designed)
//   --screenshot FILE    opens the window, lets the form activate, saves an image of it, quits
#include <cstdio>
#include <iostream>

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>

#include "gui/MainWindow.h"
#include "platform/FileSystem.h"

namespace {

// Without a user to answer them, message boxes are written on standard error.
void PrintMessage(QMessageBox::Icon, const QString& title, const QString& text) {
    std::cerr << title.toStdString() << ": " << text.toStdString() << '\n';
}

}  // namespace

int main(int argc, char** argv) {
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
    if (!parser.parse(arguments)) {
        std::cerr << parser.errorText().toStdString() << '\n';
        return 2;
    }
    if (parser.isSet("help")) {
        std::cout << parser.helpText().toStdString();
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::cerr << "unexpected argument: " << parser.positionalArguments().first().toStdString()
                  << '\n';
        return 2;
    }

    // The self-test checks that the program starts; it needs no screen for that.
    if (parser.isSet(selfTest) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

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
    if (parser.isSet(selfTest)) {
        QObject::connect(&window, &actualiz::gui::MainWindow::activated, &window, [&] {
            const QStringList expected{"Drive1", "Dir1", "Command14", "Command27"};
            QStringList shown = window.ShownControls();
            shown.sort();
            QStringList wanted = expected;
            wanted.sort();
            if (shown != wanted) {
                std::cerr << "self-test: the window shows " << shown.join(", ").toStdString()
                          << " instead of " << wanted.join(", ").toStdString() << '\n';
                status = 1;
            } else {
                std::cout << "self-test: window \"" << window.windowTitle().toStdString()
                          << "\" shows " << shown.join(", ").toStdString() << '\n';
            }
            window.close();
        });
    } else if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        QObject::connect(&window, &actualiz::gui::MainWindow::activated, &window, [&] {
            if (!window.grab().save(file)) {
                std::cerr << "cannot write " << file.toStdString() << '\n';
                status = 1;
            }
            window.close();
        });
    }

    window.show();
    int result = QApplication::exec();
    return status != 0 ? status : result;
}
