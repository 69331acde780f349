#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform.h"

extern char** environ;

namespace varnolt::cli {

std::string own_program_path() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "varnolt";
    return std::string(path, static_cast<std::size_t>(n));
}

void set_environment(const char* name, const char* value) {
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

bool stderr_is_terminal() {
    return isatty(STDERR_FILENO) != 0;
}

int terminal_columns() {
    winsize size = {};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

int processor_count() {
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

bool create_new_file(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool may_replace(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return true;
    return access(path.c_str(), W_OK) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

bool start_child(const std::vector<std::string>& args, ChildProcess& child) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const std::string program = own_program_path();
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    child.handle = pid;
    return true;
}

void stop_child(const ChildProcess& child) {
    kill(static_cast<pid_t>(child.handle), SIGTERM);
}

int wait_for_child(const std::vector<ChildProcess>& children, int timeout_ms, int& exit_code) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        for (std::size_t i = 0; i < children.size(); ++i) {
            int status = 0;
            if (waitpid(static_cast<pid_t>(children[i].handle), &status, WNOHANG) > 0) {
                exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return static_cast<int>(i);
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace varnolt::cli
