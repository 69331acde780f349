// --dolby-decoder and --dolby-level DBFS as an archivist meets them: a clean recording is put
// through the test's Dolby B encoder at a known Dolby level, as a tape recorded with Dolby B and
// played without it, and the tool given that level undoes the encoding with the standard decoder.

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_fixture.h"
#include "dolby_b_encoder.h"
#include "level/dolby_level.h"
#include "octave_bands.h"
#include "sound_file.h"

namespace varnolt::testing {
namespace {

constexpr int k_rate = 44100;
constexpr double k_dolby_level_dbfs = -20.0;
constexpr double k_tone_seconds = 3.0;
constexpr double k_programme_seconds = 6.0;
// The first moments of the programme are left out of the comparison: the decoder starts from
// rest as the encoder did, but the tone before it (where there is one) leaves both in a state.
constexpr double k_compared_from_seconds = 0.5;

// Only the Dolby B stage runs: the bias equaliser and the azimuth correction change the treble
// too, and the other stages are off at the first start.
constexpr const char* k_only_the_decoder = "--set Bias/Enabled=0 --azimuth off ";

// The clean recording: chords, a tone that steps in level, and noise, swelling and falling by
// 30 dB so that the encoder lifts some passages fully and others hardly. The channels differ.
varnolt_tools::Sound programme() {
    varnolt_tools::Sound s;
    s.rate = k_rate;
    s.channels = 2;
    const double dolby = std::pow(10.0, k_dolby_level_dbfs / 20.0);
    unsigned noise = 4242u;
    const int frames = static_cast<int>(k_programme_seconds * k_rate);
    for (int n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / k_rate;
        // -30 .. 0 dB re Dolby level, in steps of a second and a slow swell within them.
        const double step_db = -10.0 * (static_cast<int>(t) % 4);
        const double level =
            dolby * std::pow(10.0, (step_db + 3.0 * std::sin(k_two_pi * t)) / 20.0);
        for (int c = 0; c < 2; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double hiss = ((noise >> 8) / 16777216.0 - 0.5) * 0.4;
            const double chord = 0.4 * std::sin(k_two_pi * 261.6 * t + c) +
                                 0.3 * std::sin(k_two_pi * 329.6 * t) +
                                 0.2 * std::sin(k_two_pi * 392.0 * t * (1.0 + 0.002 * c));
            const double treble = 0.25 * std::sin(k_two_pi * 2500.0 * t) +
                                  0.2 * std::sin(k_two_pi * (5200.0 + 300.0 * c) * t) +
                                  0.1 * std::sin(k_two_pi * 11000.0 * t);
            s.samples.push_back(static_cast<float>(level * (chord + treble + hiss)));
        }
    }
    return s;
}

// A 400 Hz line-up tone at Dolby level before the programme.
varnolt_tools::Sound with_line_up_tone(const varnolt_tools::Sound& clean) {
    varnolt_tools::Sound s = clean;
    const double amplitude = std::pow(10.0, k_dolby_level_dbfs / 20.0);
    std::vector<float> tone;
    for (int n = 0; n < static_cast<int>(k_tone_seconds * k_rate); ++n)
        for (int c = 0; c < 2; ++c)
            tone.push_back(static_cast<float>(amplitude * std::sin(k_two_pi * 400.0 * n / k_rate)));
    s.samples.insert(s.samples.begin(), tone.begin(), tone.end());
    return s;
}

// As recorded through a Dolby B encoder lined up at the test's Dolby level.
varnolt_tools::Sound encoded(varnolt_tools::Sound s) {
    for (int c = 0; c < s.channels; ++c) {
        varnolt_tools::DolbyBEncoder encoder(s.rate, k_dolby_level_dbfs);
        encoder.process(s.samples.data() + c, s.frames(), s.channels);
    }
    return s;
}

std::string number(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// The window's slider step nearest the volume a Dolby level calls for, as the tool prints it.
std::string slider_step(double level_dbfs) {
    char text[40];
    std::snprintf(text, sizeof text, "%.2f",
                  std::round(volume_for_dolby_level(level_dbfs) * 100) / 100);
    return text;
}

// The level the tool says it found after "Dolby level " in `said`; NAN when it says none.
double said_level(const std::string& said) {
    const std::size_t at = said.find("Dolby level ");
    double level = NAN;
    if (at == std::string::npos || std::sscanf(said.c_str() + at, "Dolby level %lf", &level) != 1)
        return NAN;
    return level;
}

// The line-up tone gives the Dolby level to the 0.1 dB the tool prints.
constexpr double k_tone_through_encoder_db = 0.05;

class DolbyDecoder : public Cli {
  protected:
    void write(const std::string& name, const varnolt_tools::Sound& s) {
        std::string error;
        ASSERT_TRUE(varnolt_tools::write_sound(dir.file(name), s, 32, error)) << error;
    }

    varnolt_tools::Sound read(const std::string& name) {
        varnolt_tools::Sound s;
        std::string error;
        EXPECT_TRUE(varnolt_tools::read_sound(dir.file(name), s, error)) << error;
        return s;
    }

    // The band error, 1 to 16 kHz, of `name` against the clean recording, from `offset` frames
    // into the file (where the clean recording starts in it) on.
    double band_error(const varnolt_tools::Sound& clean, const std::string& name,
                      std::size_t offset = 0) {
        varnolt_tools::Sound restored = read(name);
        restored.samples.erase(
            restored.samples.begin(),
            restored.samples.begin() + static_cast<std::ptrdiff_t>(std::min(
                                           offset * restored.channels, restored.samples.size())));
        varnolt_tools::band_comparison result;
        const char* message = nullptr;
        EXPECT_TRUE(varnolt_tools::compare_octave_bands(
            clean, restored, static_cast<std::size_t>(k_compared_from_seconds * k_rate),
            clean.frames(), result, message))
            << (message ? message : "");
        return result.band_error_db;
    }

    // Restores `input` into `output`; the run's standard error.
    std::string restore(const std::string& options, const std::string& input,
                        const std::string& output) {
        const Result r =
            run(std::string(k_only_the_decoder) + options + " " + input + " " + output);
        EXPECT_EQ(r.exit_code, 0) << options << ": " << r.err;
        return r.err;
    }
};

TEST_F(DolbyDecoder, TheStandardDecoderAtTheTapesDolbyLevelGivesBackTheCleanRecording) {
    const varnolt_tools::Sound clean = programme();
    write("tape.wav", encoded(clean));
    const std::string said =
        restore("--dolby-decoder standard --dolby-level -20", "tape.wav", "decoded.wav");
    EXPECT_EQ(said,
              "varnolt: tape.wav: Dolby B: standard decoder, Dolby level -20.0 dBFS, from "
              "--dolby-level; PC Recording Volume " +
                  slider_step(k_dolby_level_dbfs) + "\n");

    // Measured: -8.3 dB undecoded; decoded, -151 dB, what the floating-point file can hold. At
    // the slider's nearest step, 0.04 dB off, it came to -60.4 dB (0.1 dB off: -48.3 dB). 6 dB
    // off the tape's level: -13.5 dB.
    EXPECT_GT(band_error(clean, "tape.wav"), -15.0);
    EXPECT_LT(band_error(clean, "decoded.wav"), -100.0);
    restore("--dolby-decoder standard --dolby-level -14", "tape.wav", "wrong.wav");
    EXPECT_GT(band_error(clean, "wrong.wav"), -20.0);
}

TEST_F(DolbyDecoder, TheLineUpToneGivesTheStandardDecoderItsLevel) {
    const varnolt_tools::Sound clean = programme();
    write("tape.wav", encoded(with_line_up_tone(clean)));
    const std::string said =
        restore("--dolby-decoder standard --dolby-level auto", "tape.wav", "decoded.wav");
    EXPECT_EQ(said.find("varnolt: tape.wav: Dolby B: standard decoder, Dolby level "), 0u) << said;
    EXPECT_NE(said.find("dBFS, from the 400 Hz line-up tone at "), std::string::npos) << said;
    EXPECT_NEAR(said_level(said), k_dolby_level_dbfs, k_tone_through_encoder_db) << said;
    EXPECT_EQ(said.find("exact"), std::string::npos) << said;
    EXPECT_EQ(said.find("fitted"), std::string::npos) << said;
    EXPECT_EQ(line_count(said), 1) << said;

    // Measured: -55.5 dB; the tone, through the encoder, lies a few hundredths of a dB off the
    // level.
    const std::size_t tone_frames = static_cast<std::size_t>(k_tone_seconds * k_rate);
    EXPECT_LT(band_error(clean, "decoded.wav", tone_frames), -45.0);
}

// The table remover's volume for a level is a fit: said as one, on the slider's steps.
TEST_F(DolbyDecoder, TheTableRemoversVolumeIsSaidToBeFitted) {
    write("tape.wav", encoded(with_line_up_tone(programme())));
    const std::string said = restore("--dolby-level auto", "tape.wav", "table.wav");
    char fit[160];
    std::snprintf(fit, sizeof fit,
                  "; PC Recording Volume %s, fitted to the published Dolby B points (RMS %.1f "
                  "dB, worst %.1f dB)\n",
                  slider_step(said_level(said)).c_str(), k_table_fit_rms_db, k_table_fit_worst_db);
    EXPECT_EQ(said.find("varnolt: tape.wav: Dolby B: table remover, Dolby level "), 0u) << said;
    EXPECT_NE(said.find("dBFS, from the 400 Hz line-up tone at "), std::string::npos) << said;
    EXPECT_NEAR(said_level(said), k_dolby_level_dbfs, k_tone_through_encoder_db) << said;
    EXPECT_NE(said.find(fit), std::string::npos) << said;
    EXPECT_EQ(said.find("exact"), std::string::npos) << said;
}

// The table remover is the first-start decoder, as in the player.
TEST_F(DolbyDecoder, WithoutTheOptionOrWithTableTheTableRemoverRuns) {
    write("tape.wav", encoded(programme()));
    const std::string by_default = restore("--dolby-level -20", "tape.wav", "default.wav");
    restore("--dolby-decoder table --dolby-level -20", "tape.wav", "table.wav");
    restore("--dolby-decoder standard --dolby-level -20", "tape.wav", "standard.wav");
    EXPECT_NE(by_default.find("Dolby B: table remover,"), std::string::npos) << by_default;
    const varnolt_tools::Sound tape = read("tape.wav"), table = read("table.wav"),
                               standard = read("standard.wav");
    ASSERT_EQ(table.samples.size(), tape.samples.size());
    EXPECT_TRUE(read("default.wav").samples == table.samples);
    EXPECT_FALSE(table.samples == standard.samples) << "the decoders differ";
    EXPECT_FALSE(table.samples == tape.samples) << "the table remover ran";

    // A preset keeps the choice.
    ASSERT_EQ(run("--dolby-decoder standard --save-settings deck.vnt").exit_code, 0);
    restore("--settings deck.vnt --dolby-level -20", "tape.wav", "from_preset.wav");
    EXPECT_TRUE(read("from_preset.wav").samples == standard.samples);
}

// The standard decoder works at exactly the volume the level calls for; the table remover at the
// slider's step nearest it. Either way the settings list and save the slider's value.
TEST_F(DolbyDecoder, AGivenLevelSetsTheVolumeExactlyForTheStandardDecoderOnly) {
    write("tape.wav", encoded(programme()));
    const std::string exact = number(volume_for_dolby_level(k_dolby_level_dbfs));
    const std::string remover_at = "--set \"Dolby B Remover/Enabled=1\" ";
    restore("--dolby-decoder standard --dolby-level -20", "tape.wav", "given.wav");
    restore("--dolby-decoder standard " + remover_at +
                "--set \"Dolby B Remover/PC Recording Volume=" + exact + "\"",
            "tape.wav", "exact.wav");
    const std::string step = slider_step(k_dolby_level_dbfs);
    restore("--dolby-decoder standard " + remover_at +
                "--set \"Dolby B Remover/PC Recording Volume=" + step + "\"",
            "tape.wav", "rounded.wav");
    const varnolt_tools::Sound given = read("given.wav");
    ASSERT_GT(given.frames(), 0u);
    EXPECT_TRUE(given.samples == read("exact.wav").samples);
    EXPECT_FALSE(given.samples == read("rounded.wav").samples);

    restore("--dolby-decoder table --dolby-level -20", "tape.wav", "table_given.wav");
    restore("--dolby-decoder table " + remover_at +
                "--set \"Dolby B Remover/PC Recording Volume=" + step + "\"",
            "tape.wav", "table_rounded.wav");
    EXPECT_TRUE(read("table_given.wav").samples == read("table_rounded.wav").samples);

    // Beyond the slider the list holds its end; what is saved loads back as listed.
    const Result loud = run("--dolby-decoder standard --dolby-level 6 --print-settings");
    ASSERT_EQ(loud.exit_code, 0) << loud.err;
    EXPECT_NE(loud.out.find("Dolby B Remover/PC Recording Volume=5\n"), std::string::npos)
        << loud.out;
    EXPECT_NE(loud.out.find("Dolby B Remover/Standard decoder=1\n"), std::string::npos) << loud.out;
    EXPECT_NE(loud.out.find("Dolby B Remover/Enabled=1\n"), std::string::npos) << loud.out;
    const Result listed = run("--dolby-decoder standard --dolby-level -20 --print-settings");
    EXPECT_NE(listed.out.find("Dolby B Remover/PC Recording Volume=" + step + "\n"),
              std::string::npos)
        << listed.out;
    ASSERT_EQ(run("--dolby-decoder standard --dolby-level -20 --save-settings deck.vnt").exit_code,
              0);
    EXPECT_EQ(run("--settings deck.vnt --print-settings").out, listed.out);
}

// What the settings alone give is said too, once the stage has run; not with -q.
TEST_F(DolbyDecoder, TheLevelASettingStandsForIsSaid) {
    write("tape.wav", encoded(programme()));
    const std::string said = restore(
        "--dolby-decoder standard --set \"Dolby B Remover/Enabled=1\" "
        "--set \"Dolby B Remover/PC Recording Volume=2\"",
        "tape.wav", "out.wav");
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "varnolt: tape.wav: Dolby B: standard decoder, Dolby level %.1f dBFS, from PC "
                  "Recording Volume 2.00\n",
                  dolby_level_for_volume(2.0));
    EXPECT_EQ(said, expected);
    EXPECT_EQ(restore("-q --set \"Dolby B Remover/Enabled=1\"", "tape.wav", "quiet.wav"), "");
    EXPECT_EQ(restore("", "tape.wav", "off.wav"), "") << "no line when the stage does not run";
    EXPECT_EQ(
        restore("--mode no-dolby --set \"Dolby B Remover/Enabled=1\"", "tape.wav", "passed_by.wav"),
        "");
}

// Each says what the option takes.
TEST_F(DolbyDecoder, BadValuesAreOneLineAndWriteNothing) {
    write("tape.wav", encoded(programme()));
    const struct {
        const char* options;
        const char* says;
    } cases[] = {
        {"--dolby-decoder foo", "--dolby-decoder: \"foo\" is not standard or table"},
        {"--dolby-decoder tape.wav", "--dolby-decoder: \"tape.wav\" is not standard or table"},
        {"--dolby-level abc",
         "--dolby-level: \"abc\" is not auto, measure or a Dolby level in dBFS"},
        {"--dolby-level nan",
         "--dolby-level: \"nan\" is not auto, measure or a Dolby level in dBFS"},
        {"--dolby-level inf",
         "--dolby-level: \"inf\" is not auto, measure or a Dolby level in dBFS"},
        {"--dolby-level 0x10",
         "--dolby-level: \"0x10\" is not auto, measure or a Dolby level in dBFS"},
        {"--dolby-level 40", "--dolby-level: 40 dBFS is not in -60 .. 6 dBFS"},
        {"--dolby-level -61", "--dolby-level: -61 dBFS is not in -60 .. 6 dBFS"},
    };
    for (const auto& c : cases) {
        const Result r = run(std::string(c.options) + " tape.wav out.wav");
        EXPECT_EQ(r.exit_code, 2) << c.options;
        EXPECT_EQ(r.err, std::string("varnolt: ") + c.says + "\n") << c.options;
        EXPECT_FALSE(file_exists(dir.file("out.wav"))) << c.options;
    }
}

}  // namespace
}  // namespace varnolt::testing
