#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "chain/instance.h"
#include "instance_names.h"
#include "plugin/dll_instance.h"
#include "plugin/load_state.h"
#include "processors/processor_set.h"
#include "settings/parameters.h"
#include "settings/settings_file.h"
#include "ui/window_binding.h"

namespace varnolt::testing {

namespace {

// As the load-state reset builds its clean copies: on the heap, not on the caller's stack.
template <class State>
void reset(State& state) {
    state = *std::make_unique<State>();
}

}  // namespace

void reset_plugin_state() {
    destroy_processors(dll_instance());
    reset_to_load_state();
    dll_instance().live = LiveParameters{};
    set_stamp_clock(nullptr);
}

void reset_instance(Instance& instance) {
    destroy_processors(instance);
    reset(instance.live);
    reset(instance.chain);
    reset(instance.sample_path);
    reset(instance.tape_control);
    reset(instance.tape_state);
    reset(instance.stereo_state);
    reset(instance.singleband_state);
    reset(instance.tone_state);
}

void OwnInstance::reset_all() {
    reset_plugin_state();
    reset_instance(instance);
}

OwnWindow::OwnWindow()
    : displays_(std::make_unique<Displays>(instance)), shown_before_(window_displays()) {
    bind_window(*displays_);
}

OwnWindow::~OwnWindow() {
    bind_window(shown_before_);
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
