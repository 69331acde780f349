// The displays draw whatever the processors publish, on either thread and without locks: a
// value that is not a number or an overflow may draw a wrong picture once, but must neither
// reach an integer conversion nor stay in the displays' own state.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "chain/chain.h"
#include "fake_surface.h"
#include "instance_names.h"
#include "processors/processor_set.h"
#include "processors/stereo.h"
#include "processors/tape_processor.h"
#include "processors/tone_analyzer.h"
#include "settings/parameters.h"
#include "test_support.h"
#include "ui/colour_ramps.h"
#include "ui/displays.h"
#include "ui/plugin_state.h"
#include "ui/window_binding.h"

namespace varnolt {
namespace {

constexpr double k_nan = std::numeric_limits<double>::quiet_NaN();
constexpr double k_inf = std::numeric_limits<double>::infinity();

class DisplayRobustness : public ::testing::Test, public testing::OwnWindow {
  protected:
    void SetUp() override {
        testing::reset_plugin_state();
        window_displays().state = DisplayState{};
        fill_colour_ramps(window_displays().colour_ramps);
        plugin.window_active = 1;
        live.values.fm_enabled = 1;
    }
    void TearDown() override {
        window_displays().state = DisplayState{};
        testing::reset_plugin_state();
    }
    testing::FakeSurface surface;
};

TEST_F(DisplayRobustness, ARemovalStrengthThatIsNotANumberShowsNothingRemoved) {
    StereoMonitor& m = stereo_state.monitor;
    m.sum_magnitude = 1.0;
    m.sum_excess = 1.0;
    m.sum_removed = k_nan;
    draw_all_displays(surface, true);
    const testing::Blit* removal =
        surface.at(display_rect::removal_bar.x, display_rect::removal_bar.y);
    ASSERT_NE(removal, nullptr);
    EXPECT_EQ(removal->at(removal->height - 4, 3), colour::white) << "white: nothing removed";
}

TEST_F(DisplayRobustness, BalanceSmoothingForgetsAnOverflowedMeter) {
    tape_state.monitor.meter_count = 8;
    for (int k = 1; k <= k_bands; ++k) tape_state.monitor.band_meter_in[k][0] = k_inf;
    tape_state.monitor.band_meter_in[3][1] = k_nan;
    draw_balance_display(window_displays(), surface);
    for (int refresh = 0; refresh < 10; ++refresh) {
        tape_state.monitor.meter_count = 8;
        for (int k = 1; k <= k_bands; ++k)
            tape_state.monitor.band_meter_in[k][0] = tape_state.monitor.band_meter_in[k][1] = 80.0;
        draw_balance_display(window_displays(), surface);
    }
    for (int k = 1; k <= k_bands; ++k)
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_TRUE(std::isfinite(window_displays().state.balance_smoothed[k][ch]))
                << k << " " << ch;
}

TEST_F(DisplayRobustness, HistoriesKeepNoValueThatIsNotFinite) {
    create_processors(instance);  // the tone level is read through the analyser and the tape rate
    stereo_state.monitor.sum_magnitude = k_inf;
    tone_state.tone_spectrum[95] = {k_inf, k_nan};
    live.show_tone_level = 1;
    tape_state.monitor.meter_count = 8;
    draw_all_displays(surface, true);
    for (double v : window_displays().state.signal_history) EXPECT_TRUE(std::isfinite(v));
    for (const stereo_frame& v : window_displays().state.tone_history)
        EXPECT_TRUE(std::isfinite(v.left) && std::isfinite(v.right));
}

// Maps every display to `size` x `size` pixels, as a window with a minute font would.
class TinySurface : public testing::FakeSurface {
  public:
    explicit TinySurface(int size) : size_(size) {}
    void map_dialog_rect(int& left, int& top, int& right, int& bottom) override {
        right = left + 12 * size_;  // scale_rect divides by 1.5 and 1.625, eight times finer
        bottom = top + 13 * size_;
    }

  private:
    int size_;
};

TEST_F(DisplayRobustness, BarsOfAFewPixelsTakeOverflowedValuesWithoutANaNLength) {
    // An overflowed peak times a bar with no room left ((size - 4) or (size - 3) is 0) is NaN;
    // it must be limited like any other length, not converted. (The sanitizer build checks the
    // conversions themselves.)
    for (int size : {3, 4}) {
        TinySurface tiny(size);
        chain.input_peak[0] = k_inf;
        stereo_state.monitor.roughness_ratio = k_inf;
        draw_all_displays(tiny, true);
        EXPECT_FALSE(tiny.blits.empty()) << size;
        for (int bar : window_displays().state.bar_last_length)
            EXPECT_LE(std::abs(bar), size + 1) << size;
    }
}

}  // namespace
}  // namespace varnolt
