#pragma once
// The few operating-system services the tool needs beyond standard C++: its own program file,
// the environment, terminals, processors and files.

#include <string>
#include <vector>

namespace varnolt::cli {

// Absolute path of the running program file.
std::string own_program_path();

// Sets (or, with null, removes) an environment variable of this process.
void set_environment(const char* name, const char* value);

// Whether standard error is a terminal (where the progress bar goes).
bool stderr_is_terminal();

// Columns of the terminal standard error writes to; 0 when it cannot be told.
int terminal_columns();

int processor_count();

// Creates `path` as a new empty file, failing when anything of that name exists already, so two
// runs never share a temporary file.
bool create_new_file(const std::string& path);

// Whether the user may replace the existing file `path`: they could write it, and it is not
// marked read-only (a read-only output is kept as sox keeps it, even for the administrator).
bool may_replace(const std::string& path);

}  // namespace varnolt::cli
