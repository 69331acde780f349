#include "chain/host_block.h"

#include <cstdint>

#include "chain/chain.h"
#include "chain/instance.h"
#include "chain/sample_format.h"
#include "settings/modes.h"

namespace varnolt {
namespace {

// Rectangular dither of 0.00 .. 0.99.
double next_dither(Instance& instance) {
    return (instance.sample_path.dither.next() % 100) / 100.0;
}

void convert_block(Instance& instance, std::uint8_t* bytes, int frames, int bits, int channels,
                   int sample_rate) {
    const int width = bits / 8;
    const long long count = static_cast<long long>(frames) * channels;
    for (long long i = 0; i < count; ++i) {
        std::uint8_t* p = bytes + i * width;
        const double y =
            chain_stream_sample(instance, read_working_sample(p, bits), channels, sample_rate);
        instance.sample_path.clipped_samples +=
            write_working_sample(p, bits, y, next_dither(instance));
    }
}

}  // namespace

void restore_host_block(Instance& instance, short* samples, int frames, int bits, int channels,
                        int sample_rate) {
    if (instance.live.processing_mode == k_mode_bypass) return;
    // A rate of zero or less has no meaning for the processors' time constants: such a block
    // passes unconverted, like an unknown width.
    if (samples != nullptr && frames > 0 && channels > 0 && sample_rate > 0 &&
        is_supported_width(bits))
        convert_block(instance, reinterpret_cast<std::uint8_t*>(samples), frames, bits, channels,
                      sample_rate);
}

}  // namespace varnolt
