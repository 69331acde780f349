#include "lilv_host.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace varnolt::lv2_test {

PluginWorld::PluginWorld(const std::string& folder) : world_(lilv_world_new()) {
    LilvNode* path = lilv_new_string(world_, folder.c_str());
    lilv_world_set_option(world_, LILV_OPTION_LV2_PATH, path);
    lilv_node_free(path);
    lilv_world_load_all(world_);
}

PluginWorld::~PluginWorld() {
    lilv_world_free(world_);
}

const LilvPlugin* PluginWorld::plugin(const std::string& uri) const {
    LilvNode* node = lilv_new_uri(world_, uri.c_str());
    const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), node);
    lilv_node_free(node);
    return found;
}

PluginHost::PluginHost(const PluginWorld& world, const std::string& uri, double rate, int max_block)
    : plugin_(world.plugin(uri)) {
    if (plugin_ == nullptr) return;
    ::LilvWorld* w = world.world();
    LilvNode* audio = lilv_new_uri(w, LILV_URI_AUDIO_PORT);
    LilvNode* input = lilv_new_uri(w, LILV_URI_INPUT_PORT);
    const uint32_t ports = lilv_plugin_get_num_ports(plugin_);
    buffers_.resize(ports);
    symbols_.resize(ports);
    std::vector<float> defaults(ports, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin_, nullptr, nullptr, defaults.data());
    for (uint32_t i = 0; i < ports; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, i);
        symbols_[i] = lilv_node_as_string(lilv_port_get_symbol(plugin_, port));
        if (lilv_port_is_a(plugin_, port, audio)) {
            buffers_[i].assign(max_block > 0 ? max_block : 1, 0.0f);
            (lilv_port_is_a(plugin_, port, input) ? audio_in_ : audio_out_).push_back(i);
        } else {
            buffers_[i].assign(1, std::isnan(defaults[i]) ? 0.0f : defaults[i]);
        }
    }
    lilv_node_free(audio);
    lilv_node_free(input);
    instance_ = lilv_plugin_instantiate(plugin_, rate, nullptr);
    if (instance_ == nullptr) return;
    for (uint32_t i = 0; i < ports; ++i)
        lilv_instance_connect_port(instance_, i, buffers_[i].data());
    activate();
}

PluginHost::~PluginHost() {
    if (instance_ == nullptr) return;
    deactivate();
    lilv_instance_free(instance_);
}

bool PluginHost::set_control(const std::string& symbol, float value) {
    for (std::size_t i = 0; i < symbols_.size(); ++i)
        if (symbols_[i] == symbol && buffers_[i].size() == 1) {
            buffers_[i][0] = value;
            return true;
        }
    return false;
}

bool PluginHost::disconnect(const std::string& symbol) {
    for (std::size_t i = 0; i < symbols_.size(); ++i)
        if (symbols_[i] == symbol && buffers_[i].size() == 1) {
            lilv_instance_connect_port(instance_, static_cast<uint32_t>(i), nullptr);
            return true;
        }
    return false;
}

float PluginHost::control(const std::string& symbol) const {
    for (std::size_t i = 0; i < symbols_.size(); ++i)
        if (symbols_[i] == symbol && buffers_[i].size() == 1) return buffers_[i][0];
    return std::numeric_limits<float>::quiet_NaN();
}

void PluginHost::run(int frames) {
    lilv_instance_run(instance_, static_cast<uint32_t>(frames));
}

void PluginHost::activate() {
    if (!active_) lilv_instance_activate(instance_);
    active_ = true;
}

void PluginHost::deactivate() {
    if (active_) lilv_instance_deactivate(instance_);
    active_ = false;
}

}  // namespace varnolt::lv2_test
