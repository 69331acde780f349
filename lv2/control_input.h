#pragma once
// Control port values into the live parameters, as the window's controls put them there. Audio
// thread (run()), allocation-free.

#include "port_layout.h"

namespace varnolt::lv2 {

// Reads one port value into the control's live parameter and `in_force`. A value that is not a
// number, or infinite, changes nothing; others are clamped to the port's range, a choice is
// rounded to its nearest value and a toggle is on above 0. A value equal to the float of the one
// in force changes nothing either, so a default such as 0.4 stays exactly 0.4 rather than 0.4f.
void read_control(const ControlPort& control, float value, double& in_force);

// Puts `value` into the control's live parameter.
void store_control(const ControlPort& control, double value);

}  // namespace varnolt::lv2
