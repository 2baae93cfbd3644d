#include "cli/FormRunner.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <iostream>

#include "app/ErrorModes.h"
#include "app/Inventory.h"
#include "platform/FileSystem.h"

namespace actualiz::cli {

using app::ControlKind;

namespace {

const app::ControlDesign* DesignOf(const std::string& fullName) {
    std::string name;
    int index = -1;
    if (!app::ParseFullName(fullName, name, index)) return nullptr;
    return app::FindDesign(name, index);
}

// "NAME=VALUE" -> (NAME, VALUE); the value may itself hold "=".
std::pair<std::string, std::string> SplitAssignment(const std::string& verb,
                                                    const std::string& word) {
    auto eq = word.find('=');
    if (eq == std::string::npos || eq == 0)
        throw UsageError(verb + " espera NOMBRE=VALOR y ha recibido \"" + word + "\"");
    return {word.substr(0, eq), word.substr(eq + 1)};
}

const app::ControlDesign& RequireControl(const std::string& verb, const std::string& name) {
    const app::ControlDesign* design = DesignOf(name);
    if (!design) throw UsageError(verb + ": la ventana no tiene ningún control \"" + name + "\"");
    return *design;
}

void RequireKind(const std::string& verb, const app::ControlDesign& design,
                 std::initializer_list<ControlKind> kinds) {
    for (ControlKind kind : kinds)
        if (design.kind == kind) return;
    throw UsageError(verb + ": " + design.FullName() + " es un " +
                     std::string(KindName(design.kind)) + ", al que no se aplica " + verb);
}

}  // namespace

std::vector<FormStep> ParseFormSteps(const std::vector<std::string>& words) {
    std::vector<FormStep> steps;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& verb = words[i];
        auto operand = [&]() -> const std::string& {
            if (i + 1 >= words.size()) throw UsageError(verb + " necesita un operando");
            return words[++i];
        };
        if (verb == "activate") {
            steps.push_back({FormStep::Verb::Activate, "", ""});
        } else if (verb == "dump") {
            steps.push_back({FormStep::Verb::Dump, "", ""});
        } else if (verb == "set") {
            auto [name, value] = SplitAssignment(verb, operand());
            RequireKind(verb, RequireControl(verb, name),
                        {ControlKind::TextBox, ControlKind::DirListBox, ControlKind::DriveListBox});
            steps.push_back({FormStep::Verb::Set, name, value});
        } else if (verb == "select") {
            auto [name, value] = SplitAssignment(verb, operand());
            RequireKind(verb, RequireControl(verb, name), {ControlKind::ListBox});
            int index = 0;
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), index);
            if (ec != std::errc{} || end != value.data() + value.size())
                throw UsageError("select: \"" + value + "\" no es una posición de la lista");
            steps.push_back({FormStep::Verb::Select, name, value});
        } else if (verb == "additem") {
            auto [name, value] = SplitAssignment(verb, operand());
            RequireKind(verb, RequireControl(verb, name), {ControlKind::ListBox});
            steps.push_back({FormStep::Verb::AddItem, name, value});
        } else if (verb == "clear") {
            const std::string& name = operand();
            RequireKind(verb, RequireControl(verb, name), {ControlKind::ListBox});
            steps.push_back({FormStep::Verb::Clear, name, ""});
        } else if (verb == "click") {
            const std::string& name = operand();
            RequireKind(verb, RequireControl(verb, name), {ControlKind::CommandButton});
            steps.push_back({FormStep::Verb::Click, name, ""});
        } else if (verb == "run") {
            const std::string& name = operand();
            if (!app::Actualiz::HasHandler(name))
                throw UsageError("run: la ventana no tiene ningún procedimiento \"" + name + "\"");
            steps.push_back({FormStep::Verb::Run, name, ""});
        } else {
            throw UsageError("paso desconocido \"" + verb + "\"");
        }
    }
    return steps;
}

nlohmann::json DumpForm(const app::Actualiz& form, const app::RecordingHost& host) {
    nlohmann::json controls = nlohmann::json::object();
    for (const app::Control* control : form.Controls()) {
        nlohmann::json c;
        c["kind"] = std::string(app::KindName(control->Kind()));
        c["visible"] = control->Visible();
        c["shown"] = form.IsShown(*control);
        c["left"] = control->Left();
        c["top"] = control->Top();
        c["width"] = control->Width();
        c["height"] = control->Height();
        c["container"] = control->Container();
        switch (control->Kind()) {
            case ControlKind::CommandButton:
                c["caption"] = static_cast<const app::CommandButton*>(control)->Caption();
                break;
            case ControlKind::Label:
                c["caption"] = static_cast<const app::Label*>(control)->Caption();
                break;
            case ControlKind::Frame: {
                auto* frame = static_cast<const app::Frame*>(control);
                c["caption"] = frame->Caption();
                c["refreshes"] = frame->Refreshes();
                break;
            }
            case ControlKind::TextBox:
                c["text"] = static_cast<const app::TextBox*>(control)->Text();
                break;
            case ControlKind::ListBox: {
                auto* list = static_cast<const app::ListBox*>(control);
                c["items"] = list->Items();
                c["listIndex"] = list->ListIndex();
                c["text"] = list->Text();
                break;
            }
            case ControlKind::ProgressBar: {
                auto* bar = static_cast<const app::ProgressBar*>(control);
                c["min"] = bar->Min();
                c["max"] = bar->Max();
                c["value"] = bar->Value();
                break;
            }
            case ControlKind::DirListBox:
                c["path"] = static_cast<const app::DirListBox*>(control)->Path();
                break;
            case ControlKind::DriveListBox:
                c["drive"] = static_cast<const app::DriveListBox*>(control)->Drive();
                break;
            case ControlKind::DataControl: {
                auto* data = static_cast<const app::DataControl*>(control);
                c["caption"] = data->Caption();
                c["databaseName"] = data->DatabaseName();
                c["recordSource"] = data->RecordSource();
                c["open"] = data->IsOpen();
                break;
            }
        }
        controls[control->FullName()] = std::move(c);
    }

    nlohmann::json messages = nlohmann::json::array();
    for (const auto& m : host.Messages())
        messages.push_back({{"text", m.text}, {"icon", app::IconName(m.icon)}, {"title", m.title}});
    nlohmann::json errors = nlohmann::json::array();
    for (const auto& e : form.Errors())
        errors.push_back(
            {{"command", e.command}, {"number", e.number}, {"description", e.description}});
    nlohmann::json skipped = nlohmann::json::array();
    for (const auto& s : form.Skipped())
        skipped.push_back({{"command", s.command},
                           {"database", s.database},
                           {"number", s.number},
                           {"description", s.description}});

    return {{"controls", std::move(controls)}, {"mousePointer", form.MousePointer()},
            {"messages", std::move(messages)}, {"errors", std::move(errors)},
            {"skipped", std::move(skipped)},   {"ended", form.Ended()}};
}

