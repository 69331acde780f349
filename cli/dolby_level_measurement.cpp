#include "dolby_level_measurement.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "audio_file.h"
#include "interruption.h"

namespace varnolt::cli {
namespace {

constexpr long long k_read_frames = 4096;

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

}  // namespace varnolt::cli
