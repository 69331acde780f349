// The plug-in's "automatic level" switch as a host meets it, through lilv: a transfer that starts
// with a line-up tone is heard, once measured, as at the "PC Recording Volume" the tone calls for,
// each channel at its own where their tones differ; silence leaves the ports in force; switching
// off, or activating again, goes back to the ports until a new measurement is done.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "level/dolby_level.h"
#include "stream_player.h"

namespace varnolt::lv2_test {
namespace {

const std::string& k_stereo = k_stereo_uri;
const std::string& k_mono = k_mono_uri;
constexpr int k_block = 4096;
constexpr double k_measure_seconds = 10.0;  // the plug-in's measuring time
constexpr double k_tone_seconds = 3.0;
// The remover's latency, in frames: the held value reaches the output this much after it is set
// (2048 frames of the blocks and 1024 of the spread work).
constexpr long k_remover_latency_frames = 3072;
// The latency the plug-in reports whatever runs: both block processors' and the mono mix's frame.
constexpr long k_fixed_latency_frames = 6145;
// A remover switched on by the hold is fed for its latency, its block's 2048 frames and a hop
// (6144 frames at the first-start quality) before its output fades in over 256 frames; switched
// off, it fades out over 256 frames. Either reaches the output through the stereo stage's 3072.
constexpr long k_switch_on_frames = 6144 + 256 + 3072;
constexpr long k_switch_off_frames = 256 + 3072;
// How long the remover takes to forget the level it worked at before, so that two instances fed
// the same input at the same setting agree again to float rounding. Its envelopes decay within
// about a second, but a difference that is still small can tip one of the remover's decisions
// and show again for a while: on this programme the last such difference (2e-3) ends 2.2 s after
// the change, and after 3.5 s the outputs agree to 1e-7.
constexpr double k_settle_seconds = 3.5;
// Float rounding of a full-scale output.
constexpr double k_same_output = 1e-6;
// Outputs of the remover at "PC Recording Volume" 1 and 2 differ by far more than this over
// programme (6 dB on the remover's thresholds).
constexpr double k_clearly_different = 1e-3;

double from_db(double db) {
    return std::pow(10.0, db / 20.0);
}

// Music-like programme: a melody line whose treble partial swells with the envelope, and a
// little hiss that differs between the channels.
float programme(long n, int ch, double rate) {
    const double t = n / rate;
    const double envelope = 0.5 + 0.45 * std::sin(2.0 * M_PI * 0.7 * t);
    const double tone = std::sin(2.0 * M_PI * 523.0 * t + 0.3 * ch) +
                        0.3 * envelope * std::sin(2.0 * M_PI * 4700.0 * t) +
                        0.1 * std::sin(2.0 * M_PI * 9100.0 * t + ch);
    return static_cast<float>(0.15 * envelope * tone + 0.003 * hiss(n, ch));
}

// The 400 Hz line-up tone at `peak_dbfs` for k_tone_seconds, then programme.
float tone_then_programme(long n, int ch, double rate, double peak_dbfs) {
    if (n < std::lround(k_tone_seconds * rate))
        return static_cast<float>(from_db(peak_dbfs) * std::sin(2.0 * M_PI * 400.0 * n / rate));
    return programme(n, ch, rate);
}

// A tone at the level that calls for a "PC Recording Volume" of 2: 6 dB above unity's.
constexpr double k_tone_for_two_dbfs = k_dolby_tone_at_unity_dbfs + 6.0;

// One plug-in instance with only the Dolby B remover's stage in use (the bias equaliser and the
// azimuth correction, on at the first-start values, are switched off: they adapt over seconds, and
// here only the remover's level is looked at), and its output so far, per channel.
struct Player : StreamPlayer {
    Player(const std::string& uri, double at_rate, float pc_volume, bool remover, bool automatic)
        : StreamPlayer(uri, at_rate) {
        EXPECT_TRUE(host.ok());
        EXPECT_TRUE(host.set_control("bias_enabled", 0.0f));
        EXPECT_TRUE(host.set_control("azimuth", 0.0f));
        EXPECT_TRUE(host.set_control("dolby_b_remover_pc_recording_volume", pc_volume));
        EXPECT_TRUE(host.set_control("dolby_b_remover_enabled", remover ? 1.0f : 0.0f));
        EXPECT_TRUE(host.set_control("automatic_level", automatic ? 1.0f : 0.0f));
    }
    // Runs up to `seconds` of stream time.
    template <class Input>
    void run_to(double seconds, Input input, int block = k_block) {
        run(std::lround(seconds * rate) - position, input, block);
    }
    float value() const { return host.control("automatic_level_value"); }
    float basis() const { return host.control("automatic_level_basis"); }
};

// The largest difference between two outputs of a channel from `from` seconds to their end.
double largest_difference(const Player& a, const Player& b, int ch, double from) {
    const std::vector<float>& x = a.output[ch];
    const std::vector<float>& y = b.output[ch];
    EXPECT_EQ(x.size(), y.size());
    const std::size_t start = std::lround(from * a.rate);
    EXPECT_LT(start, std::min(x.size(), y.size())) << "nothing to compare";
    double largest = 0.0;
    for (std::size_t i = start; i < std::min(x.size(), y.size()); ++i)
        largest = std::max(largest, std::fabs(static_cast<double>(x[i]) - y[i]));
    return largest;
}

// The first frame at which two players' outputs differ in any channel, or -1.
long first_difference(const Player& a, const Player& b) {
    if (a.output.size() != b.output.size() || a.position != b.position) return 0;
    for (long i = 0; i < a.position; ++i)
        for (std::size_t ch = 0; ch < a.output.size(); ++ch)
            if (!(a.output[ch][i] == b.output[ch][i])) return i;
    return -1;
}

// Where the held value has reached the output and the remover's state has forgotten the port's.
double settled_seconds(double rate) {
    return k_measure_seconds + k_remover_latency_frames / rate + k_settle_seconds;
}

// Values of the basis output.
constexpr float k_basis_none = 0.0f, k_basis_programme = 1.0f, k_basis_tone = 2.0f,
                k_basis_silence = 3.0f;

// A tone at the level for 2 in both channels: the output port reads 2 once measured, and from
// then on the plug-in sounds as one set to 2 by hand, not as one at the port's 1.
TEST(Lv2AutomaticLevel, ToneSetsTheHeldLevel) {
    const double rate = 44100.0;
    const auto input = [rate](long n, int ch) {
        return tone_then_programme(n, ch, rate, k_tone_for_two_dbfs);
    };
    Player automatic(k_stereo, rate, 1.0f, true, true);
    Player by_hand_two(k_stereo, rate, 2.0f, true, false);
    Player at_port(k_stereo, rate, 1.0f, true, false);

    automatic.run_to(k_measure_seconds - 0.1, input);
    EXPECT_EQ(automatic.value(), 0.0f) << "a value before the measurement is done";
    EXPECT_EQ(automatic.basis(), k_basis_none);
    const double end = settled_seconds(rate) + 2.0;
    automatic.run_to(end, input);
    EXPECT_NEAR(automatic.value(), 2.0f, 0.01f);
    EXPECT_EQ(automatic.basis(), k_basis_tone);
    for (Player* p : {&by_hand_two, &at_port}) p->run_to(end, input);
    // While measuring, the port's value is in force: the output is that of the switch off until
    // the measurement's end at the earliest (the held value reaches the output a latency later).
    EXPECT_GE(first_difference(automatic, at_port), std::lround(k_measure_seconds * rate));

    for (int ch = 0; ch < 2; ++ch) {
        const double to_two = largest_difference(automatic, by_hand_two, ch, settled_seconds(rate));
        const double to_port = largest_difference(automatic, at_port, ch, settled_seconds(rate));
        std::printf(
            "channel %d: largest difference to the setting 2 by hand %.3g, to the port's "
            "1 %.3g\n",
            ch, to_two, to_port);
        EXPECT_LT(to_two, k_same_output) << "channel " << ch;
        EXPECT_GT(to_port, k_clearly_different) << "channel " << ch;
    }
}

// Channels transferred at different levels: the right channel's tone 6 dB quieter calls for 1
// where the left's calls for 2. Each channel is heard at its own, not at the port's (3) nor at
// the one value the output port shows (their geometric mean).
TEST(Lv2AutomaticLevel, ChannelsAtDifferentLevelsGetTheirOwn) {
    const double rate = 44100.0;
    const auto input = [rate](long n, int ch) {
        return tone_then_programme(n, ch, rate, k_tone_for_two_dbfs - (ch == 1 ? 6.0 : 0.0));
    };
    Player automatic(k_stereo, rate, 3.0f, true, true);
    Player by_hand_two(k_stereo, rate, 2.0f, true, false);
    Player by_hand_one(k_stereo, rate, 1.0f, true, false);
    const double end = settled_seconds(rate) + 2.0;
    for (Player* p : {&automatic, &by_hand_two, &by_hand_one}) p->run_to(end, input);
    EXPECT_NEAR(automatic.value(), std::sqrt(2.0), 0.01);
    EXPECT_EQ(automatic.basis(), k_basis_tone);

    const double from = settled_seconds(rate);
    const double left_to_two = largest_difference(automatic, by_hand_two, 0, from);
    const double right_to_one = largest_difference(automatic, by_hand_one, 1, from);
    std::printf("left: %.3g from the setting 2 by hand; right: %.3g from 1 by hand\n", left_to_two,
                right_to_one);
    EXPECT_LT(left_to_two, k_same_output);
    EXPECT_LT(right_to_one, k_same_output);
    EXPECT_GT(largest_difference(automatic, by_hand_one, 0, from), k_clearly_different);
    EXPECT_GT(largest_difference(automatic, by_hand_two, 1, from), k_clearly_different);
}

// The mono plug-in at another rate: its one channel goes through both sides of the chain, and
// both must work at the held value.
TEST(Lv2AutomaticLevel, MonoPluginHoldsItsLevel) {
    const double rate = 48000.0;
    const auto input = [rate](long n, int ch) {
        return tone_then_programme(n, ch, rate, k_tone_for_two_dbfs);
    };
    Player automatic(k_mono, rate, 1.0f, true, true);
    Player by_hand_two(k_mono, rate, 2.0f, true, false);
    Player at_port(k_mono, rate, 1.0f, true, false);
    const double end = settled_seconds(rate) + 2.0;
    for (Player* p : {&automatic, &by_hand_two, &at_port}) p->run_to(end, input);
    EXPECT_NEAR(automatic.value(), 2.0f, 0.01f);
    EXPECT_EQ(automatic.basis(), k_basis_tone);
    EXPECT_LT(largest_difference(automatic, by_hand_two, 0, settled_seconds(rate)), k_same_output);
    EXPECT_GT(largest_difference(automatic, at_port, 0, settled_seconds(rate)),
              k_clearly_different);
}

// The held value applies from the frame after the measurement, whichever block that falls in:
// blocks of any length give the same output.
TEST(Lv2AutomaticLevel, HeldLevelDoesNotDependOnBlockLength) {
    const double rate = 44100.0;
    const auto input = [rate](long n, int ch) {
        return tone_then_programme(n, ch, rate, k_tone_for_two_dbfs);
    };
    Player whole_blocks(k_stereo, rate, 1.0f, true, true);
    whole_blocks.run_to(k_measure_seconds + 1.0, input);
    for (int block : {333, 1000, 1}) {
        Player other(k_stereo, rate, 1.0f, true, true);
        // Single frames only around the measurement's end, to keep the test quick.
        if (block == 1) other.run_to(k_measure_seconds - 0.01, input, k_block);
        other.run_to(k_measure_seconds + 0.01, input, block);
        other.run_to(k_measure_seconds + 1.0, input, k_block);
        EXPECT_EQ(first_difference(whole_blocks, other), -1) << "blocks of " << block;
        EXPECT_NEAR(other.value(), 2.0f, 0.01f);
    }
}

// Frames in [from, to) whose output is not exactly the input, the fixed latency earlier.
long frames_unlike_the_input(const Player& p, long from, long to,
                             float (*input)(long n, int ch, double rate)) {
    long changed = 0;
    for (long n = from; n < to; ++n)
        for (int ch = 0; ch < 2; ++ch)
            changed += p.output[ch][n] != input(n - k_fixed_latency_frames, ch, p.rate);
    return changed;
}

long longest_zero_run(const Player& p, long from) {
    long longest = 0;
    for (const std::vector<float>& channel : p.output) {
        long run = 0;
        for (std::size_t n = from; n < channel.size(); ++n) {
            run = channel[n] == 0.0f ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    return longest;
}

// Programme without a tone, with the remover's port off (and the bias equaliser off): while it
// measures, the chain passes the input; once measured, the remover runs at the chosen value,
// switched on mid-block without a gap, at the same latency. Switched off, the port's "off" is
// back and the chain passes the input again; switched on again, a new measurement starts from
// nothing.
TEST(Lv2AutomaticLevel, SwitchingOffAndOnAgain) {
    const double rate = 44100.0;
    const auto input = [rate](long n, int ch) { return programme(n, ch, rate); };
    Player player(k_stereo, rate, 1.0f, false, true);
    player.run_to(k_measure_seconds - 0.1, input);
    EXPECT_EQ(player.host.latency(), static_cast<float>(k_fixed_latency_frames));
    EXPECT_EQ(frames_unlike_the_input(player, k_fixed_latency_frames, player.position, programme),
              0)
        << "the remover runs while measuring";
    player.run_to(k_measure_seconds + 0.5, input);
    EXPECT_EQ(player.basis(), k_basis_programme);
    EXPECT_GE(player.value(), k_lowest_volume);
    EXPECT_LE(player.value(), k_highest_volume);
    EXPECT_EQ(player.host.latency(), static_cast<float>(k_fixed_latency_frames));
    const long hold = std::lround(k_measure_seconds * rate);
    EXPECT_GT(
        frames_unlike_the_input(player, hold + k_switch_on_frames, player.position, programme), 0)
        << "the remover does not run with a level held";
    EXPECT_LE(longest_zero_run(player, k_fixed_latency_frames), 4) << "a gap at the hold";

    player.host.set_control("automatic_level", 0.0f);
    const long off = player.position;
    player.run_to(k_measure_seconds + 1.0, input);
    EXPECT_EQ(player.value(), 0.0f);
    EXPECT_EQ(player.basis(), k_basis_none);
    EXPECT_EQ(player.host.latency(), static_cast<float>(k_fixed_latency_frames));
    EXPECT_EQ(
        frames_unlike_the_input(player, off + k_switch_off_frames, player.position, programme), 0)
        << "the chain does not pass the input with the remover's port off";
    EXPECT_LE(longest_zero_run(player, k_fixed_latency_frames), 4) << "a gap at switching off";

    player.host.set_control("automatic_level", 1.0f);
    const double again = k_measure_seconds + 1.0;
    player.run_to(again + 0.1, input);
    EXPECT_EQ(player.value(), 0.0f) << "no new measurement";
    EXPECT_EQ(player.basis(), k_basis_none);
    player.run_to(again + k_measure_seconds - 0.1, input);
    EXPECT_EQ(player.basis(), k_basis_none) << "the new measurement ended early";
    player.run_to(again + k_measure_seconds + 0.1, input);
    EXPECT_EQ(player.basis(), k_basis_programme);
    EXPECT_EQ(player.host.latency(), static_cast<float>(k_fixed_latency_frames));
}

// A real-time host activates the plug-in long before anything plays and runs it on silence, or
// on the faint noise of an idle input, meanwhile: the measurement starts at the first sound, and
// the value held is the line-up tone's that follows 30 s of either.
TEST(Lv2AutomaticLevel, SilenceBeforeTheFirstSoundIsNotMeasured) {
    const double rate = 44100.0;
    const double lead_in = 30.0;
    const long start = std::lround(lead_in * rate);
    for (double noise : {0.0, std::pow(10.0, -90.0 / 20.0)}) {
        SCOPED_TRACE(noise == 0.0 ? "digital silence" : "hiss at -90 dBFS");
        const auto input = [&](long n, int ch) {
            if (n >= start) return tone_then_programme(n - start, ch, rate, k_tone_for_two_dbfs);
            return static_cast<float>(noise * hiss(n, ch));
        };
        Player player(k_stereo, rate, 1.0f, true, true);
        player.run_to(lead_in + k_measure_seconds - 0.1, input);
        EXPECT_EQ(player.basis(), k_basis_none) << "the choice was made before 10 s of sound";
        player.run_to(lead_in + k_measure_seconds + 0.1, input);
        EXPECT_EQ(player.basis(), k_basis_tone);
        EXPECT_NEAR(player.value(), 2.0f, 0.01f);
    }
}

// A stream whose first sound is followed by silence for the whole measurement holds nothing:
// with the remover's port on or off, the plug-in sounds exactly as one with the switch off, at
// the port's 1.5 (not at the 1 a silent choice carries).
TEST(Lv2AutomaticLevel, SilenceLeavesThePortsInForce) {
    const double rate = 44100.0;
    const long click = std::lround(0.5 * rate);
    const long programme_start = click + std::lround(k_measure_seconds * rate) + 1000;
    const auto input = [&](long n, int ch) {
        if (n == click) return 0.5f;
        return n < programme_start ? 0.0f : programme(n, ch, rate);
    };
    for (bool remover : {true, false}) {
        SCOPED_TRACE(remover ? "remover's port on" : "remover's port off");
        Player automatic(k_stereo, rate, 1.5f, remover, true);
        Player by_hand(k_stereo, rate, 1.5f, remover, false);
        for (Player* p : {&automatic, &by_hand}) p->run_to(k_measure_seconds + 3.0, input);
        EXPECT_EQ(automatic.basis(), k_basis_silence);
        EXPECT_EQ(automatic.value(), 0.0f);
        EXPECT_EQ(first_difference(automatic, by_hand), -1);
    }
}

// NaN, infinities and the float range's ends while measuring, in the audio and on the switch's
// port: the value held is finite and within the slider, and the stream plays on.
TEST(Lv2AutomaticLevel, HostileInputWhileMeasuringGivesAFiniteValue) {
    const double rate = 44100.0;
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float hostile[] = {nan, inf, -inf, FLT_MAX, -FLT_MAX, 1e30f, 1e-40f};
    constexpr int k_hostile_values = sizeof hostile / sizeof hostile[0];
    // Programme with a stretch of hostile values every second.
    const auto mixed = [&](long n, int ch) {
        if (n % 44100 < 2000) return hostile[(n + ch) % k_hostile_values];
        return programme(n, ch, rate);
    };
    const auto all_nan = [nan](long, int) { return nan; };
    Player with_programme(k_stereo, rate, 1.0f, true, true);
    Player only_nan(k_stereo, rate, 1.0f, true, true);
    // Switched on for the first block, then the switch's port goes bad: the switch stays on and
    // the measurement goes on.
    with_programme.run(k_block, mixed);
    only_nan.run(k_block, all_nan);
    for (float switch_value : {nan, inf, -nan}) {
        with_programme.host.set_control("automatic_level", switch_value);
        only_nan.host.set_control("automatic_level", switch_value);
        with_programme.run(std::lround(rate), mixed);
        only_nan.run(std::lround(rate), all_nan);
    }
    with_programme.run_to(k_measure_seconds + 3.0, mixed);
    only_nan.run_to(k_measure_seconds + 0.1, all_nan);

    const float value = with_programme.value();
    std::printf("held with hostile input: %g, basis %g\n", value, with_programme.basis());
    EXPECT_TRUE(std::isfinite(value));
    EXPECT_GE(value, k_lowest_volume);
    EXPECT_LE(value, k_highest_volume);
    EXPECT_EQ(with_programme.basis(), k_basis_programme);
    long bad = 0;
    for (const std::vector<float>& channel : with_programme.output)
        for (float y : channel) bad += !std::isfinite(y);
    EXPECT_EQ(bad, 0);
    // NaN is taken as silence, as the chain takes it: the measurement waits for sound.
    EXPECT_EQ(only_nan.basis(), k_basis_none);
    EXPECT_EQ(only_nan.value(), 0.0f);
}

// activate starts a new measurement: after one, the same input gives what a new instance gives,
// the port's value while measuring and the held value after.
TEST(Lv2AutomaticLevel, ActivateStartsANewMeasurement) {
    const double rate = 44100.0;
    const auto input = [rate](long n, int ch) {
        return tone_then_programme(n, ch, rate, k_tone_for_two_dbfs);
    };
    Player reactivated(k_stereo, rate, 1.0f, true, true);
    reactivated.run_to(k_measure_seconds + 0.5, input);
    ASSERT_NEAR(reactivated.value(), 2.0f, 0.01f);
    reactivated.host.deactivate();
    reactivated.host.activate();
    reactivated.position = 0;
    for (std::vector<float>& channel : reactivated.output) channel.clear();
    reactivated.run(k_block, input);
    EXPECT_EQ(reactivated.value(), 0.0f);
    EXPECT_EQ(reactivated.basis(), k_basis_none);
    reactivated.run_to(k_measure_seconds + 1.0, input);

    Player fresh(k_stereo, rate, 1.0f, true, true);
    fresh.run_to(k_measure_seconds + 1.0, input);
    EXPECT_EQ(first_difference(reactivated, fresh), -1);
    EXPECT_NEAR(reactivated.value(), 2.0f, 0.01f);
}

// The output's level over frames [from, from + count) of a channel, in dB.
double level_db(const Player& p, int ch, long from, long count) {
    double sum = 0.0;
    for (long i = from; i < from + count; ++i) sum += double(p.output[ch][i]) * p.output[ch][i];
    return 10.0 * std::log10(sum / count + 1e-30);
}

TEST(Lv2AutomaticLevel, TheHoldMakesNoJumpOfLevel) {
    // The samples inside the remover when the value is held went in at the port's volume; they
    // must come out at it, not at the held one (which would lift them 6 dB for 2048 frames).
    const double rate = 44100.0;
    Player automatic(k_stereo, rate, 1.0f, true, true);
    Player by_port(k_stereo, rate, 1.0f, true, false);
    const auto input = [&](long n, int ch) {
        return tone_then_programme(n, ch, rate, k_tone_for_two_dbfs);
    };
    const double until = k_measure_seconds + 2.0 * k_remover_latency_frames / rate;
    automatic.run_to(until, input);
    by_port.run_to(until, input);
    ASSERT_NEAR(automatic.value(), 2.0f, 0.01f);
    const long hold = std::lround(k_measure_seconds * rate);
    for (int ch = 0; ch < 2; ++ch)
        EXPECT_NEAR(level_db(automatic, ch, hold, k_remover_latency_frames),
                    level_db(by_port, ch, hold, k_remover_latency_frames), 1.0)
            << ch;
}
}  // namespace
}  // namespace varnolt::lv2_test
