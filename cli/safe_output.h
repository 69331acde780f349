#pragma once
// Outputs appear whole or not at all: written under a temporary name beside the target and
// renamed into place at the end.

#include <functional>
#include <string>

namespace varnolt::cli {

// The temporary name beside `path`.
std::string temporary_name(const std::string& path);

// Whether a file can be created where `path` goes; false with a one-line reason.
bool can_create(const std::string& path, std::string& error);

// Runs `write` on the temporary name and renames it to `path`; on any failure the temporary
// file is removed and `path` is left as it was.
bool write_safely(const std::string& path, std::string& error,
                  const std::function<bool(const std::string&, std::string&)>& write);

}  // namespace varnolt::cli
