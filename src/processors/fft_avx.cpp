// The FFT kernel for processors with AVX: one register holds a whole complex_lr, so both channels
// go through each butterfly at once. This file alone is built with AVX; it runs only where the
// processor and the system have it (see fft.cpp). No fused multiply-add: the results are those
// of the portable kernel, bit for bit.

#include "processors/fft_kernel.h"

namespace varnolt {

void fft_lr_avx(complex_lr* data, int log2n, bool inverse) {
    if (inverse)
        run_fft<v4d, 1, true>(&data->left_re, log2n);
    else
        run_fft<v4d, 1, false>(&data->left_re, log2n);
}

}  // namespace varnolt
