#include "plugin/modify_samples.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "chain/chain.h"
#include "plugin/sample_format.h"
#include "settings/parameters.h"
#include "ui/plugin_state.h"
#include "ui/ui_port.h"

namespace varnolt {

namespace {

// A block refreshes the displays at most once, so credit beyond what one more block could
// spend is never used; banked, it would keep a speed beyond the slider's 0..1 in force long
// after the speed is put right.
constexpr double k_most_refresh_credit = 2.0;

// Rectangular dither of 0.00 .. 0.99.
double next_dither(Instance& instance) {
    return (instance.sample_path.dither.next() % 100) / 100.0;
}

double process_sample(Instance& instance, double x, int channels, double rate) {
    double y = chain_sample(instance, x, rate);
    if (channels == 1) {
        // A mono sample goes through both channels of the chain, so the alternation stays
        // aligned, and the two results are averaged.
        y = (y + chain_sample(instance, x, rate)) * 0.5;
    }
    return y;
}

void convert_block(Instance& instance, std::uint8_t* bytes, int frames, int bits, int channels,
                   int sample_rate) {
    const int width = bits / 8;
    const long long count = static_cast<long long>(frames) * channels;
    for (long long i = 0; i < count; ++i) {
        std::uint8_t* p = bytes + i * width;
        const double y =
            process_sample(instance, read_working_sample(p, bits), channels, sample_rate);
        write_working_sample(p, bits, y, next_dither(instance));
    }
}

void pace_display_refresh() {
    if (plugin_instance.sample_path.frames_since_refresh < k_refresh_frames) return;
    double speed = plugin_instance.live.values.screen_refresh_speed;
    if (plugin.iconified) speed *= k_iconified_refresh_share;
    // A negative speed refreshes nothing, like 0; it must not drive the credit to -inf.
    const double credit = plugin_instance.sample_path.refresh_credit.update([speed](double c) {
        const double next = c + speed;
        return std::isnan(next) ? c : std::clamp(next, 0.0, k_most_refresh_credit);
    });
    if (credit >= 1.0) {
        refresh_displays(false);
        clear_level_peaks(plugin_instance);
    }
    plugin_instance.sample_path.frames_since_refresh = 0;
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
    if (plugin_instance.live.processing_mode == k_mode_bypass) return frames;
    if (frames > 0) {
        plugin_instance.sample_path.frames_since_refresh =
            frames > INT_MAX - plugin_instance.sample_path.frames_since_refresh
                ? INT_MAX
                : plugin_instance.sample_path.frames_since_refresh + frames;
    }
    try {
        restore_host_block(plugin_instance, samples, frames, bits, channels, sample_rate);
        pace_display_refresh();
    } catch (...) {
        // The host must get its block back whatever happened; what was written stays written.
    }
    return frames;
}

}  // namespace varnolt
