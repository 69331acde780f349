#include "plugin/modify_samples.h"

#include <cstdint>

#include "chain/chain.h"
#include "chain/instance.h"
#include "plugin/dll_instance.h"
#include "plugin/sample_format.h"
#include "settings/parameters.h"
#include "ui/plugin_state.h"
#include "ui/ui_port.h"

namespace varnolt {

namespace {

// Rectangular dither of 0.00 .. 0.99.
double next_dither(Instance& instance) {
    return (instance.sample_path.dither.next() % 100) / 100.0;
}

void convert_block(Instance& instance, std::uint8_t* bytes, int frames, int bits, int channels,
                   int sample_rate) {
    const int width = bits / 8;
    const long long count = static_cast<long long>(frames) * channels;
    for (long long i = 0; i < count; ++i) {
        std::uint8_t* p = bytes + i * width;
        const double y =
            chain_stream_sample(instance, read_working_sample(p, bits), channels, sample_rate);
        instance.sample_path.clipped_samples +=
            write_working_sample(p, bits, y, next_dither(instance));
    }
}

void pace_display_refresh() {
    double speed = dll_instance().live.values.screen_refresh_speed;
    if (plugin.iconified) speed *= k_iconified_refresh_share;
    if (refresh_due(dll_instance().sample_path, speed)) {
        refresh_displays(false);
        clear_level_peaks(dll_instance());
    }
}

}  // namespace

void restore_host_block(Instance& instance, short* samples, int frames, int bits, int channels,
                        int sample_rate) {
    if (instance.live.processing_mode == k_mode_bypass) return;
    // A rate of zero or less has no meaning for the processors' time constants: such a block
    // passes unconverted, like an unknown width.
    if (samples != nullptr && frames > 0 && channels > 0 && sample_rate > 0 &&
        is_supported_width(bits))
        convert_block(instance, reinterpret_cast<std::uint8_t*>(samples), frames, bits, channels,
                      sample_rate);
}

int VARNOLT_CDECL modify_samples(DspModule*, short* samples, int frames, int bits, int channels,
                                 int sample_rate) {
    if (dll_instance().live.processing_mode == k_mode_bypass) return frames;
    count_refresh_frames(dll_instance().sample_path, frames);
    try {
        restore_host_block(dll_instance(), samples, frames, bits, channels, sample_rate);
        pace_display_refresh();
    } catch (...) {
        // The host must get its block back whatever happened; what was written stays written.
    }
    return frames;
}

}  // namespace varnolt
