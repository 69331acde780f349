#include "progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "console.h"
#include "display_width.h"
#include "platform.h"
#include "text_format.h"

namespace varnolt::cli {
namespace {

constexpr int k_bar_cells = 30;
constexpr int k_fewest_bar_cells = 10;     // a shorter bar says nothing the percentage does not
constexpr int k_fewest_label_columns = 8;  // less of a name tells nothing
constexpr int k_assumed_columns = 80;      // where the terminal does not say its width
constexpr auto k_redraw_interval = std::chrono::milliseconds(100);
// Columns left free at the end of the line: the last, since a terminal that wraps there would
// start a new line per redraw, and two for the "^C" the terminal echoes after the bar when the
// user interrupts; wrapped onto a line of its own, it would leave the bar standing above where
// the tool can clear.
constexpr int k_free_columns = 3;

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// The last `columns` columns of `text`, marked as cut: a file's name ends in what tells it from
// the others.
std::string keep_end(const std::string& text, int columns) {
    if (display_width(text) <= columns) return text;
    if (columns < 4) return std::string();
    return "..." + last_columns(text, columns - 3);
}

// The time left: with hours from the first hour.
std::string hours_clock(double seconds) {
    return clock_text(seconds, seconds >= 3600.0 - 0.5);
}

}  // namespace

std::string progress_line(const ProgressFigures& figures, const std::string& label, int columns) {
    const int room = std::max(1, (columns > 0 ? columns : k_assumed_columns) - k_free_columns);
    const double fraction = std::clamp(figures.fraction, 0.0, 1.0);
    const std::string percent = formatted("%3d%%", static_cast<int>(fraction * 100));
    const std::string left = "  " + figures.left;
    const std::string speed = "  " + figures.speed;
    // What matters most goes in first: the share done, the time left, a bar, the speed, a
    // longer bar, and the label in what room is left.
    int used = display_width(percent);
    const bool with_left = used + display_width(left) <= room;
    used += with_left ? display_width(left) : 0;
    const bool with_bar = with_left && used + k_fewest_bar_cells + 3 <= room;
    used += with_bar ? k_fewest_bar_cells + 3 : 0;
    const bool with_speed = with_bar && used + display_width(speed) <= room;
    used += with_speed ? display_width(speed) : 0;
    int cells = 0;
    if (with_bar) {
        cells = std::min(k_bar_cells, k_fewest_bar_cells + room - used);
        used += cells - k_fewest_bar_cells;
    }
    std::string line;
    if (with_bar) {
        const int done = static_cast<int>(fraction * cells);
        line = "[" + std::string(done, '#') + std::string(cells - done, '-') + "] ";
    }
    line += percent;
    if (with_speed) line += speed;
    if (with_left) line += left;
    if (!label.empty() && used + 2 + k_fewest_label_columns <= room)
        line += "  " + keep_end(label, room - used - 2);
    return line;
}

ProgressBar::ProgressBar(bool enabled)
    : enabled_(enabled), start_(std::chrono::steady_clock::now()), last_(start_) {}

ProgressBar::~ProgressBar() {
    clear();
}

void ProgressBar::update(double fraction, double audio_seconds, const std::string& label) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < k_redraw_interval && fraction < 1.0) return;
    last_ = now;
    fraction = std::clamp(fraction, 0.0, 1.0);
    const double elapsed = seconds_since(start_);
    ProgressFigures figures{fraction, "  -  x realtime", "--:-- left"};
    if (elapsed > 0.05 && fraction > 0.0) {
        figures.speed = formatted("%5.1fx realtime", audio_seconds / elapsed);
        // Once the audio is through, what is left (the report, putting the files in place) is
        // short and has no rate to estimate it from.
        figures.left = fraction < 1.0 ? hours_clock(elapsed * (1.0 - fraction) / fraction) + " left"
                                      : std::string("finishing");
    }
    // The width is asked each time: the user may resize the terminal while it runs.
    draw_bar_line(progress_line(figures, label, terminal_columns()));
    drawn_ = true;
}

void ProgressBar::clear() {
    if (enabled_) clear_bar_line();
}

}  // namespace varnolt::cli
