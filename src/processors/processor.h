#pragma once
// The block framework shared by the frequency-domain processors: the chain pushes one
// interleaved sample at a time, every hop of H samples the processor runs process_block on a
// block of N = 2048 frames that overlaps the previous one by E frames, and the chain reads one
// output sample back per push, delayed by a fixed 2N = 4096 samples whether blocks were
// processed or passed through. The geometry comes from block_geometry (block_geometry.h).
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
constexpr int k_ring_capacity = 2 * k_block_frames;
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
    const double* output_ring() const { return out_ring_; }

  protected:
    // Appends one sample to the output ring.
    void write_output(double y) {
        out_ring_[out_write_] = y;
        if (++out_write_ >= geometry_.ring_length) out_write_ = 0;
    }
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

    BlockGeometry geometry_;
    double sample_rate_;
    int quality_;        // as last handed over
    int filled_;         // samples of the current block in intake_
    bool block_active_;  // whether the current block is processed
    double intake_[k_intake_capacity];
    double out_ring_[k_ring_capacity];
    double window_[k_window_capacity];  // rising window edge, E entries
    int out_write_;
    int out_read_;
    int output_ready_;  // 1 once the first complete block has been collected
};

// Called for every sample: defined here so the chain inlines it.
inline void Processor::push_sample(double x, bool active) {
    // The sample pushed exactly 2E samples ago: what an inactive block passes on now. With
    // 0 <= filled < H and 2E <= H one wrap is enough.
    int delayed_slot = filled_ - 2 * geometry_.overlap;
    if (delayed_slot < 0) delayed_slot += geometry_.hop;
    const double delayed = intake_[delayed_slot];

    if (filled_ == 0) block_active_ = active;
    // What a stage before delivers may have overflowed (a gain of 1e308): the block works on
    // the saturated sample, so its transform never meets inf - inf.
    intake_[filled_] = saturate_working(x);
    ++filled_;

    if (block_active_) {
        if (filled_ >= geometry_.hop) process_block();
    } else {
        write_output(delayed);
    }
    if (filled_ >= geometry_.hop) {
        filled_ = 0;
        output_ready_ = 1;
    }
}

inline double Processor::read_output() {
    if (output_ready_ == 0) return 0.0;
    const double y = out_ring_[out_read_];
    if (++out_read_ >= geometry_.ring_length) out_read_ = 0;
    return y;
}

}  // namespace varnolt
