#pragma once
// The host's float samples and the chain's working scale (16-bit units, full scale +-32768). The
// scale is a power of two, so a float goes in and comes back bit for bit: no dither, no rounding
// to 16 bits. What a host may hand over beyond any audio (NaN, infinities, 1e30) is replaced on
// the way in, and what leaves is always a finite, normal float or zero.

#include <cfloat>
#include <cmath>

#include "chain/entry_sample.h"

namespace varnolt::lv2 {

constexpr double k_working_scale = 32768.0;

// A host sample in working scale, as every front end that takes floats enters it: NaN as
// silence, an infinity or a magnitude beyond any audio as full scale, counted in `faults`. One
// such sample left in would reach the block processors and come out spread over a whole block.
inline double working_sample(float x, EntryFaults& faults) {
    return entry_sample(static_cast<double>(x), faults) * k_working_scale;
}

// A chain output for the host: NaN as silence, beyond the float range at its largest value, and
// a subnormal result (which some hosts' following plug-ins would crawl through) as zero.
inline float host_sample(double y) {
    double v = y / k_working_scale;
    if (!(std::fabs(v) <= FLT_MAX)) v = std::isnan(v) ? 0.0 : std::copysign(FLT_MAX, v);
    const float f = static_cast<float>(v);
    return std::fabs(f) < FLT_MIN ? 0.0f : f;
}

}  // namespace varnolt::lv2
