// The standard Dolby B decoder through the real DLL under wine: chosen by the INI file's key in
// the remover's section, it gives back a programme as it was before a Dolby B encoder lifted its
// quiet treble; without the key the table remover runs, as at first start.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "chain/standard_decoder.h"
#include "host_fixture.h"
#include "processors/dolby_b_network.h"

namespace varnolt::testing {
namespace {

constexpr int k_rate = 44100;
constexpr double k_pi = 3.14159265358979323846;
// The tape processor's and the stereo processor's latencies (the azimuth correction is on in
// the player's instance whatever the file says), in interleaved samples.
constexpr std::size_t k_delay = 4096 + k_stereo_delay;
constexpr double k_volume = 0.5;  // the file's "PC Recording Volume": the tape's Dolby level

// A bass note and a quiet treble chord struck four times a second, well under Dolby level where
// the encoder lifts most, the same in both channels (the azimuth correction then has nothing to
// move), in 16-bit units.
double clean(int n) {
    const double t = static_cast<double>(n) / k_rate;
    const double swell = 0.55 + 0.45 * std::sin(2 * k_pi * 0.5 * t);
    const double strike = std::exp(-6 * std::fmod(t, 0.25));
    return 1000 * std::sin(2 * k_pi * 150 * t) +
           swell * strike *
               (700 * std::sin(2 * k_pi * 3000 * t) + 500 * std::sin(2 * k_pi * 7000 * t));
}

struct Encoded {
    Recording recording;
    std::vector<double> clean;  // interleaved
};

Encoded encoded_programme(double seconds) {
    const DolbyBCoefficients c =
        dolby_b_coefficients(k_dolby_b_design, k_rate, standard_decoder_dolby_level() * k_volume);
    DolbyBChannel side[2];
    Encoded e;
    for (int n = 0; n < static_cast<int>(seconds * k_rate); ++n)
        for (int ch = 0; ch < 2; ++ch) {
            const double x = clean(n);
            e.clean.push_back(x);
            const double y = std::round(dolby_b_encode(c, side[ch], x));
            e.recording.samples.push_back(static_cast<int>(y) * 65536);
        }
    return e;
}

// The output's error against `reference` delayed by k_delay, over the last two seconds, dB re
// the reference's energy.
double error_db(const Recording& output, const std::vector<double>& reference) {
    double error = 0, energy = 0;
    for (std::size_t i = output.samples.size() - 2 * 2 * k_rate; i < output.samples.size(); ++i) {
        const double d = output.samples[i] / 65536.0 - reference[i - k_delay];
        error += d * d;
        energy += reference[i - k_delay] * reference[i - k_delay];
    }
    return 10 * std::log10(error / energy);
}

TEST_F(HostUnderWine, TheStandardDecoderKeyGivesBackTheProgrammeBeforeEncoding) {
    const Encoded e = encoded_programme(4.0);
    std::vector<double> encoded;
    for (int v : e.recording.samples) encoded.push_back(v / 65536.0);

    write_text(ini(),
               "[Dolby B Remover]\r\nEnabled=1\r\nStandard decoder=1\r\nPC Recording Volume=0.5\r\n"
               "[Bias]\r\nEnabled=0\r\n");
    Recording input, standard;
    ASSERT_TRUE(play_through(e.recording, "0", input, standard));
    const double standard_error = error_db(standard, e.clean);

    write_text(ini(),
               "[Dolby B Remover]\r\nEnabled=1\r\nPC Recording Volume=0.5\r\n"
               "[Bias]\r\nEnabled=0\r\n");
    Recording table;
    ASSERT_TRUE(play_through(e.recording, "0", input, table));
    const double table_error = error_db(table, e.clean);

    // The encoding is heard undecoded (the treble lifted by several dB); the standard decoder
    // undoes it but for what the stereo processor's overlapping blocks leave (about -40 dB on
    // any programme); the table remover, the first-start choice, does not.
    double lift = 0, energy = 0;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        lift += (encoded[i] - e.clean[i]) * (encoded[i] - e.clean[i]);
        energy += e.clean[i] * e.clean[i];
    }
    EXPECT_GT(10 * std::log10(lift / energy), -20.0);
    EXPECT_LT(standard_error, -35.0);
    EXPECT_GT(table_error, standard_error + 15.0);
}

}  // namespace
}  // namespace varnolt::testing
