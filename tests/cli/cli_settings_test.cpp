// Which settings a run uses, and the options that change them.

#include <filesystem>

#include "cli_fixture.h"

namespace varnolt::testing {
namespace {

constexpr const char* k_stray_ini = "[Common]\nPost amplifier=0.1\n";

std::string value_of(const std::string& listing, const std::string& name) {
    const auto at = listing.find("\n" + name + "=");
    if (at == std::string::npos) return "(missing)";
    const auto start = at + name.size() + 2;
    return listing.substr(start, listing.find('\n', start) - start);
}

TEST_F(Cli, AStrayIniFileIsNeverRead) {
    const Sound input = tone(12000);
    write_sound("in.wav", input);
    // The profile folder and the current directory are both the scratch folder.
    write_text(dir.file("dsp_varnolt.ini"), k_stray_ini);
    ASSERT_EQ(run("in.wav out.wav").exit_code, 0);
    const double level = rms(read_sound("out.wav"), 4096, 10000, 0) / rms(input, 4096, 10000, 0);
    EXPECT_NEAR(level, 1.0, 0.05) << "the first-start post amplifier, 1";
    Result listing = run("--print-settings");
    EXPECT_EQ(value_of("\n" + listing.out, "Common/Post amplifier"), "1");

    // Asked for, the player's settings are read, and left as they were.
    Result r = run("--player-settings in.wav player.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const double player =
        rms(read_sound("player.wav"), 4096, 10000, 0) / rms(input, 4096, 10000, 0);
    EXPECT_NEAR(player, 0.1, 0.01);
    EXPECT_EQ(read_text(dir.file("dsp_varnolt.ini")), k_stray_ini);
}

TEST_F(Cli, PlayerSettingsThatDoNotExistAreAUsageError) {
    write_sound("in.wav", tone(2000));
    Result r = run("--player-settings in.wav out.wav");
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_NE(r.err.find("dsp_varnolt.ini"), std::string::npos) << r.err;
    EXPECT_FALSE(file_exists(dir.file("out.wav")));
}

TEST_F(Cli, PrintSettingsListsEveryParameterWithItsFirstStartValue) {
    Result r = run("--print-settings");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string listing = "\n" + r.out;
    EXPECT_EQ(line_count(r.out), 45 + 5) << "45 persisted parameters, 5 live-only switches";
    const struct {
        const char* name;
        const char* value;
    } expected[] = {
        {"Plugin Configuration/CPU usage - Quality", "1"},
        {"Plugin Configuration/Ikke", "-1"},
        {"Common/Post amplifier", "1"},
        {"Dolby B Remover/Attack speed", "0.000004565"},
        {"Dolby B Remover/Decay speed", "0.00021"},
        {"Bias/Enabled", "1"},
        {"Bias/Amplification - Band 8 Right", "1"},
        {"Bias/Left channel amplification relative to right channel", "1"},
        {"FM stereo noise filter/Reduce stereo noise by percentage", "150"},
        {"FM stereo noise filter/Signal roughness", "7.5"},
        {"--azimuth", "on"},
        {"--azimuth-limit", "20"},
        {"--azimuth-speed", "0.4"},
        {"--mono", "off"},
        {"--mode", "full"},
    };
    for (const auto& e : expected) EXPECT_EQ(value_of(listing, e.name), e.value) << e.name;
}

TEST_F(Cli, OptionsAndSetsChangeTheSettingsInOrder) {
    write_text(dir.file("deck.vnt"), "[Common]\nPost amplifier=0.5\n[Bias]\nEnabled=0\n");
    Result r =
        run("--settings deck.vnt --set \"common/post AMPLIFIER=0.25\" "
            "--set \"Dolby B Remover/Enabled=1\" --azimuth off --azimuth-limit 10 "
            "--azimuth-speed 1.5 --mono --mode no-dolby --quality high --print-settings");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string listing = "\n" + r.out;
    const struct {
        const char* name;
        const char* value;
    } expected[] = {
        {"Common/Post amplifier", "0.25"},
        {"Bias/Enabled", "0"},
        {"Dolby B Remover/Enabled", "1"},
        {"Plugin Configuration/CPU usage - Quality", "0"},
        {"--azimuth", "off"},
        {"--azimuth-limit", "10"},
        {"--azimuth-speed", "1.5"},
        {"--mono", "on"},
        {"--mode", "no-dolby"},
    };
    for (const auto& e : expected) EXPECT_EQ(value_of(listing, e.name), e.value) << e.name;
}

TEST_F(Cli, SavedSettingsLoadBackToTheSameListing) {
    const std::string sets =
        "--set \"Common/Post amplifier=0.8\" --set \"Bias/Amplification - Band 3 Left=1.25\" "
        "--set \"FM stereo noise filter/Enabled=1\" --set \"Dolby B Remover/Dolby strength=0.75\" "
        "--set \"Bias/Enabled=0\"";
    Result saved = run(sets + " --save-settings deck.vnt --print-settings");
    ASSERT_EQ(saved.exit_code, 0) << saved.err;
    const std::string preset = read_text(dir.file("deck.vnt"));
    EXPECT_NE(preset.find("[FM stereo noise filter]"), std::string::npos) << preset;
    EXPECT_EQ(preset.find("[Plugin Configuration]"), std::string::npos) << "a preset";
    Result loaded = run("--settings deck.vnt --print-settings");
    ASSERT_EQ(loaded.exit_code, 0) << loaded.err;
    EXPECT_EQ(loaded.out, saved.out);
    EXPECT_NE(loaded.out, run("--print-settings").out);
}

// The preset's keys are written into the file in place: a sound file or any other file that
// happens to bear the name must stay as it is.
TEST_F(Cli, SaveSettingsWritesOnlyANewFileOrASettingsFile) {
    write_sound("take.wav", tone(2000));
    write_text(dir.file("notes.txt"), "tape 3, side A\nlevels: fine\n");
    write_text(dir.file("other.ini"), "[Window]\nwidth=3\n");
    std::filesystem::create_directories(dir.file("folder.vnt"));
    for (const char* target : {"take.wav", "notes.txt", "other.ini", "folder.vnt"}) {
        const std::string before =
            file_exists(dir.file(target)) && !std::filesystem::is_directory(dir.file(target))
                ? read_text(dir.file(target))
                : std::string();
        const Result r =
            run(std::string("--set \"Common/Post amplifier=0.5\" --save-settings ") + target);
        EXPECT_EQ(r.exit_code, 1) << target;
        EXPECT_TRUE(one_line(r.err)) << target << ": " << r.err;
        EXPECT_NE(r.err.find(target), std::string::npos) << r.err;
        if (!before.empty()) {
            EXPECT_EQ(read_text(dir.file(target)), before) << target;
        }
    }
    // A new file, an empty one and a preset saved before all take it.
    write_text(dir.file("empty.vnt"), "");
    for (const char* target : {"new.vnt", "empty.vnt", "new.vnt"}) {
        const Result r =
            run(std::string("--set \"Common/Post amplifier=0.5\" --save-settings ") + target);
        EXPECT_EQ(r.exit_code, 0) << target << ": " << r.err;
        EXPECT_NE(read_text(dir.file(target)).find("Post amplifier=0.5"), std::string::npos)
            << target;
    }
}

// --settings took anything: a sound file, a folder, and keys the loader silently passes over.
TEST_F(Cli, SettingsMustBeASettingsFileAndUnknownKeysAreNamed) {
    write_sound("take.wav", tone(2000));
    write_text(dir.file("other.ini"), "[Window]\nwidth=3\n");
    std::filesystem::create_directories(dir.file("folder.vnt"));
    for (const char* file : {"take.wav", "other.ini", "folder.vnt", "missing.vnt"}) {
        const Result r = run(std::string("--settings ") + file + " --print-settings");
        EXPECT_EQ(r.exit_code, 2) << file;
        EXPECT_TRUE(one_line(r.err)) << file << ": " << r.err;
        EXPECT_NE(r.err.find(std::string("--settings ") + file), std::string::npos) << r.err;
    }
    write_text(dir.file("deck.vnt"),
               "[Common]\nPost amplifier=0.5\n[Bias]\nAmplfication - Band 3 Left=2\n");
    const Result r = run("--settings deck.vnt --print-settings");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_NE(r.err.find("deck.vnt: unknown key \"Bias/Amplfication - Band 3 Left\" ignored; the "
                         "closest is \"Bias/Amplification - Band 3 Left\""),
              std::string::npos)
        << r.err;
    EXPECT_EQ(value_of(r.out, "Common/Post amplifier"), "0.5");
}

// The listing showed 1e308 as 2147483647, the nine-decimal format's largest whole part.
TEST_F(Cli, PrintSettingsShowsAValueTheFileFormatCannotHoldAsItIs) {
    const Result r =
        run("--set \"Common/Post amplifier=1e308\" --set \"Bias/Main Pre Amplifier "
            "Left=0.000000000001\" --print-settings");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(value_of(r.out, "Common/Post amplifier"), "1e+308");
    EXPECT_EQ(value_of(run("--set \"Common/Post amplifier=0.8\" --print-settings").out,
                       "Common/Post amplifier"),
              "0.8");
}

// These options change the run but have no key in a preset: they were dropped without a word.
TEST_F(Cli, SaveSettingsSaysWhichGivenOptionsAPresetCannotHold) {
    const Result r =
        run("--quality high --azimuth off --azimuth-limit 10 --mono --mode no-dolby --set "
            "\"Common/Post amplifier=0.5\" --save-settings deck.vnt");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_NE(r.err.find("deck.vnt: a preset cannot hold --quality, --azimuth, --azimuth-limit, "
                         "--mono, --mode"),
              std::string::npos)
        << r.err;
    EXPECT_NE(read_text(dir.file("deck.vnt")).find("Post amplifier=0.5"), std::string::npos);
    EXPECT_EQ(run("--set \"Common/Post amplifier=0.5\" --save-settings deck2.vnt").err, "");
}

TEST_F(Cli, UnknownSettingsAreRejectedNamingTheClosest) {
    const struct {
        const char* set;
        const char* says;
    } cases[] = {
        {"Bias/Enable=1", "\"Bias/Enabled\""},
        {"Common/Post amplfier=2", "\"Common/Post amplifier\""},
        {"Dolby strength=1", "\"Dolby B Remover/Dolby strength\""},
        {"Bias/Enabled", "Section/Key=value"},
        {"Common/Post amplifier=loud", "not a number"},
        {"Common/Post amplifier=nan", "not a number"},
        {"Bias/Enabled=2.5", "0 (off) or 1 (on)"},
        {"Bias/Enabled=2", "0 (off) or 1 (on)"},
        {"Plugin Configuration/CPU usage - Quality=3", "quality"},
    };
    write_sound("in.wav", tone(2000));
    for (const auto& c : cases) {
        Result r = run(std::string("--set \"") + c.set + "\" in.wav out.wav");
        EXPECT_EQ(r.exit_code, 2) << c.set;
        EXPECT_TRUE(one_line(r.err)) << c.set << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.set << ": " << r.err;
        EXPECT_FALSE(file_exists(dir.file("out.wav"))) << c.set;
    }
}

TEST_F(Cli, BadOptionValuesAreUsageErrors) {
    write_sound("in.wav", tone(2000));
    for (const char* args :
         {"--bits 20 in.wav out.wav", "--azimuth maybe in.wav out.wav",
          "--azimuth-limit 60 in.wav out.wav", "--azimuth-speed -1 in.wav out.wav",
          // Not numbers, though a range check comparing them with its ends lets them by.
          "--azimuth-speed nan in.wav out.wav", "--azimuth-limit nan in.wav out.wav",
          "--azimuth-limit inf in.wav out.wav", "--azimuth-limit 0x10 in.wav out.wav",
          "--azimuth-speed 1.5x in.wav out.wav", "-j abc -o x in.wav", "-j 2.5 -o x in.wav",
          "--block 1e3 in.wav out.wav", "--mode loud in.wav out.wav",
          "--quality best in.wav out.wav", "--block 0 in.wav out.wav", "-j 0 -o x in.wav",
          "--nonsense in.wav out.wav", "in.wav", "in.wav out.wav extra.wav",
          "--report=r.jpg in.wav out.wav", "--settings none.vnt in.wav out.wav",
          "-o outdir --report r.png in.wav in2.wav"}) {
        Result r = run(args);
        EXPECT_EQ(r.exit_code, 2) << args;
        EXPECT_TRUE(one_line(r.err)) << args << ": " << r.err;
        EXPECT_FALSE(file_exists(dir.file("out.wav"))) << args;
    }
}

TEST_F(Cli, HelpDocumentsEveryOptionWithAnExampleAndTheManPageIsTheSameText) {
    Result help = run("--help");
    ASSERT_EQ(help.exit_code, 0);
    for (const char* option :
         {"--output-dir", "--report", "--bits", "--block", "--keep-latency", "--player-settings",
          "--settings", "--set", "--azimuth", "--azimuth-limit", "--azimuth-speed", "--mono",
          "--mode", "--quality", "--save-settings", "--print-settings", "--jobs", "--quiet",
          "--version"}) {
        auto at = help.out.find("\n  " + std::string(option) + " ");
        if (at == std::string::npos) at = help.out.find("\n  " + std::string(option) + "\n");
        if (at == std::string::npos) at = help.out.find(", " + std::string(option));
        ASSERT_NE(at, std::string::npos) << option;
        const auto example = help.out.find("e.g. ", at);
        EXPECT_LT(example, help.out.find("\n  -", at + 3)) << option << " has an example";
    }
    Result version = run("--version");
    EXPECT_EQ(version.out, "varnolt 1.0\n");
    Result man = run("--man");
    ASSERT_EQ(man.exit_code, 0);
    EXPECT_EQ(man.out, read_text(VARNOLT_SOURCE_DIR "/docs/varnolt.1"))
        << "docs/varnolt.1 is written by: build/varnolt --man > docs/varnolt.1";
}

}  // namespace
}  // namespace varnolt::testing
