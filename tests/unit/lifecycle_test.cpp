#include <gtest/gtest.h>

#include <cfenv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "chain/chain.h"
#include "chain/floating_point.h"
#include "chain/instance.h"
#include "plugin/dll_instance.h"
#include "plugin/lifecycle.h"
#include "plugin/load_state.h"
#include "plugin/modify_samples.h"
#include "plugin/module_records.h"
#include "processors/processor_set.h"
#include "processors/singleband.h"
#include "processors/stereo.h"
#include "processors/tape_processor.h"
#include "processors/tone_analyzer.h"
#include "settings/ini_path.h"
#include "settings/parameters.h"
#include "settings/profile_store.h"
#include "test_support.h"
#include "ui/displays.h"
#include "ui/plugin_state.h"
#include "ui/window_binding.h"

namespace varnolt {
namespace {

// The DLL's one instance: these tests drive the module's entries, which work on it.
LiveParameters& live = dll_instance().live;
ChainState& chain = dll_instance().chain;
ProcessorSet& processors = dll_instance().processors;
SamplePathState& sample_path = dll_instance().sample_path;
TapeState& tape_state = dll_instance().tape_state;
StereoState& stereo_state = dll_instance().stereo_state;
SinglebandState& singleband_state = dll_instance().singleband_state;

using testing::file_exists;
using testing::write_text;

// The controls, the tray icon and the displays act on the instance the samples go through, from
// the library's load on, before any entry has run.
TEST(DllInstance, TheWindowIsBoundToTheDllsInstanceAtLoad) {
    EXPECT_EQ(&window_instance(), &dll_instance());
    EXPECT_EQ(&window_displays().instance, &dll_instance());
}

TEST(ModuleRecords, HeaderAndModulesAsTheHostEnumeratesThem) {
    DspHeader* header = dsp_header();
    EXPECT_EQ(header->version, 0x20);
    EXPECT_STREQ(header->description, "Varnolt 1.0 by Tolvane");
    EXPECT_EQ(header->getModule, &get_module);
    DspModule* windowed = get_module(0);
    DspModule* hidden = get_module(1);
    ASSERT_NE(windowed, nullptr);
    ASSERT_NE(hidden, nullptr);
    EXPECT_STREQ(windowed->description, "Window visible");
    EXPECT_STREQ(hidden->description, "Hide window");
    EXPECT_EQ(windowed->Init, &init_windowed);
    EXPECT_EQ(hidden->Init, &init_hidden);
    EXPECT_EQ(windowed->Quit, &quit_windowed);
    EXPECT_EQ(hidden->Quit, &quit_hidden);
    EXPECT_EQ(windowed->Config, hidden->Config);
    EXPECT_EQ(windowed->ModifySamples, hidden->ModifySamples);
    EXPECT_EQ(windowed->userData, nullptr);
    EXPECT_EQ(get_module(2), nullptr);
    EXPECT_EQ(get_module(-1), nullptr);
}

TEST(FloatingPoint, SetUpRestoresRoundToNearestAndClearsFlags) {
    std::fesetround(FE_UPWARD);
    std::feraiseexcept(FE_INEXACT | FE_DIVBYZERO);
    set_up_floating_point();
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
}

class Lifecycle : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::reset_plugin_state();
        const char* old = std::getenv("USERPROFILE");
        if (old) saved_profile = old;
        setenv("USERPROFILE", dir.path().c_str(), 1);
    }
    void TearDown() override {
        if (saved_profile.empty())
            unsetenv("USERPROFILE");
        else
            setenv("USERPROFILE", saved_profile.c_str(), 1);
        testing::reset_plugin_state();
    }
    std::string ini() const { return dir.file("dsp_varnolt.ini"); }

    testing::ScratchDir dir;
    std::string saved_profile;
    DspModule* windowed = get_module(0);
    DspModule* hidden = get_module(1);
};

TEST_F(Lifecycle, HiddenModuleWithoutConfigSavesNothing) {
    EXPECT_EQ(hidden->Init(hidden), 0);
    hidden->Quit(hidden);
    EXPECT_FALSE(file_exists(ini()));
}

