// The report picture: a PNG of the stated size whose display regions show something.

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include <filesystem>

#include "cli_fixture.h"
#include "level/dolby_level.h"

namespace varnolt::testing {
namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned> rgb;  // 0xRRGGBB
    unsigned at(int x, int y) const { return rgb[y * width + x]; }
};

bool read_png(const std::string& path, Picture& picture) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return false;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    for (std::size_t i = 0; i < bytes.size(); i += 3)
        picture.rgb.push_back(bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2]);
    return true;
}

int colours_in(const Picture& p, int x, int y, int w, int h) {
    std::set<unsigned> seen;
    for (int r = y; r < y + h; ++r)
        for (int c = x; c < x + w; ++c) seen.insert(p.at(c, r));
    return static_cast<int>(seen.size());
}

// A recording with treble, hiss and a small azimuth error, so every stage has work.
Sound tape(int frames) {
    Sound s;
    unsigned noise = 1;
    for (int n = 0; n < frames; ++n) {
        noise = noise * 1664525u + 1013904223u;
        const double hiss = ((noise >> 8) / 16777216.0 - 0.5) * 0.01;
        const double music = 0.3 * std::sin(n * 0.05) + 0.1 * std::sin(n * 0.9);
        s.samples.push_back(music + hiss);
        s.samples.push_back(0.9 * 0.3 * std::sin((n - 0.4) * 0.05) + 0.1 * std::sin(n * 0.9) -
                            hiss);
    }
    return s;
}

// Where each display or plot sits in the picture with every stage on.
struct Region {
    const char* name;
    int x, y, w, h;
};
constexpr Region k_meters = {"level meters", 62, 118, 216, 114};
constexpr Region k_azimuth_history = {"azimuth history", 312, 118, 192, 194};
constexpr Region k_fm = {"FM hiss filter", 538, 118, 240, 198};
constexpr Region k_balance = {"balance", 812, 118, 154, 200};
constexpr Region k_left_bands = {"left band graph", 60, 397, 286, 284};
constexpr Region k_sidechain = {"sidechain columns", 346, 397, 43, 284};
constexpr Region k_right_bands = {"right band graph", 389, 397, 286, 284};
constexpr Region k_azimuth_plot = {"azimuth plot", 20, 744, 470, 180};
constexpr Region k_spectrum = {"spectrum plot", 510, 744, 470, 180};

int colours_in(const Picture& p, const Region& r) {
    return colours_in(p, r.x, r.y, r.w, r.h);
}

// The colours only the Dolby level section draws: the left and the right channel's curves or
// tones, and the programme estimate's spread (report_colour in cli/report/report_level_plot.h).
constexpr unsigned k_left_curve = 0xD02828, k_right_curve = 0x2848D0, k_spread = 0xFCEADC;

int pixels_of(const Picture& p, unsigned colour, int from_row = 0) {
    int n = 0;
    for (int y = from_row; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) n += p.at(x, y) == colour;
    return n;
}

bool shows(const Picture& p, unsigned colour, int from_row = 0) {
    return pixels_of(p, colour, from_row) > 0;
}

// The first `rows` rows of two pictures of the same width are the same.
bool same_top(const Picture& a, const Picture& b, int rows) {
    if (a.width != b.width || a.height < rows || b.height < rows) return false;
    const std::size_t n = static_cast<std::size_t>(rows) * a.width;
    return std::equal(a.rgb.begin(), a.rgb.begin() + n, b.rgb.begin());
}

// The value --dolby-level auto chose, as it says on standard error.
std::string chosen_volume(const std::string& err) {
    const std::string key = "; PC Recording Volume ";
    const std::size_t at = err.find(key);
    if (at == std::string::npos) return "";
    const std::size_t from = at + key.size();
    return err.substr(from, err.find_first_of(",;\n", from) - from);
}

// Rows from the top that two pictures of the same width share.
int rows_alike(const Picture& a, const Picture& b) {
    if (a.width != b.width) return 0;
    int rows = 0;
    while (rows < std::min(a.height, b.height) &&
           std::equal(a.rgb.begin() + rows * a.width, a.rgb.begin() + (rows + 1) * a.width,
                      b.rgb.begin() + rows * b.width))
        ++rows;
    return rows;
}

