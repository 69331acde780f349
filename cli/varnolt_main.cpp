// varnolt: restores recordings through the same sample path the player's ModifySamples runs,
// with the plug-in's first-start settings (or the player's) and what the command line changes,
// one file or a batch on threads.

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "batch.h"
#include "chain/floating_point.h"
#include "cli_options.h"
#include "console.h"
#include "dolby_level_measurement.h"
#include "dolby_level_use.h"
#include "dolby_level_words.h"
#include "file_job.h"
#include "interruption.h"
#include "job_plan.h"
#include "platform.h"
#include "processors/openmp_team.h"
#include "progress.h"
#include "settings/parameters.h"
#include "settings_request.h"

namespace varnolt::cli {
namespace {

int usage_error(const std::string& message) {
    tell(message);
    return k_exit_usage;
}

int file_error(const std::string& message) {
    tell(message);
    return k_exit_file_failed;
}

// The thread's floating-point modes and the OpenMP environment as the player's Init leaves them
// for the processing.
void set_up_processing() {
    set_up_floating_point();
    restore_openmp_environment();
}

// The parameters asked for: the start, then the settings file, the sets and the switches;
// false with the reason.
bool requested_parameters(const CliOptions& options, LiveParameters& parameters,
                          std::string& error) {
    return starting_parameters(options.settings, parameters, error) &&
           apply_settings_request(options.settings, parameters, error);
}

// The settings actions that need no file: save, then print (with --dolby-level auto the list
// shows the first file's level in `parameters`).
int settings_actions(const CliOptions& options, const std::vector<PlannedJob>& plan,
                     LiveParameters& parameters) {
    if (!options.save_settings.empty()) {
        for (const PlannedJob& p : plan)
            if (same_file(options.save_settings, p.job.input) ||
                same_file(options.save_settings, p.job.output))
                return usage_error("--save-settings " + options.save_settings +
                                   ": that is a file to restore or write");
        std::string error;
        if (!save_settings_preset(parameters, options.save_settings, error))
            return file_error(error);
        // A preset holds the five processing sections, as the window's SAVE writes them; the
        // live-only switches and the quality are not among them.
        const SettingsRequest& s = options.settings;
        std::string left_out;
        auto note = [&left_out](bool given, const char* option) {
            if (given) left_out += (left_out.empty() ? "" : ", ") + std::string(option);
        };
        note(!s.quality.empty(), "--quality");
        note(!s.azimuth.empty(), "--azimuth");
        note(s.azimuth_limit.has_value(), "--azimuth-limit");
        note(s.azimuth_speed.has_value(), "--azimuth-speed");
        note(s.mono, "--mono");
        note(!s.mode.empty(), "--mode");
        if (!left_out.empty())
            tell(options.save_settings + ": a preset cannot hold " + left_out + "; saved without");
    }
    if (options.print_settings && options.job.automatic_dolby_level && !options.files.empty()) {
        // The value the first file calls for, so that the list can be set on the window as it is.
        const std::string& input = options.files.front();
        DolbyLevelMeasurement measurement;
        std::string error;
        if (!measure_dolby_level(input, measurement, error)) return file_error(error);
        const DolbyLevelUse use = measured_level_use(measurement, parameters);
        tell(input + ": Dolby B: " + dolby_level_use_text(use));
    }
    if (options.print_settings) print_text(settings_listing(parameters));
    return 0;
}

// One file in this process, with the progress bar on a terminal.
int restore_here(const PlannedJob& p, const CliOptions& options, const LiveParameters& parameters) {
    if (!p.error.empty()) return file_error(p.error);
    ProgressBar bar(!options.quiet && stderr_is_terminal());
    std::string summary, error, notice;
    const bool ok = run_file_job(
        p.job, options.job, parameters,
        [&](double f, double seconds) { bar.update(f, seconds, p.job.input); }, summary, error,
        &notice);
    bar.clear();
    if (!notice.empty()) tell(notice);
    if (!ok) return file_error(error);
    if (!options.quiet) print_line(summary);
    return 0;
}

// --dolby-level measure: one line per file on standard output, nothing restored. The line
// names the decoder the settings choose, as the level's volume depends on it.
int measure_only(const CliOptions& options, const LiveParameters& parameters) {
    int status = 0;
    for (const std::string& file : options.files) {
        DolbyLevelMeasurement measurement;
        std::string error;
        if (measure_dolby_level(file, measurement, error)) {
            LiveParameters measured = parameters;
            const DolbyLevelUse use = measured_level_use(measurement, measured);
            print_line(file + ": Dolby B: " + dolby_level_use_text(use));
        } else {
            tell(error);
            status = k_exit_file_failed;
        }
        if (interrupted()) break;
    }
    return status;
}

int run(int argc, char** argv) {
    CliOptions options;
    std::string error;
    if (!parse_command_line(argc, argv, options, error)) return usage_error(error);
    if (options.help) return print_text(help_text()), 0;
    if (options.version) return print_text(version_text()), 0;
    if (options.man) return print_text(man_page()), 0;
    LiveParameters parameters;
    if (options.dolby_level == "measure") {
        if (!requested_parameters(options, parameters, error)) return usage_error(error);
        set_up_processing();
        return measure_only(options, parameters);
    }

    if (!options.output_dir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.output_dir, ec);
        if (!std::filesystem::is_directory(options.output_dir))
            return file_error(options.output_dir + ": cannot create the output folder");
    }
    const std::vector<PlannedJob> plan = plan_jobs(options);
    if (!requested_parameters(options, parameters, error)) return usage_error(error);
    set_up_processing();
    // A level given in dBFS is a setting like the others: listed, saved, every file's.
    if (options.job.dolby_level_dbfs) given_level_use(*options.job.dolby_level_dbfs, parameters);
    if (const int status = settings_actions(options, plan, parameters);
        status != 0 || options.print_settings)
        return status;
    if (plan.size() == 1) return restore_here(plan[0], options, parameters);
    BatchSettings batch;
    batch.at_once = options.jobs > 0 ? options.jobs : processor_count();
    batch.progress = !options.quiet && stderr_is_terminal();
    batch.quiet = options.quiet;
    // The parameters are every file's starting point; nothing changes them while the batch runs.
    const int failed = run_batch(plan, options.job, parameters, batch);
    return failed > 0 ? k_exit_file_failed : 0;
}

}  // namespace
}  // namespace varnolt::cli

int main(int argc, char** argv) {
    // The user's character set, for the width a file name takes on the terminal; numbers keep
    // the C locale's point.
    std::setlocale(LC_CTYPE, "");
    varnolt::cli::watch_for_interruption();
    const int status = varnolt::cli::run(argc, argv);
    // Whatever was cut short has been removed; the exit status says why the run ended.
    return varnolt::cli::interrupted() ? varnolt::cli::interruption_exit_code() : status;
}
