#include "app/Host.h"

#include <ostream>

#include "app/Controls.h"

namespace actualiz::app {

Host::~Host() = default;

const char* IconName(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Critical:
            return "critical";
        case MsgIcon::Information:
            return "information";
        case MsgIcon::None:
            return "none";
    }
    return "none";
}

void RecordingHost::MsgBox(const std::string& text, MsgIcon icon, const std::string& title) {
    messages_.push_back({text, icon, title});
    if (echo_) *echo_ << "MsgBox [" << IconName(icon) << "] " << title << ": " << text << '\n';
}

void RecordingHost::EndApplication() {
    ended_ = true;
    if (echo_) *echo_ << "End\n";
}

void RecordingHost::SetMousePointer(int pointer) {
    pointers_.push_back(pointer);
}

void RecordingHost::RefreshFrame(const Frame& frame) {
    ++refreshes_[frame.FullName()];
}

void RecordingHost::ShowError(const std::string& command, const Error& error) {
    errors_.push_back({command, error.number(), error.description()});
    if (echo_)
        *echo_ << "Error in " << command << ": " << error.number() << " " << error.description()
               << '\n';
}

}  // namespace actualiz::app
