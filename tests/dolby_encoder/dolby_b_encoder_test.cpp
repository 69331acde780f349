// The test encoder's law (tools/dolby_encoder/dolby_b_encoder.h): how much it lifts a steady tone
// at a given level re the reference level, how fast its corner moves, and that it stays finite and
// deterministic.

#include "dolby_b_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <vector>

namespace {

using varnolt_tools::dolby_b_constants;
using varnolt_tools::DolbyBEncoder;

constexpr double k_pi = 3.14159265358979323846;
constexpr double k_rate = 44100;
constexpr double k_reference_dbfs = -15;
constexpr double k_settle_seconds = 1.0;   // ten decay times: the detector has settled
constexpr double k_measure_seconds = 0.5;  // a whole number of periods of every tone below

std::size_t frames(double seconds) {
    return static_cast<std::size_t>(seconds * k_rate);
}

double sine(double amplitude, double f_hz, std::size_t n) {
    return amplitude * std::sin(2 * k_pi * f_hz * static_cast<double>(n) / k_rate);
}

// A tone's amplitude in a stretch, by correlation with sine and cosine at its frequency.
double amplitude_at(const std::vector<double>& x, std::size_t first, double f_hz) {
    double s = 0, c = 0;
    for (std::size_t n = first; n < x.size(); ++n) {
        const double phase = 2 * k_pi * f_hz * static_cast<double>(n) / k_rate;
        s += x[n] * std::sin(phase);
        c += x[n] * std::cos(phase);
    }
    return 2 * std::hypot(s, c) / static_cast<double>(x.size() - first);
}

struct steady_tone {
    double lift_db;   // output re input at the tone's frequency, once settled
    double corner_k;  // the side path's corner at the end
};

steady_tone encode_tone(double f_hz, double level_db, double reference_dbfs = k_reference_dbfs) {
    DolbyBEncoder encoder(k_rate, reference_dbfs);
    const double amplitude = std::pow(10.0, (reference_dbfs + level_db) / 20);
    const std::size_t settle = frames(k_settle_seconds);
    const std::size_t total = settle + frames(k_measure_seconds);
    std::vector<double> in(total), out(total);
    for (std::size_t n = 0; n < total; ++n) {
        in[n] = sine(amplitude, f_hz, n);
        out[n] = encoder.process(in[n]);
    }
    return {20 * std::log10(amplitude_at(out, settle, f_hz) / amplitude_at(in, settle, f_hz)),
            encoder.corner_k()};
}

// The lift formula against the filter it describes, evaluated directly: the bilinear high-pass
// (1 - z^-1) / ((1 + K) - (1 - K) z^-1), scaled by g and added to the main path, on the unit
// circle.
TEST(DolbyBEncoder, LiftFormulaIsTheFiltersResponse) {
    const double g = std::pow(10.0, dolby_b_constants::max_lift_db / 20) - 1;
    for (double k : {0.05, 0.1074, 1.0, 7.5, 60.0})
        for (double f : {20.0, 100.0, 1000.0, 4000.0, 10000.0, 20000.0}) {
            const std::complex<double> z_inv = std::polar(1.0, -2 * k_pi * f / k_rate);
            const std::complex<double> hp = (1.0 - z_inv) / ((1 + k) - (1 - k) * z_inv);
            const double direct_db = 20 * std::log10(std::abs(1.0 + g * hp));
            EXPECT_NEAR(DolbyBEncoder::lift_db(f, k_rate, k), direct_db, 1e-9)
                << "K " << k << ", " << f << " Hz";
        }
    // The ends of the shelf: nothing at 0 Hz, the whole 10 dB at the Nyquist frequency.
    EXPECT_EQ(DolbyBEncoder::lift_db(0, k_rate, 0.1), 0.0);
    EXPECT_NEAR(DolbyBEncoder::lift_db(k_rate / 2 - 1e-6, k_rate, 0.1), 10.0, 1e-9);
}

// Below the threshold the corner rests at 1.5 kHz, so a steady quiet tone gets exactly the
// formula's lift at the rest corner (the measure by correlation is good to a few thousandths of
// a dB): 9.51 dB at 4 kHz and 9.94 dB at 10 kHz at 44.1 kHz.
TEST(DolbyBEncoder, QuietTrebleGetsTheWholeLift) {
    const double rest_k = std::tan(k_pi * dolby_b_constants::rest_corner_hz / k_rate);
    for (double f : {4000.0, 10000.0})
        for (double level : {-60.0, -40.0}) {
            const steady_tone t = encode_tone(f, level);
            EXPECT_EQ(t.corner_k, rest_k) << f << " Hz at " << level << " dB";
            EXPECT_NEAR(t.lift_db, DolbyBEncoder::lift_db(f, k_rate, rest_k), 0.01);
            EXPECT_GE(t.lift_db, 8.0);
            EXPECT_LE(t.lift_db, 10.0);
        }
}

// Treble at Dolby level is left nearly alone, and the lift falls steadily as the level rises.
TEST(DolbyBEncoder, LoudTrebleIsLiftedLittle) {
    for (double f : {4000.0, 10000.0}) {
        double previous = std::numeric_limits<double>::infinity();
        for (double level : {-40.0, -30.0, -20.0, -10.0, 0.0, 6.0}) {
            const steady_tone t = encode_tone(f, level);
            EXPECT_LT(t.lift_db, previous) << f << " Hz at " << level << " dB";
            previous = t.lift_db;
            // The steady lift is the formula's at the corner the level has set.
            EXPECT_NEAR(t.lift_db, DolbyBEncoder::lift_db(f, k_rate, t.corner_k), 0.05);
            if (level >= 0) {
                EXPECT_LT(t.lift_db, 2.0) << f << " Hz at " << level << " dB";
            }
        }
    }
}

// 100 Hz lies far below the corner at every level: 0.17 dB at rest, less as the corner rises.
TEST(DolbyBEncoder, BassIsUntouchedAtAnyLevel) {
    for (double level : {-60.0, -40.0, -20.0, 0.0, 6.0, 15.0}) {
        const steady_tone t = encode_tone(100, level);
        EXPECT_LT(std::fabs(t.lift_db), 0.5) << level << " dB";
    }
}

// Everything is relative to the reference level: the same tone 6 dB louder against a reference
// 6 dB higher gets the same lift; the same tone against a different reference does not.
TEST(DolbyBEncoder, LiftFollowsTheReferenceLevel) {
    for (double f : {4000.0, 10000.0}) {
        const steady_tone at_15 = encode_tone(f, -30, -15);
        const steady_tone at_9 = encode_tone(f, -30, -9);
        EXPECT_NEAR(at_9.lift_db, at_15.lift_db, 1e-9) << f << " Hz";
        EXPECT_NEAR(at_9.corner_k, at_15.corner_k, 1e-9 * at_15.corner_k);
        // The same absolute amplitude, 6 dB hotter re the reference: lifted less.
        const steady_tone hotter = encode_tone(f, -10 + 6, -15 - 6);
        EXPECT_LT(hotter.lift_db, encode_tone(f, -10, -15).lift_db - 0.5) << f << " Hz";
    }
}

// Scaling the input and the reference together scales the output by the same factor, sample for
// sample, for any material; here a chord and a burst.
TEST(DolbyBEncoder, OutputScalesWithInputAndReference) {
    const double scale = std::pow(10.0, -6.0 / 20);
    DolbyBEncoder a(k_rate, -15), b(k_rate, -21);
    for (std::size_t n = 0; n < frames(0.5); ++n) {
        double x = sine(0.02, 440, n) + sine(0.05, 3000, n) + sine(0.01, 9000, n);
        if (n > frames(0.2) && n < frames(0.25)) x += sine(0.4, 6000, n);
        const double ya = a.process(x), yb = b.process(x * scale);
        ASSERT_NEAR(yb, ya * scale, 1e-12) << "sample " << n;
    }
}

// The detector rises within a few milliseconds and falls with the 100 ms decay: a loud 4 kHz tone
// switched on moves the corner near its settled place within 10 ms; switched off, the smoothed
// power falls by e in 100 ms, so the corner (proportional to the power's square root) by sqrt(e).
TEST(DolbyBEncoder, CornerAttacksFastAndDecaysSlowly) {
    DolbyBEncoder encoder(k_rate, k_reference_dbfs);
    const double amplitude = std::pow(10.0, k_reference_dbfs / 20);
    std::size_t n = 0;
    for (; n < frames(0.0005); ++n) encoder.process(sine(amplitude, 4000, n));
    const double early = encoder.corner_k();
    for (; n < frames(0.010); ++n) encoder.process(sine(amplitude, 4000, n));
    const double at_10ms = encoder.corner_k();
    for (; n < frames(0.5); ++n) encoder.process(sine(amplitude, 4000, n));
    const double settled = encoder.corner_k();
    EXPECT_LT(early, 0.6 * settled);
    EXPECT_GT(at_10ms, 0.9 * settled);
    for (std::size_t m = 0; m < frames(0.001); ++m) encoder.process(0);  // the filter's tail
    const double start_of_decay = encoder.corner_k();
    for (std::size_t m = 0; m < frames(0.100); ++m) encoder.process(0);
    EXPECT_NEAR(encoder.corner_k() / start_of_decay, std::exp(-0.5), 0.01);
}

TEST(DolbyBEncoder, SilenceStaysSilent) {
    DolbyBEncoder encoder(k_rate, k_reference_dbfs);
    for (int n = 0; n < 10000; ++n) ASSERT_EQ(encoder.process(0.0), 0.0);
    EXPECT_EQ(encoder.corner_k(), encoder.rest_corner_k());
}

// Full-scale material, square waves and pseudo-random noise, stays finite and bounded (the
// side path can add at most 10 dB), and two encoders give the same bits.
TEST(DolbyBEncoder, FullScaleIsFiniteAndDeterministic) {
    DolbyBEncoder a(k_rate, k_reference_dbfs), b(k_rate, k_reference_dbfs);
    unsigned state = 12345;
    for (std::size_t n = 0; n < frames(1.0); ++n) {
        state = state * 1664525u + 1013904223u;
        const double noise = static_cast<double>(state >> 8) / (1u << 23) - 1;  // [-1, 1)
        const double square = (n / 20) % 2 ? 1.0 : -1.0;
        const double x = n < frames(0.5) ? square : noise;
        const double ya = a.process(x);
        ASSERT_TRUE(std::isfinite(ya)) << "sample " << n;
        ASSERT_LT(std::fabs(ya), 10.0) << "sample " << n;
        ASSERT_EQ(ya, b.process(x)) << "sample " << n;
    }
}

// A NaN or an infinity comes out as silence and leaves no trace: what follows is encoded as if
// the sample had not been there.
TEST(DolbyBEncoder, NonFiniteSampleIsSilencedAndForgotten) {
    DolbyBEncoder with(k_rate, k_reference_dbfs), without(k_rate, k_reference_dbfs);
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
    for (std::size_t n = 0; n < 3000; ++n) {
        const double x = sine(0.1, 5000, n);
        if (n % 1000 == 500) {
            EXPECT_EQ(with.process(bad[n / 1000]), 0.0);
        }
        ASSERT_EQ(with.process(x), without.process(x)) << "sample " << n;
    }
}

// The block form with a stride encodes each channel of an interleaved buffer on its own.
TEST(DolbyBEncoder, InterleavedChannelsAreIndependent) {
    constexpr std::size_t count = 4000;
    std::vector<float> interleaved(count * 2);
    for (std::size_t n = 0; n < count; ++n) {
        interleaved[2 * n] = static_cast<float>(sine(0.3, 7000, n));
        interleaved[2 * n + 1] = static_cast<float>(sine(0.003, 3000, n));
    }
    std::vector<float> expected = interleaved;
    for (std::size_t c = 0; c < 2; ++c) {
        DolbyBEncoder alone(k_rate, k_reference_dbfs);
        for (std::size_t n = 0; n < count; ++n)
            expected[2 * n + c] = static_cast<float>(alone.process(double{expected[2 * n + c]}));
    }
    DolbyBEncoder left(k_rate, k_reference_dbfs), right(k_rate, k_reference_dbfs);
    left.process(interleaved.data(), count, 2);
    right.process(interleaved.data() + 1, count, 2);
    EXPECT_EQ(interleaved, expected);
}

}  // namespace
