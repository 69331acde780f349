#pragma once
// Runs a recording through the plug-in's sample path in player-sized blocks as it streams from
// its reader to its writer, and lines the output up with the input on the way. Memory stays the
// same whatever the length: a few blocks of samples and a bounded azimuth history.
//
// Each stream has instances of its own, so several run at once on as many threads: one per
// channel pair, the first two channels, the next two, and so on, an odd last channel as mono.
// A pair is processed as the player processes stereo; every pair is lined up with the input.

#include <functional>
#include <string>
#include <vector>

#include "restore_measures.h"

namespace varnolt {
class DisplaySurface;
struct Instance;
struct LiveParameters;
}  // namespace varnolt

namespace varnolt::cli {

struct RestoreSettings {
    int block_frames = 576;  // frames per ModifySamples call, as the player's blocks
    // Width of the player's blocks an integer input goes through to an integer output; 0 for
    // the floating-point path, where the chain's result passes without blocks or dither (a
    // floating-point input or output: what lies above full scale stays).
    int bits = 16;
    // Width of an integer output narrower than the blocks, or any integer output of the
    // floating-point path: the samples are reduced to it with dither. 0: none.
    int output_bits = 0;
    bool keep_latency = false;      // leave the processing delay in, as the player hears it
    long long expected_frames = 0;  // what the input's header promises, for the progress share
    // When set, the window's displays of the first channel pair draw into it as into an open
    // window: all at the start, then at the playback pace until the input's last frame.
    DisplaySurface* window_picture = nullptr;
    // "PC Recording Volume" for each channel of the stream, from a measured Dolby level; empty
    // keeps the setting for all.
    std::vector<double> channel_pc_volume;
};

// Where the samples come from and go, interleaved, full scale 1.0.
struct SampleStreams {
    // Fills up to `frames` frames; fewer only at the end of the input.
    std::function<long long(double* samples, long long frames)> read;
    // Takes restored frames in time with the input; false stops the run.
    std::function<bool(const double* samples, long long frames)> write;
    // Optional: see every input frame, and every output frame before any dither.
    std::function<void(const double* samples, long long frames)> watch_input;
    std::function<void(const double* samples, long long frames)> watch_output;
};

enum class RestoreOutcome { done, interrupted, write_failed };

// Called now and then with the share of the input done (0 .. 1).
using ProgressCallback = std::function<void(double)>;

// Interleaved samples of a stream of one or two channels between a sample going in and coming
// out of `instance`, with its live switches.
long long processing_delay_samples(Instance& instance, int channels);

// Streams the input through instances that start from `parameters` to the output, in time with
// the input unless the latency is kept (then the output is longer by the delay, so nothing is
// lost).
RestoreOutcome restore_stream(int channels, int sample_rate, const LiveParameters& parameters,
                              const SampleStreams& streams, const RestoreSettings& settings,
                              const ProgressCallback& progress, RestoreMeasures& measures);

// The plug-in's azimuth correction in micrometres of tape for a slope in radians per bin.
double slope_micrometres(double slope, double sample_rate);

}  // namespace varnolt::cli
