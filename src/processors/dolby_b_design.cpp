#include "processors/dolby_b_network.h"

namespace varnolt {

// Fitted by tools/dolby_encoder/fit_dolby_b.cpp to the seven published encode test points at
// 44.1, 48 and 96 kHz at once: every point within 0.2 dB of its typical value at every rate, and
// read back by the decoder within 0.25 dB. The rest corner was held between 800 Hz and 2.5 kHz: the
// points say nothing of quiet tones below 3 kHz, and a corner much lower would lift the midrange,
// which the system leaves alone.
// In the order of DolbyBDesign's fields.
const DolbyBDesign k_dolby_b_design = {
    10.3484,  // max_lift_db
    2068.21,  // rest_corner_hz
    -20.274,  // threshold_db
    12148.5,  // control_corner_hz
    14.236,   // control_shelf_db
    5,        // slide_power
    54.02,    // widest_slide
    0.002,    // attack_seconds
    0.060,    // decay_seconds
};

}  // namespace varnolt
