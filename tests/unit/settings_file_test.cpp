#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "instance_names.h"
#include "settings/ini_path.h"
#include "settings/parameter_table.h"
#include "settings/parameters.h"
#include "settings/presets.h"
#include "settings/profile_store.h"
#include "settings/settings_file.h"
#include "test_support.h"

namespace varnolt {
namespace {

using testing::read_text;
using testing::ScratchDir;
using testing::write_text;

constexpr long long k_fixed_stamp = 1165512345;

const char* const k_first_start_ini =
    "[Plugin Configuration]\r\n"
    "Iconify at startup=0\r\n"
    "CPU usage - Screen refresh speed=1\r\n"
    "CPU usage - Quality=1\r\n"
    "Ikke=1165512345\r\n"
    "[Common]\r\n"
    "Post amplifier=1\r\n"
    "[Singleband Compressor]\r\n"
    "Enabled=0\r\n"
    "[Dolby B Remover]\r\n"
    "PC Recording Volume=1\r\n"
    "Enabled=0\r\n"
    "Difference=0\r\n"
    "Attack speed=0.000004565\r\n"
    "Decay speed=0.00021\r\n"
    "Dolby strength=1\r\n"
    "Standard decoder=0\r\n"
    "[Bias]\r\n"
    "Enabled=1\r\n"
    "Main Pre Amplifier Left=1\r\n"
    "Main Pre Amplifier Right=1\r\n"
    "Amplification - Band 1 Left=1\r\n"
    "Amplification - Band 1 Right=1\r\n"
    "Amplification - Band 2 Left=1\r\n"
    "Amplification - Band 2 Right=1\r\n"
    "Amplification - Band 3 Left=1\r\n"
    "Amplification - Band 3 Right=1\r\n"
    "Amplification - Band 4 Left=1\r\n"
    "Amplification - Band 4 Right=1\r\n"
    "Amplification - Band 5 Left=1\r\n"
    "Amplification - Band 5 Right=1\r\n"
    "Amplification - Band 6 Left=1\r\n"
    "Amplification - Band 6 Right=1\r\n"
    "Amplification - Band 7 Left=1\r\n"
    "Amplification - Band 7 Right=1\r\n"
    "Amplification - Band 8 Left=1\r\n"
    "Amplification - Band 8 Right=1\r\n"
    "Maximum automatic volume adjustment=2\r\n"
    "Right channel amplification relative to left channel=0\r\n"
    "Left channel amplification relative to right channel=1\r\n"
    "Auto-adjust left channel amplification=0\r\n"
    "Auto-adjust right channel amplification=0\r\n"
    "Auto-adjust clustered=1\r\n"
    "Auto-adjust bias only=1\r\n"
    "[FM stereo noise filter]\r\n"
    "Enabled=0\r\n"
    "Difference=0\r\n"
    "Ignore lowest percentage=25\r\n"
    "Multiply by=2\r\n"
    "Reduce stereo noise by percentage=150\r\n"
    "Delay time=2\r\n"
    "Signal roughness=7.5\r\n";

class SettingsFile : public ::testing::Test, public testing::OwnInstance {
  protected:
    void SetUp() override {
        reset_all();
        set_stamp_clock([] { return k_fixed_stamp; });
    }
    void TearDown() override { reset_all(); }
    std::string path(const char* name = "dsp_varnolt.ini") const { return dir.file(name); }
    ScratchDir dir;
};

TEST_F(SettingsFile, FirstSaveWritesEveryKeyInOrderAndStampsIkke) {
    save_all_settings(instance.live, path().c_str(), true);
    EXPECT_EQ(read_text(path()), k_first_start_ini);
    EXPECT_EQ(live.values.ikke, k_fixed_stamp);
}

// The file functions work on the caller's value alone: the stamp goes back into the value that
// was saved, a load fills only the value it is given, and the live parameters stay as they are.
TEST_F(SettingsFile, SaveAndLoadWorkOnTheCallersValue) {
    Settings saved;
    saved.post_amplifier = 0.5;
    ASSERT_TRUE(save_settings_file(path().c_str(), saved, true));
    EXPECT_EQ(saved.ikke, k_fixed_stamp);
    EXPECT_EQ(live.values.ikke, -1);
    EXPECT_EQ(live.values.post_amplifier, 1.0);

    Settings loaded;
    loaded.post_amplifier = 3.0;
    Settings other = loaded;
    load_settings_file(path().c_str(), loaded);
    EXPECT_EQ(loaded.post_amplifier, 0.5);
    EXPECT_EQ(loaded.ikke, k_fixed_stamp);
    EXPECT_EQ(other.post_amplifier, 3.0);
    EXPECT_EQ(live.values.post_amplifier, 1.0);
}

TEST_F(SettingsFile, AStampedIkkeIsKeptByLaterSaves) {
    live.values.ikke = 42;
    save_all_settings(instance.live, path().c_str(), true);
    EXPECT_EQ(profile_read(path().c_str(), "Plugin Configuration", "Ikke"), "42");
    EXPECT_EQ(live.values.ikke, 42);
}

TEST_F(SettingsFile, NineDecimalsSurviveARoundTrip) {
    save_all_settings(instance.live, path().c_str(), true);
    live.values.attack_speed = 0.5;
    load_preset(instance.live, path().c_str());
    EXPECT_DOUBLE_EQ(live.values.attack_speed, 4.565e-06);
    EXPECT_DOUBLE_EQ(live.values.decay_speed, 0.00021);
}

TEST_F(SettingsFile, LoadingAppliesTheReadRules) {
    write_text(
        path(),
        "[Plugin Configuration]\nCPU usage - Quality=1.9\nIkke=77.8\n"
        "[Common]\nPost amplifier=\n"
        "[Dolby B Remover]\nPC Recording Volume=2.5 volts\nDolby strength=abc\n"
        "[Bias]\nEnabled=7\nAuto-adjust clustered=256\nAuto-adjust left channel amplification=3.9\n"
        "[FM stereo noise filter]\nDifference=7\nDelay time=0.25\n");
    live.values.post_amplifier = 3.5;
    load_preset(instance.live, path().c_str());
    const Settings& v = live.values;
    EXPECT_EQ(v.quality, 1);
    EXPECT_EQ(v.ikke, 77);
    EXPECT_EQ(v.post_amplifier, 3.5) << "an empty value leaves the parameter unchanged";
    EXPECT_EQ(v.pc_recording_volume, 2.5);
    EXPECT_EQ(v.dolby_strength, 0.0) << "text without a number reads as 0";
    EXPECT_EQ(v.bias_enabled, 7) << "flags keep their byte";
    EXPECT_EQ(v.auto_adjust_clustered, 0) << "only the low byte of 256 is kept";
    EXPECT_EQ(v.auto_adjust_left, 3);
    EXPECT_EQ(v.fm_difference, 1) << "the FM difference is normalised";
    Settings read;
    load_settings_file(path().c_str(), read);
    EXPECT_EQ(read.fm_difference, 7) << "the loader itself keeps the byte";
    EXPECT_EQ(v.delay_time, 0.25);
    EXPECT_EQ(v.multiply_by, 2.0) << "a missing key leaves the parameter unchanged";
}

TEST_F(SettingsFile, NonFiniteValuesLeaveTheirParametersUnchanged) {
    write_text(path(),
               "[Common]\nPost amplifier=nan\n[Bias]\nMain Pre Amplifier Left=inf\n"
               "Maximum automatic volume adjustment=1e999\n[Plugin Configuration]\nIkke=nan\n"
               "CPU usage - Quality=-inf\n");
    live.values.quality = 2;
    load_preset(instance.live, path().c_str());
    EXPECT_EQ(live.values.post_amplifier, 1.0);
    EXPECT_EQ(live.values.pre_amplifier_left, 1.0);
    EXPECT_EQ(live.values.maximum_auto_adjustment, 2.0);
    EXPECT_EQ(live.values.ikke, -1);
    EXPECT_EQ(live.values.quality, 2);
}

TEST_F(SettingsFile, QualityIsLimitedToTheThreeLevels) {
    const struct {
        const char* text;
        int quality;
    } cases[] = {{"5", 2}, {"2.9", 2}, {"-3", 0}, {"0", 0}, {"1", 1}, {"12345678901", 2}};
    for (const auto& c : cases) {
        write_text(path(),
                   std::string("[Plugin Configuration]\nCPU usage - Quality=") + c.text + "\n");
        live.values.quality = 1;
        load_preset(instance.live, path().c_str());
        EXPECT_EQ(live.values.quality, c.quality) << c.text;
    }
}

TEST_F(SettingsFile, AMissingFileChangesOnlyIkke) {
    live.values.ikke = 1234;
    live.values.post_amplifier = 4.0;
    load_preset(instance.live, path("missing.ini").c_str());
    EXPECT_EQ(live.values.ikke, -1);
    EXPECT_EQ(live.values.post_amplifier, 4.0);
}

TEST_F(SettingsFile, FirstStartValuesAreTheDefaults) {
    const Settings& v = live.values;
    EXPECT_EQ(v.iconify_at_startup, 0);
    EXPECT_EQ(v.screen_refresh_speed, 1.0);
    EXPECT_EQ(v.quality, 1);
    EXPECT_EQ(v.ikke, -1);
    EXPECT_EQ(v.attack_speed, 4.565376186997809e-06);
    EXPECT_EQ(v.decay_speed, 0.00021000000000004349);
    EXPECT_EQ(v.bias_enabled, 1);
    EXPECT_EQ(v.left_relative_to_right, 1);
    EXPECT_EQ(v.right_relative_to_left, 0);
    EXPECT_EQ(v.auto_adjust_clustered, 1);
    EXPECT_EQ(v.auto_adjust_bias_only, 1);
    for (const BandGain& band : v.bands) {
        EXPECT_EQ(band.left, 1.0);
        EXPECT_EQ(band.right, 1.0);
    }
    EXPECT_EQ(live.azimuth_enabled, 1);
    EXPECT_EQ(live.mono, 0);
}

// Every processing key's value, in file order, flags as numbers.
std::vector<double> processing_values(Settings& s) {
    std::vector<double> values;
    for_each_processing_field(s, [&](const ParameterField& f) {
        values.push_back(f.kind == FieldKind::real ? *f.real : *f.switch_byte);
    });
    return values;
}

TEST_F(SettingsFile, APresetRestoresEveryProcessingKeyAndHoldsNoPluginConfiguration) {
    Settings& v = live.values;
    int counter = 0;
    std::set<std::string> keys;
    for_each_processing_field(v, [&](const ParameterField& f) {
        keys.insert(std::string(f.section) + "/" + f.key);
        ++counter;
        if (f.kind == FieldKind::real) *f.real = counter + 0.123456789;
        if (f.kind == FieldKind::flag) *f.switch_byte = static_cast<flag>(counter % 2);
    });
    EXPECT_EQ(counter, k_processing_keys);
    EXPECT_EQ(keys.size(), static_cast<std::size_t>(k_processing_keys));
    const std::vector<double> saved = processing_values(v);
    v.quality = 2;
    save_preset(instance.live, path("tape.vnt").c_str());
    EXPECT_EQ(read_text(path("tape.vnt")).find("Plugin Configuration"), std::string::npos);

    for_each_processing_field(v, [](const ParameterField& f) {
        if (f.kind == FieldKind::real) *f.real = -1.0;
        if (f.kind == FieldKind::flag) *f.switch_byte = 9;
    });
    v.quality = 0;
    load_preset(instance.live, path("tape.vnt").c_str());
    const std::vector<double> loaded = processing_values(v);
    ASSERT_EQ(loaded.size(), saved.size());
    for (std::size_t i = 0; i < saved.size(); ++i) EXPECT_NEAR(loaded[i], saved[i], 5e-10) << i;
    EXPECT_EQ(v.quality, 0) << "a preset does not change the quality";
    EXPECT_EQ(v.ikke, -1) << "a preset has no Ikke, so the next save stamps a new time";
}

TEST_F(SettingsFile, LoadingTheOwnIniAsAPresetLoadsItsPluginConfiguration) {
    live.values.iconify_at_startup = 1;
    live.values.screen_refresh_speed = 0.5;
    save_all_settings(instance.live, path().c_str(), true);
    reset_all();
    load_preset(instance.live, path().c_str());
    EXPECT_EQ(live.values.iconify_at_startup, 1);
    EXPECT_EQ(live.values.screen_refresh_speed, 0.5);
    EXPECT_EQ(live.values.ikke, k_fixed_stamp);
}

TEST_F(SettingsFile, SavingUpdatesAnExistingFileKeyByKey) {
    write_text(path(),
               "[FM stereo noise filter]\r\nMultiply by=9\r\nMine=1\r\n[Elsewhere]\r\nx=y\r\n");
    save_preset(instance.live, path().c_str());
    const std::string text = read_text(path());
    EXPECT_NE(text.find("[FM stereo noise filter]\r\nMultiply by=2\r\nMine=1\r\nEnabled=0\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[Elsewhere]\r\nx=y\r\n[Common]"), std::string::npos) << text;
}

class IniPath : public ::testing::Test, public testing::OwnInstance {
  protected:
    void SetUp() override {
        const char* old = std::getenv("USERPROFILE");
        had_profile = old != nullptr;
        if (had_profile) saved = old;
    }
    void TearDown() override {
        if (had_profile)
            setenv("USERPROFILE", saved.c_str(), 1);
        else
            unsetenv("USERPROFILE");
    }
    bool had_profile = false;
    std::string saved;
};

TEST_F(IniPath, FollowsTheProfileDirectory) {
    setenv("USERPROFILE", "/home/listener", 1);
    build_ini_path();
    EXPECT_STREQ(ini_path, "/home/listener/dsp_varnolt.ini");
    unsetenv("USERPROFILE");
    build_ini_path();
    EXPECT_STREQ(ini_path, "dsp_varnolt.ini");
}

TEST_F(IniPath, AProfileDirectoryOver512CharactersGivesNoPathAtAll) {
    // Cut at 512 characters it would name another folder.
    for (const auto& [length, expected] :
         {std::pair{512, std::string(512, 'd') + "/dsp_varnolt.ini"}, std::pair{513, std::string()},
          std::pair{700, std::string()}}) {
        setenv("USERPROFILE", std::string(length, 'd').c_str(), 1);
        build_ini_path();
        EXPECT_EQ(std::string(ini_path), expected) << length;
        EXPECT_EQ(profile_path_usable(ini_path), !expected.empty()) << length;
    }
}

}  // namespace
}  // namespace varnolt
