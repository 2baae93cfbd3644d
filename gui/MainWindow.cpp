#include "gui/MainWindow.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTimer>

#include "app/ErrorModes.h"
#include "app/FixedMigrations.h"
#include "app/StartupReport.h"
#include "gui/AccessibleNames.h"
#include "gui/Busy.h"
#include "gui/DirList.h"
#include "gui/Look.h"
#include "gui/Twips.h"

namespace actualiz::gui {

namespace {

// Progress bars draw in steps of a thousandth: the form's Max and Value are single-precision
// numbers of any size, the widget's are integers.
constexpr int kBarSteps = 1000;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The classic data control: its caption between the record arrows. The user never moves
// through the catalogs; the arrows only say what the box is.
QString DataCaption(const app::DataControl& data) {
    return QStringLiteral("|◀ ◀  %1  ▶ ▶|").arg(Q(data.Caption()));
}

int BarPosition(const app::ProgressBar& bar) {
    // A Max of 0 (a command counting an empty list) or below Min shows an empty bar.
    double span = static_cast<double>(bar.Max()) - bar.Min();
    if (span <= 0) return 0;
    double fraction = (static_cast<double>(bar.Value()) - bar.Min()) / span;
    return static_cast<int>(std::clamp(fraction, 0.0, 1.0) * kBarSteps + 0.5);
}

// ---- Widgets that need nothing of the window ----

QWidget* MakeLabel(const app::Label& control, QWidget* parent) {
    auto* label = new QLabel(parent);
    switch (control.Align()) {
        case app::Alignment::Left:
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            break;
        case app::Alignment::Right:
            label->setAlignment(Qt::AlignRight | Qt::AlignTop);
            break;
        case app::Alignment::Center:
            label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
            break;
    }
    return label;
}

QWidget* MakeBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, kBarSteps);
    bar->setTextVisible(false);
    return bar;
}

QWidget* MakeDataBox(const app::DataControl& control, QWidget* parent) {
    auto* label = new QLabel(DataCaption(control), parent);
    label->setFrameShape(QFrame::Box);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// ---- Showing one control as the form holds it; each touches its widget only on a change ----

void ShowList(const app::ListBox& box, QListWidget* list) {
    const auto& items = box.Items();
    bool same = list->count() == static_cast<int>(items.size());
    for (int i = 0; same && i < list->count(); ++i)
        same = list->item(i)->text() == Q(items[static_cast<size_t>(i)]);
    if (!same) {
        list->clear();
        for (const std::string& item : items) list->addItem(Q(item));
    }
    if (list->currentRow() != box.ListIndex()) list->setCurrentRow(box.ListIndex());
    if (box.ListIndex() < 0) list->clearSelection();
}

void ShowText(const app::TextBox& box, QLineEdit* edit) {
    QString text = Q(box.Text());
    if (edit->text() != text) {
        edit->setText(text);
        // A path longer than its box shows its start, where the drive and folders are.
        edit->setCursorPosition(0);
    }
}

void ShowLabel(const app::Label& label, QLabel* widget) {
    QString caption = Q(label.Caption());
    if (widget->text() != caption) widget->setText(caption);
    // A self-sizing label (the status line) is as wide as its text.
    if (label.Design().autoSize) {
        int width = widget->fontMetrics().horizontalAdvance(caption);
        widget->resize(width, widget->height());
    }
}

void ShowBar(const app::ProgressBar& control, QProgressBar* bar) {
    int position = BarPosition(control);
    if (bar->value() != position) bar->setValue(position);
}

void ShowDrives(const app::DriveListBox& drive, QComboBox* combo) {
    QStringList drives;
    for (const std::string& d : drive.List()) drives << Q(d);
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
    if (shown != drives) {
        combo->clear();
        combo->addItems(drives);
    }
    combo->setCurrentIndex(combo->findText(Q(drive.Drive())));
}

void ShowFolder(const app::DirListBox& dir, DirList* list) {
    std::vector<std::string> subfolders;
    try {
        subfolders = dir.Subfolders();
    } catch (const std::exception&) {
        // A drive that went away: the list still shows where Dir1 stands.
    }
    list->ShowFolder(dir.Path(), subfolders);
}

}  // namespace

