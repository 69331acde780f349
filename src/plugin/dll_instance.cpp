#include "plugin/dll_instance.h"

#include "chain/instance.h"
#include "ui/displays.h"
#include "ui/window_binding.h"

namespace varnolt {
namespace {

// Static storage: both start zeroed and live until the library is unloaded.
Instance instance;
// The configuration window's displays: window state, but drawn over this instance only.
Displays window_displays_over_instance(instance);

// Bound while the library loads, before any entry runs: whatever reaches the window first (an
// Init, the tool, a header request) finds it showing the instance the samples go through.
[[maybe_unused]] const bool window_bound = (bind_window(window_displays_over_instance), true);

}  // namespace

Instance& dll_instance() {
    return instance;
}

}  // namespace varnolt
