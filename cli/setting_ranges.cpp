#include "setting_ranges.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "chain/instance.h"
#include "plugin/dll_instance.h"
#include "settings/parameters.h"
#include "ui/window_controls.h"

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

// The slider that edits the setting's live value: every slider reads from 0 (or its floor) to
// its maximum.
std::optional<WindowRange> window_range(const NamedSetting& setting) {
    if (setting.field.kind != FieldKind::real) return std::nullopt;
    for (const SliderSpec& spec : slider_specs)
        if (&spec.value() == setting.field.real)
            return WindowRange{std::max(0.0, spec.lowest_value), spec.maximum};
    return std::nullopt;
}

// The value the processing works with in place of `value`.
double value_in_use(const NamedSetting& setting, double value) {
    auto& live = setting.field.real;
    Settings& values = dll_instance().live.values;
    if (live == &values.pc_recording_volume && std::fabs(value) < k_smallest_working_pc_volume)
        return 1.0;
    if (live == &values.maximum_auto_adjustment) return std::max(value, k_least_auto_adjustment);
    return value;
}

}  // namespace

std::string outside_window_range(const NamedSetting& setting, double value) {
    const std::optional<WindowRange> range = window_range(setting);
    if (!range || (value >= range->lowest && value <= range->highest)) return std::string();
    const double used = value_in_use(setting, value);
    const double shown = std::clamp(value, range->lowest, range->highest);
    return "outside the window's range " + number_text(range->lowest) + " .. " +
           number_text(range->highest) + "; the processing uses " + number_text(used) +
           (used == value ? " as given" : " in its place") + ", the player's window would set " +
           number_text(shown) + " once touched";
}

}  // namespace varnolt::cli
