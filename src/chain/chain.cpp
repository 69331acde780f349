#include "chain/chain.h"

#include <algorithm>
#include <cmath>

#include "chain/instance.h"

#include "processors/processor.h"
#include "processors/processor_set.h"
#include "processors/singleband.h"
#include "processors/tape_control.h"
#include "settings/parameters.h"

namespace varnolt {

namespace {

constexpr double k_smallest_pc_volume = 1e-9;
// Fed samples a fade counts, far beyond any warm-up, so the count never overflows.
constexpr int k_counted_fresh_calls = 1 << 30;

// The chain's steps on one instance, its state under the names the chain has always used.
struct ChainWork {
    LiveParameters& live;
    ChainState& chain;
    ProcessorSet& processors;
    TapeControl& tape_control;

    explicit ChainWork(Instance& instance)
        : live(instance.live),
          chain(instance.chain),
          processors(instance.processors),
          tape_control(instance.tape_control) {}

    void write_tape_control() {
        const Settings& p = live.values;
        // On the steady path the stages run on in bypass as they will be heard when it ends.
        const bool full = live.processing_mode == k_mode_full ||
                          (chain.steady.on && live.processing_mode == k_mode_bypass);
        const bool dolby_active = chain.snapshot.dolby_on && full;
        const bool standard = chain.snapshot.standard_decoder_on;
        // The standard decoder takes the table remover's place: the tape processor's band gains
        // stay at 1 and its "Difference" is the decoder's.
        tape_control.dolby_active = dolby_active && !standard;
        tape_control.dolby_difference = chain.snapshot.dolby_difference_on && !standard;
        tape_control.table_remover_off = standard;
        chain.snapshot.standard_decoding = dolby_active && standard;
        tape_control.bias_active = chain.snapshot.bias_on;
        tape_control.right_relative_to_left = p.right_relative_to_left != 0;
        tape_control.left_relative_to_right = p.left_relative_to_right != 0;
        tape_control.auto_left = p.auto_adjust_left != 0;
        tape_control.auto_right = p.auto_adjust_right != 0;
        tape_control.auto_clustered = p.auto_adjust_clustered != 0;
        tape_control.auto_bias_only = p.auto_adjust_bias_only != 0;
    }

    void apply_quality_change() {
        const int q = live.values.quality;
        if (q == processors.applied_quality) return;
        if (Processor* tape = processors.tape) tape->set_quality(q);
        // The stereo processor keeps its own fixed geometry and only reads the value.
        if (Processor* stereo = processors.stereo) stereo->set_quality_keeping_geometry(q);
        processors.applied_quality = q;
    }

    bool stereo_switches_on() { return live.azimuth_enabled != 0 || live.values.fm_enabled != 0; }

    bool stereo_stage_on() { return chain.snapshot.stereo_on; }

    bool tape_stage_on() { return chain.snapshot.bias_on || chain.snapshot.dolby_on; }

    int latency_of(bool tape_on, bool stereo_on) {
        int latency = 0;
        if (tape_on && processors.tape) latency += processors.tape->latency();
        if (stereo_on && processors.stereo) latency += processors.stereo->latency();
        return latency;
    }

    int total_latency() {
        return std::clamp(latency_of(tape_stage_on(), stereo_stage_on()), k_minimum_dry_delay,
                          k_dry_line_capacity);
    }

    // Stages 1 and 1b: bias equaliser and Dolby B remover, then the tone analyser's feed. The
    // processor works on input / "PC Recording Volume" so its fixed levels match the recording.
    double tape_stage(double y) {
        Processor* tape = processors.tape;
        if (tape == nullptr) return y;
        const double pc_volume = channel_volume(chain.current_channel);
        const bool blocks_active =
            chain.steady.on ? chain.steady.blocks_active : blocks_needed(chain.snapshot.bias_on);
        tape->push_sample(y / pc_volume, blocks_active);
        y = tape->read_output();
        const double coming_out = volume_coming_out(pc_volume, tape->latency());
        if (chain.snapshot.standard_decoder_on) y = standard_decoder_stage(y, coming_out);
        y *= coming_out;
        if (chain.snapshot.tone_feed_on && processors.tone) processors.tone->push_sample(y, true);
        return y;
    }

