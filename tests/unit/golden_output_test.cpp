// The whole chain's output, exact to the bit, for one fixed programme and each set of stages, as
// the player's path gives it (16-bit stereo in 576-frame blocks, dither included). The other
// tests hold each stage to what it must do, within tolerances, and some against a reference that
// shares pieces with the code it checks; these hold the whole to what it did. A change meant to
// change nothing must leave every hash as it is; a change of the sound changes them on purpose:
// run with VARNOLT_PRINT_GOLDEN=1 to print the new ones.
//
// The hashes are those of the GCC build on x86-64 (the processors' kernels give the same bits
// with and without AVX); another compiler may round differently in the last bit somewhere.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chain/host_block.h"
#include "chain/instance.h"
#include "listening.h"
#include "settings/modes.h"
#include "settings/parameters.h"

namespace varnolt {
namespace {

constexpr int k_rate = 44100;
constexpr int k_block = 576;
constexpr int k_seconds = 3;

struct StageSet {
    const char* name;
    std::function<void(LiveParameters&)> set;
    std::uint64_t golden;
};

void nothing_on(LiveParameters& live) {
    live.values.bias_enabled = 0;
    live.values.dolby_enabled = 0;
    live.values.fm_enabled = 0;
    live.values.singleband_enabled = 0;
    live.azimuth_enabled = 0;
}

// FNV-1a over the output's bytes.
std::uint64_t hash_of(const std::vector<std::int16_t>& samples) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::int16_t s : samples)
        for (int byte = 0; byte < 2; ++byte) {
            h ^= static_cast<std::uint16_t>(s) >> (8 * byte) & 0xff;
            h *= 1099511628211ull;
        }
    return h;
}

std::uint64_t played_hash(const StageSet& stages) {
    auto instance = std::make_unique<Instance>();
    create_processors(*instance);
    nothing_on(instance->live);
    stages.set(instance->live);
    const int frames = k_seconds * k_rate;
    std::vector<std::int16_t> pcm;
    for (int n = 0; n < frames; ++n)
        for (int ch = 0; ch < 2; ++ch)
            pcm.push_back(static_cast<std::int16_t>(std::lround(
                std::fmax(-32768.0, std::fmin(32767.0, testing::programme(n, ch, k_rate))))));
    for (int start = 0; start < frames; start += k_block)
        restore_host_block(*instance, pcm.data() + 2 * start, std::min(k_block, frames - start), 16,
                           2, k_rate);
    destroy_processors(*instance);
    return hash_of(pcm);
}

const StageSet k_stage_sets[] = {
    {"nothing", [](LiveParameters&) {}, 0x5e6a820d2c0c5185ull},
    {"bias", [](LiveParameters& l) { l.values.bias_enabled = 1; }, 0x9978da8e7696c813ull},
    {"table remover", [](LiveParameters& l) { l.values.dolby_enabled = 1; }, 0x99d8eed8c81e5298ull},
    {"standard decoder",
     [](LiveParameters& l) {
         l.values.dolby_enabled = 1;
         l.values.standard_decoder = 1;
     },
     0xfae42b12fefae981ull},
    {"azimuth", [](LiveParameters& l) { l.azimuth_enabled = 1; }, 0x8e6d988b26662cdeull},
    {"fm filter", [](LiveParameters& l) { l.values.fm_enabled = 1; }, 0x6f3264ad1fb93981ull},
    {"compressor", [](LiveParameters& l) { l.values.singleband_enabled = 1; },
     0xb299d74249f05f3dull},
    {"mono and post amplifier",
     [](LiveParameters& l) {
         l.mono = 1;
         l.values.post_amplifier = 0.7;
     },
     0x65a3214d8a8fb2d5ull},
    {"every stage",
     [](LiveParameters& l) {
         l.values.bias_enabled = 1;
         l.values.dolby_enabled = 1;
         l.values.fm_enabled = 1;
         l.values.singleband_enabled = 1;
         l.azimuth_enabled = 1;
     },
     0x68e292561f5a47e2ull},
};

TEST(GoldenOutput, EachStageSetGivesTheSameBitsAsBefore) {
    const bool print = std::getenv("VARNOLT_PRINT_GOLDEN") != nullptr;
    for (const StageSet& stages : k_stage_sets) {
        const std::uint64_t h = played_hash(stages);
        if (print)
            std::printf("    %-24s 0x%016llxull\n", stages.name,
                        static_cast<unsigned long long>(h));
        EXPECT_EQ(h, stages.golden) << stages.name;
    }
}

}  // namespace
}  // namespace varnolt
