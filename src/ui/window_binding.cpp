#include "ui/window_binding.h"

#include "ui/displays.h"

namespace varnolt {
namespace {

// Set before either thread runs and unchanged while they do (see the header).
Displays* bound_displays = nullptr;

}  // namespace

void bind_window(Displays& displays) {
    bound_displays = &displays;
}

Displays& window_displays() {
    return *bound_displays;
}

Instance& window_instance() {
    return bound_displays->instance;
}

}  // namespace varnolt
