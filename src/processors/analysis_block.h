#pragma once
// Assembly of the windowed analysis block shared by the tape processor and the tone analyser.

#include "processors/complex_lr.h"
#include "processors/fft.h"

namespace varnolt {

class Processor;

// Fills `spectrum` (N entries, imaginary parts 0) with the previous block's last E frames from
// `kept` followed by the N - E new frames of the intake divided by norm_divisor; keeps the new
// block's last E frames in `kept`; applies the window's rising edge to the first E entries and
// its mirror to the last E. The caller then transforms it.
void assemble_analysis_block(const Processor& processor, stereo_frame* kept, complex_lr* spectrum);

// The same block with the two real channels packed into one complex signal: left as the real
// and right as the imaginary part. Its one transform holds both channels' spectra: Z[k] is
// L[k] + i R[k], and Z[N - k] is conj(L[k]) + i conj(R[k]).
void assemble_packed_block(const Processor& processor, stereo_frame* kept, complex_value* packed);

}  // namespace varnolt
