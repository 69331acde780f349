#include <algorithm>
#include <cmath>

#include "chain/chain.h"
#include "chain/instance.h"
#include "chain/sample_path.h"
#include "processors/stereo.h"
#include "processors/tape_processor.h"
#include "settings/parameters.h"
#include "ui/display_math.h"
#include "ui/displays.h"
#include "ui/drawing_token.h"
#include "ui/plugin_state.h"
#include "ui/ui_port.h"
#include "ui/window_binding.h"

namespace varnolt {

namespace {

constexpr double k_full_scale = 32768.0;
constexpr int k_bar_redraw_refreshes = 100;  // an unchanged bar is redrawn every 101st refresh
constexpr int k_meter_ramp = 0;
constexpr int k_roughness_ramp = 3;
constexpr int k_signal_ramp = 2;

enum Bar { input_left, input_right, output_left, output_right, roughness, removal, signal };

// Draws a bar when its length changed, after 100 refreshes without a redraw, or when forced.
void paced_bar(Displays& displays, DisplaySurface& surface, Bar bar, double v, Rect design,
               bool vertical, int colour, bool force) {
    const Rect rect = scale_rect(surface, design);
    const int size = vertical ? rect.height : rect.width;
    // A v that is not a number counts as 0, and so does the NaN of an infinite v on a bar
    // with no room left ((size - 4) * inf).
    const double scaled = (size - 4) * v + 0.5;
    const int length = std::isnan(scaled) ? 0 : limited(scaled, -1, size + 1);
    int& count = displays.state.bar_refresh_count[bar];
    int& last = displays.state.bar_last_length[bar];
    ++count;
    if (length != last || count > k_bar_redraw_refreshes || force) {
        draw_bar(displays, surface, v, rect, vertical, colour);
        last = length;
        count = 0;
    }
}

void draw_meters(Displays& displays, DisplaySurface& surface, bool force) {
    const ChainState& chain = displays.instance.chain;
    const double peaks[4] = {chain.input_peak[0], chain.input_peak[1], chain.output_peak[0],
                             chain.output_peak[1]};
    paced_bar(displays, surface, input_left, peaks[0] / k_full_scale, display_rect::input_left,
              false, k_meter_ramp, force);
    paced_bar(displays, surface, input_right, peaks[1] / k_full_scale, display_rect::input_right,
              false, k_meter_ramp, force);
    paced_bar(displays, surface, output_left, peaks[2] / k_full_scale, display_rect::output_left,
              false, k_meter_ramp, force);
    paced_bar(displays, surface, output_right, peaks[3] / k_full_scale, display_rect::output_right,
              false, k_meter_ramp, force);
}

// The band displays share the tape processor's meters, which start over once they are shown:
// the graphs, drawn every second refresh, average over two refresh periods.
void draw_band_displays(Displays& displays, DisplaySurface& surface, bool force) {
    TapeMonitor& monitor = displays.instance.tape_state.monitor;
    const int count = shown_meter_count(displays.instance);
    if (count <= 0 && !force) return;
    displays.state.band_phase = !displays.state.band_phase;
    draw_balance_display(displays, surface);
    if (displays.state.band_phase || force) {
        draw_band_graph(displays, surface, 0, display_rect::left_band_graph);
        draw_band_graph(displays, surface, 1, display_rect::right_band_graph);
        draw_level_column(displays, surface, monitor.sidechain_meter[0],
                          display_rect::left_level_column, count);
        draw_level_column(displays, surface, monitor.sidechain_meter[1],
                          display_rect::right_level_column, count);
    }
    // The playback thread owns the sums and empties them at its next block.
    monitor.meters_taken = true;
}

void draw_fm_displays(Displays& displays, DisplaySurface& surface, bool force) {
    if (!displays.instance.live.values.fm_enabled && !force) return;
    const StereoMonitor& monitor = displays.instance.stereo_state.monitor;
    // Each published value once: the playback thread may publish the next block meanwhile.
    const double sum_magnitude = monitor.sum_magnitude;
    const double sum_removed = monitor.sum_removed;
    const double sum_excess = monitor.sum_excess;
    double* history = displays.state.signal_history;
    std::copy_backward(history, history + k_signal_history - 1, history + k_signal_history);
    // The history outlives the block: an overflowed sum goes in as nothing.
    history[0] = std::isfinite(sum_magnitude) ? sum_magnitude : 0.0;
    // A peak hold that fades linearly over 64 refreshes.
    double held = 0.0;
    for (int i = 0; i < k_signal_history - 1; ++i)
        held = std::max(held, history[i] * (64 - i) / 64.0);

    draw_noise_floor_display(displays, surface);
    paced_bar(displays, surface, roughness, monitor.roughness_ratio * 0.5,
              display_rect::roughness_bar, false, k_roughness_ramp, force);
    double strength = held > 0.0 ? sum_removed / held : 0.0;
    if (!(strength > 0.0)) strength = 0.0;  // also a removal that is not a number
    const int green = limited(255.0 - std::trunc(4.0 * std::sqrt(strength) * 255.0), 0, 255);
    // White while nothing is removed, turning magenta as the removal grows.
    const int removal_colour = 0xFF00FF | (green << 8);
    const double removed = sum_excess > 0.0 ? 1.0 - sum_removed / sum_excess : 1.0;
    paced_bar(displays, surface, removal, removed, display_rect::removal_bar, true, removal_colour,
              force);
    const double signal_left = sum_magnitude > 0.0 && held > 0.0 ? 1.0 - sum_removed / held : 1.0;
    paced_bar(displays, surface, signal, signal_left, display_rect::signal_bar, true, k_signal_ramp,
              force);
}

}  // namespace

int shown_meter_count(const Instance& instance) {
    const TapeMonitor& monitor = instance.tape_state.monitor;
    return monitor.meters_taken ? 0 : monitor.meter_count.load();
}

void draw_displays(Displays& displays, DisplaySurface& surface, bool force) {
    if (surface.colour_depth() <= 0) return;
    draw_meters(displays, surface, force);
    draw_band_displays(displays, surface, force);
    const bool azimuth_fresh = displays.instance.stereo_state.monitor.azimuth_fresh.exchange(false);
    if (azimuth_fresh || force) draw_azimuth_display(displays, surface, azimuth_fresh);
    draw_fm_displays(displays, surface, force);
}

void draw_all_displays(DisplaySurface& surface, bool force) {
    if (!plugin.window_active || plugin.iconified) return;
    draw_displays(window_displays(), surface, force);
}

void refresh_displays(bool force) {
    // Every refresh takes one credit, whichever thread runs it.
    take_refresh_credit(window_instance().sample_path);
    if (plugin.ui_busy && !force) return;
    const HostWindow window = plugin.window;
    if (!window_exists(window)) return;
    // Forced refreshes come from the window thread, which may wait for a paced one to end; the
    // playback thread never waits, it skips.
    const DrawingToken token = force ? DrawingToken::take() : DrawingToken::try_take();
    if (token.held()) draw_on_window(window, force);
}

}  // namespace varnolt
