#pragma once
// The block geometry of the frequency-domain processors: every block is N = 2048 stereo frames,
// and the quality shift sets how far consecutive blocks overlap. Derived here alone, so that the
// processors, the chain's delay lines and the displays cannot disagree about it.

#include <algorithm>

#include "settings/modes.h"

namespace varnolt {

constexpr int k_log2_block_frames = 11;
constexpr int k_block_frames = 1 << k_log2_block_frames;  // N = 2048

// Sizes in stereo frames unless said otherwise.
struct BlockGeometry {
    int frames;       // N, per analysis block; also what samples are divided by before the
                      // forward transform
    int half;         // N/2, the spectrum bins worked on
    int log2_frames;  // log2 N
    int overlap;      // E = (N/2) >> quality, shared with the block before
    int hop;          // H = 2N - 2E interleaved samples per block
    int latency;      // interleaved samples from push to read: 2N at every quality
    int ring_length;  // H + 2 interleaved samples, the part of the output ring in use
};

// The geometry at quality shift `quality`; shifts beyond 0 (high) .. 2 (low) are limited to it,
// as more would leave no overlap and overrun the fixed buffers.
constexpr BlockGeometry block_geometry(int quality) {
    const int q =
        std::clamp(quality, static_cast<int>(k_quality_high), static_cast<int>(k_quality_low));
    const int n = k_block_frames;
    const int overlap = (n / 2) >> q;
    const int hop = 2 * n - 2 * overlap;
    return {n, n / 2, k_log2_block_frames, overlap, hop, 2 * n, hop + 2};
}

}  // namespace varnolt
