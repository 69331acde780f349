// The plug-in as the player runs it: a playback thread restores blocks and paces the display
// refresh while the window thread repaints, moves controls, resets, loads presets, clicks the
// tray icon and switches the quality. Built with ThreadSanitizer (scripts/thread_sanitize.sh)
// every unsynchronised access between the two threads is reported and ends the run with an
// error; in the plain build the test still checks that output and displays survive the mix.
//
// The two threads share no lock and no acquire/release pair of their own: their counters and
// the stop flag are relaxed atomics, which order nothing, so whatever ordering the sanitizer
// finds between the threads' accesses comes from the plug-in itself.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "chain/instance.h"
#include "plugin/dll_instance.h"
#include "plugin/lifecycle.h"
#include "plugin/modify_samples.h"
#include "plugin/module_records.h"
#include "settings/parameters.h"
#include "settings/presets.h"
#include "test_support.h"
#include "ui/control_port.h"
#include "ui/displays.h"
#include "ui/offscreen_displays.h"
#include "ui/plugin_state.h"
#include "ui/resource_ids.h"
#include "ui/ui_port.h"
#include "ui/window_binding.h"
#include "ui/window_controls.h"

namespace varnolt {
namespace {

// The DLL's one instance: these tests drive the module's entries, which work on it.
LiveParameters& live = dll_instance().live;
ChainState& chain = dll_instance().chain;

constexpr int k_rate = 44100;
constexpr int k_block = 576;  // the player's block
constexpr int k_channels = 2;
constexpr long long k_concurrent_frames = 5LL * k_rate;   // ~5 s with the window at work
constexpr long long k_settled_frames = 3LL * k_rate / 2;  // then 1.5 s with fixed settings
constexpr int k_least_window_rounds = 3;                  // every window action at least this often
constexpr double k_two_pi = 6.283185307179586;

// Which thread a blit came from.
enum Role { k_other_thread = 0, k_playback_thread = 1, k_window_thread = 2 };
thread_local Role role = k_other_thread;

// The shape every display shows in its first pixels whatever its data: the bars' bevel, the
// black border of the others. A canvas drawn into by two threads at once shows another.
bool is_bar(int x, int y) {
    for (const Rect& r :
         {display_rect::input_left, display_rect::input_right, display_rect::output_left,
          display_rect::output_right, display_rect::roughness_bar, display_rect::removal_bar,
          display_rect::signal_bar})
        if (r.x == x && r.y == y) return true;
    return false;
}

bool is_framed_display(int x, int y) {
    for (const Rect& r :
         {display_rect::balance, display_rect::left_band_graph, display_rect::left_level_column,
          display_rect::right_level_column, display_rect::right_band_graph, display_rect::azimuth,
          display_rect::noise_floor})
        if (r.x == x && r.y == y) return true;
    return false;
}

// Stands in for the window's client area. It may be called from both threads at once (the
// window's device context is, through GDI), so it keeps nothing but relaxed counters.
class CountingSurface : public DisplaySurface {
  public:
    int colour_depth() override { return 32; }
    // Dialog base units of 6 x 13: the design rectangles stay as they are.
    void map_dialog_rect(int& left, int& top, int& right, int& bottom) override {
        left = (left * 6 + 2) / 4;
        right = (right * 6 + 2) / 4;
        top = (top * 13 + 4) / 8;
        bottom = (bottom * 13 + 4) / 8;
    }
    void blit(const PixelCanvas& canvas, int x, int y) override {
        blits[role].fetch_add(1, std::memory_order_relaxed);
        if (!looks_whole(canvas, x, y)) broken.fetch_add(1, std::memory_order_relaxed);
    }

    std::array<std::atomic<int>, 3> blits{};
    std::atomic<int> broken{0};

  private:
    static bool looks_whole(const PixelCanvas& canvas, int x, int y) {
        const int w = canvas.width(), h = canvas.height();
        if (w < 5 || h < 5) return false;
        for (int i = 0; i < w * h; ++i)
            if (canvas.pixels()[i] > 0xFFFFFFu) return false;  // not a 24-bit colour
        if (is_bar(x, y))
            return canvas.at(0, 0) == 0xC0C0C0u && canvas.at(0, 1) == 0x808080u &&
                   canvas.at(1, 0) == 0x808080u && canvas.at(h - 1, 1) == 0xFFFFFFu &&
                   canvas.at(1, w - 1) == 0xFFFFFFu;
        if (is_framed_display(x, y))
            return canvas.at(0, 0) == 0 && canvas.at(0, w - 1) == 0 && canvas.at(h - 1, 0) == 0;
        return false;  // nothing is drawn anywhere else
    }
};

// The window's controls as plain values; used by the window thread only.
class FakeControls : public ControlPort {
  public:
    int slider_position(int id) override { return positions[id]; }
    void set_slider(int id, int, int, int position) override { positions[id] = position; }
    void set_label(int id, const char* text) override { labels[id] = text; }
    bool is_checked(int id) override { return checked[id]; }
    void post_check(int id, bool on) override { checked[id] = on; }
    void settle() override {}

