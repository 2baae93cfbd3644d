#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/Inventory.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"

namespace actualiz::engine {
class Database;
class Recordset;
}  // namespace actualiz::engine

namespace actualiz::app {

Error InvalidPropertyValue();        // 380
Error ControlArrayElementMissing();  // 340

// What every control has: its identity and its design placement. Placement never changes at
// run time, and nothing changes a control's visibility either.
class Control {
  public:
    explicit Control(const ControlDesign& design);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& Name() const { return name_; }
    int Index() const { return design_.index; }  // -1 when the control is no array element
    std::string FullName() const { return design_.FullName(); }
    ControlKind Kind() const { return design_.kind; }
    // Caption or initial text as designed.
    std::string_view DesignText() const { return design_.text; }
    // Full name of the enclosing frame, "" for a control placed on the window itself.
    const std::string& Container() const { return container_; }
    int Left() const { return design_.left; }
    int Top() const { return design_.top; }
    int Width() const { return design_.width; }
    int Height() const { return design_.height; }
    // The control's own visible flag; a control inside a hidden frame is not shown either
    // (see Actualiz::IsShown).
    bool Visible() const { return design_.visible; }
    const ControlDesign& Design() const { return design_; }

  private:
    const ControlDesign& design_;
    std::string name_;
    std::string container_;
};

// An unsorted list box: entries stay in the order they were added.
class ListBox : public Control {
  public:
    using Control::Control;

    // The classic list count is a signed 16-bit number; rather than wrap, the list refuses
    // to grow beyond what it can count (error 6).
    static constexpr int kMaxCount = 32767;

    void AddItem(std::string item);
    // Removes the entry at a 0-based position; a position outside the list raises error 5.
    void RemoveItem(int index);
    void Clear();
    int ListCount() const { return static_cast<int>(items_.size()); }
    // -1 when no entry is selected.
    int ListIndex() const { return listIndex_; }
    // -1 deselects; any other position outside the list raises 380.
    void SetListIndex(int index);
    // Text of the selected entry, "" when none is selected.
    std::string Text() const;
    const std::vector<std::string>& Items() const { return items_; }

  private:
    std::vector<std::string> items_;
    int listIndex_ = -1;
};

// Adds to missing every entry of names that others lacks, compared exactly (letter case
// included), in the order of names. Each entry of names is selected in turn, and others is scanned
// to its end every time (it is left on its last entry): the commands that compare two listings
// leave both lists that way.
void AddEntriesNotIn(ListBox& names, ListBox& others, ListBox& missing);

class TextBox : public Control {
  public:
    explicit TextBox(const ControlDesign& design);

    const std::string& Text() const { return text_; }
    void SetText(std::string text) {
        text_ = std::move(text);
        dataChanged_ = true;
    }
    // Bound text boxes: whether the text was written since the data control last showed a row.
    // Only changed boxes are saved into the row, as with the classic data control.
    bool DataChanged() const { return dataChanged_; }
    // Shows a row's value without marking the box as changed (used by the data control).
    void ShowValue(std::string text) {
        text_ = std::move(text);
        dataChanged_ = false;
    }

  private:
    std::string text_;
    bool dataChanged_ = false;
};

class Label : public Control {
  public:
    explicit Label(const ControlDesign& design);

    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption) { caption_ = std::move(caption); }
    Alignment Align() const { return Design().alignment; }

  private:
    std::string caption_;
};

class CommandButton : public Control {
  public:
    using Control::Control;

    std::string Caption() const { return std::string(DesignText()); }
    // The handler a click runs: "Command13_Click".
    std::string HandlerName() const { return Name() + "_Click"; }
};

// A frame groups controls. Refresh repaints it and everything in it at once: commands never
// return to the message loop while they run, so this is the only way progress becomes visible.
class Frame : public Control {
  public:
    using Control::Control;

    std::string Caption() const { return std::string(DesignText()); }
    // Asks the view to repaint this frame now (through the handler the form installs) and
    // counts the request.
    void Refresh();
    int Refreshes() const { return refreshes_; }
    void SetRefreshHandler(std::function<void(const Frame&)> handler) {
        onRefresh_ = std::move(handler);
    }

  private:
    int refreshes_ = 0;
    std::function<void(const Frame&)> onRefresh_;
};

// The common-controls progress bar: Min, Max and Value are single-precision numbers. A Max of
// 0 is accepted (a command counting an empty list sets it); the view shows that as an empty bar.
// Values are stored as written, not clamped: the commands always write a value within the range
// they set, and a view clamps what it draws.
class ProgressBar : public Control {
  public:
    using Control::Control;

    float Min() const { return min_; }
    float Max() const { return max_; }
    float Value() const { return value_; }
    void SetMax(float max) { max_ = max; }
    void SetValue(float value) { value_ = value; }

