// The plain implementation kept as the yardstick of the optimised processors: the stated
// algorithms as first written, in a namespace of their own with state of their own.
// The equivalence tests run both on the same signals; nothing in the plug-in uses this.
#include "reference/processor.h"

#include <algorithm>
#include <cmath>

#include "processors/working_range.h"

namespace varnolt::reference {
namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr int k_base_overlap = 256;  // the low-quality geometry, until a constructor sets its own
constexpr double k_default_sample_rate = 44100.0;

}  // namespace

Processor::Processor()
    : frame_count(k_block_frames),
      half_count(k_block_frames / 2),
      latency(2 * k_block_frames - 2 * k_base_overlap),
      sample_rate(k_default_sample_rate),
      quality(k_lowest_quality),
      hop(2 * k_block_frames - 2 * k_base_overlap),
      filled(0),
      log2_size(11),
      norm_divisor(k_block_frames),
      overlap(k_base_overlap),
      last_index(k_block_frames - 1),
      out_ring_length(2 * k_block_frames - 2 * k_base_overlap + 2),
      block_active(false),
      intake(),
      out_ring(),
      window(),
      out_write(0),
      out_read(out_ring_length - 1),
      output_ready(0) {
    compute_window(overlap);
}

void Processor::reset_defaults() {
    block_active = false;
}

void Processor::compute_window(int edge) {
    for (int m = 0; m < edge; ++m) {
        double u = std::clamp(1.2 * m / edge - 0.1, 0.0, 1.0);
        window[m] = 0.5 - 0.5 * std::cos(k_pi * u);
    }
}

void Processor::set_quality(int q) {
    // Shifts beyond the low-quality level would leave no overlap and overrun the fixed buffers.
    q = std::clamp(q, k_highest_quality, k_lowest_quality);
    const int edge = (frame_count / 2) >> q;
    overlap = edge;
    latency = 2 * frame_count;
    hop = 2 * frame_count - 2 * edge;
    out_ring_length = hop + 2;
    compute_window(edge);
    filled = 0;
    out_write = 0;
    out_read = out_ring_length - 1;
    output_ready = 0;
}

void Processor::push_sample(double x, bool active) {
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

double Processor::read_output() {
    if (output_ready == 0) return 0.0;
    const double y = out_ring[out_read];
    if (++out_read >= out_ring_length) out_read = 0;
    return y;
}

void Processor::process_block() {
    for (int i = 0; i < hop; ++i) write_output(intake[i]);
}

}  // namespace varnolt::reference