    std::map<int, int> positions;
    std::map<int, std::string> labels;
    std::map<int, bool> checked;
};

// Positions each slider is moved between, in slider_specs order: moderate ranges around the
// defaults, so that what the closing checks hear is the restored recording, not silence.
struct PositionRange {
    int low, high;
};
constexpr PositionRange k_equaliser_range = {300, 450};  // band gains 2 .. 0.5
constexpr PositionRange k_slider_ranges[k_sliders] = {
    {50, 300},  // pc recording volume 0.5 .. 3
    k_equaliser_range, k_equaliser_range, k_equaliser_range, k_equaliser_range,  // left 1-4
    k_equaliser_range, k_equaliser_range, k_equaliser_range, k_equaliser_range,  // left 5-8
    k_equaliser_range, k_equaliser_range, k_equaliser_range, k_equaliser_range,  // right 1-4
    k_equaliser_range, k_equaliser_range, k_equaliser_range, k_equaliser_range,  // right 5-8
    {70, 130},      // pre-amplifier left 0.7 .. 1.3
    {70, 130},      // pre-amplifier right
    {50, 120},      // post amplifier 0.5 .. 1.2
    {100, 300},     // max rel amp 1 .. 3
    {500, 4000},    // azimuth limit 5 .. 40 um
    {10, 200},      // azimuth speed 0.1 .. 2 um/s
    {500, 6000},    // ignore lowest 5 .. 60 %
    {100, 400},     // multiply by 1 .. 4
    {5000, 25000},  // reduce by 250 .. 50 %
    {50, 350},      // delay 3.5 .. 0.5 s
    {2000, 9800},   // roughness 80 .. 2
    {0, 50},        // screen refresh speed 1 .. 0.5: the paced refresh keeps running
};

// The boxes that switch a stage or the tone display on; the test keeps all of them on.
constexpr int k_stage_boxes[] = {IDC_BIAS_ON,         IDC_DOLBY_ON,   IDC_FM_ON,
                                 IDC_CONSTANT_VOLUME, IDC_AZIMUTH_ON, IDC_TONE};
// Boxes that change how the stages work but switch none of them off.
constexpr int k_detail_boxes[] = {IDC_DOLBY_DIFF,     IDC_FM_DIFF,   IDC_LEFT_RELATIVE,
                                  IDC_RIGHT_RELATIVE, IDC_LEFT_AUTO, IDC_RIGHT_AUTO,
                                  IDC_CLUSTERED,      IDC_BIAS_ONLY};

// A small generator of our own: the C runtime's rand() belongs to the playback thread's dither.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    int between(int low, int high) { return low + static_cast<int>(next() % (high - low + 1)); }
    double uniform() { return (next() >> 11) * (1.0 / 9007199254740992.0) * 2.0 - 1.0; }

  private:
    std::uint64_t state_;
};

// Tones with hiss, as a cassette gives them: the right channel lags by a fraction of a sample and
// is a little weaker, so azimuth correction has something to find, and part of the hiss differs
// between the channels, so the FM filter has something to remove.
class TapeSignal {
  public:
    void fill(short* block, int frames) {
        for (int f = 0; f < frames; ++f, ++frame_) {
            const double t = static_cast<double>(frame_) / k_rate;
            const double lag = 0.45 / k_rate;
            const double common = 500.0 * noise_.uniform();
            const double left = tones(t) + common + 300.0 * noise_.uniform();
            const double right = 0.9 * tones(t - lag) + common + 300.0 * noise_.uniform();
            block[2 * f] = static_cast<short>(std::lround(left));
            block[2 * f + 1] = static_cast<short>(std::lround(right));
        }
    }
    static double tones(double t) {
        return 7000.0 * std::sin(k_two_pi * 440.0 * t) + 2500.0 * std::sin(k_two_pi * 2000.0 * t) +
               1200.0 * std::sin(k_two_pi * 5500.0 * t);
    }