  private:
    float min_ = 0.0f;
    float max_ = 100.0f;
    float value_ = 0.0f;
};

// The drive list. Drive() is the drive as "c:" (lower case, the way the classic list reports
// it). Setting it to another drive raises the change notification (Drive1_Change).
class DriveListBox : public Control {
  public:
    using Control::Control;

    const std::string& Drive() const { return drive_; }
    // Accepts "c:", "C:", "c:\" or a longer path (its drive counts). A drive the system does
    // not have raises 68. The change notification runs before this returns, on every set, so
    // that choosing a drive always re-reads its folder.
    void SetDrive(std::string drive);
    // Sets the drive without notifying: used once, when the form loads.
    void InitDrive(std::string drive) { drive_ = std::move(drive); }
    // The drives the list offers.
    std::vector<std::string> List() const;
    void SetChangeHandler(std::function<void()> handler) { onChange_ = std::move(handler); }

  private:
    std::string drive_;
    std::function<void()> onChange_;
};

// The directory list. Path() is a Windows path without a trailing backslash, except at a drive
// root ("c:\").
class DirListBox : public Control {
  public:
    using Control::Control;

    const std::string& Path() const { return path_; }
    // Sets the path: absolute ("c:\datos"), a bare drive ("c:", meaning that drive's current
    // folder) or relative to the current path ("sub", ".."). A folder that does not exist raises
    // 76 and leaves Path unchanged. Otherwise the change notification (Dir1_Change) runs
    // synchronously, before this returns, and it runs ALSO when the new path is the one the list
    // already shows: the form relies on that so that List6 is filled at start-up even when the
    // process was started in the default data folder.
    void SetPath(std::string path);
    // Sets the path without notifying: used once, when the form loads.
    void InitPath(std::string path) { path_ = std::move(path); }
    // Names of the subfolders of the current path, in the file system's order, without "." and
    // "..": what the list shows below the current folder.
    std::vector<std::string> Subfolders() const;
    void SetChangeHandler(std::function<void()> handler) { onChange_ = std::move(handler); }

  private:
    std::string path_;
    std::function<void()> onChange_;
};

// The data control: opens a database and a record source and keeps the text boxes bound to it
// showing the fields of the current row; on Update the bound texts are written into the row.
class DataControl : public Control {
  public:
    explicit DataControl(const ControlDesign& design);
    ~DataControl() override;

    std::string Caption() const { return std::string(DesignText()); }
    const std::string& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(std::string name) { databaseName_ = std::move(name); }
    const std::string& RecordSource() const { return recordSource_; }
    void SetRecordSource(std::string source) { recordSource_ = std::move(source); }

    // Opens the database and the record source now set and stands on the first row; the bound
    // text boxes then show that row (or are emptied when there is none). A failure leaves the
    // data control as it was before and propagates.
    void Refresh();
    bool IsOpen() const { return static_cast<bool>(recordset_); }
    // The open record set; raises 91 when nothing is open yet.
    engine::Recordset& Recordset() const;
    engine::Database& Database() const;
    // Writes the bound text boxes into the current (or new) row, as the data control does when
    // a row is saved. Raises 91 when nothing is open.
    void UpdateRecord();
    // Releases the record set and the database.
    void Close();

    // Binds a text box to a field of the record source.
    void Bind(TextBox& box, std::string field);
    struct Binding {
        TextBox* box;
        std::string field;
    };
    const std::vector<Binding>& Bindings() const { return bindings_; }

  private:
    void ShowCurrentRow();
    void WriteBoundFields();
    void InstallHooks();

    std::string databaseName_;
    std::string recordSource_;
    std::shared_ptr<engine::Database> database_;
    std::shared_ptr<engine::Recordset> recordset_;
    std::vector<Binding> bindings_;
};

// A control array: elements by index, which need not be contiguous (List11 has 0, 1 and 3).
template <class T>
class ControlArray {
  public:
    explicit ControlArray(std::string name) : name_(std::move(name)) {}

    void Add(int index, T& element) { elements_[index] = &element; }

    // The element with that index; a missing one raises 340.
    T& operator()(int index) const {
        auto it = elements_.find(index);
        if (it == elements_.end()) throw ControlArrayElementMissing();
        return *it->second;
    }
    bool Exists(int index) const { return elements_.count(index) != 0; }
    int Count() const { return static_cast<int>(elements_.size()); }
    std::vector<int> Indices() const {
        std::vector<int> out;
        for (const auto& [index, element] : elements_) out.push_back(index);
        return out;
    }
    int LBound() const { return elements_.empty() ? 0 : elements_.begin()->first; }
    int UBound() const { return elements_.empty() ? -1 : elements_.rbegin()->first; }
    const std::string& Name() const { return name_; }

  private:
    std::string name_;
    std::map<int, T*> elements_;
};

}  // namespace actualiz::app
