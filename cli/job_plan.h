#pragma once
// Which file goes where: IN OUT, or every IN into -o DIR under its own name, each report beside
// its output.

#include <string>
#include <vector>

#include "cli_options.h"
#include "file_job.h"

namespace varnolt::cli {

struct PlannedJob {
    FileJob job;
    std::string error;  // why the file cannot be restored, found before any work
};

// The same options always give the same plan, so the processes of a batch agree on the files.
std::vector<PlannedJob> plan_jobs(const CliOptions& options);

}  // namespace varnolt::cli
