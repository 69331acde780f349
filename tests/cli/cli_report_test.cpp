// The report picture: a PNG of the stated size whose display regions show something.

#include <png.h>

#include <cstdio>
#include <set>

#include <filesystem>

#include "cli_fixture.h"

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

TEST_F(Cli, TheReportIsAPictureOfEveryDisplayAndBothPlots) {
    write_sound("tape.wav", tape(44100 * 4));
    Result r =
        run("--set \"Dolby B Remover/Enabled=1\" --set \"FM stereo noise filter/Enabled=1\" "
            "tape.wav out.wav --report");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    Picture p;
    ASSERT_TRUE(read_png(dir.file("out.png"), p));
    EXPECT_EQ(p.width, 1000);
    EXPECT_EQ(p.height, 936);
    // How many colours each region shows at least: a blank one would have one.
    const std::pair<Region, int> regions[] = {
        {k_meters, 8},      {k_azimuth_history, 3}, {k_fm, 6},
        {k_balance, 4},     {k_left_bands, 5},      {k_sidechain, 3},
        {k_right_bands, 5}, {k_azimuth_plot, 4},    {k_spectrum, 5},
    };
    for (const auto& [g, colours] : regions) EXPECT_GE(colours_in(p, g), colours) << g.name;
    // The titles are drawn: dark text pixels above the first row of displays.
    EXPECT_GE(colours_in(p, 20, 90, 960, 24), 4);
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

}  // namespace
}  // namespace varnolt::testing
