#pragma once
// The Dolby level tone a tape may start with: a steady 400 Hz sine recorded at the tape's Dolby
// level before the programme. Found in the first minute of a transfer, it tells the level the
// Dolby B remover must take as its reference, exactly, where the programme's own levels only
// allow a guess. One finder per channel: the channels may have been transferred at different
// levels.

namespace varnolt {

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
    double level_dbfs = 0.0;  // peak level of the sine, dBFS (0 is a full-scale sine)
};

// Streams one channel past a Goertzel filter a window at a time; its state is a few numbers, so
// it allocates nothing and can run on a host's audio thread.
class ReferenceToneFinder {
  public:
    explicit ReferenceToneFinder(double sample_rate);
    // One sample, full scale 1.0.
    void add(double x) {
        if (searching_) take(x);
    }
    // The first run of tone windows long enough to count, or not found.
    ReferenceTone result() const;

  private:
    void take(double x);
    void end_window();
    ReferenceTone run_as_tone() const;

    long long window_samples_;
    long long search_windows_;
    double coefficient_;
    bool searching_ = true;
    long long windows_done_ = 0;
    long long filled_ = 0;
    double s1_ = 0.0, s2_ = 0.0, power_ = 0.0;  // Goertzel state and the window's power
    // The current run of tone windows: its first window, its last level and the levels' sum.
    long long run_start_ = 0;
    int run_windows_ = 0;
    double last_level_ = 0.0;
    double run_level_sum_ = 0.0;
    ReferenceTone found_;
};

}  // namespace varnolt
