#include "plugin/modify_samples.h"

#include "chain/display_pacing.h"
#include "chain/host_block.h"
#include "chain/instance.h"
#include "plugin/dll_instance.h"
#include "settings/parameters.h"
#include "ui/plugin_state.h"
#include "ui/ui_port.h"

namespace varnolt {

namespace {

double refresh_speed() {
    double speed = dll_instance().live.values.screen_refresh_speed;
    if (plugin.iconified) speed *= k_iconified_refresh_share;
    return speed;
}

}  // namespace

int VARNOLT_CDECL modify_samples(DspModule*, short* samples, int frames, int bits, int channels,
                                 int sample_rate) {
    if (!begin_paced_block(dll_instance(), frames)) return frames;
    try {
        restore_host_block(dll_instance(), samples, frames, bits, channels, sample_rate);
        end_paced_block(dll_instance(), refresh_speed(), [] { refresh_displays(false); });
    } catch (...) {
        // The host must get its block back whatever happened; what was written stays written.
    }
    return frames;
}

}  // namespace varnolt
