// The octave bands' measures (tools/dolby_encoder/octave_bands.h) on cases whose answer is known
// exactly: a perfect restoration, one at half the amplitude, a silent one, a stretch too short.

#include "octave_bands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using varnolt_tools::band_comparison;
using varnolt_tools::compare_octave_bands;
using varnolt_tools::Sound;

constexpr double k_pi = 3.14159265358979323846;

// Two channels of treble and bass: tones at 3 and 9 kHz in the bands, 200 Hz below them.
Sound treble(double seconds) {
    Sound s;
    s.rate = 44100;
    s.channels = 2;
    const std::size_t frames = static_cast<std::size_t>(seconds * s.rate);
    s.samples.resize(frames * 2);
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / s.rate;
        s.samples[2 * n] = static_cast<float>(0.1 * std::sin(2 * k_pi * 3000 * t) +
                                              0.3 * std::sin(2 * k_pi * 200 * t));
        s.samples[2 * n + 1] = static_cast<float>(0.05 * std::sin(2 * k_pi * 9000 * t));
    }
    return s;
}

Sound scaled(Sound s, float factor) {
    for (float& x : s.samples) x *= factor;
    return s;
}

TEST(OctaveBands, KnownRestorations) {
    const Sound clean = treble(1.0);
    band_comparison r;
    const char* error = "";

    ASSERT_TRUE(compare_octave_bands(clean, clean, 0, clean.frames(), r, error)) << error;
    EXPECT_EQ(r.band_error_db, -std::numeric_limits<double>::infinity());
    EXPECT_EQ(r.level_difference_db, 0.0);
    // 4096-frame windows half a window apart in 44100 frames.
    EXPECT_EQ(r.windows, (44100u - 4096u) / 2048u + 1u);

    // Half the amplitude: the error is the other half, -6.02 dB, and every band is 6.02 dB low.
    ASSERT_TRUE(compare_octave_bands(clean, scaled(clean, 0.5f), 0, clean.frames(), r, error));
    EXPECT_NEAR(r.band_error_db, 20 * std::log10(0.5), 1e-6);
    EXPECT_NEAR(r.level_difference_db, -20 * std::log10(0.5), 1e-6);

    // Silence restores nothing: the error is all the clean energy, 0 dB.
    ASSERT_TRUE(compare_octave_bands(clean, scaled(clean, 0.0f), 0, clean.frames(), r, error));
    EXPECT_NEAR(r.band_error_db, 0.0, 1e-12);
}

TEST(OctaveBands, RefusesWhatCannotBeCompared) {
    const Sound clean = treble(1.0);
    band_comparison r;
    const char* error = "";
    EXPECT_FALSE(compare_octave_bands(clean, clean, 0, 4000, r, error));  // under one window
    Sound mono = clean;
    mono.channels = 1;
    EXPECT_FALSE(compare_octave_bands(clean, mono, 0, clean.frames(), r, error));
    const Sound silent = scaled(clean, 0.0f);
    EXPECT_FALSE(compare_octave_bands(silent, clean, 0, clean.frames(), r, error));
}

}  // namespace
