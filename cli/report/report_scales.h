#pragma once
// The numbers on the report's axes and scales: where a value lands on a display the window drew
// without a scale, and which tick labels an axis carries. Pure functions, so they can be checked
// against the displays' own drawing.

#include <string>
#include <vector>

namespace varnolt::cli {

struct Tick {
    double value;
    std::string label;
};

// The smallest step of 1, 2 or 5 times a power of ten that divides `span` into at most seven
// parts.
double tick_step(double span);

// The level meters (linear in amplitude): the first design column a bar `width` pixels wide
// leaves unfilled at `peak` (1.0 = full scale), as draw_bar fills it.
int meter_fill_end(int width, double peak);

// The dBFS marks under the meters. Below -20 dB the bar is a few pixels long, so the marks stop
// there.
std::vector<double> meter_marks_db();

// Ticks of a time axis over `seconds`: seconds ("5 s") up to two minutes, beyond that minutes
// and seconds ("2:00"), and hours ("1:30:00") from three hours on.
std::vector<Tick> time_ticks(double seconds);

// A duration as the report's text gives it: "25.0 s", or "10:00 (600.0 s)" past two minutes.
std::string duration_text(double seconds);

// The centre of the tape processor's band 1 .. 8 at `sample_rate`; the band displays put band
// 1 at their left edge and band 8 at their right.
double band_centre_hz(int band, double sample_rate);

// A frequency as an axis label: "100", "470", "2.2k", "22k".
std::string hz_text(double hz);

// The band displays draw 10 log10 of a band's mean magnitude at 7 pixels a unit: 3.5 pixels per
// dB of amplitude.
constexpr double k_band_pixels_per_db = 3.5;

}  // namespace varnolt::cli
