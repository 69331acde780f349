#pragma once
// The window's displays in the report, each with the scale or the few words a reader without
// the window needs; a display whose stage did not run is named as off instead.

#include "report_image.h"
#include "report_stages.h"
#include "report_text.h"

namespace varnolt::cli {

// Draws the displays of `window` from row `top` down (titles sit 8 pixels above it); returns
// the first free row under them and their notes. `azimuth_limit` is in micrometres.
int draw_window_panels(Image& image, TextPainter& text, const Image& window,
                       const ReportStages& stages, double sample_rate, double azimuth_limit,
                       int top);

// The report column of the level meters' mark for `db` dBFS: the last column a peak of that
// level fills.
int meter_mark_x(double db);

// Where the level meters' bars start in the report and how much each design pixel is widened,
// for the marks of their scale.
constexpr int k_meters_x = 62;
constexpr int k_meters_zoom = 2;
constexpr int k_meter_width = 108;  // design pixels, as display_rect::input_left

}  // namespace varnolt::cli
