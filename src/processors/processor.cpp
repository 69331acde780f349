#include "processors/processor.h"

#include <algorithm>
#include <cmath>

namespace varnolt {
namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr double k_default_sample_rate = 44100.0;

}  // namespace

Processor::Processor(int quality)
    : geometry_(block_geometry(quality)),
      sample_rate_(k_default_sample_rate),
      quality_(quality),
      filled_(0),
      block_active_(false),
      spread_(false),
      intake_buffers_(),
      intake_(intake_buffers_[0]),
      earlier_intake_(intake_buffers_[0]),
      block_intake_(intake_buffers_[0]),
      out_ring_(),
      window_(),
      out_write_(0),
      block_write_(0),
      out_read_(0),
      output_ready_(0),
      job_step_(0),
      job_steps_(0),
      step_due_(),
      step_weight_(),
      job_weight_(0.0),
      job_rate_(0.0) {
    compute_window(geometry_.overlap);
    use_geometry(geometry_);
}

void Processor::reset_defaults() {
    block_active_ = false;
}

void Processor::compute_window(int edge) {
    for (int m = 0; m < edge; ++m) {
        double u = std::clamp(1.2 * m / edge - 0.1, 0.0, 1.0);
        window_[m] = 0.5 - 0.5 * std::cos(k_pi * u);
    }
}

void Processor::use_geometry(const BlockGeometry& base) {
    geometry_ = base;
    if (spread_) {
        // The output is read k_spread_delay samples after its block completes: the ring holds
        // that much more, and the reading starts that far behind the writing.
        geometry_.latency += k_spread_delay;
        geometry_.ring_length += k_spread_delay;
    }
    filled_ = 0;
    out_write_ = 0;
    block_write_ = 0;
    out_read_ = geometry_.ring_length - 1 - (spread_ ? k_spread_delay : 0);
    // Spread, the first k_spread_delay samples read come from the ring: silence, as unspread
    // reads give before the first block, not what an earlier geometry left there.
    if (spread_) std::fill(out_ring_, out_ring_ + k_ring_capacity, 0.0);
    output_ready_ = 0;
    intake_ = intake_buffers_[0];
    earlier_intake_ = block_intake_ = intake_;
    job_step_ = job_steps_ = 0;
}

void Processor::set_quality(int q) {
    // A spread block's steps still to run finish first, so that the state they leave (levels,
    // tails, histories) is a whole block's.
    finish_pending_steps();
    quality_ = q;
    const BlockGeometry base = block_geometry(q);
    compute_window(base.overlap);
    use_geometry(base);
}

void Processor::spread_blocks(bool on) {
    if (on == spread_) return;
    finish_pending_steps();
    BlockGeometry base = geometry_;
    if (spread_) {
        base.latency -= k_spread_delay;
        base.ring_length -= k_spread_delay;
    }
    spread_ = on;
    use_geometry(base);
}

void Processor::process_block() {
    for (int i = 0; i < geometry_.hop; ++i) write_output(block_intake_[i]);
}

void Processor::complete_spread_block(bool processed) {
    finish_pending_steps();
    // The completed block's buffer is the one the steps read and the wrap of the delayed
    // sample reaches into; the next block fills the other.
    earlier_intake_ = intake_;
    intake_ = intake_ == intake_buffers_[0] ? intake_buffers_[1] : intake_buffers_[0];
    if (!processed) return;
    block_intake_ = earlier_intake_;
    reserve_block_output();
    // The steps run at intake counts up to span - 1 in proportion to their weights: all of them
    // before the block's output is first read, k_spread_delay pushes on, and before the next
    // block completes.
    const int steps = std::clamp(block_step_count(), 1, k_max_block_steps);
    const int span = std::min(geometry_.hop, k_spread_delay);
    double total = 0.0;
    for (int s = 0; s < steps; ++s) {
        step_weight_[s] = std::max(block_step_weight(s), 0.0);
        total += step_weight_[s];
    }
    // Step s falls due once the intake has filled as far as the steps up to it weigh: the
    // latest it may run for the block's work to keep pace with the pushes. A scheduler over
    // several processors (chain/spread_pacing.h) runs it earlier where that evens the calls.
    double through = 0.0;
    for (int s = 0; s < steps; ++s) {
        through += step_weight_[s];
        const double share = total > 0.0 ? through / total : static_cast<double>(s + 1) / steps;
        step_due_[s] = 1 + static_cast<int>(std::clamp(share, 0.0, 1.0) * (span - 2));
    }
    job_weight_ = total;
    job_rate_ = total / span;
    job_step_ = 0;
    job_steps_ = steps;
}

void Processor::run_due_steps() {
    while (job_step_ < job_steps_ && filled_ >= step_due_[job_step_]) run_block_step(job_step_++);
}

void Processor::finish_pending_steps() {
    while (job_step_ < job_steps_) run_block_step(job_step_++);
}

}  // namespace varnolt
