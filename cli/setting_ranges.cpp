#include "setting_ranges.h"

#include <algorithm>
#include <cmath>

#include "settings/parameter_table.h"
#include "text_format.h"

namespace varnolt::cli {
namespace {

// The chain divides by "PC Recording Volume" and takes 1 for a value nearer 0 than this.
constexpr double k_smallest_working_pc_volume = 1e-9;
// The automatic adjustment raises the weaker channel of a band, never lowers it: a maximum
// below 1 acts as 1.
constexpr double k_least_auto_adjustment = 1.0;

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
    // The parameter table carries the window slider's range with each key that has one.
    const ControlRange* range = setting.field.range;
    if (setting.field.kind != FieldKind::real || range == nullptr ||
        (value >= range->lowest && value <= range->highest))
        return std::string();
    const double used = value_in_use(setting.field.real, value, values);
    const double shown = std::clamp(value, range->lowest, range->highest);
    return "outside the window's range " + short_number_text(range->lowest) + " .. " +
           short_number_text(range->highest) + "; the processing uses " + short_number_text(used) +
           (used == value ? " as given" : " in its place") + ", the player's window would set " +
           short_number_text(shown) + " once touched";
}

}  // namespace varnolt::cli
