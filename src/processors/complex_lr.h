#pragma once
// The sample types the block processors share.

namespace varnolt {

// One bin or one time sample of the stereo pair: both channels go through one transform pass
// with the same twiddle factors.
struct complex_lr {
    double left_re;
    double left_im;
    double right_re;
    double right_im;
};

// One frame of a real stereo signal.
struct stereo_frame {
    double left;
    double right;
};

}  // namespace varnolt
