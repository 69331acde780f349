#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "instance_names.h"
#include "processors/processor_set.h"
#include "processors/singleband.h"
#include "settings/ini_path.h"
#include "settings/parameter_table.h"
#include "settings/parameters.h"
#include "settings/profile_store.h"
#include "test_support.h"
#include "ui/plugin_state.h"
#include "ui/resource_ids.h"
#include "ui/window_binding.h"
#include "ui/window_controls.h"

namespace varnolt {
namespace {

// Controls as plain values; records what the logic does to them.
class FakeControls : public ControlPort {
  public:
    int slider_position(int id) override { return positions[id]; }
    void set_slider(int id, int maximum, int tick_frequency, int position) override {
        maxima[id] = maximum;
        ticks[id] = tick_frequency;
        positions[id] = position;
        ++slider_writes;
    }
    void set_label(int id, const char* text) override { labels[id] = text; }
    bool is_checked(int id) override {
        queried.push_back(id);
        return checked[id];
    }
    void post_check(int id, bool on) override {
        posted.push_back(id);
        checked[id] = on;
    }
    void settle() override {}

    std::map<int, int> positions, maxima, ticks;
    std::map<int, std::string> labels;
    std::map<int, bool> checked;
    std::vector<int> queried, posted;
    int slider_writes = 0;
};

class WindowControls : public ::testing::Test, public testing::OwnWindow {
  protected:
    void SetUp() override {
        testing::reset_plugin_state();
        window_controls = WindowControlState{};
        std::snprintf(ini_path, sizeof ini_path, "%s", dir.file("dsp_varnolt.ini").c_str());
    }
    void TearDown() override {
        window_controls = WindowControlState{};
        testing::reset_plugin_state();
    }
    static const SliderSpec& spec(int id) {
        for (const SliderSpec& s : slider_specs)
            if (s.id == id) return s;
        throw std::runtime_error("no slider");
    }
    FakeControls controls;
    testing::ScratchDir dir;
};

TEST_F(WindowControls, ReadingRulesOfEverySlider) {
    const struct {
        int id, position;
        double value;
    } cases[] = {
        {IDC_PC_VOLUME, 0, 0.1},    {IDC_PC_VOLUME, 250, 2.5},        {IDC_MAX_AUTO, 50, 1.0},
        {IDC_MAX_AUTO, 300, 3.0},   {IDC_BAND1_LEFT, 0, 5.0},         {IDC_BAND8_RIGHT, 500, 0.0},
        {IDC_BAND4_LEFT, 380, 1.2}, {IDC_FM_REDUCE, 15000, 150},      {IDC_FM_DELAY, 200, 2.0},
        {IDC_FM_ROUGH, 9250, 7.5},  {IDC_REFRESH_SPEED, 0, 1.0},      {IDC_REFRESH_SPEED, 100, 0.0},
        {IDC_PRE_LEFT, 250, 2.5},   {IDC_AZIMUTH_LIMIT, 2099, 20.99}, {IDC_FM_IGNORE, 2500, 25.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(slider_value_at(spec(c.id), c.position), c.value) << c.id;
}

// The LV2 ports' bounds and the tool's range notes come from the parameter table: each slider of
// a persisted key must have the range the table gives that key.
TEST_F(WindowControls, EverySliderOfAKeyHasTheRangeTheParameterTableGivesIt) {
    int matched = 0;
    for (const SliderSpec& slider : slider_specs) {
        const ParameterField* found = nullptr;
        std::vector<ParameterField> fields;
        auto keep = [&fields](ParameterField f) { fields.push_back(f); };
        for_each_plugin_configuration_field(window_instance().live.values, keep);
        for_each_processing_field(window_instance().live.values, keep);
        for (const ParameterField& f : fields)
            if (f.kind == FieldKind::real && f.real == &slider.value()) found = &f;
        if (found == nullptr) continue;  // the live-only azimuth sliders
        ASSERT_NE(found->range, nullptr) << slider.id;
        EXPECT_EQ(found->range->lowest, slider.range.lowest) << slider.id;
        EXPECT_EQ(found->range->highest, slider.range.highest) << slider.id;
        ++matched;
    }
    EXPECT_EQ(matched, k_sliders - 2);
}

TEST_F(WindowControls, PositionsTicksAndLabels) {
    const struct {
        int id;
        double value;
        int position;
        const char* label;
    } cases[] = {
        {IDC_POST_AMP, 1.5, 150, "1.50"},
        {IDC_AZIMUTH_SPEED, 1.5, 150, "1.5"},
        {IDC_AZIMUTH_LIMIT, 20.99, 2099, "20"},
        {IDC_AZIMUTH_LIMIT, 20.0, 2000, "20"},
        {IDC_FM_REDUCE, 150.0, 15000, "150%"},
        {IDC_FM_DELAY, 0.5, 350, "0.50 s"},
        {IDC_FM_MULTIPLY, 3.25, 325, "* 3.25"},
        {IDC_BAND2_LEFT, 5.0, 0, "5.00"},
        {IDC_BAND2_RIGHT, 0.0, 500, "0.00"},
        {IDC_POST_AMP, 99.0, 1000, "99.00"},
        // Hundredths that binary fractions store a hair low still show their own digits.
        {IDC_BAND3_LEFT, (500 - 471) / 100.0, 471, "0.29"},
        {IDC_BAND3_LEFT, (500 - 123) / 100.0, 123, "3.77"},
        {IDC_AZIMUTH_SPEED, 0.25, 25, "0.2"},
    };
    for (const auto& c : cases) {
        const SliderSpec& s = spec(c.id);
        EXPECT_EQ(slider_position_for(s, c.value), c.position) << c.id;
        char text[32];
        slider_label_text(s, c.value, text, sizeof text);
        EXPECT_STREQ(text, c.label) << c.id;
    }
    set_slider(controls, 25, 150.0, true);  // reduce: a range of 300 ticks every 10 units
    EXPECT_EQ(controls.maxima[IDC_FM_REDUCE], 30000);
    EXPECT_EQ(controls.ticks[IDC_FM_REDUCE], 1000);
    set_slider(controls, 19, 1.0, true);
    EXPECT_EQ(controls.ticks[IDC_POST_AMP], 100);
}

TEST_F(WindowControls, UnchangedSlidersAreSkippedUnlessForced) {
    apply_controls(controls, true);
    EXPECT_EQ(controls.slider_writes, k_sliders);
    EXPECT_EQ(controls.labels[IDC_LABEL_PC_VOLUME], "1.00");
    EXPECT_EQ(controls.labels.count(IDC_NO_LABEL), 0u);
    controls.slider_writes = 0;
    apply_controls(controls, false);
    EXPECT_EQ(controls.slider_writes, 0);
    live.values.post_amplifier = 2.0;
    apply_controls(controls, false);
    EXPECT_EQ(controls.slider_writes, 1);
    EXPECT_EQ(controls.labels[IDC_LABEL_POST_AMP], "2.00");
}

TEST_F(WindowControls, ApplyPostsEveryCheckMarkInOrderAndSaves) {
    live.values.quality = 2;
    apply_controls(controls, true);
    const std::vector<int> order = {1035, 1034, 1067, 1072, 1150, 1151, 1152, 1130, 1073, 1078,
                                    1080, 1079, 1069, 1071, 1075, 1042, 1043, 1081, 1068};
    EXPECT_EQ(controls.posted, order);
    EXPECT_TRUE(controls.checked[IDC_QUALITY_LOW]);
    EXPECT_FALSE(controls.checked[IDC_QUALITY_NORMAL]);
    EXPECT_TRUE(controls.checked[IDC_BIAS_ON]);
    EXPECT_EQ(profile_read(ini_path, "Plugin Configuration", "CPU usage - Quality"), "2");
}

TEST_F(WindowControls, ReadControlsTakesEverySliderAndBox) {
    apply_controls(controls, true);
    controls.positions[IDC_PC_VOLUME] = 0;
    controls.positions[IDC_BAND3_RIGHT] = 100;
    controls.positions[IDC_FM_ROUGH] = 10000;
    controls.checked[IDC_MONO] = true;
    controls.checked[IDC_BIAS_ON] = false;
    controls.checked[IDC_FM_DIFF] = true;
    read_controls(controls);
    EXPECT_EQ(live.values.pc_recording_volume, 0.1);
    EXPECT_EQ(live.values.bands[3].right, 4.0);
    EXPECT_EQ(live.values.signal_roughness, 0.0);
    EXPECT_EQ(live.mono, 1);
    EXPECT_EQ(live.values.bias_enabled, 0);
    EXPECT_EQ(live.values.fm_difference, 1);
}

TEST_F(WindowControls, PairedBoxesKeepTheNewlyCheckedOne) {
    apply_controls(controls, true);  // left relative to right is on at first start
    controls.checked[IDC_RIGHT_RELATIVE] = true;
    read_checkboxes(controls);
    EXPECT_EQ(live.values.right_relative_to_left, 1);
    EXPECT_EQ(live.values.left_relative_to_right, 0);
    // Now the other one is clicked while the first stays checked in the control.
    controls.checked[IDC_LEFT_RELATIVE] = true;
    read_checkboxes(controls);
    EXPECT_EQ(live.values.right_relative_to_left, 0);
    EXPECT_EQ(live.values.left_relative_to_right, 1);
    // One alone is simply read.
    controls.checked[IDC_LEFT_AUTO] = true;
    read_checkboxes(controls);
    EXPECT_EQ(live.values.auto_adjust_left, 1);
    EXPECT_EQ(live.values.auto_adjust_right, 0);
}

TEST_F(WindowControls, OnlyANewlySelectedQualityButtonCounts) {
    live.values.quality = 1;
    controls.checked[IDC_QUALITY_NORMAL] = true;
    controls.checked[IDC_QUALITY_HIGH] = true;  // just clicked
    controls.queried.clear();
    read_checkboxes(controls);
    EXPECT_EQ(live.values.quality, 0);
    EXPECT_EQ(std::count(controls.queried.begin(), controls.queried.end(), IDC_QUALITY_NORMAL), 0)
        << "the matching button is not asked";
    controls.checked[IDC_QUALITY_NORMAL] = false;
    read_checkboxes(controls);
    EXPECT_EQ(live.values.quality, 0) << "clicking the selected one changes nothing";
}

TEST_F(WindowControls, ResetKeepsVolumeMonoToneAndPluginConfiguration) {
    create_processors(instance);
    Settings& p = live.values;
    p.pc_recording_volume = 2.5;
    p.quality = 0;
    p.iconify_at_startup = 1;
    live.mono = 1;
    live.show_tone_level = 1;
    p.post_amplifier = 3.0;
    p.dolby_difference = 1;
    p.bias_enabled = 1;
    p.fm_enabled = 1;
    live.azimuth_enabled = 0;
    p.bands[2].left = 4.0;
    p.auto_adjust_left = 1;
    singleband_state.gain = 0.2;
    reset_parameters();
    EXPECT_EQ(p.pc_recording_volume, 2.5);
    EXPECT_EQ(p.quality, 0);
    EXPECT_EQ(p.iconify_at_startup, 1);
    EXPECT_EQ(live.mono, 1);
    EXPECT_EQ(live.show_tone_level, 1);
    EXPECT_EQ(p.post_amplifier, 1.0);
    EXPECT_EQ(p.dolby_difference, 0);
    EXPECT_EQ(p.bias_enabled, 0);
    EXPECT_EQ(p.fm_enabled, 0);
    EXPECT_EQ(live.azimuth_enabled, 1);
    EXPECT_EQ(p.bands[2].left, 1.0);
    EXPECT_EQ(p.auto_adjust_left, 0);
    EXPECT_EQ(p.auto_adjust_clustered, 1);
    // The compressor's gain is the playback thread's: it jumps back at the next sample.
    processors.singleband->compress_sample(0.0, false);
    EXPECT_EQ(singleband_state.gain, 1.0);
}

TEST_F(WindowControls, ModesFromTheSwitchesAndTrayClicks) {
    Settings& p = live.values;
    p.dolby_enabled = 0;
    p.bias_enabled = 0;
    p.fm_enabled = 0;
    live.azimuth_enabled = 0;
    EXPECT_EQ(window_level_mode(), k_mode_bypass);
    EXPECT_EQ(next_tray_mode(k_mode_bypass), k_mode_bypass) << "everything off: the cross stays";
    p.dolby_enabled = 1;
    EXPECT_EQ(window_level_mode(), k_mode_full);
    EXPECT_EQ(next_tray_mode(k_mode_bypass), k_mode_full);
    EXPECT_EQ(next_tray_mode(k_mode_full), k_mode_bypass) << "only Dolby B: 1 and 0 alternate";
    p.bias_enabled = 1;
    EXPECT_EQ(next_tray_mode(k_mode_full), k_mode_without_dolby);
    EXPECT_EQ(next_tray_mode(k_mode_without_dolby), k_mode_bypass);
    p.dolby_enabled = 0;
    EXPECT_EQ(window_level_mode(), k_mode_without_dolby);
    EXPECT_EQ(next_tray_mode(k_mode_bypass), k_mode_without_dolby)
        << "1 is skipped without Dolby B";
}

}  // namespace
}  // namespace varnolt
