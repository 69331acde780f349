#include "report_panels.h"

#include <cmath>
#include <string>
#include <vector>

#include "processors/tape_processor.h"
#include "report_plots.h"
#include "report_scales.h"
#include "ui/displays.h"

namespace varnolt::cli {
namespace {

constexpr int k_title_size = 13;
constexpr int k_note_size = 11;
constexpr int k_label_size = 10;
constexpr int k_line = 14;  // between note lines
constexpr rgb k_note = 0x404040;
constexpr rgb k_off = 0x808080;
constexpr int k_inset = 5;  // the band and balance displays' frame, inside their rectangle

// A block of the window (design pixels) and where its left edge goes in the report; the small
// displays are shown at twice their size, pixel for pixel.
struct Panel {
    int window_x, window_y, width, height;
    int x, zoom;
    int right() const { return x + width * zoom; }
};

namespace r = display_rect;
constexpr Panel k_meters = {
    r::input_left.x,     r::input_left.y,
    r::input_left.width, r::output_right.y + r::output_right.height - r::input_left.y,
    k_meters_x,          k_meters_zoom};
constexpr Panel k_azimuth = {r::azimuth.x,      r::azimuth.y, r::azimuth.width,
                             r::azimuth.height, 312,          2};
constexpr Panel k_fm = {r::noise_floor.x,
                        r::removal_bar.y,
                        r::signal_bar.x + r::signal_bar.width - r::noise_floor.x,
                        r::signal_bar.y + r::signal_bar.height - r::removal_bar.y,
                        538,
                        2};
constexpr Panel k_balance = {r::balance.x,      r::balance.y, r::balance.width,
                             r::balance.height, 812,          1};
constexpr Panel k_band_row = {
    r::left_band_graph.x,
    r::left_band_graph.y,
    r::right_band_graph.x + r::right_band_graph.width - r::left_band_graph.x,
    r::left_band_graph.height,
    60,
    1};
static_assert(k_meter_width == r::input_left.width, "the meters' scale assumes their width");

// The display colours the notes name, as the window draws them.
constexpr rgb k_level_after = 0xC0C0FF;
constexpr rgb k_taken_away = 0x40407F;
constexpr rgb k_reduction = 0xFFE0E0;
constexpr rgb k_sidechain = 0xFF7F7F;

class Painter {
  public:
    Painter(Image& image, TextPainter& text) : image_(image), text_(text) {}

    void title(int x, int top, const std::string& s) {
        text_.draw(image_, x, top - 8, s, k_title_size, report_colour::ink);
    }
    void off(int x, int top, const std::string& s) {
        text_.draw(image_, x, top - 8, s + ": off", k_title_size, k_off);
    }
    // Lines of notes from baseline y on; returns the baseline after the last.
    int notes(int x, int y, const std::vector<std::string>& lines) {
        for (const std::string& s : lines) {
            text_.draw(image_, x, y, s, k_note_size, k_note);
            y += k_line;
        }
        return y;
    }
    void label(int x, int y, const std::string& s) {
        text_.draw(image_, x, y, s, k_label_size, report_colour::ink);
    }
    void centred(int x, int y, const std::string& s) {
        label(x - text_.width(s, k_label_size) / 2, y, s);
    }
    void right_aligned(int x, int y, const std::string& s) {
        label(x - text_.width(s, k_label_size), y, s);
    }
    void swatch(int x, int baseline, rgb colour) {
        image_.fill(x, baseline - 9, 10, 10, colour);
        image_.outline(x, baseline - 9, 10, 10, 0x808080);
    }
    void copy(const Image& window, const Panel& p, int top) {
        image_.copy(window, p.window_x, p.window_y, p.width, p.height, p.x, top, p.zoom);
    }
    Image& image() { return image_; }

