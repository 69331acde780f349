#include "reference_tone.h"

#include <algorithm>
#include <cmath>

namespace varnolt::cli {
namespace {

constexpr double k_two_pi = 6.283185307179586;
constexpr double k_full_scale = 2147483648.0;

}  // namespace

ReferenceToneFinder::ReferenceToneFinder(int channels, int sample_rate)
    : channels_(std::max(1, channels)),
      sample_rate_(std::max(1, sample_rate)),
      window_frames_(std::max(1LL, std::llround(k_tone_window_seconds * sample_rate_))),
      s1_(channels_, 0.0),
      s2_(channels_, 0.0),
      power_(channels_, 0.0),
      coefficient_(2.0 * std::cos(k_two_pi * k_tone_hz / sample_rate_)),
      last_level_(channels_, 0.0),
      run_level_sum_(channels_, 0.0) {}

void ReferenceToneFinder::add(const std::int32_t* samples, long long frames) {
    const long long search_windows =
        static_cast<long long>(k_tone_search_seconds / k_tone_window_seconds);
    for (long long f = 0; f < frames; ++f) {
        // Only a tone that has begun in the first minute counts; a run under way may finish.
        if (found_.found || (windows_done_ >= search_windows && run_windows_ == 0)) return;
        for (int c = 0; c < channels_; ++c) {
            const double x = samples[f * channels_ + c] / k_full_scale;
            const double s0 = x + coefficient_ * s1_[c] - s2_[c];
            s2_[c] = s1_[c];
            s1_[c] = s0;
            power_[c] += x * x;
        }
        if (++filled_ == window_frames_) end_window();
    }
}

void ReferenceToneFinder::end_window() {
    const double n = static_cast<double>(window_frames_);
    bool tone = true;
    std::vector<double> level(channels_);
    for (int c = 0; c < channels_; ++c) {
        // The Goertzel magnitude over whole periods: a sine of amplitude a gives |X| = a n / 2,
        // so its power (a^2 / 2) is 2 |X|^2 / n^2 against the window's mean power.
        const double x2 = s1_[c] * s1_[c] + s2_[c] * s2_[c] - coefficient_ * s1_[c] * s2_[c];
        const double tone_power = 2.0 * x2 / (n * n);
        const double power = power_[c] / n;
        level[c] = tone_power > 0.0 ? 10.0 * std::log10(2.0 * tone_power) : -200.0;
        if (!(power > 0.0) || tone_power < k_tone_purity * power || level[c] < k_tone_quietest_dbfs)
            tone = false;
        if (run_windows_ > 0 && std::fabs(level[c] - last_level_[c]) > k_tone_steadiness_db)
            tone = false;
        s1_[c] = s2_[c] = power_[c] = 0.0;
    }
    filled_ = 0;
    if (tone) {
        if (run_windows_ == 0) {
            run_start_ = windows_done_;
            std::fill(run_level_sum_.begin(), run_level_sum_.end(), 0.0);
        }
        ++run_windows_;
        for (int c = 0; c < channels_; ++c) run_level_sum_[c] += level[c];
        last_level_ = level;
    }
    ++windows_done_;
    // A run ends at the first window that is not tone (or at a jump of level); it counts when
    // it was long enough.
    if (!tone && run_windows_ > 0) {
        if (run_windows_ >= k_tone_shortest_windows) {
            found_.found = true;
            found_.start_seconds = run_start_ * k_tone_window_seconds;
            found_.length_seconds = run_windows_ * k_tone_window_seconds;
            found_.level_dbfs.resize(channels_);
            for (int c = 0; c < channels_; ++c)
                found_.level_dbfs[c] = run_level_sum_[c] / run_windows_;
        }
        run_windows_ = 0;
    }
}

ReferenceTone ReferenceToneFinder::result() const {
    if (found_.found || run_windows_ < k_tone_shortest_windows) return found_;
    // The file ended during the tone.
    ReferenceTone tone;
    tone.found = true;
    tone.start_seconds = run_start_ * k_tone_window_seconds;
    tone.length_seconds = run_windows_ * k_tone_window_seconds;
    tone.level_dbfs.resize(channels_);
    for (int c = 0; c < channels_; ++c) tone.level_dbfs[c] = run_level_sum_[c] / run_windows_;
    return tone;
}

}  // namespace varnolt::cli
