// The audio path allocates nothing: this program replaces the allocation functions (operator
// new and the C library's malloc family, which the OpenMP runtime uses) with counting ones
// (counting_allocator.h) and streams audio through every stage, at one thread and at two.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "chain/instance.h"
#include "counting_allocator.h"
#include "plugin/dll_instance.h"
#include "plugin/modify_samples.h"
#include "processors/processor_set.h"
#include "settings/parameters.h"
#include "test_support.h"

namespace varnolt {
namespace {

// The DLL's one instance: these tests drive the module's entries, which work on it.
LiveParameters& live = dll_instance().live;

constexpr int k_rate = 44100;
constexpr int k_block = 576;

// Pink-ish programme with some hiss, 16-bit stereo, in the player's blocks.
void stream(int seconds, std::vector<std::int16_t>& block, unsigned& seed) {
    for (int start = 0; start < seconds * k_rate; start += k_block) {
        for (int i = 0; i < k_block; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const double hiss = static_cast<int>(seed >> 20) - 2048;
            const double music =
                6000.0 * std::sin(0.05 * (start + i)) + 2000.0 * std::sin(0.9 * (start + i));
            block[2 * i] = static_cast<std::int16_t>(music + hiss);
            block[2 * i + 1] = static_cast<std::int16_t>(0.8 * music - hiss);
        }
        modify_samples(nullptr, block.data(), k_block, 16, 2, k_rate);
    }
}

TEST(NoAllocation, EveryStageOnAtOneAndTwoThreads) {
    for (int threads : {1, 2}) {
        testing::reset_plugin_state();
        omp_set_num_threads(threads);
        create_processors(dll_instance());
        live.values.bias_enabled = 1;
        live.values.dolby_enabled = 1;
        live.values.fm_enabled = 1;
        live.values.singleband_enabled = 1;
        live.azimuth_enabled = 1;
        live.show_tone_level = 1;
        live.values.auto_adjust_left = 1;
        live.values.quality = 0;
        std::vector<std::int16_t> block(2 * k_block);
        unsigned seed = 1;
        // The first parallel region of the playback thread starts the runtime's team, once.
        stream(1, block, seed);
        testing::start_counting_allocations();
        stream(10, block, seed);
        EXPECT_EQ(testing::stop_counting_allocations().allocations, 0) << threads << " thread(s)";
    }
    testing::reset_plugin_state();
}

}  // namespace
}  // namespace varnolt
