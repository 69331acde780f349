// The LV2 plug-in as a host runs it, through lilv: the same output whatever the block length and
// with two instances at two rates running side by side, finite and normal output whatever comes
// in, the latency it reports, a new stream at each activation, and no allocation in run().

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "counting_allocator.h"
#include "stream_player.h"

namespace varnolt::lv2_test {
namespace {

using testing::AllocationCounts;
using testing::start_counting_allocations;
using testing::stop_counting_allocations;

const std::string& k_stereo = k_stereo_uri;
const std::string& k_mono = k_mono_uri;
constexpr int k_largest_block = 4096;
// The latency reported: the block processors' 2N = 4096 chain calls each and the spread's 2048,
// two calls a frame, and the mono mix's frame.
constexpr float k_fixed_latency_frames = 3 * 2048.0f + 1.0f;

const PluginWorld& world() {
    return bundle_world();
}

// Music-like tones with hiss that differs between the channels; `rate` sets the pitch.
float test_sample(long n, int ch, double rate) {
    const double t = n / rate;
    const double envelope = 0.5 + 0.45 * std::sin(2.0 * M_PI * 0.9 * t);
    const double tone =
        std::sin(2.0 * M_PI * 330.0 * t + 0.3 * ch) + 0.4 * std::sin(2.0 * M_PI * 5100.0 * t);
    return static_cast<float>(0.3 * envelope * tone + 0.01 * hiss(n, ch));
}

void every_stage_on(PluginHost& host) {
    for (const char* symbol : {"bias_enabled", "dolby_b_remover_enabled",
                               "fm_stereo_noise_filter_enabled", "singleband_compressor_enabled",
                               "bias_auto_adjust_left_channel_amplification", "azimuth"})
        ASSERT_TRUE(host.set_control(symbol, 1.0f)) << symbol;
    ASSERT_TRUE(host.set_control("plugin_configuration_cpu_usage_quality", 0.0f));
}

// One instance and where it stands in its input.
struct Player {
    Player(const std::string& uri, double rate)
        : rate(rate), host(world(), uri, rate, k_largest_block) {}
    double rate;
    PluginHost host;
    long position = 0;
    std::vector<float> output;  // interleaved, everything run so far

    // Runs the next `frames` frames (at most k_largest_block) of `input(n, ch)`.
    template <class Input>
    void run(int frames, Input input) {
        ASSERT_LE(frames, k_largest_block);
        const int channels = host.audio_inputs();
        for (int i = 0; i < frames; ++i)
            for (int ch = 0; ch < channels; ++ch) host.input(ch)[i] = input(position + i, ch);
        host.run(frames);
        for (int i = 0; i < frames; ++i)
            for (int ch = 0; ch < channels; ++ch) output.push_back(host.output(ch)[i]);
        position += frames;
    }
    void run_signal(int frames) {
        run(frames, [this](long n, int ch) { return test_sample(n, ch, rate); });
    }
};

// The first index at which two outputs differ, or -1.
long first_difference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return static_cast<long>(std::min(a.size(), b.size()));
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[i]) && !(std::isnan(a[i]) && std::isnan(b[i]))) return static_cast<long>(i);
    return -1;
}

std::vector<float> reference_output(const std::string& uri, double rate, long frames) {
    Player player(uri, rate);
    every_stage_on(player.host);
    while (player.position < frames)
        player.run_signal(
            static_cast<int>(std::min<long>(k_largest_block, frames - player.position)));
    return player.output;
}

TEST(Lv2Plugin, BothPluginsInstantiate) {
    for (const std::string& uri : {k_stereo, k_mono}) {
        PluginHost host(world(), uri, 44100.0, 64);
        ASSERT_TRUE(host.ok()) << uri;
        const int channels = uri == k_stereo ? 2 : 1;
        EXPECT_EQ(host.audio_inputs(), channels);
        EXPECT_EQ(host.audio_outputs(), channels);
    }
}

