#pragma once
// The per-sample chain: every sample of the host's interleaved stream, left and right in turn,
// goes through the tape processor, the stereo processor, the compressor, the post amplifier and
// the optional mono mix. Playback thread only, but for the peaks the displays read.

#include "chain/standard_decoder.h"
#include "chain/steady_path.h"
#include "settings/relaxed.h"

namespace varnolt {

// Holds the input of up to the two processors' latencies (4096 + 4096) with room to spare.
constexpr int k_dry_line_capacity = 12290;
// With no block processor in the path the dry copy still lags two calls (one frame).
constexpr int k_minimum_dry_delay = 2;
// Holds the "PC Recording Volume" of every sample inside the tape processor (its latency is
// 2 × 2048 interleaved samples), with room to spare; a power of two, so that the index wraps by a
// mask in the per-sample path.
constexpr int k_pc_volume_line_capacity = 8192;

// Switches copied at every left sample, so both channels of a frame see the same state.
struct FrameSnapshot {
    bool bias_on = false;
    bool dolby_on = false;
    bool dolby_difference_on = false;
    // The standard decoder chosen in place of the table remover, and whether it decodes now (the
    // remover switched on and the processing mode full).
    bool standard_decoder_on = false;
    bool standard_decoding = false;
    bool singleband_on = false;
    double post_gain = 1.0;
    // Whether the stereo processor and the tone analyser are fed. A processor's intake counts
    // interleaved samples, so a feed that started or stopped between the two samples of a frame
    // would leave it treating right as left for good.
    bool stereo_on = false;
    bool tone_feed_on = false;
    // The mono mix: switched within a frame, one of its samples would be mixed and the other not.
    bool mono_on = false;
};

struct ChainState {
    int current_channel = 0;  // 0 while a left sample is processed, 1 for a right one
    FrameSnapshot snapshot;
    int frame_delay = k_minimum_dry_delay;  // the dry line's length for this frame
    // The unprocessed input, delayed by the processing latency so the input meters show the
    // input that belongs to the output leaving now.
    double dry[k_dry_line_capacity] = {};
    int dry_index = 0;
    // Working-scale peaks for the meters, index 0 left, 1 right; cleared after each paced
    // display refresh. Written by the playback thread, read by whichever thread draws.
    relaxed<double> input_peak[2] = {};
    relaxed<double> output_peak[2] = {};
    double mono_slots[2] = {};  // the last frame's output, left and right
    double mono_value = 0.0;    // (L + R) / 2 of the frame before the current one
    // "PC Recording Volume" for each channel where a transfer's channels need different ones;
    // 0 takes the setting for both, as the player always does. Set by the tool and the LV2
    // plug-in from a measured Dolby level (set_channel_pc_volumes), between blocks, on the thread
    // that runs the stream.
    double channel_pc_volume[2] = {};
    // The volume each sample went into the tape processor with, so that it comes out multiplied
    // by the same one when the setting has moved meanwhile; 0 where none was written yet.
    double pc_volume_line[k_pc_volume_line_capacity] = {};
    int pc_volume_index = 0;
    StandardDecoderState standard_decoder;
    // The steady path (chain/steady_path.h), for a front end that turns it on with `steady.on`
    // before its first sample; the player's path leaves it off.
    SteadyPathState steady;
};

struct Instance;

// Takes the frame snapshot of the switches from the live parameters.
void snapshot_switches(Instance& instance);

// Processes one sample in 16-bit units at `sample_rate` frames per second.
double chain_sample(Instance& instance, double x, double sample_rate);

// One sample of a host stream with `channels` channels (1: mono). A mono sample goes through
// both sides of the chain, so the left/right alternation stays aligned, and the two results are
// averaged; any other stream's samples take one call each. Shared by every front end, so the
// player's DLL and the LV2 plug-in treat a mono stream alike. Inline, so that each caller's loop
// calls the chain directly, as it runs once per sample.
inline double chain_stream_sample(Instance& instance, double x, int channels, double sample_rate) {
    double y = chain_sample(instance, x, sample_rate);
    if (channels == 1) y = (y + chain_sample(instance, x, sample_rate)) * 0.5;
    return y;
}

// Interleaved samples between a sample entering the chain and leaving it with the live switches:
// the latencies of the block processors that are switched on.
int processing_latency(Instance& instance);

// Chain calls between a sample going in and its result coming out, as a host hears it: none in
// bypass; else the block processors' latency and, with the mono mix on, one frame (two calls)
// more, as the mix takes the frame before. Two calls make a frame for stereo and mono alike.
// On the steady path always k_steady_delay_calls.
int output_delay_calls(Instance& instance);

// Gives each channel its own "PC Recording Volume" (0: the setting's).
void set_channel_pc_volumes(Instance& instance, double left, double right);

// Sets the four level peaks to 0 (after a paced display refresh).
void clear_level_peaks(Instance& instance);

}  // namespace varnolt
