#include "report.h"

#include <cmath>
#include <cstdio>

#include "report_plots.h"
#include "report_text.h"

namespace varnolt::cli {
namespace {

constexpr rgb k_background = 0xF0F0F0;
constexpr int k_title_size = 13;
constexpr int k_heading_size = 18;
constexpr int k_note_size = 11;
constexpr int k_margin = 20;

// Where a display group lies in the window (design pixels) and where the report puts it; the
// small displays are shown at twice their size, pixel for pixel.
struct Panel {
    const char* title;
    int window_x, window_y, width, height;
    int x, y, zoom;
};

// Rows of the layout: titles sit 8 pixels above their panel.
constexpr int k_row1 = 118;
constexpr int k_row2 = 372;
constexpr int k_row3 = 712;

constexpr Panel k_panels[] = {
    {"Levels in / out", 707, 7, 108, 57, 62, k_row1, 2},
    {"Azimuth history", 136, 16, 96, 97, 312, k_row1, 2},
    {"FM hiss filter", 525, 15, 120, 99, 538, k_row1, 2},
    {"Balance L / R", 651, 207, 154, 200, 812, k_row1, 1},
    {"Dolby B remover: band levels, left   |   sidechain L, R   |   right", 21, 348, 615, 284,
     k_margin, k_row2, 1},
};

std::string fixed(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

void title(Image& image, TextPainter& text, int x, int y, const std::string& s) {
    text.draw(image, x, y - 8, s, k_title_size, report_colour::ink);
}

void note(Image& image, TextPainter& text, int x, int y, const std::string& s) {
    text.draw(image, x, y, s, k_note_size, 0x505050);
}

void draw_panels(Image& image, TextPainter& text, const Image& window) {
    for (const Panel& p : k_panels) {
        title(image, text, p.x, p.y, p.title);
        image.copy(window, p.window_x, p.window_y, p.width, p.height, p.x, p.y, p.zoom);
    }
    // The meters: which bar is which.
    const Panel& meters = k_panels[0];
    const char* names[] = {"in L", "in R", "out L", "out R"};
    const int rows[] = {7, 20, 38, 51};
    for (int i = 0; i < 4; ++i)
        note(image, text, k_margin,
             meters.y + (rows[i] - meters.window_y) * meters.zoom + 9 * meters.zoom, names[i]);
    const Panel& bands = k_panels[4];
    note(image, text, bands.x, bands.y + bands.height + 16,
         "light blue: level after the remover, dark blue: what it took away, pink from the top: "
         "the Dolby B reduction, dotted: the band factors");
    const Panel& balance = k_panels[3];
    note(image, text, balance.x, balance.y + balance.height + 16, "red: left louder, blue: right");
    const Panel& azimuth = k_panels[1];
    note(image, text, azimuth.x, azimuth.y + azimuth.height * azimuth.zoom + 16,
         "applied slope, newest at the top");
    const Panel& fm = k_panels[2];
    note(image, text, fm.x, fm.y + fm.height * fm.zoom + 16,
         "noise floor, roughness, removal, signal");
}

void draw_summary(Image& image, TextPainter& text, const ReportContent& c) {
    const RestoreMeasures& m = c.measures;
    const std::string first = c.input_name + "  \u2192  " + c.output_name + "     " +
                              fixed(c.seconds, 1) + " s, " + std::to_string(c.sample_rate) +
                              " Hz, " + std::to_string(c.channels) +
                              (c.channels == 1 ? " channel" : " channels");
    const std::string second =
        "peak in " + dbfs_text(m.input_peak) + ", out " + dbfs_text(m.output_peak) + "     " +
        (m.azimuth_running ? "azimuth correction at the end " + fixed(m.azimuth_end, 2) + " \u00b5m"
                           : std::string("azimuth correction off")) +
        "     " + c.stages;
    text.draw(image, k_margin, 54, first, 13, report_colour::ink);
    text.draw(image, k_margin, 74, second, 13, report_colour::ink);
}

}  // namespace

Image compose_report(const Image& window, const ReportContent& c, std::string& error) {
    Image image(k_report_width, k_report_height, k_background);
    TextPainter text;
    if (!text.ready()) {
        error = "cannot load the report's font " + text.font_path();
        return image;
    }
    text.draw(image, k_margin, 30, "Varnolt restoration report", k_heading_size,
              report_colour::ink);
    draw_panels(image, text, window);
    draw_summary(image, text, c);

    const int plot_width = (k_report_width - 3 * k_margin) / 2;
    const int plot_height = k_report_height - k_row3 - 12;
    title(image, text, k_margin, k_row3, "Azimuth correction over the file (\u00b5m)");
    draw_azimuth_plot(image, text, {k_margin, k_row3, plot_width, plot_height}, c.measures.azimuth,
                      c.seconds, c.azimuth_limit, c.measures.azimuth_running);
    const int second = 2 * k_margin + plot_width;
    title(image, text, second, k_row3, "Spectrum of input and output (Hz)");
    draw_spectrum_plot(image, text, {second, k_row3, plot_width, plot_height}, c.input, c.output,
                       c.sample_rate);
    return image;
}

}  // namespace varnolt::cli