TEST_F(Lifecycle, ConfigOnTheHiddenModuleStartsTheWindowedInstanceAndSavesAtQuit) {
    hidden->Init(hidden);
    hidden->Config(hidden);
    EXPECT_EQ(plugin.window_active, 1);
    EXPECT_TRUE(plugin.opened_by_config);
    EXPECT_TRUE(plugin.save_on_quit);
    EXPECT_FALSE(plugin.create_window_on_init);
    hidden->Quit(hidden);
    EXPECT_TRUE(file_exists(ini()));
    EXPECT_TRUE(plugin.create_window_on_init);
}

TEST_F(Lifecycle, WindowedModuleLoadsAtInitAndSavesAtQuit) {
    write_text(ini(), "[Common]\r\nPost amplifier=0.25\r\n[Bias]\r\nEnabled=0\r\n");
    EXPECT_EQ(windowed->Init(windowed), 0);
    EXPECT_EQ(live.values.post_amplifier, 0.25);
    EXPECT_EQ(live.values.bias_enabled, 0);
    EXPECT_EQ(plugin.window_active, 1);
    EXPECT_EQ(window_displays().colour_ramps[0], 0x3DDC61u);
    EXPECT_STREQ(ini_path, ini().c_str());
    windowed->Quit(windowed);
    EXPECT_EQ(profile_read(ini().c_str(), "Common", "Post amplifier"), "0.25");
    EXPECT_EQ(profile_read(ini().c_str(), "Bias", "Enabled"), "0");
    EXPECT_NE(profile_read(ini().c_str(), "Plugin Configuration", "Ikke"), "-1");
    EXPECT_TRUE(plugin.ui_busy);
    EXPECT_TRUE(plugin.create_window_on_init);
}

TEST_F(Lifecycle, ASecondInitReloadsTheSettingsButCreatesNothingNew) {
    windowed->Init(windowed);
    Processor* const tape = processors.tape;
    Processor* const tone = processors.tone;
    ASSERT_NE(tape, nullptr);
    ASSERT_NE(tone, nullptr);
    write_text(ini(), "[Common]\r\nPost amplifier=4\r\n");
    windowed->Init(windowed);
    EXPECT_EQ(live.values.post_amplifier, 4.0);
    EXPECT_FALSE(plugin.create_window_on_init);
    EXPECT_EQ(processors.tape, tape);
    EXPECT_EQ(processors.tone, tone);
}

TEST_F(Lifecycle, InitCreatesTheProcessorsQuitDestroysThemAndTheSettingsSurvive) {
    write_text(ini(), "[Bias]\r\nMain Pre Amplifier Left=1.75\r\n");
    hidden->Init(hidden);
    EXPECT_NE(dynamic_cast<TapeProcessor*>(processors.tape), nullptr);
    EXPECT_NE(dynamic_cast<ToneAnalyzer*>(processors.tone), nullptr);
    EXPECT_EQ(live.values.pre_amplifier_left, 1.75) << "loaded after the constructor's defaults";
    EXPECT_EQ(processors.applied_quality, -1) << "new processors get the quality applied again";
    hidden->Quit(hidden);
    EXPECT_EQ(processors.tape, nullptr);
    EXPECT_EQ(processors.tone, nullptr);
    hidden->Init(hidden);
    EXPECT_NE(processors.tape, nullptr);
    hidden->Quit(hidden);
}

TEST_F(Lifecycle, ProcessorStateOutlivesTheObjectsAcrossQuitAndInit) {
    hidden->Init(hidden);
    EXPECT_NE(dynamic_cast<Stereo*>(processors.stereo), nullptr);
    EXPECT_NE(processors.singleband, nullptr);
    stereo_state.current_slope = 0.003;
    stereo_state.level_history[5] = 42.0;
    tape_state.sidechain_level[1] = 77.0;
    singleband_state.gain = 0.25;
    hidden->Quit(hidden);
    hidden->Init(hidden);
    EXPECT_EQ(stereo_state.current_slope, 0.003);
    EXPECT_EQ(stereo_state.level_history[5], 42.0);
    EXPECT_EQ(tape_state.sidechain_level[1], 77.0);
    EXPECT_EQ(singleband_state.gain, 1.0) << "building the compressor restarts its gain";
    EXPECT_EQ(live.azimuth_enabled, 1) << "building the stereo processor turns the azimuth on";
    hidden->Quit(hidden);
}

