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
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
};

// "m:ss" (or "h:mm:ss").
std::string clock_text(double seconds);

}  // namespace varnolt::cli
