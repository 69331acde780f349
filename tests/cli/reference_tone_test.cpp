// The Dolby level tone at the start of a transfer: found with its level per channel when it is
// there, and not taken from music that merely holds a 400 Hz note.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "reference_tone.h"

namespace varnolt::cli {
namespace {

constexpr double k_two_pi = 6.283185307179586;

struct Take {
    int channels = 2;
    int rate = 44100;
    std::vector<double> samples;  // interleaved, full scale 1.0

    // `seconds` of a 400 Hz sine at these peak levels (dBFS), one per channel.
    void tone(double seconds, std::vector<double> levels, double hz = 400.0) {
        const long long start = static_cast<long long>(samples.size()) / channels;
        for (long long n = 0; n < static_cast<long long>(seconds * rate); ++n)
            for (int c = 0; c < channels; ++c)
                samples.push_back(std::pow(10.0, levels[c] / 20.0) *
                                  std::sin(k_two_pi * hz * (start + n) / rate));
    }
    // Programme: a chord and noise, at about -20 dBFS.
    void music(double seconds, unsigned seed = 1) {
        std::mt19937 rng(seed);
        std::normal_distribution<double> noise(0.0, 0.02);
        const long long start = static_cast<long long>(samples.size()) / channels;
        for (long long n = 0; n < static_cast<long long>(seconds * rate); ++n) {
            const double t = static_cast<double>(start + n) / rate;
            for (int c = 0; c < channels; ++c)
                samples.push_back(0.05 * std::sin(k_two_pi * 261.6 * t) +
                                  0.04 * std::sin(k_two_pi * 329.6 * t + c) +
                                  0.03 * std::sin(k_two_pi * 400.0 * t) + noise(rng));
        }
    }
    void silence(double seconds) {
        samples.insert(samples.end(), static_cast<std::size_t>(seconds * rate) * channels, 0.0);
    }

    // Through the finder in blocks of 576 frames, as the tool streams a file.
    ReferenceTone find() const {
        ReferenceToneFinder finder(channels, rate);
        std::vector<std::int32_t> block;
        const long long frames = static_cast<long long>(samples.size()) / channels;
        for (long long at = 0; at < frames; at += 576) {
            const long long n = std::min<long long>(576, frames - at);
            block.resize(static_cast<std::size_t>(n * channels));
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<std::int32_t>(
                    std::lround(std::clamp(samples[at * channels + i], -1.0, 1.0) * 2147483647.0));
            finder.add(block.data(), n);
        }
        return finder.result();
    }
};

TEST(ReferenceTone, ALineUpToneGivesItsLevelInEachChannel) {
    for (int rate : {44100, 48000, 96000}) {
        SCOPED_TRACE(rate);
        Take take;
        take.rate = rate;
        take.silence(1.0);
        take.tone(5.0, {-12.0, -15.5});
        take.silence(0.5);
        take.music(4.0);
        const ReferenceTone t = take.find();
        ASSERT_TRUE(t.found);
        ASSERT_EQ(t.level_dbfs.size(), 2u);
        EXPECT_NEAR(t.level_dbfs[0], -12.0, 0.05);
        EXPECT_NEAR(t.level_dbfs[1], -15.5, 0.05);
        // It starts within a window of its true start, and the windows it fills count.
        EXPECT_NEAR(t.start_seconds, 1.0, k_tone_window_seconds);
        EXPECT_NEAR(t.length_seconds, 5.0, 2 * k_tone_window_seconds);
    }
}

TEST(ReferenceTone, AToneToTheEndOfTheFileCounts) {
    Take take;
    take.channels = 1;
    take.tone(3.0, {-6.0});
    const ReferenceTone t = take.find();
    ASSERT_TRUE(t.found);
    EXPECT_NEAR(t.level_dbfs[0], -6.0, 0.05);
}

TEST(ReferenceTone, MusicShortTonesOtherTonesAndLateTonesAreNotTaken) {
    {
        Take take;  // music that holds a 400 Hz partial throughout
        take.music(20.0);
        EXPECT_FALSE(take.find().found);
    }
    {
        Take take;  // a tone too short to be a line-up tone
        take.tone(1.0, {-10.0, -10.0});
        take.music(3.0);
        EXPECT_FALSE(take.find().found);
    }
    {
        Take take;  // a 1 kHz tone is not the Dolby level tone
        take.tone(4.0, {-10.0, -10.0}, 1000.0);
        EXPECT_FALSE(take.find().found);
    }
    {
        Take take;  // too quiet to be a level reference
        take.tone(4.0, {-60.0, -60.0});
        EXPECT_FALSE(take.find().found);
    }
    {
        Take take;  // begins after the first minute
        take.channels = 1;
        take.silence(61.0);
        take.tone(4.0, {-10.0});
        EXPECT_FALSE(take.find().found);
    }
}

TEST(ReferenceTone, ALevelThatJumpsIsNotASteadyTone) {
    Take take;
    take.channels = 1;
    // Five steps of 1 dB every 0.5 s: no stretch of 1.5 s at one level.
    for (int step = 0; step < 5; ++step) take.tone(0.5, {-20.0 + step});
    EXPECT_FALSE(take.find().found);
}

}  // namespace
}  // namespace varnolt::cli
