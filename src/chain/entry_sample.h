#pragma once
// Floating-point samples from outside the plug-in (a host's float buffer, a floating-point file),
// full scale 1.0, made safe before they reach the chain. A float stream may carry audio above full
// scale, and that passes as it is; a NaN, an infinity or a value far beyond any audio (a host's
// 1e30) is a fault, not a sound: left in, the block processors would spread it over a whole block
// of output at hundreds of dB. Shared by every front end that takes floats, so all treat it alike.

#include <cmath>

namespace varnolt {

// The largest magnitude taken as audio: +24 dBFS, far above what a mix or a transfer that went
// over full scale holds, far below a fault.
constexpr double k_entry_headroom = 16.0;

// What the entry replaced, for the front ends that can say so.
struct EntryFaults {
    long long not_numbers = 0;   // NaN, replaced by silence
    long long out_of_range = 0;  // infinities and magnitudes beyond k_entry_headroom, at full scale
};

// x unchanged where it is audio; NaN becomes 0, and ±inf or a magnitude beyond the headroom
// becomes ±1.0 (full scale). One compare for every sample but a fault.
inline double entry_sample(double x, EntryFaults& faults) {
    if (std::fabs(x) <= k_entry_headroom) return x;
    if (std::isnan(x)) {
        ++faults.not_numbers;
        return 0.0;
    }
    ++faults.out_of_range;
    return std::copysign(1.0, x);
}

}  // namespace varnolt
