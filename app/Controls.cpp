#include "app/Controls.h"

#include <cctype>
#include <unordered_set>

#include "platform/FileSystem.h"

namespace actualiz::app {

Error InvalidPropertyValue() {
    return Error(err::kInvalidPropertyValue, "El valor de la propiedad no es válido");
}

Error ControlArrayElementMissing() {
    return Error(err::kArrayElementMissing, "El elemento de la matriz de controles no existe");
}

// ---- Control ----

Control::Control(const ControlDesign& design)
    : design_(design), name_(design.name), container_(design.container) {}

Control::~Control() = default;

// ---- ListBox ----

void ListBox::AddItem(std::string item) {
    if (ListCount() >= kMaxCount) throw Error(err::kOverflow, "Desbordamiento");
    items_.push_back(std::move(item));
}

void ListBox::RemoveItem(int index) {
    if (index < 0 || index >= ListCount())
        throw Error(err::kInvalidCall, "Llamada a procedimiento o argumento no válidos");
    items_.erase(items_.begin() + index);
    // The selection follows its entry; removing the selected entry leaves nothing selected.
    if (listIndex_ == index)
        listIndex_ = -1;
    else if (listIndex_ > index)
        --listIndex_;
}

void ListBox::Clear() {
    items_.clear();
    listIndex_ = -1;
}

void ListBox::SetListIndex(int index) {
    if (index < -1 || index >= ListCount()) throw InvalidPropertyValue();
    listIndex_ = index;
}

std::string ListBox::Text() const {
    if (listIndex_ < 0) return {};
    return items_[static_cast<size_t>(listIndex_)];
}

void AddEntriesNotIn(ListBox& names, ListBox& others, ListBox& missing) {
    // Looked up in a set of others' entries, so that thousands of tables on each side cost no
    // more than reading both lists; the lists end up as a scan of others for each entry leaves
    // them.
    const std::unordered_set<std::string_view> present(others.Items().begin(),
                                                       others.Items().end());
    for (int i = 0; i < names.ListCount(); ++i) {
        names.SetListIndex(i);
        if (others.ListCount() > 0) others.SetListIndex(others.ListCount() - 1);
        const std::string& name = names.Items()[static_cast<std::size_t>(i)];
        if (!present.contains(name)) missing.AddItem(name);
    }
}

// ---- TextBox, Label ----

TextBox::TextBox(const ControlDesign& design) : Control(design), text_(design.text) {}

Label::Label(const ControlDesign& design) : Control(design), caption_(design.text) {}

// ---- Frame ----

void Frame::Refresh() {
    ++refreshes_;
    if (onRefresh_) onRefresh_(*this);
}

// ---- DriveListBox ----

void DriveListBox::SetDrive(std::string drive) {
    if (!platform::HasDriveLetter(drive)) throw platform::DeviceUnavailable(drive);
    std::string letter{static_cast<char>(std::tolower(static_cast<unsigned char>(drive[0]))), ':'};
    bool known = false;
    for (const std::string& d : platform::Drives())
        if (d == letter) known = true;
    if (!known) throw platform::DeviceUnavailable(letter);
    drive_ = letter;
    if (onChange_) onChange_();
}

std::vector<std::string> DriveListBox::List() const {
    return platform::Drives();
}

// ---- DirListBox ----

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The path the list would show for a text given to Path: absolute, with single backslashes,
// "." and ".." resolved, no trailing backslash except at the drive root. A bare drive ("c:")
// stands for the drive's current folder, which is its root in this program.
std::string CanonicalFolder(std::string_view requested, const std::string& current) {
    std::string drive;
    std::string_view rest;
    std::vector<std::string> parts;
    if (platform::HasDriveLetter(requested)) {
        drive = std::string(requested.substr(0, 2));
        rest = requested.substr(2);
    } else {
        // Relative to the folder shown now ("sub", "..", "\\otra" from the current drive).
        if (!platform::HasDriveLetter(current)) return std::string(requested);
        drive = current.substr(0, 2);
        rest = requested;
        if (rest.empty() || !IsSeparator(rest.front())) {
            std::string_view base = std::string_view(current).substr(2);
            size_t start = 0;
            while (start < base.size()) {
                size_t end = start;
                while (end < base.size() && !IsSeparator(base[end])) ++end;
                if (end > start) parts.emplace_back(base.substr(start, end - start));
                start = end + 1;
            }
        }
    }
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = start;
        while (end < rest.size() && !IsSeparator(rest[end])) ++end;
        std::string_view part = rest.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    std::string out = drive + "\\";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += '\\';
        out += parts[i];
    }
    return out;
}

std::string Pattern(const std::string& folder, std::string_view name) {
    if (!folder.empty() && folder.back() == '\\') return folder + std::string(name);
    return folder + "\\" + std::string(name);
}

}  // namespace

void DirListBox::SetPath(std::string path) {
    std::string folder = CanonicalFolder(path, path_);
    if (!platform::HasDriveLetter(folder) || !platform::DirectoryExists(folder))
        throw platform::PathNotFound(path);
    path_ = std::move(folder);
    // Notified even when the folder is the one already shown: the form counts on every set
    // refilling the list of old databases.
    if (onChange_) onChange_();
}

std::vector<std::string> DirListBox::Subfolders() const {
    std::vector<std::string> out;
    if (path_.empty()) return out;
    for (std::string& name : platform::FindEntries(Pattern(path_, "*"))) {
        if (name == "." || name == "..") continue;
        if (platform::DirectoryExists(Pattern(path_, name))) out.push_back(std::move(name));
    }
    return out;
}

}  // namespace actualiz::app
