#pragma once
// How the block processors use the OpenMP runtime. Its threads are started once and kept for
// the process; between blocks they sleep rather than spin, so a worker never takes a core from
// the player or from whatever else the listener's machine runs. A loop forks the team only when
// there is more than one thread to share its work.

namespace varnolt {

// Partial sums are kept per thread in a fixed array of this size.
constexpr int k_largest_team = 64;

// The number of threads a parallel loop may use (at least 1, at most k_largest_team).
int openmp_team_size();

// The runtime reads its wait policy from the environment when the library is loaded; the
// plug-in asks for passive waiting just before that, unless the user chose a policy. Init calls
// this to put the variable back as it was.
void restore_openmp_environment();

}  // namespace varnolt
