#pragma once

#include <iosfwd>
#include <string>

#include "app/Host.h"

namespace actualiz::app {
class Actualiz;
class Frame;
}  // namespace actualiz::app

namespace actualiz::cli {

// The progress panel of the window, drawn on a terminal. The commands never yield while they run;
// the only moments the panel may change are their explicit repaints of Frame13, so that is when
// it is drawn.
//
// On a terminal the six bars with their captions and the status line Label4 are redrawn in place.
// Anywhere else (a pipe, a log file) redrawing makes no sense: one plain line is written per old
// database, when the driver moves Bar1 on to it.
class ProgressView {
  public:
    ProgressView(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

    // Called at every repaint of Frame13.
    void Draw(const app::Actualiz& form);
    // Called once the command has returned: the final state (Label4 then says how it ended, and
    // the driver sets it without repainting).
    void Finish(const app::Actualiz& form);

    // The panel as text lines, the status line first: what a terminal shows.
    static std::string Panel(const app::Actualiz& form);
    // One bar as text: "   Bases: [#######.............]    3/8".
    static std::string BarLine(const std::string& caption, float value, float max);

  private:
    void Redraw(const app::Actualiz& form);

    std::ostream& out_;
    bool terminal_;
    int linesDrawn_ = 0;
    float lastDatabase_ = 0;
};

// The host of a headless run with a progress view: records messages and failures like
// RecordingHost, and hands every Frame13 repaint to the view. The form is attached once it exists
// (the form needs its host to be built).
class ProgressHost : public app::RecordingHost {
  public:
    explicit ProgressHost(ProgressView* view) : view_(view) {}

    void Attach(const app::Actualiz* form) { form_ = form; }
    void RefreshFrame(const app::Frame& frame) override;

  private:
    ProgressView* view_;
    const app::Actualiz* form_ = nullptr;
};

}  // namespace actualiz::cli
