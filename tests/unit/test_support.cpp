#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "plugin/load_state.h"
#include "plugin_instance_names.h"
#include "processors/processor_set.h"
#include "settings/parameters.h"
#include "settings/settings_file.h"

namespace varnolt::testing {

void reset_plugin_state() {
    destroy_processors(plugin_instance);
    reset_to_load_state();
    live = LiveParameters{};
    set_stamp_clock(nullptr);
}

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnolt-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool file_exists(const std::string& path) {
    return std::filesystem::exists(path);
}

}  // namespace varnolt::testing
