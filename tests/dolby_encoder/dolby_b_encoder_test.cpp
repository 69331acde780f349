// The Dolby B network (src/processors/dolby_b_network.h) held to the published encode test
// points, forwards as the encoder and backwards as the decoder, at 44.1, 48 and 96 kHz; the round
// trip through both at every level; how fast the encoder follows a tone burst; and the encoder
// the corpus uses staying finite and deterministic.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "dolby_b_encoder.h"
#include "dolby_b_points.h"

namespace {

using varnolt::DolbyBChannel;
using varnolt::DolbyBCoefficients;
using varnolt::k_dolby_b_design;
using varnolt_tools::DolbyBEncoder;
using varnolt_tools::k_dolby_b_points;
using varnolt_tools::k_dolby_b_rates;

constexpr double k_pi = 3.14159265358979323846;
// Dolby level of the signals below, a sine's amplitude at full scale 1.0: -15 dBFS.
const double k_dolby = std::pow(10.0, -15.0 / 20);
// The points' own rule of "near": the decoder reads them back within this, and the encoder
// meets them within it at every rate.
constexpr double k_near_typical_db = 0.5;

double amplitude_of(double db_re_dolby) {
    return k_dolby * std::pow(10.0, db_re_dolby / 20);
}

TEST(DolbyBNetwork, EncoderMeetsEveryPublishedPointAtEveryRate) {
    for (double rate : k_dolby_b_rates)
        for (const auto& p : k_dolby_b_points) {
            const double out =
                varnolt_tools::encoded_tone_db(k_dolby_b_design, rate, p.hz, p.input_db);
            EXPECT_GE(out, p.output_min_db) << p.hz << " Hz at " << p.input_db << " dB, " << rate;
            EXPECT_LE(out, p.output_max_db) << p.hz << " Hz at " << p.input_db << " dB, " << rate;
            EXPECT_NEAR(out, p.output_typical_db, k_near_typical_db)
                << p.hz << " Hz at " << p.input_db << " dB, " << rate;
        }
}

TEST(DolbyBNetwork, DecoderReadsThePointsBackwards) {
    for (double rate : k_dolby_b_rates)
        for (const auto& p : k_dolby_b_points) {
            const double out =
                varnolt_tools::decoded_tone_db(k_dolby_b_design, rate, p.hz, p.output_typical_db);
            EXPECT_NEAR(out, p.input_db, k_near_typical_db)
                << p.hz << " Hz at " << p.output_typical_db << " dB, " << rate;
        }
}

// Signals for the round trip, at `level_db` re Dolby level (a tone's peak; the music's loudest
// moment), `seconds` long at `rate`.
std::vector<double> tone_bursts(double rate, double seconds) {
    // 4 kHz, -50 dB re Dolby level, rising to -10 dB for 20 ms in every 200 ms.
    std::vector<double> x(static_cast<std::size_t>(seconds * rate));
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = static_cast<double>(n) / rate;
        const bool loud = std::fmod(t, 0.2) < 0.02;
        x[n] = amplitude_of(loud ? -10 : -50) * std::sin(2 * k_pi * 4000 * t);
    }
    return x;
}

std::vector<double> sweep(double rate, double seconds, double level_db) {
    // 20 Hz to 20 kHz, logarithmic.
    std::vector<double> x(static_cast<std::size_t>(seconds * rate));
    const double ratio = std::log(1000.0);
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = static_cast<double>(n) / rate;
        const double phase = 2 * k_pi * 20 * seconds / ratio * (std::exp(ratio * t / seconds) - 1);
        x[n] = amplitude_of(level_db) * std::sin(phase);
    }
    return x;
}

// Music enough for a compander: a bass line, chords and bright noise, their loudness swelling
// and falling over seconds and struck every quarter of a second.
std::vector<double> music(double rate, double seconds, double level_db) {
    std::vector<double> x(static_cast<std::size_t>(seconds * rate));
    std::uint32_t state = 12345;
    double bright = 0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = static_cast<double>(n) / rate;
        state = state * 1664525u + 1013904223u;
        const double white = static_cast<double>(state >> 8) / (1u << 23) - 1;
        bright = white - 0.6 * bright;  // tilted towards the treble
        const double swell = 0.5 + 0.5 * std::sin(2 * k_pi * 0.3 * t);
        const double strike = std::exp(-8 * std::fmod(t, 0.25));
        const double v = 0.4 * std::sin(2 * k_pi * 110 * t) +
                         0.25 * strike *
                             (std::sin(2 * k_pi * 660 * t) + std::sin(2 * k_pi * 1320 * t + 1) +
                              std::sin(2 * k_pi * 3520 * t + 2)) +
                         0.15 * swell * bright;
        x[n] = amplitude_of(level_db) * swell * v;
    }
    return x;
}

