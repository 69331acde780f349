#pragma once
// The command line: what the user asked for, parsed from argv, and the text that documents it
// (the --help output and the man page come from the same table).

#include <string>
#include <vector>

#include "file_job.h"
#include "settings_request.h"

namespace varnolt::cli {

constexpr int k_exit_file_failed = 1;
constexpr int k_exit_usage = 2;

struct CliOptions {
    std::vector<std::string> files;  // IN OUT, or the inputs with -o DIR
    std::string output_dir;
    bool report = false;
    std::string report_path;  // empty: beside the output
    JobOptions job;
    int jobs = 0;  // 0: one per processor
    bool quiet = false;
    SettingsRequest settings;
    std::string save_settings;
    bool print_settings = false;
    std::string dolby_level;  // "", "auto", "measure" or a Dolby level in dBFS
    bool help = false;
    bool version = false;
    bool man = false;
};

// Parses argv; false with a one-line usage error.
bool parse_command_line(int argc, char** argv, CliOptions& options, std::string& error);

std::string help_text();
std::string man_page();
std::string version_text();

}  // namespace varnolt::cli
