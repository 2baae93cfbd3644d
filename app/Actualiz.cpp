#include "app/Actualiz.h"

#include <exception>
#include <utility>

#include "app/ErrorModes.h"
#include "catalogs/CatalogLock.h"
#include "platform/FileSystem.h"
#include "platform/FolderLock.h"

namespace actualiz::app {

// ---- The control store ----

namespace detail {

namespace {

std::unique_ptr<Control> MakeControl(const ControlDesign& design) {
    switch (design.kind) {
        case ControlKind::DriveListBox:
            return std::make_unique<DriveListBox>(design);
        case ControlKind::DirListBox:
            return std::make_unique<DirListBox>(design);
        case ControlKind::CommandButton:
            return std::make_unique<CommandButton>(design);
        case ControlKind::ListBox:
            return std::make_unique<ListBox>(design);
        case ControlKind::TextBox:
            return std::make_unique<TextBox>(design);
        case ControlKind::Label:
            return std::make_unique<Label>(design);
        case ControlKind::Frame:
            return std::make_unique<Frame>(design);
        case ControlKind::ProgressBar:
            return std::make_unique<ProgressBar>(design);
        case ControlKind::DataControl:
            return std::make_unique<DataControl>(design);
    }
    return nullptr;
}

}  // namespace

ControlStore::ControlStore() {
    for (const ControlDesign& design : Inventory()) controls_.push_back(MakeControl(design));
}

ControlStore::~ControlStore() = default;

Control* ControlStore::Find(std::string_view name, int index) const {
    for (const auto& control : controls_)
        if (control->Name() == name && control->Index() == index) return control.get();
    return nullptr;
}

}  // namespace detail

// ---- The form ----

Actualiz::Actualiz(Host& host, std::string programFolder)
    : store_(),
      Drive1(store_.Get<DriveListBox>("Drive1")),
      Dir1(store_.Get<DirListBox>("Dir1")),
      Command1(store_.Get<CommandButton>("Command1")),
      Command2(store_.Get<CommandButton>("Command2")),
      Command3(store_.Get<CommandButton>("Command3")),
      Command4(store_.Get<CommandButton>("Command4")),
      Command5(store_.Get<CommandButton>("Command5")),
      Command6(store_.Get<CommandButton>("Command6")),
      Command7(store_.Get<CommandButton>("Command7")),
      Command8(store_.Get<CommandButton>("Command8")),
      Command9(store_.Get<CommandButton>("Command9")),
      Command10(store_.Get<CommandButton>("Command10")),
      Command11(store_.Get<CommandButton>("Command11")),
      Command12(store_.Get<CommandButton>("Command12")),
      Command13(store_.Get<CommandButton>("Command13")),
      Command14(store_.Get<CommandButton>("Command14")),
      Command15(store_.Get<CommandButton>("Command15")),
      Command16(store_.Get<CommandButton>("Command16")),
      Command17(store_.Get<CommandButton>("Command17")),
      Command18(store_.Get<CommandButton>("Command18")),
      Command19(store_.Get<CommandButton>("Command19")),
      Command20(store_.Get<CommandButton>("Command20")),
      Command21(store_.Get<CommandButton>("Command21")),
      Command22(store_.Get<CommandButton>("Command22")),
      Command23(store_.Get<CommandButton>("Command23")),
      Command24(store_.Get<CommandButton>("Command24")),
      Command25(store_.Get<CommandButton>("Command25")),
      Command26(store_.Get<CommandButton>("Command26")),
      Command27(store_.Get<CommandButton>("Command27")),
      List2(store_.Get<ListBox>("List2")),
      List3(store_.Get<ListBox>("List3")),
      List4(store_.Get<ListBox>("List4")),
      List6(store_.Get<ListBox>("List6")),
      List7(store_.Get<ListBox>("List7")),
      List8(store_.Get<ListBox>("List8")),
      List10(store_.Get<ListBox>("List10")),
      List1(store_.Array<ListBox>("List1")),
      List5(store_.Array<ListBox>("List5")),
      List9(store_.Array<ListBox>("List9")),
      List11(store_.Array<ListBox>("List11")),
      Text2(store_.Get<TextBox>("Text2")),
      Text3(store_.Get<TextBox>("Text3")),
      Text4(store_.Get<TextBox>("Text4")),
      Text5(store_.Get<TextBox>("Text5")),
      Text1(store_.Array<TextBox>("Text1")),
      Text6(store_.Array<TextBox>("Text6")),
      campocon(store_.Array<TextBox>("campocon")),
      Label1(store_.Get<Label>("Label1")),
      Label2(store_.Get<Label>("Label2")),
      Label3(store_.Get<Label>("Label3")),
      Label4(store_.Get<Label>("Label4")),
      Label5(store_.Get<Label>("Label5")),
      Label6(store_.Get<Label>("Label6")),
      Label7(store_.Get<Label>("Label7")),
      Label8(store_.Get<Label>("Label8")),
      Bar1(store_.Get<ProgressBar>("Bar1")),
      Bar2(store_.Get<ProgressBar>("Bar2")),
      Bar3(store_.Get<ProgressBar>("Bar3")),
      Bar4(store_.Get<ProgressBar>("Bar4")),
      Bar5(store_.Get<ProgressBar>("Bar5")),
      Bar6(store_.Get<ProgressBar>("Bar6")),
      Frame3(store_.Get<Frame>("Frame3")),
      Frame4(store_.Get<Frame>("Frame4")),
      Frame5(store_.Get<Frame>("Frame5")),
      Frame6(store_.Get<Frame>("Frame6")),
      Frame7(store_.Get<Frame>("Frame7")),
      Frame8(store_.Get<Frame>("Frame8")),
      Frame9(store_.Get<Frame>("Frame9")),
      Frame10(store_.Get<Frame>("Frame10")),
      Frame12(store_.Get<Frame>("Frame12")),
      Frame13(store_.Get<Frame>("Frame13")),
      Frame1(store_.Array<Frame>("Frame1")),
      Frame2(store_.Array<Frame>("Frame2")),
      Frame11(store_.Array<Frame>("Frame11")),
      Data1(store_.Get<DataControl>("Data1")),
      Data2(store_.Get<DataControl>("Data2")),
      Data3(store_.Get<DataControl>("Data3")),
      Data4(store_.Get<DataControl>("Data4")),
      Data5(store_.Get<DataControl>("Data5")),
      host_(host),
      programFolder_(std::move(programFolder)) {
    Load();
}

Actualiz::~Actualiz() = default;

const std::string& Actualiz::Title() {
    static const std::string title = "Actualiz";
    return title;
}

void Actualiz::SetMousePointer(int pointer) {
    mousePointer_ = pointer;
    host_.SetMousePointer(pointer);
}

void Actualiz::End() {
    ended_ = true;
    // The catalogs and every other database the data controls hold are released before the
    // view goes away.
    for (DataControl* data : {&Data1, &Data2, &Data3, &Data4, &Data5}) data->Close();
    host_.EndApplication();
    throw ApplicationEnded{};
}

Control* Actualiz::FindControl(std::string_view fullName) const {
    std::string name;
    int index = -1;
    if (!ParseFullName(fullName, name, index)) return nullptr;
    return store_.Find(name, index);
}

std::vector<Control*> Actualiz::Controls() const {
    std::vector<Control*> out;
    for (const auto& control : store_.All()) out.push_back(control.get());
    return out;
}

bool Actualiz::IsShown(const Control& control) const {
    const Control* current = &control;
    while (current) {
        if (!current->Visible()) return false;
        if (current->Container().empty()) return true;
        current = FindControl(current->Container());
    }
    return true;
}

// ---- Dispatch ----

bool Actualiz::HasHandler(std::string_view handlerName) {
    return Handlers().find(handlerName) != Handlers().end();
}

void Actualiz::RecordFailure(const std::string& command, const Error& error) {
    errors_.push_back({command, error.number(), error.description()});
    host_.ShowError(command, error);
}

void Actualiz::NoteFailingCommand(const char* command) {
    if (failingCommand_.empty()) failingCommand_ = command;
}

std::string Actualiz::TakeFailingCommand() {
    return std::exchange(failingCommand_, std::string());
}

namespace {

// The runs over the data folder: the upgrade and the three fixed migrations. Each holds the data
// folder's lock while it works, so that two of them (in this window, another window or the
// command line) never interleave on the same databases.
bool RunsOverTheDataFolder(std::string_view command) {
    for (const char* run :
         {"Command13_Click", "Command25_Click", "Command26_Click", "Command27_Click"})
        if (command == run) return true;
    return false;
}

// The commands that work through the catalogs: the upgrade and the index, relation and query
// commands. Each holds the catalogs' lock while it works: the catalogs are one set for every data
// folder, so a run on another folder (in another window or on the command line) must not fill
// them in between.
bool WorksThroughTheCatalogs(std::string_view command) {
    for (const char* user :
         {"Command13_Click", "Command16_Click", "Command17_Click", "Command18_Click",
          "Command19_Click", "Command20_Click", "Command21_Click", "Command22_Click",
          "Command23_Click", "Command24_Click"})
        if (command == user) return true;
    return false;
}

// The data folder's lock, or nothing where the folder cannot be mapped (no run can use it).
std::unique_ptr<platform::FolderLock> LockFolder(const std::string& windowsFolder) {
    try {
        return std::make_unique<platform::FolderLock>(platform::ToHostPath(windowsFolder));
    } catch (const Error&) {
        return nullptr;
    }
}

}  // namespace

void Actualiz::Dispatch(const std::string& command, Handler handler) {
    std::unique_ptr<platform::FolderLock> lock;
    if (RunsOverTheDataFolder(command)) {
        lock = LockFolder(Dir1.Path());
        if (lock && !lock->Held()) {
            RecordFailure(command,
                          FolderInUse(Dir1.Path(), platform::FolderLock::Holder(
                                                       platform::ToHostPath(Dir1.Path()))));
            return;
        }
    }
    std::unique_ptr<platform::FolderLock> catalogLock;
    if (WorksThroughTheCatalogs(command)) {
        try {
            catalogLock = catalogs::LockCatalogs();
        } catch (const Error& e) {
            RecordFailure(command, e);
            return;
        }
    }
    TakeFailingCommand();
    try {
        (this->*handler)();
    } catch (const ApplicationEnded&) {
        // The program ended inside the command: nothing more of it runs.
    } catch (const Error& e) {
        RecordFailure(command, e);
    } catch (const std::exception& e) {
        RecordFailure(command, GenericError(e));
    }
    TakeFailingCommand();
}

void Actualiz::Click(std::string_view buttonName) {
    if (ended_) return;
    std::string command = std::string(buttonName) + "_Click";
    Control* control = FindControl(buttonName);
    if (!control || control->Kind() != ControlKind::CommandButton) {
        RecordFailure(command,
                      Error(err::kInvalidCall, "No existe el botón " + std::string(buttonName)));
        return;
    }
    // A hidden button is neither drawn nor clickable; its command only runs when another
    // command calls it.
    if (!IsShown(*control)) {
        RecordFailure(command, Error(err::kInvalidCall, "El botón " + std::string(buttonName) +
                                                            " está oculto y no se puede pulsar"));
        return;
    }
    auto it = Handlers().find(command);
    if (it == Handlers().end()) {
        RecordFailure(command, Error(err::kInvalidCall, "El botón " + std::string(buttonName) +
                                                            " no tiene orden asociada"));
        return;
    }
    Dispatch(command, it->second);
}

void Actualiz::Run(std::string_view handlerName) {
    if (ended_) return;
    std::string command(handlerName);
    auto it = Handlers().find(handlerName);
    if (it == Handlers().end()) {
        RecordFailure(command, Error(err::kInvalidCall, "No existe la orden " + command));
        return;
    }
    Dispatch(command, it->second);
}

}  // namespace actualiz::app
