#include "control_input.h"

#include <algorithm>
#include <cmath>

namespace varnolt::lv2 {

void store_control(const ControlPort& control, double value) {
    if (control.real != nullptr) *control.real = value;
    if (control.switch_byte != nullptr) *control.switch_byte = value != 0.0 ? 1 : 0;
    if (control.integer != nullptr) *control.integer = static_cast<int>(value);
}

void read_control(const ControlPort& control, float value, double& in_force) {
    if (!std::isfinite(value)) return;
    if (value == static_cast<float>(in_force)) return;
    double v = value;
    switch (control.kind) {
        case ControlKind::real:
            v = std::clamp(v, control.minimum, control.maximum);
            break;
        case ControlKind::toggle:
            v = v > 0.0 ? 1.0 : 0.0;
            break;
        case ControlKind::choice:
            v = std::clamp(std::round(v), control.minimum, control.maximum);
            break;
    }
    in_force = v;
    store_control(control, v);
}

}  // namespace varnolt::lv2
