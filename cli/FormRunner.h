#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Actualiz.h"
#include "app/Host.h"

namespace CLI {
class App;
}

namespace actualiz::cli {

// One step of `actualiz-cli form`.
struct FormStep {
    enum class Verb { Activate, Set, Select, AddItem, Clear, Click, Run, Dump };
    Verb verb;
    std::string name;   // control (full name, "List1(3)"), button or handler
    std::string value;  // text for set/additem, position for select
};

// Wrong arguments of the form runner (exit status 2).
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Parses the step words ("activate", "set", "Text4=c:\\x.mdb", ...) and checks every control and
// handler name against the form before anything runs. Throws UsageError.
std::vector<FormStep> ParseFormSteps(const std::vector<std::string>& words);

// The form's state as one JSON object: "controls" keyed by full control name, then
// "mousePointer", "messages", "errors" (the form's Errors()) and "ended".
nlohmann::json DumpForm(const app::Actualiz& form, const app::RecordingHost& host);

// --program-dir: a Windows path is taken as it is (without a trailing backslash, except at a
// drive root), a host path is turned into the Windows path of that folder. Empty: the folder of
// the running program. Throws UsageError when the path cannot be used.
std::string ResolveProgramDir(const std::string& argument);

// Runs the steps on a fresh form. Dumps go to out; message boxes and failures are echoed to err
// as they happen. Ending the application stops the remaining steps, except that a final "dump"
// still prints. Returns the exit status: 0 (failures of commands are data, not a wrong use).
int RunForm(const std::string& programFolder, const std::vector<FormStep>& steps, std::ostream& out,
            std::ostream& err);

// Registers the "form" subcommand.
void AddFormCommand(CLI::App& app);

}  // namespace actualiz::cli
