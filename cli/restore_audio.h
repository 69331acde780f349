#pragma once
// Runs a recording through the plug-in's sample path in player-sized blocks as it streams from
// its reader to its writer, and lines the output up with the input on the way. Memory stays the
// same whatever the length: a few blocks of samples and a bounded azimuth history.
//
// Each stream has instances of its own, so several run at once on as many threads: one per
// channel pair, the first two channels, the next two, and so on, an odd last channel as mono.
// A pair is processed as the player processes stereo; every pair is lined up with the input.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace varnolt {
class DisplaySurface;
struct Instance;
struct LiveParameters;
}  // namespace varnolt

namespace varnolt::cli {

struct RestoreSettings {
    int block_frames = 576;         // frames per ModifySamples call, as the player's blocks
    int bits = 16;                  // width of the blocks
    int output_bits = 0;            // narrower width the output is reduced to with dither; 0: none
    bool keep_latency = false;      // leave the processing delay in, as the player hears it
    long long expected_frames = 0;  // what the input's header promises, for the progress share
    // When set, the window's displays of the first channel pair draw into it as into an open
    // window: all at the start, then at the playback pace until the input's last frame.
    DisplaySurface* window_picture = nullptr;
    // "PC Recording Volume" for each channel of the stream, from a measured Dolby level; empty
    // keeps the setting for all.
    std::vector<double> channel_pc_volume;
};

// Where the samples come from and go, interleaved and left-aligned in 32 bits.
struct SampleStreams {
    // Fills up to `frames` frames; fewer only at the end of the input.
    std::function<long long(std::int32_t* samples, long long frames)> read;
    // Takes restored frames in time with the input; false stops the run.
    std::function<bool(const std::int32_t* samples, long long frames)> write;
    // Optional: see every input frame, and every output frame before any dither.
    std::function<void(const std::int32_t* samples, long long frames)> watch_input;
    std::function<void(const std::int32_t* samples, long long frames)> watch_output;
};

struct AzimuthPoint {
    double seconds;
    double micrometres;
};

// At most this many points of the azimuth history are kept: a long file keeps every second,
// fourth, … block's, evenly spread over the whole file.
constexpr std::size_t k_most_azimuth_points = 2048;

struct RestoreMeasures {
    long long input_frames = 0;
    long long output_frames = 0;
    double input_peak = 0.0;  // largest magnitude, 1.0 = full scale
    double output_peak = 0.0;
    long long clipped = 0;         // output samples at the limits of the blocks' format
    bool azimuth_running = false;  // the correction was switched on and ran
    double azimuth_end = 0.0;      // micrometres, at the end of the file
    std::vector<AzimuthPoint> azimuth;
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

// A peak as "-3.1 dBFS" ("-inf dBFS" for silence).
std::string dbfs_text(double peak);

// The plug-in's azimuth correction in micrometres of tape for a slope in radians per bin.
double slope_micrometres(double slope, double sample_rate);

}  // namespace varnolt::cli
