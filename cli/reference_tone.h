#pragma once
// The Dolby level tone a tape may start with: a steady 400 Hz sine recorded at the tape's Dolby
// level before the programme. Found in the first minute of a transfer, it tells the level the
// Dolby B remover must take as its reference, exactly, where the programme's own levels only
// allow a guess.

#include <cstdint>
#include <vector>

namespace varnolt::cli {

// Where the tone must start, and how long and how steady it must be to count: a line-up tone
// lasts seconds, while a held 400 Hz note in music wavers and carries other partials.
constexpr double k_tone_search_seconds = 60.0;
constexpr double k_tone_hz = 400.0;
constexpr double k_tone_window_seconds = 0.25;  // 100 whole periods of 400 Hz
constexpr int k_tone_shortest_windows = 6;      // 1.5 s
constexpr double k_tone_purity = 0.95;          // share of a window's power at 400 Hz
constexpr double k_tone_steadiness_db = 0.5;    // largest step of level between windows
constexpr double k_tone_quietest_dbfs = -50.0;

struct ReferenceTone {
    bool found = false;
    double start_seconds = 0.0;
    double length_seconds = 0.0;
    // Peak level of the sine in each channel, dBFS (0 is a full-scale sine).
    std::vector<double> level_dbfs;
};

// Gathers the first minute as the samples stream past, a window at a time; memory stays a
// window's few numbers per channel.
class ReferenceToneFinder {
  public:
    ReferenceToneFinder(int channels, int sample_rate);
    // Interleaved samples, full scale at 2^31 (the tool's blocks).
    void add(const std::int32_t* samples, long long frames);
    // The first run of tone windows long enough to count, or not found.
    ReferenceTone result() const;

  private:
    void end_window();

    int channels_;
    int sample_rate_;
    long long window_frames_;
    long long windows_done_ = 0;
    long long filled_ = 0;
    // Per channel: Goertzel state at 400 Hz and the window's power.
    std::vector<double> s1_, s2_, power_;
    double coefficient_;
    // The current run of tone windows: its first window and each channel's last level.
    long long run_start_ = -1;
    int run_windows_ = 0;
    std::vector<double> last_level_;
    std::vector<double> run_level_sum_;
    ReferenceTone found_;
};

}  // namespace varnolt::cli
