#include "batch.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "interruption.h"
#include "platform.h"
#include "progress.h"

namespace varnolt::cli {
namespace fs = std::filesystem;
namespace {

constexpr int k_poll_ms = 200;

struct Running {
    std::size_t job;
    ChildProcess process;
    std::string status;
};

struct StatusReading {
    bool finished = false;
    int exit_code = 1;
    std::string line;
    double fraction = 0.0;
    double audio_seconds = 0.0;
};

StatusReading read_status(const std::string& path) {
    StatusReading r;
    std::ifstream in(path);
    std::string tag;
    if (!(in >> tag)) return r;
    if (tag == "P") {
        in >> r.fraction >> r.audio_seconds;
    } else if (tag == "R") {
        r.finished = true;
        in >> r.exit_code >> r.audio_seconds;
        in.ignore(1);
        std::getline(in, r.line);
        r.fraction = 1.0;
    }
    return r;
}

// Written whole under a neighbour name and renamed, so the parent never reads half a status.
void write_status(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text;
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
}

fs::path status_folder() {
    std::random_device seed;
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path dir = base / ("varnolt-batch-" + std::to_string(seed()));
        if (fs::create_directory(dir, ec)) return dir;
    }
    return {};
}

void print_line(const std::string& line, bool failed, bool quiet) {
    if (failed)
        std::fprintf(stderr, "varnolt: %s\n", line.c_str());
    else if (!quiet)
        std::printf("%s\n", line.c_str());
    std::fflush(failed ? stderr : stdout);
}

}  // namespace

void BatchStatus::progress(double fraction, double audio_seconds) {
    std::ostringstream text;
    text << "P " << fraction << " " << audio_seconds << "\n";
    write_status(path_, text.str());
}

void BatchStatus::finish(int exit_code, double audio_seconds, const std::string& line) {
    std::ostringstream text;
    text << "R " << exit_code << " " << audio_seconds << " " << line << "\n";
    write_status(path_, text.str());
}

int run_batch(const std::vector<PlannedJob>& plan, const std::vector<std::string>& arguments,
              const BatchSettings& settings) {
    int failed = 0;
    ProgressBar bar(settings.progress);
    for (const PlannedJob& p : plan)
        if (!p.error.empty()) {
            print_line(p.error, true, settings.quiet);
            ++failed;
        }
    const fs::path folder = status_folder();
    // Every worker restores its one file; one that took itself for a batch refuses to run.
    set_environment(k_batch_worker_variable, "1");
    std::vector<std::size_t> waiting;
    for (std::size_t i = 0; i < plan.size(); ++i)
        if (plan[i].error.empty()) waiting.push_back(i);
    const std::size_t total = waiting.size();
    std::reverse(waiting.begin(), waiting.end());
    std::vector<Running> running;
    std::size_t done = 0;
    double done_seconds = 0.0;

    while (!waiting.empty() || !running.empty()) {
        if (interrupted()) {
            // The workers stop too (a terminal's Ctrl-C reaches them already; a SIGTERM to the
            // batch does not), each removing what it had begun; none is left running.
            bar.clear();
            for (const Running& r : running) stop_child(r.process);
            std::vector<ChildProcess> processes;
            for (const Running& r : running) processes.push_back(r.process);
            while (!processes.empty()) {
                int ignored = 0;
                const int ended = wait_for_child(processes, k_poll_ms, ignored);
                if (ended >= 0) processes.erase(processes.begin() + ended);
            }
            failed += static_cast<int>(running.size() + waiting.size());
            break;
        }
        while (!waiting.empty() && static_cast<int>(running.size()) < settings.at_once) {
            const std::size_t i = waiting.back();
            waiting.pop_back();
            Running r{i, {}, (folder / ("item-" + std::to_string(i))).string()};
            // Right after the program's name: after a "--" they would be names of files.
            std::vector<std::string> args = arguments;
            const auto after_program = args.begin() + (args.empty() ? 0 : 1);
            args.insert(after_program,
                        {"--batch-item=" + std::to_string(i), "--batch-status=" + r.status});
            if (folder.empty() || !start_child(args, r.process)) {
                bar.clear();
                print_line(plan[i].job.input + ": cannot start a process to restore it", true,
                           settings.quiet);
                ++failed;
                ++done;
                continue;
            }
            running.push_back(r);
        }
        if (running.empty()) break;
        std::vector<ChildProcess> processes;
        for (const Running& r : running) processes.push_back(r.process);
        int exit_code = 1;
        const int ended = wait_for_child(processes, k_poll_ms, exit_code);
        if (ended >= 0) {
            const Running r = running[ended];
            running.erase(running.begin() + ended);
            const StatusReading s = read_status(r.status);
            std::string line = s.line;
            if (!s.finished)
                line = plan[r.job].job.input + ": restoring failed (the process ended with code " +
                       std::to_string(exit_code) + ")";
            const bool ok = s.finished && exit_code == 0 && s.exit_code == 0;
            bar.clear();
            print_line(line, !ok, settings.quiet);
            if (!ok) ++failed;
            ++done;
            done_seconds += s.audio_seconds;
        }
        // The combined bar: finished files count whole, running ones by their share.
        double fraction = static_cast<double>(done), seconds = done_seconds;
        for (const Running& r : running) {
            const StatusReading s = read_status(r.status);
            fraction += s.fraction;
            seconds += s.audio_seconds;
        }
        if (total > 0)
            bar.update(fraction / total, seconds,
                       std::to_string(done) + "/" + std::to_string(total) + " files");
    }
    bar.clear();
    std::error_code ec;
    if (!folder.empty()) fs::remove_all(folder, ec);
    return failed;
}

}  // namespace varnolt::cli
