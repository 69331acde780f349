#pragma once
// Runs a recording through the plug-in's ModifySamples in player-sized blocks and lines the
// output up with the input.

#include <functional>
#include <string>
#include <vector>

#include "audio_file.h"

namespace varnolt::cli {

struct RestoreSettings {
    int block_frames = 576;     // frames per ModifySamples call, as the player's blocks
    int bits = 16;              // width of the blocks: the output file's
    bool keep_latency = false;  // leave the processing delay in, as the player hears it
    // Called once the last input frame has gone in, before the silence that flushes the delay.
    std::function<void()> on_input_end;
};

struct AzimuthPoint {
    double seconds;
    double micrometres;
};

struct RestoreMeasures {
    double input_peak = 0.0;  // largest magnitude, 1.0 = full scale
    double output_peak = 0.0;
    long long clipped = 0;         // output samples at the limits of the blocks' format
    bool azimuth_running = false;  // the correction was switched on and ran
    double azimuth_end = 0.0;      // micrometres, at the end of the file
    std::vector<AzimuthPoint> azimuth;
};

// Called now and then with the share of the file done (0 .. 1).
using ProgressCallback = std::function<void(double)>;

// Interleaved samples between a sample going in and coming out, with the live switches.
long long processing_delay_samples(int channels);

// Replaces audio.samples by the restored samples, in time with the input unless the latency is
// kept. The plug-in must have been started. False when an interruption stopped it.
bool restore_audio(AudioFile& audio, const RestoreSettings& settings,
                   const ProgressCallback& progress, RestoreMeasures& measures);

// A peak as "-3.1 dBFS" ("-inf dBFS" for silence).
std::string dbfs_text(double peak);

// The plug-in's azimuth correction in micrometres of tape for a slope in radians per bin.
double slope_micrometres(double slope, double sample_rate);

}  // namespace varnolt::cli
