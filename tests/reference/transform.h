#pragma once
// The plain transform the optimised FFT (processors/fft.h) is held to: the textbook radix-2
// decimation in time over complex_lr, both channels side by side, with no tables, no packing
// of two real channels into one complex signal and no vector kernel.

#include "processors/complex_lr.h"

namespace varnolt::reference {

// In place, 2^log2n entries, unscaled in both directions: forward X[k] = sum x[n] e^(-2 pi i kn/N),
// inverse with the opposite sign.
void transform(complex_lr* data, int log2n, bool inverse);

}  // namespace varnolt::reference
