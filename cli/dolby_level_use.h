#pragma once
// What the Dolby B stage decodes a file with: the decoder, the Dolby level it works at and where
// that level came from, and the "PC Recording Volume" each channel is worked on at.
//
// The Dolby level is the one calibration number of a tape; "PC Recording Volume" is that level as
// a factor on the input (level/dolby_level.h). The standard decoder is the exact inverse of a
// Dolby B encoder, so it is worked at exactly the volume its level calls for, however finely that
// falls. The table remover only comes near Dolby B, nearest at the level fitted for it; it works
// on the window slider's steps, as the player would set it. Either way the window's value, the one
// --print-settings lists and --save-settings writes, lies on the slider.

#include <vector>

#include "dolby_level_measurement.h"
#include "level/dolby_level.h"

namespace varnolt {
struct LiveParameters;
}

namespace varnolt::cli {

// The Dolby levels --dolby-level takes, in dBFS: a transfer's line-up tone lies within them.
constexpr double k_lowest_given_dolby_level_dbfs = -60.0;
constexpr double k_highest_given_dolby_level_dbfs = 6.0;

enum class DolbyLevelOrigin {
    setting,   // "PC Recording Volume" as the settings give it
    given,     // --dolby-level DBFS
    measured,  // --dolby-level auto: each channel pair's own
};

struct DolbyLevelUse {
    DolbyLevelOrigin origin = DolbyLevelOrigin::setting;
    bool standard_decoder = false;
    bool remover_on = false;  // the Dolby B remover is switched on, by the settings or the level
    // The Dolby B stage runs on the file: the remover is switched on and the processing mode lets
    // it decode.
    bool decodes = false;
    double setting_volume = 1.0;          // "PC Recording Volume" as the settings asked for it
    double given_dbfs = 0.0;              // origin given
    int channels = 0;                     // origin measured: the file's
    std::vector<DolbyLevelChoice> lanes;  // origin measured: one per channel pair
};

// The Dolby level "PC Recording Volume" as set stands for.
DolbyLevelUse setting_level_use(const LiveParameters& parameters);

// --dolby-level DBFS: switches the remover on and sets the window's value for the level.
DolbyLevelUse given_level_use(double level_dbfs, LiveParameters& parameters);

// --dolby-level auto: switches the remover on and sets the window's value to the first pair's
// when any pair had programme to go by; the settings stay as asked otherwise.
DolbyLevelUse measured_level_use(const DolbyLevelMeasurement& measurement,
                                 LiveParameters& parameters);

// The window's "PC Recording Volume": on the slider's steps and within its limits, except for a
// setting, which stays as asked.
double window_volume(const DolbyLevelUse& use);

// A pair's Dolby level: the mean of its measured channels' levels, or what the settings give it
// when it had nothing to measure.
double lane_dolby_level(const DolbyLevelUse& use, const DolbyLevelChoice& lane);
// A channel's own Dolby level within its pair.
double lane_channel_dolby_level(const DolbyLevelUse& use, const DolbyLevelChoice& lane,
                                int channel);

// The Dolby level of a given level or a setting (not of a measured file: see the lanes).
double use_dolby_level(const DolbyLevelUse& use);

// The volume the decoder works on at for a Dolby level: exactly the level's for the standard
// decoder, finite and positive; on the slider for the table remover. `limited` says the slider
// held it at its end.
double decoder_volume(const DolbyLevelUse& use, double level_dbfs, bool& limited);

// The volume a channel of a measured pair is worked on at.
double lane_channel_volume(const DolbyLevelUse& use, const DolbyLevelChoice& lane, int channel);

// The volume each of a file's `channels` channels is worked on at; empty when the setting holds
// for all (as it does where no pair had anything to measure).
std::vector<double> chain_channel_volumes(const DolbyLevelUse& use, int channels);

}  // namespace varnolt::cli
