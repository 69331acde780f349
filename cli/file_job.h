#pragma once
// One file restored from start to end: checks, reading, restoring, writing under a temporary
// name, the report, and the summary line.

#include <functional>
#include <optional>
#include <string>

namespace varnolt {
struct LiveParameters;
}

namespace varnolt::cli {

struct FileJob {
    std::string input;
    std::string output;
    std::string report;  // PNG to write, or empty
};

struct JobOptions {
    int block_frames = 576;
    int bits = 0;  // 0 keeps the input's
    bool keep_latency = false;
    bool keep_damaged = false;  // restore what a damaged input holds instead of failing
    // Choose "PC Recording Volume" (and switch the Dolby B remover on) from the file itself, by
    // an analysis pass before restoring it.
    bool automatic_dolby_level = false;
    // The Dolby level the user gave (--dolby-level DBFS): the decoder works at it, and the
    // remover is switched on.
    std::optional<double> dolby_level_dbfs;
    // No line on the Dolby B stage when it only says what the settings asked for; one from
    // --dolby-level is still given.
    bool quiet = false;
};

// Share of the file done (0 .. 1) and the seconds of audio that covers.
using JobProgress = std::function<void(double fraction, double audio_seconds)>;

// Restores one file through instances of its own that start from `parameters`, so files may
// run at once on several threads. True with the summary line, or false with a one-line error
// naming the file; no output (and no report) is left behind on failure. `notice`, when given,
// gets a line to show on standard error: the Dolby B decoder and the level it worked at.
bool run_file_job(const FileJob& job, const JobOptions& options, const LiveParameters& parameters,
                  const JobProgress& progress, std::string& summary, std::string& error,
                  std::string* notice = nullptr);

// Whether two paths name the same file (or would, once the second exists).
bool same_file(const std::string& a, const std::string& b);

}  // namespace varnolt::cli
