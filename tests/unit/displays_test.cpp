#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "chain/chain.h"
#include "fake_surface.h"
#include "instance_names.h"
#include "processors/sort_ascending.h"
#include "processors/stereo.h"
#include "processors/tape_processor.h"
#include "settings/parameters.h"
#include "test_support.h"
#include "ui/colour_ramps.h"
#include "ui/displays.h"
#include "ui/pixel_formats.h"
#include "ui/plugin_state.h"
#include "ui/tray_image.h"
#include "ui/window_binding.h"

namespace varnolt {
namespace {

using testing::Blit;
using testing::FakeSurface;

class Displays : public ::testing::Test, public testing::OwnWindow {
  protected:
    void SetUp() override {
        testing::reset_plugin_state();
        window_displays().state = DisplayState{};
        fill_colour_ramps(window_displays().colour_ramps);
        plugin.window_active = 1;
    }
    void TearDown() override {
        window_displays().state = DisplayState{};
        testing::reset_plugin_state();
    }
    static pixel ramp(int row, int entry) {
        return window_displays().colour_ramps[row * k_colour_ramp_entries + entry];
    }
    FakeSurface surface;
};

TEST_F(Displays, ScaleRectIsTheIdentityAtDesignUnitsAndGrowsWithTheFont) {
    const Rect r = scale_rect(surface, {707, 7, 108, 13});
    EXPECT_EQ(r.x, 707);
    EXPECT_EQ(r.y, 7);
    EXPECT_EQ(r.width, 108);
    EXPECT_EQ(r.height, 13);
    FakeSurface large(9, 20);
    const Rect big = scale_rect(large, {300, 80, 60, 16});
    EXPECT_EQ(big.x, 450);
    EXPECT_EQ(big.y, 123);
    EXPECT_EQ(big.width, 90);
    EXPECT_EQ(big.height, 24);
}

TEST_F(Displays, BarBevelAndHorizontalFill) {
    const int w = 108, h = 13;
    draw_bar(window_displays(), surface, 0.5, {0, 0, w, h}, false, 0);
    const Blit& b = surface.blits.back();
    EXPECT_EQ(b.at(0, 0), 0xC0C0C0u);
    EXPECT_EQ(b.at(0, w - 2), 0xC0C0C0u);
    EXPECT_EQ(b.at(h - 2, w - 2), 0xC0C0C0u);
    EXPECT_EQ(b.at(0, 5), 0x808080u);
    EXPECT_EQ(b.at(1, 5), 0x606060u);
    EXPECT_EQ(b.at(h - 2, 5), 0x606060u);
    EXPECT_EQ(b.at(h - 1, 5), 0xFFFFFFu);
    EXPECT_EQ(b.at(5, 0), 0x808080u);
    EXPECT_EQ(b.at(5, 1), 0x606060u);
    EXPECT_EQ(b.at(5, w - 1), 0xFFFFFFu);
    // n = trunc(105 * 0.5 - 0.025) + 2 = 54: the ramp by position up to column 53, then white.
    for (int c = 2; c <= 53; ++c) EXPECT_EQ(b.at(2, c), ramp(0, c * 255 / w)) << c;
    for (int c = 54; c <= w - 3; ++c) EXPECT_EQ(b.at(2, c), 0xFFFFFFu) << c;
    for (int r = 3; r <= h - 3; ++r) EXPECT_EQ(b.at(r, 20), b.at(2, 20)) << r;
}

TEST_F(Displays, FullScaleReachesColumnWidthMinusThreeAndSilenceIsEmpty) {
    const int w = 108, h = 13;
    draw_bar(window_displays(), surface, 32768.0 / 32768.0, {0, 0, w, h}, false, 0);
    EXPECT_EQ(surface.blits.back().at(2, w - 3), ramp(0, (w - 3) * 255 / w));
    draw_bar(window_displays(), surface, 0.0, {0, 0, w, h}, false, 0);
    for (int c = 2; c <= w - 3; ++c) EXPECT_EQ(surface.blits.back().at(5, c), 0xFFFFFFu) << c;
}

TEST_F(Displays, VerticalBarsAreWhiteFromTheTopDown) {
    const int w = 11, h = 99;
    draw_bar(window_displays(), surface, 0.5, {0, 0, w, h}, true, 2);
    const Blit& b = surface.blits.back();
    const int n = static_cast<int>((h - 3) * 0.5 - 0.025) + 2;
    for (int r = 2; r < n; ++r) EXPECT_EQ(b.at(r, 4), 0xFFFFFFu) << r;
    for (int r = n; r <= h - 3; ++r) EXPECT_EQ(b.at(r, 4), ramp(2, r * 255 / h)) << r;
    draw_bar(window_displays(), surface, 0.25, {0, 0, 7, 91}, true, 0xFF80FF);
    EXPECT_EQ(surface.blits.back().at(88, 3), 0xFF80FFu) << "a literal colour from 10 on";
}

TEST_F(Displays, LevelColumnHasSevenPixelsPerDecibel) {
    const Rect design = display_rect::left_level_column;
    const int h = design.height;
    draw_level_column(window_displays(), surface, 100.0 + 0.01, design,
                      100);  // 0 dB: 15 pixels above the bottom
    const Blit& zero = surface.blits.back();
    const int p0 = (h - 2) - 15;
    EXPECT_EQ(zero.at(p0 - 1, 5), 0xFFFFFFu);
    EXPECT_EQ(zero.at(p0, 5), 0xFF7F7Fu);
    EXPECT_EQ(zero.at(0, 5), 0x000000u);
    draw_level_column(window_displays(), surface, 10.0 * (100.0 + 0.01), design,
                      100);  // +10 dB: 70 rows higher
    EXPECT_EQ(surface.blits.back().at(p0 - 70, 5), 0xFF7F7Fu);
    EXPECT_EQ(surface.blits.back().at(p0 - 71, 5), 0xFFFFFFu);
    draw_level_column(window_displays(), surface, 0.0, design, 0);  // nothing: an empty column
    for (int r = 1; r <= h - 2; ++r) ASSERT_EQ(surface.blits.back().at(r, 5), 0xFFFFFFu) << r;
}

TEST_F(Displays, BandGraphShowsLevelsReductionAndFrame) {
    // Band levels of 0 dB in, -10 dB out in every band: the curves sit 80 and 150 pixels above
    // the plot's bottom, and the top bar is the 70-pixel reduction.
    tape_state.monitor.meter_count = 100;
    for (int k = 1; k <= 8; ++k) {
        tape_state.monitor.band_meter_in[k][0] = 100.01;
        tape_state.monitor.band_meter_out[k][0] = 10.001;
        tape_state.monitor.applied_factor[k][0] = tape_state.monitor.auto_factor[k][0] = 1.0;
    }
    draw_band_graph(window_displays(), surface, 0, display_rect::left_band_graph);
    const Blit& b = surface.blits.back();
    const int ph = b.height - 10;
    const int yi = ph - 80, yo = ph - 80 + 70;
    const int column = 5 + 100;  // inside a band, not at its start
    EXPECT_EQ(b.at(2, 50), 0xFFC000u);
    EXPECT_EQ(b.at(50, b.width - 3), 0xFFC000u);
    EXPECT_EQ(b.at(0, 50), 0x000000u);
    EXPECT_EQ(b.at(5 + 10, column), 0xFFE0E0u) << "the reduction bar from the top";
    EXPECT_EQ(b.at(5 + yi - 2, column), 0xFFFFFAu);
    EXPECT_EQ(b.at(5 + yi - 1, column), 0xA0A0C0u);
    EXPECT_EQ(b.at(5 + yi + 5, column), 0x40407Fu);
    EXPECT_EQ(b.at(5 + yo, column), 0x8080C0u);
    EXPECT_EQ(b.at(5 + yo + 5, column), 0xC0C0FFu);
    EXPECT_EQ(b.at(5 + 10, 5), 0x000000u) << "a band separator at the first column";
}

TEST_F(Displays, BalanceDisplayColoursTheLouderChannel) {
    tape_state.monitor.meter_count = 1;
    live.values.screen_refresh_speed = 0.01;  // alpha 1: no smoothing memory
    for (int k = 1; k <= 8; ++k) {
        tape_state.monitor.band_meter_in[k][0] = 100.0;  // left 10 dB louder
        tape_state.monitor.band_meter_in[k][1] = 10.0;
    }
    draw_balance_display(window_displays(), surface);
    const Blit& b = surface.blits.back();
    EXPECT_EQ(b.at(2, 20), 0x00FFC0u);
    const int ph = b.height - 10;
    const double left_db = 10 * std::log10(100.0 / 1.01), right_db = 10 * std::log10(10.0 / 1.01);
    const int yl = static_cast<int>((ph - 10) - 7 * left_db),
              yr = static_cast<int>((ph - 10) - 7 * right_db);
    const int column = 5 + 30;
    EXPECT_EQ(b.at(5 + yl + 2, column), 0xFF0000u);
    EXPECT_EQ(b.at(5 + yr + 2, column), 0xFFFFFFu);
    EXPECT_EQ(b.at(5 + yl - 3, column), 0xC0C0C0u);
    for (int k = 1; k <= 8; ++k)
        std::swap(tape_state.monitor.band_meter_in[k][0], tape_state.monitor.band_meter_in[k][1]);
    draw_balance_display(window_displays(), surface);
    EXPECT_EQ(surface.blits.back().at(5 + yl + 2, column), 0x0000FFu)
        << "blue where the right is louder";
}

TEST_F(Displays, AzimuthTraceFollowsTheAppliedSlope) {
    StereoMonitor& m = stereo_state.monitor;
    m.slope_limit = 0.01;
    m.slope = 0.005;  // half the limit: column 72
    m.slope_estimate = -0.01;
    m.estimate_accepted = true;
    draw_azimuth_display(window_displays(), surface, true);
    draw_azimuth_display(window_displays(), surface, true);
    const Blit& b = surface.blits.back();
    EXPECT_EQ(b.at(0, 10), 0x000000u);
    EXPECT_EQ(b.at(50, 30), 0xF0F0F0u);
    EXPECT_EQ(b.at(50, 48), 0x6060FFu) << "the empty history's trace runs down the centre";
    EXPECT_EQ(b.at(1, 72), 0x6060FFu);
    EXPECT_EQ(b.at(1, 1), 0xFF0000u) << "the accepted estimate at the left edge";
    EXPECT_EQ(b.at(1, 2), 0xFF0000u);
    // Row 2 joins the newer slope (72) to the empty history (48).
    for (int x = 48; x <= 72; ++x) EXPECT_EQ(b.at(2, x), 0x6060FFu) << x;
}

TEST_F(Displays, NoiseFloorRowsAndMarkers) {
    StereoMonitor& m = stereo_state.monitor;
    for (int i = 0; i < 1024; ++i) m.excess[i] = i / 32.0;  // up to about 32 units
    m.noise_level = 10.0;
    m.history_floor = 5.0;
    m.held_level = 5.0 + 1 / 3.03;
    m.threshold = 20.0;
    live.values.ignore_lowest_percentage = 25.0;
    draw_noise_floor_display(window_displays(), surface);
    const Blit& b = surface.blits.back();
    // Row 1 covers entries 0..10: m = 10/32, n = trunc(0.947) = 0: no bar.
    EXPECT_EQ(b.at(1, 1), 0xF0F0F0u);
    // Row 86 holds the largest entries: its bar runs to the right edge.
    EXPECT_EQ(b.at(86, 60), 0xE0C000u);
    const auto column = [](double v) { return std::min(static_cast<int>(v * 0.03 * 101) + 1, 99); };
    EXPECT_EQ(b.at(40, column(10.0)), 0x0000FFu);
    EXPECT_EQ(b.at(40, column(5.0)), 0x009000u);
    EXPECT_EQ(b.at(40, column(5.0 + 1 / 3.03)), 0xFF4040u);
    EXPECT_EQ(b.at(40, column(20.0)), 0xFF0000u);
    EXPECT_EQ(b.at(40, column(20.0) + 1), 0xFF0000u);
    // The quantile row: entry 768 of 1024 lies in row 65.
    const int line = 768 * 86 / 1024 + 1;
    EXPECT_EQ(b.at(line, 5), 0x000000u);
    EXPECT_EQ(b.at(line, column(10.0) + 3), 0xC0C0C0u);
}

// The filter publishes its excess in bin order; the picture is that of the values sorted, as
// the rows stand for quantiles. Ties and a NaN (last in the sort, and no bar) included.
TEST_F(Displays, NoiseFloorDrawsTheExcessSortedWhateverItsOrderInTheMonitor) {
    StereoMonitor& m = stereo_state.monitor;
    std::vector<double> excess(1024);
    for (int i = 0; i < 1024; ++i) excess[i] = (i % 700) / 24.0;
    excess[5] = std::nan("");
    std::vector<double> sorted = excess;
    sort_ascending(sorted.data(), 1024);
    m.noise_level = 10.0;
    m.threshold = 20.0;
    live.values.ignore_lowest_percentage = 25.0;
    for (int i = 0; i < 1024; ++i) m.excess[i] = sorted[i];
    draw_noise_floor_display(window_displays(), surface);
    const std::vector<pixel> from_sorted = surface.blits.back().pixels;

    std::shuffle(excess.begin(), excess.end(), std::mt19937(7));
    for (int i = 0; i < 1024; ++i) m.excess[i] = excess[i];
    draw_noise_floor_display(window_displays(), surface);
    EXPECT_EQ(surface.blits.back().pixels, from_sorted);
    for (int i = 0; i < 1024; ++i) {
        const double published = m.excess[i];
        EXPECT_EQ(std::memcmp(&published, &excess[i], sizeof published), 0)
            << "the monitor is left as published, " << i;
    }
    // The largest entries fill the bottom row, wherever they were.
    EXPECT_EQ(surface.blits.back().at(86, 60), 0xE0C000u);
}

TEST_F(Displays, TheIgnoreLineMarksTheRowHoldingTheQuantileAtEverySliderPosition) {
    stereo_state.monitor.noise_level = 10.0;  // the line is black up to column 31
    const auto marked_rows = [this] {
        surface.blits.clear();
        draw_noise_floor_display(window_displays(), surface);
        std::vector<int> rows;
        for (int r = 1; r <= 86; ++r)
            if (surface.blits.back().at(r, 1) == colour::black) rows.push_back(r);
        return rows;
    };
    // Row r shows the sorted entries (r - 1) * 1024 / 86 .. r * 1024 / 86 - 1.
    const auto first_entry = [](int r) { return (r - 1) * 1024 / 86; };
    for (int position = 0; position <= 10000; ++position) {
        live.values.ignore_lowest_percentage = position / 100.0;
        const int entry = static_cast<int>((1.0 - position / 100.0 * 0.01) * 1024);
        const std::vector<int> rows = marked_rows();
        if (entry == 1024) {
            EXPECT_TRUE(rows.empty()) << "at 0 % the quantile lies past the last row";
            continue;
        }
        ASSERT_EQ(rows.size(), 1u) << position;
        ASSERT_LE(first_entry(rows[0]), entry) << position;
        ASSERT_GT(first_entry(rows[0] + 1), entry) << position;
    }
    live.values.ignore_lowest_percentage = 1.08;  // entry 1012, the first of row 86
    EXPECT_EQ(marked_rows(), std::vector<int>{86});
    live.values.ignore_lowest_percentage = 100.0;
    EXPECT_EQ(marked_rows(), std::vector<int>{1});
}

TEST_F(Displays, MetersRedrawWhenTheyChangeOrEveryHundredAndFirstRefresh) {
    chain.input_peak[0] = 16384.0;
    draw_all_displays(surface, false);
    const std::size_t first = surface.blits.size();
    EXPECT_GE(first, 1u);
    ASSERT_NE(surface.at(707, 7), nullptr);
    surface.blits.clear();
    for (int refresh = 0; refresh < 100; ++refresh) draw_all_displays(surface, false);
    EXPECT_EQ(surface.at(707, 7), nullptr) << "unchanged: not redrawn";
    draw_all_displays(surface, false);
    EXPECT_NE(surface.at(707, 7), nullptr) << "the 101st refresh redraws it";
    plugin.iconified = true;
    surface.blits.clear();
    draw_all_displays(surface, true);
    EXPECT_TRUE(surface.blits.empty()) << "nothing is drawn while iconified";
}

TEST_F(Displays, BandGraphsEverySecondRefreshWithDataAndTheMetersTaken) {
    // What a tape block does: sums since the displays last took them.
    auto feed = [this] {
        tape_state.monitor.meter_count = 8;
        tape_state.monitor.band_meter_in[3][1] = 50.0;
        tape_state.monitor.sidechain_meter[0] = 9.0;
        tape_state.monitor.meters_taken = false;
    };
    feed();
    draw_all_displays(surface, false);
    EXPECT_NE(surface.at(21, 348), nullptr) << "first refresh with data: phase on";
    EXPECT_TRUE(tape_state.monitor.meters_taken) << "shown: the next block starts over";
    EXPECT_EQ(shown_meter_count(instance), 0);
    EXPECT_EQ(tape_state.monitor.band_meter_in[3][1], 50.0) << "the playback thread's to empty";
    surface.blits.clear();
    feed();
    draw_all_displays(surface, false);
    EXPECT_EQ(surface.at(21, 348), nullptr) << "second: only the balance display";
    EXPECT_NE(surface.at(651, 207), nullptr);
    surface.blits.clear();
    draw_all_displays(surface, false);
    EXPECT_EQ(surface.at(651, 207), nullptr) << "no data, no drawing";
}

TEST_F(Displays, FmDisplaysOnlyWhileTheFilterIsOnAndAzimuthWhenFresh) {
    stereo_state.monitor.azimuth_fresh = true;
    draw_all_displays(surface, false);
    EXPECT_NE(surface.at(136, 16), nullptr);
    EXPECT_FALSE(stereo_state.monitor.azimuth_fresh);
    EXPECT_EQ(surface.at(525, 16), nullptr);
    live.values.fm_enabled = 1;
    stereo_state.monitor.sum_magnitude = 100.0;
    draw_all_displays(surface, false);
    EXPECT_NE(surface.at(525, 16), nullptr);
    EXPECT_EQ(window_displays().state.signal_history[0], 100.0);
}

TEST_F(Displays, EveryDisplayFillsItsRectangleAtEveryFontSize) {
    const struct {
        Rect design;
        int corner_inset;  // which pixel from the bottom right to look at
        pixel corner;      // what a display drawn to its full size has there
    } displays[] = {
        {display_rect::input_left, 0, 0xC0C0C0},
        {display_rect::output_right, 0, 0xC0C0C0},
        {display_rect::balance, 2, 0x00FFC0},
        {display_rect::left_band_graph, 2, 0xFFC000},
        {display_rect::right_band_graph, 2, 0xFFC000},
        {display_rect::left_level_column, 0, 0},
        {display_rect::right_level_column, 0, 0},
        {display_rect::azimuth, 0, 0},
        {display_rect::noise_floor, 0, 0},
        {display_rect::roughness_bar, 0, 0xC0C0C0},
        {display_rect::removal_bar, 0, 0xC0C0C0},
        {display_rect::signal_bar, 0, 0xC0C0C0},
    };
    // 96 dpi, wine's default font, 120 dpi and 200 %.
    const struct { int x, y; } base_units[] = {{6, 13}, {7, 13}, {8, 16}, {12, 26}};
    tape_state.monitor.meter_count = 1;
    live.values.fm_enabled = 1;
    for (const auto& units : base_units) {
        FakeSurface scaled(units.x, units.y);
        draw_all_displays(scaled, true);
        for (const auto& d : displays) {
            const Rect r = scale_rect(scaled, d.design);
            SCOPED_TRACE(::testing::Message() << units.x << " x " << units.y << ", display at "
                                              << d.design.x << ", " << d.design.y);
            const Blit* b = scaled.at(r.x, r.y);
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(b->width, r.width);
            EXPECT_EQ(b->height, r.height);
            EXPECT_EQ(b->at(b->height - 1 - d.corner_inset, b->width - 1 - d.corner_inset),
                      d.corner);
        }
    }
}

TEST_F(Displays, ADisplayScaledBeyondItsArrayIsClippedToIt) {
    FakeSurface huge(24, 52);  // four times the design size; the arrays hold three
    tape_state.monitor.meter_count = 1;
    draw_band_graph(window_displays(), huge, 0, display_rect::left_band_graph);
    draw_balance_display(window_displays(), huge);
    draw_noise_floor_display(window_displays(), huge);
    draw_bar(window_displays(), huge, 1.0, scale_rect(huge, display_rect::signal_bar), true, 2);
    ASSERT_EQ(huge.blits.size(), 4u);
    EXPECT_EQ(huge.blits[0].width, 3 * 286);
    EXPECT_EQ(huge.blits[0].height, 3 * 284);
    EXPECT_EQ(huge.blits[1].width, 3 * 154);
    EXPECT_EQ(huge.blits[2].height, 3 * 88);
    EXPECT_LE(huge.blits[3].width * huge.blits[3].height, 9 * 109 * 99);
    EXPECT_EQ(huge.blits[0].x, 4 * 21) << "placed where the larger window wants it";
}

TEST(TrayImage, ModesAndMonochrome) {
    pixel image[256];
    draw_tray_pixels(k_mode_full, image);
    auto at = [&](int r, int c) { return image[r * 16 + c]; };
    EXPECT_EQ(at(0, 12), 0x000000u) << "the mark reaches into the top border";
    EXPECT_EQ(at(6, 4), 0x000000u);
    EXPECT_EQ(at(11, 7), 0x000000u);
    EXPECT_EQ(at(2, 13), 0x909090u);
    EXPECT_EQ(at(12, 7), 0x909090u);
    EXPECT_EQ(at(3, 3), 0xF0F0F0u);
    EXPECT_EQ(at(15, 15), 0x606060u);
    EXPECT_EQ(at(0, 0), 0x606060u);
    std::uint8_t mono[32];
    tray_to_mono(image, 16, 16, mono);
    // Row 3: face from column 2 to 13 except the mark at 10 (edge 909090 counts: red 0x90) and
    // the black at 11 and 12.
    EXPECT_EQ(mono[3 * 2], 0x3F);      // columns 2..7
    EXPECT_EQ(mono[3 * 2 + 1], 0xE4);  // columns 8, 9, 10 set; 11, 12 black; 13 set
    EXPECT_EQ(mono[0], 0x00) << "the border is dark";

    draw_tray_pixels(k_mode_bypass, image);
    EXPECT_EQ(at(7, 7), 0x606060u);
    EXPECT_EQ(at(7, 8), 0x606060u) << "where the strokes meet they stay dark";
    EXPECT_EQ(at(5, 4), 0x808080u);
    EXPECT_EQ(at(12, 12), 0xA0A0A0u);
    draw_tray_pixels(k_mode_without_dolby, image);
    EXPECT_EQ(at(7, 7), 0xF0F0F0u) << "a plain face";
    EXPECT_EQ(tray_pixel_565(0xFFFFFF), 0xFFFF);
    EXPECT_EQ(tray_pixel_565(0x0000F8), 0x001F);
}

TEST(PixelFormats, DisplayConversions) {
    EXPECT_EQ(display_pixel_565(0xFFFFFF), 0xFFFF);
    EXPECT_EQ(display_pixel_565(0xFF0000), 0xF800);
    EXPECT_EQ(display_pixel_565(0x00FF00), 0x07E0);
    const pixel row[18] = {0xFFFFFF, 0xFFFFFE, 0, 0, 0, 0, 0, 0,        0xFFFFFF,
                           0,        0,        0, 0, 0, 0, 0, 0xFFFFFF, 0};
    std::uint8_t mono[4];
    display_to_mono(row, 18, 1, mono);
    EXPECT_EQ(display_mono_row_bytes(18), 4);
    EXPECT_EQ(mono[0], 0x80);
    EXPECT_EQ(mono[1], 0x80);
    EXPECT_EQ(mono[2], 0x80);
    EXPECT_EQ(mono[3], 0x00);
}

}  // namespace
}  // namespace varnolt
