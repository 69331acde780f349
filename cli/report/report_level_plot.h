#pragma once
// The plots behind the automatic Dolby level: levels in dBFS along the bottom and, along the
// top, the "PC Recording Volume" each level calls for, so that a reader finds the chosen value
// where the measured level lies. From the programme: the share of the first pair's 0.4 s
// windows whose treble lies at or below each level, one curve per channel. From line-up tones:
// each channel's tone level.

#include "report_dolby_level.h"
#include "report_image.h"
#include "report_plots.h"
#include "report_text.h"

namespace varnolt::cli {

// The whole plot's height, labels and the setting scale included.
constexpr int k_distribution_plot_height = 210;
constexpr int k_tone_plot_height = 70;

// The inner plotting rectangle of a plot in `area`, and its level axis.
struct LevelFrame {
    int x, y, width, height;
    double low_dbfs, high_dbfs;
    // The column of a level, unrounded; outside the frame for a level outside the axis.
    double column(double dbfs) const;
    // The row of a share of windows, 0 at the bottom edge and 1 at the top.
    double row(double share) const;
};

// The level plot shows the programme's distribution (else the line-up tones).
bool plots_distribution(const DolbyLevelChoice& lane);

// The frame the plot in `area` draws in for the first pair of `level`.
LevelFrame level_frame(PlotArea area, const ReportDolbyLevel& level);

// The level at which the first pair's chosen value lies on the setting scale.
double chosen_level_dbfs(const DolbyLevelChoice& lane);

void draw_level_plot(Image& image, TextPainter& text, PlotArea area, const ReportDolbyLevel& level);

namespace report_colour {
// The channels as the balance display names them: red the left, blue the right.
constexpr rgb left = 0xD02828;
constexpr rgb right = 0x2848D0;
constexpr rgb chosen = 0xE07020;       // the chosen value, as the plots mark a limit
constexpr rgb uncertainty = 0xFCEADC;  // the estimate's spread, behind the curves
constexpr rgb percentile = 0x909090;
}  // namespace report_colour

}  // namespace varnolt::cli
