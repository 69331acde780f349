#pragma once
// The report's section on the Dolby B stage: the decoder, the Dolby level and what it came from,
// in words, and for a level measured in the file (--dolby-level auto) the plot that shows where
// on the measured levels the chosen value lies.

#include "report_dolby_level.h"
#include "report_image.h"
#include "report_plots.h"
#include "report_text.h"

namespace varnolt::cli {

// Draws the section under row `top`, its title just above it; returns the first free row under
// the section.
int draw_dolby_level_section(Image& image, TextPainter& text, const ReportDolbyLevel& level,
                             int top);

// Where the section at `top` draws its plot; no height when it draws none (nothing was
// measured).
PlotArea dolby_level_plot_area(TextPainter& text, const ReportDolbyLevel& level, int top);

}  // namespace varnolt::cli
