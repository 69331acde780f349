// Compares lv2apply's output with the command-line tool's on the same input and settings.
//   lv2_compare_with_tool FOLDER URI TOOL.wav LV2.wav TOLERANCE [SYMBOL VALUE]...
// The tool removes its processing delay (the switched-on stages'); lv2apply leaves the plug-in's
// fixed latency in, as any host that does not read the latency port would. The plug-in
// instantiated here with the same controls reports that latency, and the plug-in's output is read
// that many frames later: with a wrong report the two differ by the signal's change from one
// sample to the next, far beyond the tolerance.

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lilv_host.h"

namespace {

// Full scale less one step of the tool's 32-bit integers.
constexpr double k_tool_limit = 1.0 - 1.0 / 2147483648.0;

struct Audio {
    int channels = 0;
    int rate = 0;
    long frames = 0;
    std::vector<float> samples;
};

bool read_audio(const char* path, Audio& audio) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return false;
    }
    audio.channels = info.channels;
    audio.rate = info.samplerate;
    audio.frames = static_cast<long>(info.frames);
    audio.samples.resize(static_cast<std::size_t>(audio.frames) * audio.channels);
    const sf_count_t got = sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return got == info.frames;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace varnolt::lv2_test;
    if (argc < 6 || (argc - 6) % 2 != 0) {
        std::fprintf(stderr, "usage: %s FOLDER URI TOOL.wav LV2.wav TOLERANCE [SYMBOL VALUE]...\n",
                     argv[0]);
        return 2;
    }
    Audio tool, plugin;
    if (!read_audio(argv[3], tool) || !read_audio(argv[4], plugin)) return 1;
    const double tolerance = std::atof(argv[5]);
    if (tool.channels != plugin.channels || tool.rate != plugin.rate ||
        tool.frames != plugin.frames) {
        std::fprintf(
            stderr, "the files differ in layout: %d/%d channels, %d/%d Hz, %ld/%ld frames\n",
            tool.channels, plugin.channels, tool.rate, plugin.rate, tool.frames, plugin.frames);
        return 1;
    }

    PluginWorld world(argv[1]);
    PluginHost host(world, argv[2], tool.rate, 1);
    if (!host.ok()) {
        std::fprintf(stderr, "cannot instantiate %s from %s\n", argv[2], argv[1]);
        return 1;
    }
    for (int i = 6; i < argc; i += 2) {
        if (!host.set_control(argv[i], static_cast<float>(std::atof(argv[i + 1])))) {
            std::fprintf(stderr, "no control %s\n", argv[i]);
            return 1;
        }
    }
    host.run(0);
    const long latency = std::lround(host.latency());

    const long compared = tool.frames - latency;
    if (latency < 0 || compared < tool.rate) {
        std::fprintf(stderr, "latency %ld leaves less than a second of %ld frames to compare\n",
                     latency, tool.frames);
        return 1;
    }
    const int channels = tool.channels;
    double largest = 0.0, energy = 0.0;
    long worst = 0, saturated = 0;
    for (long n = 0; n < compared; ++n)
        for (int ch = 0; ch < channels; ++ch) {
            const double expected = tool.samples[n * channels + ch];
            const double got = plugin.samples[(n + latency) * channels + ch];
            energy += expected * expected;
            // The tool's float path runs through the player's 32-bit integer blocks, which
            // saturate at full scale; the plug-in's floats keep what lies beyond. Where the
            // tool is at its limit, the plug-in must be there or further out on the same side.
            if (std::fabs(expected) >= k_tool_limit) {
                ++saturated;
                if (got * expected >= expected * expected) continue;
            }
            const double d = std::fabs(got - expected);
            if (!(d <= largest)) {  // NaN counts as the worst
                largest = std::isnan(d) ? INFINITY : d;
                worst = n;
            }
        }
    const double rms = std::sqrt(energy / (static_cast<double>(compared) * channels));
    std::printf(
        "latency %ld frames, %ld frames compared, tool output rms %.4f, %ld samples at "
        "the tool's full scale, largest difference %.3g (frame %ld), tolerance %.3g\n",
        latency, compared, rms, saturated, largest, worst, tolerance);
    // Two silent files would agree without showing anything.
    if (!(rms > 1e-3)) {
        std::fprintf(stderr, "the tool's output is silent\n");
        return 1;
    }
    return largest <= tolerance ? 0 : 1;
}