    // With the standard decoder and "Bias" off the processor's blocks have nothing to do: they
    // pass the samples on with the same latency.
    bool blocks_needed(bool bias_on) const {
        return bias_on || !chain.snapshot.standard_decoder_on;
    }

    double standard_decoded(double y, double volume) {
        return standard_decode(chain.standard_decoder, chain.current_channel, y, volume,
                               processors.tape->sample_rate());
    }

    // The standard decoder on the tape processor's output, still divided by `volume`; with
    // "Difference" on, what it removed. On the steady path it fades in and out.
    double standard_decoder_stage(double y, double volume) {
        double decoded = y;
        if (chain.steady.on) {
            StageFade& fade = chain.steady.decoding;
            if (fade.fed) {
                // Fed anew: the frame's first sample, the left one, starts both channels.
                if (fade.fresh_calls == 0) rest_standard_decoder(chain.standard_decoder);
                decoded = blend(fade, standard_decoded(y, volume), y);
                if (fade.fresh_calls < k_counted_fresh_calls) ++fade.fresh_calls;
            }
        } else if (chain.snapshot.standard_decoding) {
            decoded = standard_decoded(y, volume);
        }
        return chain.snapshot.dolby_difference_on ? decoded - y : decoded;
    }

    // The volume a channel's sample is worked on at: its own where one is set, else the setting.
    double channel_volume(int channel) {
        double pc_volume = chain.channel_pc_volume[channel];
        if (pc_volume == 0.0) pc_volume = live.values.pc_recording_volume;
        // A zero or broken value from a hand-edited file must not turn every sample into inf/NaN.
        if (!(std::fabs(pc_volume) >= k_smallest_pc_volume) || !std::isfinite(pc_volume))
            pc_volume = 1.0;
        return pc_volume;
    }

    // Records the volume the sample going in now was divided by, and gives the one the sample
    // coming out was divided by, `latency` calls ago: a sample is multiplied back by its own
    // volume, so a moving slider or a newly held level makes no jump of level for the length of
    // the processor's latency. Until the line holds that sample's volume (after a load), the
    // current one.
    double volume_coming_out(double going_in, int latency) {
        double coming_out = going_in;
        constexpr int mask = k_pc_volume_line_capacity - 1;
        static_assert((k_pc_volume_line_capacity & mask) == 0, "the line's length is a power of 2");
        if (latency > 0 && latency < k_pc_volume_line_capacity) {
            const int at = chain.pc_volume_index & mask;
            const double went_in = chain.pc_volume_line[(at - latency) & mask];
            if (went_in != 0.0) coming_out = went_in;
            chain.pc_volume_line[at] = going_in;
            chain.pc_volume_index = (at + 1) & mask;
        }
        return coming_out;
    }

    // Stage 2: azimuth correction and FM stereo hiss removal.
    double stereo_stage(double y) {
        Processor* stereo = processors.stereo;
        if (stereo == nullptr) return y;
        stereo->push_sample(y, true);
        return stereo->read_output();
    }

    // Stage 3: the "Constant volume" compressor, sample by sample, one gain for both channels.
    double compressor_stage(double y) {
        Singleband* compressor = processors.singleband;
        if (compressor == nullptr) return y;
        compressor->compress_sample(y, true);
        return compressor->compressed_output();
    }

    // The mono mix of one frame, (L + R) / 2, for both samples of the next: the left sample leaves
    // the chain before the right one of its frame has come, so the mix lags one frame (two calls).
    // The slots follow the output whether or not the mix is on, so switching it on mixes the frame
    // just passed, never an old one.
    double mono_mix(double y, int channel) {
        if (channel == 0) chain.mono_value = (chain.mono_slots[0] + chain.mono_slots[1]) * 0.5;
        chain.mono_slots[channel] = y;
        return chain.mono_value;
    }

