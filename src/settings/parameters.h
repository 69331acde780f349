#pragma once
// Every user parameter of the plug-in, as the live values that the window writes and the audio
// path reads, and as the persisted Settings record that the file operations work on.

#include <cstdint>

#include "settings/modes.h"
#include "settings/relaxed.h"

namespace varnolt {

// One byte per switch: 0 off, anything else on. Byte values read from a file other than 0 and 1
// are kept as they are (a hand-edited 7 still counts as on).
using flag = std::uint8_t;

// Band 0 is a ninth pair that is copied along with the others but never written to a file.
constexpr int k_band_pairs = 9;
constexpr int k_equaliser_bands = 8;

// Bit patterns of the Dolby B envelope coefficients as first shipped; they have no window control
// and must survive a save/load cycle at nine decimals.
constexpr std::uint64_t k_attack_speed_bits = 0x3ED326090CFA4723ull;
constexpr std::uint64_t k_decay_speed_bits = 0x3F2B866E43AA8000ull;

double double_from_bits(std::uint64_t bits);

struct BandGain {
    relaxed<double> left = 1.0;
    relaxed<double> right = 1.0;
};

// Field defaults are the first-start values: what is in force when the INI file lacks a key.
// Every field is a relaxed value: in `live` the window thread writes them (controls, RESET,
// presets, Init) while the playback thread reads them at its next sample or block.
struct Settings {
    // "Plugin Configuration"
    relaxed<flag> iconify_at_startup = 0;
    relaxed<double> screen_refresh_speed = 1.0;
    relaxed<int> quality = 1;  // 0 high, 1 normal, 2 low
    relaxed<int> ikke = -1;    // time stamp of the first save; -1 until then

    // "Common"
    relaxed<double> post_amplifier = 1.0;

    // "Singleband Compressor"
    relaxed<flag> singleband_enabled = 0;

    // "Dolby B Remover"
    relaxed<double> pc_recording_volume = 1.0;
    relaxed<flag> dolby_enabled = 0;
    relaxed<flag> dolby_difference = 0;
    relaxed<double> attack_speed = double_from_bits(k_attack_speed_bits);
    relaxed<double> decay_speed = double_from_bits(k_decay_speed_bits);
    relaxed<double> dolby_strength = 1.0;
    // 0: the table remover the window's controls describe; else the standard decoder, the exact
    // inverse of a Dolby B encoder, working at the Dolby level "PC Recording Volume" stands for.
    // No window control: the INI file, presets, the tool and the LV2 plug-in choose it.
    relaxed<flag> standard_decoder = 0;

    // "Bias"
    relaxed<flag> bias_enabled = 1;
    relaxed<double> pre_amplifier_left = 1.0;
    relaxed<double> pre_amplifier_right = 1.0;
    BandGain bands[k_band_pairs];
    relaxed<double> maximum_auto_adjustment = 2.0;
    relaxed<flag> right_relative_to_left = 0;
    relaxed<flag> left_relative_to_right = 1;
    relaxed<flag> auto_adjust_left = 0;
    relaxed<flag> auto_adjust_right = 0;
    relaxed<flag> auto_adjust_clustered = 1;
    relaxed<flag> auto_adjust_bias_only = 1;

    // "FM stereo noise filter"
    relaxed<flag> fm_enabled = 0;
    relaxed<flag> fm_difference = 0;
    relaxed<double> ignore_lowest_percentage = 25.0;
    relaxed<double> multiply_by = 2.0;
    relaxed<double> reduce_percentage = 150.0;
    relaxed<double> delay_time = 2.0;  // seconds
    relaxed<double> signal_roughness = 7.5;
};

// Live values: the persisted ones plus the switches that are never saved. The azimuth values
// start at the defaults the stereo processor writes when it is built.
struct LiveParameters {
    Settings values;
    relaxed<flag> azimuth_enabled = 1;
    relaxed<double> azimuth_limit = 20.0;  // micrometres
    relaxed<double> azimuth_speed = 0.4;   // micrometres per second
    relaxed<flag> mono = 0;
    relaxed<flag> show_tone_level = 0;
    // Bypass, full, or without the Dolby B remover: the tray icon's and the radio buttons' choice,
    // not saved (Init sets it from the window level).
    relaxed<int> processing_mode = k_mode_full;
};

}  // namespace varnolt
