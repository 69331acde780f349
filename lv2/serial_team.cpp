// The plug-in's block processors run on the host's audio thread alone. A host runs its plug-ins
// on threads of its own choosing, and an OpenMP team started from that thread would allocate on
// its first region and wait on the team's barriers inside run(): neither is allowed there. So
// the plug-in's team has one thread, the loops take their serial path (parallel_loop.h), and
// these definitions stand in for the runtime: the few entry points the processors' loops name,
// each doing what the runtime does for a team of one. They replace the runtime in this library
// only (its exports are lv2_descriptor alone), and with them neither the runtime's threads nor
// its start-up code, which reads and sets the process's environment, come into the host.

#include "processors/openmp_team.h"

namespace varnolt {

int openmp_team_size() {
    return 1;
}

}  // namespace varnolt

extern "C" {

void GOMP_parallel(void (*function)(void*), void* data, unsigned /*threads*/, unsigned /*flags*/) {
    function(data);
}

void GOMP_barrier() {}

int omp_get_thread_num() {
    return 0;
}

int omp_get_num_threads() {
    return 1;
}

int omp_get_max_threads() {
    return 1;
}

}  // extern "C"
