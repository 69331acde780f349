// varnolt: restores a recording file by running it through the same ModifySamples path the
// player uses, with the plug-in's hidden module and its settings.

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "chain/chain.h"
#include "pcm_file.h"
#include "plugin/module_records.h"
#include "settings/presets.h"

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "varnolt: %s\n", message.c_str());
    return 1;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool is_readable_file(const std::string& path) {
    struct stat s;
    return stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode);
}

// The processors delay the signal; a file is wanted in time with its source. Silence is appended
// for the delay (in whole frames, so all of it is played) and the delay taken from the start.
// The delay is counted in samples: with an odd channel count it is no whole number of frames.
void pad_for_latency(PcmFile& audio, long long samples) {
    const std::uint8_t silence = audio.bits == 8 ? 128 : 0;  // 8-bit samples are unsigned
    const long long frames = (samples + audio.channels - 1) / audio.channels;
    audio.bytes.insert(audio.bytes.end(),
                       static_cast<std::size_t>(frames) * audio.channels * audio.bits / 8, silence);
}

void drop_latency(PcmFile& audio, long long samples, std::size_t original_bytes) {
    const auto bytes = static_cast<std::ptrdiff_t>(samples * audio.bits / 8);
    audio.bytes.erase(audio.bytes.begin(), audio.bytes.begin() + bytes);
    audio.bytes.resize(original_bytes);
}

// Streams the whole file through the module in player-sized blocks.
void restore(varnolt::DspModule* module, PcmFile& audio, int block_frames) {
    const int frame_bytes = audio.channels * audio.bits / 8;
    for (long long start = 0; start < audio.frames(); start += block_frames) {
        const int frames =
            static_cast<int>(std::min<long long>(block_frames, audio.frames() - start));
        auto* block = reinterpret_cast<short*>(audio.bytes.data() + start * frame_bytes);
        module->ModifySamples(module, block, frames, audio.bits, audio.channels, audio.sample_rate);
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Restores cassette-tape recordings with the Varnolt processing chain."};
    std::string input_path;
    std::string output_path;
    std::string settings_path;
    int block_frames = 576;
    bool keep_latency = false;
    app.add_option("input", input_path, "recording to restore (8/16/24/32-bit PCM)")->required();
    app.add_option("output", output_path, "where to write the restored recording")->required();
    app.add_option("--settings", settings_path,
                   "INI or preset (.vnt) file to take the settings from");
    app.add_option("--block", block_frames, "frames per processing call, as the player's blocks")
        ->check(CLI::Range(1, 1 << 20));
    app.add_flag("--keep-latency", keep_latency,
                 "leave the processing delay in the output, as the player hears it");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    if (!is_readable_file(input_path)) return fail("cannot read " + input_path);
    if (same_file(input_path, output_path) || input_path == output_path)
        return fail("the output would overwrite the input " + input_path);
    if (!settings_path.empty() && !is_readable_file(settings_path))
        return fail("cannot read settings file " + settings_path);

    PcmFile audio;
    std::string error;
    if (!read_pcm_file(input_path, audio, error)) return fail(error);

    varnolt::DspModule* module = varnolt::get_module(varnolt::k_module_hidden);
    module->Init(module);
    if (!settings_path.empty()) varnolt::load_preset(settings_path.c_str());
    // Every stream sample is one chain call, whatever the channel count (a mono sample is two,
    // one through each side of the chain), so the delay in samples is the chain's.
    const long long chain_delay = keep_latency ? 0 : varnolt::processing_latency();
    const long long latency_samples = audio.channels == 1 ? chain_delay / 2 : chain_delay;
    const std::size_t original_bytes = audio.bytes.size();
    pad_for_latency(audio, latency_samples);
    restore(module, audio, block_frames);
    drop_latency(audio, latency_samples, original_bytes);
    module->Quit(module);

    if (!write_pcm_file(output_path, audio, error)) return fail(error);
    std::printf("%s: %lld frames, %d channels, %d Hz, %d-bit -> %s\n", input_path.c_str(),
                audio.frames(), audio.channels, audio.sample_rate, audio.bits, output_path.c_str());
    return 0;
}
