#pragma once
// The two plots the report draws itself: the azimuth correction over the whole file and the
// long-term spectra of input and output.

#include <vector>

#include "report_image.h"
#include "report_text.h"
#include "restore_measures.h"
#include "spectrum.h"

namespace varnolt::cli {

struct PlotArea {
    int x, y, width, height;  // the whole plot, axis labels included
};

// Micrometres against seconds; the range follows the trace, and `limit` (micrometres) is marked
// when it lies inside it.
void draw_azimuth_plot(Image& image, TextPainter& text, PlotArea area,
                       const std::vector<AzimuthPoint>& points, double seconds, double limit,
                       bool running);

// dB against frequency on a logarithmic axis, input and output.
void draw_spectrum_plot(Image& image, TextPainter& text, PlotArea area, const Spectrum& input,
                        const Spectrum& output, double sample_rate);

namespace report_colour {
constexpr rgb background = 0xF0F0F0;
constexpr rgb ink = 0x202020;
constexpr rgb grid = 0xDCDCDC;
constexpr rgb paper = 0xFFFFFF;
constexpr rgb input = 0xE07020;
constexpr rgb output = 0x2050C0;
}  // namespace report_colour

}  // namespace varnolt::cli
