// Which settings a run uses, and the options that change them.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

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

// Text as --help wraps it, put back on one line.
std::string unwrapped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') {
            out += text[i];
            continue;
        }
        out += ' ';
        while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
    }
    return out;
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
    EXPECT_EQ(line_count(r.out), 46 + 5) << "46 persisted parameters, 5 live-only switches";
    const struct {
        const char* name;
        const char* value;
    } expected[] = {
        {"Plugin Configuration/CPU usage - Quality", "1"},
        {"Plugin Configuration/Ikke", "-1"},
        {"Common/Post amplifier", "1"},
        {"Dolby B Remover/Attack speed", "0.000004565"},
        {"Dolby B Remover/Decay speed", "0.00021"},
        {"Dolby B Remover/Standard decoder", "0"},
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
    // Lines of key=value without a section of ours: some program's settings, not ours.
    write_text(dir.file("env.conf"), "EDITOR=vi\nLANG=C.UTF-8\n");
    std::filesystem::create_directories(dir.file("folder.vnt"));
    for (const char* target : {"take.wav", "notes.txt", "other.ini", "env.conf", "folder.vnt"}) {
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

// A preset that could not be written was reported as saved: on a full disk the old preset
// stayed or a new one was left empty, and a folder nobody may write to gave exit status 0.
// The disk is a small tmpfs in a mount namespace of the test's own.
TEST_F(Cli, SaveSettingsReportsAFullDiskOrAReadOnlyFolderAndKeepsTheOldPreset) {
    const std::string tool = quoted(VARNOLT_CLI);
    const Result r = run_script(
        "mkdir disk && exec unshare -m bash -c '\n"
        "mount -t tmpfs -o size=64k tmpfs disk || exit 90\n"
        "printf \"[Common]\\r\\nPost amplifier=0.25\\r\\n\" >disk/old.vnt\n"
        "cat /dev/zero >disk/fill 2>/dev/null\n" +
        tool +
        " --set \"Common/Post amplifier=0.5\" --save-settings disk/old.vnt 2>full-old.err\n"
        "echo $? >full-old.rc\n"
        "cp disk/old.vnt full-old.kept\n" +
        tool +
        " --save-settings disk/new.vnt 2>full-new.err\n"
        "echo $? >full-new.rc\n"
        "ls -A disk >full.listing\n"
        "rm disk/fill && mount -o remount,ro disk || exit 90\n" +
        tool +
        " --save-settings disk/new.vnt 2>read-only.err\n"
        "echo $? >read-only.rc\n"
        "ls -A disk >read-only.listing'");
    if (r.exit_code == 90 || r.err.find("unshare") != std::string::npos)
        GTEST_SKIP() << "no tmpfs of our own can be mounted here: " << r.err;
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const struct {
        const char* run;
        const char* says;
        const char* listing;
    } cases[] = {
        {"full-old", "disk/old.vnt: cannot write: No space left on device", "fill\nold.vnt\n"},
        {"full-new", "disk/new.vnt: cannot write: No space left on device", "fill\nold.vnt\n"},
        {"read-only", "disk/new.vnt: cannot write: Read-only file system", "old.vnt\n"},
    };
    for (const auto& c : cases) {
        const std::string run = c.run;
        EXPECT_EQ(read_text(dir.file(run + ".rc")), "1\n") << c.run;
        const std::string err = read_text(dir.file(run + ".err"));
        EXPECT_TRUE(one_line(err)) << c.run << ": " << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << c.run << ": " << err;
        const std::string listing = run.substr(0, run.find('-')) == "full"
                                        ? read_text(dir.file("full.listing"))
                                        : read_text(dir.file("read-only.listing"));
        EXPECT_EQ(listing, c.listing) << c.run;
    }
    EXPECT_EQ(read_text(dir.file("full-old.kept")), "[Common]\r\nPost amplifier=0.25\r\n");
}

// A preset reached through a symbolic link is written where the link points; the link stays.
TEST_F(Cli, SaveSettingsWritesThroughALink) {
    std::filesystem::create_directories(dir.file("presets"));
    write_text(dir.file("presets/deck.vnt"), "[Common]\nPost amplifier=0.25\n");
    std::filesystem::create_symlink("presets/deck.vnt", dir.file("deck.vnt"));
    const Result r = run("--set \"Common/Post amplifier=0.5\" --save-settings deck.vnt");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("deck.vnt")));
    EXPECT_NE(read_text(dir.file("presets/deck.vnt")).find("Post amplifier=0.5"),
              std::string::npos);
}

