#pragma once
// The block framework shared by the frequency-domain processors: the chain pushes one
// interleaved sample at a time, every hop of H samples the processor runs process_block on a
// block of N = 2048 frames that overlaps the previous one by E frames, and the chain reads one
// output sample back per push, delayed by a fixed 2N = 4096 samples whether blocks were
// processed or passed through. The geometry comes from block_geometry (block_geometry.h).
//
// Spread (spread_blocks): a front end whose host hands it small blocks (an editor at 32 frames)
// would find one call in every few carrying a whole block's work. Spread, a processor does the
// block's work in steps over the pushes that fill the next block, each step at the latest when
// the intake has filled as far as the steps up to it weigh, and its output comes k_spread_delay
// samples later.
// The steps compute exactly what process_block computes; only when they run changes.
//
// Every call comes from the playback thread. Nothing allocates after construction.

#include <cstddef>

#include "processors/block_geometry.h"
#include "processors/complex_lr.h"
#include "processors/fft.h"
#include "processors/working_range.h"
#include "settings/modes.h"

namespace varnolt {

constexpr int k_intake_capacity = 2 * k_block_frames;  // interleaved samples of one block
// The latency a spread processor adds, in interleaved samples: N, one highest-quality hop, over
// which each block's steps run. A lower quality's longer hop runs its steps in the same span.
constexpr int k_spread_delay = k_block_frames;
constexpr int k_ring_capacity = 2 * k_block_frames + k_spread_delay;
// The most steps a block's work is cut into.
constexpr int k_max_block_steps = 48;
constexpr int k_window_capacity = k_block_frames;
// Working arrays inside the processor objects and states start on a cache line.
constexpr std::size_t k_cache_line = 64;

class Processor {
  public:
    // Blocks of the geometry of `quality`; the base alone passes its samples on at its latency.
    explicit Processor(int quality = k_quality_low);
    virtual ~Processor() = default;

    // Writes the processor's default parameters; the base only clears the block's activity.
    virtual void reset_defaults();
    // Turns the H collected samples into H output samples in the ring; the base copies them.
    virtual void process_block();

    // Spreads each block's work over the pushes that fill the next one (before the first push;
    // latency() grows by k_spread_delay). A processor without steps of its own does its whole
    // block as the one step.
    void spread_blocks(bool on);
    bool spreads() const { return spread_; }

    // Takes the geometry of quality shift q and restarts the block and ring indices (ring and
    // intake contents are kept). quality() gives q as handed over.
    void set_quality(int q);
    // For a processor whose geometry is its own whatever the setting (the stereo processor's):
    // only quality() changes.
    void set_quality_keeping_geometry(int q) { quality_ = q; }
    int quality() const { return quality_; }
    const BlockGeometry& geometry() const { return geometry_; }
    int latency() const { return geometry_.latency; }
    int hop() const { return geometry_.hop; }
    // Hz of the samples pushed; set by the chain.
    double sample_rate() const { return sample_rate_; }
    void set_sample_rate(double rate) { sample_rate_ = rate; }

    // Appends one interleaved sample; `active` is latched at a block's first sample.
    inline void push_sample(double x, bool active);
    // The next output sample, or 0.0 until the first block has been collected.
    inline double read_output();

    // Samples of the current block collected so far, 0 .. H - 1 between pushes.
    int filled() const { return filled_; }
    // Whether the first complete block has been collected, so that read_output reads the ring.
    bool output_ready() const { return output_ready_ != 0; }
    // The buffers as they stand (k_intake_capacity and k_ring_capacity entries), read only.
    const double* intake() const { return intake_; }
    // Steps of a spread block still to run.
    int steps_pending() const { return job_steps_ - job_step_; }
    // For pacing several spread processors together (chain/spread_pacing.h): the next pending
    // step's weight and the pushes left before it falls due here, the weight a push brings
    // while the block's steps last, and the next step run now.
    double next_step_weight() const { return step_weight_[job_step_]; }
    int pushes_before_next_step() const { return step_due_[job_step_] - filled_; }
    double weight_per_push() const { return job_steps_ > job_step_ ? job_rate_ : 0.0; }
    // The weight of the current block's steps in all, and of those still to run.
    double job_weight() const { return job_weight_; }
    double pending_weight() const {
        double w = 0.0;
        for (int s = job_step_; s < job_steps_; ++s) w += step_weight_[s];
        return w;
    }
    void run_next_step() {
        if (job_step_ < job_steps_) run_block_step(job_step_++);
    }
    const double* output_ring() const { return out_ring_; }

  protected:
    // The block's work as steps in order, and each step's share of its cost (any unit): a
    // spread block runs step s once the intake has filled as far as the steps before it weigh.
    // The base has one step, process_block.
    virtual int block_step_count() { return 1; }
    virtual double block_step_weight(int) const { return 1.0; }
    virtual void run_block_step(int) { process_block(); }

    // Appends one sample of the block being processed to the output ring.
    void write_output(double y) {
        out_ring_[block_write_] = y;
        if (++block_write_ >= geometry_.ring_length) block_write_ = 0;
    }
    // The samples of the block being processed (H of them), read only.
    const double* block_intake() const { return block_intake_; }
    // The window's rising edge, E entries; the falling edge is its mirror.
    double* window_edge() { return window_; }

