#include "report_plots.h"
#include "text_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "report_scales.h"

namespace varnolt::cli {
namespace {

constexpr int k_label_size = 11;
constexpr int k_left_margin = 44;  // room for the value labels
constexpr int k_bottom_margin = 18;
constexpr int k_top_margin = 4;
constexpr int k_right_margin = 8;
constexpr double k_lowest_hz = 20.0;
constexpr double k_db_range = 100.0;

struct Frame {
    int x, y, width, height;  // the inner plotting rectangle
};

Frame frame_of(PlotArea a) {
    return {a.x + k_left_margin, a.y + k_top_margin, a.width - k_left_margin - k_right_margin,
            a.height - k_top_margin - k_bottom_margin};
}

void paper(Image& image, const Frame& f) {
    image.fill(f.x, f.y, f.width, f.height, report_colour::paper);
}

void border(Image& image, const Frame& f) {
    image.outline(f.x - 1, f.y - 1, f.width + 2, f.height + 2, report_colour::ink);
}

void vertical_label(Image& image, TextPainter& text, const Frame& f, int y, const std::string& s) {
    const int w = text.width(s, k_label_size);
    text.draw(image, f.x - 4 - w, y + 4, s, k_label_size, report_colour::ink);
}

void horizontal_label(Image& image, TextPainter& text, const Frame& f, int x,
                      const std::string& s) {
    const int w = text.width(s, k_label_size);
    text.draw(image, x - w / 2, f.y + f.height + 14, s, k_label_size, report_colour::ink);
}

double decibels(double power) {
    return power > 1e-30 ? 10.0 * std::log10(power) : -300.0;
}

// Mean power of the bins between two frequencies; the nearest bin where none lies between.
double band_power(const Spectrum& s, double low_hz, double high_hz) {
    if (s.power.empty() || s.bin_hz <= 0) return 0.0;
    const int last = static_cast<int>(s.power.size()) - 1;
    int first = std::clamp(static_cast<int>(std::ceil(low_hz / s.bin_hz)), 1, last);
    int end = std::clamp(static_cast<int>(std::floor(high_hz / s.bin_hz)), 1, last);
    if (end < first) {
        const int nearest = std::clamp(static_cast<int>(std::lround(low_hz / s.bin_hz)), 1, last);
        return s.power[nearest];
    }
    double sum = 0.0;
    for (int k = first; k <= end; ++k) sum += s.power[k];
    return sum / (end - first + 1);
}

// Joins the column values; `thickness` extra pixels widen the line on both sides.
void trace(Image& image, const Frame& f, const std::vector<double>& ys, rgb colour,
           int thickness = 0) {
    for (int c = 1; c < static_cast<int>(ys.size()); ++c) {
        const int y0 = static_cast<int>(std::lround(ys[c - 1]));
        const int y1 = static_cast<int>(std::lround(ys[c]));
        const int top = std::clamp(std::min(y0, y1) - thickness, f.y, f.y + f.height - 1);
        const int bottom = std::clamp(std::max(y0, y1) + thickness, f.y, f.y + f.height - 1);
        for (int y = top; y <= bottom; ++y) image.set(f.x + c, y, colour);
    }
}

}  // namespace

void draw_azimuth_plot(Image& image, TextPainter& text, PlotArea area,
                       const std::vector<AzimuthPoint>& points, double seconds, double limit,
                       bool running) {
    const Frame f = frame_of(area);
    paper(image, f);
    if (!running || points.empty()) {
        text.draw(image, f.x + 12, f.y + f.height / 2, "azimuth correction off", 13,
                  report_colour::ink);
        border(image, f);
        return;
    }
    // The range follows the trace; the limit is marked when it falls inside.
    double range = 0.5;
    for (const AzimuthPoint& p : points) range = std::max(range, std::fabs(p.micrometres) * 1.25);
    const double step = tick_step(2 * range);
    range = std::ceil(range / step) * step;
    auto y_of = [&](double um) { return f.y + (range - um) / (2 * range) * (f.height - 1); };
    const double duration = std::max(seconds, 1e-9);
    for (double v = -range; v <= range + 1e-9; v += step) {
        const int y = static_cast<int>(std::lround(y_of(v)));
        image.fill(f.x, y, f.width, 1, std::fabs(v) < 1e-9 ? 0xA0A0A0 : report_colour::grid);
        vertical_label(image, text, f, y, decimal_text(v, step < 1 ? 1 : 0));
    }
    for (const Tick& t : time_ticks(duration)) {
        const int x = f.x + static_cast<int>(std::lround(t.value / duration * (f.width - 1)));
        image.fill(x, f.y, 1, f.height, report_colour::grid);
        horizontal_label(image, text, f, x, t.label);
    }
    if (limit < range)
        for (double v : {-limit, limit}) {
            const int y = static_cast<int>(std::lround(y_of(v)));
            image.fill(f.x, y, f.width, 1, report_colour::input);
            text.draw(image, f.x + 4, v > 0 ? y - 3 : y + 11, "limit", k_label_size,
                      report_colour::input);
        }
    std::vector<double> ys(f.width, y_of(0));
    std::size_t i = 0;
    for (int c = 0; c < f.width; ++c) {
        const double t = duration * c / (f.width - 1);
        while (i + 1 < points.size() && points[i + 1].seconds <= t) ++i;
        ys[c] = y_of(points[i].seconds <= t ? points[i].micrometres : 0.0);
    }
    trace(image, f, ys, report_colour::output);
    border(image, f);
}

void draw_spectrum_plot(Image& image, TextPainter& text, PlotArea area, const Spectrum& input,
                        const Spectrum& output, double sample_rate) {
    const Frame f = frame_of(area);
    paper(image, f);
    const double low = std::log10(k_lowest_hz);
    const double high = std::log10(std::max(sample_rate / 2, 2 * k_lowest_hz));
    auto hz_at = [&](double c) { return std::pow(10.0, low + (high - low) * c / f.width); };

    std::vector<double> in_db(f.width), out_db(f.width);
    double top = -300.0;
    for (int c = 0; c < f.width; ++c) {
        in_db[c] = decibels(band_power(input, hz_at(c), hz_at(c + 1)));
        out_db[c] = decibels(band_power(output, hz_at(c), hz_at(c + 1)));
        top = std::max({top, in_db[c], out_db[c]});
    }
    if (top < -250) top = 0;
    top = std::ceil(top / 10.0) * 10.0;
    const double bottom = top - k_db_range;
    auto y_of = [&](double db) { return f.y + (top - db) / (top - bottom) * (f.height - 1); };
    for (double db = bottom; db <= top + 1e-9; db += 20.0) {
        const int y = static_cast<int>(std::lround(y_of(db)));
        image.fill(f.x, y, f.width, 1, report_colour::grid);
        vertical_label(image, text, f, y, decimal_text(db, 0) + " dB");
    }
    for (double hz : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
        if (hz > sample_rate / 2) break;
        const int x =
            f.x + static_cast<int>(std::lround((std::log10(hz) - low) / (high - low) * f.width));
        image.fill(x, f.y, 1, f.height, report_colour::grid);
        horizontal_label(image, text, f, x,
                         hz >= 1000 ? decimal_text(hz / 1000, 0) + "k" : decimal_text(hz, 0));
    }
    std::vector<double> ys(f.width);
    for (int c = 0; c < f.width; ++c) ys[c] = y_of(std::max(in_db[c], bottom - 5));
    trace(image, f, ys, report_colour::input, 1);
    for (int c = 0; c < f.width; ++c) ys[c] = y_of(std::max(out_db[c], bottom - 5));
    trace(image, f, ys, report_colour::output);
    // Legend, top right.
    const int lx = f.x + f.width - 110, ly = f.y + 8;
    image.fill(lx, ly, 104, 34, report_colour::paper);
    image.outline(lx, ly, 104, 34, report_colour::grid);
    image.fill(lx + 6, ly + 10, 16, 2, report_colour::input);
    text.draw(image, lx + 28, ly + 14, "input", k_label_size, report_colour::ink);
    image.fill(lx + 6, ly + 24, 16, 2, report_colour::output);
    text.draw(image, lx + 28, ly + 28, "restored", k_label_size, report_colour::ink);
    border(image, f);
}

}  // namespace varnolt::cli