  private:
    long long frame_ = 0;
    Random noise_{0x9E3779B97F4A7C15ull};
};

// The share of a channel's power at `hz` (Goertzel) in interleaved 16-bit output.
double tone_share(const std::vector<short>& out, int channel, double hz) {
    const std::size_t frames = out.size() / k_channels;
    const double w = k_two_pi * hz / k_rate;
    const double coefficient = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0, power = 0.0;
    for (std::size_t f = 0; f < frames; ++f) {
        const double x = out[f * k_channels + channel];
        const double s0 = x + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
        power += x * x;
    }
    const double tone = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    // A sine of amplitude A over n samples gives tone = (A n / 2)^2 and power = A^2 n / 2.
    return power > 0.0 ? tone * 2.0 / (static_cast<double>(frames) * power) : 0.0;
}

// The longest stretch of one channel's samples that all hold the same value, not counting the
// two limits, where clipping holds a sample. A NaN leaves the chain as a stretch of zeros.
int longest_constant_run(const std::vector<short>& out) {
    int longest = 0;
    for (int channel = 0; channel < k_channels; ++channel) {
        int run = 0;
        short last = 0;
        for (std::size_t i = channel; i < out.size(); i += k_channels) {
            const bool limit = out[i] == 32767 || out[i] == -32768;
            run = limit ? 0 : run > 0 && out[i] == last ? run + 1 : 1;
            last = out[i];
            longest = std::max(longest, run);
        }
    }
    return longest;
}

std::string preset_text(double pc_volume, double band_gain, double reduce) {
    std::string text = "[Common]\r\nPost amplifier=1\r\n";
    text += "[Singleband Compressor]\r\nEnabled=1\r\n";
    text += "[Dolby B Remover]\r\nPC Recording Volume=" + std::to_string(pc_volume) +
            "\r\nEnabled=1\r\nDifference=0\r\nDolby strength=1\r\n";
    text += "[Bias]\r\nEnabled=1\r\nMain Pre Amplifier Left=1\r\nMain Pre Amplifier Right=1\r\n";
    for (int band = 1; band <= k_equaliser_bands; ++band) {
        const std::string gain = std::to_string(band_gain);
        text += "Amplification - Band " + std::to_string(band) + " Left=" + gain + "\r\n";
        text += "Amplification - Band " + std::to_string(band) + " Right=" + gain + "\r\n";
    }
    text += "Maximum automatic volume adjustment=2\r\n";
    text +=
        "Auto-adjust left channel amplification=0\r\nAuto-adjust right channel amplification=1\r\n";
    text +=
        "[FM stereo noise filter]\r\nEnabled=1\r\nDifference=0\r\nIgnore lowest percentage=25\r\n";
    text += "Multiply by=2\r\nReduce stereo noise by percentage=" + std::to_string(reduce) +
            "\r\nDelay time=2\r\nSignal roughness=50\r\n";
    return text;
}

// What the window thread did, counted by kind.
struct WindowActions {
    int paints = 0;
    int slider_moves = 0;
    int box_clicks = 0;
    int resets = 0;
    int preset_loads = 0;
    int tray_clicks = 0;
    int quality_changes = 0;
    int rounds = 0;
};

// The window procedure's ways in, as src/ui/win32/config_window.cpp and tray_icon.cpp take them.
class Window {
  public:
    Window(FakeControls& controls, std::string preset_a, std::string preset_b)
        : controls_(controls), presets_{std::move(preset_a), std::move(preset_b)} {}

