#include <gtest/gtest.h>
#include <omp.h>

#include <cfenv>
#include <cmath>
#include <vector>

#include "processors/parallel_loop.h"

namespace varnolt {
namespace {

TEST(ParallelChoice, TakesTheCheaperWayAndTriesTheOtherNowAndThen) {
    ParallelChoice choice;
    const ParallelChoice::Decision first = choice.decide();
    EXPECT_TRUE(first.team) << "the team is timed first";
    choice.record(first, 5e-3);
    const ParallelChoice::Decision second = choice.decide();
    EXPECT_FALSE(second.team) << "then the calling thread alone";
    choice.record(second, 1e-3);
    int team_calls = 0;
    for (int call = 0; call < 1280; ++call) {
        const ParallelChoice::Decision d = choice.decide();
        team_calls += d.team;
        choice.record(d, d.team ? 5e-3 : 1e-3);
    }
    EXPECT_EQ(team_calls, 10) << "one probe of the slower way every 128 calls";

    // The load goes away: the team becomes cheaper, and after its next probe it is used.
    int alone_calls = 0;
    for (int call = 0; call < 1280; ++call) {
        const ParallelChoice::Decision d = choice.decide();
        alone_calls += !d.team;
        choice.record(d, d.team ? 0.2e-3 : 1e-3);
    }
    EXPECT_LE(alone_calls, 128 + 9) << "until the next probe, then only probes";
}

TEST(ParallelLoop, SumsAndLoopsGiveTheSameResultWhicheverWayTheyRun) {
    const int before = omp_get_max_threads();
    omp_set_num_threads(2);
    std::vector<double> terms(5000);
    for (std::size_t i = 0; i < terms.size(); ++i) terms[i] = std::sin(0.37 * i) * 1e3 + 1e-7 * i;
    // Repeated calls go both ways as the choice probes; every total must be the same bits.
    const double first = sum_over(5000, 100, [&terms](int i) { return terms[i]; });
    std::vector<int> done(3000);
    for (int call = 0; call < 100; ++call) {
        ASSERT_EQ(sum_over(5000, 100, [&terms](int i) { return terms[i]; }), first) << call;
        for_each_index(3000, 10, [&done](int i) { ++done[i]; });
    }
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(done[i], 100) << i;
    omp_set_num_threads(before);
}

// The team's threads start with the system's floating-point defaults; the loop's caller may run
// under another rounding (the player sets its playback thread as it likes). Every index must
// come out as the calling thread computes it alone.
TEST(ParallelLoop, TheTeamComputesUnderTheCallersRounding) {
    const int before = omp_get_max_threads();
    omp_set_num_threads(2);
    constexpr int k_count = 4000;
    // volatile: computed at run time, under the rounding in force.
    auto term = [](int i) {
        volatile double a = 1.0 + i, b = 3.0;
        return a / b;
    };
    std::fesetround(FE_UPWARD);
    std::vector<double> alone(k_count), team(k_count);
    for (int i = 0; i < k_count; ++i) alone[i] = term(i);
    // A fresh call site is timed on the team first, so this loop runs on two threads.
    for_each_index(k_count, 10, [&](int i) { team[i] = term(i); });
    const double sum = sum_over(k_count, 10, term);
    std::fesetround(FE_TONEAREST);
    double sum_alone = 0.0;
    {
        // The sum's ranges as the loop adds them, each under the caller's rounding.
        std::fesetround(FE_UPWARD);
        double halves[2] = {0.0, 0.0};
        for (int t = 0; t < 2; ++t)
            for (int i = k_count * t / 2; i < k_count * (t + 1) / 2; ++i) halves[t] += term(i);
        sum_alone = halves[0] + halves[1];
        std::fesetround(FE_TONEAREST);
    }
    int differing = 0;
    for (int i = 0; i < k_count; ++i) differing += team[i] != alone[i];
    EXPECT_EQ(differing, 0) << "indices computed under another rounding";
    EXPECT_EQ(sum, sum_alone);
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
    omp_set_num_threads(before);
}

}  // namespace
}  // namespace varnolt
