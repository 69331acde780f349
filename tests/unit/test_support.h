#pragma once
// Shared helpers of the unit tests: a clean process-wide state per test and scratch folders.

#include <string>

namespace varnolt::testing {

// Puts every process-wide value, the DLL's instance among them, back to its load-time state.
void reset_plugin_state();

// A fresh empty folder under the system's temporary directory, removed by the destructor.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string read_text(const std::string& path);
void write_text(const std::string& path, const std::string& text);
bool file_exists(const std::string& path);

}  // namespace varnolt::testing