// The error energy of decode(encode(x)) against x, dB re x's energy. The encoded signal is
// stored as 32-bit floats on the way, as the corpus and a float WAV carry it.
double round_trip_error_db(const std::vector<double>& x, double rate) {
    const DolbyBCoefficients c = varnolt::dolby_b_coefficients(k_dolby_b_design, rate, k_dolby);
    DolbyBChannel encoder, decoder;
    double error = 0, energy = 0;
    for (double v : x) {
        const float stored = static_cast<float>(varnolt::dolby_b_encode(c, encoder, v));
        const double back = varnolt::dolby_b_decode(c, decoder, stored);
        error += (back - v) * (back - v);
        energy += v * v;
    }
    return 10 * std::log10(error / energy);
}

TEST(DolbyBNetwork, RoundTripReturnsTheInputAtEveryLevel) {
    constexpr double k_within_db = -60;
    for (double rate : k_dolby_b_rates) {
        EXPECT_LT(round_trip_error_db(tone_bursts(rate, 1.0), rate), k_within_db) << rate;
        for (int level = -60; level <= 6; level += 6) {
            EXPECT_LT(round_trip_error_db(sweep(rate, 2.0, level), rate), k_within_db)
                << "sweep at " << level << " dB, " << rate;
            EXPECT_LT(round_trip_error_db(music(rate, 2.0, level), rate), k_within_db)
                << "music at " << level << " dB, " << rate;
        }
    }
}

// The decoder is the encoder's inverse sample by sample, in double precision: not only in level
// but in phase, the error staying at rounding.
TEST(DolbyBNetwork, RoundTripIsExactButForRounding) {
    const double rate = 44100;
    const std::vector<double> x = music(rate, 2.0, 0);
    const DolbyBCoefficients c = varnolt::dolby_b_coefficients(k_dolby_b_design, rate, k_dolby);
    DolbyBChannel encoder, decoder;
    double worst = 0;
    for (double v : x)
        worst = std::max(worst, std::fabs(varnolt::dolby_b_decode(
                                              c, decoder, varnolt::dolby_b_encode(c, encoder, v)) -
                                          v));
    EXPECT_LT(worst, 1e-12);
}

// The encoder's output envelope at 4 kHz, in 1 ms steps: its RMS over each millisecond.
std::vector<double> envelope_ms(const std::vector<double>& y, double rate) {
    const auto step = static_cast<std::size_t>(rate / 1000);
    std::vector<double> e;
    for (std::size_t from = 0; from + step <= y.size(); from += step) {
        double sum = 0;
        for (std::size_t n = from; n < from + step; ++n) sum += y[n] * y[n];
        e.push_back(std::sqrt(2 * sum / static_cast<double>(step)));
    }
    return e;
}

// A burst from -50 to -10 dB re Dolby level: the lift falls from the quiet tone's to the loud
// tone's within a few milliseconds of the attack (2 ms), overshooting for no longer; after the
// burst the quiet tone's lift comes back with the decay (60 ms): most of it within 200 ms.
TEST(DolbyBNetwork, EncoderFollowsAToneBurstInMilliseconds) {
    const double rate = 48000;
    const DolbyBCoefficients c = varnolt::dolby_b_coefficients(k_dolby_b_design, rate, k_dolby);
    DolbyBChannel encoder;
    // 500 ms quiet, 100 ms loud, 500 ms quiet.
    std::vector<double> y(static_cast<std::size_t>(1.1 * rate));
    for (std::size_t n = 0; n < y.size(); ++n) {
        const double t = static_cast<double>(n) / rate;
        const bool loud = t >= 0.5 && t < 0.6;
        const double x = amplitude_of(loud ? -10 : -50) * std::sin(2 * k_pi * 4000 * t);
        y[n] = varnolt::dolby_b_encode(c, encoder, x) / amplitude_of(loud ? -10 : -50);
    }
    const std::vector<double> lift = envelope_ms(y, rate);  // output over input, by millisecond
    auto db = [](double v) { return 20 * std::log10(v); };
    const double quiet_lift = db(lift[490]);
    const double loud_lift = db(lift[590]);
    EXPECT_GT(quiet_lift, 9.0);  // quiet 4 kHz: nearly the whole 10 dB
    EXPECT_LT(loud_lift, 5.0);
    // Within 5 ms of the burst's start the lift is within 1 dB of where it settles.
    for (int ms = 505; ms < 600; ++ms) EXPECT_NEAR(db(lift[ms]), loud_lift, 1.0) << ms << " ms";
    // The overshoot at the attack lasts no more than those 5 ms and never exceeds the quiet lift.
    for (int ms = 500; ms < 505; ++ms) EXPECT_LE(db(lift[ms]), quiet_lift + 0.1) << ms << " ms";
    // After it, the lift rises back steadily: half way (in dB) within 100 ms, within 1 dB of the
    // quiet lift by 300 ms.
    const double half = (quiet_lift + loud_lift) / 2;
    EXPECT_GT(db(lift[700]), half);
    EXPECT_NEAR(db(lift[900]), quiet_lift, 1.0);
}

