#pragma once
// Several files at once: each file is restored by a copy of this program in a process of its
// own (the plug-in's state is per process), up to N at a time. A failed file never stops the
// others.

#include <string>
#include <vector>

#include "job_plan.h"

namespace varnolt::cli {

// Set in the environment of a batch's workers: a worker never starts a batch of its own.
constexpr const char* k_batch_worker_variable = "VARNOLT_BATCH_WORKER";

struct BatchSettings {
    int at_once = 1;
    bool progress = false;  // the combined bar on the terminal
    bool quiet = false;
};

// Runs every planned job that has no error through a child started with the original arguments
// and --batch-item; prints each file's summary or error line as it ends. Returns the number of
// files that failed, those with a planning error included.
int run_batch(const std::vector<PlannedJob>& plan, const std::vector<std::string>& arguments,
              const BatchSettings& settings);

// The child's side: reports progress and the final line through the status file.
class BatchStatus {
  public:
    explicit BatchStatus(std::string path) : path_(std::move(path)) {}
    void progress(double fraction, double audio_seconds);
    void finish(int exit_code, double audio_seconds, const std::string& line);

  private:
    std::string path_;
};

}  // namespace varnolt::cli
