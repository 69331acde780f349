// End-to-end tests of the real dsp_varnolt.dll, loaded by the stand-in host under wine.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "settings/profile_store.h"

namespace varnolt::testing {
namespace {

TEST_F(HostUnderWine, EnumeratesTheModulesAndTheirTexts) {
    HostRun run = run_vhost({"--list", plugin_dll()});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out,
              "header version 0x20\n"
              "header description Varnolt 1.0 by Tolvane\n"
              "module -1: null\n"
              "module 0: Window visible\n"
              "module 1: Hide window\n"
              "module 2: null\n"
              "module 3: null\n");
}

TEST_F(HostUnderWine, HiddenModuleWithoutConfigWritesNoIni) {
    HostRun run = play("1", "", "");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("Init returned 0"), std::string::npos) << run.out;
    EXPECT_FALSE(file_exists(ini()));
}

TEST_F(HostUnderWine, HiddenModuleWithConfigSavesAtQuit) {
    HostRun run = play("1", "", "", {"--config"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(file_exists(ini()));
}

// Windows' profile functions take paths of fewer than 260 characters; given a longer one they
// wrote settings to files with garbled names in the current folder (the player's own folder).
TEST_F(HostUnderWine, AProfileTooLongForTheProfileFunctionsLeavesTheCurrentFolderClean) {
    ScratchDir player_folder;
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(player_folder.path());
    for (const int length : {300, 600}) {
        const std::string too_long = profile() + "\\" + std::string(length, 'p');
        for (const char* module : {"0", "1"}) {
            const HostRun run =
                run_vhost({"--profile", too_long, "--config", plugin_dll() + ":" + module});
            EXPECT_EQ(run.exit_code, 0) << run.err;
            EXPECT_NE(run.out.find("Quit called"), std::string::npos) << run.out;
        }
    }
    std::filesystem::current_path(cwd);
    for (const auto& entry : std::filesystem::directory_iterator(player_folder.path()))
        ADD_FAILURE() << "left in the current folder: " << entry.path().filename();
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ADD_FAILURE() << "left in the profile's parent: " << entry.path().filename();
}

TEST_F(HostUnderWine, WindowedModuleWritesTheFirstStartIniAtQuit) {
    const long long before = std::time(nullptr);
    HostRun run = play("0", "", "");
    const long long after = std::time(nullptr);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::string text = read_text(ini());
    const std::string stamp = profile_read(ini().c_str(), "Plugin Configuration", "Ikke");
    ASSERT_FALSE(stamp.empty());
    EXPECT_GE(std::stoll(stamp), before);
    EXPECT_LE(std::stoll(stamp), after);
    const std::string head =
        "[Plugin Configuration]\r\nIconify at startup=0\r\nCPU usage - Screen refresh speed=1\r\n"
        "CPU usage - Quality=1\r\nIkke=" +
        stamp +
        "\r\n[Common]\r\nPost amplifier=1\r\n"
        "[Singleband Compressor]\r\nEnabled=0\r\n[Dolby B Remover]\r\nPC Recording Volume=1\r\n"
        "Enabled=0\r\nDifference=0\r\nAttack speed=0.000004565\r\nDecay speed=0.00021\r\n"
        "Dolby strength=1\r\nStandard decoder=0\r\n[Bias]\r\nEnabled=1\r\n"
        "Main Pre Amplifier Left=1\r\n"
        "Main Pre Amplifier Right=1\r\nAmplification - Band 1 Left=1\r\nAmplification - Band 1 "
        "Right=1\r\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    const std::string tail =
        "Amplification - Band 8 Left=1\r\nAmplification - Band 8 Right=1\r\n"
        "Maximum automatic volume adjustment=2\r\n"
        "Right channel amplification relative to left channel=0\r\n"
        "Left channel amplification relative to right channel=1\r\n"
        "Auto-adjust left channel amplification=0\r\nAuto-adjust right channel amplification=0\r\n"
        "Auto-adjust clustered=1\r\nAuto-adjust bias only=1\r\n[FM stereo noise filter]\r\n"
        "Enabled=0\r\nDifference=0\r\nIgnore lowest percentage=25\r\nMultiply by=2\r\n"
        "Reduce stereo noise by percentage=150\r\nDelay time=2\r\nSignal roughness=7.5\r\n";
    std::string bands;
    for (int band = 2; band <= 7; ++band)
        for (const char* side : {"Left", "Right"})
            bands += "Amplification - Band " + std::to_string(band) + " " + side + "=1\r\n";
    EXPECT_EQ(text, head + bands + tail);
}

TEST_F(HostUnderWine, InitLoadsAPreparedIniAndItsValuesReachTheAudio) {
    write_text(ini(),
               "[Plugin Configuration]\r\nCPU usage - Quality=2\r\nIkke=1000\r\n"
               "[Common]\r\nPost amplifier=0.5\r\n[Bias]\r\nEnabled=0\r\n"
               "[FM stereo noise filter]\r\nMultiply by=3.25\r\n[Mine]\r\nkept=yes\r\n");
    Recording input = tone(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 4410);
    write_recording(dir.file("in.wav"), input);
    HostRun run = play("0", "in.wav", "out.wav");
    ASSERT_EQ(run.exit_code, 0) << run.err;

    EXPECT_EQ(profile_read(ini().c_str(), "Plugin Configuration", "CPU usage - Quality"), "2");
    EXPECT_EQ(profile_read(ini().c_str(), "Plugin Configuration", "Ikke"), "1000");
    EXPECT_EQ(profile_read(ini().c_str(), "Common", "Post amplifier"), "0.5");
    EXPECT_EQ(profile_read(ini().c_str(), "Bias", "Enabled"), "0");
    EXPECT_EQ(profile_read(ini().c_str(), "FM stereo noise filter", "Multiply by"), "3.25");
    EXPECT_EQ(profile_read(ini().c_str(), "FM stereo noise filter", "Signal roughness"), "7.5");
    EXPECT_EQ(profile_read(ini().c_str(), "Mine", "kept"), "yes");

    Recording output;
    ASSERT_TRUE(read_recording(dir.file("out.wav"), output));
    ASSERT_EQ(output.samples.size(), input.samples.size());
    // With "Bias" off only the stereo processor runs (the azimuth correction is always on at
    // start), 4096 samples late; the post amplifier halves what comes out.
    for (std::size_t i = k_stereo_delay + 4096; i < input.samples.size(); ++i) {
        const double expected = (input.samples[i - k_stereo_delay] >> 16) * 0.5;
        ASSERT_LE(std::fabs((output.samples[i] >> 16) - expected), 0.01 * 4096) << i;
    }
}

TEST_F(HostUnderWine, EveryWidthAndLayoutComesBackWithItsLengthAndFormat) {
    // Bias off leaves the stereo processor, which delays by 2048 frames in every layout (a mono
    // sample passes through both of the chain's channels).
    write_text(ini(), "[Bias]\r\nEnabled=0\r\n");
    const struct {
        int format, channels, rate, frames;
        double step;  // one step of the format in left-aligned units
    } cases[] = {
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 10000, 65536.0},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 22050, 5000, 16777216.0},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 96000, 3000, 256.0},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 48000, 3000, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "format " << std::hex << c.format << " channels " << c.channels);
        write_recording(dir.file("in.wav"), tone(c.format, c.channels, c.rate, c.frames));
        Recording input;  // as stored, after quantisation to the format
        ASSERT_TRUE(read_recording(dir.file("in.wav"), input));
        HostRun run = play("1", "in.wav", "out.wav");
        ASSERT_EQ(run.exit_code, 0) << run.err;
        Recording output;
        ASSERT_TRUE(read_recording(dir.file("out.wav"), output));
        EXPECT_EQ(output.format, c.format);
        EXPECT_EQ(output.channels, c.channels);
        EXPECT_EQ(output.rate, c.rate);
        ASSERT_EQ(output.samples.size(), input.samples.size());
        // Nearly silent until the first block comes out, then the input: within the ripple of
        // the block overlaps (under 1 % of a quarter of full scale) and the dither's one step.
        const std::size_t delay = 2048 * c.channels;
        const double tolerance = 0.0025 * 2147483648.0 + c.step;
        for (std::size_t i = 0; i < delay; ++i)
            ASSERT_LE(std::fabs(static_cast<double>(output.samples[i])), tolerance) << i;
        for (std::size_t i = delay + 2048 * c.channels; i < input.samples.size(); ++i)
            ASSERT_LE(std::fabs(static_cast<double>(output.samples[i]) - input.samples[i - delay]),
                      tolerance)
                << i;
    }
}

