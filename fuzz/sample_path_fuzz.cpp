// modify_samples on blocks of any format, size and rate under any parameter set a file, a preset
// or the window can deliver, with the displays drawn from the same state, then four seconds of
// a tone with the first-start settings. Whatever came before, the plug-in must then sound:
// every state finite and the output far from silent.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "chain/instance.h"
#include "fake_surface.h"
#include "fuzz_values.h"
#include "plugin/dll_instance.h"
#include "plugin/modify_samples.h"
#include "processors/processor_set.h"
#include "settings/parameter_table.h"
#include "settings/parameters.h"
#include "state_check.h"
#include "test_support.h"
#include "ui/colour_ramps.h"
#include "ui/displays.h"
#include "ui/plugin_state.h"
#include "ui/window_binding.h"

namespace varnolt {
namespace {

using fuzzing::parameter_value;

constexpr long long k_most_fuzz_frames = 96000;  // audio of the fuzzed phase, all blocks together
constexpr int k_most_block_frames = 8192;
constexpr int k_most_channels = 8;
constexpr int k_recovery_rate = 44100;
constexpr int k_recovery_seconds = 4;
constexpr int k_player_block = 576;

// The slider tops (the window's ranges) by key; 10 for the reals without a control.
double slider_top(const char* key) {
    const struct {
        const char* key;
        double top;
    } tops[] = {{"Post amplifier", 10.0},
                {"PC Recording Volume", 5.0},
                {"Main Pre Amplifier Left", 2.5},
                {"Main Pre Amplifier Right", 2.5},
                {"Ignore lowest percentage", 100},
                {"Multiply by", 5.0},
                {"Reduce stereo noise by percentage", 300},
                {"Delay time", 4.0},
                {"Signal roughness", 100},
                {"CPU usage - Screen refresh speed", 1.0}};
    for (const auto& t : tops)
        if (std::string(t.key) == key) return t.top;
    return 5.0;
}

void fuzz_parameters(FuzzedDataProvider& data) {
    auto set = [&data](const ParameterField& field) {
        if (field.real) {
            const double v = parameter_value(data, slider_top(field.key));
            if (v != -1.0) *field.real = v;
        } else if (field.switch_byte) {
            *field.switch_byte = data.ConsumeIntegral<std::uint8_t>();
        } else if (field.kind == FieldKind::quality) {
            *field.integer = data.ConsumeIntegralInRange(0, 2);  // the loader limits it
        }
    };
    for_each_plugin_configuration_field(dll_instance().live.values, set);
    for_each_processing_field(dll_instance().live.values, set);
    dll_instance().live.values.fm_difference =
        dll_instance().live.values.fm_difference != 0;  // as load_preset leaves it
    // The live-only values come from the window alone, inside their sliders.
    dll_instance().live.azimuth_enabled = data.ConsumeBool();
    dll_instance().live.azimuth_limit = data.ConsumeFloatingPointInRange(0.0, 50.0);
    dll_instance().live.azimuth_speed = data.ConsumeFloatingPointInRange(0.0, 5.0);
    dll_instance().live.mono = data.ConsumeBool();
    dll_instance().live.show_tone_level = data.ConsumeBool();
    dll_instance().live.processing_mode = data.ConsumeIntegralInRange(0, 2);
    plugin.iconified = data.ConsumeBool();
}

int fuzz_rate(FuzzedDataProvider& data) {
    static constexpr int rates[] = {8000, 11025, 22050, 44100, 48000, 96000, 192000, 384000};
    if (data.ConsumeBool()) return data.PickValueInArray(rates);
    return data.ConsumeIntegral<int>();
}

int fuzz_bits(FuzzedDataProvider& data) {
    static constexpr int widths[] = {8, 16, 24, 32};
    if (data.ConsumeIntegralInRange(0, 7) != 0) return data.PickValueInArray(widths);
    return data.ConsumeIntegralInRange(0, 64);
}

// The block's bytes: the fuzz bytes repeated, or a loud square wave.
void fill_block(FuzzedDataProvider& data, std::vector<std::uint8_t>& bytes) {
    if (data.ConsumeBool()) {
        const std::vector<std::uint8_t> pattern =
            data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange<std::size_t>(1, 64));
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = pattern.empty() ? 0 : pattern[i % pattern.size()];
    } else {
        const int period = data.ConsumeIntegralInRange(2, 400);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = (i / 8) % period < static_cast<std::size_t>(period / 2) ? 0x7F : 0x80;
    }
}

void draw_displays(FuzzedDataProvider& data) {
    static testing::FakeSurface surface;
    surface.blits.clear();
    draw_all_displays(surface, data.ConsumeBool());
}

void fuzz_blocks(FuzzedDataProvider& data) {
    long long played = 0;
    std::vector<std::uint8_t> bytes;
    while (played < k_most_fuzz_frames && data.remaining_bytes() > 0) {
        if (data.ConsumeIntegralInRange(0, 15) == 0) fuzz_parameters(data);
        if (data.ConsumeIntegralInRange(0, 31) == 0) {
            // Quit and Init: new objects, the module-level state kept.
            destroy_processors(dll_instance());
            create_processors(dll_instance());
        }
        const int frames = data.ConsumeIntegralInRange(0, k_most_block_frames);
        const int channels = data.ConsumeIntegralInRange(0, k_most_channels);
        const int bits = fuzz_bits(data);
        const int rate = fuzz_rate(data);
        bytes.assign(static_cast<std::size_t>(frames) * channels * 4 + 4, 0);
        fill_block(data, bytes);
        modify_samples(nullptr, reinterpret_cast<short*>(bytes.data()), frames, bits, channels,
                       rate);
        played += frames;
        draw_displays(data);
    }
}

[[noreturn]] void fail(const char* what, double value) {
    std::fprintf(stderr, "after the recovery: %s (%g)\n", what, value);
    std::abort();
}

// A tone with some hiss at about -12 dBFS, first-start settings: the last second must carry
// most of its level.
void recover() {
    dll_instance().live = LiveParameters{};
    dll_instance().live.processing_mode = k_mode_full;
    plugin.iconified = false;
    create_processors(dll_instance());
    const int frames = k_recovery_rate * k_recovery_seconds;
    std::vector<std::int16_t> block(2 * k_player_block);
    double in_energy = 0.0, out_energy = 0.0;
    for (int start = 0; start < frames; start += k_player_block) {
        for (int i = 0; i < k_player_block; ++i)
            for (int ch = 0; ch < 2; ++ch) {
                const double t = static_cast<double>(start + i) / k_recovery_rate;
                const double x = 8000.0 * std::sin(6.283185307179586 * 440.0 * t + ch) +
                                 500.0 * ((std::rand() % 2001) / 1000.0 - 1.0);
                block[2 * i + ch] = static_cast<std::int16_t>(x);
                if (start >= frames - k_recovery_rate) in_energy += x * x;
            }
        modify_samples(nullptr, block.data(), k_player_block, 16, 2, k_recovery_rate);
        if (start >= frames - k_recovery_rate)
            for (std::int16_t y : block) out_energy += static_cast<double>(y) * y;
    }
    const std::string which = testing::first_non_finite_state();
    if (!which.empty()) fail(which.c_str(), 0.0);
    const double ratio = std::sqrt(out_energy / in_energy);
    if (!(ratio > 0.5)) fail("output level relative to the input", ratio);
}

}  // namespace
}  // namespace varnolt

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using namespace varnolt;
    testing::reset_plugin_state();
    window_displays().state = DisplayState{};
    fill_colour_ramps(window_displays().colour_ramps);
    plugin.window_active = 1;
    std::srand(1);
    create_processors(dll_instance());
    FuzzedDataProvider data(bytes, size);
    fuzz_parameters(data);
    fuzz_blocks(data);
    recover();
    destroy_processors(dll_instance());
    return 0;
}