    void snapshot_switches() {
        const Settings& p = live.values;
        chain.snapshot.bias_on = p.bias_enabled != 0;
        chain.snapshot.dolby_on = p.dolby_enabled != 0;
        chain.snapshot.dolby_difference_on = p.dolby_difference != 0;
        // The steady path changes decoder only once the tape stage has faded out.
        chain.snapshot.standard_decoder_on =
            chain.steady.on ? chain.steady.standard_decoder : p.standard_decoder != 0;
        chain.snapshot.singleband_on = p.singleband_enabled != 0;
        chain.snapshot.post_gain = p.post_amplifier;
        chain.snapshot.stereo_on = stereo_switches_on();
        chain.snapshot.tone_feed_on = live.show_tone_level != 0;
        chain.snapshot.mono_on = live.mono != 0;
        // The tape processor reads its working flags only when a block completes, so once a frame
        // is as good as before every sample.
        write_tape_control();
    }

    void spread_block_work() {
        if (processors.tape) processors.tape->spread_blocks(true);
        if (processors.stereo) processors.stereo->spread_blocks(true);
    }

    void set_sample_rates(double sample_rate) {
        if (processors.tape) processors.tape->set_sample_rate(sample_rate);
        if (processors.stereo) processors.stereo->set_sample_rate(sample_rate);
        if (processors.tone) processors.tone->set_sample_rate(sample_rate);
    }

    // The steady path's frame start: the switches, a waiting change of the tape stage, and every
    // part's step towards its switch.
    void start_steady_frame(double sample_rate) {
        SteadyPathState& steady = chain.steady;
        // Before the first sample: the delay lines beside the processors are their spread
        // latency long.
        if (!steady.started) spread_block_work();
        snapshot_switches();
        set_sample_rates(sample_rate);
        // Changes the tape stage cannot make while it is heard: set_quality restarts the tape
        // processor's blocks, whose output would be silence until they are full again; blocks
        // that start being processed hold stale input, and blocks that stop lose their overlap;
        // a new decoder would meet the table remover's gains on their way in or out of the
        // blocks, at a time that depends on where the blocks stand, and the two decoders decode
        // together or neither does. Applied at once where the stage is not fed (and at the first
        // frame, before it is), else once the stage has faded out; it then fades back in.
        const bool standard = live.values.standard_decoder != 0;
        steady.tape_waiting = live.values.quality != processors.applied_quality ||
                              standard != steady.standard_decoder ||
                              blocks_needed(chain.snapshot.bias_on) != steady.blocks_active;
        if (steady.tape_waiting && (!steady.tape.fed || !steady.started)) {
            apply_quality_change();
            steady.standard_decoder = standard;
            snapshot_switches();
            steady.blocks_active = blocks_needed(chain.snapshot.bias_on);
            // The decoder is heard only once the stage has warmed up again.
            start_fade(steady.decoding, chain.snapshot.standard_decoding);
            steady.tape_waiting = false;
        }
        const bool tape_on = tape_stage_on() && !steady.tape_waiting;
        const bool bypass_on = live.processing_mode == k_mode_bypass;
        if (!steady.started) {
            start_fade(steady.tape, tape_on);
            start_fade(steady.decoding, chain.snapshot.standard_decoding);
            start_fade(steady.stereo, stereo_stage_on());
            start_fade(steady.compressor, chain.snapshot.singleband_on);
            start_fade(steady.mono, chain.snapshot.mono_on);
            start_fade(steady.bypass, bypass_on);
            steady.started = true;
            return;
        }
        step_fade(steady.tape, tape_on,
                  processors.tape ? processor_warmup_calls(*processors.tape) : 0);
        step_fade(steady.decoding, chain.snapshot.standard_decoding, k_decoder_warmup_calls);
        step_fade(steady.stereo, stereo_stage_on(),
                  processors.stereo ? processor_warmup_calls(*processors.stereo) : 0);
        step_fade(steady.compressor, chain.snapshot.singleband_on, k_compressor_warmup_calls);
        step_fade(steady.mono, chain.snapshot.mono_on, 0);
        step_fade(steady.bypass, bypass_on, 0);
    }

    // A stage's sample on the steady path: its processor's output while fed, blended with its
    // input of one latency ago (`delayed`) by its fade.
    template <class Stage>
    double steady_stage(StageFade& fade, double y, double delayed, Stage stage) {
        double processed = 0.0;
        if (fade.fed) {
            processed = stage(y);
            if (fade.fresh_calls < k_counted_fresh_calls) ++fade.fresh_calls;
        }
        return blend(fade, processed, delayed);
    }

