#include "level/dolby_level.h"

#include <algorithm>
#include <cmath>

namespace varnolt {
namespace {

constexpr double k_two_pi = 6.283185307179586;

double decibels(double power) {
    return power > 0.0 ? 10.0 * std::log10(power) : -200.0;
}

double sanitized_rate(double sample_rate) {
    return std::isfinite(sample_rate) ? std::clamp(sample_rate, 1.0, 1e7) : 44100.0;
}

double on_slider_steps(double volume) {
    return std::round(std::clamp(volume, k_lowest_volume, k_highest_volume) / k_volume_step) *
           k_volume_step;
}

}  // namespace

double volume_for_dolby_level(double level_dbfs) {
    return std::pow(10.0, (level_dbfs - k_dolby_level_at_unity_dbfs) / 20.0);
}

double dolby_level_for_volume(double volume) {
    constexpr double smallest = 1e-9;  // -180 dB: a zero or broken setting names no level
    if (!(volume >= smallest) || !std::isfinite(volume)) volume = smallest;
    return k_dolby_level_at_unity_dbfs + 20.0 * std::log10(volume);
}

ChannelLevelAnalysis::ChannelLevelAnalysis(double sample_rate)
    : pole_(std::exp(-k_two_pi * k_treble_corner_hz / sanitized_rate(sample_rate))),
      window_samples_(
          std::max(1LL, std::llround(k_level_window_seconds * sanitized_rate(sample_rate)))),
      tone_(sample_rate) {}

void ChannelLevelAnalysis::add(double x) {
    if (!std::isfinite(x)) x = 0.0;
    tone_.add(x);
    // A one-pole high-pass gives the treble.
    const double y = pole_ * (previous_out_ + x - previous_in_);
    previous_in_ = x;
    previous_out_ = y;
    power_ += x * x;
    treble_power_ += y * y;
    if (++filled_ == window_samples_) end_window();
}

void ChannelLevelAnalysis::end_window() {
    const double n = static_cast<double>(window_samples_);
    const double level = decibels(power_ / n);
    const double treble = decibels(treble_power_ / n);
    power_ = treble_power_ = 0.0;
    filled_ = 0;
    if (!(level > k_pause_dbfs)) return;
    const double step = (treble - k_histogram_floor_dbfs) / k_histogram_step_db;
    ++histogram_[static_cast<int>(std::clamp(step, 0.0, k_histogram_bins - 1.0))];
    ++windows_;
}

double ChannelLevelAnalysis::treble_percentile_dbfs() const {
    // The window of this rank among all, counted up from the quietest.
    const long long rank = static_cast<long long>(
        std::floor(k_treble_percentile / 100.0 * static_cast<double>(windows_ - 1)));
    long long seen = 0;
    int bin = 0;
    while (bin < k_histogram_bins - 1 && seen + histogram_[bin] <= rank) seen += histogram_[bin++];
    return k_histogram_floor_dbfs + (bin + 0.5) * k_histogram_step_db;
}

ChannelDolbyLevel ChannelLevelAnalysis::result() const {
    ChannelDolbyLevel level;
    const ReferenceTone tone = tone_.result();
    if (tone.found) {
        level.basis = DolbyLevelBasis::tone;
        level.measured_dbfs = tone.level_dbfs;
        level.tone_start_seconds = tone.start_seconds;
        level.tone_length_seconds = tone.length_seconds;
        level.volume = volume_for_level(tone.level_dbfs, k_dolby_tone_at_unity_dbfs, level.limited);
        return level;
    }
    if (windows_ < k_fewest_programme_windows) return level;
    level.basis = DolbyLevelBasis::programme;
    level.measured_dbfs = treble_percentile_dbfs();
    level.volume = volume_for_level(level.measured_dbfs, k_treble_at_unity_dbfs, level.limited);
    return level;
}

double volume_for_level(double level_dbfs, double at_unity_dbfs, bool& limited) {
    const double volume = std::pow(10.0, (level_dbfs - at_unity_dbfs) / 20.0);
    if (std::isnan(volume)) {
        limited = true;
        return 1.0;
    }
    limited = !(volume >= k_lowest_volume && volume <= k_highest_volume);
    return on_slider_steps(volume);
}

double measured_dolby_level(DolbyLevelBasis basis, double measured_dbfs) {
    const double at_unity =
        basis == DolbyLevelBasis::programme ? k_treble_at_unity_dbfs : k_dolby_tone_at_unity_dbfs;
    return measured_dbfs + (k_dolby_level_at_unity_dbfs - at_unity);
}

DolbyLevelChoice choose_dolby_level(const ChannelLevelAnalysis* analyses, int channels) {
    DolbyLevelChoice choice;
    choice.channels = std::clamp(channels, 0, k_most_level_channels);
    int tones = 0, measured = 0;
    for (int c = 0; c < choice.channels; ++c) {
        choice.channel[c] = analyses[c].result();
        tones += choice.channel[c].basis == DolbyLevelBasis::tone;
        measured += choice.channel[c].basis != DolbyLevelBasis::silence;
    }
    if (measured == 0) return choice;
    // A tone on one track only still lines up the deck, and outranks the other channel's
    // estimate: levels measured against different references are not averaged.
    choice.basis = tones > 0 ? DolbyLevelBasis::tone : DolbyLevelBasis::programme;
    double log_sum = 0.0, level_sum = 0.0;
    for (int c = 0; c < choice.channels; ++c)
        if (choice.channel[c].basis == choice.basis) {
            log_sum += std::log(choice.channel[c].volume);
            level_sum += choice.channel[c].measured_dbfs;
        }
    const int counted = tones > 0 ? tones : measured;
    choice.remover_on = true;
    choice.measured_dbfs = level_sum / counted;
    choice.volume = on_slider_steps(std::exp(log_sum / counted));
    // A channel without the whole's basis (silent, or without the other's tone) takes its value.
    for (int c = 0; c < choice.channels; ++c)
        if (choice.channel[c].basis != choice.basis) choice.channel[c].volume = choice.volume;
    // Only line-up tones tell a transfer's channel balance: the programme's treble differs
    // between the channels of any stereo mix, so from the programme both take the one value.
    if (choice.channels == 2 && tones == 2) {
        const double apart =
            std::fabs(20.0 * std::log10(choice.channel[0].volume / choice.channel[1].volume));
        choice.per_channel = apart > k_channel_difference_db;
    }
    return choice;
}

double channel_volume(const DolbyLevelChoice& choice, int channel) {
    if (!choice.per_channel || channel < 0 || channel >= choice.channels) return choice.volume;
    return choice.channel[channel].volume;
}

double channel_dolby_level(const DolbyLevelChoice& choice, int channel) {
    // Only channels of a pair that gets one volume each have a level of their own.
    if (choice.per_channel && channel >= 0 && channel < choice.channels &&
        choice.channel[channel].basis == choice.basis)
        return measured_dolby_level(choice.channel[channel].basis,
                                    choice.channel[channel].measured_dbfs);
    return measured_dolby_level(choice.basis, choice.measured_dbfs);
}

}  // namespace varnolt
