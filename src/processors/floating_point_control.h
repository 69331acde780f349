#pragma once
// The floating-point control state of a thread: rounding, precision and exception masks, and
// on SSE the flush-to-zero and denormals-are-zero modes. The OpenMP team's threads start with
// the system's defaults, while the thread that forks them runs with whatever the player (or
// Init) set there; a parallel loop hands the forking thread's state to every thread of the
// team, so an index computes the same bits on whichever thread takes it.

#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>
#else
#include <cfenv>
#endif

namespace varnolt {

#if defined(__i386__) || defined(__x86_64__)
struct FloatingPointControl {
    unsigned short x87 = 0;  // the x87 control word: precision, rounding, masks
    unsigned int sse = 0;    // MXCSR without its status flags
};

inline FloatingPointControl current_floating_point_control() {
    FloatingPointControl control;
    __asm__ volatile("fnstcw %0" : "=m"(control.x87));
    control.sse = _mm_getcsr() & ~0x3Fu;  // the low six bits are sticky exception flags
    return control;
}

inline void apply_floating_point_control(const FloatingPointControl& control) {
    __asm__ volatile("fldcw %0" : : "m"(control.x87));
    _mm_setcsr((_mm_getcsr() & 0x3Fu) | control.sse);
}

inline bool operator==(const FloatingPointControl& a, const FloatingPointControl& b) {
    return a.x87 == b.x87 && a.sse == b.sse;
}
#else
struct FloatingPointControl {
    int rounding = FE_TONEAREST;
};
inline FloatingPointControl current_floating_point_control() {
    return {std::fegetround()};
}
inline void apply_floating_point_control(const FloatingPointControl& control) {
    std::fesetround(control.rounding);
}
inline bool operator==(const FloatingPointControl& a, const FloatingPointControl& b) {
    return a.rounding == b.rounding;
}
#endif

// Within its scope the calling thread computes under `wanted`; its own state comes back after.
class FloatingPointControlScope {
  public:
    explicit FloatingPointControlScope(const FloatingPointControl& wanted)
        : own_(current_floating_point_control()), changed_(!(own_ == wanted)) {
        if (changed_) apply_floating_point_control(wanted);
    }
    ~FloatingPointControlScope() {
        if (changed_) apply_floating_point_control(own_);
    }
    FloatingPointControlScope(const FloatingPointControlScope&) = delete;
    FloatingPointControlScope& operator=(const FloatingPointControlScope&) = delete;

  private:
    FloatingPointControl own_;
    bool changed_;
};

}  // namespace varnolt
