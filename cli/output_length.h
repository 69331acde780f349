#pragma once
// Whether an output's container can hold its length. WAV, AIFF, AU and most older containers
// keep their chunk lengths in 32-bit fields: past 4 GiB of samples the length wraps, and the file
// reads back as a fraction of itself while the run looked fine. A `.wav` output that may not fit
// is written as RF64 (the 64-bit WAV that libsndfile turns back into plain WAV when it fits after
// all); another such container is refused before anything is restored.

#include <cstdint>

namespace varnolt::cli {

// Bytes of samples a 32-bit length holds, less room for the header and the metadata chunks
// (text fields, a broadcast extension's coding history) that share the RIFF length.
constexpr std::uint64_t k_most_32_bit_sample_bytes = 0xFFFFFFFFull - (std::uint64_t{1} << 20);

// Frames that may follow the input's own: the processing delay kept with --keep-latency.
constexpr long long k_most_extra_frames = 16384;

enum class LengthFields {
    wide,    // 64-bit lengths, or none to wrap (RF64, W64, CAF, FLAC, Ogg, MPEG)
    riff,    // WAV: may become RF64
    narrow,  // another container with 32-bit lengths
};

enum class LengthPlan { as_named, rf64, too_long };

// `frames` is what the input promises, negative when it does not say (a stream written to a
// pipe): such a WAV is begun as RF64, in case it turns out long.
LengthPlan plan_for_length(LengthFields fields, long long frames, int channels,
                           int bytes_per_sample);

// Bytes of samples `frames` frames take, at most.
std::uint64_t sample_bytes(long long frames, int channels, int bytes_per_sample);

}  // namespace varnolt::cli
