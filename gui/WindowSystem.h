#pragma once

#include <optional>

#include <QByteArray>
#include <QStringList>

namespace actualiz::gui {

// Which window system the toolkit can start on, found out before the application object is made:
// the toolkit aborts the program with a message of its own when the one it tries cannot be
// reached, and the user is better told what to do instead.
//
// arguments: the program's command line, where "-platform NAME" chooses as QT_QPA_PLATFORM does.
// Returns nothing when no window system can be reached. Otherwise the platforms to try, in order,
// as QT_QPA_PLATFORM takes them ("wayland;xcb"); an empty list when the user's own choice
// (QT_QPA_PLATFORM or -platform) is left to the toolkit as it stands.
std::optional<QByteArray> ReachablePlatforms(const QStringList& arguments);

// Whether the X display named like $DISPLAY answers here: a local one (":1", ":1.0", "unix:1")
// has its socket in /tmp/.X11-unix; one elsewhere ("host:0") is left to the toolkit to try.
bool XDisplayReachable(const QString& display);
// Whether the Wayland compositor named like $WAYLAND_DISPLAY (a socket name in runtimeDir, or an
// absolute path; "wayland-0" when empty) has its socket.
bool WaylandSocketThere(const QString& waylandDisplay, const QString& runtimeDir);
// Whether the toolkit has the platform plugin ("xcb", "wayland") installed.
bool PlatformPluginInstalled(const QString& name);

}  // namespace actualiz::gui