// Two instances at two rates, run side by side in blocks of every length a host may choose
// (0 included), give exactly what each gives alone in blocks of 4096.
TEST(Lv2Plugin, OutputDoesNotDependOnBlockLengthOrOtherInstances) {
    const long frames = 30000;  // past the latency and through a dozen processor blocks
    for (const std::string& uri : {k_stereo, k_mono}) {
        const std::vector<float> alone44 = reference_output(uri, 44100.0, frames);
        const std::vector<float> alone96 = reference_output(uri, 96000.0, frames);
        ASSERT_NE(first_difference(alone44, alone96), -1) << "the rate must matter";
        for (const std::vector<int>& pattern : std::vector<std::vector<int>>{
                 {1}, {64}, {576}, {4096}, {333}, {1, 0, 333, 64, 4096, 576}}) {
            Player a(uri, 44100.0), b(uri, 96000.0);
            every_stage_on(a.host);
            every_stage_on(b.host);
            for (std::size_t k = 0; a.position < frames || b.position < frames; ++k) {
                const int block = pattern[k % pattern.size()];
                a.run_signal(static_cast<int>(std::min<long>(block, frames - a.position)));
                b.run_signal(static_cast<int>(std::min<long>(block, frames - b.position)));
            }
            EXPECT_EQ(first_difference(a.output, alone44), -1) << uri << " block " << pattern[0];
            EXPECT_EQ(first_difference(b.output, alone96), -1) << uri << " block " << pattern[0];
        }
    }
}

bool finite_and_normal(float y) {
    return std::isfinite(y) && (y == 0.0f || std::fabs(y) >= FLT_MIN);
}

// NaN, infinities, the float range's ends and subnormals go in; only finite, normal floats (or
// zero) come out, and the stream plays on afterwards.
TEST(Lv2Plugin, HostileInputGivesFiniteNormalOutput) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float hostile[] = {nan,      inf,    -inf,          1e30f,   FLT_MAX,
                             -FLT_MAX, 1e-40f, -FLT_TRUE_MIN, FLT_MIN, 3.0f};
    // Every stage; the compressor alone, which no block processor shields; nothing at all.
    const std::vector<std::vector<std::pair<const char*, float>>> setups = {
        {},
        {{"bias_enabled", 0.0f}, {"azimuth", 0.0f}, {"singleband_compressor_enabled", 1.0f}},
        {{"bias_enabled", 0.0f}, {"azimuth", 0.0f}},
    };
    for (const auto& setup : setups)
        for (const std::string& uri : {k_stereo, k_mono}) {
            SCOPED_TRACE(uri + " setup " + std::to_string(&setup - setups.data()));
            Player player(uri, 48000.0);
            every_stage_on(player.host);
            for (const auto& [symbol, value] : setup) player.host.set_control(symbol, value);
            for (int k = 0; k < 5; ++k) player.run_signal(4000);
            const auto bad = [&](long n, int ch) {
                return hostile[(n * 7 + ch) % (sizeof hostile / sizeof hostile[0])];
            };
            player.run(4096, bad);
            player.run(333, bad);
            // A long subnormal stretch: the filters' tails decaying towards zero.
            for (int k = 0; k < 10; ++k)
                player.run(4000, [](long n, int) { return (n % 3 - 1) * 1e-41f; });
            const std::size_t recovery_start = player.output.size();
            for (int k = 0; k < 30; ++k) player.run_signal(4096);
            long bad_outputs = 0;
            for (float y : player.output) bad_outputs += !finite_and_normal(y);
            EXPECT_EQ(bad_outputs, 0) << uri;
            double energy = 0.0;
            const std::size_t tail = player.output.size() - 20000;
            ASSERT_GT(tail, recovery_start);
            for (std::size_t i = tail; i < player.output.size(); ++i)
                energy += player.output[i] * player.output[i];
            EXPECT_GT(std::sqrt(energy / 20000.0), 1e-3) << uri << ": the stream did not recover";
        }
}

