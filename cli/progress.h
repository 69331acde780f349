#pragma once
// The progress bar on a terminal (percent, realtime factor, time left) and the summary line
// each restored file gets.

#include <chrono>
#include <string>

namespace varnolt::cli {

class ProgressBar {
  public:
    // A disabled bar draws nothing (not a terminal, or --quiet).
    explicit ProgressBar(bool enabled);
    ~ProgressBar();

    // `fraction` of the work is done, covering `audio_seconds` of audio.
    void update(double fraction, double audio_seconds, const std::string& label);
    // Removes the bar from the terminal line.
    void clear();

  private:
    bool enabled_;
    bool drawn_ = false;  // once drawn, redrawn at most every k_redraw_interval
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
};

// What one redraw of the bar says.
struct ProgressFigures {
    double fraction;    // 0 .. 1
    std::string speed;  // "  43.9x realtime"
    std::string left;   // "0:06 left"
};

// The bar's line, fitted into a terminal `columns` wide (0: not known): the label is cut from
// its start, then the bar, the speed and the time left give way, the percentage never.
std::string progress_line(const ProgressFigures& figures, const std::string& label, int columns);

}  // namespace varnolt::cli
