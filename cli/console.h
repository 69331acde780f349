#pragma once
// Everything the tool writes where the user reads it: result lines on standard output, messages
// on standard error, and the progress bar's line on a terminal. One lock orders them across the
// threads of a batch, and the bar is taken off its line before anything else is written, so a
// message never lands on the bar's line. A stream whose reader has gone interrupts the run.

#include <string>

namespace varnolt::cli {

// "varnolt: TEXT" as a line on standard error.
void tell(const std::string& text);

// One line of results on standard output (a summary, a measurement).
void print_line(const std::string& line);

// Text for standard output as it is (the settings listing, --help).
void print_text(const std::string& text);

// The progress bar's line on standard error, drawn over the one before.
void draw_bar_line(const std::string& line);

// Takes the bar off its line; nothing when none is drawn.
void clear_bar_line();

}  // namespace varnolt::cli