// Programme as a tape would carry it: the same in both channels, as 16-bit samples.
Recording programme(int frames, double hiss_level, unsigned seed) {
    Recording r;
    std::mt19937 rng(seed);
    std::normal_distribution<double> hiss(0.0, hiss_level);
    for (int n = 0; n < frames; ++n) {
        const double t = n / 44100.0;
        const double music = 5000.0 * std::sin(2 * M_PI * 220.0 * t) +
                             2500.0 * std::sin(2 * M_PI * 660.0 * t) +
                             1200.0 * std::sin(2 * M_PI * 1500.0 * t);
        for (int c = 0; c < 2; ++c) {
            const double v = std::clamp(std::round(music + hiss(rng)), -32768.0, 32767.0);
            r.samples.push_back(static_cast<int>(v) * 65536);
        }
    }
    return r;
}

double sum_of_squares(const std::vector<double>& v) {
    double s = 0;
    for (double x : v) s += x * x;
    return s;
}

TEST_F(HostUnderWine, DefaultSettingsComeBackDelayedBy8192SamplesWithoutClicks) {
    // First start: "Bias" on with unit gains and the azimuth correction on: the two block
    // processors delay by 4096 samples each and otherwise leave the programme as it was.
    Recording input, output;
    ASSERT_TRUE(play_through(programme(44100 * 3, 0.0, 1), "1", input, output));
    const std::size_t delay = 8192;
    double worst = 0.0, worst_step = 0.0;
    for (std::size_t i = delay + 2 * 8192; i < output.samples.size(); ++i) {
        const double out = output.samples[i] >> 16, in = input.samples[i - delay] >> 16;
        worst = std::max(worst, std::fabs(out - in));
        // A click shows as a jump between neighbouring frames the input does not have.
        const double out_step = out - (output.samples[i - 2] >> 16);
        const double in_step = in - (input.samples[i - delay - 2] >> 16);
        worst_step = std::max(worst_step, std::fabs(out_step - in_step));
    }
    const double peak = 8700.0;
    EXPECT_LT(worst, 0.02 * peak);
    EXPECT_LT(worst_step, 0.005 * peak);
}

