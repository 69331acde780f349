// The Dolby level tone at the start of a transfer: found with its level per channel when it is
// there, and not taken from music that merely holds a 400 Hz note.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "level/reference_tone.h"

namespace varnolt {
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

    // Each channel through its own finder, sample by sample as a stream passes.
    std::vector<ReferenceTone> find() const {
        std::vector<ReferenceTone> tones;
        const long long frames = static_cast<long long>(samples.size()) / channels;
        for (int c = 0; c < channels; ++c) {
            ReferenceToneFinder finder(rate);
            for (long long n = 0; n < frames; ++n) finder.add(samples[n * channels + c]);
            tones.push_back(finder.result());
        }
        return tones;
    }
    bool found_in_any() const {
        for (const ReferenceTone& t : find())
            if (t.found) return true;
        return false;
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
        const std::vector<ReferenceTone> t = take.find();
        ASSERT_TRUE(t[0].found && t[1].found);
        EXPECT_NEAR(t[0].level_dbfs, -12.0, 0.05);
        EXPECT_NEAR(t[1].level_dbfs, -15.5, 0.05);
        // It starts within a window of its true start, and the windows it fills count.
        for (const ReferenceTone& channel : t) {
            EXPECT_NEAR(channel.start_seconds, 1.0, k_tone_window_seconds);
            EXPECT_NEAR(channel.length_seconds, 5.0, 2 * k_tone_window_seconds);
        }
    }
}

TEST(ReferenceTone, AToneToTheEndOfTheFileCounts) {
    Take take;
    take.channels = 1;
    take.tone(3.0, {-6.0});
    const ReferenceTone t = take.find()[0];
    ASSERT_TRUE(t.found);
    EXPECT_NEAR(t.level_dbfs, -6.0, 0.05);
}

TEST(ReferenceTone, MusicShortTonesOtherTonesAndLateTonesAreNotTaken) {
    {
        Take take;  // music that holds a 400 Hz partial throughout
        take.music(20.0);
        EXPECT_FALSE(take.found_in_any());
    }
    {
        Take take;  // a tone too short to be a line-up tone
        take.tone(1.0, {-10.0, -10.0});
        take.music(3.0);
        EXPECT_FALSE(take.found_in_any());
    }
    {
        Take take;  // a 1 kHz tone is not the Dolby level tone
        take.tone(4.0, {-10.0, -10.0}, 1000.0);
        EXPECT_FALSE(take.found_in_any());
    }
    {
        Take take;  // too quiet to be a level reference
        take.tone(4.0, {-60.0, -60.0});
        EXPECT_FALSE(take.found_in_any());
    }
    {
        Take take;  // begins after the first minute
        take.channels = 1;
        take.silence(61.0);
        take.tone(4.0, {-10.0});
        EXPECT_FALSE(take.found_in_any());
    }
}

TEST(ReferenceTone, ALevelThatJumpsIsNotASteadyTone) {
    Take take;
    take.channels = 1;
    // Five steps of 1 dB every 0.5 s: no stretch of 1.5 s at one level.
    for (int step = 0; step < 5; ++step) take.tone(0.5, {-20.0 + step});
    EXPECT_FALSE(take.found_in_any());
}

}  // namespace
}  // namespace varnolt
