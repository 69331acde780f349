#include "wine_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace varnolt::testing {
namespace {

// The build records where the DLL and the wine environment are; the environment may override.
std::string setting(const char* name, const char* built_in) {
    const char* value = std::getenv(name);
    return value && *value ? value : built_in;
}

std::string windows_build_dir() {
    return setting("VARNOLT_WINDOWS_BUILD_DIR", VARNOLT_WINDOWS_BUILD_DIR);
}

// wine for the i686 build, wine64 for the x86_64 one where 32-bit programs cannot run.
std::string wine_loader() {
    return setting("VARNOLT_WINE_LOADER", VARNOLT_WINE_LOADER);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The host writes text-mode output, with CRLF line ends.
std::string without_carriage_returns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace

std::string windows_path(const std::string& unix_path) {
    std::string path = "Z:" + unix_path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string plugin_dll() {
    return windows_path(windows_build_dir() + "/dsp_varnolt.dll");
}

HostRun run_vhost(const std::vector<std::string>& args, int time_limit) {
    return run_windows_program("vhost.exe", args, time_limit);
}

HostRun run_windows_program(const std::string& program, const std::vector<std::string>& args,
                            int time_limit) {
    const std::string env_dir = setting("VARNOLT_WINE_ENV", VARNOLT_WINE_ENV_DIR);
    const std::string vhost = windows_build_dir() + "/" + program;

    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("DISPLAY=", 0) && entry.rfind("WINEPREFIX=", 0) &&
            entry.rfind("WINEDEBUG=", 0) && entry.rfind("WINEDLLOVERRIDES=", 0) &&
            entry.rfind("WINELOADER=", 0))
            environment.push_back(entry);
    }
    environment.push_back("DISPLAY=" + trimmed(slurp(env_dir + "/display")));
    environment.push_back("WINEPREFIX=" + env_dir + "/prefix");
    environment.push_back("WINEDEBUG=-all");
    environment.push_back("WINEDLLOVERRIDES=mscoree,mshtml=");
    // As Debian's wine wrapper does when it runs wine64 alone.
    const std::string loader = wine_loader();
    if (loader.size() >= 2 && loader.compare(loader.size() - 2, 2, "64") == 0)
        environment.push_back("WINELOADER=" + loader);

    std::vector<std::string> command = {"timeout", std::to_string(time_limit), loader, vhost};
    command.insert(command.end(), args.begin(), args.end());

    char out_name[] = "/tmp/vhost-out-XXXXXX";
    char err_name[] = "/tmp/vhost-err-XXXXXX";
    const int out_fd = mkstemp(out_name);
    const int err_fd = mkstemp(err_name);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_fd, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    std::vector<char*> argv;
    for (std::string& word : command) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    HostRun run;
    pid_t pid = 0;
    const int spawn_error =
        posix_spawnp(&pid, "timeout", &actions, nullptr, argv.data(), envp.data());
    if (spawn_error == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out_fd);
    close(err_fd);
    run.out = without_carriage_returns(slurp(out_name));
    run.err = without_carriage_returns(slurp(err_name));
    // An argument beyond the system's limit, for one, fails here, before wine runs at all.
    if (spawn_error != 0) run.err = std::string("could not start: ") + std::strerror(spawn_error);
    unlink(out_name);
    unlink(err_name);
    return run;
}

}  // namespace varnolt::testing
