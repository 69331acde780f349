#include "report_dolby_level.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "dolby_level_words.h"
#include "text_format.h"

namespace varnolt::cli {
namespace {

// A setting doubles with every 20 log10(2) dB of level.
constexpr double k_doubling_db = 6.0206;

bool any_basis(const DolbyLevelChoice& lane, DolbyLevelBasis basis) {
    for (int c = 0; c < lane.channels; ++c)
        if (lane.channel[c].basis == basis) return true;
    return false;
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

ReportDolbyLevel report_dolby_level(const DolbyLevelUse& use,
                                    const DolbyLevelMeasurement* measurement) {
    ReportDolbyLevel level;
    level.use = use;
    if (measurement == nullptr) return level;
    const int shown =
        std::min(static_cast<int>(measurement->channels.size()), k_most_level_channels);
    for (int c = 0; c < shown; ++c) {
        const ChannelLevelAnalysis& analysis = measurement->channels[c];
        level.treble_histograms.emplace_back(analysis.treble_histogram(),
                                             analysis.treble_histogram() + k_histogram_bins);
        level.programme_windows.push_back(analysis.programme_windows());
    }
    return level;
}

std::vector<std::string> dolby_level_lines(const ReportDolbyLevel& level) {
    const DolbyLevelUse& use = level.use;
    std::vector<std::string> lines = {first_dolby_level_text(use)};
    if (use.origin != DolbyLevelOrigin::measured || use.lanes.empty()) return lines;
    // The first pair's measures are the plot's; the further pairs get their words only.
    const DolbyLevelChoice& first = use.lanes.front();
    if (first.remover_on) {
        lines.push_back(channels_line(first, 0, use.channels));
        lines.push_back(calibration_line(first));
    }
    int first_channel = first.channels;
    for (std::size_t i = 1; i < use.lanes.size(); ++i) {
        const DolbyLevelChoice& lane = use.lanes[i];
        lines.push_back(lane_title(first_channel, lane.channels) +
                        dolby_level_words(use, &lane, first_channel));
        first_channel += lane.channels;
    }
    return lines;
}

double level_for_setting(double setting, double at_unity_dbfs) {
    return at_unity_dbfs + 20.0 * std::log10(setting);
}

}  // namespace varnolt::cli