TEST_F(Lifecycle, IconifyAtStartupRecomputesTheProcessingMode) {
    const struct {
        const char* switches;
        bool azimuth;
        int mode;
    } cases[] = {
        {"[Dolby B Remover]\nEnabled=1\n[Bias]\nEnabled=0\n", false, k_mode_full},
        {"[Dolby B Remover]\nEnabled=0\n[Bias]\nEnabled=1\n", false, k_mode_without_dolby},
        {"[Dolby B Remover]\nEnabled=0\n[Bias]\nEnabled=0\n", true, k_mode_without_dolby},
        {"[Dolby B Remover]\nEnabled=0\n[Bias]\nEnabled=0\n[FM stereo noise filter]\nEnabled=1\n",
         false, k_mode_without_dolby},
        {"[Dolby B Remover]\nEnabled=0\n[Bias]\nEnabled=0\n", false, k_mode_bypass},
    };
    for (const auto& c : cases) {
        testing::reset_plugin_state();
        // Building the stereo processor turns the azimuth correction on; a later Init reuses
        // the objects and keeps the switch as the listener left it.
        write_text(ini(),
                   std::string("[Plugin Configuration]\nIconify at startup=1\n") + c.switches);
        windowed->Init(windowed);
        live.azimuth_enabled = c.azimuth;
        windowed->Init(windowed);
        EXPECT_TRUE(plugin.iconified) << c.switches;
        EXPECT_EQ(live.processing_mode, c.mode) << c.switches;
    }
}

TEST_F(Lifecycle, WithoutIconifyTheModeIsKept) {
    live.processing_mode = k_mode_without_dolby;
    write_text(ini(), "[Dolby B Remover]\nEnabled=1\n");
    windowed->Init(windowed);
    EXPECT_FALSE(plugin.iconified);
    EXPECT_EQ(live.processing_mode, k_mode_without_dolby);
}

TEST_F(Lifecycle, ConfigAfterQuitStartsTheWindowedInstanceAgain) {
    write_text(ini(), "[Plugin Configuration]\nIconify at startup=1\n");
    windowed->Init(windowed);
    windowed->Quit(windowed);
    EXPECT_FALSE(plugin.iconified) << "the icon went with the window";
    write_text(ini(), "[Common]\nPost amplifier=2\n");
    windowed->Config(windowed);
    EXPECT_FALSE(plugin.create_window_on_init);
    EXPECT_TRUE(plugin.save_on_quit);
    EXPECT_EQ(live.values.post_amplifier, 2.0) << "the restart loaded the settings";
    hidden->Quit(hidden);
    EXPECT_EQ(profile_read(ini().c_str(), "Common", "Post amplifier"), "2");
}

TEST_F(Lifecycle, AnInitAfterQuitLetsTheDisplaysAndTheTrayIconDrawAgain) {
    // Quit marks the window busy so nothing draws while it goes; a window started hidden behind
    // the tray icon gets no paint message that would clear the mark.
    write_text(ini(), "[Plugin Configuration]\nIconify at startup=1\n");
    windowed->Init(windowed);
    windowed->Quit(windowed);
    EXPECT_TRUE(plugin.ui_busy);
    windowed->Init(windowed);
    EXPECT_TRUE(plugin.iconified);
    EXPECT_FALSE(plugin.ui_busy);
}

TEST_F(Lifecycle, ConfigWhileIconifiedShowsTheWindow) {
    write_text(ini(), "[Plugin Configuration]\nIconify at startup=1\n");
    windowed->Init(windowed);
    ASSERT_TRUE(plugin.iconified);
    plugin.window_active = 0;  // as after the window was closed
    windowed->Config(windowed);
    EXPECT_FALSE(plugin.iconified);
    EXPECT_EQ(plugin.window_active, 1);
}

