// Values a hand-edited settings file, a preset or a host can deliver may make a block sound
// wrong while they are in force, but once they are put right the sound must come back: no
// state may keep a non-finite value or an overflow that outlives the value.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "chain/instance.h"
#include "listening.h"
#include "plugin/dll_instance.h"
#include "plugin/module_records.h"
#include "processors/processor_set.h"
#include "processors/stereo.h"
#include "processors/tape_processor.h"
#include "settings/parameters.h"
#include "state_check.h"
#include "test_support.h"
#include "ui/plugin_state.h"

namespace varnolt {
namespace {

// The DLL's one instance: these tests drive the module's entries, which work on it.
LiveParameters& live = dll_instance().live;
ProcessorSet& processors = dll_instance().processors;
StereoState& stereo_state = dll_instance().stereo_state;

using testing::Listener;
using testing::Loudness;

constexpr double k_lead_in = 2.0;   // seconds played with sound values first
constexpr double k_spoilt = 2.0;    // seconds played with the bad value
constexpr double k_recovery = 6.0;  // seconds after the value is put right
constexpr double k_measured = 2.0;  // the last seconds of the recovery that are measured
constexpr double k_subnormal = 4.9e-324;

// Every level the processors carry from block to block, and the rest of the plug-in's state.
::testing::AssertionResult states_finite() {
    const std::string which = testing::first_non_finite_state();
    if (which.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << which;
}

struct Spoil {
    const char* what;
    int rate;
    std::function<void()> switches;  // what the listener has on, before playing
    std::function<void()> spoil;     // the bad values
};

class Robustness : public ::testing::Test {
  protected:
    void SetUp() override { start(); }
    void TearDown() override { testing::reset_plugin_state(); }

    static void start() {
        testing::reset_plugin_state();
        create_processors(dll_instance());
    }

    // Lead-in, the spoilt seconds (measured into `during`), then the good values again: the
    // last seconds of the recovery. Without `spoil` the same run with sound values throughout.
    static Loudness run(const Spoil& c, bool spoil, Loudness* during = nullptr) {
        start();
        c.switches();
        Listener listener(c.rate);
        listener.play(k_lead_in);
        const LiveParameters good = live;
        if (spoil) c.spoil();
        const Loudness bad = listener.listen(k_spoilt, k_spoilt);
        if (during) *during = bad;
        live = good;
        return listener.listen(k_recovery, k_measured);
    }

    static void expect_recovers(const Spoil& c) {
        const Loudness clean = run(c, false);
        ASSERT_GT(clean.rms, 0.05) << c.what;
        const Loudness after = run(c, true);
        EXPECT_NEAR(after.rms, clean.rms, 0.02 * clean.rms) << c.what;
        EXPECT_LE(after.zero_share, clean.zero_share + 0.01) << c.what;
        EXPECT_TRUE(states_finite()) << c.what;
    }
};

void fm_filter_on() {
    live.values.fm_enabled = 1;
}
void dolby_on() {
    live.values.dolby_enabled = 1;
}
void every_gain(double g) {
    Settings& p = live.values;
    p.pre_amplifier_left = p.pre_amplifier_right = g;
    for (int f = 1; f <= k_bands; ++f) p.bands[f] = {g, g};
}

TEST_F(Robustness, TheFmHissFilterComesBackAfterAnExtremeValue) {
    const Spoil cases[] = {
        {"band 8 left at 1e308", 44100, fm_filter_on, [] { live.values.bands[8].left = 1e308; }},
        {"Dolby strength subnormal", 44100,
         [] {
             fm_filter_on();
             dolby_on();
         },
         [] { live.values.dolby_strength = k_subnormal; }},
        {"every gain at 1e200", 44100, fm_filter_on, [] { every_gain(1e200); }},
        {"Multiply by 1e308, short delay, 192 kHz", 192000,
         [] {
             fm_filter_on();
             live.values.delay_time = 0.05;
         },
         [] { live.values.multiply_by = 1e308; }},
        {"Multiply by 1e308", 44100, fm_filter_on, [] { live.values.multiply_by = 1e308; }},
    };
    for (const Spoil& c : cases) expect_recovers(c);
}

TEST_F(Robustness, ASubnormalDolbyStrengthLeavesTheSoundAlone) {
    // A strength of almost nothing lowers almost nothing: the output is what the remover gives
    // at strength 0 (the stage off), not silence.
    const Spoil off = {"strength 0", 44100, dolby_on, [] { live.values.dolby_strength = 0.0; }};
    const Spoil tiny = {"strength subnormal", 44100, dolby_on,
                        [] { live.values.dolby_strength = k_subnormal; }};
    Loudness stage_off, subnormal;
    run(off, true, &stage_off);
    run(tiny, true, &subnormal);
    ASSERT_GT(stage_off.rms, 0.05);
    EXPECT_NEAR(subnormal.rms, stage_off.rms, 1e-3 * stage_off.rms);
    EXPECT_LT(subnormal.zero_share, 0.01);
    expect_recovers(tiny);
}

TEST_F(Robustness, OverflowingGainsSaturateAndTheAutomaticAdjustmentCarriesOn) {
    const Spoil c = {"every gain at 1e200, automatic adjustment on", 44100,
                     [] {
                         live.values.auto_adjust_left = 1;
                         live.values.left_relative_to_right = 0;
                     },
                     [] { every_gain(1e200); }};
    Loudness during;
    run(c, true, &during);
    EXPECT_GT(during.rail_share, 0.9) << "a gain beyond any range drives the output to its limits";
    EXPECT_TRUE(states_finite());
    expect_recovers(c);
}

TEST_F(Robustness, AnEnormousAttackSpeedDoesNotPinTheDolbySidechain) {
    const Spoil c = {"Attack speed 1e305", 44100, dolby_on,
                     [] { live.values.attack_speed = 1e305; }};
    expect_recovers(c);
}

// The listener's way: a hand-edited INI file, then the value put right and the player
// restarting the plug-in (Quit and Init), which keeps the processors' state.
TEST_F(Robustness, AHandEditedValueIsGoneOnceTheFileIsPutRightAndThePlayerRestarts) {
    testing::ScratchDir dir;
    const std::string old_profile = std::getenv("USERPROFILE") ? std::getenv("USERPROFILE") : "";
    setenv("USERPROFILE", dir.path().c_str(), 1);
    const std::string ini = dir.file("dsp_varnolt.ini");
    const std::string sound = "[FM stereo noise filter]\nEnabled=1\n[Bias]\n";
    DspModule* module = get_module(k_module_hidden);
    auto session = [&](const char* first_band_line) {
        testing::reset_plugin_state();
        testing::write_text(ini, sound + first_band_line);
        module->Init(module);
        Listener listener;
        listener.play(k_lead_in + k_spoilt);
        testing::write_text(ini, sound + "Amplification - Band 8 Left=1\n");
        module->Quit(module);
        module->Init(module);
        const Loudness after = listener.listen(k_recovery, k_measured);
        module->Quit(module);
        return after;
    };
    const Loudness clean = session("Amplification - Band 8 Left=1\n");
    const Loudness after = session("Amplification - Band 8 Left=1e308\n");
    if (old_profile.empty())
        unsetenv("USERPROFILE");
    else
        setenv("USERPROFILE", old_profile.c_str(), 1);
    ASSERT_GT(clean.rms, 0.05);
    EXPECT_NEAR(after.rms, clean.rms, 0.02 * clean.rms);
    EXPECT_LE(after.zero_share, clean.zero_share + 0.01);
    EXPECT_TRUE(states_finite());
}

TEST_F(Robustness, ANegativeRemovalBeyondAnyRangeSaturatesInsteadOfFallingSilent) {
    const Spoil c = {"Reduce stereo noise by percentage -1.7e308", 44100, fm_filter_on,
                     [] { live.values.reduce_percentage = -1.7e308; }};
    Loudness during;
    run(c, true, &during);
    // A removal of minus almost everything amplifies the stereo excess beyond every range.
    EXPECT_LT(during.zero_share, 0.01) << "NaN is stored as silence";
    EXPECT_GT(during.rail_share, 0.2);
    expect_recovers(c);
}

TEST_F(Robustness, LevelsTooSmallToAverageHaveNoRoughnessAndKeepTheThresholdANumber) {
    // "Multiply by" 4.9e-324 makes every level in the history subnormal: their mean is 0, and
    // the roughness 0 / 0. The filter then keeps the held level, as for a history of zeros.
    live.values.fm_enabled = 1;
    live.values.multiply_by = k_subnormal;
    std::vector<complex_lr> spectrum(k_block_frames);
    for (int block = 0; block < 200; ++block) {
        for (int i = 0; i < k_stereo_bins; ++i)
            spectrum[i] = {std::cos(0.37 * i * block), std::sin(0.11 * i),
                           std::sin(0.29 * i * block), 1.0};
        remove_stereo_hiss(stereo_state, live, spectrum.data(), k_stereo_bins, 44100.0);
        ASSERT_TRUE(std::isfinite(stereo_state.monitor.threshold)) << block;
        ASSERT_TRUE(std::isfinite(stereo_state.monitor.roughness_ratio)) << block;
    }
}

}  // namespace
}  // namespace varnolt
