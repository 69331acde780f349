// The report's scales against the displays they label: a mark must sit where the display's own
// drawing puts that value, and an axis must say what a reader expects of it.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "fake_surface.h"
#include "instance_names.h"
#include "processors/tape_processor.h"
#include "report/report_panels.h"
#include "report/report_scales.h"
#include "ui/displays.h"

namespace varnolt::testing {
namespace {

using cli::Tick;

// The tests' own instance, and a set of displays over it whose colour ramps no window has filled.
OwnInstance own;
TapeState& tape_state = own.tape_state;
TapeControl& tape_control = own.tape_control;
LiveParameters& live = own.live;
const std::unique_ptr<Displays> displays = std::make_unique<Displays>(own.instance);

std::vector<std::string> labels(const std::vector<Tick>& ticks) {
    std::vector<std::string> out;
    for (const Tick& t : ticks) out.push_back(t.label);
    return out;
}

// The last column a meter bar fills at `peak`, from the meter's own drawing (filled pixels take
// the ramp's colour, which is black while no window filled the ramps; the rest is white).
int last_filled_column(double peak) {
    FakeSurface surface;
    const Rect bar = display_rect::input_left;
    draw_bar(*displays, surface, peak, {0, 0, bar.width, bar.height}, false, 0);
    const Blit& b = surface.blits.back();
    int last = -1;
    for (int c = 2; c < b.width - 2; ++c)
        if (b.at(bar.height / 2, c) != colour::white) last = c;
    return last;
}

TEST(ReportScales, EachMeterMarkSitsAtTheEndOfTheFillThatLevelDraws) {
    ASSERT_EQ(displays->colour_ramps[0], 0u);
    for (double db : cli::meter_marks_db()) {
        const int column = last_filled_column(std::pow(10.0, db / 20.0));
        ASSERT_GE(column, 2) << db << " dB draws no fill: the mark would label nothing";
        // Each design column is k_meters_zoom report columns wide; the mark is its last one.
        EXPECT_EQ(cli::meter_mark_x(db), cli::k_meters_x + (column + 1) * cli::k_meters_zoom - 1)
            << db << " dB";
    }
}

TEST(ReportScales, TheMeterMarksReadFromLeftToRightAndStayApart) {
    const std::vector<double> marks = cli::meter_marks_db();
    ASSERT_EQ(marks.back(), 0.0);
    for (std::size_t i = 1; i < marks.size(); ++i)
        // Labels like "−10" are about 18 pixels wide: closer marks would overprint them.
        EXPECT_GE(cli::meter_mark_x(marks[i]) - cli::meter_mark_x(marks[i - 1]), 20)
            << marks[i - 1] << " and " << marks[i];
    // Full scale fills the bar to its bevel: the 0 dB mark is the bar's last inner column.
    EXPECT_EQ(cli::meter_mark_x(0.0), cli::k_meters_x + (cli::k_meter_width - 2) * 2 - 1);
}

TEST(ReportScales, AShortFileIsLabelledInSeconds) {
    EXPECT_EQ(labels(cli::time_ticks(25.0)),
              (std::vector<std::string>{"0 s", "5 s", "10 s", "15 s", "20 s", "25 s"}));
    EXPECT_EQ(labels(cli::time_ticks(2.0)),
              (std::vector<std::string>{"0.0 s", "0.5 s", "1.0 s", "1.5 s", "2.0 s"}));
    EXPECT_EQ(labels(cli::time_ticks(120.0)),
              (std::vector<std::string>{"0 s", "20 s", "40 s", "60 s", "80 s", "100 s", "120 s"}));
    EXPECT_EQ(labels(cli::time_ticks(7.3)), (std::vector<std::string>{"0 s", "2 s", "4 s", "6 s"}));
}

TEST(ReportScales, ALongFileIsLabelledInMinutesAtWholeClockSteps) {
    EXPECT_EQ(labels(cli::time_ticks(600.0)),
              (std::vector<std::string>{"0:00", "2:00", "4:00", "6:00", "8:00", "10:00"}));
    EXPECT_EQ(labels(cli::time_ticks(150.0)),
              (std::vector<std::string>{"0:00", "0:30", "1:00", "1:30", "2:00", "2:30"}));
    // 47 minutes: ten-minute steps, none past the end.
    EXPECT_EQ(labels(cli::time_ticks(47 * 60.0)),
              (std::vector<std::string>{"0:00", "10:00", "20:00", "30:00", "40:00"}));
    EXPECT_EQ(labels(cli::time_ticks(4 * 3600.0)),
              (std::vector<std::string>{"0:00:00", "1:00:00", "2:00:00", "3:00:00", "4:00:00"}));
    for (const Tick& t : cli::time_ticks(47 * 60.0)) EXPECT_EQ(std::fmod(t.value, 600.0), 0.0);
}

TEST(ReportScales, TheDurationSaysMinutesOnceTheAxisDoes) {
    EXPECT_EQ(cli::duration_text(25.0), "25.0 s");
    EXPECT_EQ(cli::duration_text(600.0), "10:00 (600.0 s)");
    EXPECT_EQ(cli::duration_text(3725.4), "62:05 (3725.4 s)");
}

// The band labels name the frequency where the tape processor's own band coordinate has each
// band's peak (band f peaks at coordinate f + 1).
TEST(ReportScales, BandCentresAreWhereTheTapeProcessorsBandsPeak) {
    auto tape = std::make_unique<TapeProcessor>(tape_state, tape_control, live);
    for (int band = 1; band < k_bands; ++band) {
        const double bin = cli::band_centre_hz(band, 44100.0) * k_block_frames / 44100.0;
        const int below = static_cast<int>(std::floor(bin));
        EXPECT_LE(tape_state.band_position[below], band + 1.0 + 1e-9) << "band " << band;
        EXPECT_GE(tape_state.band_position[below + 1], band + 1.0 - 1e-9) << "band " << band;
    }
    // Band 8 peaks at the table's end, half the rate.
    EXPECT_DOUBLE_EQ(cli::band_centre_hz(k_bands, 44100.0), 22050.0);
    // Twice the rate, twice the frequencies: the bands are fixed in bins.
    EXPECT_DOUBLE_EQ(cli::band_centre_hz(3, 88200.0), 2 * cli::band_centre_hz(3, 44100.0));
}

TEST(ReportScales, BandLabelsAtFortyFourPointOneKilohertz) {
    std::vector<std::string> out;
    for (int band = 1; band <= k_bands; ++band)
        out.push_back(cli::hz_text(cli::band_centre_hz(band, 44100.0)));
    EXPECT_EQ(out,
              (std::vector<std::string>{"100", "217", "469", "1k", "2.2k", "4.7k", "10k", "22k"}));
}

}  // namespace
}  // namespace varnolt::testing
