// Spread blocks: the same work as unspread blocks, done a step at a time over the pushes that
// fill the next block, and heard k_spread_delay samples later.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "chain/chain.h"
#include "chain/instance.h"
#include "instance_names.h"
#include "processors/stereo.h"
#include "processors/tape_processor.h"

namespace varnolt {
namespace {

constexpr double k_rate = 44100.0;

// Programme-like input in working units: a few sines per channel under noise, with a loud
// stretch and a quiet one, so that the level followers, the Dolby stage's sidechain, the
// azimuth search and the hiss filter's history all move.
std::vector<double> programme(int samples, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<double> x(samples);
    for (int i = 0; i < samples; ++i) {
        const int frame = i / 2, channel = i % 2;
        const double t = frame / k_rate;
        const double loud = (frame / 20000) % 2 == 0 ? 1.0 : 0.05;
        x[i] = loud * (6000.0 * std::sin(2 * M_PI * 440.0 * t + channel * 0.3) +
                       2500.0 * std::sin(2 * M_PI * 5300.0 * t + channel * 0.9)) +
               noise(rng);
    }
    return x;
}

// One processor on an instance of its own, spread or not, pushed as the chain pushes.
struct ProcessorRun {
    testing::OwnInstance own;
    std::unique_ptr<Processor> processor;
    std::vector<double> output;
};

enum class Kind { tape, stereo };

// The flags are set after construction: each processor writes its defaults when built.
std::unique_ptr<Processor> make_processor(Kind kind, testing::OwnInstance& own) {
    if (kind == Kind::tape) {
        auto tape = std::make_unique<TapeProcessor>(own.tape_state, own.tape_control, own.live);
        own.tape_control.bias_active = 1;
        own.tape_control.dolby_active = 1;
        own.tape_control.auto_left = own.tape_control.auto_right = 1;
        own.live.values.bands[6].left = 1.7;  // a channel out of balance for the followers
        return tape;
    }
    auto stereo = std::make_unique<Stereo>(own.stereo_state, own.live);
    own.live.azimuth_enabled = 1;
    own.live.values.fm_enabled = 1;
    return stereo;
}

// Runs `input` through a fresh processor; `active(i)` says whether the block starting at sample
// i is processed (the tape processor passes some on, as with the standard decoder alone).
template <class Active>
void run(ProcessorRun& r, Kind kind, int quality, bool spread, const std::vector<double>& input,
         Active active) {
    r.processor = make_processor(kind, r.own);
    if (kind == Kind::tape) r.processor->set_quality(quality);
    r.processor->set_sample_rate(k_rate);
    r.processor->spread_blocks(spread);
    r.output.reserve(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        r.processor->push_sample(input[i], active(static_cast<long>(i)));
        r.output.push_back(r.processor->read_output());
    }
}

TEST(SpreadBlocks, TheOutputIsTheUnspreadOutputOneSpreadLater) {
    const std::vector<double> input = programme(2 * 120000, 7);
    for (Kind kind : {Kind::tape, Kind::stereo}) {
        for (int quality : {k_quality_high, k_quality_normal, k_quality_low}) {
            if (kind == Kind::stereo && quality != k_quality_high) continue;  // one geometry
            SCOPED_TRACE(::testing::Message()
                         << (kind == Kind::tape ? "tape" : "stereo") << " quality " << quality);
            // Blocks processed and passed on in turn: every seventh stretch passes.
            const auto active = [](long i) { return (i / 9000) % 7 != 3; };
            ProcessorRun whole, spread;
            run(whole, kind, quality, false, input, active);
            run(spread, kind, quality, true, input, active);
            EXPECT_EQ(spread.processor->latency(), whole.processor->latency() + k_spread_delay);
            double heard = 0.0;
            for (std::size_t i = 0; i < input.size(); ++i) {
                const double expected =
                    i >= k_spread_delay ? whole.output[i - k_spread_delay] : 0.0;
                ASSERT_EQ(spread.output[i], expected) << i;
                heard += std::fabs(expected);
            }
            EXPECT_GT(heard, 0.0);
        }
    }
}

// The steps of a block run at intake counts in proportion to their weight: pushes in small
// host calls meet at most a few of them each, and the last has run before the next block.
TEST(SpreadBlocks, EachHostCallOfThirtyTwoFramesRunsAFewStepsAtMost) {
    const std::vector<double> input = programme(2 * 40000, 11);
    for (Kind kind : {Kind::tape, Kind::stereo}) {
        SCOPED_TRACE(kind == Kind::tape ? "tape" : "stereo");
        testing::OwnInstance own;
        std::unique_ptr<Processor> processor = make_processor(kind, own);
        processor->set_sample_rate(k_rate);
        processor->spread_blocks(true);
        constexpr int k_call_samples = 64;
        int most_in_a_call = 0, steps_seen = 0;
        for (std::size_t start = 0; start + k_call_samples <= input.size();
             start += k_call_samples) {
            int ran = 0;
            for (int i = 0; i < k_call_samples; ++i) {
                const int pending = processor->steps_pending();
                processor->push_sample(input[start + i], true);
                const int now = processor->steps_pending();
                // A completed block starts a new set of steps: count the old set's remainder.
                ran += now <= pending ? pending - now : pending;
                if (processor->filled() == 0) {
                    EXPECT_EQ(pending, 0) << "a block's steps ran out before the next block";
                }
            }
            most_in_a_call = std::max(most_in_a_call, ran);
            steps_seen += ran;
        }
        EXPECT_GT(steps_seen, 20);
        EXPECT_LE(most_in_a_call, 3);
    }
}

// Through the chain's steady path, as the LV2 plug-in runs it: both processors spread and paced
// together, so that each of a host's calls of 32 frames runs its share of the two blocks' work
// and at most one step beyond it, and every block's steps run before the next block completes.
TEST(SpreadBlocks, TheSteadyPathGivesEachSmallCallItsShareOfTheWork) {
    testing::OwnInstance own;
    create_processors(own.instance);
    own.chain.steady.on = true;
    own.live.values.quality = k_quality_high;
    own.live.values.bias_enabled = 1;
    own.live.values.dolby_enabled = 1;
    own.live.azimuth_enabled = 1;
    own.live.values.fm_enabled = 1;
    const std::vector<double> input = programme(2 * 60000, 5);
    Processor* const processors[] = {own.processors.tape, own.processors.stereo};
    constexpr int k_call_samples = 64;
    double most_over_share = -1e300, work_seen = 0.0, largest_step = 0.0;
    for (std::size_t start = 0; start + k_call_samples <= input.size(); start += k_call_samples) {
        double ran = 0.0, rate = 0.0;
        for (int i = 0; i < k_call_samples; ++i) {
            double pending[2];
            for (int p = 0; p < 2; ++p) {
                pending[p] = processors[p]->pending_weight();
                if (processors[p]->steps_pending() > 0)
                    largest_step = std::max(largest_step, processors[p]->next_step_weight());
                rate = std::max(
                    rate, processors[0]->weight_per_push() + processors[1]->weight_per_push());
            }
            chain_sample(own.instance, input[start + i], k_rate);
            for (int p = 0; p < 2; ++p) {
                const double now = processors[p]->pending_weight();
                if (processors[p]->filled() == 0) {
                    EXPECT_EQ(pending[p], 0.0) << "steps left when the next block completed";
                    // A new block's steps start, and may run at once.
                    ran += pending[p] + processors[p]->job_weight() - now;
                } else {
                    ran += pending[p] - now;
                }
            }
        }
        // The pushes' share of the work, at the highest rate seen in the call.
        most_over_share = std::max(most_over_share, ran - k_call_samples * rate);
        if (start > 2 * 6144) work_seen += ran;
    }
    EXPECT_TRUE(own.processors.tape->spreads() && own.processors.stereo->spreads());
    EXPECT_GT(work_seen, 0.0) << "the stages ran";
    EXPECT_GT(largest_step, 0.0);
    EXPECT_LE(most_over_share, largest_step + 1e-9);
    destroy_processors(own.instance);
}

}  // namespace
}  // namespace varnolt
