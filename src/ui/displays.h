#pragma once
// The live displays of the configuration window: level meters, the Dolby B band graphs and
// level columns, the balance display with the 2 kHz tone history, the azimuth history and the
// FM filter's noise-floor picture with its bars. Each is composed in a static pixel array and
// handed to a DisplaySurface.

#include "processors/complex_lr.h"
#include "ui/display_surface.h"

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

// Module-level display state: lives as long as the plug-in stays loaded. Owned by whichever
// thread holds the drawing token (ui/drawing_token.h), like the displays' pixel arrays.
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

extern DisplayState display_state;

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
void draw_bar(DisplaySurface& surface, double v, Rect rect, bool vertical, int colour);

// Dolby B sidechain level: 7 pixels per dB, 0 dB 15 pixels above the inner bottom edge.
void draw_level_column(DisplaySurface& surface, double v, Rect design, int count);

// One channel's band levels before and after the Dolby gain, with the automatic factors.
void draw_band_graph(DisplaySurface& surface, int channel, Rect design);

// Smoothed band levels of left against right, and the 2 kHz tone history when it is shown.
void draw_balance_display(DisplaySurface& surface);

// The applied azimuth slope over the last blocks and the accepted estimates; `fresh`: the stereo
// processor has published a block since the last drawing, which the history takes in.
void draw_azimuth_display(DisplaySurface& surface, bool fresh);

// The sorted stereo excess with the noise level, floor, held level and threshold.
void draw_noise_floor_display(DisplaySurface& surface);

// Band samples in the tape processor's meters that no display has shown yet.
int shown_meter_count();

// Steps 4 to 8 of a refresh: every display whose data changed (all of them when forced).
void draw_all_displays(DisplaySurface& surface, bool force);

}  // namespace varnolt
