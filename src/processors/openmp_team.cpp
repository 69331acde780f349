#include "processors/openmp_team.h"

#include <omp.h>

#include <algorithm>
#include <cstdlib>

namespace varnolt {
namespace {

constexpr const char* k_wait_policy = "OMP_WAIT_POLICY";

bool asked_for_passive_waiting = false;

void set_wait_policy(bool passive) {
#if defined(_WIN32)
    _putenv(passive ? "OMP_WAIT_POLICY=passive" : "OMP_WAIT_POLICY=");
#else
    if (passive)
        setenv(k_wait_policy, "passive", 1);
    else
        unsetenv(k_wait_policy);
#endif
}

// Runs before the runtime's own start-up code, which has the default priority: the runtime is
// linked into the plug-in (and into the native programs), so both are started by the same
// loader pass in priority order. By default the runtime's threads spin some 300000 rounds after
// every parallel region before they sleep.
__attribute__((constructor(101))) void ask_for_passive_waiting() {
    if (std::getenv(k_wait_policy) != nullptr) return;
    set_wait_policy(true);
    asked_for_passive_waiting = true;
}

}  // namespace

int openmp_team_size() {
    return std::clamp(omp_get_max_threads(), 1, k_largest_team);
}

void restore_openmp_environment() {
    if (!asked_for_passive_waiting) return;
    set_wait_policy(false);
    asked_for_passive_waiting = false;
}

}  // namespace varnolt
