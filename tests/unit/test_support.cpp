#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "chain/chain.h"
#include "plugin/modify_samples.h"
#include "plugin/plugin_state.h"
#include "processors/processor_set.h"
#include "processors/singleband.h"
#include "processors/stereo.h"
#include "processors/tape_control.h"
#include "processors/tape_processor.h"
#include "processors/tone_analyzer.h"
#include "settings/parameters.h"
#include "settings/settings_file.h"

namespace varnolt::testing {

void reset_plugin_state() {
    destroy_processors();
    live = LiveParameters{};
    settings = Settings{};
    plugin = PluginState{};
    // The chain state is large; build the clean copy on the heap rather than the stack.
    auto clean_chain = std::make_unique<ChainState>();
    chain = *clean_chain;
    sample_path = SamplePathState{};
    tape_state = *std::make_unique<TapeState>();
    tone_state = *std::make_unique<ToneState>();
    stereo_state = *std::make_unique<StereoState>();
    singleband_state = SinglebandState{};
    tape_control = TapeControl{};
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
