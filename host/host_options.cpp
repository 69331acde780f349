#include "host_options.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

bool parse_int(const std::string& text, int& value) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < -1000000000L || v > 1000000000L) return false;
    value = static_cast<int>(v);
    return true;
}

bool read_whole_file(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream contents;
    contents << file.rdbuf();
    text = contents.str();
    return true;
}

}  // namespace

bool parse_host_options(int argc, char** argv, HostOptions& options, std::string& error) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* name, std::string& out) {
            if (i + 1 >= argc) {
                error = std::string(name) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--list") {
            options.list_only = true;
        } else if (arg == "--config") {
            options.config_before_play = true;
        } else if (arg == "--config-after-quit") {
            options.config_after_quit = true;
        } else if (arg == "--init-twice") {
            options.init_twice = true;
        } else if (arg == "--script") {
            if (!value("--script", options.script)) return false;
        } else if (arg == "--script-file") {
            // An hour's script is far beyond what one command-line argument may hold.
            if (!value("--script-file", text)) return false;
            if (!read_whole_file(text, options.script)) {
                error = "cannot read the script file " + text;
                return false;
            }
        } else if (arg == "--profile") {
            if (!value("--profile", options.profile_dir)) return false;
        } else if (arg == "--module" || arg == "--block" || arg == "--cycles") {
            if (!value(arg.c_str(), text)) return false;
            int& target = arg == "--module"  ? options.module_index
                          : arg == "--block" ? options.block_frames
                                             : options.cycles;
            if (!parse_int(text, target)) {
                error = arg + " needs a whole number, not '" + text + "'";
                return false;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) {
        error = "no plug-in named";
        return false;
    }
    options.plugin_path = positional[0];
    // "PLUGIN.dll:1" picks the module; a drive letter's colon is at index 1.
    std::size_t colon = options.plugin_path.rfind(':');
    if (colon != std::string::npos && colon > 1) {
        if (!parse_int(options.plugin_path.substr(colon + 1), options.module_index)) {
            error = "bad module index in " + options.plugin_path;
            return false;
        }
        options.plugin_path.resize(colon);
    }
    if (positional.size() == 3) {
        options.input_path = positional[1];
        options.output_path = positional[2];
    } else if (positional.size() != 1) {
        error = "give both IN.wav and OUT.wav, or neither";
        return false;
    }
    if (options.block_frames < 1) {
        error = "--block must be at least 1";
        return false;
    }
    if (options.cycles < 1) {
        error = "--cycles must be at least 1";
        return false;
    }
    return true;
}
