// The Dolby B remover's displays: band graphs, level columns and the balance display.

#include <algorithm>
#include <cmath>

#include "chain/instance.h"
#include "processors/processor.h"
#include "processors/processor_set.h"
#include "processors/tape_processor.h"
#include "processors/tone_analyzer.h"
#include "settings/parameters.h"
#include "ui/display_math.h"
#include "ui/displays.h"

namespace varnolt {
namespace {

using namespace display_pixels;

constexpr double k_floor_db = -160.0 / 7.0;  // what a level of nothing is drawn at
constexpr double k_pixels_per_db = 7.0;
constexpr int k_inset = 5;
constexpr int k_tone_rows = 63;
constexpr double k_tone_low_hz = 1900.0;
constexpr double k_tone_high_hz = 2100.0;

double decibels(double quotient) {
    return quotient > 0.0 ? 10.0 * std::log10(quotient) : k_floor_db;
}

// A three-pixel frame one pixel in from the edge.
void thick_frame(PixelCanvas& canvas, pixel value) {
    const int w = canvas.width(), h = canvas.height();
    for (int i = 1; i <= 3; ++i) {
        canvas.column_span(i, 1, h - 2, value);
        canvas.column_span(w - 1 - i, 1, h - 2, value);
        canvas.row_span(i, 1, w - 2, value);
        canvas.row_span(h - 1 - i, 1, w - 2, value);
    }
}

// Position of plot column c among the eight bands: band k and the weight of band k + 1.
struct BandBlend {
    int band;
    double fraction;
};
BandBlend blend_at(int c, int plot_width) {
    const double t = 1.0 + 7.0 * c / plot_width;
    const int k = std::clamp(static_cast<int>(t), 1, 7);
    return {k, t - k};
}
double interpolate(const double* values, const BandBlend& b) {
    return (1.0 - b.fraction) * values[b.band] + b.fraction * values[b.band + 1];
}

namespace graph_colour {
constexpr pixel frame = 0xFFC000;
constexpr pixel above = 0xFFFFFA;
constexpr pixel edge = 0xA0A0C0;
constexpr pixel reduction = 0xFFE0E0;
constexpr pixel removed = 0x40407F;
constexpr pixel output_line = 0x8080C0;
constexpr pixel output = 0xC0C0FF;
constexpr pixel reduction_trace = 0xFFF0F0;
constexpr pixel level = 0xFF7F7F;
constexpr pixel balance_frame = 0x00FFC0;
constexpr pixel balance_ground = 0xC0C0C0;
constexpr pixel left_louder = 0xFF0000;
constexpr pixel right_louder = 0x0000FF;
constexpr pixel tone = 0x004000;
constexpr pixel tone_ground = 0xFFF080;
}  // namespace graph_colour

// The tone level of each channel: the energy of the bins between 1900 and 2100 Hz.
stereo_frame tone_level(const Instance& instance) {
    const ToneAnalyzer* tone = dynamic_cast<const ToneAnalyzer*>(instance.processors.tone);
    const double rate = instance.tone_state.spectrum_rate;
    if (tone == nullptr || !(rate > 0.0)) return {0.0, 0.0};
    const double n = tone->geometry().frames;
    double left = 0.0, right = 0.0;
    for (int k = static_cast<int>(k_tone_low_hz * n / rate);
         k <= k_tone_high_hz * n / rate && k < k_tone_bins; ++k) {
        const double bin_left = instance.tone_state.tone_spectrum[k].left;
        const double bin_right = instance.tone_state.tone_spectrum[k].right;
        left += bin_left * bin_left;
        right += bin_right * bin_right;
    }
    // The history keeps 512 of these: a level that is not finite goes in as 0.
    auto level = [](double sum) {
        return std::sqrt(sum) > 0.0 && std::isfinite(sum) ? 10.0 * std::log10(std::sqrt(sum)) : 0.0;
    };
    return {level(left), level(right)};
}

void draw_tone_history(Displays& displays, PixelCanvas& canvas, int top) {
    stereo_frame* history = displays.state.tone_history;
    std::copy(history + 1, history + k_tone_history, history);
    history[k_tone_history - 1] = tone_level(displays.instance);

    const int newest = k_tone_history - 1;
    const int plot_width = canvas.width() - 2 * k_inset;
    const int half_width = plot_width / 2;
    const int mean_entries = std::min(plot_width, k_tone_history);
    double mean[2] = {0.0, 0.0};
    for (int j = 0; j < mean_entries; ++j) {
        mean[0] += history[newest - j].left;
        mean[1] += history[newest - j].right;
    }
    mean[0] /= mean_entries;
    mean[1] /= mean_entries;

    canvas.row_span(top, k_inset, k_inset + plot_width - 1, colour::black);
    for (int ch = 0; ch < 2; ++ch) {
        for (int i = 0; i < half_width; ++i) {
            double a = 0.0;
            for (int older = 72 - i; older <= 75 - i; ++older) {
                const int index = std::clamp(newest - older, 0, newest);
                a += ch == 0 ? history[index].left : history[index].right;
            }
            a /= 4.0;
            const int column = k_inset + ch * half_width + i;
            for (int r = 1; r < k_tone_rows; ++r)
                canvas.set(top + r, column,
                           r >= 31.5 - 8.0 * (a - mean[ch]) ? graph_colour::tone
                                                            : graph_colour::tone_ground);
        }
    }
    canvas.column_span(k_inset + half_width, top, top + k_tone_rows - 1, colour::black);
}

}  // namespace

void draw_level_column(Displays& displays, DisplaySurface& surface, double v, Rect design,
                       int count) {
    const Rect rect = scale_rect(surface, design);
    PixelCanvas canvas(displays.pixels.column, k_column_width, k_column_height, rect.width,
                       rect.height);
    const int w = canvas.width(), h = canvas.height();
    canvas.frame(colour::black);
    const double level = 10.0 * std::log10(v / (count + 0.01));
    const double row = (h - 2) - 15 - k_pixels_per_db * level;
    const int p = std::isnan(row) ? h - 1 : limited(row, 1, h - 1);  // no level: an empty column
    for (int r = 1; r <= h - 2; ++r)
        canvas.row_span(r, 1, w - 2, r < p ? colour::white : graph_colour::level);
    surface.blit(canvas, rect.x, rect.y);
}

void draw_band_graph(Displays& displays, DisplaySurface& surface, int channel, Rect design) {
    const Rect rect = scale_rect(surface, design);
    PixelCanvas canvas(displays.pixels.graph, k_graph_width, k_graph_height, rect.width,
                       rect.height);
    canvas.fill(colour::black);
    thick_frame(canvas, graph_colour::frame);
    const int plot_width = canvas.width() - 2 * k_inset;
    const int plot_height = canvas.height() - 2 * k_inset;
    const double count = shown_meter_count(displays.instance) + 0.01;
    const TapeMonitor& monitor = displays.instance.tape_state.monitor;

    double in[k_bands + 1], out[k_bands + 1], applied[k_bands + 1], automatic[k_bands + 1];
    for (int k = 1; k <= k_bands; ++k) {
        in[k] = decibels(monitor.band_meter_in[k][channel] / count);
        out[k] = decibels(monitor.band_meter_out[k][channel] / count);
        applied[k] = 10.0 * std::log10(monitor.applied_factor[k][channel]);
        automatic[k] = 10.0 * std::log10(monitor.auto_factor[k][channel]);
    }
    auto plot = [&](int row, int column, pixel value) {
        if (row >= 0 && row < plot_height) canvas.set(k_inset + row, k_inset + column, value);
    };
    int previous_band = 0;
    for (int c = 0; c < plot_width; ++c) {
        const BandBlend b = blend_at(c, plot_width);
        const double yi_real = (plot_height - 80) - k_pixels_per_db * interpolate(in, b);
        const double yo_real = (plot_height - 80) - k_pixels_per_db * interpolate(out, b);
        const double d = yo_real - yi_real;
        const int yi = limited(yi_real, 0, plot_height - 1);
        const int yo = limited(yo_real, 0, plot_height - 1);
        const bool band_start = b.band != previous_band;
        previous_band = b.band;
        if (band_start) {
            for (int r = 0; r < yi; ++r) plot(r, c, colour::black);
        } else {
            for (int r = 0; r < yi - 1; ++r) plot(r, c, graph_colour::above);
            plot(yi - 1, c, graph_colour::edge);
            // A bar from the top whose height is the Dolby B reduction in pixels.
            for (int r = 0; r < d && r < plot_height; ++r) plot(r, c, graph_colour::reduction);
        }
        for (int r = yi; r < yo; ++r) plot(r, c, graph_colour::removed);
        plot(yo, c, graph_colour::output_line);
        for (int r = yo + 1; r < plot_height; ++r) plot(r, c, graph_colour::output);
        if (!band_start) plot(yo - yi, c, graph_colour::reduction_trace);
        // Dotted factor curves, 0 dB at the bottom of the plot.
        const int a = limited(k_pixels_per_db * interpolate(automatic, b), -1, plot_height + 1);
        if (a > 0) plot(plot_height - a, c, (c & 2) ? colour::white : colour::black);
        const int f = limited(k_pixels_per_db * interpolate(applied, b), -1, plot_height + 1);
        if (f > 0) plot(plot_height - f, c, (c & 4) ? colour::white : colour::black);
    }
    surface.blit(canvas, rect.x, rect.y);
}

void draw_balance_display(Displays& displays, DisplaySurface& surface) {
    const Rect rect = scale_rect(surface, display_rect::balance);
    const Instance& instance = displays.instance;
    PixelCanvas canvas(displays.pixels.balance, k_balance_width, k_balance_height, rect.width,
                       rect.height);
    canvas.fill(colour::black);
    thick_frame(canvas, graph_colour::balance_frame);
    const bool tone_shown = instance.live.show_tone_level != 0;
    const int plot_width = canvas.width() - 2 * k_inset;
    const int plot_height = canvas.height() - 2 * k_inset - (tone_shown ? k_tone_rows : 0);
    for (int r = 0; r < plot_height; ++r)
        canvas.row_span(k_inset + r, k_inset, k_inset + plot_width - 1,
                        graph_colour::balance_ground);

    // The smoothing time must not depend on how often the displays refresh; at most the whole
    // way per refresh, so a very slow refresh cannot make the average overshoot.
    const double speed = instance.live.values.screen_refresh_speed;
    const double alpha = speed > 0.0 ? std::min(0.01 / speed, 1.0) : 0.01;
    const double count = shown_meter_count(instance) + 0.01;
    double level[2][k_bands + 1];
    for (int k = 1; k <= k_bands; ++k)
        for (int ch = 0; ch < 2; ++ch) {
            double& smoothed = displays.state.balance_smoothed[k][ch];
            // An overflowed meter would hold the average at inf for good: skip it.
            const double next = (instance.tape_state.monitor.band_meter_in[k][ch] / count) * alpha +
                                smoothed * (1.0 - alpha);
            if (std::isfinite(next)) smoothed = next;
            level[ch][k] = decibels(smoothed);
        }

    int previous_band = 0;
    for (int c = 0; c < plot_width; ++c) {
        const BandBlend b = blend_at(c, plot_width);
        const int yl = limited((plot_height - 10) - k_pixels_per_db * interpolate(level[0], b), 0,
                               plot_height - 1);
        const int yr = limited((plot_height - 10) - k_pixels_per_db * interpolate(level[1], b), 0,
                               plot_height - 1);
        const int top = std::min(yl, yr), bottom = std::max(yl, yr);
        const int column = k_inset + c;
        if (b.band != previous_band)
            canvas.column_span(column, k_inset, k_inset + top - 1, colour::black);
        previous_band = b.band;
        canvas.column_span(column, k_inset + top, k_inset + bottom - 1,
                           yl < yr ? graph_colour::left_louder : graph_colour::right_louder);
        canvas.column_span(column, k_inset + bottom, k_inset + plot_height - 1, colour::white);
    }
    if (tone_shown) draw_tone_history(displays, canvas, k_inset + plot_height);
    surface.blit(canvas, rect.x, rect.y);
}

}  // namespace varnolt
