// The plain implementation kept as the yardstick of the optimised processors: the stated
// algorithms as first written, in a namespace of their own with state of their own.
// The equivalence tests run both on the same signals; nothing in the plug-in uses this.
#pragma once
// Assembly of the windowed analysis block shared by the tape processor and the tone analyser.

#include "processors/complex_lr.h"

namespace varnolt::reference {

class Processor;

// Fills `spectrum` (N entries, imaginary parts 0) with the previous block's last E frames from
// `kept` followed by the N - E new frames of the intake divided by norm_divisor; keeps the new
// block's last E frames in `kept`; applies the window's rising edge to the first E entries and
// its mirror to the last E. The caller then transforms it.
void assemble_analysis_block(const Processor& processor, stereo_frame* kept, complex_lr* spectrum);

}  // namespace varnolt
