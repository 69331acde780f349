// The standard Dolby B decoder as the player's user meets it: chosen by the INI file's key,
// heard through modify_samples in the player's 16-bit blocks. A programme encoded at the Dolby
// level that "PC Recording Volume" stands for comes back as it was before encoding; the table
// remover stays the first-start choice; the tray's "without Dolby" and "Difference" do to the
// standard decoder what they do to the remover.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "chain/instance.h"
#include "chain/standard_decoder.h"
#include "level/dolby_level.h"
#include "plugin/dll_instance.h"
#include "plugin/modify_samples.h"
#include "processors/dolby_b_network.h"
#include "settings/modes.h"
#include "settings/parameters.h"
#include "settings/presets.h"
#include "test_support.h"

namespace varnolt {
namespace {

// The DLL's one instance: these tests drive the module's entries, which work on it.
LiveParameters& live = dll_instance().live;

constexpr int k_rate = 44100;
constexpr int k_block = 576;
constexpr double k_pi = 3.14159265358979323846;
constexpr int k_latency_frames = 2048;  // the tape processor's, as with the remover

// The clean programme of channel `c`: a bass note, a treble chord struck four times a second,
// its level swelling and falling, in 16-bit units.
double clean(int n, int c) {
    const double t = static_cast<double>(n) / k_rate;
    const double swell = 0.55 + 0.45 * std::sin(2 * k_pi * 0.5 * t + c);
    const double strike = std::exp(-6 * std::fmod(t, 0.25));
    return 3000 * std::sin(2 * k_pi * 150 * t) +
           swell * strike *
               (2500 * std::sin(2 * k_pi * 3000 * t + c) + 1500 * std::sin(2 * k_pi * 7000 * t));
}

struct Played {
    std::vector<double> clean, encoded, output;  // interleaved
};

// Encodes the programme as a tape recorded at the Dolby level "PC Recording Volume" `volume`
// stands for, and plays it through modify_samples.
Played play_encoded(double volume, double seconds) {
    const DolbyBCoefficients c =
        dolby_b_coefficients(k_dolby_b_design, k_rate, standard_decoder_dolby_level() * volume);
    DolbyBChannel side[2];
    const int frames = static_cast<int>(seconds * k_rate);
    Played p;
    std::vector<std::int16_t> pcm;
    for (int n = 0; n < frames; ++n)
        for (int ch = 0; ch < 2; ++ch) {
            const double x = clean(n, ch);
            const double e = dolby_b_encode(c, side[ch], x);
            p.clean.push_back(x);
            pcm.push_back(static_cast<std::int16_t>(std::lround(e)));
            p.encoded.push_back(pcm.back());
        }
    for (int start = 0; start < frames; start += k_block)
        modify_samples(nullptr, pcm.data() + 2 * start, std::min(k_block, frames - start), 16, 2,
                       k_rate);
    p.output.assign(pcm.begin(), pcm.end());
    return p;
}

// The output's error against `reference` delayed by the latency, over the last second, dB re
// the reference's energy.
double error_db(const std::vector<double>& output, const std::vector<double>& reference) {
    double error = 0, energy = 0;
    const std::size_t shift = 2 * k_latency_frames;
    for (std::size_t i = output.size() - 2 * k_rate; i < output.size(); ++i) {
        const double d = output[i] - reference[i - shift];
        error += d * d;
        energy += reference[i - shift] * reference[i - shift];
    }
    return 10 * std::log10(error / energy);
}

class StandardDecoderHeard : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::reset_plugin_state();
        create_processors(dll_instance());
    }
    void TearDown() override { destroy_processors(dll_instance()); }

    // Loads an INI file holding the remover's section as a user would have it.
    void load(const std::string& dolby_section) {
        testing::write_text(dir.file("dsp_varnolt.ini"),
                            "[Dolby B Remover]\r\n" + dolby_section + "[Bias]\r\nEnabled=0\r\n");
        load_preset(live, dir.file("dsp_varnolt.ini").c_str());
        live.azimuth_enabled = 0;  // not a setting of the file: the listener's switch
    }

    testing::ScratchDir dir;
};

