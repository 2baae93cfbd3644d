#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QStringList>
#include <QWidget>

#include "app/Actualiz.h"
#include "gui/Busy.h"
#include "gui/FocusChain.h"
#include "gui/QtHost.h"

namespace actualiz::gui {

// The window of the form Actualiz. It draws every control of the inventory at its design place
// and forwards what the user does to the form; it keeps no state of its own. After each thing
// the form runs (a click, a change of drive or folder, the activation) it re-reads every control
// from the form and shows it again. While a command runs, the only repaints are the ones the
// command asks for through a frame's Refresh: the window never returns to the event loop
// during a command, exactly as the form expects.
class MainWindow : public QWidget {
    Q_OBJECT

  public:
    // programFolder: the program's folder as a Windows path (see Actualiz).
    explicit MainWindow(const std::string& programFolder, QWidget* parent = nullptr);
    ~MainWindow() override;

    app::Actualiz& form() { return *form_; }
    QtHost& host() { return host_; }

    // The widget drawing a control ("Command27", "List1(3)"), nullptr for an unknown name.
    QWidget* WidgetFor(std::string_view fullName) const;
    // Names of the controls the user can see (and so use) in the client area as it is now.
    QStringList ShownControls() const;
    // Shows every control as the form holds it now.
    void Render();
    // Runs Form_Activate (once; the window does it when it is first shown), after showing the
    // failures recorded while loading.
    void Activate();
    bool Activated() const { return activated_; }
    // The lock the window takes on the data folder around every command the user starts.
    void SetDataFolderLock(DataFolderLock lock) { dataFolderLock_ = std::move(lock); }
    // How often a frame was repainted on the form's request (Frame.Refresh).
    int FrameRepaints(const std::string& frameName) const;

    // Twips to pixels on this window's screen.
    QRect ToPixels(int left, int top, int width, int height) const;
    QSize DesignClientSize() const;

  signals:
    // Emitted once Form_Activate has run and the window shows its result.
    void activated();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct View {
        app::Control* control;
        QWidget* widget;
    };

    void Build();
    QWidget* MakeWidget(app::Control& control, QWidget* parent);
    // The widgets that forward what the user does to the form.
    QWidget* MakeButton(app::CommandButton& control, QWidget* parent);
    QWidget* MakeList(app::ListBox& box, QWidget* parent);
    QWidget* MakeTextBox(app::TextBox& box, QWidget* parent);
    QWidget* MakeDriveList(QWidget* parent);
    QWidget* MakeDirList(QWidget* parent);
    void RenderControl(const View& view);
    // A frame's Refresh: show the frame's controls as the form holds them and paint at once.
    void RepaintFrame(const app::Frame& frame);
    bool IsInside(const app::Control& control, const app::Frame& frame) const;
    // Something the user did to a control outside any command (choosing a drive, opening a
    // folder): a failure that reaches it is recorded and shown under the event's name, like a
    // command's, and the program goes on. Returns whether it succeeded.
    bool UserEvent(const std::string& event, const std::function<void()>& action);
    // A click on a button (by mouse or key): the command runs with the busy pointer, under the
    // data folder lock, and what the user does meanwhile is thrown away when it returns.
    void RunButton(const std::string& name);
    // After the activation: the drive list shows the drive of the folder the folder list shows.
    void ShowDataFolderDrive();
    void OnEnd();

    QtHost host_;  // before the form, which keeps a reference to it
    std::unique_ptr<app::Actualiz> form_;
    std::vector<View> views_;
    std::map<std::string, QWidget*, std::less<>> widgets_;
    std::map<std::string, int> frameRepaints_;
    FocusChain focusChain_;
    DataFolderLock dataFolderLock_;
    bool rendering_ = false;  // the widgets' own change signals are ours, not the user's
    bool activationQueued_ = false;
    bool activated_ = false;
};

}  // namespace actualiz::gui
