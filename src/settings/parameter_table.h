#pragma once
// The INI sections and keys of every persisted parameter, in the order in which they are saved
// and loaded. Save, load and the tests walk the same table, so the key order lives in one place.

#include <cstdio>

#include "settings/control_ranges.h"
#include "settings/parameters.h"

namespace varnolt {

namespace section {
constexpr const char* plugin_configuration = "Plugin Configuration";
constexpr const char* common = "Common";
constexpr const char* singleband = "Singleband Compressor";
constexpr const char* dolby = "Dolby B Remover";
constexpr const char* bias = "Bias";
constexpr const char* fm_filter = "FM stereo noise filter";
}  // namespace section

// How a field's text is read back.
enum class FieldKind {
    real,     // decimal conversion; empty text keeps the value
    flag,     // low byte of the integer conversion; empty text keeps the value
    quality,  // read as a real from the current value, truncated, limited to 0..2
    stamp,    // "Ikke": read as a real from -1, truncated
};

struct ParameterField {
    const char* section;
    const char* key;
    FieldKind kind;
    relaxed<double>* real = nullptr;       // FieldKind::real
    relaxed<flag>* switch_byte = nullptr;  // FieldKind::flag
    relaxed<int>* integer = nullptr;       // FieldKind::quality and FieldKind::stamp
    // The window slider's range for a real value; null where the window has no slider for it.
    const ControlRange* range = nullptr;
};

constexpr int k_plugin_configuration_keys = 4;
// The keys of the five processing sections, which are also what a preset holds.
constexpr int k_processing_keys = 42;

inline ParameterField real_field(const char* s, const char* k, relaxed<double>& v,
                                 const ControlRange* range = nullptr) {
    ParameterField f{s, k, FieldKind::real};
    f.real = &v;
    f.range = range;
    return f;
}
inline ParameterField flag_field(const char* s, const char* k, relaxed<flag>& v) {
    ParameterField f{s, k, FieldKind::flag};
    f.switch_byte = &v;
    return f;
}
inline ParameterField int_field(const char* s, const char* k, FieldKind kind, relaxed<int>& v) {
    ParameterField f{s, k, kind};
    f.integer = &v;
    return f;
}

// Calls visit(field) for the four "Plugin Configuration" keys, in file order.
template <class Visit>
void for_each_plugin_configuration_field(Settings& s, Visit&& visit) {
    const char* pc = section::plugin_configuration;
    visit(flag_field(pc, "Iconify at startup", s.iconify_at_startup));
    visit(real_field(pc, "CPU usage - Screen refresh speed", s.screen_refresh_speed,
                     &control_range::screen_refresh_speed));
    visit(int_field(pc, "CPU usage - Quality", FieldKind::quality, s.quality));
    visit(int_field(pc, "Ikke", FieldKind::stamp, s.ikke));
}

// Calls visit(field) for the 42 keys of the five processing sections, in file order.
template <class Visit>
void for_each_processing_field(Settings& s, Visit&& visit) {
    visit(real_field(section::common, "Post amplifier", s.post_amplifier,
                     &control_range::post_amplifier));
    visit(flag_field(section::singleband, "Enabled", s.singleband_enabled));

    const char* dolby = section::dolby;
    visit(real_field(dolby, "PC Recording Volume", s.pc_recording_volume,
                     &control_range::pc_recording_volume));
    visit(flag_field(dolby, "Enabled", s.dolby_enabled));
    visit(flag_field(dolby, "Difference", s.dolby_difference));
    visit(real_field(dolby, "Attack speed", s.attack_speed));
    visit(real_field(dolby, "Decay speed", s.decay_speed));
    visit(real_field(dolby, "Dolby strength", s.dolby_strength));
    visit(flag_field(dolby, "Standard decoder", s.standard_decoder));

    const char* bias = section::bias;
    visit(flag_field(bias, "Enabled", s.bias_enabled));
    visit(real_field(bias, "Main Pre Amplifier Left", s.pre_amplifier_left,
                     &control_range::pre_amplifier));
    visit(real_field(bias, "Main Pre Amplifier Right", s.pre_amplifier_right,
                     &control_range::pre_amplifier));
    for (int band = 1; band <= k_equaliser_bands; ++band) {
        char left_key[40];
        char right_key[40];
        std::snprintf(left_key, sizeof left_key, "Amplification - Band %d Left", band);
        std::snprintf(right_key, sizeof right_key, "Amplification - Band %d Right", band);
        visit(real_field(bias, left_key, s.bands[band].left, &control_range::band_gain));
        visit(real_field(bias, right_key, s.bands[band].right, &control_range::band_gain));
    }
    visit(real_field(bias, "Maximum automatic volume adjustment", s.maximum_auto_adjustment,
                     &control_range::maximum_auto_adjustment));
    visit(flag_field(bias, "Right channel amplification relative to left channel",
                     s.right_relative_to_left));
    visit(flag_field(bias, "Left channel amplification relative to right channel",
                     s.left_relative_to_right));
    visit(flag_field(bias, "Auto-adjust left channel amplification", s.auto_adjust_left));
    visit(flag_field(bias, "Auto-adjust right channel amplification", s.auto_adjust_right));
    visit(flag_field(bias, "Auto-adjust clustered", s.auto_adjust_clustered));
    visit(flag_field(bias, "Auto-adjust bias only", s.auto_adjust_bias_only));

    const char* fm = section::fm_filter;
    visit(flag_field(fm, "Enabled", s.fm_enabled));
    visit(flag_field(fm, "Difference", s.fm_difference));
    visit(real_field(fm, "Ignore lowest percentage", s.ignore_lowest_percentage,
                     &control_range::fm_ignore_lowest));
    visit(real_field(fm, "Multiply by", s.multiply_by, &control_range::fm_multiply_by));
    visit(real_field(fm, "Reduce stereo noise by percentage", s.reduce_percentage,
                     &control_range::fm_reduce));
    visit(real_field(fm, "Delay time", s.delay_time, &control_range::fm_delay_time));
    visit(real_field(fm, "Signal roughness", s.signal_roughness,
                     &control_range::fm_signal_roughness));
}

}  // namespace varnolt
