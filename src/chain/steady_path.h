#pragma once
// The chain's steady path, for a front end whose output goes straight to a listener (the LV2
// plug-in in an editor, a desktop filter or a player): one fixed delay for the stream's whole
// life, whatever is switched, and no switch that leaves a gap or a click.
//
// Every stage with a latency has a delay line of that latency beside it, so the path through a
// switched-off stage is as long as the path through the processor, and the mono mix's frame is
// matched by a frame of delay while it is off. A stage switched on is fed while the output still
// takes the delayed input, until every block its output is drawn from was filled with fresh
// input; then the output cross-fades to the processor's. Switched off, the output cross-fades
// back to the delayed input while the processor is still fed, and only then is it left standing.
// Bypass cross-fades the whole output to the input delayed by the fixed delay, with the stages
// running on, so leaving bypass is as immediate as entering it. A quality change, which restarts
// the tape processor's blocks, fades its stage out, restarts it and fades it back in. So does a
// change of Dolby B decoder: the table remover comes and goes with the blocks, when depends on
// where they stand, while the standard decoder works on their output, so switched in place the
// two would decode together or neither would. So does a change of whether the blocks are processed
// (with the standard decoder and the bias equaliser off they only pass the samples on,
// exactly): blocks that start hold stale input, and blocks that stop lose their overlap. The
// standard decoder, inside the tape stage, fades in and out on its own where the stage runs on
// (the remover or "without Dolby" switched beside the bias equaliser), and starts from rest
// each time: its state from long ago belongs to another passage.
//
// The block processors' work is spread over the calls (Processor::spread_blocks), which adds
// one block (N frames) to the delay.
//
// Off by default: the player keeps its own path, whose delay follows the switches and whose
// stages resume where they stood, and its blocks unspread. Playback thread only; fixed-size state,
// nothing allocated.

#include "chain/spread_pacing.h"
#include "processors/processor.h"

namespace varnolt {

// The block processors' latency in chain calls on the steady path: 2N at every quality
// (processor.h, stereo.cpp) and the spread's N, as the steady path spreads their blocks: a host
// that hands it small blocks finds no call carrying a whole block's work.
constexpr int k_stage_latency_calls = 2 * k_block_frames + k_spread_delay;
// The steady path's delay in chain calls (two a frame): both block processors' and the mono mix's
// frame, the longest the chain can have; 6145 frames.
constexpr int k_steady_delay_calls = 2 * k_stage_latency_calls + 2;
// The length of every cross-fade, in frames: 5.8 ms at 44.1 kHz, long enough that the change of
// weight makes no click, short enough that a switch is heard at once. The weight follows a
// raised cosine, and the two weights add up to 1, so a fade between two signals stays within
// the larger of them: one below full scale stays below it.
constexpr int k_switch_fade_frames = 256;

// The compressor has no latency, but switched on it starts from the gain it had (1 the first
// time): over quiet programme a hundredfold lift for the 80 samples its attack takes to bring the
// gain down. Fed this long before it is heard, 0.95^512 of that first pull is left when its
// output fades in.
constexpr int k_compressor_warmup_calls = 2 * k_switch_fade_frames;

// The standard decoder, switched on, starts from rest and so decodes the first milliseconds of
// a passage wrong: its control level rises with a 2 ms attack. Fed this long (512 frames,
// 11.6 ms at 44.1 kHz, six attack times) before it is heard.
constexpr int k_decoder_warmup_calls = 4 * k_switch_fade_frames;

// One switchable part of the path: whether its processor is fed and how far the output has
// faded from the delayed input (0) to the processor's output (k_switch_fade_frames).
struct StageFade {
    bool fed = false;
    int fresh_calls = 0;  // samples fed since feeding began, counted up to the warm-up
    int position = 0;
    double weight = 0.0;  // the processor's share, from position; the delayed input has the rest
};

// A ring that gives back each sample `Delay` calls after it went in (0 before any).
template <int Delay>
struct DelayLine {
    double samples[Delay] = {};
    int index = 0;

    double pass(double x) {
        const double delayed = samples[index];
        samples[index] = x;
        if (++index == Delay) index = 0;
        return delayed;
    }
};

struct SteadyPathState {
    bool on = false;       // chosen by the front end before its first sample
    bool started = false;  // the first frame has taken the switches as they stand
    // A new quality, decoder or block mode waits until the tape stage has faded out.
    bool tape_waiting = false;
    // The tape stage's decoder and whether its processor's blocks are processed: as the
    // switches call for, once the stage has faded out.
    bool standard_decoder = false;
    bool blocks_active = true;
    StageFade tape;
    StageFade decoding;  // the standard decoder inside the tape stage
    StageFade stereo;
    StageFade compressor;
    StageFade mono;
    StageFade bypass;
    DelayLine<k_stage_latency_calls> tape_dry;    // the tape stage's input, its latency later
    DelayLine<k_stage_latency_calls> stereo_dry;  // the stereo stage's input, its latency later
    DelayLine<k_steady_delay_calls> input_dry;    // the chain's input, the whole delay later
    SpreadPacing pacing;                          // of both processors' spread steps
};

// One frame's step of a part towards `on` (at the frame's first sample). A part being switched
// on is fed at once and fades in after `warmup_calls` fed samples; one being switched off fades
// out and is no longer fed from the frame its output is the delayed input alone.
void step_fade(StageFade& fade, bool on, int warmup_calls);

// Takes every part's switch as it stands, without fading (the stream's first frame, when the
// delay lines hold only the silence before it, as the processors do).
void start_fade(StageFade& fade, bool on);

// A sample of a part: the processor's output and the delayed input, weighted by the fade.
inline double blend(const StageFade& fade, double processed, double delayed) {
    if (fade.position >= k_switch_fade_frames) return processed;
    if (fade.position <= 0) return delayed;
    return delayed + fade.weight * (processed - delayed);
}

// Fed samples after which a block processor's output no longer depends on anything fed before
// feeding began: the output sample leaving now belongs to the input of one latency ago, the
// block holding that input reaches 2N samples further back (its window), and the hop of that
// block's predecessor is cross-faded into it.
int processor_warmup_calls(const Processor& processor);

}  // namespace varnolt
