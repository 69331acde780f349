// The report's layout by stage: a display shows only when its stage ran. Each display of a
// made-up window picture is painted in a colour of its own, so the report's pixels tell which
// displays it copied.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <set>

#include "dolby_level_words.h"
#include "report/report.h"
#include "report/report_dolby_level.h"
#include "report/report_dolby_section.h"
#include "report/report_level_plot.h"
#include "report/report_panels.h"
#include "report/report_plots.h"
#include "report/report_scales.h"
#include "report/window_picture.h"
#include "settings/parameters.h"
#include "text_format.h"
#include "ui/displays.h"

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

Image report_with(const ReportStages& stages, double seconds = 25.0,
                  const std::optional<cli::ReportDolbyLevel>& dolby_level = std::nullopt) {
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
    c.dolby_level = dolby_level;
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

// The standard decoder works beside the tape processor: its band displays then show the bias
// equaliser alone, and the remover's sidechain stands still.
TEST(ReportLayout, WithTheStandardDecoderTheBandsAreTheBiasEqualisersAlone) {
    ReportStages s = all_on();
    s.standard_decoder = true;
    const Image with_bias = report_with(s);
    EXPECT_FALSE(shows(with_bias, k_sidechain));
    EXPECT_TRUE(shows(with_bias, k_graphs));
    EXPECT_TRUE(shows(with_bias, k_balance));

    s.bias = false;
    const Image alone = report_with(s);
    for (cli::rgb c : {k_graphs, k_sidechain, k_balance}) EXPECT_FALSE(shows(alone, c));
    EXPECT_LE(alone.height, report_with(all_on()).height - 284);
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

// The Dolby level section. A first pair whose windows' treble lies in a few histogram steps of
// 0.1 dB from -120 dBFS: the left channel's all at -30.05 dBFS (step 899), the right channel's
// half at -49.95 (step 700) and half at -39.95 (step 800), so each curve is a known staircase.
constexpr int k_left_step = 899, k_right_low_step = 700, k_right_high_step = 800;
constexpr double k_left_dbfs = -30.05, k_right_low_dbfs = -49.95, k_right_high_dbfs = -39.95;

ChannelDolbyLevel programme_channel(double dbfs) {
    ChannelDolbyLevel c;
    c.basis = DolbyLevelBasis::programme;
    c.measured_dbfs = dbfs;
    c.volume = volume_for_level(dbfs, k_treble_at_unity_dbfs, c.limited);
    return c;
}

// A level measured in a file of `channels` channels, the table remover on.
cli::ReportDolbyLevel measured_level(int channels) {
    cli::ReportDolbyLevel d;
    d.use.origin = cli::DolbyLevelOrigin::measured;
    d.use.channels = channels;
    d.use.remover_on = d.use.decodes = true;
    return d;
}

cli::ReportDolbyLevel programme_level() {
    cli::ReportDolbyLevel d = measured_level(2);
    d.treble_histograms.assign(2, std::vector<long long>(k_histogram_bins, 0));
    d.treble_histograms[0][k_left_step] = 100;
    d.treble_histograms[1][k_right_low_step] = 50;
    d.treble_histograms[1][k_right_high_step] = 50;
    d.programme_windows = {100, 100};
    DolbyLevelChoice lane;
    lane.channels = 2;
    lane.channel[0] = programme_channel(k_left_dbfs);
    // The 90th percentile of the right's windows lies in its upper step.
    lane.channel[1] = programme_channel(k_right_high_dbfs);
    lane.basis = DolbyLevelBasis::programme;
    lane.remover_on = true;
    lane.measured_dbfs = (k_left_dbfs + k_right_high_dbfs) / 2;
    lane.volume = 1.24;  // the geometric mean of 2.18 and 0.70, on the slider's steps
    d.use.lanes.push_back(lane);
    return d;
}

// Left 6 dB over the tone level that calls for 1, right at it: each channel its own value.
cli::ReportDolbyLevel tone_level() {
    cli::ReportDolbyLevel d = measured_level(2);
    DolbyLevelChoice lane;
    lane.channels = 2;
    for (int c = 0; c < 2; ++c) {
        ChannelDolbyLevel& ch = lane.channel[c];
        ch.basis = DolbyLevelBasis::tone;
        ch.measured_dbfs = k_dolby_tone_at_unity_dbfs + (c == 0 ? 6.0 : 0.0);
        ch.volume = c == 0 ? 2.0 : 1.0;
        ch.tone_length_seconds = 3.0;
    }
    lane.basis = DolbyLevelBasis::tone;
    lane.remover_on = true;
    lane.measured_dbfs = k_dolby_tone_at_unity_dbfs + 3.0;
    lane.volume = 1.41;
    lane.per_channel = true;
    d.use.lanes.push_back(lane);
    return d;
}

// Nothing to measure, and the remover left off as set.
cli::ReportDolbyLevel silent_level() {
    cli::ReportDolbyLevel d = measured_level(2);
    d.use.remover_on = d.use.decodes = false;
    DolbyLevelChoice lane;
    lane.channels = 2;
    d.use.lanes.push_back(lane);
    d.treble_histograms.assign(2, std::vector<long long>(k_histogram_bins, 0));
    d.programme_windows = {0, 0};
    return d;
}

// Colours only the Dolby level section draws.
const cli::rgb k_section_colours[] = {cli::report_colour::left, cli::report_colour::right,
                                      cli::report_colour::uncertainty};

int px(double v) {
    return static_cast<int>(std::lround(v));
}

TEST(ReportLayout, WithoutAMeasuredDolbyLevelThePictureEndsUnderThePlotsAsBefore) {
    const Image image = report_with(all_on());
    // The height the report had before it could show a Dolby level.
    EXPECT_EQ(image.height, 936);
    for (cli::rgb c : k_section_colours) EXPECT_FALSE(shows(image, c)) << std::hex << c;
}

TEST(ReportLayout, AMeasuredDolbyLevelAddsItsSectionUnderWhatWasThere) {
    const Image without = report_with(all_on());
    const Image with = report_with(all_on(), 25.0, programme_level());
    ASSERT_GT(with.height, without.height + cli::k_distribution_plot_height);
    // Everything above stays where it was, pixel for pixel.
    const std::vector<cli::rgb> top(with.pixels.begin(),
                                    with.pixels.begin() + without.pixels.size());
    EXPECT_TRUE(top == without.pixels);
    Image section = with;
    section.pixels.erase(section.pixels.begin(), section.pixels.begin() + without.pixels.size());
    section.height -= without.height;
    for (cli::rgb c : k_section_colours) EXPECT_TRUE(shows(section, c)) << std::hex << c;
}

TEST(ReportLayout, TheCurvesAreTheShareOfWindowsAtOrBelowEachLevel) {
    Image image(cli::k_report_width, 600, cli::report_colour::background);
    cli::TextPainter text;
    const cli::ReportDolbyLevel level = programme_level();
    const int top = 40;
    const int bottom = cli::draw_dolby_level_section(image, text, level, top);
    const cli::PlotArea area = cli::dolby_level_plot_area(text, level, top);
    ASSERT_EQ(area.height, cli::k_distribution_plot_height);
    EXPECT_GE(bottom, area.y + area.height);
    const cli::LevelFrame f = cli::level_frame(area, level);
    // The axis holds the loud end of both curves and the estimate's spread in whole tens of dB.
    EXPECT_EQ(f.low_dbfs, -60.0);
    EXPECT_EQ(f.high_dbfs, -20.0);  // the spread reaches -20.1 dBFS
    const int bottom_row = f.y + f.height - 1;
    const auto x = [&](double dbfs) { return px(f.column(dbfs)); };
    const auto y = [&](double share) { return px(f.row(share)); };
    using cli::report_colour::left;
    using cli::report_colour::right;
    // The left's windows all lie in one step: none below it, all above.
    EXPECT_EQ(image.at(x(-31.0), bottom_row), left);
    EXPECT_NE(image.at(x(-29.0), bottom_row), left);
    // The right's half and half.
    EXPECT_EQ(image.at(x(-55.0), bottom_row), right);
    EXPECT_EQ(image.at(x(-45.0), y(0.5)), right);
    EXPECT_EQ(image.at(x(-45.0), bottom_row), left);  // the left has no window down there
    EXPECT_NE(image.at(x(-45.0), y(0.25)), right);
    EXPECT_EQ(image.at(x(-35.0), f.y), right);
    // Each channel's level where its curve crosses the percentile.
    EXPECT_EQ(image.at(x(k_left_dbfs), y(k_treble_percentile / 100)), left);
    EXPECT_EQ(image.at(x(k_right_high_dbfs), y(k_treble_percentile / 100)), right);
    // The chosen value at the level that calls for it, two pixels wide, in its spread.
    const int chosen = x(cli::chosen_level_dbfs(level.use.lanes.front()));
    EXPECT_NEAR(cli::chosen_level_dbfs(level.use.lanes.front()),
                k_treble_at_unity_dbfs + 20 * std::log10(1.24), 1e-9);
    for (int c : {chosen - 1, chosen})
        EXPECT_EQ(image.at(c, y(0.5)), cli::report_colour::chosen) << c - chosen;
    EXPECT_EQ(image.at(chosen + 2, y(0.5)), cli::report_colour::uncertainty);
    EXPECT_EQ(image.at(chosen - 3, y(0.5)), cli::report_colour::uncertainty);
    // The spread ends the stated uncertainty either side (its upper end here at the plot's edge).
    const double spread_start =
        cli::chosen_level_dbfs(level.use.lanes.front()) - k_programme_uncertainty_db;
    EXPECT_EQ(image.at(x(spread_start) + 2, y(0.5)), cli::report_colour::uncertainty);
    EXPECT_EQ(image.at(x(spread_start) - 2, y(0.5)), cli::report_colour::paper);
}

TEST(ReportLayout, LineUpTonesAreMarkedEachInItsChannelsStrip) {
    Image image(cli::k_report_width, 400, cli::report_colour::background);
    cli::TextPainter text;
    const cli::ReportDolbyLevel level = tone_level();
    const cli::PlotArea area = cli::dolby_level_plot_area(text, level, 40);
    cli::draw_dolby_level_section(image, text, level, 40);
    ASSERT_EQ(area.height, cli::k_tone_plot_height);
    const cli::LevelFrame f = cli::level_frame(area, level);
    const int upper = f.y + f.height / 4, lower = f.y + 3 * f.height / 4;
    const int left_x = px(f.column(k_dolby_tone_at_unity_dbfs + 6.0));
    const int right_x = px(f.column(k_dolby_tone_at_unity_dbfs));
    EXPECT_EQ(image.at(left_x, upper), cli::report_colour::left);
    EXPECT_NE(image.at(left_x, lower), cli::report_colour::left);
    EXPECT_EQ(image.at(right_x, lower), cli::report_colour::right);
    EXPECT_NE(image.at(right_x, upper), cli::report_colour::right);
    // The window's one value lies between them, on the tones' scale; a tone has no spread.
    const int chosen = px(f.column(k_dolby_tone_at_unity_dbfs + 20 * std::log10(1.41)));
    EXPECT_EQ(image.at(chosen, upper), cli::report_colour::chosen);
    EXPECT_FALSE(shows(image, cli::report_colour::uncertainty));
}

TEST(ReportLayout, TooLittleProgrammeGivesItsWordsAndNoPlot) {
    Image image(cli::k_report_width, 400, cli::report_colour::background);
    cli::TextPainter text;
    const cli::ReportDolbyLevel level = silent_level();
    EXPECT_EQ(cli::dolby_level_plot_area(text, level, 40).height, 0);
    const int bottom = cli::draw_dolby_level_section(image, text, level, 40);
    EXPECT_LT(bottom, 40 + cli::k_tone_plot_height);
    for (cli::rgb c : k_section_colours) EXPECT_FALSE(shows(image, c)) << std::hex << c;
    EXPECT_EQ(cli::dolby_level_lines(level),
              std::vector<std::string>{
                  "too little programme to measure; the Dolby B remover is left as set"});
}

using cli::formatted;

// How near the table remover's fitted volume comes to Dolby B, as its words say it.
std::string fit() {
    return formatted("fitted to the published Dolby B points (RMS %.1f dB, worst %.1f dB)",
                     k_table_fit_rms_db, k_table_fit_worst_db);
}

// A file of four channels: the first pair measured from the programme, the second silent.
cli::ReportDolbyLevel programme_and_silence() {
    cli::ReportDolbyLevel d = measured_level(4);
    d.use.setting_volume = 1.0;
    DolbyLevelChoice lane;
    lane.channels = 2;
    // The channels' treble 8.3 and 7.3 dB above the level that calls for 1, their mean 7.8 dB.
    lane.channel[0] = programme_channel(k_treble_at_unity_dbfs + 8.3);
    lane.channel[1] = programme_channel(k_treble_at_unity_dbfs + 7.3);
    lane.basis = DolbyLevelBasis::programme;
    lane.remover_on = true;
    lane.measured_dbfs = k_treble_at_unity_dbfs + 7.8;
    lane.volume = 2.44;
    d.use.lanes = {lane, DolbyLevelChoice{}};
    d.use.lanes[1].channels = 2;
    return d;
}

TEST(ReportLayout, TheSectionsWordsGiveTheDecoderTheLevelWhatItCameFromAndEachChannel) {
    const cli::ReportDolbyLevel d = programme_and_silence();
    // The treble 7.8 dB above the level that calls for 1 estimates the Dolby level as much above
    // the level a setting of 1 stands for.
    const double estimate = k_dolby_level_at_unity_dbfs + 7.8;
    const std::vector<std::string> expected = {
        formatted("table remover, Dolby level %.1f dBFS, estimated from the programme's treble, "
                  "\u00b1%.0f dB; PC Recording Volume 2.44, ",
                  estimate, k_programme_uncertainty_db) +
            fit(),
        formatted("channel 1: treble at %.1f dBFS, calls for 2.60;  channel 2: treble at %.1f "
                  "dBFS, calls for 2.32",
                  k_treble_at_unity_dbfs + 8.3, k_treble_at_unity_dbfs + 7.3),
        formatted("the 90th percentile of the treble (above 2 kHz, mean square) of the "
                  "programme's 0.4 s windows calls for 1 at %.1f dBFS; every 6.02 dB more "
                  "doubles the setting",
                  k_treble_at_unity_dbfs),
        formatted("channels 3-4: too little programme to measure; worked on as set: table "
                  "remover, Dolby level %.1f dBFS, from PC Recording Volume 1.00, ",
                  k_dolby_level_at_unity_dbfs) +
            fit()};
    EXPECT_EQ(cli::dolby_level_lines(d), expected);

    const std::vector<std::string> tones = cli::dolby_level_lines(tone_level());
    ASSERT_EQ(tones.size(), 3u);
    EXPECT_EQ(tones[0],
              formatted("table remover, Dolby level left %.1f dBFS, right %.1f dBFS, from the "
                        "400 Hz line-up tones, which differ between the channels, so each was "
                        "worked on at its own; PC Recording Volume left 2.00 right 1.00 (the "
                        "window's one slider takes 1.41), ",
                        k_dolby_level_at_unity_dbfs + 6.0, k_dolby_level_at_unity_dbfs) +
                  fit());
    EXPECT_EQ(tones[1], formatted("left: tone at %.1f dBFS, 3.0 s from 0.0 s, calls for 2.00;  "
                                  "right: tone at %.1f dBFS, 3.0 s from 0.0 s, calls for 1.00",
                                  k_dolby_tone_at_unity_dbfs + 6.0, k_dolby_tone_at_unity_dbfs));
    EXPECT_EQ(tones[2], formatted("a 400 Hz tone at %.1f dBFS (peak) calls for 1; every 6.02 dB "
                                  "more doubles the setting",
                                  k_dolby_tone_at_unity_dbfs));
}

// The standard decoder is the exact inverse of the encoder: its words give the volume the level
// calls for unrounded, and no fit.
TEST(ReportLayout, TheStandardDecodersWordsGiveItsExactVolumeAndNoFit) {
    cli::ReportDolbyLevel d = programme_and_silence();
    d.use.standard_decoder = true;
    const double estimate = k_dolby_level_at_unity_dbfs + 7.8;
    const std::vector<std::string> lines = cli::dolby_level_lines(d);
    ASSERT_EQ(lines.size(), 4u);
    // 7.8 dB above the level of 1 is 2.45, where the slider's step held the table remover at 2.44.
    EXPECT_EQ(lines[0], formatted("standard decoder, Dolby level %.1f dBFS, estimated from the "
                                  "programme's treble, \u00b1%.0f dB; PC Recording Volume 2.45",
                                  estimate, k_programme_uncertainty_db));
    EXPECT_EQ(lines[3], formatted("channels 3-4: too little programme to measure; worked on as "
                                  "set: standard decoder, Dolby level %.1f dBFS, from PC "
                                  "Recording Volume 1.00",
                                  k_dolby_level_at_unity_dbfs));
    for (const std::string& line : lines) EXPECT_EQ(line.find("fitted"), std::string::npos) << line;
}

// A tone on the right track only lines up both: its place in the file is the right channel's,
// where the words once gave the left's (none: "0.0 s from 0.0 s").
TEST(ReportLayout, ATonesPlaceIsTheChannelsThatHadIt) {
    cli::ReportDolbyLevel d = measured_level(2);
    DolbyLevelChoice lane;
    lane.channels = 2;
    lane.channel[0] = programme_channel(-30.0);
    ChannelDolbyLevel& right = lane.channel[1];
    right.basis = DolbyLevelBasis::tone;
    right.measured_dbfs = k_dolby_tone_at_unity_dbfs;
    right.volume = 1.0;
    right.tone_start_seconds = 1.0;
    right.tone_length_seconds = 2.5;
    lane.basis = DolbyLevelBasis::tone;
    lane.remover_on = true;
    lane.measured_dbfs = right.measured_dbfs;
    lane.volume = 1.0;
    d.use.lanes.push_back(lane);
    const std::string words = cli::dolby_level_lines(d).front();
    EXPECT_NE(
        words.find("from the 400 Hz line-up tone at " +
                   formatted("%.1f", k_dolby_tone_at_unity_dbfs) + " dBFS (2.5 s from 1.0 s)"),
        std::string::npos)
        << words;
}

// A level given on the command line or set as "PC Recording Volume": one line, no plot.
TEST(ReportLayout, AGivenOrSetLevelGetsItsWordsAndNoPlot) {
    cli::ReportDolbyLevel given;
    given.use.origin = cli::DolbyLevelOrigin::given;
    given.use.given_dbfs = -20.0;
    given.use.standard_decoder = true;
    given.use.remover_on = given.use.decodes = true;
    EXPECT_EQ(cli::dolby_level_lines(given),
              std::vector<std::string>{formatted(
                  "standard decoder, Dolby level -20.0 dBFS, from --dolby-level; PC Recording "
                  "Volume %.2f",
                  volume_for_dolby_level(-20.0))});
    cli::ReportDolbyLevel set;
    set.use.setting_volume = 2.0;
    set.use.remover_on = set.use.decodes = true;
    EXPECT_EQ(cli::dolby_level_lines(set),
              std::vector<std::string>{
                  formatted("table remover, Dolby level %.1f dBFS, from PC Recording Volume 2.00, ",
                            dolby_level_for_volume(2.0)) +
                  fit()});

    Image image(cli::k_report_width, 400, cli::report_colour::background);
    cli::TextPainter text;
    EXPECT_EQ(cli::dolby_level_plot_area(text, given, 40).height, 0);
    const int bottom = cli::draw_dolby_level_section(image, text, given, 40);
    EXPECT_LT(bottom, 40 + cli::k_tone_plot_height);
    EXPECT_FALSE(shows(image, cli::report_colour::chosen));
}

// Whether `image` shows `words` as the report draws a line of its Dolby B section: from the left
// margin, in the summary's size and ink, on the background. The words are drawn alone and their
// inked rows looked for in every row of the picture.
bool shows_words(const Image& image, const std::string& words) {
    constexpr int margin = 20, size = 13, baseline = 30;
    cli::TextPainter text;
    Image alone(image.width, 2 * baseline, cli::report_colour::background);
    const int width = text.draw(alone, margin, baseline, words, size, cli::report_colour::ink);
    int first = -1, last = -1;
    for (int y = 0; y < alone.height; ++y)
        for (int x = margin; x < margin + width; ++x)
            if (alone.at(x, y) != cli::report_colour::background) {
                if (first < 0) first = y;
                last = y;
            }
    if (first < 0 || width <= 0 || margin + width > image.width) return false;
    const int rows = last - first + 1;
    for (int top = 0; top + rows <= image.height; ++top) {
        bool same = true;
        for (int r = 0; r < rows && same; ++r)
            for (int x = margin; x < margin + width && same; ++x)
                same = image.at(x, top + r) == alone.at(x, first + r);
        if (same) return true;
    }
    return false;
}

// The report of a file the Dolby B stage decoded names the decoder and the Dolby level it worked
// at, in the words of the tool's line.
TEST(ReportLayout, TheReportNamesTheDecoderAndTheDolbyLevel) {
    LiveParameters live;
    live.values.standard_decoder = 1;
    cli::ReportDolbyLevel standard;
    standard.use = cli::given_level_use(-20.0, live);
    live.values.standard_decoder = 0;
    cli::ReportDolbyLevel table;
    table.use = cli::given_level_use(-20.0, live);
    // The words up to the volume: the table remover's go on with its fit, on a second line.
    const std::string standard_words =
        "standard decoder, Dolby level -20.0 dBFS, from --dolby-level;";
    const std::string table_words = "table remover, Dolby level -20.0 dBFS, from --dolby-level;";
    ASSERT_EQ(cli::first_dolby_level_text(standard.use).find(standard_words), 0u);
    ASSERT_EQ(cli::first_dolby_level_text(table.use).find(table_words), 0u);

    const Image with_standard = report_with(all_on(), 25.0, standard);
    const Image with_table = report_with(all_on(), 25.0, table);
    EXPECT_TRUE(shows_words(with_standard, standard_words));
    EXPECT_FALSE(shows_words(with_standard, table_words));
    EXPECT_TRUE(shows_words(with_table, table_words));
    EXPECT_FALSE(shows_words(report_with(all_on()), standard_words));
}

// The report keeps the first pair's window levels and every pair's choice, nothing more.
TEST(ReportLayout, TheReportKeepsTheFirstPairsWindowLevels) {
    constexpr double rate = 8000.0;
    cli::DolbyLevelMeasurement m;
    m.sample_rate = static_cast<int>(rate);
    m.channels.assign(3, ChannelLevelAnalysis(rate));
    const int windows = 20;
    const long long samples = windows * std::llround(k_level_window_seconds * rate);
    for (int c = 0; c < 3; ++c)
        for (long long n = 0; n < samples; ++n)
            m.channels[c].add((0.05 + 0.1 * c) * (1 + n / (samples / 4)) *
                              std::sin(6.283185307179586 * 3000.0 * n / rate) / 4);
    m.lanes.push_back(choose_dolby_level(&m.channels[0], 2));
    m.lanes.push_back(choose_dolby_level(&m.channels[2], 1));
    cli::DolbyLevelUse use;
    use.origin = cli::DolbyLevelOrigin::measured;
    use.channels = 3;
    use.lanes = m.lanes;
    const cli::ReportDolbyLevel d = cli::report_dolby_level(use, &m);
    EXPECT_EQ(d.use.channels, 3);
    ASSERT_EQ(d.use.lanes.size(), 2u);
    EXPECT_EQ(d.use.lanes[1].channels, 1);
    EXPECT_EQ(d.use.lanes[0].volume, m.lanes[0].volume);
    ASSERT_EQ(d.treble_histograms.size(), 2u);
    ASSERT_EQ(d.programme_windows.size(), 2u);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(d.programme_windows[c], windows);
        const long long* h = m.channels[c].treble_histogram();
        EXPECT_TRUE(d.treble_histograms[c] == std::vector<long long>(h, h + k_histogram_bins));
    }
    // The two channels' levels differ, so their histograms do.
    EXPECT_FALSE(d.treble_histograms[0] == d.treble_histograms[1]);
}

}  // namespace
}  // namespace varnolt::testing
