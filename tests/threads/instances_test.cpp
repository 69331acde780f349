// Two instances in one process are two independent restorers: each owns its whole state, dither
// included, so two streams run at once on two threads come out exactly as each does alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iterator>
#include <memory>
#include <new>
#include <random>
#include <thread>
#include <vector>

#include "chain/host_block.h"
#include "chain/instance.h"

namespace varnolt {
namespace {

constexpr double k_rate = 44100.0;
constexpr int k_block_frames_host = 576;
constexpr int k_blocks = 400;  // about 5 s

// Stereo 16-bit programme: two tones a little out of line between the channels, bright noise,
// and a quiet stretch in the middle.
std::vector<short> programme(unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<short> x(2 * k_block_frames_host * k_blocks);
    for (std::size_t n = 0; n < x.size() / 2; ++n) {
        const double t = n / k_rate;
        const double level = (n / 44100) % 3 == 1 ? 0.05 : 1.0;
        x[2 * n] = static_cast<short>(level * (6000.0 * std::sin(2 * M_PI * 440.0 * t) +
                                               2500.0 * std::sin(2 * M_PI * 5200.0 * t)) +
                                      noise(rng));
        x[2 * n + 1] =
            static_cast<short>(level * (6000.0 * std::sin(2 * M_PI * 440.0 * (t - 2e-5)) +
                                        2500.0 * std::sin(2 * M_PI * 5200.0 * (t - 2e-5))) +
                               noise(rng));
    }
    return x;
}

// The two sets of settings: every tape and stereo stage, and a different mix with the
// compressor, the mono mix and low quality.
void configure_first(LiveParameters& live) {
    live.values.dolby_enabled = 1;
    live.values.bias_enabled = 1;
    live.values.auto_adjust_left = 1;
    live.values.fm_enabled = 1;
    live.azimuth_enabled = 1;
    live.values.quality = k_quality_high;
}

void configure_second(LiveParameters& live) {
    live.values.dolby_enabled = 1;
    live.values.dolby_difference = 1;
    live.values.bias_enabled = 0;
    live.values.singleband_enabled = 1;
    live.values.post_amplifier = 0.7;
    live.azimuth_enabled = 0;
    live.mono = 1;
    live.values.quality = k_quality_low;
}

// Host block `block` of `input` through the instance's sample path, appended to `output`.
void restore_block(Instance& instance, const std::vector<short>& input, int block,
                   std::vector<short>& output) {
    const auto begin = input.begin() + static_cast<long>(block) * 2 * k_block_frames_host;
    std::vector<short> samples(begin, begin + 2 * k_block_frames_host);
    restore_host_block(instance, samples.data(), k_block_frames_host, 16, 2,
                       static_cast<int>(k_rate));
    output.insert(output.end(), samples.begin(), samples.end());
}

// One instance through the sample path a host block at a time, as the tool runs it.
struct Restorer {
    std::unique_ptr<Instance> instance = std::make_unique<Instance>();
    std::vector<short> output;

    explicit Restorer(void (*configure)(LiveParameters&)) {
        create_processors(*instance);
        configure(instance->live);  // after the processors, which write their defaults
    }

    void run_block(const std::vector<short>& input, int block) {
        restore_block(*instance, input, block, output);
    }
};

std::vector<short> run_alone(void (*configure)(LiveParameters&), const std::vector<short>& input) {
    Restorer restorer(configure);
    for (int block = 0; block < k_blocks; ++block) restorer.run_block(input, block);
    return restorer.output;
}

TEST(Instances, TwoInstancesOnTwoThreadsSoundAsEachAlone) {
    const std::vector<short> first_input = programme(1), second_input = programme(2);
    const std::vector<short> first_alone = run_alone(configure_first, first_input);
    const std::vector<short> second_alone = run_alone(configure_second, second_input);
    ASSERT_NE(first_alone, second_alone) << "the two settings must sound different";

    // Block by block in step: neither thread starts block k + 1 before both finished block k,
    // so the two streams really run side by side.
    Restorer first(configure_first), second(configure_second);
    std::atomic<int> finished{0};
    auto play = [&finished](Restorer& restorer, const std::vector<short>& input) {
        for (int block = 0; block < k_blocks; ++block) {
            restorer.run_block(input, block);
            finished.fetch_add(1);
            while (finished.load() < 2 * (block + 1)) std::this_thread::yield();
        }
    };
    std::thread other(play, std::ref(second), std::cref(second_input));
    play(first, first_input);
    other.join();

    ASSERT_EQ(first.output.size(), first_alone.size());
    ASSERT_EQ(second.output.size(), second_alone.size());
    for (std::size_t i = 0; i < first_alone.size(); ++i) {
        ASSERT_EQ(first.output[i], first_alone[i]) << "first instance, sample " << i;
        ASSERT_EQ(second.output[i], second_alone[i]) << "second instance, sample " << i;
    }
}

// An instance built in memory that held anything before (as `new Instance` gets it, and a stack
// would) starts as one in zeroed storage: every state it keeps begins at zero.
TEST(Instances, AnInstanceInUsedMemorySoundsAsOneInFreshMemory) {
    const std::vector<short> input = programme(3);
    const std::vector<short> fresh = run_alone(configure_first, input);

    alignas(Instance) static unsigned char storage[sizeof(Instance)];
    std::fill(std::begin(storage), std::end(storage), static_cast<unsigned char>(0xA5));
    Instance* used = new (storage) Instance;
    create_processors(*used);
    configure_first(used->live);
    std::vector<short> output;
    for (int block = 0; block < k_blocks; ++block) restore_block(*used, input, block, output);
    used->~Instance();
    ASSERT_EQ(output.size(), fresh.size());
    for (std::size_t i = 0; i < fresh.size(); ++i) ASSERT_EQ(output[i], fresh[i]) << "sample " << i;
}

}  // namespace
}  // namespace varnolt
