#include "report_dolby_level.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace varnolt::cli {
namespace {

// A setting doubles with every 20 log10(2) dB of level.
constexpr double k_doubling_db = 6.0206;
constexpr int k_longest_line = 256;

template <typename... Numbers>
std::string formatted(const char* format, Numbers... numbers) {
    char text[k_longest_line];
    std::snprintf(text, sizeof text, format, numbers...);
    return text;
}

double uncertainty_factor() {
    return std::pow(10.0, k_programme_uncertainty_db / 20.0);
}

bool any_limited(const DolbyLevelChoice& lane) {
    for (int c = 0; c < lane.channels; ++c)
        if (lane.channel[c].limited) return true;
    return false;
}

bool any_basis(const DolbyLevelChoice& lane, DolbyLevelBasis basis) {
    for (int c = 0; c < lane.channels; ++c)
        if (lane.channel[c].basis == basis) return true;
    return false;
}

// The value and what it came from. A tone in either channel is the pair's basis; its level is
// the tone channels' own.
std::string value_line(const DolbyLevelChoice& lane, int first_channel, int channels) {
    if (!lane.remover_on)
        return "too little programme to measure; the Dolby B remover is left as set";
    const ChannelDolbyLevel& first = lane.channel[0];
    std::string text;
    if (lane.basis == DolbyLevelBasis::tone && lane.per_channel) {
        text = formatted(
            "PC Recording Volume %.2f on the window's slider; exact, from the 400 Hz line-up "
            "tones, which differ between the channels, so each was worked on at its own:",
            lane.volume);
        for (int c = 0; c < lane.channels; ++c)
            text += " " + level_channel_name(first_channel + c, channels) +
                    formatted(" %.2f", lane.channel[c].volume);
    } else if (lane.basis == DolbyLevelBasis::tone) {
        text = formatted(
            "PC Recording Volume %.2f, exact, from the 400 Hz line-up tone at %.1f dBFS (%.1f s "
            "from %.1f s)",
            lane.volume, lane.measured_dbfs, first.tone_length_seconds, first.tone_start_seconds);
    } else {
        text = formatted(
            "PC Recording Volume %.2f, estimated from the programme's treble (%.1f dBFS), "
            "uncertain by a factor of %.0f either way",
            lane.volume, lane.measured_dbfs, uncertainty_factor());
    }
    if (any_limited(lane)) text += "; beyond the slider's range, held at its end";
    return text;
}

// Each channel's own measure and the value it calls for.
std::string channels_line(const DolbyLevelChoice& lane, int first_channel, int channels) {
    std::string text;
    for (int c = 0; c < lane.channels; ++c) {
        const ChannelDolbyLevel& level = lane.channel[c];
        if (!text.empty()) text += ";  ";
        text += level_channel_name(first_channel + c, channels) + ": ";
        switch (level.basis) {
            case DolbyLevelBasis::tone:
                text += formatted("tone at %.1f dBFS, %.1f s from %.1f s", level.measured_dbfs,
                                  level.tone_length_seconds, level.tone_start_seconds);
                break;
            case DolbyLevelBasis::programme:
                text += formatted("treble at %.1f dBFS", level.measured_dbfs);
                break;
            case DolbyLevelBasis::silence:
                text += "no programme, takes the other's value";
                continue;
        }
        text += formatted(", calls for %.2f", level.volume);
    }
    return text;
}

// How a level turns into a setting, for the kinds of level the pair was measured by.
std::string calibration_line(const DolbyLevelChoice& lane) {
    std::string text;
    if (any_basis(lane, DolbyLevelBasis::tone))
        text =
            formatted("a 400 Hz tone at %.1f dBFS (peak) calls for 1", k_dolby_tone_at_unity_dbfs);
    if (any_basis(lane, DolbyLevelBasis::programme)) {
        if (!text.empty()) text += "; ";
        text += formatted(
            "the %.0fth percentile of the treble (above %.0f kHz, mean square) of the programme's "
            "%.1f s windows calls for 1 at %.1f dBFS",
            k_treble_percentile, k_treble_corner_hz / 1000.0, k_level_window_seconds,
            k_treble_at_unity_dbfs);
    }
    return text + formatted("; every %.2f dB more doubles the setting", k_doubling_db);
}

}  // namespace

ReportDolbyLevel report_dolby_level(const DolbyLevelMeasurement& measurement) {
    ReportDolbyLevel level;
    level.channels = static_cast<int>(measurement.channels.size());
    level.lanes = measurement.lanes;
    const int shown = std::min(level.channels, k_most_level_channels);
    for (int c = 0; c < shown; ++c) {
        const ChannelLevelAnalysis& analysis = measurement.channels[c];
        level.treble_histograms.emplace_back(analysis.treble_histogram(),
                                             analysis.treble_histogram() + k_histogram_bins);
        level.programme_windows.push_back(analysis.programme_windows());
    }
    return level;
}

std::vector<std::string> dolby_level_lines(const ReportDolbyLevel& level) {
    std::vector<std::string> lines;
    int first_channel = 0;
    for (const DolbyLevelChoice& lane : level.lanes) {
        const bool first = first_channel == 0;
        std::string text = value_line(lane, first_channel, level.channels);
        if (!first)
            text = "channels " + std::to_string(first_channel + 1) + "-" +
                   std::to_string(first_channel + lane.channels) + ": " + text;
        lines.push_back(text);
        // The first pair's measures are the plot's; the further pairs get their value only.
        if (first && lane.remover_on) {
            lines.push_back(channels_line(lane, 0, level.channels));
            lines.push_back(calibration_line(lane));
        }
        first_channel += lane.channels;
    }
    if (lines.empty()) lines.push_back("no channels; the Dolby B remover is left as set");
    return lines;
}

double level_for_setting(double setting, double at_unity_dbfs) {
    return at_unity_dbfs + 20.0 * std::log10(setting);
}

}  // namespace varnolt::cli
