#include "report_level_plot.h"
#include "text_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "report_scales.h"

namespace varnolt::cli {
namespace {

constexpr int k_label_size = 11;
constexpr int k_setting_size = 10;
constexpr int k_left_margin = 44;  // room for the share labels or the channels' names
constexpr int k_top_margin = 24;   // the setting scale
constexpr int k_bottom_margin = 18;
constexpr int k_right_margin = 48;  // room for the level axis's unit
constexpr int k_dash = 4;           // pixels drawn, then as many left out
constexpr int k_dot = 5;            // the square where a channel's curve meets the percentile

// The level axis spans whole tens of dB, at least this many, around everything the plot marks.
constexpr double k_axis_step_db = 10.0;
constexpr double k_narrowest_axis_db = 40.0;
constexpr double k_tone_room_db = 6.0;
// The distribution's quietest windows are left off the axis: their tail says nothing about the
// choice, which lies at the loud end, and would squeeze the rest.
constexpr double k_share_shown_from = 0.005;
constexpr double k_settings_marked[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1.0, 2.0, 5.0};

struct Channel {
    int index;
    rgb colour;
};

rgb channel_colour(int channel) {
    return channel == 0 ? report_colour::left : report_colour::right;
}

// A pixel coordinate from a computed one: finite and within [low, high] before it is rounded.
int pixel(double v, int low, int high) {
    if (!std::isfinite(v)) return low;
    return static_cast<int>(
        std::lround(std::clamp(v, static_cast<double>(low), static_cast<double>(high))));
}

std::string label_text(double v, int decimals) {
    return (v < -0.5 * std::pow(10.0, -decimals) ? "\u2212" : "") +
           decimal_text(std::fabs(v), decimals);
}

double unity_dbfs(const DolbyLevelChoice& lane) {
    return plots_distribution(lane) ? k_treble_at_unity_dbfs : k_dolby_tone_at_unity_dbfs;
}

// The windows at or below each histogram step, counted from the quietest.
std::vector<long long> cumulative(const std::vector<long long>& histogram) {
    std::vector<long long> sums(histogram.size());
    long long sum = 0;
    for (std::size_t i = 0; i < histogram.size(); ++i) sums[i] = sum += histogram[i];
    return sums;
}

double bin_floor_dbfs(int bin) {
    return k_histogram_floor_dbfs + bin * k_histogram_step_db;
}

// The share of windows at or below `dbfs`: those in the steps up to the one it falls in.
double share_at(const std::vector<long long>& sums, long long windows, double dbfs) {
    if (windows <= 0 || sums.empty() || !std::isfinite(dbfs)) return 0.0;
    const double step = std::floor((dbfs - k_histogram_floor_dbfs) / k_histogram_step_db);
    if (step < 0) return 0.0;
    const int last = static_cast<int>(sums.size()) - 1;
    const int bin = static_cast<int>(std::min(step, static_cast<double>(last)));
    return static_cast<double>(sums[bin]) / static_cast<double>(windows);
}

bool has_distribution(const ReportDolbyLevel& level, int channel) {
    return channel < static_cast<int>(level.treble_histograms.size()) &&
           channel < static_cast<int>(level.programme_windows.size()) &&
           level.programme_windows[channel] > 0 &&
           static_cast<int>(level.treble_histograms[channel].size()) == k_histogram_bins;
}

// The levels the axis must show: the distributions' loud part and what the plot marks.
void axis_extent(const ReportDolbyLevel& level, double& low, double& high) {
    const DolbyLevelChoice& lane = level.use.lanes.front();
    const double chosen = chosen_level_dbfs(lane);
    const double room = plots_distribution(lane) ? k_programme_uncertainty_db : k_tone_room_db;
    low = chosen - room;
    high = chosen + room;
    for (int c = 0; c < lane.channels; ++c) {
        const ChannelDolbyLevel& ch = lane.channel[c];
        if (ch.basis == DolbyLevelBasis::silence) continue;
        if (plots_distribution(lane) != (ch.basis == DolbyLevelBasis::programme)) continue;
        low = std::min(low, ch.measured_dbfs - room);
        high = std::max(high, ch.measured_dbfs + room);
    }
    if (!plots_distribution(lane)) return;
    for (int c = 0; c < lane.channels; ++c) {
        if (!has_distribution(level, c)) continue;
        const std::vector<long long> sums = cumulative(level.treble_histograms[c]);
        const long long windows = level.programme_windows[c];
        int first = -1, loudest = -1;
        for (int b = 0; b < k_histogram_bins; ++b) {
            if (first < 0 && sums[b] >= k_share_shown_from * windows) first = b;
            if (level.treble_histograms[c][b] > 0) loudest = b;
        }
        if (first >= 0) low = std::min(low, bin_floor_dbfs(first));
        if (loudest >= 0) high = std::max(high, bin_floor_dbfs(loudest + 1));
    }
}

void dashed_column(Image& image, int x, int from, int to, rgb colour) {
    for (int y = from; y <= to; ++y)
        if ((y - from) / k_dash % 2 == 0) image.set(x, y, colour);
}

void dashed_row(Image& image, int y, int from, int to, rgb colour) {
    for (int x = from; x <= to; ++x)
        if ((x - from) / k_dash % 2 == 0) image.set(x, y, colour);
}

int last_column(const LevelFrame& f) {
    return f.x + f.width - 1;
}

int bottom_row(const LevelFrame& f) {
    return f.y + f.height - 1;
}

// The level axis: a grid line and a label at every tick, the unit after the last label.
void level_axis(Image& image, TextPainter& text, const LevelFrame& f) {
    const double step = tick_step(f.high_dbfs - f.low_dbfs);
    const int baseline = f.y + f.height + 14;
    int label_end = f.x;
    for (int i = 0; f.low_dbfs + i * step <= f.high_dbfs + 1e-9; ++i) {
        const double db = f.low_dbfs + i * step;
        const int x = pixel(f.column(db), f.x, last_column(f));
        image.fill(x, f.y, 1, f.height, report_colour::grid);
        const std::string s = label_text(db, 0);
        const int w = text.width(s, k_label_size);
        text.draw(image, x - w / 2, baseline, s, k_label_size, report_colour::ink);
        label_end = x - w / 2 + w;
    }
    text.draw(image, label_end + 4, baseline, "dBFS", k_label_size, report_colour::ink);
}

// Above the frame, the setting each level calls for: the slider's range as a ruler with its
// usual steps, and the chosen value in its own colour; a step whose label the chosen value's
// would cover keeps only its tick.
void setting_scale(Image& image, TextPainter& text, const LevelFrame& f,
                   const DolbyLevelChoice& lane) {
    const double unity = unity_dbfs(lane);
    const int ruler = f.y - 6;  // clear of the frame's border
    const int baseline = f.y - 12;
    const int from =
        pixel(f.column(level_for_setting(k_lowest_volume, unity)), f.x, last_column(f));
    const int to = pixel(f.column(level_for_setting(k_highest_volume, unity)), f.x, last_column(f));
    image.fill(from, ruler, to - from + 1, 1, report_colour::ink);

    const std::string chosen = short_number_text(lane.volume);
    const int chosen_x = pixel(f.column(chosen_level_dbfs(lane)), f.x, last_column(f));
    const int chosen_width = text.width(chosen, k_setting_size);
    const int chosen_left =
        std::clamp(chosen_x - chosen_width / 2, f.x, last_column(f) - chosen_width);
    for (double setting : k_settings_marked) {
        const double x = f.column(level_for_setting(setting, unity));
        if (!(x >= f.x && x <= last_column(f))) continue;
        const int column = pixel(x, f.x, last_column(f));
        image.fill(column, ruler - 3, 1, 4, report_colour::ink);
        const std::string s = short_number_text(setting);
        const int w = text.width(s, k_setting_size);
        const int left = column - w / 2;
        if (left + w + 3 < chosen_left || left > chosen_left + chosen_width + 3)
            text.draw(image, left, baseline, s, k_setting_size, report_colour::ink);
    }
    image.fill(chosen_x - 1, ruler - 3, 2, f.y - ruler + 2, report_colour::chosen);
    text.draw(image, chosen_left, baseline, chosen, k_setting_size, report_colour::chosen);
}

void frame_paper(Image& image, const LevelFrame& f) {
    image.fill(f.x, f.y, f.width, f.height, report_colour::paper);
}

void frame_border(Image& image, const LevelFrame& f) {
    image.outline(f.x - 1, f.y - 1, f.width + 2, f.height + 2, report_colour::ink);
}

// The chosen value's line through the frame, two pixels wide so it stands out of the grid.
void chosen_line(Image& image, const LevelFrame& f, const DolbyLevelChoice& lane) {
    const int x = pixel(f.column(chosen_level_dbfs(lane)), f.x, last_column(f));
    image.fill(x - 1, f.y, 2, f.height, report_colour::chosen);
}

// One channel's share of windows at or below each column's level, joined column to column;
// `thickness` more pixels on either side. The first channel's curve is drawn wider, so that it
// still shows around the second's where the two run together.
void distribution_curve(Image& image, const LevelFrame& f, const std::vector<long long>& histogram,
                        long long windows, rgb colour, int thickness) {
    const std::vector<long long> sums = cumulative(histogram);
    int previous = -1;
    for (int c = 0; c < f.width; ++c) {
        const double dbfs = f.low_dbfs + (f.high_dbfs - f.low_dbfs) * c / std::max(f.width - 1, 1);
        const int y = pixel(f.row(share_at(sums, windows, dbfs)), f.y, bottom_row(f));
        const int top = std::max((previous < 0 ? y : std::min(previous, y)) - thickness, f.y);
        const int bottom =
            std::min((previous < 0 ? y : std::max(previous, y)) + thickness, bottom_row(f));
        image.fill(f.x + c, top, 1, bottom - top + 1, colour);
        previous = y;
    }
}

void draw_distribution(Image& image, TextPainter& text, const LevelFrame& f,
                       const ReportDolbyLevel& level) {
    const DolbyLevelChoice& lane = level.use.lanes.front();
    frame_paper(image, f);
    // The estimate's spread around the chosen value, behind everything else.
    const double chosen = chosen_level_dbfs(lane);
    const int spread_from =
        pixel(f.column(chosen - k_programme_uncertainty_db), f.x, last_column(f));
    const int spread_to = pixel(f.column(chosen + k_programme_uncertainty_db), f.x, last_column(f));
    image.fill(spread_from, f.y, spread_to - spread_from + 1, f.height, report_colour::uncertainty);
    for (int percent = 0; percent <= 100; percent += 20) {
        const int y = pixel(f.row(percent / 100.0), f.y, bottom_row(f));
        image.fill(f.x, y, f.width, 1, report_colour::grid);
        const std::string s = std::to_string(percent) + " %";
        text.draw(image, f.x - 4 - text.width(s, k_label_size), y + 4, s, k_label_size,
                  report_colour::ink);
    }
    level_axis(image, text, f);
    const int percentile_row = pixel(f.row(k_treble_percentile / 100.0), f.y, bottom_row(f));
    dashed_row(image, percentile_row, f.x, last_column(f), report_colour::percentile);
    chosen_line(image, f, lane);
    std::vector<Channel> channels;
    for (int c = 0; c < lane.channels; ++c)
        if (has_distribution(level, c)) channels.push_back({c, channel_colour(c)});
    for (const Channel& ch : channels)
        distribution_curve(image, f, level.treble_histograms[ch.index],
                           level.programme_windows[ch.index], ch.colour,
                           ch.index == 0 && channels.size() > 1 ? 1 : 0);
    // Where each channel's curve crosses the percentile: the level it gives, down to the axis.
    for (const Channel& ch : channels) {
        const ChannelDolbyLevel& measured = lane.channel[ch.index];
        if (measured.basis != DolbyLevelBasis::programme) continue;
        const int x = pixel(f.column(measured.measured_dbfs), f.x, last_column(f));
        dashed_column(image, x, percentile_row, bottom_row(f), ch.colour);
        image.fill(x - k_dot / 2, percentile_row - k_dot / 2, k_dot, k_dot, ch.colour);
    }
    frame_border(image, f);
    setting_scale(image, text, f, lane);
}

// Each channel's line-up tone in a strip of its own, named on the left.
void draw_tones(Image& image, TextPainter& text, const LevelFrame& f,
                const ReportDolbyLevel& level) {
    const DolbyLevelChoice& lane = level.use.lanes.front();
    frame_paper(image, f);
    level_axis(image, text, f);
    const int strips = std::max(lane.channels, 1);
    for (int c = 0; c < lane.channels; ++c) {
        const int top = f.y + f.height * c / strips;
        const int height = f.y + f.height * (c + 1) / strips - top;
        if (c > 0) image.fill(f.x, top, f.width, 1, report_colour::grid);
        const std::string name =
            level.use.channels == 2 ? (c == 0 ? "L" : "R") : std::to_string(c + 1);
        text.draw(image, f.x - 4 - text.width(name, k_label_size), top + height / 2 + 4, name,
                  k_label_size, report_colour::ink);
        const ChannelDolbyLevel& ch = lane.channel[c];
        if (ch.basis != DolbyLevelBasis::tone) continue;
        const int x = pixel(f.column(ch.measured_dbfs), f.x, last_column(f));
        image.fill(x - 2, top + 2, 5, std::max(height - 4, 1), channel_colour(c));
    }
    chosen_line(image, f, lane);
    frame_border(image, f);
    setting_scale(image, text, f, lane);
}

}  // namespace

double LevelFrame::column(double dbfs) const {
    return x + (dbfs - low_dbfs) / (high_dbfs - low_dbfs) * (width - 1);
}

double LevelFrame::row(double share) const {
    return y + (1.0 - share) * (height - 1);
}

bool plots_distribution(const DolbyLevelChoice& lane) {
    return lane.remover_on && lane.basis == DolbyLevelBasis::programme;
}

double chosen_level_dbfs(const DolbyLevelChoice& lane) {
    return level_for_setting(lane.volume, unity_dbfs(lane));
}

LevelFrame level_frame(PlotArea area, const ReportDolbyLevel& level) {
    LevelFrame f{area.x + k_left_margin,
                 area.y + k_top_margin,
                 area.width - k_left_margin - k_right_margin,
                 area.height - k_top_margin - k_bottom_margin,
                 k_histogram_floor_dbfs,
                 0.0};
    if (level.use.lanes.empty()) return f;
    double low = 0.0, high = 0.0;
    axis_extent(level, low, high);
    if (!std::isfinite(low) || !std::isfinite(high)) return f;
    low =
        std::clamp(std::floor(low / k_axis_step_db) * k_axis_step_db, k_histogram_floor_dbfs, 0.0);
    high =
        std::clamp(std::ceil(high / k_axis_step_db) * k_axis_step_db, k_histogram_floor_dbfs, 0.0);
    if (high - low < k_narrowest_axis_db) {
        // Widened on the quiet side, where the axis has room down to the histogram's floor.
        low = std::max(high - k_narrowest_axis_db, k_histogram_floor_dbfs);
        high = low + k_narrowest_axis_db;
    }
    f.low_dbfs = low;
    f.high_dbfs = high;
    return f;
}

void draw_level_plot(Image& image, TextPainter& text, PlotArea area,
                     const ReportDolbyLevel& level) {
    if (level.use.lanes.empty() || !level.use.lanes.front().remover_on) return;
    const LevelFrame f = level_frame(area, level);
    if (plots_distribution(level.use.lanes.front()))
        draw_distribution(image, text, f, level);
    else
        draw_tones(image, text, f, level);
}

}  // namespace varnolt::cli
