#pragma once
// A host's stream through one plug-in instance for the tests: generated input run block by
// block, the output kept per channel, the latency port read after every run.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "lilv_host.h"

namespace varnolt::lv2_test {

const std::string k_stereo_uri = "https://tolvane.example/varnolt/lv2/stereo";
const std::string k_mono_uri = "https://tolvane.example/varnolt/lv2/mono";
// The longest block the players hand over.
constexpr int k_player_block = 4096;

// Every plug-in of the built bundle (VARNOLT_LV2_BUNDLES), loaded once.
const PluginWorld& bundle_world();

// Hiss that differs between the channels: a hash of the sample's place, -1 .. 1.
double hiss(long n, int ch);

// Music-like programme at about -20 dBFS RMS: a chord, a melody line whose treble swells with
// the envelope, a drum every half second, and hiss that differs between the channels.
float music(long n, int ch, double rate);

// The root mean square of music(), for scaling it to a level.
double music_rms(double rate);

struct StreamPlayer {
    StreamPlayer(const std::string& uri, double at_rate);

    // Runs the next `frames` frames of `input(n, ch)` in blocks of `block` (at most
    // k_player_block) frames.
    template <class Input>
    void run(long frames, Input input, int block = k_player_block) {
        block = std::clamp(block, 1, k_player_block);
        for (const long end = position + frames; position < end;) {
            const int count = static_cast<int>(std::min<long>(block, end - position));
            for (int i = 0; i < count; ++i)
                for (int ch = 0; ch < host.audio_inputs(); ++ch)
                    host.input(ch)[i] = input(position + i, ch);
            host.run(count);
            for (int ch = 0; ch < host.audio_outputs(); ++ch)
                output[ch].insert(output[ch].end(), host.output(ch), host.output(ch) + count);
            latencies.push_back(host.latency());
            position += count;
        }
    }

    // The largest magnitude of any channel's output, frames `from` .. the end.
    double peak(long from = 0) const;

    double rate;
    PluginHost host;
    long position = 0;
    std::vector<std::vector<float>> output;  // per channel, everything run so far
    std::vector<float> latencies;            // the latency port after each run
};

inline double to_dbfs(double level) {
    return 20.0 * std::log10(level);
}

}  // namespace varnolt::lv2_test
