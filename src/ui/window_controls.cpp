#include "ui/window_controls.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "chain/instance.h"
#include "processors/processor.h"
#include "processors/processor_set.h"
#include "processors/singleband.h"
#include "settings/ini_path.h"
#include "settings/parameters.h"
#include "settings/settings_file.h"
#include "ui/plugin_state.h"
#include "ui/resource_ids.h"
#include "ui/window_binding.h"

namespace varnolt {

WindowControlState window_controls;

namespace {

constexpr double k_label_nudge = 1e-7;
constexpr const char* k_two_decimals = "%1d.%02d";

template <int Band>
relaxed<double>& band_left() {
    return window_instance().live.values.bands[Band].left;
}
template <int Band>
relaxed<double>& band_right() {
    return window_instance().live.values.bands[Band].right;
}
relaxed<double>& pc_volume() {
    return window_instance().live.values.pc_recording_volume;
}
relaxed<double>& pre_left() {
    return window_instance().live.values.pre_amplifier_left;
}
relaxed<double>& pre_right() {
    return window_instance().live.values.pre_amplifier_right;
}
relaxed<double>& post_amplifier() {
    return window_instance().live.values.post_amplifier;
}
relaxed<double>& maximum_auto() {
    return window_instance().live.values.maximum_auto_adjustment;
}
relaxed<double>& azimuth_limit() {
    return window_instance().live.azimuth_limit;
}
relaxed<double>& azimuth_speed() {
    return window_instance().live.azimuth_speed;
}
relaxed<double>& fm_ignore() {
    return window_instance().live.values.ignore_lowest_percentage;
}
relaxed<double>& fm_multiply() {
    return window_instance().live.values.multiply_by;
}
relaxed<double>& fm_reduce() {
    return window_instance().live.values.reduce_percentage;
}
relaxed<double>& fm_delay() {
    return window_instance().live.values.delay_time;
}
relaxed<double>& fm_rough() {
    return window_instance().live.values.signal_roughness;
}
relaxed<double>& refresh_speed() {
    return window_instance().live.values.screen_refresh_speed;
}

constexpr SliderSpec band_spec(int id, int label, relaxed<double>& (*value)()) {
    return {id, label, control_range::band_gain, true, k_two_decimals, 100, value};
}

int trunc_int(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(
        std::trunc(std::clamp(v, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX))));
}

// Reads one check box into a switch byte.
void read_flag(ControlPort& port, int id, relaxed<flag>& target) {
    target = port.is_checked(id) ? 1 : 0;
}

// At most one of two boxes stays checked: when both report checked, the one that was on goes
// off and the newly checked one stays on.
void read_exclusive_pair(ControlPort& port, int first_id, relaxed<flag>& first, int second_id,
                         relaxed<flag>& second) {
    const flag first_before = first, second_before = second;
    read_flag(port, first_id, first);
    const bool second_checked = port.is_checked(second_id);
    if (first && second_checked) {
        first = first_before ? 0 : 1;
        second = second_before ? 0 : 1;
    } else {
        second = second_checked ? 1 : 0;
    }
}

// Only a newly selected radio button changes the quality: the one that matches is not asked.
void read_quality(ControlPort& port) {
    relaxed<int>& q = window_instance().live.values.quality;
    const bool high = q != 0 && port.is_checked(IDC_QUALITY_HIGH);
    const bool normal = q != 1 && port.is_checked(IDC_QUALITY_NORMAL);
    const bool low = q != 2 && port.is_checked(IDC_QUALITY_LOW);
    if (low) q = 2;
    if (high) q = 0;
    if (normal) q = 1;
}

void read_slider(ControlPort& port, int index) {
    const SliderSpec& spec = slider_specs[index];
    spec.value() = slider_value_at(spec, port.slider_position(spec.id));
}

}  // namespace