MainWindow::MainWindow(const std::string& programFolder, QWidget* parent) : QWidget(parent) {
    host_.SetParentWidget(this);
    host_.SetEndHandler([this] { OnEnd(); });
    host_.SetRefreshHandler([this](const app::Frame& frame) { RepaintFrame(frame); });
    // Loading opens the catalogs; what fails there is shown once the window is on the screen.
    host_.SetHoldErrors(true);
    form_ = std::make_unique<app::Actualiz>(host_, programFolder);
    host_.SetHoldErrors(false);

    setWindowTitle(Q(app::Actualiz::Title()));
    setWindowIcon(AppIcon());
    ClassicLook::Install();
    setFont(DesignFont());
    Build();
    resize(DesignClientSize());
    Render();
    focusChain_.Update(this);
}

MainWindow::~MainWindow() = default;

QRect MainWindow::ToPixels(int left, int top, int width, int height) const {
    return TwipsToPixels(left, top, width, height, logicalDpiX(), logicalDpiY());
}

QSize MainWindow::DesignClientSize() const {
    return gui::DesignClientSize(logicalDpiX(), logicalDpiY());
}

// ---- Building the controls ----

void MainWindow::Build() {
    // The inventory lists every frame before what it holds, so a container's widget always
    // exists when its contents are made; later controls lie above earlier ones.
    std::vector<QPushButton*> buttons;
    for (app::Control* control : form_->Controls()) {
        QWidget* parent = this;
        if (!control->Container().empty()) {
            auto it = widgets_.find(control->Container());
            if (it != widgets_.end()) parent = it->second;
        }
        QWidget* widget = MakeWidget(*control, parent);
        widget->setObjectName(Q(control->FullName()));
        widget->setAccessibleName(AccessibleName(control->Design()));
        widget->setGeometry(
            ToPixels(control->Left(), control->Top(), control->Width(), control->Height()));
        if (auto* button = qobject_cast<QPushButton*>(widget)) buttons.push_back(button);
        focusChain_.Add(widget);
        // A control whose flag is off is neither drawn nor clickable, and nothing changes that
        // while the program runs. Inside a hidden frame everything is hidden with it.
        widget->setVisible(control->Visible());
        widgets_[control->FullName()] = widget;
        views_.push_back({control, widget});
    }
    FitCaptions(buttons, font());
}

QWidget* MainWindow::MakeWidget(app::Control& control, QWidget* parent) {
    switch (control.Kind()) {
        case app::ControlKind::Frame:
            return new QGroupBox(Q(static_cast<app::Frame&>(control).Caption()), parent);
        case app::ControlKind::CommandButton:
            return MakeButton(static_cast<app::CommandButton&>(control), parent);
        case app::ControlKind::ListBox:
            return MakeList(static_cast<app::ListBox&>(control), parent);
        case app::ControlKind::TextBox:
            return MakeTextBox(static_cast<app::TextBox&>(control), parent);
        case app::ControlKind::Label:
            return MakeLabel(static_cast<app::Label&>(control), parent);
        case app::ControlKind::ProgressBar:
            return MakeBar(parent);
        case app::ControlKind::DriveListBox:
            return MakeDriveList(parent);
        case app::ControlKind::DirListBox:
            return MakeDirList(parent);
        case app::ControlKind::DataControl:
            return MakeDataBox(static_cast<app::DataControl&>(control), parent);
    }
    return new QWidget(parent);
}

QWidget* MainWindow::MakeButton(app::CommandButton& control, QWidget* parent) {
    const std::string name = control.FullName();
    auto* button = new QPushButton(Q(control.Caption()), parent);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, name] { RunButton(name); });
    return button;
}

QWidget* MainWindow::MakeList(app::ListBox& box, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    // The classic list box scrolls only up and down; a horizontal bar would take the room of a
    // row in these short lists.
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Choosing an entry selects it on the form; the lists have no handler of their own.
    connect(list, &QListWidget::currentRowChanged, this, [this, box = &box](int row) {
        if (rendering_) return;
        UserEvent(box->FullName(), [box, row] { box->SetListIndex(row); });
    });
    return list;
}

QWidget* MainWindow::MakeTextBox(app::TextBox& box, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    connect(edit, &QLineEdit::textEdited, this,
            [box = &box](const QString& text) { box->SetText(text.toStdString()); });
    return edit;
}

