#pragma once
// The few operating-system services the tool needs beyond standard C++: terminals, processors
// and files.

#include <string>
#include <vector>

namespace varnolt::cli {

// Whether standard error is a terminal (where the progress bar goes).
bool stderr_is_terminal();

// Columns of the terminal standard error writes to; 0 when it cannot be told.
int terminal_columns();

int processor_count();

// Creates `path` as a new empty file, failing when anything of that name exists already, so two
// runs never share a temporary file. It gets the permissions of the existing file `like` (and
// stays writable for us, who write it), else the usual ones: a private file's new contents are
// never readable by others, not even while they are written.
bool create_new_file(const std::string& path, const std::string& like);

// Gives the new file `to` the owner, group and permissions of the existing file `from`, so a
// rewritten output is the user's file as it was. A change of owner or group the user may not make
// (only the administrator gives files away) is left out; false with errno when the permissions
// cannot be set.
bool take_over_attributes(const std::string& from, const std::string& to);

// Puts the file's contents on the disk before it is renamed into place, so that a crash leaves
// the old file or the new one, never an empty one. False with errno when the disk refuses.
bool sync_to_disk(const std::string& path);

// Whether the signal was ignored when the program started (as nohup ignores SIGHUP).
bool signal_is_ignored(int number);

// Columns the user's locale gives the character on a terminal; -1 where it does not know it
// (a locale without Unicode).
int locale_character_columns(char32_t c);

// Whether the user may replace the existing file `path`: they could write it, and it is not
// marked read-only (a read-only output is kept as sox keeps it, even for the administrator).
bool may_replace(const std::string& path);

}  // namespace varnolt::cli
