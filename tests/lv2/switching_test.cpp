// Switches flipped while the music plays, as a host flips them (a session's automation, ffmpeg's
// asendcmd, a PipeWire control): the latency the plug-in reports stays the one it reported at
// instantiation, the output stays lined up with the input by it, and no switch leaves a gap, a
// dip or a click. Through lilv, in host blocks of 333 frames, so every switch falls at an odd
// place in the processors' blocks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "stream_player.h"

namespace varnolt::lv2_test {
namespace {

constexpr double k_rate = 44100.0;
constexpr int k_block = 333;
// The tape processor's 2048 frames, the stereo processor's 2048 and the mono mix's one.
constexpr float k_fixed_latency = 6145.0f;
// A processor switched on is fed for twice its latency and a hop before its output is used
// (5120 frames at high quality and for the stereo processor, 5632 at normal, 5888 at low), then
// fades in over 256 frames; the tape stage's change reaches the output through the stereo
// stage's 2048 frames: 8192 frames at the most.
constexpr long k_transition_frames = 8448;
// How much longer a run of exact zeros may be than one the signal has of its own (none).
constexpr long k_longest_zero_run = 4;
// Steps and level beside the transition are measured over this many frames on either side.
constexpr long k_steady_frames = 8192;
constexpr long k_level_window = 256;
// A gap or a cut makes a step of the signal's whole amplitude, six times or more its own largest
// step here; the cross-fades stay within 1.3 times the own steps (the most where the compressor,
// switched on for the first time, is still settling its gain as its output fades in).
constexpr double k_step_margin = 1.5;

using Controls = std::vector<std::pair<const char*, float>>;

// A steady programme, so that the output's own steps and level are the same before, during and
// after a switch: a chord with a treble partial, and hiss that differs between the channels.
float programme(long n, int ch) {
    const double t = n / k_rate;
    const double chord =
        std::sin(2.0 * M_PI * 220.0 * t + 0.3 * ch) + 0.7 * std::sin(2.0 * M_PI * 277.2 * t) +
        0.5 * std::sin(2.0 * M_PI * 329.6 * t + ch) + 0.3 * std::sin(2.0 * M_PI * 4400.0 * t);
    return static_cast<float>(0.04 * chord + 0.003 * hiss(n, ch));
}

const Controls k_all_off = {{"bias_enabled", 0.0f}, {"azimuth", 0.0f}};

void set_controls(StreamPlayer& player, const Controls& controls) {
    for (const auto& [symbol, value] : controls)
        ASSERT_TRUE(player.host.set_control(symbol, value)) << symbol;
}

struct Span {
    long from;
    long to;  // one past the last frame
};

double largest_step(const std::vector<float>& y, Span span) {
    double largest = 0.0;
    for (long n = std::max(1L, span.from); n < span.to; ++n)
        largest = std::max(largest, std::fabs(static_cast<double>(y[n]) - y[n - 1]));
    return largest;
}

long longest_zero_run(const std::vector<float>& y, Span span) {
    long longest = 0, run = 0;
    for (long n = span.from; n < span.to; ++n) {
        run = y[n] == 0.0f ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

double rms(const std::vector<float>& y, long from, long count) {
    double sum = 0.0;
    for (long n = from; n < from + count; ++n) sum += static_cast<double>(y[n]) * y[n];
    return std::sqrt(sum / count);
}

// The quietest stretch of k_level_window frames in a span.
double lowest_level(const std::vector<float>& y, Span span) {
    double lowest = INFINITY;
    for (long n = span.from; n + k_level_window <= span.to; n += k_level_window / 4)
        lowest = std::min(lowest, rms(y, n, k_level_window));
    return lowest;
}

// The lag, within `latency` +- 8 frames, at which a channel's output best matches its input (the
// channels' mean where the output is the mono mix).
long best_lag(const StreamPlayer& player, int ch, Span span, long latency, bool mixed) {
    long best = -1;
    double best_match = -INFINITY;
    for (long lag = latency - 8; lag <= latency + 8; ++lag) {
        double match = 0.0;
        for (long n = span.from; n < span.to; ++n)
            match += player.output[ch][n] *
                     (mixed ? 0.5f * (programme(n - lag, 0) + programme(n - lag, 1))
                            : programme(n - lag, ch));
        if (match > best_match) {
            best_match = match;
            best = lag;
        }
    }
    return best;
}

// A switch flipped on and later off again: what the listener hears around each flip.
struct SwitchCase {
    const char* name;
    Controls common;     // set from the start
    Controls on, off;    // the flip and the flip back
    bool back_to_input;  // after the flip back the output is the input, delayed
    // While switched on, the output has the input's phase, so it matches the input best at the
    // latency. Not so where the standard decoder runs on this programme, which no encoder made:
    // its cut of the treble delays it by a fraction of a frame. That the decoder keeps the
    // latency is held to a tape it decodes exactly (dolby_level_test.cpp).
    bool input_phase = true;
};

// The largest step of channel `ch`'s input in a span of output frames, the latency earlier: what
// a stage that fades out to the delayed input lets through on its own.
double input_step(int ch, Span span) {
    const long latency = std::lround(k_fixed_latency);
    std::vector<float> input(span.to);
    for (long n = span.from - 1; n < span.to; ++n) input[n] = programme(n - latency, ch);
    return largest_step(input, span);
}

// Checks the output around a flip at frame `at`: no gap, no dip, no step beyond the steps the
// output makes on its own before and after, or the delayed input a stage fades out to (a stage
// that restarts to make a change, a new decoder, is heard as the input meanwhile).
void expect_seamless(const StreamPlayer& player, long at, const std::string& what) {
    for (std::size_t ch = 0; ch < player.output.size(); ++ch) {
        const std::vector<float>& y = player.output[ch];
        const Span before{at - k_steady_frames, at};
        const Span transition{at, at + k_transition_frames};
        const Span after{at + k_transition_frames, at + k_transition_frames + k_steady_frames};
        const double own_step = std::max({largest_step(y, before), largest_step(y, after),
                                          input_step(static_cast<int>(ch), transition)});
        const double step = largest_step(y, transition);
        const double level = std::min(lowest_level(y, before), lowest_level(y, after));
        const double dip = lowest_level(y, transition);
        std::printf(
            "%s, channel %zu: largest step %.4f (on its own %.4f), quietest %.1f dB "
            "(on its own %.1f dB)\n",
            what.c_str(), ch, step, own_step, to_dbfs(dip), to_dbfs(level));
        EXPECT_LE(longest_zero_run(y, transition), k_longest_zero_run) << what << " " << ch;
        EXPECT_LE(step, k_step_margin * own_step) << what << " " << ch;
        EXPECT_GE(dip, 0.5 * level) << what << " " << ch;
    }
}

TEST(Lv2Switching, EverySwitchCrossFadesAtTheFixedLatency) {
    const SwitchCase cases[] = {
        {"bias equaliser", k_all_off, {{"bias_enabled", 1.0f}}, {{"bias_enabled", 0.0f}}, true},
        {"Dolby B remover with the bias equaliser off",
         k_all_off,
         {{"dolby_b_remover_enabled", 1.0f}},
         {{"dolby_b_remover_enabled", 0.0f}},
         true},
        {"Dolby B remover with the bias equaliser on",
         {},
         {{"dolby_b_remover_enabled", 1.0f}},
         {{"dolby_b_remover_enabled", 0.0f}},
         false},
        {"Dolby B decoder with the bias equaliser off",
         {{"bias_enabled", 0.0f}, {"azimuth", 0.0f}, {"dolby_b_remover_enabled", 1.0f}},
         {{"dolby_b_decoder", 1.0f}},
         {{"dolby_b_decoder", 0.0f}},
         false,
         false},
        {"Dolby B decoder with the bias equaliser on",
         {{"dolby_b_remover_enabled", 1.0f}},
         {{"dolby_b_decoder", 1.0f}},
         {{"dolby_b_decoder", 0.0f}},
         false,
         false},
        {"standard decoder with the bias equaliser off",
         {{"bias_enabled", 0.0f}, {"azimuth", 0.0f}, {"dolby_b_decoder", 1.0f}},
         {{"dolby_b_remover_enabled", 1.0f}},
         {{"dolby_b_remover_enabled", 0.0f}},
         true,
         false},
        {"standard decoder with the bias equaliser on",
         {{"dolby_b_decoder", 1.0f}},
         {{"dolby_b_remover_enabled", 1.0f}},
         {{"dolby_b_remover_enabled", 0.0f}},
         false,
         false},
        {"bias equaliser beside the standard decoder",
         {{"azimuth", 0.0f},
          {"bias_enabled", 0.0f},
          {"dolby_b_decoder", 1.0f},
          {"dolby_b_remover_enabled", 1.0f}},
         {{"bias_enabled", 1.0f}},
         {{"bias_enabled", 0.0f}},
         false,
         false},
        {"processing without the standard decoder",
         {{"dolby_b_remover_enabled", 1.0f}, {"dolby_b_decoder", 1.0f}},
         {{"mode", 2.0f}},
         {{"mode", 1.0f}},
         false},
        {"Dolby level of the standard decoder",
         {{"bias_enabled", 0.0f},
          {"azimuth", 0.0f},
          {"dolby_b_remover_enabled", 1.0f},
          {"dolby_b_decoder", 1.0f}},
         {{"dolby_level", -30.0f}},
         {{"dolby_level", -60.0f}},
         false},
        {"azimuth correction", k_all_off, {{"azimuth", 1.0f}}, {{"azimuth", 0.0f}}, true},
        {"FM hiss filter",
         k_all_off,
         {{"fm_stereo_noise_filter_enabled", 1.0f}},
         {{"fm_stereo_noise_filter_enabled", 0.0f}},
         true},
        {"constant volume for the first time",
         k_all_off,
         {{"singleband_compressor_enabled", 1.0f}},
         {{"singleband_compressor_enabled", 0.0f}},
         true},
        {"constant volume off and on again",
         {{"bias_enabled", 0.0f}, {"azimuth", 0.0f}, {"singleband_compressor_enabled", 1.0f}},
         {{"singleband_compressor_enabled", 0.0f}},
         {{"singleband_compressor_enabled", 1.0f}},
         false},
        {"mono mix", k_all_off, {{"mono", 1.0f}}, {{"mono", 0.0f}}, true},
        {"bypass",
         {{"dolby_b_remover_enabled", 1.0f}, {"fm_stereo_noise_filter_enabled", 1.0f}},
         {{"mode", 0.0f}},
         {{"mode", 1.0f}},
         false},
        {"processing without the Dolby B remover",
         {{"dolby_b_remover_enabled", 1.0f}},
         {{"mode", 2.0f}},
         {{"mode", 1.0f}},
         false},
        {"quality",
         {},
         {{"plugin_configuration_cpu_usage_quality", 2.0f}},
         {{"plugin_configuration_cpu_usage_quality", 0.0f}},
         false},
        {"every stage at once",
         k_all_off,
         {{"bias_enabled", 1.0f},
          {"dolby_b_remover_enabled", 1.0f},
          {"azimuth", 1.0f},
          {"fm_stereo_noise_filter_enabled", 1.0f},
          {"mono", 1.0f}},
         {{"bias_enabled", 0.0f},
          {"dolby_b_remover_enabled", 0.0f},
          {"azimuth", 0.0f},
          {"fm_stereo_noise_filter_enabled", 0.0f},
          {"mono", 0.0f}},
         true},
    };
    const auto input = [](long n, int ch) { return programme(n, ch); };
    // Flips at host blocks past the first latency and a steady stretch, and past the first
    // flip's transition and steady stretch.
    const long flip_on = 50 * k_block, flip_off = 100 * k_block;
    const long end = flip_off + k_transition_frames + k_steady_frames;
    for (const SwitchCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string& uri : {k_stereo_uri, k_mono_uri}) {
            SCOPED_TRACE(uri);
            StreamPlayer player(uri, k_rate);
            set_controls(player, c.common);
            player.host.run(0);
            EXPECT_EQ(player.host.latency(), k_fixed_latency) << "at instantiation";
            player.run(flip_on, input, k_block);
            set_controls(player, c.on);
            player.run(flip_off - flip_on, input, k_block);
            set_controls(player, c.off);
            player.run(end - flip_off, input, k_block);

            const long wrong = std::count_if(player.latencies.begin(), player.latencies.end(),
                                             [](float l) { return l != k_fixed_latency; });
            EXPECT_EQ(wrong, 0) << "runs that reported another latency";
            const std::string name = std::string(c.name) + (uri == k_mono_uri ? " (mono)" : "");
            expect_seamless(player, flip_on, name + ", flipped");
            expect_seamless(player, flip_off, name + ", flipped back");
            // Lined up with the input by the latency while switched on, and after switching off
            // again exactly the input, that much later.
            const long latency = std::lround(k_fixed_latency);
            const Span on_steady{flip_on + k_transition_frames, flip_off};
            const bool mixed = uri == k_stereo_uri && c.on.back().first == std::string("mono");
            if (c.input_phase) {
                EXPECT_EQ(best_lag(player, 0, on_steady, latency, mixed), latency);
            }
            if (!c.back_to_input) continue;
            long differences = 0;
            for (std::size_t ch = 0; ch < player.output.size(); ++ch)
                for (long n = flip_off + k_transition_frames; n < end; ++n)
                    differences += player.output[ch][n] != input(n - latency, static_cast<int>(ch));
            EXPECT_EQ(differences, 0) << "the output is not the input after switching off";
        }
    }
}

}  // namespace
}  // namespace varnolt::lv2_test
