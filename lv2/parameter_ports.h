#pragma once
// How each persisted parameter appears as an LV2 control: its name, unit and comment, or that it is
// left out. Keyed by the INI section and key, the names the parameter table walks; a slider's
// bounds are the window's, which the parameter table carries with the key.

#include "port_layout.h"

namespace varnolt::lv2 {

struct ParameterPort {
    bool shown;  // false: a parameter with no effect on the sound or no window control
    // The port's name as a host shows it, after the window's control (nullptr where left out).
    // The equaliser's bands are named by port_layout from their centre frequencies.
    const char* label;
    Unit unit;
    const char* comment;
};

// The entry for section/key, or nullptr for a key this table does not know.
const ParameterPort* parameter_port(const char* section, const char* key);

}  // namespace varnolt::lv2
