// The DLL loaded, played through, quit and freed again and again in one process, as the player
// does while the listener tries DSP plug-ins in turn and comes back to ours: vhost_reload.exe
// does the cycles, with every stage switched on and the OpenMP runtime at two threads, and
// reports after each what the process holds and how the cycle's output compares with the
// first's. Each run prints its figures on a line starting with "reload:".

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "listening.h"

namespace varnolt::testing {
namespace {

constexpr int k_rate = 44100;
// Two cycles past the settling ones: enough to see that nothing grows from one to the next.
constexpr int k_cycles = 4;
constexpr double k_seconds = 1.5;  // of audio played in each cycle
constexpr int k_settle_ms = 1000;  // the player plays on after FreeLibrary before the count
// What the first cycles may still add: the process's share of the system's objects and
// memory settles in the second cycle, as in the long runs of Init and Quit.
constexpr int k_settle_cycles = 2;
constexpr long long k_handle_slack = 2;
constexpr long long k_private_slack = 1 << 20;
// Steps of the 16-bit output's last bit the dither alone moves a sample by.
constexpr long long k_dither_steps = 2;

struct Cycle {
    long long number = 0, init = -1, config = 0, threads_before = 0, threads_playing = 0,
              threads_after = 0, mapped_after = 0, frames = 0, first_frames = 0, max_diff = 0,
              beyond_dither = 0;
    long long gdi = 0, user = 0, handles = 0, private_bytes = 0;
};

bool parse_cycle(const std::string& line, Cycle& c) {
    return std::sscanf(line.c_str(),
                       "cycle %lld: init %lld config %lld dialogs %*d mapped-before %*d "
                       "threads-before %lld threads-playing %lld threads-after %lld freed %*d "
                       "mapped-after %lld frames %lld first-frames %lld hash %*s max-diff %lld "
                       "beyond-dither %lld resources: gdi %lld user %lld handles %lld private "
                       "%lld",
                       &c.number, &c.init, &c.config, &c.threads_before, &c.threads_playing,
                       &c.threads_after, &c.mapped_after, &c.frames, &c.first_frames, &c.max_diff,
                       &c.beyond_dither, &c.gdi, &c.user, &c.handles, &c.private_bytes) == 15;
}

class Reload : public HostUnderWine {
  protected:
    // Runs the cycles with module `module` and checks each against the first and the second.
    void cycle_through(const std::string& module);
};

void Reload::cycle_through(const std::string& module) {
    const int frames = static_cast<int>(k_seconds * k_rate);
    Recording programme_16;  // 16-bit stereo at k_rate
    for (int n = 0; n < frames; ++n)
        for (int channel = 0; channel < 2; ++channel)
            programme_16.samples.push_back(static_cast<int>(
                std::clamp(std::round(programme(n, channel, k_rate)), -32768.0, 32767.0) *
                65536.0));
    write_recording(dir.file("in.wav"), programme_16);

    const HostRun run = run_windows_program(
        "vhost_reload.exe",
        {"--cycles", std::to_string(k_cycles), "--config-every", "2", "--settle-ms",
         std::to_string(k_settle_ms), "--threads", "2", "--stack-offset", "4", "--profile",
         profile(), plugin_dll() + ":" + module, win("in.wav")},
        180);
    ASSERT_EQ(run.exit_code, 0) << "the host died or failed: " << run.err << run.out;

    long long threads_at_start = 0;
    long long stack_offset = 0;
    std::vector<Cycle> cycles;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        Cycle c;
        if (parse_cycle(line, c)) cycles.push_back(c);
        std::sscanf(line.c_str(),
                    "reload: module %*d, %*d cycles of %*d frames, stack offset %lld, "
                    "threads at start %lld",
                    &stack_offset, &threads_at_start);
    }
    ASSERT_EQ(cycles.size(), static_cast<std::size_t>(k_cycles)) << run.out;
    ASSERT_GT(threads_at_start, 0) << run.out;

    const Cycle& base = cycles[k_settle_cycles - 1];
    for (const Cycle& c : cycles) {
        const std::string what = "module " + module + ", cycle " + std::to_string(c.number);
        EXPECT_EQ(c.init, 0) << what;
        EXPECT_EQ(c.frames, frames) << what << ": the plug-in keeps the length";
        // A thread of the DLL's that outlives its code waits in memory that is gone.
        if (c.mapped_after == 0) {
            EXPECT_LE(c.threads_after, threads_at_start)
                << what << ": threads left behind in the unloaded DLL";
        }
        if (c.number < k_settle_cycles) continue;
        EXPECT_LE(c.threads_after, base.threads_after) << what << ": threads pile up";
        EXPECT_LE(c.gdi, base.gdi) << what;
        EXPECT_LE(c.user, base.user) << what;
        EXPECT_LE(c.handles, base.handles + k_handle_slack) << what;
        EXPECT_LE(c.private_bytes - base.private_bytes, k_private_slack) << what;
        EXPECT_LE(c.max_diff, k_dither_steps)
            << what << ": the output differs from the first cycle's by up to " << c.max_diff
            << " steps in " << c.beyond_dither << " samples; the process kept state";
    }

    const Cycle& last = cycles.back();
    long long largest_difference = 0;
    for (const Cycle& c : cycles) largest_difference = std::max(largest_difference, c.max_diff);
    std::printf(
        "reload: module %s, %d cycles, stack offset %lld: threads at start %lld, while playing "
        "%lld, after FreeLibrary %lld in cycle 1, %lld in cycle %d, %lld in the last (DLL %s); "
        "gdi %lld..%lld user %lld..%lld handles %lld..%lld private %.2f..%.2f MB; largest "
        "difference from the first cycle's output %lld steps\n",
        module.c_str(), k_cycles, stack_offset, threads_at_start, cycles[0].threads_playing,
        cycles[0].threads_after, base.threads_after, k_settle_cycles, last.threads_after,
        last.mapped_after ? "still mapped" : "unmapped", base.gdi, last.gdi, base.user, last.user,
        base.handles, last.handles, base.private_bytes / 1048576.0, last.private_bytes / 1048576.0,
        largest_difference);
}

TEST_F(Reload, TheWindowedModuleLeavesNothingBehindAndPlaysAsTheFirstTime) {
    cycle_through("0");
}

TEST_F(Reload, TheHiddenModuleLeavesNothingBehindAndPlaysAsTheFirstTime) {
    cycle_through("1");
}

}  // namespace
}  // namespace varnolt::testing
