// varnolt: restores recordings through the same sample path the player's ModifySamples runs,
// with the settings of the plug-in's hidden module, one file or a batch on threads.

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "batch.h"
#include "chain/instance.h"
#include "cli_options.h"
#include "console.h"
#include "dolby_level_measurement.h"
#include "dolby_level_use.h"
#include "dolby_level_words.h"
#include "file_job.h"
#include "interruption.h"
#include "job_plan.h"
#include "platform.h"
#include "plugin/dll_instance.h"
#include "progress.h"
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

// Starts the plug-in with the settings asked for; false with the reason.
bool start_with_settings(const CliOptions& options, std::string& error) {
    const std::string program = own_program_path();
    return start_plugin(options.settings, program.c_str(), error) &&
           apply_settings_request(options.settings, error);
}

// The settings actions that need no file: print, save.
int settings_actions(const CliOptions& options, const std::vector<PlannedJob>& plan) {
    if (!options.save_settings.empty()) {
        for (const PlannedJob& p : plan)
            if (same_file(options.save_settings, p.job.input) ||
                same_file(options.save_settings, p.job.output))
                return usage_error("--save-settings " + options.save_settings +
                                   ": that is a file to restore or write");
        std::string error;
        if (!save_settings_preset(options.save_settings, error)) return file_error(error);
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
        const DolbyLevelUse use = measured_level_use(measurement, dll_instance().live);
        tell(input + ": Dolby B: " + dolby_level_use_text(use));
    }
    if (options.print_settings) print_text(settings_listing());
    return 0;
}

// One file in this process, with the progress bar on a terminal.
int restore_here(const PlannedJob& p, const CliOptions& options) {
    if (!p.error.empty()) return file_error(p.error);
    ProgressBar bar(!options.quiet && stderr_is_terminal());
    std::string summary, error, notice;
    const bool ok = run_file_job(
        p.job, options.job, dll_instance().live,
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
int measure_only(const CliOptions& options) {
    int status = 0;
    for (const std::string& file : options.files) {
        DolbyLevelMeasurement measurement;
        std::string error;
        if (measure_dolby_level(file, measurement, error)) {
            LiveParameters parameters = dll_instance().live;
            const DolbyLevelUse use = measured_level_use(measurement, parameters);
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
    if (options.dolby_level == "measure") {
        if (!start_with_settings(options, error)) return usage_error(error);
        const int status = measure_only(options);
        stop_plugin();
        return status;
    }

    if (!options.output_dir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.output_dir, ec);
        if (!std::filesystem::is_directory(options.output_dir))
            return file_error(options.output_dir + ": cannot create the output folder");
    }
    const std::vector<PlannedJob> plan = plan_jobs(options);
    if (!start_with_settings(options, error)) return usage_error(error);
    // A level given in dBFS is a setting like the others: listed, saved, every file's.
    if (options.job.dolby_level_dbfs)
        given_level_use(*options.job.dolby_level_dbfs, dll_instance().live);
    if (const int status = settings_actions(options, plan); status != 0 || options.print_settings) {
        stop_plugin();
        return status;
    }
    if (plan.size() == 1) {
        const int status = restore_here(plan[0], options);
        stop_plugin();
        return status;
    }
    BatchSettings batch;
    batch.at_once = options.jobs > 0 ? options.jobs : processor_count();
    batch.progress = !options.quiet && stderr_is_terminal();
    batch.quiet = options.quiet;
    // The started plug-in's parameters are every file's starting point; nothing changes them
    // while the batch runs.
    const int failed = run_batch(plan, options.job, dll_instance().live, batch);
    stop_plugin();
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
