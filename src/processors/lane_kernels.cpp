#include "processors/lane_kernels.h"

#include "processors/working_range.h"

namespace varnolt {

bool processor_has_avx() {
#if defined(VARNOLT_HAVE_AVX_KERNELS)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");
#else
    return false;
#endif
}

namespace {

LaneKernel chosen_kernel = processor_has_avx() ? LaneKernel::avx : LaneKernel::portable;

}  // namespace

LaneKernel lane_kernel() {
    return chosen_kernel;
}

void use_lane_kernel(LaneKernel kernel) {
    chosen_kernel =
        kernel == LaneKernel::avx && processor_has_avx() ? LaneKernel::avx : LaneKernel::portable;
}

void saturate_lanes(double* v, int count) {
    for (int i = 0; i < count; ++i) v[i] = saturate_working(v[i]);
}

}  // namespace varnolt
