#pragma once
// The few operating-system services the tool needs beyond standard C++: its own program file,
// the environment, terminals, and starting and waiting for copies of itself.

#include <string>
#include <vector>

namespace varnolt::cli {

// Absolute path of the running program file.
std::string own_program_path();

// Sets (or, with null, removes) an environment variable of this process.
void set_environment(const char* name, const char* value);

// Whether standard error is a terminal (where the progress bar goes).
bool stderr_is_terminal();

int processor_count();

// A started copy of this program.
struct ChildProcess {
    long long handle = 0;  // process id, or the process handle on Windows
};

// Starts the program file with these arguments (argv[0] included); false when it cannot start.
bool start_child(const std::vector<std::string>& args, ChildProcess& child);

// Waits up to `timeout_ms` for one of `children` to end. Returns its index and sets its exit
// code, or -1 when none ended in time.
int wait_for_child(const std::vector<ChildProcess>& children, int timeout_ms, int& exit_code);

}  // namespace varnolt::cli
