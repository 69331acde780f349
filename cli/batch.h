#pragma once
// Several files at once: up to N threads of this process, each restoring one file at a time
// through instances of its own. A failed file never stops the others.

#include <vector>

#include "job_plan.h"

namespace varnolt {
struct LiveParameters;
}

namespace varnolt::cli {

struct BatchSettings {
    int at_once = 1;
    bool progress = false;  // the combined bar on the terminal
    bool quiet = false;
};

// Restores every planned job that has no error, each starting from `parameters` (read only
// while the batch runs); prints each file's summary or error line as it ends, in the order the
// files end. Returns the number of files that failed, those with a planning error and those an
// interruption cut short included.
int run_batch(const std::vector<PlannedJob>& plan, const JobOptions& options,
              const LiveParameters& parameters, const BatchSettings& settings);

}  // namespace varnolt::cli
