// The Dolby B decoder's choice and the Dolby level as a host meets them, through lilv: a tape
// encoded at its Dolby level comes back as the programme it was made from when the standard
// decoder is chosen and the "Dolby level" port names that level (or, at the port's default, when
// "PC Recording Volume" stands for it, or once the automatic level has measured the tape's
// line-up tone); the ports' defaults keep the table remover at the volume port's level, as
// projects saved before the ports existed had it; and no value a host puts on the Dolby level
// port leaves the stream non-finite.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "dolby_b_encoder.h"
#include "level/dolby_level.h"
#include "stream_player.h"

namespace varnolt::lv2_test {
namespace {

// The Dolby level the tapes here were recorded at, and one 6 dB off it.
constexpr double k_tape_dolby_dbfs = -20.0;
constexpr double k_wrong_dolby_dbfs = -14.0;
// The Dolby level port's default: the level is the "PC Recording Volume" port's.
constexpr float k_from_volume_dbfs = -60.0f;
constexpr float k_table_remover = 0.0f, k_standard_decoder = 1.0f;

// The programme's last stretch, whose output has not come out yet: the plug-in's latency is 6145
// frames, 0.14 s at 44.1 kHz.
constexpr double k_unheard_seconds = 0.2;

// A decoded programme's error against the clean one, in dB re the programme's energy: the
// rounding of the host's floats alone. Measured -169 dB (stereo at 44.1 kHz, mono at 48 kHz).
constexpr double k_decoded_db = -130.0;
// The same decoded at the automatic level's volume, which keeps to the slider's steps of 0.01:
// 0.48 where the tone calls for 0.4786, a Dolby level 0.025 dB off. Measured -64.6 dB.
constexpr double k_decoded_at_slider_step_db = -55.0;
// Decoded at a Dolby level 6 dB off, by the table remover, or not at all: the treble comes out
// several dB wrong. Measured -17.7 dB (6 dB off), -23.4 dB (the table remover at 0.5) and
// -20 dB (the tape as it is).
constexpr double k_not_decoded_db = -40.0;

// A tape: the clean programme, per channel, and what a Dolby B encoder at the tape's Dolby level
// made of it.
struct Tape {
    std::vector<std::vector<float>> clean, encoded;
    float clean_at(long n, int ch) const { return n >= 0 ? clean[ch][n] : 0.0f; }
};

template <class Source>
Tape record(double rate, double dolby_dbfs, double seconds, Source source) {
    Tape tape;
    const long frames = std::lround(seconds * rate);
    for (int ch = 0; ch < 2; ++ch) {
        varnolt_tools::DolbyBEncoder encoder(rate, dolby_dbfs);
        std::vector<float> clean(frames), encoded(frames);
        for (long n = 0; n < frames; ++n) {
            clean[n] = source(n, ch);
            encoded[n] = static_cast<float>(encoder.process(clean[n]));
        }
        tape.clean.push_back(std::move(clean));
        tape.encoded.push_back(std::move(encoded));
    }
    return tape;
}

Tape programme_tape(double rate, double dolby_dbfs, double seconds) {
    return record(rate, dolby_dbfs, seconds, [rate](long n, int ch) { return music(n, ch, rate); });
}

// Plays the tape through `player` up to `seconds` of it.
void play(StreamPlayer& player, const Tape& tape, double seconds) {
    player.run(std::lround(seconds * player.rate) - player.position,
               [&tape](long n, int ch) { return tape.encoded[ch][n]; });
}

// The output's error against the clean programme the reported latency earlier, over the
// programme's frames [from, to), in dB re the programme's energy.
double error_db(const StreamPlayer& player, const Tape& tape, double from, double to) {
    const long latency = std::lround(player.latencies.back());
    const long first = std::lround(from * player.rate), last = std::lround(to * player.rate);
    EXPECT_LE(last + latency, player.position) << "not played that far";
    double error = 0.0, energy = 0.0;
    for (std::size_t ch = 0; ch < player.output.size(); ++ch)
        for (long n = first; n < last; ++n) {
            const double clean = tape.clean_at(n, static_cast<int>(ch));
            const double d = player.output[ch][n + latency] - clean;
            error += d * d;
            energy += clean * clean;
        }
    return 10.0 * std::log10(error / energy);
}

// The tape's own error against the clean programme: what the encoding changed.
double encoding_error_db(const Tape& tape) {
    double error = 0.0, energy = 0.0;
    for (std::size_t ch = 0; ch < tape.clean.size(); ++ch)
        for (std::size_t n = 0; n < tape.clean[ch].size(); ++n) {
            const double d = tape.encoded[ch][n] - tape.clean[ch][n];
            error += d * d;
            energy += tape.clean[ch][n] * tape.clean[ch][n];
        }
    return 10.0 * std::log10(error / energy);
}

// A player with the Dolby B remover's switch on and no other stage: the bias equaliser and the
// azimuth correction, on at the first-start values, adapt over seconds and would change the
// programme besides the decoder.
struct DecoderPlayer : StreamPlayer {
    DecoderPlayer(const std::string& uri, double at_rate, float decoder, float dolby_level,
                  float pc_volume)
        : StreamPlayer(uri, at_rate) {
        EXPECT_TRUE(host.ok());
        for (const char* off : {"bias_enabled", "azimuth", "fm_stereo_noise_filter_enabled",
                                "singleband_compressor_enabled"})
            EXPECT_TRUE(host.set_control(off, 0.0f)) << off;
        EXPECT_TRUE(host.set_control("dolby_b_remover_enabled", 1.0f));
        EXPECT_TRUE(host.set_control("dolby_b_remover_pc_recording_volume", pc_volume));
        EXPECT_TRUE(host.set_control("dolby_b_decoder", decoder));
        EXPECT_TRUE(host.set_control("dolby_level", dolby_level));
    }
    float level_in_use() const { return host.control("dolby_level_in_use"); }
};

// The first frame at which two players' outputs differ in any channel, or -1.
long first_difference(const StreamPlayer& a, const StreamPlayer& b) {
    if (a.output.size() != b.output.size() || a.position != b.position) return 0;
    for (long i = 0; i < a.position; ++i)
        for (std::size_t ch = 0; ch < a.output.size(); ++ch)
            if (!(a.output[ch][i] == b.output[ch][i])) return i;
    return -1;
}

// The standard decoder at the tape's Dolby level gives back the clean programme, the latency
// later, whatever the "PC Recording Volume" port says: the level port overrides it. At a level
// 6 dB off it does not. Both plug-ins, at two rates.
TEST(Lv2DolbyLevel, TheStandardDecoderAtTheTapesLevelRestoresTheProgramme) {
    const double seconds = 5.0;
    for (const auto& [uri, rate] : {std::pair{k_stereo_uri, 44100.0}, {k_mono_uri, 48000.0}}) {
        SCOPED_TRACE(uri);
        const Tape tape = programme_tape(rate, k_tape_dolby_dbfs, seconds);
        // A volume far from the tape's level: 3 stands for about -4 dBFS.
        const float far_volume = 3.0f;
        DecoderPlayer at_level(uri, rate, k_standard_decoder, k_tape_dolby_dbfs, far_volume);
        DecoderPlayer off_level(uri, rate, k_standard_decoder, k_wrong_dolby_dbfs, far_volume);
        for (DecoderPlayer* p : {&at_level, &off_level}) play(*p, tape, seconds);

        const double end = seconds - k_unheard_seconds;
        const double decoded = error_db(at_level, tape, 0.0, end);
        const double wrong = error_db(off_level, tape, 0.0, end);
        std::printf(
            "%s: error against the clean programme %.1f dB decoded at the tape's level, "
            "%.1f dB 6 dB off it, %.1f dB undecoded\n",
            uri.c_str(), decoded, wrong, encoding_error_db(tape));
        EXPECT_LT(decoded, k_decoded_db);
        EXPECT_GT(wrong, k_not_decoded_db);
        EXPECT_NEAR(at_level.level_in_use(), k_tape_dolby_dbfs, 1e-4);
        EXPECT_NEAR(off_level.level_in_use(), k_wrong_dolby_dbfs, 1e-4);
    }
}

// At its default the Dolby level port is the "PC Recording Volume" port's: a volume that stands
// for the tape's level decodes it, one 6 dB off does not, and the level in use shows either.
TEST(Lv2DolbyLevel, TheDefaultLevelIsThePcRecordingVolumes) {
    const double rate = 44100.0, seconds = 4.0;
    const Tape tape = programme_tape(rate, k_tape_dolby_dbfs, seconds);
    for (const double level : {k_tape_dolby_dbfs, k_wrong_dolby_dbfs}) {
        const float volume = static_cast<float>(volume_for_dolby_level(level));
        DecoderPlayer player(k_stereo_uri, rate, k_standard_decoder, k_from_volume_dbfs, volume);
        play(player, tape, seconds);
        const double error = error_db(player, tape, 0.0, seconds - k_unheard_seconds);
        std::printf("\"PC Recording Volume\" %.4f for %.0f dBFS: error %.1f dB\n", volume, level,
                    error);
        if (level == k_tape_dolby_dbfs)
            EXPECT_LT(error, k_decoded_db);
        else
            EXPECT_GT(error, k_not_decoded_db);
        EXPECT_NEAR(player.level_in_use(), level, 1e-4);
    }
}

// A project saved before the decoder's and the level's ports existed plays with their defaults:
// it sounds exactly as in a host that leaves them unconnected, which this plug-in then never
// reads, and that is the table remover at the volume port's level (which matters: another
// volume sounds otherwise).
TEST(Lv2DolbyLevel, TheDefaultsKeepTheTableRemoverAtTheVolumePortsLevel) {
    const double rate = 44100.0, seconds = 4.0;
    const Tape tape = programme_tape(rate, k_tape_dolby_dbfs, seconds);
    const float volume = 0.5f;
    StreamPlayer defaults(k_stereo_uri, rate), unconnected(k_stereo_uri, rate),
        other_volume(k_stereo_uri, rate);
    for (StreamPlayer* p : {&defaults, &unconnected, &other_volume}) {
        for (const char* off : {"bias_enabled", "azimuth"})
            ASSERT_TRUE(p->host.set_control(off, 0.0f));
        ASSERT_TRUE(p->host.set_control("dolby_b_remover_enabled", 1.0f));
        ASSERT_TRUE(p->host.set_control("dolby_b_remover_pc_recording_volume",
                                        p == &other_volume ? 2 * volume : volume));
    }
    EXPECT_EQ(defaults.host.control("dolby_b_decoder"), k_table_remover);
    EXPECT_EQ(defaults.host.control("dolby_level"), k_from_volume_dbfs);
    for (const char* symbol : {"dolby_b_decoder", "dolby_level", "dolby_level_in_use"})
        ASSERT_TRUE(unconnected.host.disconnect(symbol)) << symbol;
    for (StreamPlayer* p : {&defaults, &unconnected, &other_volume}) play(*p, tape, seconds);

    EXPECT_EQ(first_difference(defaults, unconnected), -1);
    EXPECT_NE(first_difference(defaults, other_volume), -1) << "the volume port is not in force";
    const double error = error_db(defaults, tape, 0.0, seconds - k_unheard_seconds);
    std::printf("the table remover at 0.5: error against the clean programme %.1f dB\n", error);
    EXPECT_GT(error, k_not_decoded_db) << "the standard decoder ran";
    EXPECT_NEAR(defaults.host.control("dolby_level_in_use"), dolby_level_for_volume(volume), 1e-4);
}

// The 400 Hz line-up tone at the tape's Dolby level, then the programme, all from the tape.
constexpr double k_tone_seconds = 3.0;
float tone_then_music(long n, int ch, double rate) {
    if (n < std::lround(k_tone_seconds * rate))
        return static_cast<float>(std::pow(10.0, k_tape_dolby_dbfs / 20.0) *
                                  std::sin(2.0 * M_PI * 400.0 * n / rate));
    return music(n, ch, rate);
}

// The automatic level measures the tape's line-up tone over its first 10 s and holds the volume
// it calls for: from then on the standard decoder works at the tape's Dolby level, which the
// level in use shows, and the programme comes back, whatever the volume port and the level port
// say; before, it worked at the ports' level.
TEST(Lv2DolbyLevel, TheAutomaticLevelDecodesAtTheTonesLevel) {
    const double rate = 44100.0;
    const double measured = 10.0;  // the plug-in's measuring time, from the tone's first sample
    // After the hold: the tape stage's latency, and the decoder's envelopes, which held the port's
    // level, forgotten.
    const double settled = measured + 2.0;
    const double seconds = settled + 4.0;
    const Tape tape = record(rate, k_tape_dolby_dbfs, seconds,
                             [rate](long n, int ch) { return tone_then_music(n, ch, rate); });
    const float volume = 1.0f;
    for (const float port_level : {k_from_volume_dbfs, static_cast<float>(k_wrong_dolby_dbfs)}) {
        SCOPED_TRACE(port_level);
        DecoderPlayer player(k_stereo_uri, rate, k_standard_decoder, port_level, volume);
        ASSERT_TRUE(player.host.set_control("automatic_level", 1.0f));
        play(player, tape, measured - 0.1);
        EXPECT_EQ(player.host.control("automatic_level_basis"), 0.0f) << "measured early";
        const double ports_level =
            port_level == k_from_volume_dbfs ? dolby_level_for_volume(volume) : port_level;
        EXPECT_NEAR(player.level_in_use(), ports_level, 1e-4);
        play(player, tape, seconds);
        EXPECT_EQ(player.host.control("automatic_level_basis"), 2.0f) << "no tone was found";
        const float in_use = player.level_in_use();
        const double before = error_db(player, tape, k_tone_seconds + 0.5, measured - 0.1);
        const double after = error_db(player, tape, settled, seconds - k_unheard_seconds);
        std::printf(
            "automatic level: Dolby level in use %.3f dBFS; error against the clean programme "
            "%.1f dB at the ports' level (%.1f dBFS), %.1f dB after the hold\n",
            in_use, before, ports_level, after);
        EXPECT_NEAR(in_use, k_tape_dolby_dbfs, 0.1);
        EXPECT_GT(before, k_not_decoded_db);
        EXPECT_LT(after, k_decoded_at_slider_step_db);
    }
}

// Values no level holds, on the Dolby level port while the standard decoder plays: NaN takes
// the default (the volume port's level), the infinities and the float range's ends the port's
// bounds. The level in use stays a finite level, the output finite and within full scale, and
// once the port names the tape's level again the programme comes back as it was: nothing in the
// decoder's state was left non-finite.
TEST(Lv2DolbyLevel, HostileLevelsKeepTheStreamFinite) {
    const double rate = 44100.0;
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float volume = 1.0f;
    const double at_volume = dolby_level_for_volume(volume);
    const struct {
        float value;
        double in_use;  // the level in use it gives
    } hostile[] = {
        {nan, at_volume},    {inf, 0.0},          {-inf, at_volume},     {1e30f, 0.0},
        {-1e30f, at_volume}, {FLT_MAX, 0.0},      {-FLT_MAX, at_volume}, {-nan, at_volume},
        {1e-30f, 0.0},       {-60.5f, at_volume}, {FLT_TRUE_MIN, 0.0},
    };
    const double step = 0.3;
    const double hostile_end = 1.0 + step * (sizeof hostile / sizeof hostile[0]);
    const double seconds = hostile_end + 4.0;
    const Tape tape = programme_tape(rate, k_tape_dolby_dbfs, seconds);
    DecoderPlayer player(k_stereo_uri, rate, k_standard_decoder, k_tape_dolby_dbfs, volume);
    play(player, tape, 1.0);
    double position = 1.0;
    for (const auto& h : hostile) {
        player.host.set_control("dolby_level", h.value);
        position += step;
        play(player, tape, position);
        const float in_use = player.level_in_use();
        EXPECT_TRUE(std::isfinite(in_use)) << h.value;
        EXPECT_NEAR(in_use, h.in_use, 1e-4) << h.value;
    }
    player.host.set_control("dolby_level", static_cast<float>(k_tape_dolby_dbfs));
    play(player, tape, seconds);

    long not_finite = 0;
    for (const std::vector<float>& channel : player.output)
        for (float y : channel) not_finite += !std::isfinite(y);
    const double peak = player.peak();
    const double recovered = error_db(player, tape, hostile_end + 2.0, seconds - k_unheard_seconds);
    std::printf(
        "hostile Dolby levels: output peak %.2f dBFS; error after the tape's level is "
        "back %.1f dB\n",
        to_dbfs(peak), recovered);
    EXPECT_EQ(not_finite, 0);
    EXPECT_LE(peak, 1.0);
    EXPECT_LT(recovered, k_decoded_db);
}

// The level of a `hz` tone in frames [from, from + count) of `y`, dB re full scale.
double tone_db(const std::vector<float>& y, long from, long count, double hz, double rate) {
    double re = 0.0, im = 0.0;
    for (long n = from; n < from + count; ++n) {
        re += y[n] * std::cos(2.0 * M_PI * hz * n / rate);
        im += y[n] * std::sin(2.0 * M_PI * hz * n / rate);
    }
    return to_dbfs(2.0 * std::hypot(re, im) / count + 1e-30);
}

// The decoder chosen anew while the tape plays, with the bias equaliser on so that the tape
// processor's blocks run on: the table remover's gains come and go with the blocks, at a time
// that depends on where they stand, while the standard decoder works on their output. Never
// both at once, which would cut the quiet treble twice: the stage fades out to the tape as it
// is and comes back with the new decoder. A treble tone quiet enough for the full lift shows
// it: between the two decoders' levels it may only rise, towards the undecoded tape's.
TEST(Lv2DolbyLevel, ANewDecoderNeverDecodesTogetherWithTheOld) {
    const double rate = 44100.0, seconds = 2.6;
    const double treble_hz = 5000.0;
    const Tape tape = record(rate, k_tape_dolby_dbfs, seconds, [&](long n, int ch) {
        const double t = n / rate;
        const double chord =
            std::sin(2.0 * M_PI * 220.0 * t) + std::sin(2.0 * M_PI * 330.0 * t + ch);
        return static_cast<float>(0.05 * chord + 0.01 * std::sin(2.0 * M_PI * treble_hz * t));
    });
    constexpr long k_window = 441;  // 10 ms: 50 periods of the tone
    const double undecoded =
        tone_db(tape.encoded[0], std::lround(0.5 * rate), k_window, treble_hz, rate);
    // Switches at different places in the tape processor's blocks (a hop is 1536 frames).
    for (const long offset : {0L, 600L, 900L, 1200L}) {
        SCOPED_TRACE(offset);
        DecoderPlayer player(k_stereo_uri, rate, k_table_remover, k_tape_dolby_dbfs, 1.0f);
        ASSERT_TRUE(player.host.set_control("bias_enabled", 1.0f));
        const long flips[] = {std::lround(0.8 * rate) + offset, std::lround(1.7 * rate) + offset};
        play(player, tape, static_cast<double>(flips[0]) / rate);
        player.host.set_control("dolby_b_decoder", k_standard_decoder);
        play(player, tape, static_cast<double>(flips[1]) / rate);
        player.host.set_control("dolby_b_decoder", k_table_remover);
        play(player, tape, seconds);
        for (const long flip : flips) {
            // The decoders work on the tape processor's output: a switch is heard the stereo
            // stage's 2048 frames later, and the restarted stage fades in within 6200 frames.
            const long heard = flip + 2048;
            const std::vector<float>& y = player.output[0];
            const double before = tone_db(y, heard - 2 * k_window, k_window, treble_hz, rate);
            const double after = tone_db(y, heard + 7000, k_window, treble_hz, rate);
            double lowest = INFINITY, highest = -INFINITY;
            for (long from = heard - k_window; from < heard + 7000; from += k_window / 4) {
                const double level = tone_db(y, from, k_window, treble_hz, rate);
                lowest = std::min(lowest, level);
                highest = std::max(highest, level);
            }
            std::printf(
                "decoder switched at %ld: treble %.1f dB before, %.1f dB after, between "
                "%.1f and %.1f dB (undecoded %.1f dB)\n",
                flip, before, after, lowest, highest, undecoded);
            EXPECT_GE(lowest, std::min(before, after) - 1.5);
            EXPECT_LE(highest, undecoded + 2.0);
        }
    }
}

}  // namespace
}  // namespace varnolt::lv2_test
