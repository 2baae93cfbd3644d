#include "cli/Progress.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "app/Actualiz.h"

namespace actualiz::cli {

namespace {

constexpr int kBarWidth = 30;

// Counts are whole numbers in practice; a bar keeps them as single-precision values.
std::string Count(float value) {
    std::ostringstream out;
    out << std::lround(value);
    return out.str();
}

}  // namespace

std::string ProgressView::BarLine(const std::string& caption, float value, float max) {
    // The bar draws what it can: a maximum of 0 (an empty list was counted) is an empty bar, and
    // a value outside the range is drawn at the nearest end.
    int filled = 0;
    if (max > 0) {
        float fraction = std::clamp(value / max, 0.0f, 1.0f);
        filled = static_cast<int>(std::lround(fraction * kBarWidth));
    }
    std::ostringstream line;
    line << std::setw(9) << caption << " [" << std::string(filled, '#')
         << std::string(kBarWidth - filled, '.') << "] " << std::setw(5) << Count(value) << "/"
         << Count(max);
    return line.str();
}

std::string ProgressView::Panel(const app::Actualiz& form) {
    const std::pair<const app::Label*, const app::ProgressBar*> bars[] = {
        {&form.Label1, &form.Bar1}, {&form.Label2, &form.Bar2}, {&form.Label3, &form.Bar3},
        {&form.Label6, &form.Bar4}, {&form.Label7, &form.Bar5}, {&form.Label8, &form.Bar6}};
    std::string panel = form.Frame9.Caption() + ": " + form.Label4.Caption() + "\n";
    for (const auto& [label, bar] : bars)
        panel += BarLine(label->Caption(), bar->Value(), bar->Max()) + "\n";
    return panel;
}

void ProgressView::Redraw(const app::Actualiz& form) {
    // Back to the first line of the previous drawing, then every line cleared and written anew.
    if (linesDrawn_ > 0) out_ << "\x1b[" << linesDrawn_ << "F";
    std::istringstream panel(Panel(form));
    std::string line;
    int lines = 0;
    while (std::getline(panel, line)) {
        out_ << "\x1b[2K" << line << "\n";
        ++lines;
    }
    linesDrawn_ = lines;
    out_.flush();
}

void ProgressView::Draw(const app::Actualiz& form) {
    if (terminal_) {
        Redraw(form);
        return;
    }
    // The driver repaints right after moving Bar1 to the next old database, before it selects
    // that database in List6, so the name is read by position.
    const float database = form.Bar1.Value();
    if (database == lastDatabase_ || database < 1) return;
    lastDatabase_ = database;
    const auto& names = form.List6.Items();
    const auto position = static_cast<std::size_t>(std::lround(database)) - 1;
    out_ << form.Label1.Caption() << " " << Count(database) << "/" << Count(form.Bar1.Max());
    if (position < names.size()) out_ << " " << names[position];
    out_ << "\n";
    out_.flush();
}

void ProgressView::Finish(const app::Actualiz& form) {
    if (terminal_) {
        Redraw(form);
        return;
    }
    if (!form.Label4.Caption().empty()) out_ << form.Label4.Caption() << "\n";
    out_.flush();
}

void ProgressHost::RefreshFrame(const app::Frame& frame) {
    RecordingHost::RefreshFrame(frame);
    if (view_ && form_ && frame.FullName() == "Frame13") view_->Draw(*form_);
}

}  // namespace actualiz::cli
