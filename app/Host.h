#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace actualiz::app {

class Frame;

enum class MsgIcon { None, Critical, Information };

// The form's MousePointer values.
inline constexpr int kDefaultPointer = 0;
inline constexpr int kHourglassPointer = 11;

// What the form asks of its surroundings. The Qt window implements it with real message boxes
// and repaints; the headless runner and the tests use RecordingHost. Every call returns only
// once the surroundings have done what was asked (a message box returns when dismissed).
class Host {
  public:
    virtual ~Host();

    // A plain message box with an OK button.
    virtual void MsgBox(const std::string& text, MsgIcon icon, const std::string& title) = 0;
    // The program ends: the view closes.
    virtual void EndApplication() = 0;
    // kDefaultPointer or kHourglassPointer.
    virtual void SetMousePointer(int pointer) = 0;
    // Repaint the frame and everything in it now, without waiting for the message loop.
    virtual void RefreshFrame(const Frame& frame) = 0;
    // A failure reached a command started by the user (or the loading of the form): show the
    // engine's number and text. The program goes on.
    virtual void ShowError(const std::string& command, const Error& error) = 0;
};

// Records everything and answers every message box with OK. Used by the headless runner and by
// the tests. When echo is set, messages and errors are also written there as they happen.
class RecordingHost : public Host {
  public:
    struct Message {
        std::string text;
        MsgIcon icon;
        std::string title;
    };
    struct ShownError {
        std::string command;
        int number;
        std::string description;
    };

    explicit RecordingHost(std::ostream* echo = nullptr) : echo_(echo) {}

    void MsgBox(const std::string& text, MsgIcon icon, const std::string& title) override;
    void EndApplication() override;
    void SetMousePointer(int pointer) override;
    void RefreshFrame(const Frame& frame) override;
    void ShowError(const std::string& command, const Error& error) override;

    const std::vector<Message>& Messages() const { return messages_; }
    const std::vector<ShownError>& ShownErrors() const { return errors_; }
    bool Ended() const { return ended_; }
    // Every pointer the form asked for, in order.
    const std::vector<int>& PointerChanges() const { return pointers_; }
    // Repaint requests per frame full name ("Frame13").
    const std::map<std::string, int>& FrameRefreshes() const { return refreshes_; }
    void SetEcho(std::ostream* echo) { echo_ = echo; }

  private:
    std::ostream* echo_;
    std::vector<Message> messages_;
    std::vector<ShownError> errors_;
    std::vector<int> pointers_;
    std::map<std::string, int> refreshes_;
    bool ended_ = false;
};

// "critical", "information", "none".
const char* IconName(MsgIcon icon);

}  // namespace actualiz::app