// The plug-in's loader matches section and key names as the player's profile functions do:
// without regard to case, blanks around them ignored, a byte-order mark passed over. --settings
// refused such files, and --save-settings would not update them.
TEST_F(Cli, SettingsFilesThePluginsLoaderReadsAreAccepted) {
    const char* const files[] = {
        "\xEF\xBB\xBF[Dolby B Remover]\r\nPC Recording Volume=2.5\r\n",
        "[dolby b remover]\npc recording volume=2.5\n",
        "[ Dolby B Remover ]\n  PC Recording Volume = 2.5  \n",
        "; written by hand\n\n[DOLBY B REMOVER] ; the remover\nPC Recording Volume=2.5\n",
    };
    for (const char* text : files) {
        write_text(dir.file("hand.vnt"), text);
        const Result loaded = run("--settings hand.vnt --print-settings");
        EXPECT_EQ(loaded.exit_code, 0) << text << loaded.err;
        EXPECT_EQ(loaded.err, "") << text;
        EXPECT_EQ(value_of(loaded.out, "Dolby B Remover/PC Recording Volume"), "2.5") << text;
        const Result saved =
            run("--settings hand.vnt --set \"Common/Post amplifier=0.5\" --save-settings hand.vnt");
        EXPECT_EQ(saved.exit_code, 0) << text << saved.err;
        const Result again = run("--settings hand.vnt --print-settings");
        EXPECT_EQ(value_of(again.out, "Common/Post amplifier"), "0.5") << text;
        EXPECT_EQ(value_of(again.out, "Dolby B Remover/PC Recording Volume"), "2.5") << text;
    }
}

// A value outside the window's range went in without a word. The plug-in keeps such a value
// (a hand-edited file can hold one) and so does the tool, but it says what the processing does
// with it.
TEST_F(Cli, ASetValueOutsideTheWindowsRangeIsSaid) {
    const struct {
        const char* set;
        const char* says;  // empty: nothing to say
        const char* listed;
    } cases[] = {
        {"Dolby B Remover/PC Recording Volume=-3",
         "outside the window's range 0.1 .. 5; the processing uses -3 as given, the player's "
         "window would set 0.1 once touched",
         "-3"},
        {"Dolby B Remover/PC Recording Volume=0",
         "outside the window's range 0.1 .. 5; the processing uses 1 in its place", "0"},
        {"Bias/Amplification - Band 3 Left=7",
         "outside the window's range 0 .. 5; the processing uses 7 as given, the player's window "
         "would set 5 once touched",
         "7"},
        {"Bias/Maximum automatic volume adjustment=0.5",
         "outside the window's range 1 .. 5; the processing uses 1 in its place", "0.5"},
        {"FM stereo noise filter/Reduce stereo noise by percentage=400",
         "outside the window's range 0 .. 300; the processing uses 400 as given", "400"},
        {"Dolby B Remover/PC Recording Volume=2.5", "", "2.5"},
        {"Dolby B Remover/Dolby strength=3", "", "3"},  // no slider, no window range
    };
    for (const auto& c : cases) {
        const std::string set = c.set;
        const Result r = run("--set \"" + set + "\" --print-settings");
        EXPECT_EQ(r.exit_code, 0) << c.set << r.err;
        EXPECT_EQ(value_of(r.out, set.substr(0, set.find('='))), c.listed) << c.set;
        if (c.says[0] == '\0') {
            EXPECT_EQ(r.err, "") << c.set;
            continue;
        }
        EXPECT_TRUE(one_line(r.err)) << c.set << ": " << r.err;
        EXPECT_EQ(r.err.find("varnolt: --set \"" + set + "\": " + c.says), 0u) << r.err;
    }
}

