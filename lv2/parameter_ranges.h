#pragma once
// How each persisted parameter appears as an LV2 control: its name, the range of the window's
// slider for it (its lowest reading where the slider has a floor), or that it is left out. Keyed by
// the INI section and key, the names the parameter table walks.

#include "port_layout.h"

namespace varnolt::lv2 {

struct ParameterRange {
    bool shown;  // false: a parameter with no effect on the sound or no window control
    // The port's name as a host shows it, after the window's control (nullptr where left out).
    // The equaliser's bands are named by port_layout from their centre frequencies.
    const char* label;
    double minimum;
    double maximum;
    Unit unit;
    const char* comment;
};

// The entry for section/key, or nullptr for a key this table does not know.
const ParameterRange* parameter_range(const char* section, const char* key);

}  // namespace varnolt::lv2