const SliderSpec slider_specs[k_sliders] = {
    {IDC_PC_VOLUME, IDC_LABEL_PC_VOLUME, control_range::pc_recording_volume, false, k_two_decimals,
     100, pc_volume},
    band_spec(IDC_BAND1_LEFT, IDC_LABEL_BAND1_LEFT, band_left<1>),
    band_spec(IDC_BAND2_LEFT, IDC_LABEL_BAND2_LEFT, band_left<2>),
    band_spec(IDC_BAND3_LEFT, IDC_LABEL_BAND3_LEFT, band_left<3>),
    band_spec(IDC_BAND4_LEFT, IDC_LABEL_BAND4_LEFT, band_left<4>),
    band_spec(IDC_BAND5_LEFT, IDC_LABEL_BAND5_LEFT, band_left<5>),
    band_spec(IDC_BAND6_LEFT, IDC_LABEL_BAND6_LEFT, band_left<6>),
    band_spec(IDC_BAND7_LEFT, IDC_LABEL_BAND7_LEFT, band_left<7>),
    band_spec(IDC_BAND8_LEFT, IDC_LABEL_BAND8_LEFT, band_left<8>),
    band_spec(IDC_BAND1_RIGHT, IDC_LABEL_BAND1_RIGHT, band_right<1>),
    band_spec(IDC_BAND2_RIGHT, IDC_LABEL_BAND2_RIGHT, band_right<2>),
    band_spec(IDC_BAND3_RIGHT, IDC_LABEL_BAND3_RIGHT, band_right<3>),
    band_spec(IDC_BAND4_RIGHT, IDC_LABEL_BAND4_RIGHT, band_right<4>),
    band_spec(IDC_BAND5_RIGHT, IDC_LABEL_BAND5_RIGHT, band_right<5>),
    band_spec(IDC_BAND6_RIGHT, IDC_LABEL_BAND6_RIGHT, band_right<6>),
    band_spec(IDC_BAND7_RIGHT, IDC_LABEL_BAND7_RIGHT, band_right<7>),
    band_spec(IDC_BAND8_RIGHT, IDC_LABEL_BAND8_RIGHT, band_right<8>),
    {IDC_PRE_LEFT, IDC_LABEL_PRE_LEFT, control_range::pre_amplifier, false, k_two_decimals, 100,
     pre_left},
    {IDC_PRE_RIGHT, IDC_LABEL_PRE_RIGHT, control_range::pre_amplifier, false, k_two_decimals, 100,
     pre_right},
    {IDC_POST_AMP, IDC_LABEL_POST_AMP, control_range::post_amplifier, false, k_two_decimals, 100,
     post_amplifier},
    {IDC_MAX_AUTO, IDC_LABEL_MAX_AUTO, control_range::maximum_auto_adjustment, false,
     k_two_decimals, 100, maximum_auto},
    {IDC_AZIMUTH_LIMIT, IDC_LABEL_AZIMUTH_LIMIT, control_range::azimuth_limit, false, "%d", 100,
     azimuth_limit},
    {IDC_AZIMUTH_SPEED, IDC_LABEL_AZIMUTH_SPEED, control_range::azimuth_speed, false, "%1d.%01d",
     10, azimuth_speed},
    {IDC_FM_IGNORE, IDC_LABEL_FM_IGNORE, control_range::fm_ignore_lowest, false, "%d%%", 1,
     fm_ignore},
    {IDC_FM_MULTIPLY, IDC_LABEL_FM_MULTIPLY, control_range::fm_multiply_by, false, "* %1d.%02d",
     100, fm_multiply},
    {IDC_FM_REDUCE, IDC_LABEL_FM_REDUCE, control_range::fm_reduce, true, "%d%%", 1, fm_reduce},
    {IDC_FM_DELAY, IDC_LABEL_FM_DELAY, control_range::fm_delay_time, true, "%1d.%02d s", 100,
     fm_delay},
    {IDC_FM_ROUGH, IDC_NO_LABEL, control_range::fm_signal_roughness, true, "", 1, fm_rough},
    {IDC_REFRESH_SPEED, IDC_NO_LABEL, control_range::screen_refresh_speed, true, "", 1,
     refresh_speed},
};

int slider_position_for(const SliderSpec& spec, double v) {
    const int top = trunc_int(100.0 * spec.range.highest);
    const double raw = spec.vertical ? 100.0 * (spec.range.highest - v) + 0.5 : 100.0 * v + 0.5;
    return std::clamp(trunc_int(raw), 0, top);
}

double slider_value_at(const SliderSpec& spec, int position) {
    const int top = trunc_int(100.0 * spec.range.highest);
    const double value = (spec.vertical ? top - position : position) / 100.0;
    // The reading never goes below the range's floor, where the processing needs one.
    return std::max(value, spec.range.lowest);
}

void slider_label_text(const SliderSpec& spec, double v, char* text, int capacity) {
    const int m = spec.multiplier;
    // Slider values are hundredths that binary fractions miss by a hair (0.29 is stored as
    // 0.28999...): nudge by far less than a display step so their digits are not cut one short.
    const double nudge = k_label_nudge * (v < 0.0 ? -1.0 : 1.0);
    std::snprintf(text, capacity, spec.format, trunc_int(v + nudge),
                  trunc_int(m * (v + nudge)) % m);
}

void set_slider(ControlPort& port, int index, double v, bool force) {
    const SliderSpec& spec = slider_specs[index];
    double& last = window_controls.slider_last_value[index];
    if (v == last && !force) return;
    const int top = trunc_int(100.0 * spec.range.highest);
    port.set_slider(spec.id, top, spec.range.highest > 20.0 ? 1000 : 100,
                    slider_position_for(spec, v));
    if (spec.label != IDC_NO_LABEL) {
        char text[32];
        slider_label_text(spec, v, text, sizeof text);
        port.set_label(spec.label, text);
    }
    last = v;
}

