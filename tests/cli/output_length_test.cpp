// Which outputs would outgrow a 32-bit length: decided before a byte is restored, so that a long
// side is never written into a header that wraps.

#include <gtest/gtest.h>

#include "output_length.h"

namespace varnolt::cli {
namespace {

// 740 s of 8 channels of 32-bit samples at 192 kHz: 4.55 GB, the file that read back as 40.9 s.
constexpr long long k_long_frames = 740LL * 192000;
// Two hours of stereo float at 96 kHz: 5.5 GB.
constexpr long long k_two_hour_frames = 7200LL * 96000;

TEST(OutputLength, WhatDoesNotFitA32BitLengthIsWrittenAsRf64OrRefused) {
    struct Case {
        LengthFields fields;
        long long frames;
        int channels;
        int bytes;
        LengthPlan plan;
    };
    const Case cases[] = {
        {LengthFields::riff, k_long_frames, 8, 4, LengthPlan::rf64},
        {LengthFields::riff, k_two_hour_frames, 2, 4, LengthPlan::rf64},
        {LengthFields::riff, 44100LL * 3600, 2, 2, LengthPlan::as_named},  // an hour of CD audio
        {LengthFields::narrow, k_long_frames, 8, 4, LengthPlan::too_long},
        {LengthFields::narrow, 44100LL * 3600, 2, 2, LengthPlan::as_named},
        {LengthFields::wide, k_long_frames, 8, 4, LengthPlan::as_named},
        // A stream that does not say how long it is may grow past the limit.
        {LengthFields::riff, -1, 2, 2, LengthPlan::rf64},
        {LengthFields::narrow, -1, 2, 2, LengthPlan::as_named},
    };
    for (const Case& c : cases)
        EXPECT_EQ(plan_for_length(c.fields, c.frames, c.channels, c.bytes), c.plan)
            << c.frames << " frames of " << c.channels << " x " << c.bytes << " bytes";
}

TEST(OutputLength, TheLimitLeavesRoomForHeadersAndTheKeptDelay) {
    // The largest length that stays a WAV, and one frame more.
    const long long frames =
        static_cast<long long>(k_most_32_bit_sample_bytes / 4) - k_most_extra_frames;
    EXPECT_EQ(plan_for_length(LengthFields::riff, frames, 2, 2), LengthPlan::as_named);
    EXPECT_EQ(plan_for_length(LengthFields::riff, frames + 1, 2, 2), LengthPlan::rf64);
    // With the delay kept and a megabyte of metadata, the largest still fits 0xFFFFFFFF.
    EXPECT_LE(sample_bytes(frames, 2, 2) + (1u << 20), 0xFFFFFFFFull);
}

}  // namespace
}  // namespace varnolt::cli
