#include "dolby_level_measurement.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "audio_file.h"
#include "interruption.h"
#include "settings/parameters.h"

namespace varnolt::cli {
namespace {

constexpr long long k_read_frames = 4096;

std::string formatted(const char* format, double a, double b = 0.0, double c = 0.0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// What one pair's value came from, and how sure it is.
std::string basis_text(const DolbyLevelChoice& choice) {
    const ChannelDolbyLevel& first = choice.channel[0];
    switch (choice.basis) {
        case DolbyLevelBasis::tone:
            return formatted(
                "exact, from the 400 Hz line-up tone at %.1f dBFS (%.1f s from %.1f s)",
                choice.measured_dbfs, first.tone_length_seconds, first.tone_start_seconds);
        case DolbyLevelBasis::programme:
            return formatted(
                "estimated from the programme's treble (%.1f dBFS), uncertain by "
                "a factor of %.0f either way",
                choice.measured_dbfs, std::pow(10.0, k_programme_uncertainty_db / 20.0));
        case DolbyLevelBasis::silence:
            break;
    }
    return "too little programme to measure";
}

}  // namespace

bool measure_dolby_level(const std::string& path, DolbyLevelMeasurement& measurement,
                         std::string& error) {
    // As for a file to restore: a pipe or a device is refused, and would be empty the second
    // time anyway.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = path + (std::filesystem::exists(path, ec) ? ": cannot read: not a file"
                                                          : ": cannot read: no such file");
        return false;
    }
    AudioReader reader;
    if (!reader.open(path, error)) return false;
    const AudioInfo& info = reader.info();
    measurement = DolbyLevelMeasurement{};
    measurement.sample_rate = info.sample_rate;
    measurement.channels.assign(static_cast<std::size_t>(info.channels),
                                ChannelLevelAnalysis(info.sample_rate));
    std::vector<double> block(static_cast<std::size_t>(k_read_frames) * info.channels);
    for (;;) {
        if (interrupted()) {
            error = path + ": " + k_interrupted_text;
            return false;
        }
        const long long n = reader.read(block.data(), k_read_frames);
        if (n <= 0) break;
        for (long long f = 0; f < n; ++f)
            for (int c = 0; c < info.channels; ++c)
                measurement.channels[c].add(block[f * info.channels + c]);
    }
    for (int first = 0; first < info.channels; first += k_most_level_channels)
        measurement.lanes.push_back(choose_dolby_level(
            &measurement.channels[first], std::min(k_most_level_channels, info.channels - first)));
    return true;
}

void apply_dolby_level(const DolbyLevelMeasurement& measurement, LiveParameters& parameters,
                       std::vector<double>& channel_volumes) {
    channel_volumes.clear();
    bool programme = false;
    for (const DolbyLevelChoice& lane : measurement.lanes) programme |= lane.remover_on;
    if (!programme) return;
    const DolbyLevelChoice& first = measurement.lanes.front();
    parameters.values.dolby_enabled = 1;
    parameters.values.pc_recording_volume = first.remover_on ? first.volume : 1.0;
    for (const DolbyLevelChoice& lane : measurement.lanes)
        for (int c = 0; c < lane.channels; ++c) channel_volumes.push_back(channel_volume(lane, c));
}

std::string dolby_level_text(const DolbyLevelMeasurement& measurement) {
    if (measurement.lanes.empty()) return "no channels; the Dolby B remover is left as set";
    std::string text;
    int first_channel = 0;
    const int all = static_cast<int>(measurement.channels.size());
    for (const DolbyLevelChoice& lane : measurement.lanes) {
        if (!text.empty())
            text += lane.channels == 1 ? "; channel " + std::to_string(first_channel + 1) + ": "
                                       : "; channels " + std::to_string(first_channel + 1) + "-" +
                                             std::to_string(first_channel + lane.channels) + ": ";
        if (!lane.remover_on) {
            text += basis_text(lane) + "; the Dolby B remover is left as set";
        } else {
            text += formatted("PC Recording Volume=%.2f, ", lane.volume) + basis_text(lane);
            if (lane.per_channel) {
                text +=
                    "; the channels were transferred at different levels, so each is worked "
                    "on at its own:";
                for (int c = 0; c < lane.channels; ++c)
                    text += " " + level_channel_name(first_channel + c, all) +
                            formatted(" %.2f", lane.channel[c].volume);
                text += " (the window's one slider takes the value above)";
            }
            for (int c = 0; c < lane.channels; ++c)
                if (lane.channel[c].limited) {
                    text += "; beyond the slider's range, held at its end";
                    break;
                }
        }
        first_channel += lane.channels;
    }
    return text;
}

}  // namespace varnolt::cli