// A control value that is not a number or infinite keeps the last good one; one beyond the
// range is clamped to it.
TEST(Lv2Plugin, ControlValuesAreCheckedAndClamped) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Player steady(k_stereo, 44100.0), hostile(k_stereo, 44100.0);
    Player at_top(k_stereo, 44100.0), beyond(k_stereo, 44100.0);
    for (Player* p : {&steady, &hostile, &at_top, &beyond}) every_stage_on(p->host);
    steady.host.set_control("common_post_amplifier", 0.5f);
    hostile.host.set_control("common_post_amplifier", 0.5f);
    at_top.host.set_control("fm_stereo_noise_filter_reduce_stereo_noise_by_percentage", 300.0f);
    beyond.host.set_control("fm_stereo_noise_filter_reduce_stereo_noise_by_percentage", 1e9f);
    const float hostile_values[] = {nan, inf, -inf, -nan};
    for (int k = 0; k < 24; ++k) {
        for (Player* p : {&steady, &hostile, &at_top, &beyond}) p->run_signal(1000);
        hostile.host.set_control("common_post_amplifier", hostile_values[k % 4]);
    }
    EXPECT_EQ(first_difference(steady.output, hostile.output), -1);
    EXPECT_EQ(first_difference(at_top.output, beyond.output), -1);
    EXPECT_NE(first_difference(steady.output, at_top.output), -1);
}

// The latency is the longest the chain can have, reported from instantiation on and kept
// whatever is switched, bypass included: a host that compensates it at the start of a stream
// (an editor, a filter chain) keeps the output in place.
TEST(Lv2Plugin, LatencyPortStaysFixed) {
    for (const std::string& uri : {k_stereo, k_mono}) {
        PluginHost host(world(), uri, 44100.0, 16);
        ASSERT_TRUE(host.ok());
        host.run(0);
        EXPECT_EQ(host.latency(), k_fixed_latency_frames) << uri << " at instantiation";
        for (const auto& [symbol, value] :
             std::vector<std::pair<const char*, float>>{{"bias_enabled", 0.0f},
                                                        {"azimuth", 0.0f},
                                                        {"dolby_b_remover_enabled", 1.0f},
                                                        {"fm_stereo_noise_filter_enabled", 1.0f},
                                                        {"mono", 1.0f},
                                                        {"mode", 0.0f},
                                                        {"mode", 2.0f},
                                                        {"singleband_compressor_enabled", 1.0f}}) {
            host.set_control(symbol, value);
            host.run(16);
            EXPECT_EQ(host.latency(), k_fixed_latency_frames) << uri << " " << symbol;
        }
    }
}

// With nothing switched on the chain is the identity: floats come back bit for bit, the latency
// later, with no 16-bit rounding and no dither, beyond full scale too. Bypass passes them the
// same way, with the stages running or not.
TEST(Lv2Plugin, FloatsPassUnquantised) {
    for (float mode : {1.0f, 0.0f})
        for (float stages : {0.0f, 1.0f}) {
            if (mode == 1.0f && stages == 1.0f) continue;
            Player player(k_stereo, 44100.0);
            player.host.set_control("bias_enabled", stages);
            player.host.set_control("azimuth", stages);
            player.host.set_control("mode", mode);
            const auto input = [](long n, int ch) {
                return static_cast<float>((n % 101 - 50) * 0.0123456789 + ch * 1e-7) * 1.5f;
            };
            for (int k = 0; k < 3; ++k) player.run(4000, input);
            const long latency = std::lround(player.host.latency());
            ASSERT_EQ(latency, 6145);
            long differences = 0, zeros = 0;
            for (long n = 0; n < latency; ++n)
                for (int ch = 0; ch < 2; ++ch) zeros += player.output[n * 2 + ch] == 0.0f;
            for (long n = 0; n + latency < 12000; ++n)
                for (int ch = 0; ch < 2; ++ch)
                    differences += player.output[(n + latency) * 2 + ch] != input(n, ch);
            EXPECT_EQ(zeros, 2 * latency) << "the silence before the stream";
            EXPECT_EQ(differences, 0) << "mode " << mode << " stages " << stages;
        }
}

