#include "report.h"
#include "text_format.h"

#include <algorithm>
#include <cstdio>

#include "report_dolby_section.h"
#include "report_panels.h"
#include "report_plots.h"
#include "report_scales.h"
#include "report_text.h"

namespace varnolt::cli {
namespace {

constexpr int k_title_size = 13;
constexpr int k_heading_size = 18;
constexpr int k_margin = 20;
constexpr int k_first_row = 118;  // the displays' top edge
constexpr int k_row_gap = 26;     // from the notes above to the next row's top edge
constexpr int k_plot_height = 180;
constexpr int k_tallest = 1600;    // more than any layout needs; the picture is cut to its content
constexpr int k_bottom_gap = 12;   // under the last row's labels
constexpr int k_section_gap = 40;  // from the plots' labels to the Dolby level section's top row

void title(Image& image, TextPainter& text, int x, int top, const std::string& s) {
    text.draw(image, x, top - 8, s, k_title_size, report_colour::ink);
}

void draw_summary(Image& image, TextPainter& text, const ReportContent& c) {
    const RestoreMeasures& m = c.measures;
    const std::string first = c.input_name + "  \u2192  " + c.output_name + "     " +
                              duration_text(c.seconds) + ", " + std::to_string(c.sample_rate) +
                              " Hz, " + std::to_string(c.channels) +
                              (c.channels == 1 ? " channel" : " channels");
    const std::string second =
        "peak in " + dbfs_text(m.input_peak) + ", out " + dbfs_text(m.output_peak) + "     " +
        (m.azimuth_running
             ? "azimuth correction at the end " + decimal_text(m.azimuth_end, 2) + " \u00b5m"
             : std::string("azimuth correction off")) +
        "     " + c.stages;
    text.draw(image, k_margin, 54, first, 13, report_colour::ink);
    text.draw(image, k_margin, 74, second, 13, report_colour::ink);
}

// The two plots side by side; without the azimuth correction the spectrum takes the width.
void draw_plots(Image& image, TextPainter& text, const ReportContent& c, int top) {
    const int full = k_report_width - 2 * k_margin;
    const int half = (k_report_width - 3 * k_margin) / 2;
    int x = k_margin;
    if (c.stages_on.azimuth) {
        title(image, text, x, top, "Azimuth correction over the file, \u00b5m of tape");
        draw_azimuth_plot(image, text, {x, top, half, k_plot_height}, c.measures.azimuth, c.seconds,
                          c.azimuth_limit, c.measures.azimuth_running);
        x += half + k_margin;
    }
    title(image, text, x, top, "Long-term spectrum: dB (0 = a full-scale sine) against Hz");
    draw_spectrum_plot(image, text, {x, top, c.stages_on.azimuth ? half : full, k_plot_height},
                       c.input, c.output, c.sample_rate);
}

}  // namespace

Image compose_report(const Image& window, const ReportContent& c, std::string& error) {
    Image image(k_report_width, k_tallest, report_colour::background);
    TextPainter text;
    if (!text.ready()) {
        error = "cannot load the report's font " + text.font_path();
        return image;
    }
    text.draw(image, k_margin, 30, "Varnolt restoration report", k_heading_size,
              report_colour::ink);
    draw_summary(image, text, c);
    const int panels_end = draw_window_panels(image, text, window, c.stages_on, c.sample_rate,
                                              c.azimuth_limit, k_first_row);
    const int plots_top = panels_end + k_row_gap;
    draw_plots(image, text, c, plots_top);
    int bottom = plots_top + k_plot_height;
    if (c.dolby_level)
        bottom = draw_dolby_level_section(image, text, *c.dolby_level, bottom + k_section_gap);
    image.crop_height(std::min(bottom + k_bottom_gap, k_tallest));
    return image;
}

}  // namespace varnolt::cli