    double steady_chain_sample(double x, double sample_rate) {
        SteadyPathState& steady = chain.steady;
        if (chain.current_channel == 0) start_steady_frame(sample_rate);
        const int channel = chain.current_channel;
        const double input_delayed = steady.input_dry.pass(x);
        chain.input_peak[channel] =
            std::max(chain.input_peak[channel].load(), std::fabs(input_delayed));

        double y = x;
        y = steady_stage(steady.tape, y, steady.tape_dry.pass(y),
                         [this](double v) { return tape_stage(v); });
        y = steady_stage(steady.stereo, y, steady.stereo_dry.pass(y),
                         [this](double v) { return stereo_stage(v); });
        y = steady_stage(steady.compressor, y, y, [this](double v) { return compressor_stage(v); });
        y *= chain.snapshot.post_gain;
        chain.output_peak[channel] = std::max(chain.output_peak[channel].load(), std::fabs(y));

        // Once a frame, after both samples went in: the processors' spread steps.
        if (channel == 1) {
            Processor* const spread[] = {processors.tape, processors.stereo};
            pace_spread_steps(steady.pacing, spread, 2, 2);
        }

        // This channel's output of the frame before, which the mix's slot still holds: the mix's
        // frame of delay while the mix is off.
        const double previous_frame = chain.mono_slots[channel];
        const double mono = mono_mix(y, channel);
        chain.current_channel ^= 1;
        y = blend(steady.mono, mono, previous_frame);
        return blend(steady.bypass, input_delayed, y);
    }

    double chain_sample(double x, double sample_rate) {
        if (chain.steady.on) return steady_chain_sample(x, sample_rate);
        if (chain.current_channel == 0) {
            snapshot_switches();
            // set_quality restarts the intake at its first sample, which must be a left one.
            apply_quality_change();
            // The latencies change with the quality only, and the dry line with the switches.
            chain.frame_delay = total_latency();
            // Both samples of a frame come in the same host block, at the same rate.
            set_sample_rates(sample_rate);
        }

        const int delay = chain.frame_delay;
        const int channel = chain.current_channel;
        chain.input_peak[channel] =
            std::max(chain.input_peak[channel].load(), std::fabs(chain.dry[chain.dry_index]));

        double y = x;
        if (tape_stage_on()) y = tape_stage(y);
        if (stereo_stage_on()) y = stereo_stage(y);
        if (chain.snapshot.singleband_on) y = compressor_stage(y);

        y *= chain.snapshot.post_gain;
        chain.output_peak[channel] = std::max(chain.output_peak[channel].load(), std::fabs(y));

        chain.dry[chain.dry_index] = x;
        if (++chain.dry_index >= delay) chain.dry_index = 0;

        chain.current_channel ^= 1;
        const double mono = mono_mix(y, channel);
        return chain.snapshot.mono_on ? mono : y;
    }

    int processing_latency() {
        const bool tape_on = live.values.bias_enabled != 0 || live.values.dolby_enabled != 0;
        return latency_of(tape_on, stereo_switches_on());
    }

    void clear_level_peaks() {
        for (int channel = 0; channel < 2; ++channel) {
            chain.input_peak[channel] = 0.0;
            chain.output_peak[channel] = 0.0;
        }
    }
};

}  // namespace

void snapshot_switches(Instance& instance) {
    ChainWork(instance).snapshot_switches();
}

double chain_sample(Instance& instance, double x, double sample_rate) {
    return ChainWork(instance).chain_sample(x, sample_rate);
}

int processing_latency(Instance& instance) {
    return ChainWork(instance).processing_latency();
}

int output_delay_calls(Instance& instance) {
    if (instance.chain.steady.on) return k_steady_delay_calls;
    if (instance.live.processing_mode == k_mode_bypass) return 0;
    return processing_latency(instance) + (instance.live.mono != 0 ? 2 : 0);
}

void set_channel_pc_volumes(Instance& instance, double left, double right) {
    instance.chain.channel_pc_volume[0] = left;
    instance.chain.channel_pc_volume[1] = right;
}

void clear_level_peaks(Instance& instance) {
    ChainWork(instance).clear_level_peaks();
}

}  // namespace varnolt
