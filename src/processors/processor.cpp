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
      intake_(),
      out_ring_(),
      window_(),
      out_write_(0),
      out_read_(geometry_.ring_length - 1),
      output_ready_(0) {
    compute_window(geometry_.overlap);
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

void Processor::set_quality(int q) {
    quality_ = q;
    geometry_ = block_geometry(q);
    compute_window(geometry_.overlap);
    filled_ = 0;
    out_write_ = 0;
    out_read_ = geometry_.ring_length - 1;
    output_ready_ = 0;
}

void Processor::process_block() {
    for (int i = 0; i < geometry_.hop; ++i) write_output(intake_[i]);
}

}  // namespace varnolt
