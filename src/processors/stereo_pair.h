#pragma once
// A left/right pair of doubles in one SSE2 register, for the loops that treat both channels
// alike: each lane does exactly what the scalar code does for its channel, so the results are
// the scalar results bit for bit.

#include <cstring>

#include "processors/complex_lr.h"
#include "processors/working_range.h"

namespace varnolt {

typedef double lr_pair __attribute__((vector_size(16)));

inline lr_pair pair_of(double left, double right) {
    return lr_pair{left, right};
}
inline lr_pair splat(double v) {
    return lr_pair{v, v};
}
// Frames and the state's [2] arrays are aligned to 8 only: in and out through memcpy.
inline lr_pair load_pair(const double* p) {
    lr_pair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline lr_pair load_pair(const stereo_frame& f) {
    return load_pair(&f.left);
}
inline void store_pair(double* p, lr_pair v) {
    std::memcpy(p, &v, sizeof v);
}
inline void store_pair(stereo_frame& f, lr_pair v) {
    store_pair(&f.left, v);
}
inline lr_pair abs_pair(lr_pair v) {
    return pair_of(std::fabs(v[0]), std::fabs(v[1]));
}
// saturate_working on both lanes; the common case is one test.
inline lr_pair saturate_pair(lr_pair v) {
    if (within_working_range(v[0]) && within_working_range(v[1])) return v;
    return pair_of(saturate_working(v[0]), saturate_working(v[1]));
}

}  // namespace varnolt
