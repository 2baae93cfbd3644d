#pragma once

#include <functional>
#include <memory>
#include <string>

namespace actualiz::gui {

// Taken on the data folder for as long as a command the user started runs; whatever it returns
// is released when the command returns. A lock that cannot be taken is reported by throwing
// actualiz::Error: the window then shows it and runs nothing. The window takes none until one is
// installed.
using DataFolderLock = std::function<std::shared_ptr<void>(const std::string& windowsFolder)>;

// Throws away the mouse and keyboard input that reached the program and was not yet handled:
// what the user did while a command kept the window from answering must not be replayed once it
// returns (a click on another button, keys landing in a text box). Whatever the window system
// still holds is fetched first, so nothing given before this call arrives later.
void DiscardPendingInput();

// Around one command the user started: the busy pointer from construction to destruction, and
// on destruction the input given meanwhile thrown away. Scopes nest (a message box shown inside
// a command does not end the busy state of the window).
class BusyScope {
  public:
    BusyScope();
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    // Whether some command started by the user is running now.
    static bool Active();

  private:
    static inline int depth_ = 0;
};

// While a message box is up inside a command, the pointer is the ordinary one over it, so that
// the user sees the box waits for an answer; the busy pointer comes back when it is closed.
class ArrowWhileAsking {
  public:
    ArrowWhileAsking();
    ~ArrowWhileAsking();
    ArrowWhileAsking(const ArrowWhileAsking&) = delete;
    ArrowWhileAsking& operator=(const ArrowWhileAsking&) = delete;

  private:
    bool pushed_ = false;
};

}  // namespace actualiz::gui
