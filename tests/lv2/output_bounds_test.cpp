// What the plug-in puts out goes straight to the speakers: no sample a host hands over, however
// broken, and no click in the programme may drive it past full scale. Through lilv, as a host
// runs it.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "stream_player.h"

namespace varnolt::lv2_test {
namespace {

constexpr double k_rate = 44100.0;
constexpr long k_fault_frame = 20011;  // inside a host block and a processor block

using Controls = std::vector<std::pair<const char*, float>>;

const Controls k_every_stage = {{"bias_enabled", 1.0f},
                                {"dolby_b_remover_enabled", 1.0f},
                                {"fm_stereo_noise_filter_enabled", 1.0f},
                                {"singleband_compressor_enabled", 1.0f},
                                {"azimuth", 1.0f}};

void set_controls(StreamPlayer& player, const Controls& controls) {
    for (const auto& [symbol, value] : controls)
        ASSERT_TRUE(player.host.set_control(symbol, value)) << symbol;
}

float replaced_count(const StreamPlayer& player) {
    return player.host.control("input_samples_replaced");
}

// One sample no audio holds, in the left channel of a -20 dBFS tone: it is replaced on entry
// (a NaN by silence, the others by full scale on their side), so it cannot come out spread over
// a processor block at hundreds of dB, nor pass in bypass; the port counts it. A sample at the
// entry's limit of +24 dBFS is audio and passes uncounted.
TEST(Lv2OutputBounds, FaultySamplesAreReplacedOnEntryAndCounted) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float fault;
        float entered;  // what the chain takes instead
        float counted;
    } faults[] = {
        {inf, 1.0f, 1.0f},       {-inf, -1.0f, 1.0f}, {1e30f, 1.0f, 1.0f},
        {-FLT_MAX, -1.0f, 1.0f}, {16.5f, 1.0f, 1.0f}, {std::nanf(""), 0.0f, 1.0f},
        {16.0f, 16.0f, 0.0f},
    };
    const struct {
        const char* name;
        Controls controls;
        double most;  // the largest output allowed
    } setups[] = {
        // The first-start stages (bias equaliser, azimuth correction): a full-scale click comes
        // out about as loud as it went in.
        {"first-start stages", {}, 1.5},
        {"every stage", k_every_stage, 1.0},
        {"bypass", {{"mode", 0.0f}}, 1.0},
    };
    const auto tone = [](long n, int ch) {
        return static_cast<float>(0.1 * std::sin(2.0 * M_PI * 1000.0 * n / k_rate + ch));
    };
    for (const auto& setup : setups)
        for (const auto& f : faults) {
            SCOPED_TRACE(std::string(setup.name) + ", input " + std::to_string(f.fault));
            StreamPlayer player(k_stereo_uri, k_rate);
            set_controls(player, setup.controls);
            const auto input = [&](long n, int ch) {
                return n == k_fault_frame && ch == 0 ? f.fault : tone(n, ch);
            };
            player.run(k_fault_frame + 9000, input, 333);
            EXPECT_EQ(replaced_count(player), f.counted);
            if (f.fault == 16.0f) continue;  // audio: beyond full scale on purpose
            const double peak = player.peak();
            std::printf("%s, input %g: output peak %.2f dBFS\n", setup.name, f.fault,
                        to_dbfs(peak));
            EXPECT_LE(peak, setup.most);
            if (std::string(setup.name) == "bypass") {
                const long at = k_fault_frame + std::lround(player.latencies.back());
                EXPECT_EQ(player.output[0][at], f.entered);
                EXPECT_EQ(player.output[0][at + 1], tone(k_fault_frame + 1, 0));
            }
        }
}

// The count runs from activation: a new stream starts it at 0, and every fault adds one.
TEST(Lv2OutputBounds, TheCountRunsFromActivation) {
    const float nan = std::nanf("");
    const float inf = std::numeric_limits<float>::infinity();
    StreamPlayer player(k_stereo_uri, k_rate);
    player.run(1000, [](long, int) { return 0.25f; });
    EXPECT_EQ(replaced_count(player), 0.0f);
    player.run(1000, [&](long n, int ch) { return n % 100 == 0 ? (ch ? inf : nan) : 0.25f; });
    EXPECT_EQ(replaced_count(player), 20.0f);
    player.host.deactivate();
    player.host.activate();
    player.run(10, [](long, int) { return 0.25f; });
    EXPECT_EQ(replaced_count(player), 0.0f);
}

// Quiet music (-44 dBFS RMS) with one click at -0.9 dBFS and the "Constant volume" compressor
// on: its gain, raised by 40 dB for the quiet music, lifts the click far past full scale before
// its attack can pull it down. The output stays at or below full scale.
TEST(Lv2OutputBounds, AClickOverQuietMusicStaysWithinFullScale) {
    const double quiet = std::pow(10.0, -44.0 / 20.0) / music_rms(k_rate);
    const double click = std::pow(10.0, -0.9 / 20.0);
    const long click_frame = std::lround(3.0 * k_rate) + 17;
    const auto input = [&](long n, int ch) {
        if (n == click_frame) return static_cast<float>(ch ? -click : click);
        return static_cast<float>(quiet * music(n, ch, k_rate));
    };
    const struct {
        const char* name;
        Controls controls;
    } setups[] = {
        {"the compressor alone",
         {{"bias_enabled", 0.0f}, {"azimuth", 0.0f}, {"singleband_compressor_enabled", 1.0f}}},
        {"the compressor after the first-start stages", {{"singleband_compressor_enabled", 1.0f}}},
        {"every stage", k_every_stage},
    };
    for (const auto& setup : setups) {
        SCOPED_TRACE(setup.name);
        StreamPlayer player(k_stereo_uri, k_rate);
        set_controls(player, setup.controls);
        player.run(click_frame + std::lround(k_rate), input, 333);
        const double peak = player.peak();
        std::printf("%s: output peak %.2f dBFS\n", setup.name, to_dbfs(peak));
        EXPECT_LE(peak, 1.0);
        EXPECT_GT(peak, 0.5) << "the click is not heard";
    }
}

// Every stage on from the start of the music: the compressor's gain starts at 1, so the first
// milliseconds of music pass a hundredfold until the attack has caught up. Quiet and ordinary
// levels both stay within full scale.
TEST(Lv2OutputBounds, EveryStageFromTheStartStaysWithinFullScale) {
    for (double rms_dbfs : {-44.0, -20.0}) {
        const double scale = std::pow(10.0, rms_dbfs / 20.0) / music_rms(k_rate);
        StreamPlayer player(k_stereo_uri, k_rate);
        set_controls(player, k_every_stage);
        player.run(std::lround(2.0 * k_rate), [&](long n, int ch) {
            return static_cast<float>(scale * music(n, ch, k_rate));
        });
        const double peak = player.peak();
        std::printf("music at %.0f dBFS RMS, every stage: output peak %.2f dBFS\n", rms_dbfs,
                    to_dbfs(peak));
        EXPECT_LE(peak, 1.0) << rms_dbfs;
        EXPECT_GT(peak, 0.3) << rms_dbfs;
    }
}

}  // namespace
}  // namespace varnolt::lv2_test
