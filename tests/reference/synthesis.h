#pragma once
// The plain synthesis the optimised processors are held to: a one-sided spectrum back to the
// time domain and crossfaded with the previous block's tail, one frame at a time, where the
// processors' version packs channels or bands into shared transforms and splits the crossfade
// into ranges.

#include "processors/complex_lr.h"
#include "processors/processor.h"

namespace varnolt::reference {

// `spectrum` holds N = processor.geometry().frames bins whose lower half was doubled and whose
// upper half is zero, so the real parts of its inverse are the signal, bin 0 but counted twice:
// half of bin 0 is taken out and added back as a constant. The first E = geometry().overlap frames
// of the inverse fade in over `tail` (the outer tenth of E fades, the rest adds); the N - E
// frames go to frames_out and the block's last E frames become the new tail. Transforms in place.
void synthesize(const Processor& processor, complex_lr* spectrum, stereo_frame* tail,
                stereo_frame* frames_out);

}  // namespace varnolt::reference