TEST_F(Cli, TheReportIsAPictureOfEveryDisplayAndBothPlots) {
    write_sound("tape.wav", tape(44100 * 4));
    Result r =
        run("--set \"Dolby B Remover/Enabled=1\" --set \"FM stereo noise filter/Enabled=1\" "
            "tape.wav out.wav --report");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    Picture p;
    ASSERT_TRUE(read_png(dir.file("out.png"), p));
    EXPECT_EQ(p.width, 1000);
    // 936 rows of displays and plots, then the Dolby B section's title and its line of words.
    EXPECT_EQ(p.height, 936 + 66);
    // How many colours each region shows at least: a blank one would have one.
    const std::pair<Region, int> regions[] = {
        {k_meters, 8},      {k_azimuth_history, 3}, {k_fm, 6},
        {k_balance, 4},     {k_left_bands, 5},      {k_sidechain, 3},
        {k_right_bands, 5}, {k_azimuth_plot, 4},    {k_spectrum, 5},
    };
    for (const auto& [g, colours] : regions) EXPECT_GE(colours_in(p, g), colours) << g.name;
    // The titles are drawn: dark text pixels above the first row of displays.
    EXPECT_GE(colours_in(p, 20, 90, 960, 24), 4);
    // Nothing measured the Dolby level: its section has words and no plot.
    for (unsigned c : {k_left_curve, k_right_curve, k_spread}) EXPECT_FALSE(shows(p, c)) << c;
}

// At the first start the Dolby B remover and the FM hiss filter are off: their displays would
// show only what the window drew when it opened, so the report leaves them out.
TEST_F(Cli, TheDisplaysOfStagesThatDidNotRunAreLeftOut) {
    write_sound("tape.wav", tape(44100 * 2));
    const Result r = run("tape.wav out.wav --report");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    Picture p;
    ASSERT_TRUE(read_png(dir.file("out.png"), p));
    EXPECT_EQ(colours_in(p, k_fm), 1);
    EXPECT_EQ(colours_in(p, k_sidechain), 1);
    // The bias equaliser ran: its band graphs are there.
    EXPECT_GE(colours_in(p, k_left_bands), 5);
    EXPECT_GE(colours_in(p, k_azimuth_history), 3);
}

