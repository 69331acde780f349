// The configuration window of the real DLL under wine, driven through the stand-in host.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "screenshot.h"
#include "settings/profile_store.h"

namespace varnolt::testing {
namespace {

class WindowUnderWine : public HostUnderWine {
  protected:
    HostRun script(const std::string& steps, const std::string& module = "0",
                   const std::string& in = "", const std::string& out = "") {
        return play(module, in, out, {"--script", steps});
    }
    std::string key(const char* section, const char* name) const {
        return profile_read(ini().c_str(), section, name);
    }
    // The lines the host printed for "label", "checked" and "visible" steps, in order.
    static std::vector<std::string> reports(const HostRun& run) {
        std::vector<std::string> lines;
        std::istringstream out(run.out);
        std::string line;
        while (std::getline(out, line))
            if (line.rfind("label ", 0) == 0 || line.rfind("checked ", 0) == 0 ||
                line.rfind("visible", 0) == 0)
                lines.push_back(line);
        return lines;
    }
    // A 16-bit stereo recording of `blocks` player blocks with programme in both channels.
    void write_blocks(int blocks) {
        write_recording(dir.file("in.wav"),
                        tone(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 576 * blocks));
    }
    // Whether the output blocks first .. last (inclusive) are the input, bit for bit.
    bool blocks_untouched(int first, int last) {
        Recording input, output;
        if (!read_recording(dir.file("in.wav"), input) ||
            !read_recording(dir.file("out.wav"), output))
            return false;
        const std::size_t begin = 2 * 576 * static_cast<std::size_t>(first);
        const std::size_t end = 2 * 576 * static_cast<std::size_t>(last + 1);
        for (std::size_t i = begin; i < end; ++i)
            if (input.samples[i] != output.samples[i]) return false;
        return true;
    }
};

TEST_F(WindowUnderWine, SliderLabelsAndStoredValuesFollowThePositions) {
    HostRun run = script(
        "slider 1027 0; label 1064;"     // pc recording volume at 0 stores 0.1
        "slider 1065 40; label 1066;"    // max rel amp below 1 stores 1
        "slider 1001 0; label 1022;"     // band 1 left at the top reads 5
        "slider 1018 500; label 1060;"   // band 8 right at the bottom reads 0
        "slider 1029 2099; label 1037;"  // the azimuth limit shows whole micrometres
        "slider 1028 25; label 1041;"    // azimuth speed, one decimal
        "slider 1036 5000; label 1045;"  // ignore lowest percentage
        "slider 1044 325; label 1046;"   // multiply by
        "slider 1009 0; label 1047;"     // reduce by, vertical: top is 300 %
        "slider 1048 150; label 1049;"   // delay time, vertical
        "slider 1011 250; label 1062;"   // post amplifier
        "slider 1058 2500");             // roughness has no label
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> expected = {
        "label 1064: 0.10", "label 1066: 1.00",   "label 1022: 5.00", "label 1060: 0.00",
        "label 1037: 20",   "label 1041: 0.2",    "label 1045: 50%",  "label 1046: * 3.25",
        "label 1047: 300%", "label 1049: 2.50 s", "label 1062: 2.50",
    };
    EXPECT_EQ(reports(run), expected) << run.out;
    EXPECT_EQ(key("Dolby B Remover", "PC Recording Volume"), "0.1");
    EXPECT_EQ(key("Bias", "Maximum automatic volume adjustment"), "1");
    EXPECT_EQ(key("Bias", "Amplification - Band 1 Left"), "5");
    EXPECT_EQ(key("Bias", "Amplification - Band 8 Right"), "0");
    EXPECT_EQ(key("FM stereo noise filter", "Ignore lowest percentage"), "50");
    EXPECT_EQ(key("FM stereo noise filter", "Multiply by"), "3.25");
    EXPECT_EQ(key("FM stereo noise filter", "Reduce stereo noise by percentage"), "300");
    EXPECT_EQ(key("FM stereo noise filter", "Delay time"), "2.5");
    EXPECT_EQ(key("FM stereo noise filter", "Signal roughness"), "75");
    EXPECT_EQ(key("Common", "Post amplifier"), "2.5");
}

TEST_F(WindowUnderWine, EveryEqualiserAndPreAmplifierLabel) {
    const int left[] = {1001, 1003, 1006, 1000, 1004, 1005, 1002, 1007};
    const int left_labels[] = {1022, 1030, 1031, 1050, 1051, 1052, 1053, 1059};
    const int right[] = {1008, 1012, 1013, 1014, 1015, 1016, 1017, 1018};
    const int right_labels[] = {1026, 1032, 1033, 1054, 1055, 1056, 1057, 1060};
    std::string steps = "slider 1010 125; label 1061; slider 1019 37; label 1063";
    std::vector<std::string> expected = {"label 1061: 1.25", "label 1063: 0.37"};
    const char* left_text[] = {"4.50", "4.00", "3.50", "3.00", "2.50", "2.00", "1.50", "1.00"};
    for (int b = 0; b < 8; ++b) {
        // Left band b + 1 at position 50 (b + 1); right band b + 1 reads (29 + b + 1) / 100.
        steps += "; slider " + std::to_string(left[b]) + " " + std::to_string(50 * (b + 1)) +
                 "; label " + std::to_string(left_labels[b]);
        steps += "; slider " + std::to_string(right[b]) + " " + std::to_string(471 - (b + 1)) +
                 "; label " + std::to_string(right_labels[b]);
        expected.push_back("label " + std::to_string(left_labels[b]) + ": " + left_text[b]);
        expected.push_back("label " + std::to_string(right_labels[b]) + ": 0.3" +
                           std::to_string(b));
    }
    HostRun run = script(steps);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(reports(run), expected) << run.out;
    EXPECT_EQ(key("Bias", "Main Pre Amplifier Left"), "1.25");
    EXPECT_EQ(key("Bias", "Amplification - Band 3 Left"), "3.5");
    EXPECT_EQ(key("Bias", "Amplification - Band 8 Right"), "0.37");
}

TEST_F(WindowUnderWine, PairedBoxesKeepAtMostOneChecked) {
    // First start: "RELATIVE TO RIGHT" (1078) is on. Checking "RELATIVE TO LEFT" (1073) turns
    // it off; the two AUTO boxes behave alike.
    HostRun run = script(
        "click 1073; checked 1073; checked 1078; click 1080; click 1079; checked 1080; checked "
        "1079");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> expected = {"checked 1073: 1", "checked 1078: 0",
                                               "checked 1080: 0", "checked 1079: 1"};
    EXPECT_EQ(reports(run), expected) << run.out;
    EXPECT_EQ(key("Bias", "Right channel amplification relative to left channel"), "1");
    EXPECT_EQ(key("Bias", "Left channel amplification relative to right channel"), "0");
    EXPECT_EQ(key("Bias", "Auto-adjust left channel amplification"), "0");
    EXPECT_EQ(key("Bias", "Auto-adjust right channel amplification"), "1");
}

TEST_F(WindowUnderWine, QualityRadioButtonsSetTheQualityAtOnce) {
    HostRun high = script("click 1150; click 1150");
    ASSERT_EQ(high.exit_code, 0) << high.err;
    EXPECT_EQ(key("Plugin Configuration", "CPU usage - Quality"), "0");
    HostRun low = script("click 1152; checked 1150; checked 1152");
    ASSERT_EQ(low.exit_code, 0) << low.err;
    EXPECT_EQ(key("Plugin Configuration", "CPU usage - Quality"), "2");
    const std::vector<std::string> expected = {"checked 1150: 0", "checked 1152: 1"};
    EXPECT_EQ(reports(low), expected) << low.out;
}

TEST_F(WindowUnderWine, ResetRestoresDefaultsButKeepsWhatItMust) {
    HostRun run = script(
        "slider 1027 200; slider 1011 300; slider 1010 50; click 1068; click 1075; click 1072; "
        "click 1067;"
        "click 1150; click 1130; click 1043; command 1025; checked 1068; checked 1075; checked "
        "1034; checked 1042");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> expected = {"checked 1068: 1", "checked 1075: 1",
                                               "checked 1034: 0", "checked 1042: 1"};
    EXPECT_EQ(reports(run), expected) << run.out;
    EXPECT_EQ(key("Dolby B Remover", "PC Recording Volume"), "2") << "kept";
    EXPECT_EQ(key("Plugin Configuration", "CPU usage - Quality"), "0") << "kept";
    EXPECT_EQ(key("Plugin Configuration", "Iconify at startup"), "1") << "kept";
    EXPECT_EQ(key("Common", "Post amplifier"), "1");
    EXPECT_EQ(key("Bias", "Main Pre Amplifier Left"), "1");
    EXPECT_EQ(key("Dolby B Remover", "Difference"), "0");
    EXPECT_EQ(key("Dolby B Remover", "Enabled"), "0");
    EXPECT_EQ(key("Bias", "Enabled"), "0");
    EXPECT_EQ(key("FM stereo noise filter", "Enabled"), "0");
    EXPECT_EQ(key("Bias", "Left channel amplification relative to right channel"), "0");
}

TEST_F(WindowUnderWine, ClosingWithEverySwitchOffBypassesTheAudio) {
    // The post amplifier halves the sound while the chain runs; with every stage off the chain
    // is otherwise transparent.
    write_text(ini(), "[Bias]\r\nEnabled=0\r\n[Common]\r\nPost amplifier=0.5\r\n");
    write_blocks(40);
    // Azimuth off, then the close box at block 10: the tray icon stands for the window and
    // processing_mode is 0, so every later block passes bit for bit.
    HostRun run = script("click 1042; @10 close; @10 visible", "0", "in.wav", "out.wav");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("visible: 0"), std::string::npos) << run.out;
    EXPECT_TRUE(blocks_untouched(10, 39));
    EXPECT_FALSE(blocks_untouched(0, 9)) << "before the close the chain ran";
}

TEST_F(WindowUnderWine, TrayLeftClicksCycleTheModeSkippingWhatIsOff) {
    // Only the Dolby B remover on: closing gives mode 1, left clicks then alternate 0 and 1.
    write_text(ini(), "[Bias]\r\nEnabled=0\r\n[Dolby B Remover]\r\nEnabled=1\r\n");
    write_blocks(60);
    HostRun run = script("click 1042; @5 close; @20 tray ldown; @30 tray ldown; @45 tray ldown",
                         "0", "in.wav", "out.wav");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_FALSE(blocks_untouched(5, 19)) << "mode 1 processes";
    EXPECT_TRUE(blocks_untouched(20, 29)) << "mode 2 is skipped: nothing but Dolby B is on";
    EXPECT_FALSE(blocks_untouched(30, 44));
    EXPECT_TRUE(blocks_untouched(45, 59));
}

TEST_F(WindowUnderWine, ARightClickRestoresTheWindowAndItsRelease) {
    write_text(ini(), "[Bias]\r\nEnabled=0\r\n");
    write_blocks(40);
    HostRun run = script(
        "click 1042; @5 close; @5 visible; @10 tray rdown; @10 visible; @10 tray rup; @20 click "
        "1034;"
        "@30 close",
        "0", "in.wav", "out.wav");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> expected = {"visible: 0", "visible: 1"};
    EXPECT_EQ(reports(run), expected) << run.out;
    EXPECT_TRUE(blocks_untouched(5, 9)) << "closed with everything off: bypass";
    EXPECT_TRUE(blocks_untouched(10, 29)) << "the release recomputed the mode: still bypass, and a "
                                             "switch in the window leaves the mode as it is";
    EXPECT_FALSE(blocks_untouched(30, 39)) << "closing with bias on processes again";
}

TEST_F(WindowUnderWine, IconifyAtStartupStartsHiddenAndConfigShowsTheWindow) {
    write_text(ini(), "[Plugin Configuration]\r\nIconify at startup=1\r\n");
    HostRun run = script("visible; config; visible");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> expected = {"visible: 0", "visible: 1"};
    EXPECT_EQ(reports(run), expected) << run.out;
}

TEST_F(WindowUnderWine, TheTrayIconShowsTheModeAlsoAfterAQuitAndAnotherInit) {
    // First start: bias on, Dolby B off, so the window starts hidden in mode 2 (the face).
    write_text(ini(), "[Plugin Configuration]\r\nIconify at startup=1\r\n");
    HostRun run = script(
        "tray-picture; quit-init; tray-picture; tray ldown; tray-picture; tray ldown; "
        "tray-picture");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::vector<std::string> pictures;
    std::istringstream out(run.out);
    for (std::string line; std::getline(out, line);)
        if (line.rfind("tray picture: ", 0) == 0) pictures.push_back(line.substr(14, 5));
    const std::vector<std::string> expected = {"face ", "face ", "cross", "face "};
    EXPECT_EQ(pictures, expected) << run.out;
}

TEST_F(WindowUnderWine, AWindowOpenedByConfigClosesWithoutTrayIconAndComesBack) {
    HostRun run = script("config; visible; close; visible; config; visible", "1");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> expected = {"visible: 1", "visible: 0", "visible: 1"};
    EXPECT_EQ(reports(run), expected) << run.out;
    EXPECT_TRUE(file_exists(ini())) << "a hidden module whose window was opened saves at Quit";
}

TEST_F(WindowUnderWine, PresetsSavedAndLoadedThroughTheDialogs) {
    const std::string preset = win("tape.vnt");
    HostRun save = script("slider 1011 420; slider 1044 175; click 1043; file-dialog " + preset +
                          "; click 1021; wait 300");
    ASSERT_EQ(save.exit_code, 0) << save.err;
    ASSERT_TRUE(file_exists(dir.file("tape.vnt"))) << save.out << save.err;
    const std::string text = read_text(dir.file("tape.vnt"));
    EXPECT_EQ(text.find("Plugin Configuration"), std::string::npos);
    EXPECT_EQ(profile_read(dir.file("tape.vnt").c_str(), "Common", "Post amplifier"), "4.2");
    EXPECT_EQ(profile_read(dir.file("tape.vnt").c_str(), "FM stereo noise filter", "Multiply by"),
              "1.75");

    HostRun load = script("slider 1011 100; slider 1044 300; click 1043; file-dialog " + preset +
                          "; click 1020; wait 300; label 1062; label 1046; checked 1043");
    ASSERT_EQ(load.exit_code, 0) << load.err;
    const std::vector<std::string> expected = {"label 1062: 4.20", "label 1046: * 1.75",
                                               "checked 1043: 1"};
    EXPECT_EQ(reports(load), expected) << load.out;
    EXPECT_EQ(key("Common", "Post amplifier"), "4.2");
    EXPECT_NE(key("Plugin Configuration", "Ikke"), "-1") << "stamped again after the load";
}

TEST_F(WindowUnderWine, ScreenshotsWhilePlayingShowMovingMetersAndDrawnDisplays) {
    write_text(ini(),
               "[FM stereo noise filter]\r\nEnabled=1\r\n[Dolby B Remover]\r\nEnabled=1\r\n");
    write_recording(dir.file("in.wav"),
                    tone(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 576 * 200));
    const std::string first = dir.file("first.bmp"), second = dir.file("second.bmp");
    // The first shot in a quiet moment before the processors deliver, the second in full flow.
    HostRun run =
        script("@1 screenshot " + windows_path(first) + "; @150 screenshot " + windows_path(second),
               "0", "in.wav", "out.wav");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    Screenshot a, b;
    ASSERT_TRUE(load_screenshot(first, a));
    ASSERT_TRUE(load_screenshot(second, b));
    const std::string artifacts = std::string(VARNOLT_TEST_ARTIFACTS);
    std::filesystem::create_directories(artifacts);
    EXPECT_TRUE(save_png(artifacts + "/window-start.png", a));
    EXPECT_TRUE(save_png(artifacts + "/window-playing.png", b));
    EXPECT_GT(a.width, 800);
    EXPECT_GT(a.height, 600);
    EXPECT_GT(differing_pixels(a, b, 0.85, 0.0, 1.0, 0.1), 100) << "the level meters moved";
    EXPECT_GT(differing_pixels(a, b, 0.0, 0.5, 0.75, 1.0), 1000) << "the band graphs were drawn";
    EXPECT_GT(differing_pixels(a, b, 0.55, 0.0, 0.75, 0.2), 100) << "the noise floor was drawn";
}

}  // namespace
}  // namespace varnolt::testing
