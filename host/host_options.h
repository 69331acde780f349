#pragma once
// Command line of the stand-in host.

#include <string>

struct HostOptions {
    std::string plugin_path;
    int module_index = 0;
    std::string input_path;  // empty: Init and Quit without playing
    std::string output_path;
    int block_frames = 576;  // the player's usual block size
    bool list_only = false;
    bool config_before_play = false;
    bool config_after_quit = false;
    bool init_twice = false;
    int cycles = 1;           // Init ... Quit this many times in one process
    std::string profile_dir;  // becomes USERPROFILE for the plug-in when set
    std::string script;       // window actions, see host_script.h
};

constexpr const char* k_host_usage =
    "usage: vhost [options] PLUGIN.dll[:MODULE] [IN.wav OUT.wav]\n"
    "  --list               print the header and module records and exit\n"
    "  --module N           module index (default 0; same as PLUGIN.dll:N)\n"
    "  --block N            frames per ModifySamples call (default 576)\n"
    "  --config             call Config after Init, before playing\n"
    "  --config-after-quit  after Quit call Config, then Quit again\n"
    "  --init-twice         call Init twice before playing\n"
    "  --cycles N           run Init ... Quit N times, reporting resources after each\n"
    "  --profile DIR        USERPROFILE seen by the plug-in\n"
    "  --script TEXT        window actions at block positions (see host_script.h)\n"
    "  --script-file FILE   the same actions read from FILE\n";

// Fills `options` from argv; on a malformed command line returns false with a reason.
bool parse_host_options(int argc, char** argv, HostOptions& options, std::string& error);