TEST_F(StandardDecoderHeard, TheIniKeyRestoresTheProgrammeAsItWasBeforeEncoding) {
    load("Enabled=1\r\nStandard decoder=1\r\nPC Recording Volume=0.5\r\n");
    EXPECT_EQ(live.values.standard_decoder, 1);
    const Played p = play_encoded(0.5, 3.0);
    // The encoding was heard (the treble lifted by several dB)...
    EXPECT_GT(error_db(p.encoded, p.clean), -15.0);
    // ...and is undone to the 16-bit rounding of the player's samples: the clean programme comes
    // back, in level and in phase, delayed by the tape processor's latency.
    EXPECT_LT(error_db(p.output, p.clean), -55.0);
}

TEST_F(StandardDecoderHeard, TheDolbyLevelIsTheVolumesCalibration) {
    // The same tape decoded at a Dolby level 6 dB off: no longer the programme.
    load("Enabled=1\r\nStandard decoder=1\r\nPC Recording Volume=1\r\n");
    const Played p = play_encoded(0.5, 3.0);
    EXPECT_GT(error_db(p.output, p.clean), -30.0);
}

TEST_F(StandardDecoderHeard, WithoutTheKeyTheTableRemoverRuns) {
    load("Enabled=1\r\nPC Recording Volume=0.5\r\n");
    EXPECT_EQ(live.values.standard_decoder, 0);
    const Played p = play_encoded(0.5, 3.0);
    EXPECT_GT(error_db(p.output, p.clean), -30.0);
}

TEST_F(StandardDecoderHeard, WithoutDolbyTheEncodedProgrammePassesAndDifferenceIsTheCut) {
    load("Enabled=1\r\nStandard decoder=1\r\nPC Recording Volume=0.5\r\n");
    live.processing_mode = k_mode_without_dolby;
    const Played passed = play_encoded(0.5, 3.0);
    EXPECT_LT(error_db(passed.output, passed.encoded), -80.0);

    testing::reset_plugin_state();
    create_processors(dll_instance());
    load("Enabled=1\r\nStandard decoder=1\r\nDifference=1\r\nPC Recording Volume=0.5\r\n");
    const Played difference = play_encoded(0.5, 3.0);
    // What was removed: the clean programme less the encoded one.
    std::vector<double> removed(difference.clean.size());
    for (std::size_t i = 0; i < removed.size(); ++i)
        removed[i] = difference.clean[i] - difference.encoded[i];
    EXPECT_LT(error_db(difference.output, removed), -40.0);
}

// The slider moved while the standard decoder plays, as a listener matching the tape's level
// does: 16 dB at once. The decoder's state follows the samples' new scale, so the output makes
// no step beyond the programme's own; from a state the size of the old scale it would click.
TEST_F(StandardDecoderHeard, MovingTheVolumeMakesNoStep) {
    load("Enabled=1\r\nStandard decoder=1\r\nPC Recording Volume=0.16\r\n");
    const int frames = 2 * k_rate;
    const int moved = 80 * k_block;  // at a block's start, as the window's slider acts
    // A steady chord with a treble partial, at -28 dBFS.
    std::vector<std::int16_t> pcm;
    for (int n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / k_rate;
        const double x =
            1300 * (std::sin(2 * k_pi * 220 * t) + 0.7 * std::sin(2 * k_pi * 277.2 * t) +
                    0.5 * std::sin(2 * k_pi * 329.6 * t) + 0.3 * std::sin(2 * k_pi * 4400 * t));
        for (int ch = 0; ch < 2; ++ch) pcm.push_back(static_cast<std::int16_t>(std::lround(x)));
    }
    for (int start = 0; start < frames; start += k_block) {
        if (start == moved) live.values.pc_recording_volume = 1.0;
        modify_samples(nullptr, pcm.data() + 2 * start, std::min(k_block, frames - start), 16, 2,
                       k_rate);
    }
    // The largest step of the left channel over frames [from, to).
    const auto largest_step = [&pcm](int from, int to) {
        int largest = 0;
        for (int n = from; n < to; ++n)
            largest = std::max(largest, std::abs(pcm[2 * n] - pcm[2 * (n - 1)]));
        return largest;
    };
    const int heard = moved + k_latency_frames;
    const int own = std::max(largest_step(heard - k_rate / 2, heard - 100),
                             largest_step(heard + k_rate / 10, frames));
    const int at_change = largest_step(heard - 100, heard + k_rate / 10);
    std::printf("largest step at the change %d, on its own %d\n", at_change, own);
    EXPECT_LE(at_change, 1.5 * own);
}

}  // namespace
}  // namespace varnolt
