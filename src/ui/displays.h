#pragma once
// The live displays of the configuration window: level meters, the Dolby B band graphs and
// level columns, the balance display with the 2 kHz tone history, the azimuth history and the
// FM filter's noise-floor picture with its bars. Each is composed in a pixel array of its set of
// displays and handed to a DisplaySurface.

#include <cstdint>

#include "processors/complex_lr.h"
#include "processors/stereo.h"
#include "ui/colour_ramps.h"
#include "ui/display_surface.h"

namespace varnolt {
struct Instance;
}

namespace varnolt {

constexpr int k_bar_displays = 7;  // four meters, roughness, removal, signal

// Every display grows with the dialog's font, as its rectangle passes through scale_rect. The
// pixel arrays hold a display up to three times its design size (dialog base units of 18 x 39,
// a 300 % screen); only beyond that is it clipped.
constexpr int k_largest_display_scale = 3;
constexpr int k_signal_history = 65;
constexpr int k_azimuth_history = 512;
constexpr int k_tone_history = 512;

// Colour arguments of draw_bar below this are ramp numbers, from it on literal pixels.
constexpr int k_first_literal_colour = 10;

struct AzimuthEntry {
    double estimate;
    bool accepted;
    double slope;
};

// What the displays keep from one refresh to the next.
struct DisplayState {
    int bar_last_length[k_bar_displays] = {-1, 0, 0, 0, 0, 0, 0};
    int bar_refresh_count[k_bar_displays] = {};
    int bevel_width = -1;  // the size draw_bar last built its bevel for
    int bevel_height = -1;
    double signal_history[k_signal_history] = {};          // sum_magnitude, newest first
    AzimuthEntry azimuth_history[k_azimuth_history] = {};  // newest first
    stereo_frame tone_history[k_tone_history] = {};        // newest last
    double balance_smoothed[9][2] = {};
    bool band_phase = false;
};

// The arrays the displays are composed in, each large enough for its display at the largest
// scale; the bars share one.
namespace display_pixels {
constexpr int k_graph_width = 286 * k_largest_display_scale;
constexpr int k_graph_height = 284 * k_largest_display_scale;
constexpr int k_column_width = 21 * k_largest_display_scale;
constexpr int k_column_height = 284 * k_largest_display_scale;
constexpr int k_balance_width = 154 * k_largest_display_scale;
constexpr int k_balance_height = 200 * k_largest_display_scale;
constexpr int k_azimuth_width = 96 * k_largest_display_scale;
constexpr int k_azimuth_height = 97 * k_largest_display_scale;
constexpr int k_floor_width = 101 * k_largest_display_scale;
constexpr int k_floor_height = 88 * k_largest_display_scale;
// The largest bar: the roughness bar's width, the signal bar's height.
constexpr int k_bar_width = 109 * k_largest_display_scale;
constexpr int k_bar_height = 99 * k_largest_display_scale;
}  // namespace display_pixels

struct DisplayPixels {
    pixel graph[display_pixels::k_graph_width * display_pixels::k_graph_height];
    pixel column[display_pixels::k_column_width * display_pixels::k_column_height];
    pixel balance[display_pixels::k_balance_width * display_pixels::k_balance_height];
    pixel azimuth[display_pixels::k_azimuth_width * display_pixels::k_azimuth_height];
    pixel floor[display_pixels::k_floor_width * display_pixels::k_floor_height];
    pixel bar[display_pixels::k_bar_width * display_pixels::k_bar_height];
};

// One set of displays: the instance it shows, what it keeps between refreshes, its pixel arrays
// and colour ramps. The configuration window has one over the DLL's instance, bound to it at
// load (ui/window_binding.h); the tool's report one over the instance of the file it restores.
// Whoever draws a set owns all of it; the window's belongs to whichever thread holds the drawing
// token (ui/drawing_token.h). About 5 MB: static storage or the heap, not a stack.
struct Displays {
    explicit Displays(Instance& shown) : instance(shown) {}
    Displays(const Displays&) = delete;
    Displays& operator=(const Displays&) = delete;

    Instance& instance;
    DisplayState state;
    // Row k, entry i at k * 255 + i; blue in bits 0-7, red in bits 16-23. The window's are
    // filled by the windowed Init, a report's when it is made.
    std::uint32_t colour_ramps[k_colour_ramp_rows * k_colour_ramp_entries] = {};
    DisplayPixels pixels{};
    // The FM filter's stereo excess, copied from its monitor and sorted for the noise-floor
    // picture: the filter publishes it unsorted, and only a refresh that draws pays the sort.
    double excess_sorted[k_stereo_bins] = {};
};

// Design rectangles (pixels at dialog base units of 6 x 13).
namespace display_rect {
constexpr Rect input_left = {707, 7, 108, 13};
constexpr Rect input_right = {707, 20, 108, 13};
constexpr Rect output_left = {707, 38, 108, 13};
constexpr Rect output_right = {707, 51, 108, 13};
constexpr Rect balance = {651, 207, 154, 200};
constexpr Rect left_band_graph = {21, 348, 286, 284};
constexpr Rect left_level_column = {306, 348, 21, 284};
constexpr Rect right_level_column = {330, 348, 21, 284};
constexpr Rect right_band_graph = {350, 348, 286, 284};
constexpr Rect azimuth = {136, 16, 96, 97};
constexpr Rect noise_floor = {525, 16, 101, 88};
constexpr Rect roughness_bar = {525, 106, 109, 8};
constexpr Rect removal_bar = {627, 15, 7, 91};
constexpr Rect signal_bar = {634, 15, 11, 99};
}  // namespace display_rect

// A bevelled bar filled to the fraction v; `rect` is already scaled. Horizontal bars take their
// colour from the ramp by position, vertical ones are white from the top down to v.
void draw_bar(Displays& displays, DisplaySurface& surface, double v, Rect rect, bool vertical,
              int colour);

// Dolby B sidechain level: 7 pixels per dB, 0 dB 15 pixels above the inner bottom edge.
void draw_level_column(Displays& displays, DisplaySurface& surface, double v, Rect design,
                       int count);

// One channel's band levels before and after the Dolby gain, with the automatic factors.
void draw_band_graph(Displays& displays, DisplaySurface& surface, int channel, Rect design);

// Smoothed band levels of left against right, and the 2 kHz tone history when it is shown.
void draw_balance_display(Displays& displays, DisplaySurface& surface);

// The applied azimuth slope over the last blocks and the accepted estimates; `fresh`: the stereo
// processor has published a block since the last drawing, which the history takes in.
void draw_azimuth_display(Displays& displays, DisplaySurface& surface, bool fresh);

// The sorted stereo excess with the noise level, floor, held level and threshold.
void draw_noise_floor_display(Displays& displays, DisplaySurface& surface);

// Band samples in the instance's tape meters that no display has shown yet.
int shown_meter_count(const Instance& instance);

// Steps 4 to 8 of a refresh: every display of the set whose data changed (all of them when
// forced).
void draw_displays(Displays& displays, DisplaySurface& surface, bool force);

// The configuration window's displays (window_displays()) through draw_displays, while the window
// is active and not iconified.
void draw_all_displays(DisplaySurface& surface, bool force);

}  // namespace varnolt