    // Fills `spectrum` (N entries, imaginary parts 0) with the previous block's last E frames
    // from `kept` followed by the N - E new frames of the intake divided by N; keeps the new
    // block's last E frames in `kept`; applies the window's rising edge to the first E entries
    // and its mirror to the last E. The caller then transforms it (analysis_block.cpp).
    void assemble_analysis_block(stereo_frame* kept, complex_lr* spectrum) const;
    // The same block with the two real channels packed into one complex signal: left as the
    // real and right as the imaginary part. Its one transform holds both channels' spectra:
    // Z[k] is L[k] + i R[k], and Z[N - k] is conj(L[k]) + i conj(R[k]).
    void assemble_packed_block(stereo_frame* kept, complex_value* packed) const;

    // One hop (N - E frames) of a signal already in the time domain, crossfaded with `tail`
    // (E frames, updated): frame m's left value is signal[m * stride] and its right value
    // right_offset doubles further (overlap_add.cpp).
    void overlap_add(const double* signal, int stride, int right_offset, stereo_frame* tail,
                     stereo_frame* frames_out) const;
    // The same, appending the hop to the output ring.
    void overlap_add_to_ring(const double* signal, int stride, int right_offset,
                             stereo_frame* tail);

  private:
    // The raised-cosine rising edge: 0 for the first twelfth, 1 for the last twelfth.
    void compute_window(int edge);
    // Takes `base` (block_geometry's) with the spread's delay added, and restarts the block and
    // ring indices; ring and intake contents are kept.
    void use_geometry(const BlockGeometry& base);
    // A processed block is complete: its output's place in the ring is the next H samples.
    void reserve_block_output() {
        block_write_ = out_write_;
        out_write_ += geometry_.hop;
        if (out_write_ >= geometry_.ring_length) out_write_ -= geometry_.ring_length;
    }
    // Spread: the block just completed becomes the one whose steps run, the other intake buffer
    // takes the next (the steps of the one before are finished first).
    void complete_spread_block(bool processed);
    // Runs the steps of the spread block that are due at `filled_`.
    void run_due_steps();
    void finish_pending_steps();

    BlockGeometry geometry_;
    double sample_rate_;
    int quality_;        // as last handed over
    int filled_;         // samples of the current block in intake_
    bool block_active_;  // whether the current block is processed
    bool spread_;        // blocks are processed in steps over the next block's pushes
    // Two intake buffers: the current block fills one while a spread block's steps read the
    // other. Unspread, only the first is used.
    double intake_buffers_[2][k_intake_capacity];
    double* intake_;                // the block being filled
    const double* earlier_intake_;  // the block before it (the same buffer unless spread)
    const double* block_intake_;    // the block being processed
    double out_ring_[k_ring_capacity];
    double window_[k_window_capacity];  // rising window edge, E entries
    int out_write_;                     // where the next block's output goes
    int block_write_;                   // where the block being processed writes its output
    int out_read_;
    int output_ready_;  // 1 once the first complete block has been collected
    // The spread block's steps: the next to run, how many, and the intake count each is due at.
    int job_step_;
    int job_steps_;
    int step_due_[k_max_block_steps];
    double step_weight_[k_max_block_steps];
    double job_weight_;  // the block's steps' weight in all
    double job_rate_;    // and over the pushes they are spread across
};

// Called for every sample: defined here so the chain inlines it.
inline void Processor::push_sample(double x, bool active) {
    // The sample pushed exactly 2E samples ago: what an inactive block passes on now. With
    // 0 <= filled < H and 2E <= H one wrap is enough; the wrap reaches into the block before.
    int delayed_slot = filled_ - 2 * geometry_.overlap;
    const double* delayed_from = intake_;
    if (delayed_slot < 0) {
        delayed_slot += geometry_.hop;
        delayed_from = earlier_intake_;
    }
    const double delayed = delayed_from[delayed_slot];

    if (filled_ == 0) block_active_ = active;
    // What a stage before delivers may have overflowed (a gain of 1e308): the block works on
    // the saturated sample, so its transform never meets inf - inf.
    intake_[filled_] = saturate_working(x);
    ++filled_;

    if (!block_active_) {
        out_ring_[out_write_] = delayed;
        if (++out_write_ >= geometry_.ring_length) out_write_ = 0;
    }
    if (filled_ >= geometry_.hop) {
        if (spread_) {
            complete_spread_block(block_active_);
        } else if (block_active_) {
            reserve_block_output();
            process_block();
        }
        filled_ = 0;
        output_ready_ = 1;
    }
    if (job_step_ < job_steps_ && filled_ >= step_due_[job_step_]) run_due_steps();
}

inline double Processor::read_output() {
    if (output_ready_ == 0) return 0.0;
    const double y = out_ring_[out_read_];
    if (++out_read_ >= geometry_.ring_length) out_read_ = 0;
    return y;
}

}  // namespace varnolt
