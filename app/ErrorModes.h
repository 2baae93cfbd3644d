#pragma once

#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "app/Actualiz.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"

namespace actualiz::app {

// Number and text of a failure that is no actualiz::Error (a library's own exception): it is
// treated like the classic "internal error" (err::kInternal).
Error GenericError(const std::exception& e);

// Another run of this program holds the data folder's lock (platform::FolderLock): 3045, saying so
// and naming that run (holder, as platform::FolderLock::Holder tells it) when it is known.
Error FolderInUse(const std::string& dataFolder, const std::string& holder = "");

// Skip-on-error mode: every step of a command from a stated point on runs through one of these.
// A failing step is recorded in form.Skipped() (with the old database in Text4 at that moment)
// and passed over; execution goes on with the next step. A command called as a step that fails
// is abandoned at its failing step and the caller goes on after the call.
//
//     SkipOnError step(*this, "Command13_Click");
//     step([&] { Command6_Click(); });
//     step([&] { Command8_Click(); });
//
// Ending the program (ApplicationEnded) is no failure and passes through.
class SkipOnError {
  public:
    SkipOnError(Actualiz& form, std::string command) : form_(form), command_(std::move(command)) {}

    template <class Step>
    void operator()(Step&& step) {
        Run(std::forward<Step>(step), nullptr);
    }
    // The same for a step that works on another file than the old database in Text4 (the copy of
    // a new database): the record names that file.
    template <class Step>
    void operator()(Step&& step, const std::string& database) {
        Run(std::forward<Step>(step), &database);
    }

    // How many steps this runner has passed over.
    int Failures() const { return failures_; }

  private:
    template <class Step>
    void Run(Step&& step, const std::string* database) {
        // A failure some other handler swallowed must not lend its command to this step's.
        form_.TakeFailingCommand();
        try {
            std::forward<Step>(step)();
        } catch (const Error& e) {
            Record(e, database);
        } catch (const std::exception& e) {
            Record(GenericError(e), database);
        }
    }
    void Record(const Error& e, const std::string* database);

    Actualiz& form_;
    std::string command_;
    int failures_ = 0;
};

// Names a command for the failures that escape it: declared first in a command without error
// handling of its own, it notes the command on the form when a failure unwinds through it, so
// that the step that passes the failure over records the command that failed rather than its
// own name. The innermost command wins.
//
//     void Actualiz::Command18_Click() {
//         CommandScope scope(*this, "Command18_Click");
class CommandScope {
  public:
    CommandScope(Actualiz& form, const char* command)
        : form_(form), command_(command), pending_(std::uncaught_exceptions()) {}
    ~CommandScope() {
        if (std::uncaught_exceptions() > pending_) form_.NoteFailingCommand(command_);
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

  private:
    Actualiz& form_;
    const char* command_;
    int pending_;
};

// The object a reference stands for. A reference that was never set (its creation failed in a
// step that skip-on-error passed over) raises 91, so that the steps using it fail in turn, as
// they did in the classic program.
Error ObjectNotSet();  // 91 "Variable de objeto o de bloque With no establecida"

template <class T>
T& Require(const std::shared_ptr<T>& object) {
    if (!object) throw ObjectNotSet();
    return *object;
}

template <class T>
T& Require(const std::unique_ptr<T>& object) {
    if (!object) throw ObjectNotSet();
    return *object;
}

template <class T>
T& Require(T* object) {
    if (!object) throw ObjectNotSet();
    return *object;
}

}  // namespace actualiz::app
