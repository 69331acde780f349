#include "job_plan.h"

#include <filesystem>
#include <system_error>

namespace varnolt::cli {
namespace fs = std::filesystem;
namespace {

std::string beside(const std::string& output) {
    return fs::path(output).replace_extension(".png").string();
}

// Outputs that differ only in their extension (take.wav, take.flac) would share take.png: such
// reports take the whole output name instead (take.wav.png, take.flac.png).
void name_reports_apart(std::vector<PlannedJob>& jobs) {
    std::vector<bool> shared(jobs.size(), false);
    for (std::size_t i = 0; i < jobs.size(); ++i)
        for (std::size_t k = i + 1; k < jobs.size(); ++k)
            if (!jobs[i].job.report.empty() && jobs[i].job.report == jobs[k].job.report)
                shared[i] = shared[k] = true;
    for (std::size_t i = 0; i < jobs.size(); ++i)
        if (shared[i]) jobs[i].job.report = jobs[i].job.output + ".png";
}

// An output that is some file's input, or another file's output, would destroy work; so would
// a report that is another file's input, output or report.
std::string conflict(const std::vector<PlannedJob>& jobs, std::size_t i) {
    const FileJob& job = jobs[i].job;
    for (const PlannedJob& other : jobs)
        if (same_file(other.job.input, job.output))
            return job.output + ": the output would overwrite the input " + other.job.input;
    for (std::size_t k = 0; k < i; ++k)
        if (same_file(jobs[k].job.output, job.output))
            return job.input + ": its output " + job.output + " is already the output of " +
                   jobs[k].job.input;
    if (job.report.empty()) return "";
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        const FileJob& other = jobs[k].job;
        if (same_file(other.input, job.report) || (k != i && same_file(other.output, job.report)) ||
            (k < i && !other.report.empty() && same_file(other.report, job.report)))
            return job.input + ": its report " + job.report + " would overwrite " +
                   (same_file(other.input, job.report) ? "the input " + other.input
                                                       : "what " + other.input + " writes");
    }
    return "";
}

// "take/" or an existing folder as OUT: a file cannot be written there, whatever the extension.
std::string names_a_folder(const std::string& output) {
    std::error_code ec;
    const char last = output.empty() ? '\0' : output.back();
    if (last == '/' || last == fs::path::preferred_separator || fs::is_directory(output, ec))
        return output +
               ": cannot write: it names a folder (give a file name, or -o DIR for a "
               "folder)";
    return "";
}

}  // namespace

std::vector<PlannedJob> plan_jobs(const CliOptions& options) {
    std::vector<PlannedJob> jobs;
    if (options.output_dir.empty()) {
        if (options.files.size() == 2) {
            PlannedJob p;
            p.job = {options.files[0], options.files[1], ""};
            if (options.report)
                p.job.report =
                    options.report_path.empty() ? beside(p.job.output) : options.report_path;
            jobs.push_back(p);
        }
    } else {
        for (const std::string& input : options.files) {
            PlannedJob p;
            const fs::path name = fs::path(input).filename();
            p.job = {input, (fs::path(options.output_dir) / name).string(), ""};
            if (options.report)
                p.job.report = options.report_path.empty() || options.files.size() > 1
                                   ? beside(p.job.output)
                                   : options.report_path;
            jobs.push_back(p);
        }
    }
    name_reports_apart(jobs);
    for (std::size_t i = 0; i < jobs.size(); ++i) jobs[i].error = conflict(jobs, i);
    if (options.output_dir.empty() && jobs.size() == 1 && jobs[0].error.empty())
        jobs[0].error = names_a_folder(jobs[0].job.output);
    return jobs;
}

}  // namespace varnolt::cli