// The player's INI file is the starting point the other options change, "Plugin Configuration"
// included, and its FM "Difference" byte counts as on, as the player's Init reads it.
TEST_F(Cli, PlayerSettingsAreTheStartOfTheOtherOptions) {
    const std::string ini =
        "[Plugin Configuration]\nCPU usage - Screen refresh speed=0.5\nCPU usage - Quality=2\n"
        "Ikke=1234\n[Common]\nPost amplifier=0.1\n[FM stereo noise filter]\nDifference=7\n";
    write_text(dir.file("dsp_varnolt.ini"), ini);
    const Result player = run("--player-settings --print-settings");
    ASSERT_EQ(player.exit_code, 0) << player.err;
    const struct {
        const char* name;
        const char* value;
    } from_player[] = {
        {"Plugin Configuration/CPU usage - Screen refresh speed", "0.5"},
        {"Plugin Configuration/CPU usage - Quality", "2"},
        {"Plugin Configuration/Ikke", "1234"},
        {"Common/Post amplifier", "0.1"},
        {"FM stereo noise filter/Difference", "1"},
        {"Bias/Enabled", "1"},
        {"--mode", "full"},
    };
    for (const auto& e : from_player)
        EXPECT_EQ(value_of("\n" + player.out, e.name), e.value) << e.name;

    write_text(dir.file("deck.vnt"), "[Bias]\nEnabled=0\n");
    const Result changed =
        run("--player-settings --settings deck.vnt --set \"Common/Post amplifier=0.25\" "
            "--mode no-dolby --print-settings");
    ASSERT_EQ(changed.exit_code, 0) << changed.err;
    const struct {
        const char* name;
        const char* value;
    } after_options[] = {
        {"Plugin Configuration/CPU usage - Quality", "2"},
        {"Common/Post amplifier", "0.25"},
        {"Bias/Enabled", "0"},
        {"FM stereo noise filter/Difference", "1"},
        {"--mode", "no-dolby"},
    };
    for (const auto& e : after_options)
        EXPECT_EQ(value_of("\n" + changed.out, e.name), e.value) << e.name;
    EXPECT_EQ(read_text(dir.file("dsp_varnolt.ini")), ini) << "the player's file stays as it was";
}

// An INI file given to --settings sets the "Plugin Configuration" keys it holds as well.
TEST_F(Cli, ASettingsFileSetsItsPluginConfigurationToo) {
    write_text(dir.file("other.ini"),
               "[Plugin Configuration]\nCPU usage - Quality=0\nIkke=99\n"
               "[Common]\nPost amplifier=0.3\n");
    const Result r = run("--settings other.ini --print-settings");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string listing = "\n" + r.out;
    EXPECT_EQ(value_of(listing, "Plugin Configuration/CPU usage - Quality"), "0");
    EXPECT_EQ(value_of(listing, "Plugin Configuration/Ikke"), "99");
    EXPECT_EQ(value_of(listing, "Common/Post amplifier"), "0.3");
}

// Every slider's range, as the window has it, in the words of a value beyond it.
TEST_F(Cli, EverySlidersRangeIsSaidForAValueBeyondIt) {
    std::vector<std::pair<std::string, std::string>> ranges = {
        {"Plugin Configuration/CPU usage - Screen refresh speed", "0 .. 1"},
        {"Common/Post amplifier", "0 .. 10"},
        {"Dolby B Remover/PC Recording Volume", "0.1 .. 5"},
        {"Bias/Main Pre Amplifier Left", "0 .. 2.5"},
        {"Bias/Main Pre Amplifier Right", "0 .. 2.5"},
        {"Bias/Maximum automatic volume adjustment", "1 .. 5"},
        {"FM stereo noise filter/Ignore lowest percentage", "0 .. 100"},
        {"FM stereo noise filter/Multiply by", "0 .. 5"},
        {"FM stereo noise filter/Reduce stereo noise by percentage", "0 .. 300"},
        {"FM stereo noise filter/Delay time", "0 .. 4"},
        {"FM stereo noise filter/Signal roughness", "0 .. 100"},
    };
    for (int band = 1; band <= 8; ++band)
        for (const char* side : {"Left", "Right"})
            ranges.push_back(
                {"Bias/Amplification - Band " + std::to_string(band) + " " + side, "0 .. 5"});
    for (const auto& [name, range] : ranges) {
        const std::string set = name + "=1000";
        const Result r = run("--set \"" + set + "\" --print-settings");
        EXPECT_EQ(r.exit_code, 0) << set << r.err;
        EXPECT_EQ(r.err.find("varnolt: --set \"" + set + "\": outside the window's range " + range +
                             "; "),
                  0u)
            << r.err;
    }
}

