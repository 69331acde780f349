#include "level/reference_tone.h"

#include <algorithm>
#include <cmath>

namespace varnolt {
namespace {

constexpr double k_two_pi = 6.283185307179586;

}  // namespace

ReferenceToneFinder::ReferenceToneFinder(double sample_rate) {
    const double rate = std::isfinite(sample_rate) ? std::clamp(sample_rate, 1.0, 1e7) : 44100.0;
    window_samples_ = std::max(1LL, std::llround(k_tone_window_seconds * rate));
    search_windows_ = static_cast<long long>(k_tone_search_seconds / k_tone_window_seconds);
    coefficient_ = 2.0 * std::cos(k_two_pi * k_tone_hz / rate);
}

void ReferenceToneFinder::take(double x) {
    if (!std::isfinite(x)) x = 0.0;
    const double s0 = x + coefficient_ * s1_ - s2_;
    s2_ = s1_;
    s1_ = s0;
    power_ += x * x;
    if (++filled_ == window_samples_) end_window();
}

void ReferenceToneFinder::end_window() {
    const double n = static_cast<double>(window_samples_);
    // The Goertzel magnitude over whole periods: a sine of amplitude a gives |X| = a n / 2, so
    // its power (a^2 / 2) is 2 |X|^2 / n^2 against the window's mean power.
    const double x2 = s1_ * s1_ + s2_ * s2_ - coefficient_ * s1_ * s2_;
    const double tone_power = 2.0 * x2 / (n * n);
    const double power = power_ / n;
    const double level = tone_power > 0.0 ? 10.0 * std::log10(2.0 * tone_power) : -200.0;
    bool tone = power > 0.0 && tone_power >= k_tone_purity * power && level >= k_tone_quietest_dbfs;
    if (run_windows_ > 0 && std::fabs(level - last_level_) > k_tone_steadiness_db) tone = false;
    s1_ = s2_ = power_ = 0.0;
    filled_ = 0;
    if (tone) {
        if (run_windows_ == 0) {
            run_start_ = windows_done_;
            run_level_sum_ = 0.0;
        }
        ++run_windows_;
        run_level_sum_ += level;
        last_level_ = level;
    }
    ++windows_done_;
    // A run ends at the first window that is not tone (or at a jump of level); it counts when it
    // was long enough. Only a tone that has begun in the first minute counts; a run under way may
    // finish.
    if (!tone && run_windows_ > 0) {
        if (run_windows_ >= k_tone_shortest_windows) found_ = run_as_tone();
        run_windows_ = 0;
    }
    if (found_.found || (windows_done_ >= search_windows_ && run_windows_ == 0)) searching_ = false;
}

ReferenceTone ReferenceToneFinder::run_as_tone() const {
    ReferenceTone tone;
    tone.found = true;
    tone.start_seconds = static_cast<double>(run_start_) * k_tone_window_seconds;
    tone.length_seconds = run_windows_ * k_tone_window_seconds;
    tone.level_dbfs = run_level_sum_ / run_windows_;
    return tone;
}

ReferenceTone ReferenceToneFinder::result() const {
    // The stream may have ended during the tone.
    if (!found_.found && run_windows_ >= k_tone_shortest_windows) return run_as_tone();
    return found_;
}

}  // namespace varnolt