// activate starts a new stream: the same input gives the same output as the first time.
TEST(Lv2Plugin, ActivateStartsANewStream) {
    Player player(k_stereo, 44100.0);
    every_stage_on(player.host);
    player.host.set_control("common_post_amplifier", 0.7f);
    for (int k = 0; k < 8; ++k) player.run_signal(3000);
    const std::vector<float> first = player.output;
    player.host.deactivate();
    player.host.activate();
    player.output.clear();
    player.position = 0;
    for (int k = 0; k < 8; ++k) player.run_signal(3000);
    EXPECT_EQ(first_difference(first, player.output), -1);
}

TEST(Lv2Plugin, DisplayNumbersAreReported) {
    Player player(k_stereo, 44100.0);
    every_stage_on(player.host);
    for (int k = 0; k < 20; ++k) player.run_signal(4096);
    EXPECT_TRUE(std::isfinite(player.host.control("azimuth_correction")));
    for (const char* side : {"dolby_sidechain_left", "dolby_sidechain_right"}) {
        const float level = player.host.control(side);
        EXPECT_GT(level, -90.0f) << side << ": no level measured";
        EXPECT_LT(level, 60.0f) << side;
    }
    const float gain = player.host.control("compressor_gain");
    EXPECT_TRUE(std::isfinite(gain) && gain != 0.0f) << gain;
    player.host.set_control("singleband_compressor_enabled", 0.0f);
    player.run_signal(64);
    EXPECT_EQ(player.host.control("compressor_gain"), 0.0f);
}

// The azimuth correction's port reads the channels' time offset: broadband noise whose right
// channel lags the left by two samples at 44.1 kHz, 45.4 us; leading, the same the other way.
// The port's micrometres are the window's and the limit's: the phase slope in radians per bin
// spacing times the tape that passes in one period of the bin spacing at 4.76 cm/s, which is
// 2 pi times the distance along the tape (2.16 um here). The port's range, +-50, cannot tell a
// reading from a clamp; this can.
TEST(Lv2Plugin, AzimuthCorrectionReadsTheChannelsOffset) {
    constexpr int k_lag = 2;
    constexpr double k_two_pi = 6.283185307179586;
    constexpr double k_offset_um = k_two_pi * k_lag / 44100.0 * 47600.0;
    double reading[2] = {};
    for (int direction : {0, 1}) {
        Player player(k_stereo, 44100.0);
        player.host.set_control("bias_enabled", 0.0f);
        player.host.set_control("azimuth_speed", 5.0f);  // the fastest: settled within seconds
        std::vector<float> noise;
        std::uint32_t state = 99;
        const auto sample = [&](long n) {
            while (static_cast<long>(noise.size()) <= n) {
                state = state * 1664525u + 1013904223u;
                noise.push_back(0.2f * (static_cast<float>(state >> 8) / (1u << 23) - 1.0f));
            }
            return n < 0 ? 0.0f : noise[static_cast<std::size_t>(n)];
        };
        for (int k = 0; k < 60; ++k)
            player.run(4096, [&](long n, int ch) {
                const bool lags = (ch == 1) == (direction == 0);
                return sample(lags ? n - k_lag : n);
            });
        reading[direction] = player.host.control("azimuth_correction");
    }
    EXPECT_NEAR(std::fabs(reading[0]), k_offset_um, 0.25 * k_offset_um) << reading[0];
    EXPECT_NEAR(reading[1], -reading[0], 0.1 * k_offset_um) << reading[1];
}

