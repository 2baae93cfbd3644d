#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "app/Host.h"

namespace actualiz::gui {

// What the form asks of its surroundings, done with Qt: message boxes, the hourglass, repainting
// a frame at once, closing the window. The window wires the last two to itself; the message
// boxes go through a presenter so that a test (or the self-test start) can answer them without a
// modal dialog, the way a user's OK would.
class QtHost : public app::Host {
  public:
    // Shows one message and returns when it is dismissed.
    using Presenter =
        std::function<void(QMessageBox::Icon icon, const QString& title, const QString& text)>;

    QtHost();
    ~QtHost() override;
    QtHost(const QtHost&) = delete;
    QtHost& operator=(const QtHost&) = delete;

    void MsgBox(const std::string& text, app::MsgIcon icon, const std::string& title) override;
    void EndApplication() override;
    void SetMousePointer(int pointer) override;
    void RefreshFrame(const app::Frame& frame) override;
    void ShowError(const std::string& command, const Error& error) override;

    // The window the message boxes belong to (modal to it).
    void SetParentWidget(QWidget* parent) { parent_ = parent; }
    // Replaces the modal QMessageBox; an empty presenter restores it.
    void SetPresenter(Presenter presenter) { presenter_ = std::move(presenter); }
    void SetEndHandler(std::function<void()> handler) { onEnd_ = std::move(handler); }
    void SetRefreshHandler(std::function<void(const app::Frame&)> handler) {
        onRefresh_ = std::move(handler);
    }
    // While the form is being built its loading failures are only recorded (the form keeps them
    // in Errors()); the window shows them once it is on the screen.
    void SetHoldErrors(bool hold) { holdErrors_ = hold; }

    bool Hourglass() const { return hourglass_; }
    // How many messages and failures have been shown so far.
    int MessagesShown() const { return messagesShown_; }

    // The text a failure is shown with: the engine's number and its description.
    static QString ErrorText(const Error& error);
    static QMessageBox::Icon IconFor(app::MsgIcon icon);
    // The message box as the window shows it, ready for exec(): in the font of the window it
    // belongs to (parent), with a Spanish button, its text wrapped to a width the box holds.
    static std::unique_ptr<QMessageBox> MakeMessageBox(QMessageBox::Icon icon, const QString& title,
                                                       const QString& text, QWidget* parent);
    // The text broken into lines no wider than width pixels in font: at spaces, and inside a
    // word (a long path) only when the word alone is wider.
    static QString WrapText(const QString& text, const QFont& font, int width);

  private:
    void Present(QMessageBox::Icon icon, const QString& title, const QString& text);

    QPointer<QWidget> parent_;
    Presenter presenter_;
    std::function<void()> onEnd_;
    std::function<void(const app::Frame&)> onRefresh_;
    bool holdErrors_ = false;
    bool hourglass_ = false;
    int messagesShown_ = 0;
};

}  // namespace actualiz::gui
