#include "gui/WindowSystem.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QLibraryInfo>

namespace actualiz::gui {

namespace {

bool IsSocket(const QString& path) {
    struct stat info {};
    const QByteArray name = QFile::encodeName(path);
    return stat(name.constData(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// The folders the toolkit looks for platform plugins in, as it does: the ones named in the
// environment first, then its own.
QStringList PlatformPluginFolders() {
    QStringList folders;
    const QString platformPath = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
    if (!platformPath.isEmpty()) folders << platformPath;
    for (const QString& folder :
         qEnvironmentVariable("QT_PLUGIN_PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts))
        folders << folder + QStringLiteral("/platforms");
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
    return folders;
}

bool WaylandReachable() {
    // A compositor that handed its connection over (WAYLAND_SOCKET) is taken at its word.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_SOCKET")) return PlatformPluginInstalled("wayland");
    return WaylandSocketThere(qEnvironmentVariable("WAYLAND_DISPLAY"),
                              qEnvironmentVariable("XDG_RUNTIME_DIR")) &&
           PlatformPluginInstalled("wayland");
}

bool XReachable(const QString& display) {
    return XDisplayReachable(display) && PlatformPluginInstalled("xcb");
}

// Whether one platform of a choice such as "wayland;xcb" or "offscreen:fontengine=freetype"
// can start. Only the two that need a server are checked; the others need nothing outside the
// program.
bool CanStart(const QString& entry, const QString& display) {
    const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
    if (name == QStringLiteral("xcb")) return XReachable(display);
    if (name.startsWith(QStringLiteral("wayland"))) return WaylandReachable();
    return !name.isEmpty();
}

// The value of a toolkit option ("-platform NAME" or "-platform=NAME"), else the environment's.
QString OptionOrVariable(const QStringList& arguments, const QString& option,
                         const char* variable) {
    const QString joined = option + QLatin1Char('=');
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == option && i + 1 < arguments.size()) return arguments[i + 1];
        if (arguments[i].startsWith(joined)) return arguments[i].mid(joined.size());
    }
    return qEnvironmentVariable(variable);
}

}  // namespace

bool XDisplayReachable(const QString& display) {
    if (display.isEmpty()) return false;
    if (!display.startsWith(QLatin1Char(':')) && !display.startsWith(QStringLiteral("unix:")))
        return true;
    // ":1", ":1.0" and "unix:1" all name display 1.
    const QString number = display.section(QLatin1Char(':'), 1).section(QLatin1Char('.'), 0, 0);
    return IsSocket(QStringLiteral("/tmp/.X11-unix/X%1").arg(number));
}

bool WaylandSocketThere(const QString& waylandDisplay, const QString& runtimeDir) {
    const QString name = waylandDisplay.isEmpty() ? QStringLiteral("wayland-0") : waylandDisplay;
    if (QDir::isAbsolutePath(name)) return IsSocket(name);
    if (runtimeDir.isEmpty()) return false;
    return IsSocket(runtimeDir + QLatin1Char('/') + name);
}

bool PlatformPluginInstalled(const QString& name) {
    const QStringList pattern{QStringLiteral("libq%1*.so").arg(name)};
    for (const QString& folder : PlatformPluginFolders())
        if (!QDir(folder).entryList(pattern, QDir::Files).isEmpty()) return true;
    return false;
}

std::optional<QByteArray> ReachablePlatforms(const QStringList& arguments) {
    const QString requested =
        OptionOrVariable(arguments, QStringLiteral("-platform"), "QT_QPA_PLATFORM");
    const QString display = OptionOrVariable(arguments, QStringLiteral("-display"), "DISPLAY");
    if (!requested.isEmpty()) {
        // The user's choice stands when some platform of it can start; the toolkit tries them
        // in the order given.
        for (const QString& entry : requested.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (CanStart(entry, display)) return QByteArray();
        return std::nullopt;
    }
    // Left to itself, the toolkit tries one window system and aborts when that one is not
    // there, even with the other one at hand. It is given the ones that answer, the session's
    // own first.
    QByteArrayList reachable;
    const bool waylandSession =
        qEnvironmentVariable("XDG_SESSION_TYPE") == QStringLiteral("wayland");
    const bool wayland =
        (waylandSession || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) && WaylandReachable();
    if (wayland && waylandSession) reachable << "wayland";
    if (XReachable(display)) reachable << "xcb";
    if (wayland && !waylandSession) reachable << "wayland";
    if (reachable.isEmpty()) return std::nullopt;
    return reachable.join(';');
}

}  // namespace actualiz::gui
