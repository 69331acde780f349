// --dolby-level as a user meets it: a transfer in, the chosen "PC Recording Volume" on standard
// error (or, with measure, standard output) and the restored sound out, the same as with that
// value set by hand.

#include <sys/stat.h>

#include "cli_fixture.h"
#include "level/dolby_level.h"

namespace varnolt::testing {
namespace {

class DolbyLevel : public Cli {
  protected:
    // A line-up tone, in each channel this many dB above the level that calls for a setting of
    // 1, then programme.
    static Sound tone_then_programme(double left_db = 6.0206, double right_db = 6.0206);
};

Sound DolbyLevel::tone_then_programme(double left_db, double right_db) {
    Sound s = varied(4 * 44100, 2, 44100, 3);
    const double amplitude[2] = {std::pow(10.0, (k_dolby_tone_at_unity_dbfs + left_db) / 20.0),
                                 std::pow(10.0, (k_dolby_tone_at_unity_dbfs + right_db) / 20.0)};
    std::vector<double> tone;
    for (int n = 0; n < 3 * 44100; ++n)
        for (int c = 0; c < 2; ++c)
            tone.push_back(amplitude[c] * std::sin(k_two_pi * 400.0 * n / 44100));
    s.samples.insert(s.samples.begin(), tone.begin(), tone.end());
    s.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    return s;
}

TEST_F(DolbyLevel, TheLineUpToneSetsTheVolumeAndTheRestoredSoundIsThatValuesSound) {
    write_sound("tape.wav", tone_then_programme());
    const Result measured = run("--dolby-level measure tape.wav");
    ASSERT_EQ(measured.exit_code, 0) << measured.err;
    EXPECT_TRUE(one_line(measured.out)) << measured.out;
    // The table remover, the first-start decoder: its volume for the tone's level is a fit, and
    // said to be one.
    EXPECT_EQ(measured.out.find("tape.wav: Dolby B: table remover, Dolby level "), 0u)
        << measured.out;
    EXPECT_NE(measured.out.find("from the 400 Hz line-up tone"), std::string::npos) << measured.out;
    EXPECT_NE(measured.out.find("; PC Recording Volume 2.00, fitted to the published Dolby B "
                                "points"),
              std::string::npos)
        << measured.out;
    EXPECT_EQ(measured.out.find("exact"), std::string::npos) << measured.out;

    const Result listed = run("--dolby-level auto --print-settings tape.wav out.wav");
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    EXPECT_NE(listed.out.find("Dolby B Remover/PC Recording Volume=2\n"), std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("Dolby B Remover/Enabled=1\n"), std::string::npos) << listed.out;
    EXPECT_FALSE(file_exists(dir.file("out.wav")));

    const Result automatic = run("--dolby-level auto tape.wav auto.wav");
    ASSERT_EQ(automatic.exit_code, 0) << automatic.err;
    EXPECT_EQ(automatic.err.find("varnolt: tape.wav: Dolby B: table remover, Dolby level "), 0u)
        << automatic.err;
    EXPECT_NE(automatic.err.find("; PC Recording Volume 2.00, fitted"), std::string::npos)
        << automatic.err;
    const Result by_hand =
        run("--set \"Dolby B Remover/Enabled=1\" "
            "--set \"Dolby B Remover/PC Recording Volume=2\" tape.wav hand.wav");
    ASSERT_EQ(by_hand.exit_code, 0) << by_hand.err;
    const Sound a = read_sound("auto.wav"), h = read_sound("hand.wav"),
                off = read_sound("tape.wav");
    ASSERT_GT(a.frames(), 0);
    EXPECT_TRUE(a.samples == h.samples) << "the automatic value restores as the value set by hand";
    EXPECT_FALSE(a.samples == off.samples) << "the remover ran";
}

TEST_F(DolbyLevel, ChannelsLinedUpAtDifferentLevelsAreEachRestoredAtTheirOwnValue) {
    write_sound("tape.wav", tone_then_programme(6.0206, 0.0));
    // The bias equaliser's balance and the azimuth correction join the channels; here only the
    // remover runs.
    const Result automatic =
        run("--set Bias/Enabled=0 --azimuth off --dolby-level auto tape.wav auto.wav");
    ASSERT_EQ(automatic.exit_code, 0) << automatic.err;
    EXPECT_TRUE(one_line(automatic.err)) << automatic.err;
    EXPECT_NE(automatic.err.find("(the window's one slider takes 1.41)"), std::string::npos)
        << automatic.err;
    EXPECT_NE(automatic.err.find("PC Recording Volume left 2.00 right 1.00"), std::string::npos)
        << automatic.err;
    for (const char* value : {"2", "1"})
        ASSERT_EQ(run(std::string(
                          "--set Bias/Enabled=0 --azimuth off --set \"Dolby B Remover/Enabled=1\" "
                          "--set \"Dolby B "
                          "Remover/PC Recording Volume=") +
                      value + "\" tape.wav hand" + value + ".wav")
                      .exit_code,
                  0);
    const Sound a = read_sound("auto.wav"), two = read_sound("hand2.wav"),
                one = read_sound("hand1.wav");
    ASSERT_EQ(a.frames(), two.frames());
    ASSERT_EQ(a.frames(), one.frames());
    // With nothing joining the channels, each is sample for sample the file restored at its value
    // (the measured values lie within 1e-12 of 2 and 1; the floating-point file keeps the
    // difference that makes).
    double left_error = 0.0, right_error = 0.0, between = 0.0;
    for (long long f = 0; f < a.frames(); ++f) {
        left_error = std::max(left_error, std::fabs(a.at(f, 0) - two.at(f, 0)));
        right_error = std::max(right_error, std::fabs(a.at(f, 1) - one.at(f, 1)));
        between = std::max(between, std::fabs(two.at(f, 1) - one.at(f, 1)));
    }
    EXPECT_LT(left_error, 1e-9) << "the left channel is restored at 2";
    EXPECT_LT(right_error, 1e-9) << "the right channel is restored at 1";
    EXPECT_GT(between, 1e-2) << "the two values sound different";
}

TEST_F(DolbyLevel, EachFileOfABatchGetsItsOwnValueAndLine) {
    write_sound("loud.wav", tone_then_programme(6.0206, 6.0206));
    write_sound("quiet.wav", tone_then_programme(-6.0206, -6.0206));
    const Result r = run("-j 2 --dolby-level auto -o out loud.wav quiet.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(line_count(r.err), 2) << r.err;
    for (const char* file : {"loud.wav", "quiet.wav"})
        EXPECT_NE(r.err.find(std::string(file) + ": Dolby B: table remover, Dolby level "),
                  std::string::npos)
            << r.err;
    EXPECT_NE(r.err.find("; PC Recording Volume 2.00, fitted"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("; PC Recording Volume 0.50, fitted"), std::string::npos) << r.err;
    EXPECT_GT(read_sound("out/quiet.wav").frames(), 0);
}

TEST_F(DolbyLevel, AStreamThatCannotBeReadTwiceIsRefused) {
    // A named pipe: refused before it is opened, so nothing waits for a writer.
    ASSERT_EQ(mkfifo(dir.file("pipe.wav").c_str(), 0600), 0);
    const Result r = run("--dolby-level auto pipe.wav out.wav");
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_NE(r.err.find("pipe.wav"), std::string::npos) << r.err;
    EXPECT_FALSE(file_exists(dir.file("out.wav")));
    const Result measured = run("--dolby-level measure pipe.wav");
    EXPECT_EQ(measured.exit_code, 1) << measured.err;
    EXPECT_NE(measured.err.find("pipe.wav: cannot read: not a file"), std::string::npos)
        << measured.err;
}

TEST_F(DolbyLevel, EachPairOfAMultichannelFileGetsTheValueOfItsOwnTone) {
    // Channels 1-2 lined up for 2, 3-4 for 0.5, the odd fifth for 1; 3-4 also as a file alone.
    const Sound loud = tone_then_programme(6.0206, 6.0206);
    const Sound quiet = tone_then_programme(-6.0206, -6.0206);
    const Sound unity = tone_then_programme(0.0, 0.0);
    Sound five = loud;
    five.channels = 5;
    five.samples.clear();
    for (long long f = 0; f < loud.frames(); ++f)
        for (double x :
             {loud.at(f, 0), loud.at(f, 1), quiet.at(f, 0), quiet.at(f, 1), unity.at(f, 0)})
            five.samples.push_back(x);
    write_sound("five.wav", five);
    write_sound("pair.wav", quiet);
    const std::string only_the_remover = "--set Bias/Enabled=0 --azimuth off ";
    const Result r = run(only_the_remover + "--dolby-level auto five.wav five_out.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(one_line(r.err)) << r.err;
    const std::string pairs[] = {
        "five.wav: Dolby B: table remover, Dolby level ", "; PC Recording Volume 2.00, fitted",
        "; channels 3-4: table remover, Dolby level ",    "; PC Recording Volume 0.50, fitted",
        "; channel 5: table remover, Dolby level ",       "; PC Recording Volume 1.00, fitted"};
    std::size_t at = 0;
    for (const std::string& part : pairs) {
        at = r.err.find(part, at);
        EXPECT_NE(at, std::string::npos) << part << "\n" << r.err;
    }
    ASSERT_EQ(run(only_the_remover +
                  "--set \"Dolby B Remover/Enabled=1\" "
                  "--set \"Dolby B Remover/PC Recording Volume=0.5\" pair.wav pair_out.wav")
                  .exit_code,
              0);
    const Sound out = read_sound("five_out.wav"), pair = read_sound("pair_out.wav");
    ASSERT_EQ(out.frames(), pair.frames());
    long long differ = 0;
    for (long long f = 0; f < out.frames(); ++f)
        differ += out.at(f, 2) != pair.at(f, 0) || out.at(f, 3) != pair.at(f, 1);
    EXPECT_EQ(differ, 0) << "channels 3-4 are restored at 0.5, as the pair alone";
}

// A first pair with nothing to measure keeps the value asked for; the window's value was set to 1
// for it, whatever was asked, while its line said "left as set".
TEST_F(DolbyLevel, ASilentFirstPairKeepsTheValueAskedFor) {
    const Sound toned = tone_then_programme(-6.0206, -6.0206);
    Sound four = toned;
    four.channels = 4;
    four.samples.clear();
    for (long long f = 0; f < toned.frames(); ++f)
        for (double x : {0.0, 0.0, toned.at(f, 0), toned.at(f, 1)}) four.samples.push_back(x);
    write_sound("four.wav", four);
    const Result r =
        run("--set \"Dolby B Remover/PC Recording Volume=3\" --dolby-level auto --print-settings "
            "four.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("Dolby B Remover/PC Recording Volume=3\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Dolby B Remover/Enabled=1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("four.wav: Dolby B: too little programme to measure; worked on as set: "
                         "table remover, Dolby level "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("from PC Recording Volume 3.00"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("; channels 3-4: table remover, Dolby level "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("; PC Recording Volume 0.50, fitted"), std::string::npos) << r.err;
}

TEST_F(DolbyLevel, ASilentFileLeavesTheRemoverAsSetAndSaysWhy) {
    write_sound("silent.wav", Sound{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100,
                                    std::vector<double>(2 * 6 * 44100, 0.0)});
    const Result r = run("--dolby-level auto --print-settings silent.wav out.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("too little programme to measure; the Dolby B remover is left as set"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("Dolby B Remover/Enabled=0\n"), std::string::npos) << r.out;
}

TEST_F(DolbyLevel, MeasuringWritesNothingAndNamesAFileItCannotRead) {
    write_sound("a.wav", tone(44100));
    const Result r = run("--dolby-level measure a.wav missing.wav");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(line_count(r.out), 1) << r.out;
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_NE(r.err.find("missing.wav"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("missing.wav: cannot read: no such file"), std::string::npos) << r.err;
    const Result none = run("--dolby-level measure");
    EXPECT_EQ(none.exit_code, 2);
    const Result wrong = run("--dolby-level loud a.wav b.wav");
    EXPECT_EQ(wrong.exit_code, 2);
    EXPECT_FALSE(file_exists(dir.file("b.wav")));
}

}  // namespace
}  // namespace varnolt::testing