TEST_F(HostUnderWine, TheHissFilterTakesOutHissThatDiffersBetweenTheChannels) {
    write_text(ini(), "[FM stereo noise filter]\r\nEnabled=1\r\n[Bias]\r\nEnabled=0\r\n");
    Recording input, output;
    ASSERT_TRUE(play_through(programme(44100 * 6, 300.0, 2), "0", input, output));
    // After the 2 s history has filled: the side signal (left minus right) is the hiss.
    std::vector<double> side_in, side_out, mid_in, mid_out;
    const std::size_t delay = 4096;
    for (std::size_t i = 2 * 44100 * 4; i + 1 < output.samples.size(); i += 2) {
        side_in.push_back((input.samples[i - delay] >> 16) - (input.samples[i - delay + 1] >> 16));
        side_out.push_back((output.samples[i] >> 16) - (output.samples[i + 1] >> 16));
        mid_in.push_back((input.samples[i - delay] >> 16) + (input.samples[i - delay + 1] >> 16));
        mid_out.push_back((output.samples[i] >> 16) + (output.samples[i + 1] >> 16));
    }
    EXPECT_LT(sum_of_squares(side_out), 0.5 * sum_of_squares(side_in));
    EXPECT_NEAR(sum_of_squares(mid_out) / sum_of_squares(mid_in), 1.0, 0.03);
}

TEST_F(HostUnderWine, ConstantVolumeLiftsQuietPassagesAndHoldsLoudOnesAtTheTarget) {
    write_text(ini(), "[Singleband Compressor]\r\nEnabled=1\r\n[Bias]\r\nEnabled=0\r\n");
    const struct {
        double left, right;  // amplitudes of a 1 kHz tone in 16-bit units
        double expected_left_peak;
    } cases[] = {{50.0, 50.0, 5000.0}, {10000.0, 2500.0, 16300.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.left);
        Recording tone_in;
        for (int n = 0; n < 44100 * 3; ++n) {
            const double x = std::sin(2 * M_PI * 1000.0 * n / 44100.0);
            tone_in.samples.push_back(static_cast<int>(std::round(c.left * x)) * 65536);
            tone_in.samples.push_back(static_cast<int>(std::round(c.right * x)) * 65536);
        }
        Recording input, output;
        ASSERT_TRUE(play_through(tone_in, "1", input, output));
        double peak_left = 0.0, peak_right = 0.0;
        for (std::size_t i = 2 * 44100 * 2; i + 1 < output.samples.size(); i += 2) {
            peak_left = std::max(peak_left, std::fabs(output.samples[i] / 65536.0));
            peak_right = std::max(peak_right, std::fabs(output.samples[i + 1] / 65536.0));
        }
        EXPECT_NEAR(peak_left, c.expected_left_peak, 0.03 * c.expected_left_peak);
        // One gain for both channels: the right keeps its share of the left.
        EXPECT_NEAR(peak_right / peak_left, c.right / c.left, 0.01);
    }
}

TEST_F(HostUnderWine, BlockSizeDoesNotChangeTheLength) {
    Recording input = tone(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 9001);
    write_recording(dir.file("in.wav"), input);
    for (const char* block : {"1", "1024", "4096"}) {
        HostRun run = play("1", "in.wav", "out.wav", {"--block", block});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        Recording output;
        ASSERT_TRUE(read_recording(dir.file("out.wav"), output));
        EXPECT_EQ(output.samples.size(), input.samples.size()) << block;
    }
}

TEST_F(HostUnderWine, ConfigBetweenQuitAndInitRestartsTheWindowedInstance) {
    HostRun run = play("0", "", "", {"--config-after-quit"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("Config after Quit, then Quit called"), std::string::npos) << run.out;
    EXPECT_TRUE(file_exists(ini()));
}

TEST_F(HostUnderWine, HostFailuresAreLoud) {
    HostRun missing =
        run_vhost({windows_path(dir.file("no_such.dll")), win("a.wav"), win("b.wav")});
    EXPECT_NE(missing.exit_code, 0);
    EXPECT_NE(missing.err.find("vhost:"), std::string::npos) << missing.err;
    HostRun bad_module = run_vhost({"--module", "7", plugin_dll()});
    EXPECT_NE(bad_module.exit_code, 0);
    EXPECT_NE(bad_module.err.find("no module 7"), std::string::npos) << bad_module.err;
}

}  // namespace
}  // namespace varnolt::testing
