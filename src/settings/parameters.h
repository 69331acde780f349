#pragma once
// Every user parameter of the plug-in, as the live values that the window writes and the audio
// path reads, and as the persisted Settings record that the file operations work on.

#include <cstdint>

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
    double left = 1.0;
    double right = 1.0;
};

// Field defaults are the first-start values: what is in force when the INI file lacks a key.
struct Settings {
    // "Plugin Configuration"
    flag iconify_at_startup = 0;
    double screen_refresh_speed = 1.0;
    int quality = 1;  // 0 high, 1 normal, 2 low
    int ikke = -1;    // time stamp of the first save; -1 until then

    // "Common"
    double post_amplifier = 1.0;

    // "Singleband Compressor"
    flag singleband_enabled = 0;

    // "Dolby B Remover"
    double pc_recording_volume = 1.0;
    flag dolby_enabled = 0;
    flag dolby_difference = 0;
    double attack_speed = double_from_bits(k_attack_speed_bits);
    double decay_speed = double_from_bits(k_decay_speed_bits);
    double dolby_strength = 1.0;

    // "Bias"
    flag bias_enabled = 1;
    double pre_amplifier_left = 1.0;
    double pre_amplifier_right = 1.0;
    BandGain bands[k_band_pairs];
    double maximum_auto_adjustment = 2.0;
    flag right_relative_to_left = 0;
    flag left_relative_to_right = 1;
    flag auto_adjust_left = 0;
    flag auto_adjust_right = 0;
    flag auto_adjust_clustered = 1;
    flag auto_adjust_bias_only = 1;

    // "FM stereo noise filter"
    flag fm_enabled = 0;
    flag fm_difference = 0;
    double ignore_lowest_percentage = 25.0;
    double multiply_by = 2.0;
    double reduce_percentage = 150.0;
    double delay_time = 2.0;  // seconds
    double signal_roughness = 7.5;
};

// Live values: the persisted ones plus the switches that are never saved. The azimuth values
// start at the defaults the stereo processor writes when it is built.
struct LiveParameters {
    Settings values;
    flag azimuth_enabled = 1;
    double azimuth_limit = 20.0;  // micrometres
    double azimuth_speed = 0.4;   // micrometres per second
    flag mono = 0;
    flag show_tone_level = 0;
};

// Written by the window thread, read by the playback thread without locking.
extern LiveParameters live;
// The persisted copy the file operations fill and read.
extern Settings settings;

// Copies every live parameter into `settings`.
void capture_settings();
// Copies every field of `settings` into the live parameters; the FM "Difference" switch is
// normalised to 0 or 1 on the way because the filter uses it as a factor.
void apply_settings();

}  // namespace varnolt
