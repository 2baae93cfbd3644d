#include <cctype>
#include <filesystem>
#include <system_error>

#include "app/Actualiz.h"
#include "app/ErrorModes.h"
#include "platform/FileSystem.h"

namespace actualiz::app {

namespace {

// The folder the process runs in, as a Windows path, for the folder controls before the form is
// activated. A process outside every mapped drive starts them at drive C's root.
std::string CurrentFolder() {
    std::error_code ec;
    auto cwd = std::filesystem::current_path(ec);
    if (!ec) {
        if (auto windows = platform::ToWindowsPath(cwd)) return *windows;
    }
    return Actualiz::kFallbackDataFolder;
}

bool IsDotEntry(const std::string& name) {
    return name == "." || name == "..";
}

}  // namespace

// Loading the window: wire the controls to the form and the host, and let the catalog data
// controls open their databases. The window has no load handler of its own, so a catalog that
// cannot be opened is only recorded and shown; the form opens all the same.
void Actualiz::Load() {
    for (Control* control : Controls()) {
        if (auto* frame = dynamic_cast<Frame*>(control))
            frame->SetRefreshHandler([this](const Frame& f) { host_.RefreshFrame(f); });
        if (auto* box = dynamic_cast<TextBox*>(control); box && !box->Design().dataSource.empty()) {
            auto* data = dynamic_cast<DataControl*>(FindControl(box->Design().dataSource));
            if (data) data->Bind(*box, std::string(box->Design().dataField));
        }
    }

    // Before activation the drive list shows the process's current drive and the directory list
    // its current folder.
    std::string folder = CurrentFolder();
    std::string drive = folder.substr(0, 2);
    if (!drive.empty())
        drive[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(drive[0])));
    Drive1.InitDrive(drive);
    Dir1.InitPath(folder);
    Drive1.SetChangeHandler([this] { Drive1_Change(); });
    Dir1.SetChangeHandler([this] { Dir1_Change(); });

    for (DataControl* data : {&Data3, &Data4, &Data5}) {
        try {
            data->Refresh();
        } catch (const Error& e) {
            RecordFailure("Form_Load", e);
        } catch (const std::exception& e) {
            RecordFailure("Form_Load", GenericError(e));
        }
    }
}

void Actualiz::Form_Activate() {
    // The program folder comes without a trailing backslash, except at a drive root, where the
    // pattern gets a doubled backslash; the file layer reads that as a single one.
    for (const std::string& name : platform::FindEntries(ModelPattern(programFolder_)))
        if (!IsDotEntry(name)) List7.AddItem(name);

    // Setting the path fills List6 through Dir1_Change before it returns. When the default data
    // folder is missing the list falls back to drive C's root, without a message.
    try {
        Dir1.SetPath(kDefaultDataFolder);
    } catch (const Error&) {
        Dir1.SetPath(kFallbackDataFolder);
    }
}

void Actualiz::Drive1_Change() {
    // Only the directory list moves; it then shows the drive's current folder.
    Dir1.SetPath(Drive1.Drive());
}

void Actualiz::Dir1_Change() {
    std::vector<std::string> entries = platform::FindEntries(OldDatabasePattern(Dir1.Path()));
    List6.Clear();
    for (const std::string& name : entries)
        if (!IsDotEntry(name)) List6.AddItem(name);
}

std::string Actualiz::ModelPattern(std::string_view programFolder) {
    return std::string(programFolder) + "\\modelos\\*.mdb";
}

std::string Actualiz::OldDatabasePattern(std::string_view dataFolder) {
    // A drive root already ends with a backslash; adding another would search "c:\\*.mdb".
    if (!dataFolder.empty() && dataFolder.back() == '\\') return std::string(dataFolder) + "*.mdb";
    return std::string(dataFolder) + "\\*.mdb";
}

void Actualiz::Command14_Click() {
    End();
}

void Actualiz::Command1_Click() {}

void Actualiz::Command7_Click() {}

}  // namespace actualiz::app
