#include "restore_audio.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "block_layout.h"
#include "chain/chain.h"
#include "interruption.h"
#include "plugin/module_records.h"
#include "plugin/plugin_state.h"
#include "processors/processor.h"
#include "processors/stereo.h"
#include "settings/parameters.h"

namespace varnolt::cli {
namespace {

// Cassette speed, 4.76 cm/s: the azimuth correction measures its slope in micrometres of tape
// per bin spacing, as its settings do.
constexpr double k_tape_speed_um_per_s = 47600.0;
constexpr int k_progress_blocks = 64;  // blocks between progress reports

double peak_of(const std::vector<std::int32_t>& samples) {
    std::int64_t peak = 0;
    for (std::int32_t s : samples) peak = std::max<std::int64_t>(peak, std::llabs(s));
    return peak / 2147483648.0;
}

// The largest left-aligned value a block of `bits` holds.
std::int32_t pack_limit(int bits) {
    return static_cast<std::int32_t>(INT32_MAX - ((std::int64_t{1} << (32 - bits)) - 1));
}

bool azimuth_runs() {
    return plugin.processing_mode != k_mode_bypass && live.azimuth_enabled != 0;
}

}  // namespace

std::string dbfs_text(double peak) {
    char text[32];
    if (peak <= 0.0) return "-inf dBFS";
    std::snprintf(text, sizeof text, "%.1f dBFS", 20.0 * std::log10(peak));
    return text;
}

double slope_micrometres(double slope, double sample_rate) {
    return slope * k_tape_speed_um_per_s * k_block_frames / sample_rate;
}

long long processing_delay_samples(int channels) {
    if (plugin.processing_mode == k_mode_bypass) return 0;
    // The chain's delay is counted in chain calls, one per sample; a mono sample takes two
    // calls (both sides of the chain). The mono mix adds one frame of two calls.
    long long calls = processing_latency();
    if (live.mono) calls += 2;
    return channels == 1 ? calls / 2 : calls;
}

bool restore_audio(AudioFile& audio, const RestoreSettings& settings,
                   const ProgressCallback& progress, RestoreMeasures& measures) {
    measures = RestoreMeasures{};
    measures.input_peak = peak_of(audio.samples);
    const int channels = audio.channels;
    const long long frames = audio.frames();
    // The delay is taken out of the flat sample stream, not in whole frames, so every channel
    // stays where it was whatever the channel count. Silence is appended to flush it; with the
    // latency kept, the output keeps that tail too and is longer by the delay, so nothing of
    // the recording is lost.
    const long long latency = processing_delay_samples(channels);
    const long long delay = settings.keep_latency ? 0 : latency;
    const long long pad_frames = (latency + channels - 1) / channels;
    const long long output_frames = settings.keep_latency ? frames + pad_frames : frames;
    std::vector<std::int32_t> padded = audio.samples;
    padded.resize(static_cast<std::size_t>((frames + pad_frames) * channels), 0);
    std::vector<std::uint8_t> bytes = to_blocks(padded, settings.bits);

    DspModule* module = get_module(k_module_hidden);
    const int frame_bytes = channels * settings.bits / 8;
    const long long total = frames + pad_frames;
    measures.azimuth_running = azimuth_runs();
    int blocks = 0;
    for (long long start = 0; start < total;) {
        if (interrupted()) return false;
        // A block ends where the input does, as the player's last block of a file would.
        const long long end = start < frames ? std::min(frames, start + settings.block_frames)
                                             : std::min(total, start + settings.block_frames);
        const int n = static_cast<int>(end - start);
        auto* block = reinterpret_cast<short*>(bytes.data() + start * frame_bytes);
        module->ModifySamples(module, block, n, settings.bits, channels, audio.sample_rate);
        if (measures.azimuth_running && start < frames) {
            const double um = slope_micrometres(stereo_state.current_slope, audio.sample_rate);
            measures.azimuth.push_back({static_cast<double>(start + n) / audio.sample_rate, um});
        }
        if (progress && ++blocks % k_progress_blocks == 0)
            progress(static_cast<double>(end) / total);
        if (end == frames && settings.on_input_end) settings.on_input_end();
        start = end;
    }
    measures.azimuth_end = slope_micrometres(stereo_state.current_slope, audio.sample_rate);

    std::vector<std::int32_t> restored = from_blocks(bytes, settings.bits);
    audio.samples.assign(restored.begin() + delay,
                         restored.begin() + delay + output_frames * channels);
    measures.output_peak = peak_of(audio.samples);
    // The plug-in saturates at the format's limits: a sample there was (almost surely) clipped.
    const std::int32_t top = pack_limit(settings.bits);
    for (std::int32_t v : audio.samples) measures.clipped += v >= top || v == INT32_MIN;
    if (progress) progress(1.0);
    return true;
}

}  // namespace varnolt::cli
