#pragma once
// What the libsndfile reader and writer share: the handle, the full scale of the 32-bit samples
// and the widths of libsndfile's integer encodings.

#include <sndfile.h>

#include <memory>

namespace varnolt::cli {

using SndfileHandle = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>;
constexpr double k_int_full_scale = 2147483648.0;

// 8, 16, 24 or 32 for libsndfile's integer encodings; 0 for the rest (floating point, lossy).
int integer_width(int encoding);

}  // namespace varnolt::cli