// "-" and "dir/" as OUT got 'no audio format is known by the extension "."'; numbers CLI11 could
// not convert, values it did not expect and missing values got CLI11's own words.
TEST_F(Cli, UsageMistakesGetAClearLineOfOurOwn) {
    write_sound("in.wav", tone(2000));
    std::filesystem::create_directories(dir.file("existing"));
    const struct {
        const char* args;
        int exit_code;
        const char* says;
    } cases[] = {
        {"in.wav -", 2, "varnolt: -: standard input and output are not supported"},
        {"- out.wav", 2, "varnolt: -: standard input and output are not supported"},
        {"in.wav folder/", 1, "varnolt: folder/: cannot write: it names a folder"},
        {"in.wav existing", 1, "varnolt: existing: cannot write: it names a folder"},
        {"-j 1e1 -o x in.wav", 2, "varnolt: --jobs: \"1e1\" is not a whole number from 1 to 64"},
        {"--block 1e3 in.wav out.wav", 2, "varnolt: --block: \"1e3\" is not a whole number"},
        {"--bits 20 in.wav out.wav", 2, "varnolt: --bits: \"20\" is not 16, 24 or 32"},
        {"--mode loud in.wav out.wav", 2,
         "varnolt: --mode: \"loud\" is not full, no-dolby or bypass"},
        {"in.wav out.wav -j", 2, "varnolt: --jobs: give N after it"},
        {"--nonsense in.wav out.wav", 2, "varnolt: --nonsense: no such option"},
    };
    for (const auto& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.args;
        EXPECT_TRUE(one_line(r.err)) << c.args << ": " << r.err;
        EXPECT_EQ(r.err.find(c.says), 0u) << c.args << ": " << r.err;
        EXPECT_FALSE(file_exists(dir.file("out.wav"))) << c.args;
    }
    const Result help = run("--help");
    EXPECT_NE(unwrapped(help.out).find("\"-\" for standard input or output is not supported"),
              std::string::npos);
}

// The exit statuses of a run a signal ended were not documented; --print-settings with
// --dolby-level auto wanted an OUT it never wrote; and after "--" a file named "--report" was
// taken for the option.
TEST_F(Cli, HelpGivesEveryExitStatusAndTheCommandLineTakesWhatItSays) {
    const Result help = run("--help");
    const std::string statuses = help.out.substr(help.out.find("Exit status:"));
    for (const char* status : {"130", "143", "129", "141"})
        EXPECT_NE(statuses.find(status), std::string::npos) << status;

    // The same list as with an OUT that is not written.
    write_sound("in.wav", varied(3 * 44100, 2, 44100, 1));
    const Result listed = run("--dolby-level auto --print-settings in.wav");
    EXPECT_EQ(listed.exit_code, 0) << listed.err;
    EXPECT_NE(listed.err.find("in.wav: Dolby B: "), std::string::npos) << listed.err;
    EXPECT_EQ(listed.out, run("--dolby-level auto --print-settings in.wav unused.wav").out);
    EXPECT_FALSE(file_exists(dir.file("unused.wav")));

    write_sound("--report", tone(4000));
    const Result dashed = run("-- --report out.wav");
    EXPECT_EQ(dashed.exit_code, 0) << dashed.err;
    EXPECT_EQ(read_sound("out.wav").frames(), 4000);
    EXPECT_FALSE(file_exists(dir.file("out.png")));
}

}  // namespace
}  // namespace varnolt::testing
