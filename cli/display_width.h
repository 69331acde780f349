#pragma once
// How many terminal columns text takes: file names arrive as UTF-8 bytes, and a CJK character
// takes two columns, a combining accent none.

#include <string>

namespace varnolt::cli {

// Columns `text` takes on a terminal.
int display_width(const std::string& text);

// The longest end of `text` that takes at most `columns` columns, cut between characters.
std::string last_columns(const std::string& text, int columns);

}  // namespace varnolt::cli
