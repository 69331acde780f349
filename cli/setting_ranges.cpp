#include "setting_ranges.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "settings/parameters.h"

namespace varnolt::cli {
namespace {

// The chain divides by "PC Recording Volume" and takes 1 for a value nearer 0 than this.
constexpr double k_smallest_working_pc_volume = 1e-9;
// The automatic adjustment raises the weaker channel of a band, never lowers it: a maximum
// below 1 acts as 1.
constexpr double k_least_auto_adjustment = 1.0;

struct WindowRange {
    double lowest;
    double highest;
};

std::string number_text(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The range of the window's slider that edits `field` of `values`, the way the slider reads:
// from 0 (or the floor its reading never goes below) to its maximum. The window's slider table
// (ui/window_controls.cpp) is bound to the player's own live values, so the tool, which has
// values of its own, states the ranges by field here; a tool test checks each one.
std::optional<WindowRange> window_range(const relaxed<double>* field, const Settings& values) {
    const struct {
        const relaxed<double>* field;
        WindowRange range;
    } sliders[] = {
        {&values.screen_refresh_speed, {0.0, 1.0}},
        {&values.post_amplifier, {0.0, 10.0}},
        {&values.pc_recording_volume, {0.1, 5.0}},
        {&values.pre_amplifier_left, {0.0, 2.5}},
        {&values.pre_amplifier_right, {0.0, 2.5}},
        {&values.maximum_auto_adjustment, {k_least_auto_adjustment, 5.0}},
        {&values.ignore_lowest_percentage, {0.0, 100.0}},
        {&values.multiply_by, {0.0, 5.0}},
        {&values.reduce_percentage, {0.0, 300.0}},
        {&values.delay_time, {0.0, 4.0}},
        {&values.signal_roughness, {0.0, 100.0}},
    };
    for (const auto& slider : sliders)
        if (slider.field == field) return slider.range;
    for (int band = 1; band <= k_equaliser_bands; ++band)
        if (field == &values.bands[band].left || field == &values.bands[band].right)
            return WindowRange{0.0, 5.0};
    return std::nullopt;
}

// The value the processing works with in place of `value`.
double value_in_use(const relaxed<double>* field, double value, const Settings& values) {
    if (field == &values.pc_recording_volume && std::fabs(value) < k_smallest_working_pc_volume)
        return 1.0;
    if (field == &values.maximum_auto_adjustment) return std::max(value, k_least_auto_adjustment);
    return value;
}

}  // namespace

std::string outside_window_range(const NamedSetting& setting, double value,
                                 const Settings& values) {
    if (setting.field.kind != FieldKind::real) return std::string();
    const std::optional<WindowRange> range = window_range(setting.field.real, values);
    if (!range || (value >= range->lowest && value <= range->highest)) return std::string();
    const double used = value_in_use(setting.field.real, value, values);
    const double shown = std::clamp(value, range->lowest, range->highest);
    return "outside the window's range " + number_text(range->lowest) + " .. " +
           number_text(range->highest) + "; the processing uses " + number_text(used) +
           (used == value ? " as given" : " in its place") + ", the player's window would set " +
           number_text(shown) + " once touched";
}

}  // namespace varnolt::cli
