#include <algorithm>

#include "plugin/modify_samples.h"
#include "plugin/plugin_state.h"
#include "ui/ui_port.h"

namespace varnolt {

void refresh_displays(bool force) {
    sample_path.refresh_credit = std::max(sample_path.refresh_credit - 1.0, 0.0);
    if (plugin.ui_busy && !force) return;
    if (!window_exists(plugin.window)) return;
    // Drawing needs a window; none is built yet.
}

}  // namespace varnolt
