#pragma once
// The block framework shared by all processors: the chain pushes one interleaved sample at a
// time, every hop of H samples the processor runs process_block on a block of 2048 frames that
// overlaps the previous one by E frames, and the chain reads one output sample back per push,
// delayed by a fixed 2N = 4096 samples whether blocks were processed or passed through.
//
// Every call comes from the playback thread. Nothing allocates after construction.

#include <cstddef>

#include "processors/complex_lr.h"
#include "processors/working_range.h"
#include "settings/modes.h"

namespace varnolt {

constexpr int k_log2_block_frames = 11;
constexpr int k_block_frames = 1 << k_log2_block_frames;  // N = 2048
constexpr int k_intake_capacity = 2 * k_block_frames;     // interleaved samples of one block
constexpr int k_ring_capacity = 2 * k_block_frames;
constexpr int k_window_capacity = k_block_frames;
// Working arrays inside the processor objects and states start on a cache line.
constexpr std::size_t k_cache_line = 64;
constexpr int k_highest_quality = k_quality_high;  // quality shifts run 0 (high) .. 2 (low)
constexpr int k_lowest_quality = k_quality_low;

class Processor {
  public:
    Processor();
    virtual ~Processor() = default;

    // Writes the processor's default parameters; the base only clears block_active.
    virtual void reset_defaults();
    // Turns the H collected samples into H output samples at out_write; the base copies them.
    virtual void process_block();

    // Derives overlap, hop, latency, ring length and window edge for quality shift q and
    // restarts the block and ring indices (ring and intake contents are kept).
    void set_quality(int q);
    // In-place radix-2 FFT of 2^log2n entries, both channels at once, unscaled in both
    // directions. dc_fix serves one-sided spectra whose bins were doubled: bin 0 is taken out of
    // the inverse and half of its value added back as a constant over frame_count entries.
    void transform(complex_lr* data, int log2n, bool inverse, bool dc_fix) const;
    // Inverse-transforms `spectrum` in place and produces one hop (N - E frames) crossfaded with
    // `tail` (E frames, updated): appended to the output ring, or stored into frames_out.
    void synthesize(complex_lr* spectrum, stereo_frame* tail, bool to_ring, bool dc_fix,
                    stereo_frame* frames_out);
    // synthesize's crossfade alone, on a signal already in the time domain: frame m's left
    // value is signal[m * stride] and its right value right_offset doubles further.
    void overlap_add(const double* signal, int stride, int right_offset, stereo_frame* tail,
                     stereo_frame* frames_out) const;
    // The same, appending the hop to the output ring.
    void overlap_add_to_ring(const double* signal, int stride, int right_offset,
                             stereo_frame* tail);

    // Appends one interleaved sample; `active` is latched at a block's first sample.
    inline void push_sample(double x, bool active);
    // The next output sample, or 0.0 until the first block has been collected.
    inline double read_output();

    int frame_count;      // N, stereo frames per analysis block
    int half_count;       // N/2, the spectrum bins worked on
    int latency;          // interleaved samples from push_sample to read_output
    double sample_rate;   // Hz, written by the chain
    int quality;          // quality shift last applied
    int hop;              // H = 2N - 2E interleaved samples per block
    int filled;           // samples of the current block in intake
    int log2_size;        // log2 N
    int norm_divisor;     // samples are divided by it before the forward transform
    int overlap;          // E = (N/2) >> quality, in stereo frames
    int last_index;       // N - 1, mirror index of the falling window edge
    int out_ring_length;  // H + 2, the part of out_ring in use
    bool block_active;    // whether the current block is processed
    double intake[k_intake_capacity];
    double out_ring[k_ring_capacity];
    double window[k_window_capacity];  // rising window edge, E entries
    int out_write;
    int out_read;
    int output_ready;  // 1 once the first complete block has been collected

  protected:
    // Appends one sample to the output ring.
    void write_output(double y) {
        out_ring[out_write] = y;
        if (++out_write >= out_ring_length) out_write = 0;
    }
    // The raised-cosine rising edge: 0 for the first twelfth, 1 for the last twelfth.
    void compute_window(int edge);
};

// Called for every sample: defined here so the chain inlines it.
inline void Processor::push_sample(double x, bool active) {
    // The sample pushed exactly 2E samples ago: what an inactive block passes on now. With
    // 0 <= filled < H and 2E <= H one wrap is enough.
    int delayed_slot = filled - 2 * overlap;
    if (delayed_slot < 0) delayed_slot += hop;
    const double delayed = intake[delayed_slot];

    if (filled == 0) block_active = active;
    // What a stage before delivers may have overflowed (a gain of 1e308): the block works on
    // the saturated sample, so its transform never meets inf - inf.
    intake[filled] = saturate_working(x);
    ++filled;

    if (block_active) {
        if (filled >= hop) process_block();
    } else {
        write_output(delayed);
    }
    if (filled >= hop) {
        filled = 0;
        output_ready = 1;
    }
}

inline double Processor::read_output() {
    if (output_ready == 0) return 0.0;
    const double y = out_ring[out_read];
    if (++out_read >= out_ring_length) out_read = 0;
    return y;
}

}  // namespace varnolt
