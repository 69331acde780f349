#include "dolby_level_use.h"

#include <algorithm>
#include <cmath>

#include "settings/parameters.h"

namespace varnolt::cli {
namespace {

// The standard decoder's volume is the level's, unrounded; a level beyond these only keeps it
// finite and positive, well clear of the chain's floor for a broken setting.
constexpr double k_lowest_decoded_level_dbfs = -120.0;
constexpr double k_highest_decoded_level_dbfs = 40.0;

DolbyLevelUse use_of(DolbyLevelOrigin origin, const LiveParameters& parameters) {
    DolbyLevelUse use;
    use.origin = origin;
    use.standard_decoder = parameters.values.standard_decoder != 0;
    use.setting_volume = parameters.values.pc_recording_volume;
    return use;
}

// Whether the Dolby B stage runs with these settings: the remover switched on, and a processing
// mode that decodes.
void note_switches(DolbyLevelUse& use, const LiveParameters& parameters) {
    use.remover_on = parameters.values.dolby_enabled != 0;
    use.decodes = use.remover_on && parameters.processing_mode == k_mode_full;
}

bool any_measured(const DolbyLevelUse& use) {
    return std::any_of(use.lanes.begin(), use.lanes.end(),
                       [](const DolbyLevelChoice& lane) { return lane.remover_on; });
}

}  // namespace

DolbyLevelUse setting_level_use(const LiveParameters& parameters) {
    DolbyLevelUse use = use_of(DolbyLevelOrigin::setting, parameters);
    note_switches(use, parameters);
    return use;
}

DolbyLevelUse given_level_use(double level_dbfs, LiveParameters& parameters) {
    DolbyLevelUse use = use_of(DolbyLevelOrigin::given, parameters);
    use.given_dbfs = level_dbfs;
    parameters.values.dolby_enabled = 1;
    parameters.values.pc_recording_volume = window_volume(use);
    note_switches(use, parameters);
    return use;
}

DolbyLevelUse measured_level_use(const DolbyLevelMeasurement& measurement,
                                 LiveParameters& parameters) {
    DolbyLevelUse use = use_of(DolbyLevelOrigin::measured, parameters);
    use.channels = static_cast<int>(measurement.channels.size());
    use.lanes = measurement.lanes;
    if (any_measured(use)) {
        parameters.values.dolby_enabled = 1;
        parameters.values.pc_recording_volume = window_volume(use);
    }
    note_switches(use, parameters);
    return use;
}

double window_volume(const DolbyLevelUse& use) {
    bool limited = false;
    switch (use.origin) {
        case DolbyLevelOrigin::setting:
            break;
        case DolbyLevelOrigin::given:
            return volume_for_level(use.given_dbfs, k_dolby_level_at_unity_dbfs, limited);
        case DolbyLevelOrigin::measured:
            if (!use.lanes.empty() && use.lanes.front().remover_on) return use.lanes.front().volume;
            break;
    }
    return use.setting_volume;
}

double lane_dolby_level(const DolbyLevelUse& use, const DolbyLevelChoice& lane) {
    if (!lane.remover_on) return dolby_level_for_volume(use.setting_volume);
    return measured_dolby_level(lane.basis, lane.measured_dbfs);
}

double lane_channel_dolby_level(const DolbyLevelUse& use, const DolbyLevelChoice& lane,
                                int channel) {
    if (!lane.remover_on) return lane_dolby_level(use, lane);
    return channel_dolby_level(lane, channel);
}

double use_dolby_level(const DolbyLevelUse& use) {
    if (use.origin == DolbyLevelOrigin::given) return use.given_dbfs;
    if (use.origin == DolbyLevelOrigin::measured && !use.lanes.empty())
        return lane_dolby_level(use, use.lanes.front());
    return dolby_level_for_volume(use.setting_volume);
}

double decoder_volume(const DolbyLevelUse& use, double level_dbfs, bool& limited) {
    if (!use.standard_decoder)
        return volume_for_level(level_dbfs, k_dolby_level_at_unity_dbfs, limited);
    limited = false;
    if (!std::isfinite(level_dbfs)) return 1.0;
    return volume_for_dolby_level(
        std::clamp(level_dbfs, k_lowest_decoded_level_dbfs, k_highest_decoded_level_dbfs));
}

double lane_channel_volume(const DolbyLevelUse& use, const DolbyLevelChoice& lane, int channel) {
    // A pair with nothing to measure is worked on as the settings say.
    if (!lane.remover_on) return use.setting_volume;
    if (!use.standard_decoder) return channel_volume(lane, channel);
    bool limited = false;
    return decoder_volume(use, lane_channel_dolby_level(use, lane, channel), limited);
}

std::vector<double> chain_channel_volumes(const DolbyLevelUse& use, int channels) {
    std::vector<double> volumes;
    bool limited = false;
    switch (use.origin) {
        case DolbyLevelOrigin::setting:
            break;
        case DolbyLevelOrigin::given:
            volumes.assign(static_cast<std::size_t>(std::max(channels, 0)),
                           decoder_volume(use, use.given_dbfs, limited));
            break;
        case DolbyLevelOrigin::measured:
            if (!any_measured(use)) break;
            for (const DolbyLevelChoice& lane : use.lanes)
                for (int c = 0; c < lane.channels; ++c)
                    volumes.push_back(lane_channel_volume(use, lane, c));
            break;
    }
    return volumes;
}

}  // namespace varnolt::cli