// What a player that unloads and loads the plug-in again meets: the pinned DLL keeps its data,
// and its header request starts it afresh. The same session then sounds the same, dither
// included (the instance's generator starts over too); the live parameters keep their values.
TEST_F(Lifecycle, AReloadSoundsLikeTheFirstLoadAndKeepsTheLiveParameters) {
    write_text(ini(),
               "[Singleband Compressor]\r\nEnabled=1\r\n[Dolby B Remover]\r\nEnabled=1\r\n"
               "[FM stereo noise filter]\r\nEnabled=1\r\n");
    auto session = [this] {
        windowed->Init(windowed);
        std::vector<short> block(2 * 576);
        std::vector<short> played;
        for (int b = 0; b < 40; ++b) {
            for (int n = 0; n < 576; ++n) {
                const double t = (b * 576 + n) / 44100.0;
                block[2 * n] = static_cast<short>(8000.0 * std::sin(2 * M_PI * 440.0 * t));
                block[2 * n + 1] = static_cast<short>(3000.0 * std::sin(2 * M_PI * 3000.0 * t));
            }
            windowed->ModifySamples(windowed, block.data(), 576, 16, 2, 44100);
            played.insert(played.end(), block.begin(), block.end());
        }
        windowed->Quit(windowed);
        return played;
    };
    live.show_tone_level = 1;  // a live-only value: never saved, kept in memory
    // The first save writes the Dolby B coefficients at nine decimals, a hair from their
    // built-in values: compare sessions that all start from the saved file.
    session();
    start_afresh_if_idle();
    const std::vector<short> first = session();
    const std::vector<short> without_reload = session();
    EXPECT_NE(without_reload, first) << "Quit and Init keep the processors' state, as they should";

    start_afresh_if_idle();
    const std::vector<short> reloaded = session();
    for (std::size_t i = 0; i < first.size(); ++i)
        ASSERT_EQ(reloaded[i], first[i]) << "sample " << i;
    EXPECT_EQ(live.show_tone_level, 1);
    EXPECT_EQ(live.values.singleband_enabled, 1);
}

TEST_F(Lifecycle, AHeaderRequestWhileAModuleRunsChangesNothing) {
    hidden->Init(hidden);
    chain.input_peak[0] = 5.0;
    sample_path.refresh_credit = 0.5;
    start_afresh_if_idle();
    EXPECT_EQ(chain.input_peak[0], 5.0);
    EXPECT_EQ(sample_path.refresh_credit, 0.5);
    hidden->Quit(hidden);
    start_afresh_if_idle();
    EXPECT_EQ(chain.input_peak[0], 0.0);
    EXPECT_EQ(sample_path.refresh_credit, 0.0);
}

// A folder path of exactly `length` characters below `base`, in names of at most 100.
std::string folder_path_of_length(const std::string& base, int length, char letter) {
    std::string path = base;
    while (static_cast<int>(path.size()) < length) {
        const int room = length - static_cast<int>(path.size()) - 1;
        if (room <= 0)
            path += letter;  // no room for a separator and a name: the last name grows
        else
            path += "/" + std::string(static_cast<std::size_t>(std::min(room, 100)), letter);
    }
    return path;
}

// A profile folder longer than the path holds: cut short it would name another folder, so the
// settings stay in memory and no file is read or written, here or in the current folder.
TEST_F(Lifecycle, AProfileTooLongForThePathReadsAndWritesNoFile) {
    const std::filesystem::path cwd = std::filesystem::current_path();
    testing::ScratchDir work;
    std::filesystem::current_path(work.path());
    for (const int length : {k_path_piece_chars + 1, 600}) {
        const std::string profile = folder_path_of_length(dir.path(), length, 'd');
        std::filesystem::create_directories(profile);
        // What the cut path would have named: the profile's first 512 characters.
        const std::string cut = profile.substr(0, k_path_piece_chars);
        std::filesystem::create_directories(cut);
        write_text(profile + "/dsp_varnolt.ini", "[Common]\r\nPost amplifier=0.25\r\n");
        setenv("USERPROFILE", profile.c_str(), 1);
        live.values.post_amplifier = 3.0;
        windowed->Init(windowed);
        EXPECT_EQ(live.values.post_amplifier, 3.0) << length << ": nothing was read";
        EXPECT_STREQ(ini_path, "");
        live.values.bias_enabled = 0;
        windowed->Quit(windowed);
        EXPECT_EQ(live.values.post_amplifier, 3.0);
        EXPECT_TRUE(std::filesystem::is_empty(work.path())) << length;
        EXPECT_TRUE(std::filesystem::is_empty(cut)) << length;
        EXPECT_EQ(testing::read_text(profile + "/dsp_varnolt.ini"),
                  "[Common]\r\nPost amplifier=0.25\r\n");
    }
    std::filesystem::current_path(cwd);

    // 512 characters still fit.
    const std::string profile = folder_path_of_length(dir.path(), k_path_piece_chars, 'e');
    std::filesystem::create_directories(profile);
    setenv("USERPROFILE", profile.c_str(), 1);
    windowed->Init(windowed);
    windowed->Quit(windowed);
    EXPECT_TRUE(file_exists(profile + "/dsp_varnolt.ini"));
}

}  // namespace
}  // namespace varnolt