QWidget* MainWindow::MakeDriveList(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    connect(combo, &QComboBox::activated, this, [this, combo](int index) {
        std::string drive = combo->itemText(index).toStdString();
        UserEvent("Drive1_Change", [this, drive] { form_->Drive1.SetDrive(drive); });
        Render();
    });
    return combo;
}

QWidget* MainWindow::MakeDirList(QWidget* parent) {
    auto* dirs = new DirList(parent);
    connect(dirs, &DirList::folderOpened, this, [this](const QString& path) {
        std::string folder = path.toStdString();
        UserEvent("Dir1_Change", [this, folder] { form_->Dir1.SetPath(folder); });
        Render();
    });
    return dirs;
}

// ---- Showing the form's state ----

void MainWindow::Render() {
    for (const View& view : views_) RenderControl(view);
}

void MainWindow::RenderControl(const View& view) {
    bool wasRendering = rendering_;
    rendering_ = true;
    app::Control& control = *view.control;
    switch (control.Kind()) {
        case app::ControlKind::ListBox:
            ShowList(static_cast<app::ListBox&>(control), static_cast<QListWidget*>(view.widget));
            break;
        case app::ControlKind::TextBox:
            ShowText(static_cast<app::TextBox&>(control), static_cast<QLineEdit*>(view.widget));
            break;
        case app::ControlKind::Label:
            ShowLabel(static_cast<app::Label&>(control), static_cast<QLabel*>(view.widget));
            break;
        case app::ControlKind::ProgressBar:
            ShowBar(static_cast<app::ProgressBar&>(control),
                    static_cast<QProgressBar*>(view.widget));
            break;
        case app::ControlKind::DriveListBox:
            ShowDrives(static_cast<app::DriveListBox&>(control),
                       static_cast<QComboBox*>(view.widget));
            break;
        case app::ControlKind::DirListBox:
            ShowFolder(static_cast<app::DirListBox&>(control), static_cast<DirList*>(view.widget));
            break;
        case app::ControlKind::Frame:
        case app::ControlKind::CommandButton:
        case app::ControlKind::DataControl:
            // Captions are fixed at design time; nothing to follow.
            break;
    }
    rendering_ = wasRendering;
}

bool MainWindow::IsInside(const app::Control& control, const app::Frame& frame) const {
    const app::Control* current = &control;
    while (!current->Container().empty()) {
        if (current->Container() == frame.FullName()) return true;
        current = form_->FindControl(current->Container());
        if (!current) return false;
    }
    return false;
}

void MainWindow::RepaintFrame(const app::Frame& frame) {
    ++frameRepaints_[frame.FullName()];
    for (const View& view : views_) {
        if (!IsInside(*view.control, frame)) continue;
        RenderControl(view);
        // Item views lay out new entries from a timer, which the running command never lets
        // fire; lay them out now so the paint below shows them.
        if (auto* items = qobject_cast<QAbstractItemView*>(view.widget)) items->doItemsLayout();
    }
    // Painted now, inside the running command: the form never lets the event loop run until the
    // command is over, so an update() would only show the last state.
    if (QWidget* widget = WidgetFor(frame.FullName())) widget->repaint();
}

int MainWindow::FrameRepaints(const std::string& frameName) const {
    auto it = frameRepaints_.find(frameName);
    return it == frameRepaints_.end() ? 0 : it->second;
}

QWidget* MainWindow::WidgetFor(std::string_view fullName) const {
    auto it = widgets_.find(fullName);
    return it == widgets_.end() ? nullptr : it->second;
}

QStringList MainWindow::ShownControls() const {
    QStringList out;
    const QRect client = rect();
    for (const View& view : views_) {
        QWidget* widget = view.widget;
        if (!widget->isVisibleTo(this)) continue;
        QRect area(widget->mapTo(this, QPoint(0, 0)), widget->size());
        if (area.intersects(client)) out << Q(view.control->FullName());
    }
    return out;
}

// ---- What the user does ----

bool MainWindow::UserEvent(const std::string& event, const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const app::ApplicationEnded&) {
        // The program ended inside the event; the window is already closing.
    } catch (const Error& e) {
        form_->Errors().push_back({event, e.number(), e.description()});
        host_.ShowError(event, e);
    } catch (const std::exception& e) {
        Error error = app::GenericError(e);
        form_->Errors().push_back({event, error.number(), error.description()});
        host_.ShowError(event, error);
    }
    return false;
}