  private:
    Image& image_;
    TextPainter& text_;
};

std::string minus(double v) {
    const std::string digits = std::to_string(static_cast<int>(std::lround(std::fabs(v))));
    return v < -0.5 ? "\u2212" + digits : digits;
}

int draw_meters(Painter& p, const Image& window, const ReportStages& stages, int top) {
    if (!stages.processed) {
        p.off(k_meters.x, top, "Levels");
        return top;
    }
    p.title(k_meters.x, top, "Peak levels at the end, dBFS");
    p.copy(window, k_meters, top);
    const char* names[] = {"in L", "in R", "out L", "out R"};
    const Rect bars[] = {r::input_left, r::input_right, r::output_left, r::output_right};
    for (int i = 0; i < 4; ++i)
        p.label(20, top + (bars[i].y - k_meters.window_y) * k_meters.zoom + 18, names[i]);
    // The bars are linear in amplitude; the marks sit where a peak of that level ends its fill.
    const int y = top + k_meters.height * k_meters.zoom + 1;
    for (double db : meter_marks_db()) {
        const int x = meter_mark_x(db);
        p.image().fill(x, y, 1, 5, report_colour::ink);
        p.centred(x, y + 16, minus(db));
    }
    return p.notes(20, y + 34, {"the file's last moments, not its whole length"});
}

int draw_azimuth_history(Painter& p, const Image& window, const ReportStages& stages, double limit,
                         int top) {
    const Panel& a = k_azimuth;
    if (!stages.azimuth) {
        p.off(a.x, top, "Azimuth correction");
        return top;
    }
    p.title(a.x, top, "Azimuth history, \u00b5m");
    p.copy(window, a, top);
    // The display puts the limit at its edges and no correction at its centre line.
    const int y = top + a.height * a.zoom;
    const int centre = a.x + (a.width / 2) * a.zoom;
    for (int x : {a.x, centre, a.right() - 1}) p.image().fill(x, y, 1, 4, report_colour::ink);
    p.label(a.x, y + 15, minus(-limit));
    p.centred(centre, y + 15, "0");
    p.right_aligned(a.right(), y + 15, "+" + minus(limit));
    return p.notes(a.x, y + 30, {"blue: correction applied,", "red: estimates; newest on top"});
}

int draw_fm(Painter& p, const Image& window, const ReportStages& stages, int top) {
    const Panel& f = k_fm;
    if (!stages.fm) {
        p.off(f.x, top, "FM hiss filter");
        return top;
    }
    p.title(f.x, top, "FM hiss filter");
    p.copy(window, f, top);
    return p.notes(f.x, top + f.height * f.zoom + 15,
                   {"yellow: hiss per bin, sorted, least on top;",
                    "blue: noise level, red: threshold;", "bars: roughness, removal, signal left"});
}

int draw_balance(Painter& p, const Image& window, const ReportStages& stages, double rate,
                 int top) {
    const Panel& b = k_balance;
    if (!stages.band_levels()) {
        p.off(b.x, top, "Band balance L / R");
        return top;
    }
    p.title(b.x, top, "Band balance L / R");
    p.copy(window, b, top);
    const int y = top + b.height + 13;
    p.label(b.x + k_inset, y, hz_text(band_centre_hz(1, rate)));
    p.right_aligned(b.right() - k_inset, y, hz_text(band_centre_hz(k_bands, rate)) + " Hz");
    // 10 dB against the band levels, as a bar beside the display.
    const int bar = static_cast<int>(std::lround(10 * k_band_pixels_per_db));
    const int x = b.right() + 6;
    p.image().fill(x, top + k_inset, 1, bar + 1, report_colour::ink);
    p.image().fill(x - 2, top + k_inset, 5, 1, report_colour::ink);
    p.image().fill(x - 2, top + k_inset + bar, 5, 1, report_colour::ink);
    p.label(x + 4, top + k_inset + 14, "10");
    p.label(x + 4, top + k_inset + 27, "dB");
    std::vector<std::string> lines = {"red: left louder, blue: right"};
    if (stages.tone_history) lines.push_back("bottom: 2 kHz tone, L | R");
    return p.notes(b.x, y + 16, lines);
}

std::string band_title(const ReportStages& s) {
    if (s.table_remover() && s.bias)
        return "Dolby B remover and bias equaliser: band levels, left  |  sidechain L, R  |  right";
    if (s.table_remover()) return "Dolby B remover: band levels, left  |  sidechain L, R  |  right";
    if (s.dolby)
        return "Bias equaliser: band levels, left  |  right  (the standard decoder has no bands)";
    return "Bias equaliser: band levels, left  |  right  (Dolby B remover off)";
}

// The legend of the band graphs, in the free column to their right.
void band_legend(Painter& p, const ReportStages& s, int x, int top) {
    int y = top + 10;
    auto item = [&](rgb colour, const std::string& line) {
        p.swatch(x, y, colour);
        p.notes(x + 16, y, {line});
        y += k_line + 4;
    };
    item(k_level_after, s.table_remover() ? "band level after the remover" : "band level");
    if (s.table_remover()) {
        item(k_taken_away, "what the remover took away");
        item(k_reduction, "the Dolby B reduction, from the top");
        item(k_sidechain, "sidechain level (middle columns)");
    }
    y = p.notes(x, y + 4,
                {"Bands from low to high frequency,", "their centres in Hz under the graphs.",
                 "10 dB between the ticks on the left."});
    if (s.bias)
        p.notes(x, y + 4,
                {"Dotted: the bias equaliser's factors,", "0 dB at the bottom edge, read on the",
                 "same ticks."});
}

int draw_band_row(Painter& p, const Image& window, const ReportStages& s, double rate, int top) {
    const Panel& b = k_band_row;
    if (!s.band_levels()) {
        p.off(b.x, top,
              s.dolby ? "Bias equaliser (the standard decoder has no bands)"
                      : "Dolby B remover and bias equaliser");
        return top;
    }
    p.title(b.x, top, band_title(s));
    p.copy(window, b, top);
    if (!s.table_remover()) {
        // The sidechain columns measure what only the remover uses.
        const int x = b.x + r::left_level_column.x - b.window_x;
        const int end = b.x + r::right_level_column.x + r::right_level_column.width - b.window_x;
        p.image().fill(x, top, end - x, b.height, report_colour::background);
    }
    // Ticks every 10 dB from the plots' bottom edge, where the factor curves have 0 dB. The
    // band levels have no fixed reference, so the ticks carry no numbers: they measure
    // differences.
    const int plot_height = b.height - 2 * k_inset;
    const int bottom = top + k_inset + plot_height;
    const int ten_db = static_cast<int>(std::lround(10 * k_band_pixels_per_db));
    for (int y = bottom; y >= top + k_inset; y -= ten_db)
        p.image().fill(b.x - 6, y, 6, 1, report_colour::ink);
    p.image().fill(b.x - 6, bottom - ten_db, 1, ten_db, report_colour::ink);
    p.right_aligned(b.x - 9, bottom - ten_db / 2 - 2, "10");
    p.right_aligned(b.x - 9, bottom - ten_db / 2 + 10, "dB");
    // Band 1 at the plots' left edge, band 8 at their right.
    const int plot_width = r::left_band_graph.width - 2 * k_inset;
    for (const Rect& g : {r::left_band_graph, r::right_band_graph}) {
        const int left = b.x + g.x - b.window_x + k_inset;
        for (int band = 1; band <= k_bands; ++band) {
            const int x = left + (band - 1) * plot_width / (k_bands - 1);
            p.image().fill(x, top + b.height, 1, 4, report_colour::ink);
            p.centred(x, top + b.height + 15, hz_text(band_centre_hz(band, rate)));
        }
    }
    band_legend(p, s, b.right() + 16, top);
    return top + b.height + 15 + k_line;
}

}  // namespace

int meter_mark_x(double db) {
    const int end = meter_fill_end(k_meter_width, std::pow(10.0, db / 20.0));
    // The last report column the fill covers.
    return k_meters_x + end * k_meters_zoom - 1;
}

int draw_window_panels(Image& image, TextPainter& text, const Image& window,
                       const ReportStages& stages, double sample_rate, double azimuth_limit,
                       int top) {
    Painter p(image, text);
    int bottom = draw_meters(p, window, stages, top);
    bottom = std::max(bottom, draw_azimuth_history(p, window, stages, azimuth_limit, top));
    bottom = std::max(bottom, draw_fm(p, window, stages, top));
    bottom = std::max(bottom, draw_balance(p, window, stages, sample_rate, top));
    // The band row starts under the tallest of the first; the titles need a line of their own.
    const int band_top = bottom + 24;
    const int band_bottom = draw_band_row(p, window, stages, sample_rate, band_top);
    return band_bottom + (band_bottom == band_top ? 0 : 8);
}

}  // namespace varnolt::cli