void read_checkboxes(ControlPort& port) {
    LiveParameters& live = window_instance().live;
    Settings& p = live.values;
    read_flag(port, IDC_ICONIFY, p.iconify_at_startup);
    read_flag(port, IDC_CONSTANT_VOLUME, p.singleband_enabled);
    read_flag(port, IDC_BIAS_ON, p.bias_enabled);
    read_flag(port, IDC_DOLBY_ON, p.dolby_enabled);
    read_flag(port, IDC_DOLBY_DIFF, p.dolby_difference);
    read_exclusive_pair(port, IDC_RIGHT_RELATIVE, p.right_relative_to_left, IDC_LEFT_RELATIVE,
                        p.left_relative_to_right);
    read_flag(port, IDC_CLUSTERED, p.auto_adjust_clustered);
    read_flag(port, IDC_BIAS_ONLY, p.auto_adjust_bias_only);
    read_exclusive_pair(port, IDC_LEFT_AUTO, p.auto_adjust_left, IDC_RIGHT_AUTO,
                        p.auto_adjust_right);
    read_flag(port, IDC_TONE, live.show_tone_level);
    read_flag(port, IDC_AZIMUTH_ON, live.azimuth_enabled);
    read_flag(port, IDC_FM_ON, p.fm_enabled);
    read_flag(port, IDC_FM_DIFF, p.fm_difference);
    read_flag(port, IDC_MONO, live.mono);
    read_quality(port);
}

void read_controls(ControlPort& port) {
    port.settle();
    // pc volume, the pre-amplifiers, post amplifier, max rel amp; then the boxes; then the rest
    for (int index : {0, 17, 18, 19, 20}) read_slider(port, index);
    read_checkboxes(port);
    for (int index = 1; index <= 16; ++index) read_slider(port, index);
    for (int index = 21; index < k_sliders; ++index) read_slider(port, index);
}

void apply_controls(ControlPort& port, bool force) {
    for (int index = 0; index < k_sliders; ++index)
        set_slider(port, index, slider_specs[index].value(), force);
    LiveParameters& live = window_instance().live;
    const Settings& p = live.values;
    const struct {
        int id;
        bool checked;
    } boxes[] = {
        {IDC_CONSTANT_VOLUME, p.singleband_enabled != 0},
        {IDC_BIAS_ON, p.bias_enabled != 0},
        {IDC_DOLBY_ON, p.dolby_enabled != 0},
        {IDC_DOLBY_DIFF, p.dolby_difference != 0},
        {IDC_QUALITY_HIGH, p.quality == k_quality_high},
        {IDC_QUALITY_NORMAL, p.quality == k_quality_normal},
        {IDC_QUALITY_LOW, p.quality == k_quality_low},
        {IDC_ICONIFY, p.iconify_at_startup != 0},
        {IDC_RIGHT_RELATIVE, p.right_relative_to_left != 0},
        {IDC_LEFT_RELATIVE, p.left_relative_to_right != 0},
        {IDC_LEFT_AUTO, p.auto_adjust_left != 0},
        {IDC_RIGHT_AUTO, p.auto_adjust_right != 0},
        {IDC_CLUSTERED, p.auto_adjust_clustered != 0},
        {IDC_BIAS_ONLY, p.auto_adjust_bias_only != 0},
        {IDC_TONE, live.show_tone_level != 0},
        {IDC_AZIMUTH_ON, live.azimuth_enabled != 0},
        {IDC_FM_ON, p.fm_enabled != 0},
        {IDC_FM_DIFF, p.fm_difference != 0},
        {IDC_MONO, live.mono != 0},
    };
    for (const auto& box : boxes) port.post_check(box.id, box.checked);
    save_all_settings(live, ini_path, true);
}

void reset_parameters() {
    Instance& shown = window_instance();
    if (shown.processors.tape) shown.processors.tape->reset_defaults();
    if (shown.processors.stereo) shown.processors.stereo->reset_defaults();
    if (shown.processors.singleband) shown.processors.singleband->reset_defaults();
    Settings& p = shown.live.values;
    p.dolby_difference = 0;
    p.singleband_enabled = 0;
    p.post_amplifier = 1.0;
    p.right_relative_to_left = 0;
    p.left_relative_to_right = 0;
    p.auto_adjust_left = 0;
    p.auto_adjust_right = 0;
    p.auto_adjust_clustered = 1;
    p.auto_adjust_bias_only = 1;
    p.bias_enabled = 0;
    p.dolby_enabled = 0;
}

int window_level_mode() {
    const LiveParameters& live = window_instance().live;
    const Settings& p = live.values;
    if (p.dolby_enabled) return k_mode_full;
    if (live.azimuth_enabled || p.fm_enabled || p.bias_enabled) return k_mode_without_dolby;
    return k_mode_bypass;
}

int next_tray_mode(int mode) {
    const LiveParameters& live = window_instance().live;
    const Settings& p = live.values;
    int next = (mode + 1) % 3;
    if (next == k_mode_full && !p.dolby_enabled) next = k_mode_without_dolby;
    if (next == k_mode_without_dolby && !live.azimuth_enabled && !p.fm_enabled && !p.bias_enabled)
        next = k_mode_bypass;
    return next;
}

}  // namespace varnolt