TEST_F(Cli, WithAnOutputFolderEachReportGoesBesideItsOutput) {
    write_sound("a.wav", tape(20000));
    write_sound("b.wav", tape(20000));
    Result r = run("-o out --report a.wav b.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    Picture p;
    EXPECT_TRUE(read_png(dir.file("out/a.png"), p));
    EXPECT_TRUE(read_png(dir.file("out/b.png"), p));
}

// take.wav and take.flac both made out/take.png, the second over the first.
TEST_F(Cli, ReportsOfOutputsThatShareANameStayApart) {
    write_sound("take.wav", tape(20000));
    Sound flac = tape(20000);
    flac.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    write_sound("take.flac", flac);
    const Result r = run("-o out --report take.wav take.flac");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    Picture p;
    EXPECT_TRUE(read_png(dir.file("out/take.wav.png"), p));
    EXPECT_TRUE(read_png(dir.file("out/take.flac.png"), p));
    EXPECT_FALSE(file_exists(dir.file("out/take.png")));
}

// A report that cannot go where it is asked fails its file with one line, and the file leaves
// no audio behind.
TEST_F(Cli, AReportThatCannotBeWrittenFailsItsFileWithOneLine) {
    write_sound("in.wav", tape(20000));
    std::filesystem::create_directories(dir.file("report.png"));  // a folder: no file goes there
    const Result r = run("--report report.png in.wav out.wav");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_NE(r.err.find("report.png"), std::string::npos) << r.err;
    EXPECT_FALSE(file_exists(dir.file("out.wav")));
}

// The report of a file restored at the level measured from its programme is the report of
// the file restored at that value set by hand down to the Dolby B section, where the measured
// level adds its plot. The section starts under the rows of a report without it (the remover
// off).
TEST_F(Cli, AnAutomaticDolbyLevelAddsItsSectionToTheReport) {
    write_sound("tape.wav", varied(8 * 44100, 2, 44100, 3));
    const Result automatic = run("--dolby-level auto tape.wav out.wav --report auto.png");
    ASSERT_EQ(automatic.exit_code, 0) << automatic.err;
    ASSERT_NE(automatic.err.find("estimated from the programme's treble"), std::string::npos)
        << automatic.err;
    const std::string volume = chosen_volume(automatic.err);
    ASSERT_FALSE(volume.empty()) << automatic.err;
    const Result by_hand =
        run("--set \"Dolby B Remover/Enabled=1\" --set \"Dolby B Remover/PC Recording Volume=" +
            volume + "\" tape.wav out.wav --report hand.png");
    ASSERT_EQ(by_hand.exit_code, 0) << by_hand.err;
    ASSERT_EQ(run("tape.wav out.wav --report off.png").exit_code, 0);
    Picture a, h, off;
    ASSERT_TRUE(read_png(dir.file("auto.png"), a));
    ASSERT_TRUE(read_png(dir.file("hand.png"), h));
    ASSERT_TRUE(read_png(dir.file("off.png"), off));
    // The distribution plot alone is 210 rows tall.
    EXPECT_GT(a.height, h.height + 210);
    EXPECT_GE(rows_alike(a, h), off.height);
    // Both channels' curves and the estimate's spread, in the section. A curve runs the plot's
    // width (568 columns); the channels' level marks alone are a few dozen pixels.
    for (unsigned c : {k_left_curve, k_right_curve}) {
        EXPECT_GE(pixels_of(a, c, off.height), 500) << std::hex << c;
        EXPECT_FALSE(shows(h, c)) << std::hex << c;
    }
    EXPECT_TRUE(shows(a, k_spread, off.height));
    EXPECT_FALSE(shows(h, k_spread));
}

// A line-up tone sets the level: the section shows each channel's tone and no spread.
TEST_F(Cli, ALineUpToneIsShownInTheReportWithoutTheProgrammesSpread) {
    // 6.02 dB over the tone level that calls for 1 calls for 2.
    Sound s = varied(4 * 44100, 2, 44100, 3);
    const double amplitude = std::pow(10.0, (k_dolby_tone_at_unity_dbfs + 6.0206) / 20.0);
    std::vector<double> tone;
    for (int n = 0; n < 3 * 44100; ++n)
        for (int c = 0; c < 2; ++c)
            tone.push_back(amplitude * std::sin(k_two_pi * 400.0 * n / 44100));
    s.samples.insert(s.samples.begin(), tone.begin(), tone.end());
    s.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    write_sound("tape.wav", s);
    const Result automatic = run("--dolby-level auto tape.wav out.wav --report auto.png");
    ASSERT_EQ(automatic.exit_code, 0) << automatic.err;
    ASSERT_EQ(chosen_volume(automatic.err), "2.00") << automatic.err;
    const Result by_hand =
        run("--set \"Dolby B Remover/Enabled=1\" --set \"Dolby B Remover/PC Recording Volume=2\" "
            "tape.wav out.wav --report hand.png");
    ASSERT_EQ(by_hand.exit_code, 0) << by_hand.err;
    ASSERT_EQ(run("tape.wav out.wav --report off.png").exit_code, 0);
    Picture a, h, off;
    ASSERT_TRUE(read_png(dir.file("auto.png"), a));
    ASSERT_TRUE(read_png(dir.file("hand.png"), h));
    ASSERT_TRUE(read_png(dir.file("off.png"), off));
    EXPECT_GT(a.height, h.height);
    EXPECT_GE(rows_alike(a, h), off.height);
    EXPECT_TRUE(shows(a, k_left_curve, off.height));
    EXPECT_TRUE(shows(a, k_right_curve, off.height));
    EXPECT_FALSE(shows(a, k_spread));
}

// Silence leaves the remover as set; the section says so in words, with nothing to plot.
TEST_F(Cli, AFileTooQuietToMeasureGetsTheSectionsWordsOnly) {
    write_sound("silent.wav", Sound{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100,
                                    std::vector<double>(2 * 6 * 44100, 0.0)});
    ASSERT_EQ(run("--dolby-level auto silent.wav out.wav --report auto.png").exit_code, 0);
    ASSERT_EQ(run("silent.wav out.wav --report plain.png").exit_code, 0);
    Picture a, p;
    ASSERT_TRUE(read_png(dir.file("auto.png"), a));
    ASSERT_TRUE(read_png(dir.file("plain.png"), p));
    EXPECT_TRUE(same_top(a, p, p.height));
    // A title and a line of words: taller, but by less than the smallest plot (70 rows).
    EXPECT_GT(a.height, p.height + 20);
    EXPECT_LT(a.height, p.height + 70);
    for (unsigned c : {k_left_curve, k_right_curve, k_spread}) EXPECT_FALSE(shows(a, c)) << c;
}

}  // namespace
}  // namespace varnolt::testing