void MainWindow::RunButton(const std::string& name) {
    // A message box inside a command runs an event loop of its own; nothing the user does to
    // the window meanwhile may start a second command.
    if (BusyScope::Active() || form_->Ended()) return;
    BusyScope busy;
    std::shared_ptr<void> lock;
    if (dataFolderLock_ &&
        !UserEvent(name + "_Click", [&] { lock = dataFolderLock_(form_->Dir1.Path()); }))
        return;
    // A fixed migration that finds its table there changes nothing; the one behind
    // "Transformar" says nothing either, and a user clicking it again would be left wondering.
    // The window then says what the command line says.
    const app::FixedMigration* migration = app::FixedMigrationByHandler(name + "_Click");
    form_->SetMigrationOutcome(app::Actualiz::MigrationOutcome::NotFinished);
    const int shown = host_.MessagesShown();
    form_->Click(name);
    if (migration && !form_->Ended() && host_.MessagesShown() == shown &&
        form_->LastMigration() == app::Actualiz::MigrationOutcome::TableThere)
        host_.MsgBox(app::TableAlreadyThere(*migration), app::MsgIcon::Information,
                     app::Actualiz::Title());
    Render();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Keys the focused control leaves unused. Enter presses the focused button, as Space does;
    // Escape is "Salir", unless a command is running (a message box of that command is up).
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* button = qobject_cast<QPushButton*>(focusWidget());
                button && button->isVisible()) {
                event->accept();
                button->click();
                return;
            }
            break;
        case Qt::Key_Escape:
            if (!BusyScope::Active()) {
                event->accept();
                RunButton("Command14");
                return;
            }
            break;
        default:
            break;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Enlarging brings controls into view and so within reach of the keyboard; shrinking takes
    // them out of both.
    focusChain_.Update(this);
}

// ---- Start, activation and end ----

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The form is activated once the window is on the screen, from the event loop, so that
    // whatever the activation shows appears over the window rather than before it.
    if (!activationQueued_) {
        activationQueued_ = true;
        QTimer::singleShot(0, this, &MainWindow::Activate);
    }
}

void MainWindow::Activate() {
    if (activated_ || form_->Ended()) return;
    activated_ = true;
    activationQueued_ = true;
    // Loading comes before activation: what kept the window from loading as designed (missing
    // catalogs, no drive C) is told once, in one message that says where the files should be
    // and how to make them.
    const app::StartupReport report = app::CheckStartup(*form_);
    if (!report.Empty())
        host_.MsgBox(report.Text(), app::MsgIcon::Critical, app::Actualiz::Title());
    // Without drive C the activation cannot reach the data folder nor its fallback "c:\"; the
    // message above has said why, so the failure is recorded and not shown a second time.
    host_.SetHoldErrors(report.driveCMissing);
    form_->Run("Form_Activate");
    host_.SetHoldErrors(false);
    ShowDataFolderDrive();
    Render();
    emit activated();
}

void MainWindow::ShowDataFolderDrive() {
    // The form leaves the drive list on the drive the process started in (the working folder's,
    // often z:) while the activation takes the folder list to the data folder on c:. Two folder
    // controls that disagree from the start tell the user two places at once: the drive list is
    // set to the data folder's drive. It is set without a change, which would move the folder
    // list to that drive's current folder.
    const std::string& path = form_->Dir1.Path();
    if (path.size() < 2 || path[1] != ':') return;
    std::string drive = path.substr(0, 2);
    drive[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(drive[0])));
    form_->Drive1.InitDrive(drive);
}

void MainWindow::OnEnd() {
    // The form has ended: the window goes, and with the last window the program.
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing from the title bar while a command runs is input given during the run, like a
    // click on "Salir": it is dropped, and the run finishes with the window still there. The
    // window system's close request is not input to the toolkit, so it is refused here rather
    // than thrown away with the clicks and keys. A command that ends the program closes the
    // window itself, and that close goes through.
    if (BusyScope::Active() && !form_->Ended()) {
        event->ignore();
        return;
    }
    // The window has no handler of its own for closing: closing it ends the program the way
    // "Salir" does, releasing what the form holds open.
    if (!form_->Ended()) form_->Run("Command14_Click");
    event->accept();
}

}  // namespace actualiz::gui