// Everything is relative to Dolby level: the same tone 6 dB louder against a Dolby level 6 dB
// higher is the same tone, and the output scales with both, sample for sample.
TEST(DolbyBNetwork, OutputScalesWithInputAndDolbyLevel) {
    const double rate = 44100;
    const std::vector<double> x = music(rate, 1.0, -10);
    const DolbyBCoefficients a = varnolt::dolby_b_coefficients(k_dolby_b_design, rate, k_dolby);
    const DolbyBCoefficients b = varnolt::dolby_b_coefficients(k_dolby_b_design, rate, 2 * k_dolby);
    DolbyBChannel ca, cb;
    for (double v : x) {
        const double ya = varnolt::dolby_b_encode(a, ca, v);
        const double yb = varnolt::dolby_b_encode(b, cb, 2 * v);
        ASSERT_NEAR(yb, 2 * ya, 1e-12);
    }
}

TEST(DolbyBNetwork, SilenceStaysSilentAndBassPassesAlone) {
    DolbyBEncoder encoder(44100, -15);
    for (int n = 0; n < 44100; ++n) ASSERT_EQ(encoder.process(0.0), 0.0);
    // 50 Hz lies far below the side path's corner at every level: lifted by a small fraction of a
    // decibel at most.
    for (double level : {-40.0, -20.0, 0.0})
        EXPECT_LT(varnolt_tools::encoded_tone_db(k_dolby_b_design, 44100, 50, level) - level, 0.1)
            << level;
}

// Full-scale material stays finite and bounded (the side path adds at most its 10 dB), two
// encoders give the same bits, and a NaN or an infinity is encoded as silence and forgotten.
TEST(DolbyBNetwork, EncoderIsFiniteDeterministicAndForgetsNonFiniteSamples) {
    DolbyBEncoder a(44100, -15), b(44100, -15), clean(44100, -15);
    std::uint32_t state = 1;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int n = 0; n < 44100; ++n) {
        state = state * 1664525u + 1013904223u;
        const double x = (n / 100) % 2 ? 1.0 : static_cast<double>(state >> 8) / (1u << 23) - 1;
        const double ya = a.process(x);
        ASSERT_TRUE(std::isfinite(ya));
        ASSERT_LE(std::fabs(ya), 3.3);
        ASSERT_EQ(ya, b.process(x));
    }
    DolbyBEncoder poisoned(44100, -15);
    EXPECT_EQ(poisoned.process(nan), 0.0);
    EXPECT_EQ(poisoned.process(std::numeric_limits<double>::infinity()), 0.0);
    for (int n = 0; n < 1000; ++n) {
        const double x = 0.1 * std::sin(0.3 * n);
        ASSERT_EQ(poisoned.process(x), clean.process(x));
    }
}

// The decoder absorbs what no encoder would give it, huge and non-finite values from a damaged
// file, without its state staying broken: the chain's own guard resets it, and here the network
// alone stays finite for every finite input, however large.
TEST(DolbyBNetwork, DecoderStaysFiniteForHugeInput) {
    const DolbyBCoefficients c = varnolt::dolby_b_coefficients(k_dolby_b_design, 44100, k_dolby);
    DolbyBChannel decoder;
    for (int n = 0; n < 1000; ++n) {
        const double x = (n % 2 ? 1 : -1) * 1e300;
        ASSERT_TRUE(std::isfinite(varnolt::dolby_b_decode(c, decoder, x)));
    }
    EXPECT_TRUE(std::isfinite(decoder.level));
    EXPECT_TRUE(std::isfinite(decoder.slide_state));
}

}  // namespace
