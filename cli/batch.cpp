#include "batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "chain/floating_point.h"
#include "console.h"
#include "interruption.h"
#include "progress.h"

namespace varnolt::cli {
namespace {

constexpr auto k_redraw_interval = std::chrono::milliseconds(200);

void report(const std::string& line, bool failed, bool quiet) {
    if (failed)
        tell(line);
    else if (!quiet)
        print_line(line);
}

// How far one file has come. Its worker writes, the printing thread reads.
struct FileProgress {
    std::atomic<double> fraction{0.0};
    std::atomic<double> audio_seconds{0.0};
};

struct FileResult {
    bool ok = false;
    std::string line;    // the summary, or the error naming the file
    std::string notice;  // for standard error first (the automatic Dolby level), or empty
};

// What the workers share with the thread that prints: the next file to take (atomic), and the
// results not printed yet (under the lock).
class BatchBoard {
  public:
    explicit BatchBoard(std::vector<std::size_t> jobs)
        : jobs_(std::move(jobs)), progress_(std::make_unique<FileProgress[]>(jobs_.size())) {}

    // The index into the plan of the next file, or false when none is left (or the run was
    // interrupted).
    bool take(std::size_t& slot) {
        if (interrupted()) return false;
        slot = next_.fetch_add(1);
        return slot < jobs_.size();
    }
    std::size_t job(std::size_t slot) const { return jobs_[slot]; }
    std::size_t total() const { return jobs_.size(); }
    FileProgress& progress(std::size_t slot) { return progress_[slot]; }

    void finish(std::size_t slot, FileResult result) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            results_.push_back(std::move(result));
            progress_[slot].fraction = 1.0;
        }
        changed_.notify_one();
    }
    void worker_ended() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++workers_ended_;
        }
        changed_.notify_one();
    }

    // Waits up to `interval` for a result; hands over those that came, and whether every
    // worker has ended.
    bool wait(std::chrono::milliseconds interval, int workers, std::deque<FileResult>& came) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, interval,
                          [&] { return !results_.empty() || workers_ended_ == workers; });
        came.swap(results_);
        results_.clear();
        return workers_ended_ == workers;
    }

  private:
    std::vector<std::size_t> jobs_;
    std::unique_ptr<FileProgress[]> progress_;
    std::atomic<std::size_t> next_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<FileResult> results_;
    int workers_ended_ = 0;
};

void work(BatchBoard& board, const std::vector<PlannedJob>& plan, const JobOptions& options,
          const LiveParameters& parameters) {
    // A new thread starts with the system's floating-point modes; the files restore with those
    // the player's Init sets, as on the main thread.
    set_up_floating_point();
    std::size_t slot = 0;
    while (board.take(slot)) {
        const FileJob& job = plan[board.job(slot)].job;
        FileProgress& progress = board.progress(slot);
        FileResult result;
        std::string summary, error;
        try {
            result.ok = run_file_job(
                job, options, parameters,
                [&progress](double f, double seconds) {
                    progress.fraction = f;
                    progress.audio_seconds = seconds;
                },
                summary, error, &result.notice);
            result.line = result.ok ? summary : error;
        } catch (const std::exception& e) {
            result.line = job.input + ": restoring failed: " + e.what();
        } catch (...) {
            result.line = job.input + ": restoring failed";
        }
        board.finish(slot, std::move(result));
    }
    board.worker_ended();
}

}  // namespace

int run_batch(const std::vector<PlannedJob>& plan, const JobOptions& options,
              const LiveParameters& parameters, const BatchSettings& settings) {
    int failed = 0;
    std::vector<std::size_t> jobs;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (plan[i].error.empty()) {
            jobs.push_back(i);
        } else {
            report(plan[i].error, true, settings.quiet);
            ++failed;
        }
    }
    BatchBoard board(std::move(jobs));
    const std::size_t total = board.total();
    const int workers = static_cast<int>(
        std::min<std::size_t>(total, static_cast<std::size_t>(std::max(1, settings.at_once))));
    std::vector<std::thread> threads;
    try {
        for (int w = 0; w < workers; ++w)
            threads.emplace_back(work, std::ref(board), std::cref(plan), std::cref(options),
                                 std::cref(parameters));
    } catch (const std::system_error&) {
        // Fewer threads than asked for still restore every file; with none, this one does.
        if (threads.empty()) work(board, plan, options, parameters);
    }
    const int running = std::max<int>(1, static_cast<int>(threads.size()));

    ProgressBar bar(settings.progress);
    std::size_t done = 0;
    bool ended = workers == 0;
    while (!ended) {
        std::deque<FileResult> came;
        ended = board.wait(k_redraw_interval, running, came);
        // Once interrupted, what ends is cut short: those files count as failed, without a line
        // each.
        for (const FileResult& r : came) {
            ++done;
            if (!r.ok) ++failed;
            if (interrupted()) continue;
            if (!r.notice.empty()) report(r.notice, true, settings.quiet);
            report(r.line, !r.ok, settings.quiet);
        }
        if (interrupted()) {
            bar.clear();
            continue;
        }
        // The combined bar: finished files count whole, running ones by their share.
        double fraction = 0.0, seconds = 0.0;
        for (std::size_t slot = 0; slot < total; ++slot) {
            fraction += board.progress(slot).fraction;
            seconds += board.progress(slot).audio_seconds;
        }
        if (total > 0 && !ended)
            bar.update(fraction / total, seconds,
                       std::to_string(done) + "/" + std::to_string(total) + " files");
    }
    for (std::thread& t : threads) t.join();
    bar.clear();
    // Files no worker took, once interrupted.
    failed += static_cast<int>(total - done);
    return failed;
}

}  // namespace varnolt::cli
