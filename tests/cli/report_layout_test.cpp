// The report's layout by stage: a display shows only when its stage ran. Each display of a
// made-up window picture is painted in a colour of its own, so the report's pixels tell which
// displays it copied.

#include <gtest/gtest.h>

#include <set>

#include "report.h"
#include "report_panels.h"
#include "report_plots.h"
#include "report_scales.h"
#include "ui/displays.h"
#include "window_picture.h"

namespace varnolt::testing {
namespace {

using cli::Image;
using cli::ReportContent;
using cli::ReportStages;

// Colours no text, plot or legend of the report uses.
constexpr cli::rgb k_meters = 0x13A813, k_azimuth = 0xA81313, k_fm = 0x1313A8, k_balance = 0xA8A813,
                   k_graphs = 0x13A8A8, k_sidechain = 0xA813A8;

void paint(Image& window, Rect r, cli::rgb colour) {
    window.fill(r.x, r.y, r.width, r.height, colour);
}

Image painted_window() {
    cli::WindowPicture picture;
    Image window = picture.image();
    namespace d = display_rect;
    for (Rect r : {d::input_left, d::input_right, d::output_left, d::output_right})
        paint(window, r, k_meters);
    paint(window, d::azimuth, k_azimuth);
    for (Rect r : {d::noise_floor, d::roughness_bar, d::removal_bar, d::signal_bar})
        paint(window, r, k_fm);
    paint(window, d::balance, k_balance);
    paint(window, d::left_band_graph, k_graphs);
    paint(window, d::right_band_graph, k_graphs);
    paint(window, d::left_level_column, k_sidechain);
    paint(window, d::right_level_column, k_sidechain);
    return window;
}

Image report_with(const ReportStages& stages, double seconds = 25.0) {
    ReportContent c;
    c.input_name = "in.wav";
    c.output_name = "out.wav";
    c.seconds = seconds;
    c.sample_rate = 44100;
    c.channels = 2;
    c.stages_on = stages;
    c.measures.azimuth_running = stages.azimuth;
    for (int i = 0; i <= 100; ++i) c.measures.azimuth.push_back({seconds * i / 100, 2.0});
    c.azimuth_limit = 20.0;
    std::string error;
    Image image = cli::compose_report(painted_window(), c, error);
    EXPECT_EQ(error, "");
    return image;
}

std::set<cli::rgb> colours(const Image& image) {
    return std::set<cli::rgb>(image.pixels.begin(), image.pixels.end());
}

bool shows(const Image& image, cli::rgb colour) {
    return colours(image).count(colour) > 0;
}

ReportStages all_on() {
    return ReportStages{};
}

TEST(ReportLayout, WithEveryStageOnEveryDisplayIsShown) {
    const Image image = report_with(all_on());
    for (cli::rgb c : {k_meters, k_azimuth, k_fm, k_balance, k_graphs, k_sidechain})
        EXPECT_TRUE(shows(image, c)) << std::hex << c;
}

TEST(ReportLayout, WithoutTheFmFilterItsDisplayIsLeftOut) {
    ReportStages s = all_on();
    s.fm = false;
    const Image image = report_with(s);
    EXPECT_FALSE(shows(image, k_fm));
    for (cli::rgb c : {k_meters, k_azimuth, k_balance, k_graphs, k_sidechain})
        EXPECT_TRUE(shows(image, c)) << std::hex << c;
}

TEST(ReportLayout, WithoutAzimuthCorrectionItsHistoryGoesAndTheSpectrumTakesItsPlotsPlace) {
    ReportStages s = all_on();
    s.azimuth = false;
    const Image off = report_with(s);
    EXPECT_FALSE(shows(off, k_azimuth));
    EXPECT_TRUE(shows(off, k_fm));
    // Between the two plots lies the background; a spectrum over the whole width covers it.
    const Image on = report_with(all_on());
    const int x = cli::k_report_width / 2, above_bottom = 40;
    EXPECT_EQ(on.at(x, on.height - above_bottom), cli::report_colour::background);
    EXPECT_NE(off.at(x, off.height - above_bottom), cli::report_colour::background);
}

// The bias equaliser alone fills the band graphs, but the sidechain is the remover's.
TEST(ReportLayout, WithoutTheDolbyRemoverTheSidechainColumnsAreLeftOut) {
    ReportStages s = all_on();
    s.dolby = false;
    const Image image = report_with(s);
    EXPECT_FALSE(shows(image, k_sidechain));
    EXPECT_TRUE(shows(image, k_graphs));
    EXPECT_TRUE(shows(image, k_balance));
}

TEST(ReportLayout, WithNeitherTapeStageTheBandRowGoesAndThePictureShrinks) {
    ReportStages s = all_on();
    s.dolby = false;
    s.bias = false;
    const Image image = report_with(s);
    for (cli::rgb c : {k_graphs, k_sidechain, k_balance}) EXPECT_FALSE(shows(image, c));
    EXPECT_TRUE(shows(image, k_meters));
    // The band row is 284 pixels tall; the plots move up by at least that.
    EXPECT_LE(image.height, report_with(all_on()).height - 284);
}

TEST(ReportLayout, ABypassedFileShowsNoDisplay) {
    ReportStages s = all_on();
    s.processed = false;
    s.dolby = s.bias = s.fm = s.azimuth = false;
    const Image image = report_with(s);
    for (cli::rgb c : {k_meters, k_azimuth, k_fm, k_balance, k_graphs, k_sidechain})
        EXPECT_FALSE(shows(image, c)) << std::hex << c;
}

// The marks of the meters' scale are drawn where meter_mark_x puts them, under the last bar.
TEST(ReportLayout, TheMeterScaleIsDrawnUnderTheBars) {
    const Image image = report_with(all_on());
    // The last row of the bars, in the made-up window all the meters' colour.
    const int x0 = cli::meter_mark_x(0.0);
    int last = -1;
    for (int y = 0; y < 400; ++y)
        if (image.at(x0, y) == k_meters) last = y;
    ASSERT_GT(last, 0);
    for (double db : cli::meter_marks_db()) {
        const int x = cli::meter_mark_x(db);
        EXPECT_EQ(image.at(x, last + 3), cli::report_colour::ink) << db << " dB";
        // One pixel wide: its neighbours are the background.
        EXPECT_EQ(image.at(x + 1, last + 3), cli::report_colour::background) << db << " dB";
    }
}

}  // namespace
}  // namespace varnolt::testing