    // WM_PAINT: a forced refresh with the window marked busy.
    void paint() {
        plugin.ui_busy = true;
        refresh_displays(true);
        plugin.ui_busy = false;
        ++done.paints;
    }
    // A scroll or a click on a box: every control is read again and shown again.
    void rescan() {
        plugin.ui_busy = true;
        read_controls(controls_);
        apply_controls(controls_, false);
        plugin.ui_busy = false;
    }
    void move_sliders(Random& random) {
        for (int n = 0; n < 4; ++n) {
            const int index = random.between(0, k_sliders - 1);
            const PositionRange range = k_slider_ranges[index];
            controls_.positions[slider_specs[index].id] = random.between(range.low, range.high);
        }
        rescan();
        ++done.slider_moves;
    }
    void click_box(int id) {
        controls_.checked[id] = !controls_.checked[id];
        rescan();
        ++done.box_clicks;
    }
    // The listener switches every stage back on, one box at a time, as after a RESET.
    void stages_on() {
        for (int id : k_stage_boxes) {
            if (controls_.checked[id]) continue;
            controls_.checked[id] = true;
            rescan();
            ++done.box_clicks;
        }
    }
    void reset() {
        plugin.ui_busy = true;
        reset_parameters();
        apply_controls(controls_, false);
        plugin.ui_busy = false;
        ++done.resets;
    }
    void load(int which) {
        plugin.ui_busy = true;
        load_preset(dll_instance().live, presets_[which].c_str());
        apply_controls(controls_, false);
        plugin.ui_busy = false;
        ++done.preset_loads;
    }
    // A left click on the tray icon; the tray's messages are not marked busy.
    void tray_click() {
        live.processing_mode = next_tray_mode(live.processing_mode);
        apply_controls(controls_, false);
        ++done.tray_clicks;
    }
    void select_quality(int quality) {
        const int radios[] = {IDC_QUALITY_HIGH, IDC_QUALITY_NORMAL, IDC_QUALITY_LOW};
        for (int q = 0; q < 3; ++q) controls_.checked[radios[q]] = q == quality;
        rescan();
        ++done.quality_changes;
    }

    WindowActions done;

  private:
    FakeControls& controls_;
    std::string presets_[2];
};

class ThreadContract : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::reset_plugin_state();
        window_displays().state = DisplayState{};
        window_controls = WindowControlState{};
        const char* old = std::getenv("USERPROFILE");
        if (old) saved_profile_ = old;
        setenv("USERPROFILE", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        attach_offscreen_displays(nullptr);
        if (saved_profile_.empty())
            unsetenv("USERPROFILE");
        else
            setenv("USERPROFILE", saved_profile_.c_str(), 1);
        window_displays().state = DisplayState{};
        window_controls = WindowControlState{};
        testing::reset_plugin_state();
    }

    testing::ScratchDir dir_;
    std::string saved_profile_;
};