// Nothing in run() allocates or frees, whatever the switches do between blocks, the automatic
// level's measurement and choice included; instantiation
// does (which shows the counting sees the plug-in's calls), and activation frees what it
// replaces, so cycles of deactivate and activate leave nothing behind.
TEST(Lv2Plugin, RunNeitherAllocatesNorFrees) {
    start_counting_allocations();
    auto stereo = std::make_unique<Player>(k_stereo, 44100.0);
    auto mono = std::make_unique<Player>(k_mono, 96000.0);
    const AllocationCounts at_instantiation = stop_counting_allocations();
    EXPECT_GT(at_instantiation.allocations, 0) << "the counting does not see the plug-in";
    stereo->output.reserve(1 << 22);
    mono->output.reserve(1 << 22);
    every_stage_on(stereo->host);
    every_stage_on(mono->host);

    struct Change {
        const char* symbol;
        float value;
    };
    const Change changes[] = {
        {"plugin_configuration_cpu_usage_quality", 2.0f},
        {"mode", 2.0f},
        {"plugin_configuration_cpu_usage_quality", 1.0f},
        {"mono", 1.0f},
        {"mode", 0.0f},
        {"mode", 1.0f},
        {"bias_enabled", 0.0f},
        {"fm_stereo_noise_filter_difference", 1.0f},
        {"plugin_configuration_cpu_usage_quality", 0.0f},
        {"bias_enabled", 1.0f},
        {"dolby_b_decoder", 1.0f},
        {"dolby_level", -20.0f},
        {"dolby_b_decoder", 0.0f},
    };
    const int blocks[] = {4096, 1, 333, 0, 576, 64};
    long in_run = 0;
    AllocationCounts in_activation;
    for (int cycle = 0; cycle < 3; ++cycle) {
        for (int k = 0; k < 60; ++k) {
            const Change& change = changes[k % (sizeof changes / sizeof changes[0])];
            stereo->host.set_control(change.symbol, change.value);
            mono->host.set_control(change.symbol, change.value);
            start_counting_allocations();
            stereo->run_signal(blocks[k % 6]);
            mono->run_signal(blocks[(k + 1) % 6]);
            const AllocationCounts counts = stop_counting_allocations();
            in_run += counts.allocations + counts.frees;
        }
        start_counting_allocations();
        for (Player* p : {stereo.get(), mono.get()}) {
            p->host.deactivate();
            p->host.activate();
        }
        in_activation = stop_counting_allocations();
        // Each activation builds a new instance and frees the one it replaces.
        EXPECT_GT(in_activation.allocations, 0) << "cycle " << cycle;
        EXPECT_EQ(in_activation.allocations, in_activation.frees) << "cycle " << cycle;
    }

    // The automatic level, from switching on through a whole measurement (which ends inside a
    // block of these lengths) to its choice and hold, then off and on again. The ports are set
    // and read between the counted runs: the host's look-up by symbol allocates.
    const int level_blocks[] = {4096, 333, 4095};
    long in_level_runs = 0, level_blocks_run = 0;
    const auto counted_runs = [&](int count) {
        for (int k = 0; k < count; ++k, ++level_blocks_run) {
            start_counting_allocations();
            stereo->run_signal(level_blocks[level_blocks_run % 3]);
            mono->run_signal(level_blocks[(level_blocks_run + 1) % 3]);
            const AllocationCounts counts = stop_counting_allocations();
            in_level_runs += counts.allocations + counts.frees;
        }
    };
    for (Player* p : {stereo.get(), mono.get()}) p->host.set_control("automatic_level", 1.0f);
    // The mono plug-in at 96 kHz measures its 10 s in about 340 of these blocks.
    for (int k = 0; k < 500 && mono->host.control("automatic_level_basis") == 0.0f; ++k)
        counted_runs(1);
    for (Player* p : {stereo.get(), mono.get()})
        EXPECT_GT(p->host.control("automatic_level_basis"), 0.0f) << "no choice was made";
    for (Player* p : {stereo.get(), mono.get()}) p->host.set_control("automatic_level", 0.0f);
    counted_runs(3);
    for (Player* p : {stereo.get(), mono.get()}) p->host.set_control("automatic_level", 1.0f);
    counted_runs(3);

    std::printf(
        "allocation calls: %ld at instantiation of two plug-ins, %ld (and %ld frees) in "
        "the last activation of both, %ld allocation and free calls in 360 runs, %ld in %ld runs "
        "of the automatic level\n",
        at_instantiation.allocations, in_activation.allocations, in_activation.frees, in_run,
        in_level_runs, level_blocks_run);
    EXPECT_EQ(in_run, 0) << "allocation and free calls in run()";
    EXPECT_EQ(in_level_runs, 0) << "allocation and free calls in run() with the automatic level";
}

}  // namespace
}  // namespace varnolt::lv2_test
