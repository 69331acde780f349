#include "output_length.h"

namespace varnolt::cli {

std::uint64_t sample_bytes(long long frames, int channels, int bytes_per_sample) {
    if (frames < 0 || channels < 1 || bytes_per_sample < 1) return 0;
    return (static_cast<std::uint64_t>(frames) + k_most_extra_frames) *
           static_cast<std::uint64_t>(channels) * static_cast<std::uint64_t>(bytes_per_sample);
}

LengthPlan plan_for_length(LengthFields fields, long long frames, int channels,
                           int bytes_per_sample) {
    if (fields == LengthFields::wide) return LengthPlan::as_named;
    const bool unknown = frames < 0;
    const bool fits =
        !unknown && sample_bytes(frames, channels, bytes_per_sample) <= k_most_32_bit_sample_bytes;
    if (fits) return LengthPlan::as_named;
    if (fields == LengthFields::riff) return LengthPlan::rf64;
    // An unknown length in a narrow container is written as named; the writer stops it with an
    // error if it grows too long.
    return unknown ? LengthPlan::as_named : LengthPlan::too_long;
}

}  // namespace varnolt::cli