TEST_F(ThreadContract, PlaybackAndWindowAtOnce) {
    const std::string preset_a = dir_.file("steady.vnt");
    const std::string preset_b = dir_.file("other.vnt");
    testing::write_text(preset_a, preset_text(1.0, 1.0, 150.0));
    testing::write_text(preset_b, preset_text(2.5, 1.4, 220.0));

    DspModule* module = dsp_header()->getModule(k_module_windowed);
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(module->Init(module), 0);
    CountingSurface surface;
    attach_offscreen_displays(&surface);

    // Before the threads start: every stage on, the tone display shown, high quality.
    FakeControls controls;
    apply_controls(controls, true);
    Window window(controls, preset_a, preset_b);
    window.load(0);
    window.stages_on();
    window.select_quality(0);
    ASSERT_EQ(live.values.bias_enabled, 1);
    ASSERT_EQ(live.values.dolby_enabled, 1);
    ASSERT_EQ(live.values.fm_enabled, 1);
    ASSERT_EQ(live.values.singleband_enabled, 1);
    ASSERT_EQ(live.azimuth_enabled, 1);
    ASSERT_EQ(live.show_tone_level, 1);
    ASSERT_EQ(live.processing_mode, k_mode_full);
    window.done = WindowActions{};

    std::atomic<long long> frames_played{0};
    std::atomic<int> rounds_done{0};
    std::atomic<bool> stop{false};
    TapeSignal signal;
    std::vector<short> block(k_block * k_channels);
    std::vector<short> last_blocks;  // the output of the last concurrent second
    int blocks_returned_whole = 0, blocks_played = 0;

    std::thread playback([&] {
        role = k_playback_thread;
        // The player hands over blocks as its sound device takes them, in real time: the window
        // thread gets the seconds a listener would have. Behind time, the blocks follow at once.
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            const long long played = frames_played.load(std::memory_order_relaxed);
            if (played >= k_concurrent_frames &&
                rounds_done.load(std::memory_order_relaxed) >= k_least_window_rounds)
                break;
            std::this_thread::sleep_until(start +
                                          std::chrono::microseconds(played * 1000000 / k_rate));
            signal.fill(block.data(), k_block);
            if (modify_samples(module, block.data(), k_block, 16, k_channels, k_rate) == k_block)
                ++blocks_returned_whole;
            ++blocks_played;
            if (played >= k_concurrent_frames - k_rate)
                last_blocks.insert(last_blocks.end(), block.begin(), block.end());
            frames_played.store(played + k_block, std::memory_order_relaxed);
        }
        stop.store(true, std::memory_order_relaxed);
    });

    std::thread window_thread([&] {
        role = k_window_thread;
        Random random(20240611);
        const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
        int round = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            window.paint();
            pause();
            window.move_sliders(random);
            pause();
            window.click_box(k_detail_boxes[round % std::size(k_detail_boxes)]);
            pause();
            if (round % 4 == 1) window.click_box(IDC_MONO);  // on for one round in four
            if (round % 4 == 2) window.click_box(IDC_MONO);
            window.paint();
            pause();
            window.select_quality(round % 3);
            pause();
            window.tray_click();  // full -> without Dolby B
            pause();
            window.tray_click();  // -> bypass
            window.paint();
            window.tray_click();  // -> full again
            pause();
            window.reset();
            pause();
            window.stages_on();
            pause();
            window.load(round % 2);
            pause();
            rounds_done.store(++round, std::memory_order_relaxed);
            window.done.rounds = round;
        }
    });

    playback.join();
    window_thread.join();
    const WindowActions done = window.done;
    const int playback_blits = surface.blits[k_playback_thread].load();
    const int window_blits = surface.blits[k_window_thread].load();

    EXPECT_EQ(blocks_returned_whole, blocks_played);
    // Both threads drew: the forced refresh on paint, the paced one between the window's actions.
    EXPECT_GT(window_blits, 0);
    EXPECT_GT(playback_blits, 0);
    EXPECT_EQ(surface.blits[k_other_thread].load(), 0);
    EXPECT_EQ(surface.broken.load(), 0);

    // The last concurrent second is still the recording (about 5100 rms in, 5200 to 7200 out):
    // not silent. It may clip (RESET switches the compressor off until the boxes are clicked
    // again, and the sliders reach band gains of 2), and each quality change restarts the tape
    // processor, whose output is silent for one block.
    ASSERT_FALSE(last_blocks.empty());
    double sum_squares = 0.0;
    for (short s : last_blocks) sum_squares += static_cast<double>(s) * s;
    EXPECT_GT(std::sqrt(sum_squares / last_blocks.size()), 500.0);

    // Then fixed settings: the steady preset with every stage on, full processing, mono off.
    role = k_playback_thread;
    Window settled(controls, preset_a, preset_b);
    settled.load(0);
    settled.stages_on();
    if (live.mono) settled.click_box(IDC_MONO);
    live.processing_mode = k_mode_full;
    ASSERT_EQ(live.values.dolby_enabled, 1);
    ASSERT_EQ(live.values.fm_enabled, 1);
    ASSERT_EQ(live.mono, 0);
    std::vector<short> steady;
    for (long long f = 0; f < k_settled_frames; f += k_block) {
        signal.fill(block.data(), k_block);
        modify_samples(module, block.data(), k_block, 16, k_channels, k_rate);
        if (f >= k_settled_frames - k_rate / 2)
            steady.insert(steady.end(), block.begin(), block.end());
    }
    // The steady preset keeps the output well inside the 16-bit range, and the 440 Hz tone that
    // carries most of the input's power carries most of the output's: the restoration shapes
    // the treble and the hiss but must not bury the tone.
    double steady_squares = 0.0;
    int steady_clipped = 0;
    for (short s : steady) {
        steady_squares += static_cast<double>(s) * s;
        if (s == 32767 || s == -32768) ++steady_clipped;
    }
    const double steady_rms = std::sqrt(steady_squares / steady.size());
    EXPECT_EQ(steady_clipped, 0);
    EXPECT_GT(steady_rms, 2000.0);
    EXPECT_LT(steady_rms, 16000.0);
    EXPECT_LT(longest_constant_run(steady), 64);
    for (int channel = 0; channel < k_channels; ++channel) {
        const double share = tone_share(steady, channel, 440.0);
        EXPECT_GT(share, 0.5) << "channel " << channel;
        EXPECT_LE(share, 1.0) << "channel " << channel;
    }

    module->Quit(module);
    std::printf(
        "window: %d rounds, %d paints, %d slider moves, %d box clicks, %d resets, %d preset "
        "loads, %d tray clicks, %d quality changes; blits: %d playback, %d window\n",
        done.rounds, done.paints, done.slider_moves, done.box_clicks, done.resets,
        done.preset_loads, done.tray_clicks, done.quality_changes, playback_blits, window_blits);
}

}  // namespace
}  // namespace varnolt
