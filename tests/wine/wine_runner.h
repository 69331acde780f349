#pragma once
// Runs the stand-in host under wine in the environment that wine_env.sh brought up.

#include <string>
#include <vector>

namespace varnolt::testing {

struct HostRun {
    int exit_code = -1;
    std::string out;
    std::string err;
};

// Runs `vhost.exe args...` for at most `time_limit` seconds; paths in args must already be
// Windows paths.
HostRun run_vhost(const std::vector<std::string>& args, int time_limit = 120);

// Runs another program of the Windows build (for example "varnolt.exe") the same way.
HostRun run_windows_program(const std::string& program, const std::vector<std::string>& args,
                            int time_limit = 120);

// Path of the DLL under test, as the host under wine sees it.
std::string plugin_dll();

// "/tmp/x/y.wav" -> "Z:\tmp\x\y.wav": wine maps the Unix root to drive Z.
std::string windows_path(const std::string& unix_path);

}  // namespace varnolt::testing