std::string ResolveProgramDir(const std::string& argument) {
    try {
        return platform::ResolveProgramFolder(argument);
    } catch (const Error& e) {
        throw UsageError("--program-dir: " + e.description());
    }
}

namespace {

// A step outside any command failed (a list position out of range, a folder that does not
// exist): recorded and shown like a command's failure, under the step's own name.
void RecordStepFailure(app::Actualiz& form, const std::string& step, const Error& error) {
    form.Errors().push_back({step, error.number(), error.description()});
    form.host().ShowError(step, error);
}

void RunStep(app::Actualiz& form, const FormStep& step) {
    switch (step.verb) {
        case FormStep::Verb::Activate:
            form.Run("Form_Activate");
            return;
        case FormStep::Verb::Click:
            form.Click(step.name);
            return;
        case FormStep::Verb::Run:
            form.Run(step.name);
            return;
        case FormStep::Verb::Dump:
            return;
        default:
            break;
    }
    std::string label;
    switch (step.verb) {
        case FormStep::Verb::Set:
            label = "set " + step.name;
            break;
        case FormStep::Verb::Select:
            label = "select " + step.name;
            break;
        case FormStep::Verb::AddItem:
            label = "additem " + step.name;
            break;
        default:
            label = "clear " + step.name;
            break;
    }
    try {
        app::Control* control = form.FindControl(step.name);
        switch (step.verb) {
            case FormStep::Verb::Set:
                if (auto* box = dynamic_cast<app::TextBox*>(control))
                    box->SetText(step.value);
                else if (auto* dir = dynamic_cast<app::DirListBox*>(control))
                    dir->SetPath(step.value);
                else if (auto* drive = dynamic_cast<app::DriveListBox*>(control))
                    drive->SetDrive(step.value);
                break;
            case FormStep::Verb::Select:
                dynamic_cast<app::ListBox&>(*control).SetListIndex(std::stoi(step.value));
                break;
            case FormStep::Verb::AddItem:
                dynamic_cast<app::ListBox&>(*control).AddItem(step.value);
                break;
            default:
                dynamic_cast<app::ListBox&>(*control).Clear();
                break;
        }
    } catch (const app::ApplicationEnded&) {
    } catch (const Error& e) {
        RecordStepFailure(form, label, e);
    } catch (const std::exception& e) {
        RecordStepFailure(form, label, app::GenericError(e));
    }
}

}  // namespace

int RunForm(const std::string& programFolder, const std::vector<FormStep>& steps, std::ostream& out,
            std::ostream& err) {
    app::RecordingHost host(&err);
    app::Actualiz form(host, programFolder);
    for (const FormStep& step : steps) {
        if (step.verb == FormStep::Verb::Dump) {
            out << DumpForm(form, host).dump(2) << '\n';
            out.flush();
            continue;
        }
        // Once the program has ended nothing more runs; only dumps still report the state.
        if (form.Ended()) continue;
        RunStep(form, step);
    }
    return 0;
}

void AddFormCommand(CLI::App& app) {
    auto* form = app.add_subcommand(
        "form",
        "La ventana principal sin pantalla: los PASOS, en orden, sobre un formulario nuevo.\n"
        "Pasos: activate | set NOMBRE=TEXTO | select NOMBRE=POSICIÓN | additem NOMBRE=TEXTO |\n"
        "       clear NOMBRE | click NOMBRE | run PROCEDIMIENTO | dump\n"
        "dump escribe JSON en la salida estándar; los mensajes (respondidos con Aceptar) y los\n"
        "fallos se repiten en la salida de errores.");
    auto programDir = std::make_shared<std::string>();
    form->add_option(
        "--program-dir", *programDir,
        "Carpeta del programa, la que contiene \"modelos\" (ruta Windows o del sistema)");
    // Everything from the first step on belongs to the steps, even words that start with "-".
    form->prefix_command();
    form->callback([form, programDir] {
        std::vector<FormStep> steps;
        std::string folder;
        try {
            steps = ParseFormSteps(form->remaining());
            if (steps.empty()) throw UsageError("form necesita al menos un paso");
            folder = ResolveProgramDir(*programDir);
        } catch (const UsageError& e) {
            throw CLI::ValidationError("form", e.what());
        }
        int status = RunForm(folder, steps, std::cout, std::cerr);
        if (status != 0) throw CLI::RuntimeError(status);
    });
}

}  // namespace actualiz::cli
